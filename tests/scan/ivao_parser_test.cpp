#include "scan/ivao_parser.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "scan/cfg_parser.h"
#include "scan/scan_reports.h"
#include "support/cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::AircraftCfgBuilder;
using testsupport::cfgLines;
using testsupport::FltsimSection;
using testsupport::makeTextureFolder;

namespace {

class IvaoParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    testsupport::openTestLog();
    lf_clearLiveries();
    testsupport::DbaseBuilder()
        .type("B738", 35.8, "large")
        .type("A320", 34.1, "large")
        .type("A319", 34.1, "large")
        .airline("DLH")
        .airline("KLM")
        .airline("ZZZ")
        .typeFix("A32N", "A320")
        .reg("D-AIAB", "DLH", "A320")
        .write();
    gf_resetDbaseForTests();
    gf_readDbase();
  }
  void TearDown() override {
    lf_clearLiveries();
    gf_resetDbaseForTests();
  }

  // The aircraft.cfg of a model folder of the IVAO_MTL package.
  static fs::path modelCfg(const std::string& modelFolder) {
    return fs::path("Community") / "IVAO_MTL" / "SimObjects" / "Airplanes" / modelFolder / "aircraft.cfg";
  }
  static LiveryList scan(const fs::path& path, std::uint32_t rank = 1) {
    return lf_searchIvaoLiveriesInFile(rank, path.string());
  }
  static std::vector<std::string> report(ScanReport list) { return gf_reportLines(list); }
};

TEST_F(IvaoParserTest, ModelFolderIsFoundInAnyLetterCaseWithEitherSeparator) {
  EXPECT_EQ(lf_ivaoModelFromPath("C:\\Community\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_B738\\aircraft.cfg"), "B738");
  EXPECT_EQ(lf_ivaoModelFromPath("c:/community/ivao_mtl/simobjects/AIRPLANES/ivao_B738/Aircraft.CFG"), "B738");
  EXPECT_EQ(lf_ivaoModelFromPath("x/IVAO_X-CSL/SimObjects/Airplanes/IVAO_A320wCFM/aircraft.cfg"), "A320");
  EXPECT_EQ(lf_ivaoModelFolder("x/ivao_x-csl/SimObjects/Airplanes/IVAO_A320wCFM/aircraft.cfg", "ivao_x-csl"),
            "A320wCFM");
  EXPECT_THAT(report(ScanReport::InvalidTypes), IsEmpty());

  // A type fix applies; the model code keeps its case, so lower case is no type.
  EXPECT_EQ(lf_ivaoModelFromPath("x/IVAO_MTL/SimObjects/Airplanes/IVAO_A32N/aircraft.cfg"), "A320");
  EXPECT_EQ(lf_ivaoModelFromPath("x/IVAO_MTL/SimObjects/Airplanes/IVAO_b738/aircraft.cfg"), "");
  // Shapes that do not match: nothing before the package, a model folder that
  // is not all word characters, a deeper folder, another package.
  for (const char* path : {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg",
                           "x/IVAO_MTL/SimObjects/Airplanes/IVAO_B73-8/aircraft.cfg",
                           "x/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/sub/aircraft.cfg",
                           "x/IVAO_MTL/SimObjects/Airplanes/IVAO_/aircraft.cfg",
                           "x/Other/SimObjects/Airplanes/IVAO_B738/aircraft.cfg"}) {
    EXPECT_EQ(lf_ivaoModelFromPath(path), "") << path;
  }
  const std::vector<std::string> types = report(ScanReport::InvalidTypes);
  ASSERT_EQ(types.size(), 6u);
  EXPECT_EQ(types[0], "b738" + std::string(12, ' ') + " in x/IVAO_MTL/SimObjects/Airplanes/IVAO_b738/aircraft.cfg");
  EXPECT_EQ(types[1], std::string(16, ' ') + " in IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg");
  EXPECT_THAT(report(ScanReport::CodeFixes),
              ElementsAre("Model fix: A32N found in x/IVAO_MTL/SimObjects/Airplanes/IVAO_A32N/aircraft.cfg changed "
                          "into A320"));
}

TEST_F(IvaoParserTest, AirlineFollowsTheModelCodeWithTheWingletFlag) {
  EXPECT_TRUE(lf_ivaoWingletFlag("x/IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa"));
  EXPECT_FALSE(lf_ivaoWingletFlag("x/IVAO_MTL/SimObjects/Airplanes/IVAO_B738wlfa"));

  EXPECT_EQ(lf_ivaoAirlineOfTitle("B738W DLH Lufthansa", "B738", true), "DLH");
  EXPECT_EQ(lf_ivaoAirlineOfTitle("b738wdlh", "B738", true), "dlh");  // as written
  EXPECT_EQ(lf_ivaoAirlineOfTitle("B738W DLH Lufthansa", "B738", false), std::nullopt);
  EXPECT_EQ(lf_ivaoAirlineOfTitle("B738 DLH Lufthansa", "B738", false), "DLH");
  EXPECT_EQ(lf_ivaoAirlineOfTitle("B738 DLH Lufthansa", "B738", true), std::nullopt);
  EXPECT_EQ(lf_ivaoAirlineOfTitle("B738 DL", "B738", false), std::nullopt);
  EXPECT_EQ(lf_ivaoAirlineOfTitle("A320 KLM", "B738", false), std::nullopt);

  const fs::path winglets = modelCfg("IVAO_B738WLfa");
  AircraftCfgBuilder()
      .section({.number = 0, .title = "B738W DLH Lufthansa", .texture = "DLH"})
      .section({.number = 1, .title = "B738 KLM Royal Dutch", .texture = "KLM"})
      .write(winglets);
  makeTextureFolder(winglets, "DLH");
  makeTextureFolder(winglets, "KLM");
  const LiveryList list = scan(winglets, 4);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].airline, "DLH");
  EXPECT_EQ(list[0].type, "B738");
  EXPECT_EQ(list[0].folderRank, 4u);
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(lf_folderOf(winglets.string()) +
                          " [fltsim.1] misses airlinecode in title: B738 KLM Royal Dutch, and no regcode"));
}

TEST_F(IvaoParserTest, MissingTextureFolderIsTheOnlyLineOfItsSection) {
  const fs::path cfg = modelCfg("IVAO_B738");
  AircraftCfgBuilder()
      .section({.number = 0, .title = "B738 DLH one", .atcId = "D-A*B", .texture = "Gone",
                .extra = {"title = again", "atc_parking_types = GATE"}})
      .section({.number = 1, .title = "B738 DLH two", .texture = "lower"})
      .section({.number = 2, .title = "B738 KLM three"})       // no texture line: the folder "texture"
      .section({.number = 3, .title = "B738 KLM four", .texture = "../../../elsewhere"})
      .section({.number = 4, .title = "B738 KLM five", .texture = std::string(300, 'x')})  // too long to exist
      .write(cfg);
  makeTextureFolder(cfg, "LOWER");  // found in any letter case
  makeTextureFolder(cfg, "");
  fs::create_directories("elsewhere");

  const LiveryList list = scan(cfg);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].title, "B738 DLH two");
  EXPECT_EQ(list[1].title, "B738 KLM three");
  const std::string folder = lf_folderOf(cfg.string());
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(folder + "/texture.Gone [fltsim.0] does not exist",
                          folder + "/texture.../../../elsewhere [fltsim.3] does not exist",
                          folder + "/texture." + std::string(300, 'x') + " [fltsim.4] does not exist"));
}

TEST_F(IvaoParserTest, SectionRulesAndReportLines) {
  const fs::path cfg = modelCfg("IVAO_B738");
  AircraftCfgBuilder()
      .section({.number = 0, .title = "  B738 DLH padded  ", .parkingTypes = "CARGO", .texture = "t"})
      .section({.number = 1, .title = "B738 XYZ unknown airline", .texture = "t"})
      .section({.number = 2, .title = "Lufthansa by registration", .atcId = "DAIAB", .texture = "t"})
      .section({.number = 3, .title = "Nobody", .atcId = "D-XXXX", .texture = "t"})
      .section({.number = 4, .title = "B738 ZZZ generic", .atcId = "D-AIAB", .texture = "t"})
      .section({.number = 5, .title = "B738 DLH padded", .texture = "t"})
      .section({.number = 6, .texture = "t"})
      .section({.number = 7, .title = "B738 DLH a", .texture = "t", .extra = {"title = b"}})
      .section({.number = 8, .title = "B738 DLH c", .parkingTypes = "GATE", .texture = "t",
                .extra = {"atc_parking_types = RAMP"}})
      .section({.number = 9, .title = "B738 DLH d", .atcId = "D-AIAB;x*", .texture = "t",
                .extra = {"atc_id=D-AIAC"}})
      .write(cfg);
  makeTextureFolder(cfg, "t");

  const LiveryList list = scan(cfg);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].title, "B738 DLH padded");
  EXPECT_FALSE(list[0].cargo);  // never cargo here
  EXPECT_EQ(list[1].title, "Lufthansa by registration");
  EXPECT_EQ(list[1].airline, "DLH");
  EXPECT_EQ(list[1].registration, "DAIAB");
  EXPECT_EQ(list[2].airline, "ZZZ");
  EXPECT_EQ(list[2].registration, "");
  EXPECT_TRUE(testsupport::logHasLine("removed spaces around title '  B738 DLH padded  ' --> 'B738 DLH padded'"));

  const std::string path = cfg.string();
  const std::string folder = lf_folderOf(path);
  EXPECT_THAT(report(ScanReport::InvalidAirlines),
              ElementsAre("XYZ" + std::string(9, ' ') + " in " + path + " [fltsim.1]"));
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(folder + " [fltsim.3] misses airlinecode in title: Nobody, and regcode unknown D-XXXX",
                          folder + " [fltsim.5] title already exists: B738 DLH padded",
                          folder + " [fltsim.6] misses title",
                          folder + " [fltsim.7] has more than one title key",
                          folder + " [fltsim.8] has more than one atc_parking_types key",
                          "invalid atc_id=D-AIAB;x* in B738 DLH d",  // no cut at ";" here
                          folder + ", [fltsim.9], has more than one atc_id key"));
}

TEST_F(IvaoParserTest, FileTaskStopsOnUnknownPathsAndUnreadableFiles) {
  EXPECT_TRUE(scan("Community/Other/aircraft.cfg").empty());
  EXPECT_EQ(report(ScanReport::InvalidTypes).size(), 1u);

  const fs::path empty = modelCfg("IVAO_A319");
  testsupport::writeFile(empty, "");
  EXPECT_TRUE(scan(empty).empty());
  EXPECT_TRUE(testsupport::logHasLine("===> No character set found for " + empty.string()));

  // The same file-level checks as the ordinary parser.
  const fs::path bad = modelCfg("IVAO_A320");
  testsupport::writeFile(bad, "[fltsim.20000]\ntitle = A320 DLH\n");
  EXPECT_TRUE(scan(bad).empty());
  EXPECT_EQ(report(ScanReport::InvalidFiles).size(), 1u);
}

// A title that an IVAO package and an ordinary package both declare goes to
// the lower folder rank, whichever task finishes first.
TEST_F(IvaoParserTest, TitleSharedWithAnOrdinaryPackageIsResolvedByRank) {
  const fs::path cfg = modelCfg("IVAO_B738");
  AircraftCfgBuilder().section({.number = 0, .title = "B738 DLH shared", .texture = "t"}).write(cfg);
  makeTextureFolder(cfg, "t");
  LiveryMerge merge;
  merge.add(2, cfg.string(), gf_parseIvaoCfgFile(2, cfg.string()));
  merge.add(1, "zzz/aircraft.cfg",
            gf_parseAircraftCfg(1, "zzz/aircraft.cfg",
                                gf_splitCfgLines("icao_type_designator = B738\n[fltsim.0]\ntitle = B738 DLH shared\n"
                                                 "icao_airline = KLM\n")));
  merge.resolveDuplicateTitles();
  const ScannedLiveryList& merged = merge.liveries();
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].airline, "KLM");
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(lf_folderOf(cfg.string()) + " [fltsim.0] title already exists: B738 DLH shared"));
}

}  // namespace
