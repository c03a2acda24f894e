#include <atomic>
#include <chrono>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/livery_tables.h"
#include "app/clock.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/parameters.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/tasks.h"
#include "scan/cfg_parser.h"
#include "scan/liveries_file.h"
#include "scan/livery_scan.h"
#include "support/cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// An aircraft.cfg with one section per (title, airline) pair.
void writeCfg(const fs::path& path, const std::string& type,
              const std::vector<std::pair<std::string, std::string>>& liveries,
              CfgEncoding encoding = CfgEncoding::Utf8) {
  AircraftCfgBuilder cfg;
  cfg.general(type);
  int n = 0;
  for (const auto& [title, airline] : liveries) cfg.section({.number = n++, .title = title, .airline = airline});
  cfg.write(path, encoding);
}

std::vector<std::string> titlesIn(const std::string& xml) {
  std::vector<std::string> titles;
  for (std::size_t at = xml.find("title=\""); at != std::string::npos; at = xml.find("title=\"", at + 1)) {
    const auto start = at + 7;
    titles.push_back(xml.substr(start, xml.find('"', start) - start));
  }
  return titles;
}

}  // namespace

class LiveryScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_setFixedClock(1796628946);
    gf_initFolders();
    gf_resetParametersToDefaults();
    gf_resetDbaseForTests();
    DbaseBuilder()
        .type("A320", 35.8, "large")
        .type("B738", 35.8, "large")
        .type("B77W", 64.8, "heavy")
        .airline("BAW")
        .airline("DLH")
        .airline("EZY")
        .write();
    gf_readDbase();
    gf_clearLiveryTables();
    lf_clearLiveries();
    g_maxTasks = 4;
    g_runningTasks = 0;
    g_stopRun = false;
    g_windowClosed = false;
    prm::LIG_AUTOMATIC.set(false);
    prm::SCAN_LIVERIES.set(true);
    openTestLog();
  }
  void TearDown() override {
    gf_clearLiveryTables();
    lf_clearLiveries();
    gf_resetDbaseForTests();
    gf_resetParametersToDefaults();
    g_stopRun = false;
  }
  std::string scanned() { return readFile(g_liveriesScannedPath); }
};

TEST_F(LiveryScanTest, ManualFoldersGetRanksAndOnlyAircraftCfgFilesAreParsed) {
  writeCfg("liv/a/aircraft.cfg", "A320", {{"A320 BAW", "BAW"}});
  writeCfg("liv/b/AIRCRAFT.CFG", "A320", {{"A320 EZY", "EZY"}});
  writeCfg("liv/c/Aircraft.Cfg", "B738", {{"B738 DLH", "DLH"}});
  writeCfg("liv/d/aircraft.cfg.bak", "A320", {{"A320 bak", "BAW"}});
  writeCfg("liv/e/aircraft1.cfg", "A320", {{"A320 one", "BAW"}});
  writeFile("plainfile", "x");
  prm::lfolder0.set("missing");
  prm::lfolder1.set("plainfile");
  prm::lfolder2.set("liv");
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A320 BAW", "B738 DLH", "A320 EZY"}));
  EXPECT_TRUE(logHasLine("missing does not exist, skipped!"));
  EXPECT_TRUE(logHasLine("plainfile is not a folder name, skipped!"));
  EXPECT_TRUE(logHasLine("3 liveries found in liv"));
  EXPECT_TRUE(logHasLine("3 in total"));
  EXPECT_FALSE(prm::SCAN_LIVERIES.value());  // switched off after a scan
  EXPECT_TRUE(g_liveriesProcessed.load());
  EXPECT_EQ(g_runningTasks.load(), 0);
}

TEST_F(LiveryScanTest, SkipWordsAndLongPathsStopTheDescent) {
  writeCfg("liv/airport-stuff/aircraft.cfg", "A320", {{"hidden", "BAW"}});
  writeCfg("liv/ok/aircraft.cfg", "A320", {{"shown", "BAW"}});
  // A manual folder whose own path holds a skip word: only its own files count.
  writeCfg("myairport/aircraft.cfg", "A320", {{"direct", "EZY"}});
  writeCfg("myairport/sub/aircraft.cfg", "A320", {{"nested", "EZY"}});
  prm::lfolder0.set("liv");
  prm::lfolder1.set("myairport");
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"shown", "direct"}));

  // A path of 249 characters is descended into, one of 250 is not.
  fs::remove(g_liveriesScannedPath);
  lf_clearLiveries();
  gf_clearLiveryTables();
  const std::string base = (fs::current_path() / "deep").string();
  const auto dirOfLength = [&](std::size_t length, char fill) {
    return base + "/" + std::string(length - base.size() - 1, fill);
  };
  writeCfg(fs::path(dirOfLength(249, 'a')) / "aircraft.cfg", "A320", {{"at249", "BAW"}});
  writeCfg(fs::path(dirOfLength(250, 'b')) / "aircraft.cfg", "A320", {{"at250", "BAW"}});
  prm::lfolder0.set(base);
  prm::lfolder1.set("");
  prm::SCAN_LIVERIES.set(true);
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"at249"}));
}

TEST_F(LiveryScanTest, PrioritizeKeepsTheFirstFolderPerAirlineAndType) {
  writeCfg("first/x/aircraft.cfg", "A320", {{"A320 BAW first", "BAW"}});
  writeCfg("second/x/aircraft.cfg", "A320", {{"A320 BAW second", "BAW"}, {"A320 EZY second", "EZY"}});
  prm::lfolder0.set("first");
  prm::lfolder1.set("second");
  prm::LIG_PRIORITIZE.set(true);
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A320 BAW first", "A320 EZY second"}));

  fs::remove(g_liveriesScannedPath);
  gf_clearLiveryTables();
  prm::LIG_PRIORITIZE.set(false);
  prm::SCAN_LIVERIES.set(true);
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A320 BAW first", "A320 BAW second", "A320 EZY second"}));
}

TEST_F(LiveryScanTest, TwoScansOfTheSameTreeGiveTheSameFile) {
  // Many files, one title found in two of them, every encoding.
  const CfgEncoding encodings[] = {CfgEncoding::Utf8, CfgEncoding::Utf8Bom, CfgEncoding::Utf16Le,
                                   CfgEncoding::Utf16Be, CfgEncoding::Ansi};
  for (int i = 0; i < 40; ++i)
    writeCfg(fs::path("liv") / fmt::format("pkg{:02}", i) / "aircraft.cfg", i % 2 ? "A320" : "B738",
             {{fmt::format("Livery {}", i), i % 3 ? "BAW" : "DLH"}, {"Shared title", "EZY"}}, encodings[i % 5]);
  prm::lfolder0.set("liv");
  gf_scanLiveries();
  const std::string first = scanned();
  EXPECT_EQ(titlesIn(first).size(), 41u);
  for (int round = 0; round < 3; ++round) {
    fs::remove(g_liveriesScannedPath);
    gf_clearLiveryTables();
    lf_clearLiveries();
    prm::SCAN_LIVERIES.set(true);
    g_maxTasks = 1 + round * 3;
    gf_scanLiveries();
    EXPECT_EQ(scanned(), first) << "round " << round;
    EXPECT_EQ(g_runningTasks.load(), 0);
  }
}

TEST_F(LiveryScanTest, NeverMoreTasksThanTheLimitAndEverySlotComesBack) {
  for (int i = 0; i < 30; ++i)
    writeCfg(fs::path("liv") / fmt::format("p{}", i) / "aircraft.cfg", "A320", {{fmt::format("T{}", i), "BAW"}});
  // An unreadable aircraft.cfg (a folder of that name) makes its task fail.
  fs::create_directories("liv/broken/aircraft.cfg");
  std::atomic<bool> done{false};
  std::atomic<int> peak{0};
  std::thread watcher([&] {
    while (!done) peak = std::max(peak.load(), g_runningTasks.load());
  });
  g_maxTasks = 2;
  prm::lfolder0.set("liv");
  gf_scanLiveries();
  done = true;
  watcher.join();
  EXPECT_LE(peak.load(), 2);
  EXPECT_GE(peak.load(), 1);
  EXPECT_EQ(g_runningTasks.load(), 0);
  EXPECT_EQ(titlesIn(scanned()).size(), 30u);
}

TEST_F(LiveryScanTest, ATaskSlotIsGivenBackOnceEvenWhenTheTaskNeverRan) {
  g_maxTasks = 1;
  {
    TaskSlot slot = TaskSlot::acquire();
    EXPECT_EQ(g_runningTasks.load(), 1);
    TaskSlot moved = std::move(slot);
    moved.release();
    moved.release();
    EXPECT_EQ(g_runningTasks.load(), 0);
  }
  EXPECT_EQ(g_runningTasks.load(), 0);
  { TaskSlot unused = TaskSlot::acquire(); }
  EXPECT_EQ(g_runningTasks.load(), 0);
  g_maxTasks = 0;  // a limit below 1 still lets one task run
  { TaskSlot one = TaskSlot::acquire(); }
  EXPECT_EQ(g_runningTasks.load(), 0);
}

TEST_F(LiveryScanTest, ATaskThatThrowsGivesItsSlotBackAndPassesItsError) {
  g_maxTasks = 2;
  std::vector<LiveryFuture> futures;
  for (int i = 0; i < 6; ++i)
    futures.push_back(gf_startLiveryTask([i]() -> LiveryList {
      if (i % 2) throw std::runtime_error("bad file");
      return LiveryList(1);
    }));
  int failed = 0;
  for (auto& future : futures) {
    try {
      EXPECT_EQ(future.get().size(), 1u);
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "bad file");
      ++failed;
    }
  }
  EXPECT_EQ(failed, 3);
  EXPECT_EQ(g_runningTasks.load(), 0);
}

TEST_F(LiveryScanTest, AnEntryThatCannotBeExaminedIsSkipped) {
  writeCfg("liv/a/aircraft.cfg", "A320", {{"A320 BAW", "BAW"}});
  fs::create_directories("liv/loop");
  fs::create_symlink("self", "liv/loop/self");  // a link to itself cannot be examined
  fs::create_symlink("aircraft.cfg", "liv/loop/aircraft.cfg");
  writeCfg("liv/z/aircraft.cfg", "A320", {{"A320 EZY", "EZY"}});
  prm::lfolder0.set("liv");
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A320 BAW", "A320 EZY"}));
  EXPECT_TRUE(logContains("liveries search in liv/loop/self aborted, cause: "));
  EXPECT_EQ(g_runningTasks.load(), 0);
}

TEST_F(LiveryScanTest, AStoppedOrFailedScanKeepsThePreviousFileAndIsNoSuccess) {
  writeCfg("a/x/aircraft.cfg", "A320", {{"A", "BAW"}});
  prm::lfolder0.set("a");
  gf_scanLiveries();
  const std::string previous = scanned();
  ASSERT_FALSE(previous.empty());

  writeCfg("a/y/aircraft.cfg", "A320", {{"B", "BAW"}});
  gf_clearLiveryTables();
  prm::SCAN_LIVERIES.set(true);
  g_stopRun = true;
  gf_scanLiveries();
  EXPECT_EQ(scanned(), previous);
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());  // the next run scans again
  EXPECT_FALSE(g_liveriesProcessed.load());
  g_stopRun = false;

  // A scan that finds nothing fails and keeps the file too.
  prm::lfolder0.set("nowhere");
  EXPECT_THROW(gf_scanLiveries(), qor::UserErrorException);
  EXPECT_EQ(scanned(), previous);
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
}

TEST_F(LiveryScanTest, UserErrorsOfTheFolderChoice) {
  const auto codeOf = [](auto&& f) {
    try {
      f();
    } catch (const qor::UserErrorException& e) {
      return e.code();
    }
    return 0;
  };
  EXPECT_EQ(codeOf([] { gf_scanLiveries(); }), 48);  // no lfolder set
  prm::lfolder0.set("nowhere");
  EXPECT_EQ(codeOf([] { gf_scanLiveries(); }), 53);
  EXPECT_FALSE(logHasLine("1 in total"));
  EXPECT_FALSE(logContains("in total"));
  prm::LIG_AUTOMATIC.set(true);
  prm::MSFS_INSTALL_PATH.set((fs::current_path() / "packages").string());
  fs::create_directories("packages/Community");
  EXPECT_EQ(codeOf([] { gf_scanLiveries(); }), 43);
  prm::AI_PACKAGE_SELECTOR.set("AIG,FSLTL,JF");
  try {
    gf_scanLiveries();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "AI_PACKAGE_SELECTOR not set");
  }
}

TEST_F(LiveryScanTest, AutomaticModeFindsThePackagesInTheSelectedOrder) {
  prm::LIG_AUTOMATIC.set(true);
  prm::MSFS_INSTALL_PATH.set((fs::current_path() / "packages").string());
  const fs::path community = "packages/Community";
  writeCfg(community / "fsltl-traffic-base" / "x" / "aircraft.cfg", "A320", {{"FSLTL A320", "BAW"}});
  writeCfg(community / "aig-aitraffic-oci-beta" / "x" / "aircraft.cfg", "A320", {{"AIG A320", "BAW"}});
  writeCfg(community / "aig-aitraffic-oci-beta_CVT_" / "x" / "aircraft.cfg", "A320", {{"CVT A320", "BAW"}});
  writeCfg(community / "my-user-aitraffic" / "x" / "aircraft.cfg", "B738", {{"USER B738", "DLH"}});
  prm::AI_PACKAGE_SELECTOR.set("FSLTL, AIG, JF");
  LiveryFolderList folders;
  lf_selectLiveryFolders(folders);
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_NE(folders[0].find("fsltl-traffic-base"), std::string::npos);
  EXPECT_NE(folders[1].find("aig-aitraffic-oci-beta"), std::string::npos);
  EXPECT_EQ(folders[1].find("_CVT_"), std::string::npos);
  EXPECT_NE(folders[2].find("my-user-aitraffic"), std::string::npos);
  prm::LIG_PRIORITIZE.set(true);
  gf_scanLiveries();
  // FSLTL comes first in this order, so its A320 of BAW wins.
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"FSLTL A320", "USER B738"}));
}

TEST_F(LiveryScanTest, AMissingScannedFileSwitchesTheScanOn) {
  prm::SCAN_LIVERIES.set(false);
  lf_checkLiveriesScannedFile();
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
  EXPECT_TRUE(logHasLine("File output/LiveriesScanned.xml is gone, rescan liveries"));
}
