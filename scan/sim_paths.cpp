#include "scan/sim_paths.h"

#include <array>
#include <optional>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "app/errors.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"

namespace fs = std::filesystem;

const std::string g_communityFolderName = "Community";
const std::string g_officialFolderName = "Official";
const std::string g_official2024FolderName = "Official2024";

namespace {

constexpr std::string_view kSteam2PackageFamily = "Microsoft.FlightDashboard_8wekyb3d8bbwe";
constexpr std::string_view kBoxedFolderName = "MSFSPackages";
constexpr std::string_view kPackagesFolderName = "Packages";
constexpr std::string_view kLocalCacheFolderName = "LocalCache";
constexpr std::string_view kUserCfgFileName = "UserCfg.opt";
constexpr std::string_view kInstalledPackagesKey = "InstalledPackagesPath";

// The same without throwing: nothing on any error.
std::optional<fs::path> lf_findEntryNoCaseQuiet(const fs::path& folder, const std::string& name) {
  try {
    return gf_findEntryIgnoringCase(folder, name);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

fs::path gf_storePackageFamily() {
  return g_isMsfs2020 ? fs::path("Microsoft.FlightSimulator_8wekyb3d8bbwe")
                      : fs::path("Microsoft.Limitless_8wekyb3d8bbwe");
}

fs::path gf_steamFolderName() {
  return g_isMsfs2020 ? fs::path("Microsoft Flight Simulator") : fs::path("Microsoft Flight Simulator 2024");
}

fs::path lf_findUserCfgOpt() {
  const fs::path appData = gf_getAppDataPath();
  const fs::path localAppData = gf_getLocalAppDataPath();
  struct Candidate {
    const fs::path& base;
    fs::path path;
    std::string_view missLine;
  };
  const std::array<Candidate, 4> candidates{{
      {localAppData, fs::path(kPackagesFolderName) / gf_storePackageFamily() / kLocalCacheFolderName / kUserCfgFileName,
       "MSFS detection, no Store:{}"},
      {appData, gf_steamFolderName() / kUserCfgFileName, "MSFS detection, no Steam1:{}"},
      {localAppData, fs::path(kPackagesFolderName) / kSteam2PackageFamily / kLocalCacheFolderName / kUserCfgFileName,
       "MSFS detection, no Steam2:{}"},
      {localAppData, fs::path(kBoxedFolderName) / kUserCfgFileName, "MSFS detection, no Boxed:{}"},
  }};
  fs::path last;
  for (const Candidate& candidate : candidates) {
    last = candidate.base / candidate.path;
    // An unknown AppData folder makes the candidate missing; it is never
    // looked for relative to the program's folder.
    if (!candidate.base.empty() && fs::exists(last)) return last;
    gf_logText(fmt::format(fmt::runtime(candidate.missLine), last.string()));
  }
  return last;
}

fs::path lf_steamPackagesPath() {
  const fs::path appData = gf_getAppDataPath();
  if (appData.empty()) return {};
  const fs::path path = appData / gf_steamFolderName() / kPackagesFolderName;
  if (!fs::exists(path)) return {};
  gf_logLine("Steam packages:{}", path.string());
  return path;
}

fs::path lf_readInstalledPackagesPath() {
  const fs::path userCfg = lf_findUserCfgOpt();
  if (!fs::exists(userCfg)) {
    gf_logLine("No UserCfg.opt found?");
    return {};
  }
  fs::path result;
  for (const std::string& line : TextFileLines::read(userCfg, 32)) {
    if (line.find(kInstalledPackagesKey) == std::string::npos) continue;
    // Only the first key line counts. Its value is the quoted text; the
    // whole line when it has no quote at all.
    const std::string value = gf_quotedText(line);
    if (!value.empty() && fs::exists(fs::path(value))) result = fs::path(value);
    break;
  }
  gf_logLine("UserCfg.opt: {}={}", kInstalledPackagesKey, result.empty() ? std::string("???") : result.string());
  return result;
}

bool lf_isPackagesFolder(const fs::path& folder) {
  if (folder.empty() || !fs::exists(folder)) return false;
  if (!gf_findEntryIgnoringCase(folder, g_communityFolderName)) return false;
  return gf_findEntryIgnoringCase(folder, g_isMsfs2020 ? g_officialFolderName : g_official2024FolderName).has_value();
}

fs::path gf_findPackagesPath() {
  if (fs::path steam = lf_steamPackagesPath(); lf_isPackagesFolder(steam)) return steam;
  if (fs::path installed = lf_readInstalledPackagesPath(); lf_isPackagesFolder(installed)) return installed;
  return {};
}

fs::path gf_simFolderPath(const fs::path& rel) {
  const std::string base = g_isMsfs2020 ? prm::MSFS_INSTALL_PATH.value() : prm::MSFS_2024_INSTALL_PATH.value();
  if (base.empty()) return rel;
  const fs::path joined = fs::path(base) / rel;
  std::error_code ec;
  if (fs::exists(joined, ec) || !fs::is_directory(fs::path(base), ec)) return joined;
  // Take each component of rel as it is spelled on disk.
  fs::path resolved = base;
  for (const fs::path& part : rel) {
    const auto found = lf_findEntryNoCaseQuiet(resolved, part.string());
    if (!found) return joined;
    resolved = *found;
  }
  return resolved;
}

std::string gf_setupInstallPath(const InstallPathFieldHook& fieldHook) {
  StringParameter& simSetting = g_isMsfs2020 ? prm::MSFS_INSTALL_PATH : prm::MSFS_2024_INSTALL_PATH;
  std::string installPath = simSetting.value();
  prm::ALL_INSTALL_PATH.set(installPath);
  if (fieldHook) fieldHook(installPath);
  if (!installPath.empty()) return installPath;

  installPath = gf_findPackagesPath().string();
  if (installPath.empty()) {
    throw qor::UserErrorException(
        150, "No install path detected, type full path to your Community folder above, and press Enter");
  }
  simSetting.setAndSave(installPath);
  prm::ALL_INSTALL_PATH.set(installPath);
  if (fieldHook) fieldHook(installPath);
  return installPath;
}
