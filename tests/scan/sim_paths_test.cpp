#include "scan/sim_paths.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/errors.h"
#include "app/parameters.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using testsupport::logHasLine;
using testsupport::logLines;

namespace {

class SimPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetParametersToDefaults();
    g_isMsfs2020 = true;
    testsupport::openTestLog();
  }
  void TearDown() override {
    g_isMsfs2020 = true;
    gf_resetParametersToDefaults();
  }

  static fs::path appData() { return testsupport::appDataDir(); }
  static fs::path localAppData() { return testsupport::workDir() / "localappdata"; }

  static fs::path storeCfg2020() {
    return localAppData() / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
  }
  static fs::path storeCfg2024() {
    return localAppData() / "Packages" / "Microsoft.Limitless_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
  }
  static fs::path steam1Cfg2020() { return appData() / "Microsoft Flight Simulator" / "UserCfg.opt"; }
  static fs::path steam2Cfg() {
    return localAppData() / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
  }
  static fs::path boxedCfg() { return localAppData() / "MSFSPackages" / "UserCfg.opt"; }

  // A packages folder holding the given sub-folders.
  static fs::path makePackages(const fs::path& folder, std::vector<std::string> subfolders) {
    for (const auto& sub : subfolders) fs::create_directories(folder / sub);
    fs::create_directories(folder);
    return folder;
  }

  static void writeUserCfg(const fs::path& cfg, const std::string& keyLines) {
    testsupport::writeFile(cfg, "Version 1\r\n{Graphics\r\n}\r\n" + keyLines);
  }

  // Index of the first log line equal to the text; -1 when none.
  static long lineIndex(const std::string& line) {
    const auto lines = logLines();
    const auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : static_cast<long>(it - lines.begin());
  }
};

TEST_F(SimPathsTest, NothingFoundLogsEveryMissInOrder) {
  EXPECT_TRUE(gf_findPackagesPath().empty());
  const long store = lineIndex("MSFS detection, no Store:" + storeCfg2020().string());
  const long steam1 = lineIndex("MSFS detection, no Steam1:" + steam1Cfg2020().string());
  const long steam2 = lineIndex("MSFS detection, no Steam2:" + steam2Cfg().string());
  const long boxed = lineIndex("MSFS detection, no Boxed:" + boxedCfg().string());
  const long none = lineIndex("No UserCfg.opt found?");
  ASSERT_GE(store, 0);
  EXPECT_LT(store, steam1);
  EXPECT_LT(steam1, steam2);
  EXPECT_LT(steam2, boxed);
  EXPECT_LT(boxed, none);
  EXPECT_FALSE(testsupport::logContains("Steam packages:"));
}

TEST_F(SimPathsTest, SteamPackagesFolderIsTakenBeforeUserCfg) {
  const fs::path steam = makePackages(appData() / "Microsoft Flight Simulator" / "Packages", {"Community", "Official"});
  const fs::path other = makePackages(testsupport::workDir() / "other", {"Community", "Official"});
  writeUserCfg(storeCfg2020(), "InstalledPackagesPath \"" + other.string() + "\"\r\n");

  EXPECT_EQ(gf_findPackagesPath(), steam);
  EXPECT_TRUE(logHasLine("Steam packages:" + steam.string()));
  EXPECT_FALSE(testsupport::logContains("UserCfg.opt"));
}

TEST_F(SimPathsTest, SteamFolderWithoutCommunityFallsBackToUserCfg) {
  const fs::path steam = makePackages(appData() / "Microsoft Flight Simulator" / "Packages", {"Official"});
  const fs::path store = makePackages(testsupport::workDir() / "store", {"Community", "Official"});
  writeUserCfg(storeCfg2020(), "InstalledPackagesPath \"" + store.string() + "\"\r\n");

  EXPECT_EQ(gf_findPackagesPath(), store);
  EXPECT_TRUE(logHasLine("Steam packages:" + steam.string()));
  EXPECT_TRUE(logHasLine("UserCfg.opt: InstalledPackagesPath=" + store.string()));
  EXPECT_FALSE(testsupport::logContains("MSFS detection, no"));  // the Store file was the first candidate
}

TEST_F(SimPathsTest, UserCfgCandidatesAreTriedInOrder) {
  const fs::path boxedPackages = makePackages(testsupport::workDir() / "boxed", {"Community", "Official"});
  const fs::path steamPackages = makePackages(testsupport::workDir() / "steam2", {"Community", "Official"});
  writeUserCfg(boxedCfg(), "InstalledPackagesPath \"" + boxedPackages.string() + "\"\r\n");

  // Only the boxed file: the three misses before it are logged, its own is not.
  EXPECT_EQ(gf_findPackagesPath(), boxedPackages);
  EXPECT_TRUE(logHasLine("MSFS detection, no Store:" + storeCfg2020().string()));
  EXPECT_TRUE(logHasLine("MSFS detection, no Steam1:" + steam1Cfg2020().string()));
  EXPECT_TRUE(logHasLine("MSFS detection, no Steam2:" + steam2Cfg().string()));
  EXPECT_FALSE(testsupport::logContains("MSFS detection, no Boxed"));

  // A Steam2 file comes before the boxed one.
  writeUserCfg(steam2Cfg(), "InstalledPackagesPath \"" + steamPackages.string() + "\"\r\n");
  EXPECT_EQ(lf_findUserCfgOpt(), steam2Cfg());
  EXPECT_EQ(gf_findPackagesPath(), steamPackages);
}

TEST_F(SimPathsTest, UserCfgQuoteRules) {
  const fs::path packages = makePackages(testsupport::workDir() / "pkgs", {"Community", "Official"});
  struct Case {
    std::string keyLines;
    bool found;
  };
  const std::vector<Case> cases{
      {"InstalledPackagesPath \"" + packages.string() + "\"\r\n", true},
      // Only the first key line counts, even when its folder does not exist.
      {"InstalledPackagesPath \"" + (packages / "gone").string() + "\"\r\nInstalledPackagesPath \"" +
           packages.string() + "\"\r\n",
       false},
      // No quotes: the whole line is taken, which is no folder.
      {"InstalledPackagesPath " + packages.string() + "\r\n", false},
      // A missing second quote or nothing between the quotes gives nothing.
      {"InstalledPackagesPath \"" + packages.string() + "\r\n", false},
      {"InstalledPackagesPath \"\" \"" + packages.string() + "\"\r\n", false},
      // The key is matched with its letter case.
      {"installedpackagespath \"" + packages.string() + "\"\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keyLines);
    testsupport::openTestLog();
    writeUserCfg(storeCfg2020(), c.keyLines);
    const fs::path result = lf_readInstalledPackagesPath();
    if (c.found) {
      EXPECT_EQ(result, packages);
      EXPECT_TRUE(logHasLine("UserCfg.opt: InstalledPackagesPath=" + packages.string()));
    } else {
      EXPECT_TRUE(result.empty());
      EXPECT_TRUE(logHasLine("UserCfg.opt: InstalledPackagesPath=???"));
    }
  }
}

TEST_F(SimPathsTest, OfficialFolderDependsOnTheSimulator) {
  const fs::path only2020 = makePackages(testsupport::workDir() / "a", {"Community", "Official"});
  const fs::path only2024 = makePackages(testsupport::workDir() / "b", {"community", "OFFICIAL2024"});
  const fs::path noCommunity = makePackages(testsupport::workDir() / "c", {"Official", "Official2024"});

  g_isMsfs2020 = true;
  EXPECT_TRUE(lf_isPackagesFolder(only2020));
  EXPECT_FALSE(lf_isPackagesFolder(only2024));
  EXPECT_FALSE(lf_isPackagesFolder(noCommunity));
  EXPECT_FALSE(lf_isPackagesFolder(fs::path()));
  EXPECT_FALSE(lf_isPackagesFolder(testsupport::workDir() / "missing"));

  g_isMsfs2020 = false;
  EXPECT_FALSE(lf_isPackagesFolder(only2020));
  EXPECT_TRUE(lf_isPackagesFolder(only2024));  // names in any letter case
  EXPECT_FALSE(lf_isPackagesFolder(noCommunity));
}

TEST_F(SimPathsTest, Msfs2024UsesItsOwnPlaces) {
  g_isMsfs2020 = false;
  EXPECT_EQ(gf_storePackageFamily(), fs::path("Microsoft.Limitless_8wekyb3d8bbwe"));
  EXPECT_EQ(gf_steamFolderName(), fs::path("Microsoft Flight Simulator 2024"));

  // The MSFS 2020 Steam folder is not looked at in 2024 mode.
  makePackages(appData() / "Microsoft Flight Simulator" / "Packages", {"Community", "Official2024"});
  const fs::path steam2024 =
      makePackages(appData() / "Microsoft Flight Simulator 2024" / "Packages", {"Community", "Official2024"});
  EXPECT_EQ(gf_findPackagesPath(), steam2024);

  fs::remove_all(steam2024);
  const fs::path store = makePackages(testsupport::workDir() / "store24", {"Community", "Official2024"});
  writeUserCfg(storeCfg2024(), "InstalledPackagesPath \"" + store.string() + "\"\r\n");
  EXPECT_EQ(gf_findPackagesPath(), store);
  EXPECT_TRUE(logHasLine("UserCfg.opt: InstalledPackagesPath=" + store.string()));
}

TEST_F(SimPathsTest, SimFolderPathJoinsTheSelectedSetting) {
  EXPECT_EQ(gf_simFolderPath("Community"), fs::path("Community"));

  const fs::path packages = makePackages(testsupport::workDir() / "p20", {"community"});
  prm::MSFS_INSTALL_PATH.set(packages.string());
  prm::MSFS_2024_INSTALL_PATH.set("/elsewhere");
  // The folder is found as it is spelled on disk.
  EXPECT_EQ(gf_simFolderPath("Community"), packages / "community");
  EXPECT_EQ(gf_simFolderPath("Nothing"), packages / "Nothing");

  g_isMsfs2020 = false;
  EXPECT_EQ(gf_simFolderPath("Community"), fs::path("/elsewhere") / "Community");
}

TEST_F(SimPathsTest, SetupUsesTheStoredPathWithoutDetection) {
  prm::MSFS_INSTALL_PATH.set("D:\\MSFS\\Packages");
  prm::MSFS_2024_INSTALL_PATH.set("E:\\2024");
  std::vector<std::string> shown;
  EXPECT_EQ(gf_setupInstallPath([&](const std::string& p) { shown.push_back(p); }), "D:\\MSFS\\Packages");
  EXPECT_EQ(prm::ALL_INSTALL_PATH.value(), "D:\\MSFS\\Packages");
  EXPECT_EQ(shown, std::vector<std::string>{"D:\\MSFS\\Packages"});
  EXPECT_FALSE(testsupport::logContains("MSFS detection"));

  g_isMsfs2020 = false;
  EXPECT_EQ(gf_setupInstallPath(), "E:\\2024");
  EXPECT_EQ(prm::ALL_INSTALL_PATH.value(), "E:\\2024");
}

TEST_F(SimPathsTest, SetupStoresADetectedPath) {
  g_isMsfs2020 = false;
  const fs::path steam =
      makePackages(appData() / "Microsoft Flight Simulator 2024" / "Packages", {"Community", "Official2024"});
  std::vector<std::string> shown;
  EXPECT_EQ(gf_setupInstallPath([&](const std::string& p) { shown.push_back(p); }), steam.string());
  EXPECT_EQ(prm::MSFS_2024_INSTALL_PATH.value(), steam.string());
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "");
  EXPECT_EQ(prm::ALL_INSTALL_PATH.value(), steam.string());
  EXPECT_EQ(shown, (std::vector<std::string>{"", steam.string()}));
  // Saved to parameters.xml.
  EXPECT_NE(testsupport::readFile(gf_parametersPath()).find(steam.string()), std::string::npos);
}

TEST_F(SimPathsTest, SetupWithoutAnyInstallationIsError150) {
  try {
    gf_setupInstallPath();
    FAIL() << "no error";
  } catch (const qor::UserErrorException& e) {
    EXPECT_EQ(e.code(), 150);
    EXPECT_EQ(e.message(), "No install path detected, type full path to your Community folder above, and press Enter");
  }
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "");
  EXPECT_EQ(prm::ALL_INSTALL_PATH.value(), "");
  EXPECT_TRUE(logHasLine("No UserCfg.opt found?"));
}

}  // namespace
