// Where the selected simulator keeps its packages: the packages folder, which
// holds "Community" and the simulator's own "Official" (MSFS 2020) or
// "Official2024" (MSFS 2024). Every function reads g_isMsfs2020 at call time.
//
// Existence tests that meet an operating-system error other than a missing
// path throw std::filesystem::filesystem_error.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

extern const std::string g_communityFolderName;     // "Community"
extern const std::string g_officialFolderName;      // "Official" (MSFS 2020)
extern const std::string g_official2024FolderName;  // "Official2024" (MSFS 2024)

// The Store package family / Steam folder name of the selected simulator.
std::filesystem::path gf_storePackageFamily();
std::filesystem::path gf_steamFolderName();

// The first UserCfg.opt candidate that exists (Store, Steam1, Steam2, Boxed),
// logging a miss line for each one that does not; the last candidate when
// none exists.
std::filesystem::path lf_findUserCfgOpt();
// AppData\(Steam folder name)\Packages when it exists (logged), else empty.
std::filesystem::path lf_steamPackagesPath();
// The folder named by the "InstalledPackagesPath" line of UserCfg.opt; empty
// when there is no file, no such line, or the folder does not exist.
std::filesystem::path lf_readInstalledPackagesPath();
// Whether the folder holds Community and the selected simulator's own
// package folder (names in any letter case, as Windows finds them).
bool lf_isPackagesFolder(const std::filesystem::path& folder);
// The packages folder: the Steam one first, then the one that UserCfg.opt
// names; empty when neither is a packages folder.
std::filesystem::path gf_findPackagesPath();
// The selected simulator's stored install path joined with rel (rel alone
// while the setting is empty). Components of rel that exist under another
// letter case are taken as they are on disk.
std::filesystem::path gf_simFolderPath(const std::filesystem::path& rel);

// Called with the install path when the run has put it into ALL_INSTALL_PATH:
// the window shows it in the edit field and enables the field.
using InstallPathFieldHook = std::function<void(const std::string& installPath)>;

// The install-path step of a run's start checks: copies MSFS_INSTALL_PATH
// (MSFS 2020) or MSFS_2024_INSTALL_PATH into ALL_INSTALL_PATH and calls the
// hook. When that is empty, detects the packages folder; a folder found is
// stored in the simulator's setting (saved) and in ALL_INSTALL_PATH and the
// hook is called again. None found: throws qor::UserErrorException 150.
// Returns the install path.
std::string gf_setupInstallPath(const InstallPathFieldHook& fieldHook = {});
