#include "scan/scan_reports.h"

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "scan/liveries_file.h"
#include "support/livery_builder.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using testsupport::logHasLine;
using testsupport::readFile;

namespace {

class ScanReportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_clearScanReports();
    g_scannedLiveries.clear();
    testsupport::openTestLog();
  }
  void TearDown() override {
    gf_clearScanReports();
    g_scannedLiveries.clear();
    gf_resetDbaseForTests();
  }

  // The log lines from the first one that equals the text on.
  static std::vector<std::string> logFrom(const std::string& first) {
    auto lines = testsupport::logLines();
    auto it = std::find(lines.begin(), lines.end(), first);
    return {it, lines.end()};
  }
};

TEST_F(ScanReportsTest, CleanScanLogsNoErrorsAndWritesNoFile) {
  fs::remove_all(g_outputErrorsFolder);
  lf_writeScanReport();
  EXPECT_EQ(logFrom(""), (std::vector<std::string>{"", "No errors", "", "Information:"}));
  EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
  EXPECT_TRUE(fs::is_empty(g_outputInfoFolder));
}

TEST_F(ScanReportsTest, EveryListGoesToItsFileWithItsSummary) {
  fs::remove_all(g_outputErrorsFolder);  // made again by the report
  gf_reportInvalidAirline("XYZ          in a.cfg [fltsim.1]");
  gf_reportInvalidType("Q400             in b.cfg");
  gf_reportInvalidType("A3XX             in a.cfg");
  gf_reportCodeFix("Model fix: B38M found in z.cfg changed into B38M");
  gf_reportCodeFix("Model fix: A20N found in a.cfg changed into A20N");
  gf_reportInvalidFile("Line icao_type_designator= is missing in [General] section of c.cfg");
  gf_reportIncompleteSection("f [fltsim.2] misses title");
  gf_reportIncompleteSection("e [fltsim.1] misses title");
  gf_reportIncompleteSection("f [fltsim.2] misses title");
  gf_reportNoSection("z/aircraft.cfg");
  gf_reportNoSection("a/aircraft.cfg");
  gf_reportLiveryUpdated("second");
  gf_reportLiveryUpdated("first");

  lf_writeScanReport();

  EXPECT_EQ(readFile(g_invalidAirlineCodesLogPath), "XYZ          in a.cfg [fltsim.1]\n");
  EXPECT_EQ(readFile(g_invalidAircraftCodesLogPath), "A3XX             in a.cfg\nQ400             in b.cfg\n");
  // The fixes keep the order in which they came.
  EXPECT_EQ(readFile(g_fixesLogPath),
            "Model fix: B38M found in z.cfg changed into B38M\nModel fix: A20N found in a.cfg changed into A20N\n");
  EXPECT_EQ(readFile(g_invalidAircraftCfgFilesLogPath),
            "Line icao_type_designator= is missing in [General] section of c.cfg\n");
  // Sorted and each repeated line once; the count includes the repeat.
  EXPECT_EQ(readFile(g_incompleteFltsimSectionsLogPath), "e [fltsim.1] misses title\nf [fltsim.2] misses title\n");
  EXPECT_EQ(readFile(g_noFltsimSectionLogPath), "a/aircraft.cfg\nz/aircraft.cfg\n");
  EXPECT_EQ(readFile(g_airlineModelConversionsLogPath), "second\nfirst\n");

  EXPECT_EQ(logFrom(""), (std::vector<std::string>{
                             "",
                             "Errors:",
                             "1 invalid airline code, see " + (g_invalidAirlineCodesLogPath).string(),
                             "2 invalid model codes, see " + (g_invalidAircraftCodesLogPath).string(),
                             "2 code fixes, see " + (g_fixesLogPath).string(),
                             "1 invalid aircraft.cfg files, see " + (g_invalidAircraftCfgFilesLogPath).string(),
                             "3 incomplete [fltsim.x] sections, see " + (g_incompleteFltsimSectionsLogPath).string(),
                             "",
                             "Information:",
                             "2 empty aircraft.cfg files, see " + (g_noFltsimSectionLogPath).string(),
                             "2 liveries updated with real live data from dbase, see " +
                                 (g_airlineModelConversionsLogPath).string(),
                         }));
}

TEST_F(ScanReportsTest, FileNamesAreTheUsersOnes) {
  const fs::path errors = fs::path("output") / "errors", info = fs::path("output") / "info";
  EXPECT_EQ(g_incompleteFltsimSectionsLogPath, errors / "IncompleFltsimSections.txt");
  EXPECT_EQ(g_invalidAirlineCodesLogPath, errors / "InvalidAirlineCodes.txt");
  EXPECT_EQ(g_invalidAircraftCodesLogPath, errors / "InvalidAircraftCodes.txt");
  EXPECT_EQ(g_fixesLogPath, errors / "Fixes.txt");
  EXPECT_EQ(g_invalidAircraftCfgFilesLogPath, errors / "InvalidAircraftCfgFiles.txt");
  EXPECT_EQ(g_inlineRegcodesLogPath, errors / "InlineRegcodes.txt");
  EXPECT_EQ(g_noFltsimSectionLogPath, info / "AircraftCfgWithNoFltsimSection.txt");
  EXPECT_EQ(g_airlineModelConversionsLogPath, info / "AirlineModelConversions.txt");
}

TEST_F(ScanReportsTest, ListsAreEmptiedAfterAScan) {
  gf_reportCodeFix("fix");
  gf_reportIncompleteSection("x");
  lf_writeScanReport();
  gf_clearScanReports();
  for (auto list : {ScanReport::NoSection, ScanReport::InvalidFiles, ScanReport::IncompleteSections,
                    ScanReport::InvalidAirlines, ScanReport::InvalidTypes, ScanReport::CodeFixes,
                    ScanReport::LiveriesUpdated}) {
    EXPECT_TRUE(gf_reportLines(list).empty());
  }
  // A second scan with the same fix counts it once.
  gf_reportCodeFix("fix");
  lf_writeScanReport();
  EXPECT_EQ(readFile(g_fixesLogPath), "fix\n");
  EXPECT_TRUE(logHasLine("1 code fixes, see " + (g_fixesLogPath).string()));
}

TEST_F(ScanReportsTest, ErrorsFolderThatCannotBeMadeThrows) {
  fs::remove_all("output");
  testsupport::writeFile("output", "not a folder");
  gf_reportInvalidAirline("XYZ");
  EXPECT_THROW(lf_writeScanReport(), fs::filesystem_error);
}

TEST_F(ScanReportsTest, AppendsFromManyThreadsAllArrive) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) {
        gf_reportIncompleteSection(std::to_string(t));
        gf_reportInvalidAirline(std::to_string(i));
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(gf_reportLines(ScanReport::IncompleteSections).size(), 4000u);
  EXPECT_EQ(gf_reportLines(ScanReport::InvalidAirlines).size(), 4000u);
}

TEST_F(ScanReportsTest, RemoveResultFilesKeepsConversionsAndEmptiesErrorsFolder) {
  const std::vector<fs::path> removed{g_noFltsimSectionLogPath,
                                      g_inlineRegcodesLogPath,      g_invalidAirlineCodesLogPath,
                                      g_invalidAircraftCodesLogPath, g_fixesLogPath,
                                      g_invalidAircraftCfgFilesLogPath, g_incompleteFltsimSectionsLogPath};
  for (const auto& p : removed) testsupport::writeFile(p, "x\n");
  testsupport::writeFile(g_airlineModelConversionsLogPath, "kept\n");
  testsupport::writeFile(g_liveriesScannedPath, "<liveries/>\n");

  lf_removeResultFiles();
  for (const auto& p : removed) EXPECT_FALSE(fs::exists(p)) << p;
  // The scanned liveries stay until a completed scan replaces them.
  EXPECT_EQ(readFile(g_liveriesScannedPath), "<liveries/>\n");
  EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
  EXPECT_EQ(readFile(g_airlineModelConversionsLogPath), "kept\n");
  EXPECT_FALSE(testsupport::logContains("problems with removing"));

  lf_removeResultFiles();  // nothing there: no error
  EXPECT_FALSE(testsupport::logContains("problems with removing"));
}

TEST_F(ScanReportsTest, RemovalStopsAtTheFirstFailure) {
  // An errors folder with a file of the user's stays, with a log line.
  testsupport::writeFile(g_outputErrorsFolder / "mine.txt", "x");
  testsupport::writeFile(g_fixesLogPath, "x");
  lf_removeResultFiles();
  EXPECT_FALSE(fs::exists(g_fixesLogPath));
  EXPECT_TRUE(fs::exists(g_outputErrorsFolder / "mine.txt"));
  EXPECT_TRUE(testsupport::logContains("problems with removing previous files: "));

  // A removal that fails ends the sequence: what comes after it stays.
  testsupport::openTestLog();
  testsupport::writeFile(g_noFltsimSectionLogPath, "x");
  fs::remove(g_inlineRegcodesLogPath);
  testsupport::writeFile(g_inlineRegcodesLogPath / "inside", "x");  // a folder that is not empty
  testsupport::writeFile(g_invalidAirlineCodesLogPath, "x");
  lf_removeResultFiles();
  EXPECT_FALSE(fs::exists(g_noFltsimSectionLogPath));
  EXPECT_TRUE(fs::exists(g_invalidAirlineCodesLogPath));
  EXPECT_TRUE(testsupport::logContains("problems with removing previous files: "));
}


TEST_F(ScanReportsTest, RegistrationRecordsCorrectTheLiveries) {
  testsupport::DbaseBuilder()
      .reg("G-EUUA", "BAW", "A320", "SHT", false)
      .reg("N101FE", "FDX", "B763", "", true)
      .reg("D-AIZA", "DLH", "A320", "", false)
      .write();
  gf_resetDbaseForTests();
  gf_readDbase();

  g_scannedLiveries = {
      testsupport::livery("BAW", "A319", "BA Shuttle", "GEUUA", false),      // operator and type differ
      testsupport::livery("FDX", "B763", "FedEx", "N101FE", false),          // cargo differs
      testsupport::livery("DLH", "A320", "Lufthansa", "D-AIZA", false),      // all equal
      testsupport::livery("PVT", "C172", "No registration D-AIZA", "", false),
      testsupport::livery("XXX", "B738", "Unknown", "N999ZZ", false),
  };
  lf_logCodeFixes();

  EXPECT_EQ(g_scannedLiveries[0].airline, "SHT");
  EXPECT_EQ(g_scannedLiveries[0].type, "A320");
  EXPECT_EQ(g_scannedLiveries[0].registration, "GEUUA");
  EXPECT_TRUE(g_scannedLiveries[1].cargo);
  EXPECT_EQ(g_scannedLiveries[2], testsupport::livery("DLH", "A320", "Lufthansa", "D-AIZA", false));
  EXPECT_EQ(g_scannedLiveries[3], testsupport::livery("PVT", "C172", "No registration D-AIZA", "", false));
  EXPECT_EQ(g_scannedLiveries[4], testsupport::livery("XXX", "B738", "Unknown", "N999ZZ", false));

  const std::string pad(80 - 10, ' ');  // "BA Shuttle" is 10 characters
  EXPECT_EQ(gf_reportLines(ScanReport::LiveriesUpdated),
            (std::vector<std::string>{
                "BA Shuttle" + pad + " GEUUA airl BAW => SHT",
                "BA Shuttle" + pad + " GEUUA model A319 => A320",
                "FedEx" + std::string(75, ' ') + " N101FE cargo false => true",
            }));
}

}  // namespace
