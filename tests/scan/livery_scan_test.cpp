#include <atomic>
#include <chrono>
#include <future>
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
#include "scan/scan_reports.h"
#include "support/cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"
#include "ui/status_line.h"

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
        .typeFix("B77F", "B77W")
        .reg("G-EUUA", "BAW", "A320")
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
    g_beforeListingLiveryFolder = nullptr;
    gf_clearError();
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

// A livery the database moves to another airline is placed by its new
// airline, also after the liveries of later folders were dropped.
TEST_F(LiveryScanTest, PrioritizeKeepsTheFirstFolderPerAirlineAndType) {
  AircraftCfgBuilder first;
  first.general("A320");
  first.section({.number = 0, .title = "A320 BAW first", .airline = "BAW"});
  first.section({.number = 1, .title = "0 corrected", .airline = "EZY", .atcId = "G-EUUA"});  // a BAW aircraft
  first.write("first/x/aircraft.cfg", CfgEncoding::Utf8);
  writeCfg("second/x/aircraft.cfg", "A320", {{"A320 BAW second", "BAW"}, {"A320 EZY second", "EZY"}});
  prm::lfolder0.set("first");
  prm::lfolder1.set("second");
  prm::LIG_PRIORITIZE.set(true);
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"0 corrected", "A320 BAW first", "A320 EZY second"}));

  fs::remove(g_liveriesScannedPath);
  gf_clearLiveryTables();
  prm::LIG_PRIORITIZE.set(false);
  prm::SCAN_LIVERIES.set(true);
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()),
            (std::vector<std::string>{"0 corrected", "A320 BAW first", "A320 BAW second", "A320 EZY second"}));
}

// Whatever the number of workers: the same LiveriesScanned.xml, result files
// and log lines. The tree has every encoding, titles given by several files,
// invalid airlines, type fixes and registration corrections.
TEST_F(LiveryScanTest, TheSameTreeGivesTheSameFilesAndLogWithOneThreeOrEightWorkers) {
  const CfgEncoding encodings[] = {CfgEncoding::Utf8, CfgEncoding::Utf8Bom, CfgEncoding::Utf16Le,
                                   CfgEncoding::Utf16Be, CfgEncoding::Ansi};
  for (int i = 0; i < 60; ++i) {
    AircraftCfgBuilder cfg;
    cfg.general(i % 7 == 0 ? "B77F" : i % 2 ? "A320" : "B738");
    cfg.section({.number = 0, .title = fmt::format("Livery {}", i), .airline = i % 3 ? "BAW" : "DLH",
                 .atcId = i % 4 == 0 ? "G-EUUA" : ""});
    cfg.section({.number = 1, .title = fmt::format("Shared {}", i % 5), .airline = "EZY"});
    cfg.section({.number = 2, .title = fmt::format("Bad {}", i), .airline = "QQQ"});
    cfg.write(fs::path(i % 2 ? "liv" : "liv2") / fmt::format("pkg{:02}", i) / "aircraft.cfg", encodings[i % 5]);
  }
  prm::lfolder0.set("liv");
  prm::lfolder1.set("liv2");
  const auto scanWith = [&](int workers) {
    fs::remove(g_liveriesScannedPath);
    gf_clearLiveryTables();
    lf_clearLiveries();
    prm::SCAN_LIVERIES.set(true);
    g_maxTasks = workers;
    openTestLog();
    gf_scanLiveries();
    EXPECT_EQ(g_runningTasks.load(), 0);
    std::vector<std::string> files{scanned(), readFile(g_incompleteFltsimSectionsLogPath),
                                   readFile(g_invalidAirlineCodesLogPath), readFile(g_fixesLogPath),
                                   readFile(g_airlineModelConversionsLogPath)};
    // The log of the scan; what follows depends on the settings the first
    // hand-over switched off.
    for (const std::string& line : logLines()) {
      files.push_back(line);
      if (line.find("liveries scan ends") != std::string::npos) break;
    }
    return files;
  };
  const std::vector<std::string> first = scanWith(1);
  EXPECT_GE(titlesIn(first[0]).size(), 60u + 5u);
  EXPECT_FALSE(first[1].empty());
  EXPECT_FALSE(first[3].empty());
  EXPECT_FALSE(first[4].empty());
  EXPECT_EQ(scanWith(3), first);
  EXPECT_EQ(scanWith(8), first);
}

// A worker that a stop left behind on a file that hangs still reads what a
// new scan fills anew: the next scan does not start while it is busy, and
// runs once it has ended.
TEST_F(LiveryScanTest, ANewScanWaitsForAWorkerAStopLeftBehind) {
  writeCfg("liv/a/aircraft.cfg", "A320", {{"A", "BAW"}});
  prm::lfolder0.set("liv");
  gf_scanLiveries();
  const std::string previous = scanned();
  writeCfg("liv/slow/aircraft.cfg", "A320", {{"S", "BAW"}});
  gf_clearLiveryTables();
  prm::SCAN_LIVERIES.set(true);
  g_maxTasks = 2;
  // Static: the worker left behind may look at them after a failed check.
  static std::atomic<bool> hanging, release;
  hanging = false;
  release = false;
  struct Release {
    ~Release() { release = true; }
  } releaseAtEnd;
  g_beforeListingLiveryFolder = [](const fs::path& folder) {
    if (folder != fs::path("liv/slow")) return;
    hanging = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  std::thread stopper([] {
    while (!hanging) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_stopRun = true;
  });
  gf_scanLiveries();
  stopper.join();
  g_stopRun = false;
  const auto waitBefore = g_leftWorkersWait;
  g_leftWorkersWait = std::chrono::milliseconds(50);
  gf_scanLiveries();
  EXPECT_TRUE(logContains("still being read; the scan cannot start"));
  EXPECT_NE(gf_statusSnapshot().error.find("could not finish"), std::string::npos);
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
  EXPECT_EQ(scanned(), previous);

  release = true;
  g_leftWorkersWait = std::chrono::seconds(20);
  gf_clearLiveryTables();
  gf_scanLiveries();
  g_leftWorkersWait = waitBefore;
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A", "S"}));
  EXPECT_FALSE(prm::SCAN_LIVERIES.value());
}

// Files are taken in the order of a depth-first walk by name, whichever
// worker lists which folder: "a/x" comes before "a-b" (a whole name before a
// longer one), although "a-b/" sorts before "a/x" as plain text.
TEST_F(LiveryScanTest, FilesComeInDepthFirstOrderByName) {
  for (const char* folder : {"liv/a-b", "liv/a/x", "liv/a/x/deeper", "liv/b", "liv/a"})
    writeCfg(fs::path(folder) / "aircraft.cfg", "B77F", {{std::string("T ") + folder, "BAW"}});
  prm::lfolder0.set("liv");
  for (const int workers : {1, 8}) {
    SCOPED_TRACE(workers);
    g_maxTasks = workers;
    gf_clearLiveryTables();
    lf_clearLiveries();
    prm::SCAN_LIVERIES.set(true);
    gf_scanLiveries();
    std::vector<std::string> paths;
    std::istringstream fixes(readFile(g_fixesLogPath));
    for (std::string line; std::getline(fixes, line);) {
      const std::size_t from = line.find(" found in ") + 10;
      paths.push_back(line.substr(from, line.find(" changed") - from));
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"liv/a/aircraft.cfg", "liv/a/x/aircraft.cfg",
                                               "liv/a/x/deeper/aircraft.cfg", "liv/a-b/aircraft.cfg",
                                               "liv/b/aircraft.cfg"}));
  }
}

// The counts per folder are taken after titles given twice are removed.
TEST_F(LiveryScanTest, CountsPerFolderLeaveOutTitlesGivenByAnEarlierFolder) {
  writeCfg("first/x/aircraft.cfg", "A320", {{"Same", "BAW"}, {"One", "BAW"}});
  writeCfg("second/x/aircraft.cfg", "A320", {{"Same", "EZY"}, {"Two", "EZY"}, {"Three", "EZY"}});
  prm::lfolder0.set("first");
  prm::lfolder1.set("second");
  gf_scanLiveries();
  EXPECT_TRUE(logHasLine("2 liveries found in first"));
  EXPECT_TRUE(logHasLine("2 liveries found in second"));
  EXPECT_TRUE(logHasLine("4 in total"));
}

TEST_F(LiveryScanTest, NeverMoreTasksThanTheLimitAndEverySlotComesBack) {
  for (int i = 0; i < 30; ++i)
    writeCfg(fs::path("liv") / fmt::format("p{}", i) / "aircraft.cfg", "A320", {{fmt::format("T{}", i), "BAW"}});
  // An unreadable aircraft.cfg (a folder of that name) makes its task fail.
  fs::create_directories("liv/broken/aircraft.cfg");
  std::atomic<bool> done{false}, watching{false};
  std::atomic<int> peak{0};
  std::thread watcher([&] {
    watching = true;
    while (!done) peak = std::max(peak.load(), g_runningTasks.load());
  });
  while (!watching) std::this_thread::yield();
  g_maxTasks = 2;
  prm::lfolder0.set("liv");
  // The workers hold their slots while the walk lists the folders.
  std::atomic<int> duringWalk{0};
  g_beforeListingLiveryFolder = [&](const fs::path&) { duringWalk = std::max(duringWalk.load(), g_runningTasks.load()); };
  gf_scanLiveries();
  done = true;
  watcher.join();
  EXPECT_LE(peak.load(), 2);
  EXPECT_GE(duringWalk.load(), 1);
  EXPECT_LE(duringWalk.load(), 2);
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
  std::vector<std::future<LiveryList>> futures;
  for (int i = 0; i < 6; ++i)
    futures.push_back(gf_startTask([i]() -> LiveryList {
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
  // Converted packages, one listed before every other package.
  writeCfg(community / "_CVT_aig-aitraffic-oci" / "x" / "aircraft.cfg", "A320", {{"CVT first A320", "BAW"}});
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

// A sub-folder that cannot be listed is skipped and named; a livery folder
// that cannot be listed at all keeps the previous file and the scan switched
// on. (A test running with administrator rights cannot make a folder
// unreadable, so the listing is made to fail.)
TEST_F(LiveryScanTest, UnreadableFoldersAreSkippedOrKeepThePreviousFile) {
  writeCfg("liv/a/aircraft.cfg", "A320", {{"A", "BAW"}});
  writeCfg("liv/b/aircraft.cfg", "A320", {{"B", "BAW"}});
  writeCfg("liv/c/aircraft.cfg", "A320", {{"C", "BAW"}});
  prm::lfolder0.set("liv");
  std::string unreadable = "liv/b";
  g_beforeListingLiveryFolder = [&](const fs::path& folder) {
    if (folder == unreadable)
      throw fs::filesystem_error("directory_iterator::directory_iterator", folder,
                                 std::make_error_code(std::errc::permission_denied));
  };
  gf_scanLiveries();
  const std::string previous = scanned();
  EXPECT_EQ(titlesIn(previous), (std::vector<std::string>{"A", "C"}));
  EXPECT_TRUE(logContains("liveries search skipped folder liv/b: "));
  EXPECT_NE(readFile(g_invalidAircraftCfgFilesLogPath).find("liv/b cannot be read"), std::string::npos);
  EXPECT_NE(gf_statusSnapshot().error.find("1 folder could not be read"), std::string::npos);

  writeCfg("liv/d/aircraft.cfg", "A320", {{"D", "BAW"}});
  unreadable = "liv";
  gf_clearError();
  gf_clearLiveryTables();
  prm::SCAN_LIVERIES.set(true);
  gf_scanLiveries();
  g_beforeListingLiveryFolder = nullptr;
  EXPECT_EQ(scanned(), previous);
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
  EXPECT_TRUE(g_liveriesProcessed.load());  // from the previous file
  EXPECT_NE(gf_statusSnapshot().error.find("could not finish"), std::string::npos);
}

// A truncated, empty or junk LiveriesScanned.xml is kept aside and the
// liveries are scanned again at once.
TEST_F(LiveryScanTest, ADamagedScannedFileIsKeptAsideAndRescanned) {
  writeCfg("liv/a/aircraft.cfg", "A320", {{"A", "BAW"}});
  prm::lfolder0.set("liv");
  const fs::path bad = g_liveriesScannedPath.string() + ".bad";
  for (const std::string damaged : {"", "<?xml version=\"1.0\"?>\n<liveries>\n\t<liv airl=", "\x01\x02junk",
                                    "<?xml version=\"1.0\"?><other/>"}) {
    SCOPED_TRACE(damaged);
    writeFile(g_liveriesScannedPath, damaged);
    gf_clearLiveryTables();
    gf_clearError();
    prm::SCAN_LIVERIES.set(false);
    gf_scanLiveries();
    EXPECT_EQ(readFile(bad), damaged);
    EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A"}));
    EXPECT_FALSE(prm::SCAN_LIVERIES.value());
    EXPECT_TRUE(g_liveriesProcessed.load());
    EXPECT_NE(gf_statusSnapshot().error.find("kept as " + bad.string()), std::string::npos);
  }
}

// A LiveriesScanned.xml that cannot be saved leaves the scan switched on,
// shows an error and leaves no temporary file; the run goes on with the
// liveries found.
TEST_F(LiveryScanTest, AFailedSaveKeepsTheScanOn) {
  writeCfg("liv/a/aircraft.cfg", "A320", {{"A", "BAW"}});
  prm::lfolder0.set("liv");
  fs::create_directories(g_liveriesScannedPath / "in-the-way");  // a folder cannot be replaced by a file
  gf_scanLiveries();
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
  EXPECT_TRUE(g_liveriesProcessed.load());
  EXPECT_NE(gf_statusSnapshot().error.find("Could not save"), std::string::npos);
  for (const auto& entry : fs::directory_iterator(g_outputFolder))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  gf_clearError();
}

// The walk and the workers watch the stop flags: once a stop is asked for,
// no further folder is listed. (How fast a close ends is measured by the
// benchmark.)
TEST_F(LiveryScanTest, AStopEndsTheWalkOfALargeFolder) {
  for (int i = 0; i < 40; ++i)
    writeCfg(fs::path("liv") / fmt::format("p{:02}", i) / "aircraft.cfg", "A320", {{fmt::format("T{}", i), "BAW"}});
  prm::lfolder0.set("liv");
  // One worker: with more, each may still list the folder it had taken
  // before the stop was asked for.
  g_maxTasks = 1;
  std::atomic<int> listedAfterStop{0};
  g_beforeListingLiveryFolder = [&](const fs::path& folder) {
    if (g_stopRun) ++listedAfterStop;
    if (folder == "liv/p05") g_stopRun = true;
  };
  gf_scanLiveries();
  g_beforeListingLiveryFolder = nullptr;
  EXPECT_EQ(listedAfterStop.load(), 0);
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
  EXPECT_EQ(g_runningTasks.load(), 0);
}

// The character set is told from the first 1027 bytes; when they look like
// UTF-8, a line beyond them that is not UTF-8 is read as ANSI and every
// other line as UTF-8, so the result file stays valid UTF-8 and holds the
// titles as the simulator knows them, also beside a stray Windows-1252
// letter in a comment further down.
TEST_F(LiveryScanTest, ALetterBeyondTheCharsetSampleDecidesBetweenAnsiAndUtf8) {
  const std::string padding = "// " + std::string(1100, '-');
  for (const auto& [encoding, folder] : {std::pair{CfgEncoding::Ansi, "ansi"}, std::pair{CfgEncoding::Utf8, "utf8"}}) {
    AircraftCfgBuilder cfg;
    cfg.line(padding).general("A320");
    cfg.section({.number = 0, .title = fmt::format("A320 {} \xC3\x98resund \xC3\xA9t\xC3\xA9", folder), .airline = "BAW"});
    cfg.write(fs::path("liv") / folder / "aircraft.cfg", encoding);
  }
  AircraftCfgBuilder mixed;
  mixed.general("A320").section({.number = 0, .title = "A320 Lufthansa St\xC3\xA4" "dte", .airline = "DLH"});
  mixed.line(padding).line("// repainted by Andr\xE9");
  mixed.write(fs::path("liv") / "mixed" / "aircraft.cfg", CfgEncoding::Utf8);
  prm::lfolder0.set("liv");
  gf_scanLiveries();
  EXPECT_EQ(titlesIn(scanned()), (std::vector<std::string>{"A320 ansi \xC3\x98resund \xC3\xA9t\xC3\xA9",
                                                           "A320 utf8 \xC3\x98resund \xC3\xA9t\xC3\xA9",
                                                           "A320 Lufthansa St\xC3\xA4" "dte"}));
}
