#include "scan/cfg_parser.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/dont_use_titles.h"
#include "app/files.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "scan/scan_reports.h"
#include "support/cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using testsupport::AircraftCfgBuilder;
using testsupport::CfgEncoding;
using testsupport::cfgLines;
using testsupport::FltsimSection;

namespace {

constexpr const char* kPath = "pkg/A320/aircraft.cfg";
constexpr const char* kFolder = "pkg/A320";

class CfgParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    testsupport::openTestLog();
    lf_clearLiveries();
    prm::SUPPRESS_STUB.set(true);
    testsupport::DbaseBuilder()
        .type("A320", 34.1, "large")
        .type("A20N", 35.8, "large")
        .type("B738", 35.8, "large")
        .type("B77L", 64.8, "heavy")
        .type("C172", 11.0)
        .airline("DLH")
        .airline("BAW")
        .airline("KLM")
        .airline("ZZZ")
        .typeFix("B77F", "B77L")
        .stockModel("Asobo_A320_NEO", "A20N")
        .reg("D-AIAB", "DLH", "A320")
        .reg("G-EUUA", "BAW", "A319")
        .reg("N12AB", "", "C172")
        .write();
    gf_resetDbaseForTests();
    gf_readDbase();
  }
  void TearDown() override {
    lf_clearLiveries();
    prm::SUPPRESS_STUB.set(true);
    gf_resetDbaseForTests();
  }

  static LiveryList parse(const std::string& text, const std::string& path = kPath, std::uint32_t rank = 1) {
    return gf_parseAircraftCfgLines(rank, path, cfgLines(text));
  }
  // A file of type A320 with these lines after its [General] section.
  static LiveryList parseSections(const std::string& sections) {
    return parse("[General]\nicao_type_designator = A320\n\n" + sections);
  }
  static std::vector<std::string> report(ScanReport list) { return gf_reportLines(list); }
  static std::vector<std::string> titles(const LiveryList& list) {
    std::vector<std::string> out;
    for (const auto& l : list) out.push_back(l.title);
    return out;
  }
};

// --- Key readers ---------------------------------------------------------

TEST_F(CfgParserTest, KeyReadersTakeWholeLinesAndApplyTheQuoteRule) {
  struct Row {
    std::string line, expected;
  };
  const std::vector<Row> titleRows{
      {"title = Airbus A320 DLH", "Airbus A320 DLH"},
      {"  TITLE=\"A B\"  ", "A B"},
      {"\tTitle\t=\tX\t", "X"},
      {"title = \"Quoted\" trailing", "Quoted"},
      {"title = x ; comment", "x ; comment"},
      {"title=\"\"", ""},
      {"title=\"open", ""},
      {"title=", ""},
      {"title =    ", ""},
      {"titles = x", ""},
      {"subtitle = x", ""},
      {"// title = x", ""},
      {"title : x", ""},
      {"title = a\rb", ""},  // no line break inside the value
      {"title = ab\r", "ab"},
  };
  for (const auto& row : titleRows) EXPECT_EQ(lf_readTitle(row.line), row.expected) << row.line;

  EXPECT_EQ(lf_readIcaoTypeDesignator("icao_type_designator = \"b738x\""), "B738");
  EXPECT_EQ(lf_readIcaoTypeDesignator("ICAO_TYPE_DESIGNATOR=a3"), "A3");
  EXPECT_EQ(lf_readIcaoTypeDesignator("icao_type_designator = \"\""), "");

  EXPECT_EQ(lf_readBaseContainer("base_container = \"..\\Asobo_A320_NEO\""), "A20N");
  EXPECT_EQ(lf_readBaseContainer("base_container = ../Asobo_A320_NEO"), "A20N");
  EXPECT_EQ(lf_readBaseContainer("base_container = \"..\\Unknown_Model\""), "");
  EXPECT_EQ(lf_readBaseContainer("base_container = \"..\\\""), "");  // shorter than 4

  EXPECT_EQ(lf_readIcaoAirline("atc_airline = DLH"), std::nullopt);
  EXPECT_EQ(lf_readIcaoAirline("icao_airline = \"\""), "ZZZ");
  EXPECT_EQ(lf_readIcaoAirline("icao_airline = ZZZZ"), "ZZZ");
  EXPECT_EQ(lf_readIcaoAirline("Icao_Airline = \"dlh\""), "DLH");

  EXPECT_EQ(lf_readAtcParkingTypes("atc_parking_types = \"GATE,RAMP\""), "GATE,RAMP");
  EXPECT_EQ(lf_readAtcParkingTypes("atc_parking_types = \"\""), "");

  EXPECT_EQ(lf_readAtcId("atc_id = D-AB"), "");  // fewer than 5 characters
  EXPECT_EQ(lf_readAtcId("atc_id = D-ABC"), "D-ABC");
  EXPECT_EQ(lf_readAtcId("atc_id_color = 0xffffffff"), "");
}

TEST_F(CfgParserTest, HeaderReaderGivesNumbersAndTenThousandForHeaderLikeLines) {
  EXPECT_EQ(lf_readFltsimHeader("[fltsim.0]"), "0");
  EXPECT_EQ(lf_readFltsimHeader("  [FLTSIM.12]  "), "12");
  EXPECT_EQ(lf_readFltsimHeader("[FltSim.7]"), "7");
  EXPECT_EQ(lf_readFltsimHeader("[fltsim.3] // old livery"), "10000");
  EXPECT_EQ(lf_readFltsimHeader("[fltsim.x]"), "10000");
  EXPECT_EQ(lf_readFltsimHeader("[FLTSIM.]"), "10000");
  EXPECT_EQ(lf_readFltsimHeader("[Fltsim.x]"), "");  // mixed case that fails the pattern
  EXPECT_EQ(lf_readFltsimHeader("//[fltsim.1]"), "");
  EXPECT_EQ(lf_readFltsimHeader("[General]"), "");
  EXPECT_EQ(lf_readFltsimHeader(""), "");
}

// The readers are written out by hand; they must agree with the patterns
// that define them, on awkward lines too.
TEST_F(CfgParserTest, KeyLineMatcherAgreesWithItsPattern) {
  const std::regex pattern(R"(\s*(title)\s*=\s*(.*\S)\s*)", std::regex::ECMAScript | std::regex::icase);
  const std::regex header(R"(\s*(\[fltsim\.)(\d+)\]\s*)", std::regex::ECMAScript | std::regex::icase);
  const std::vector<std::string> lines{
      "title=a", " title = a b ", "TITLE=x", "title==x", "title = \"\"", "title=", "title= ", "title",
      "xtitle=a", "title x=a", "title\v=\fa\v", "title = a\r", "title = a\rb", "title = \ra", "title = a\nb",
      "\ttitle\t=\t\t", "title = \xC3\xA9t\xC3\xA9", "title = \xFF", "ti tle = a", "title = a  \t  b"};
  for (const std::string& line : lines) {
    std::smatch m;
    const bool expected = std::regex_match(line, m, pattern);
    std::string_view raw;
    EXPECT_EQ(lf_matchKeyLine(line, "title", &raw), expected) << line;
    if (expected) {
      EXPECT_EQ(std::string(raw), m[2].str()) << line;
    }
  }
  for (const char* line :
       {"[fltsim.1]", " [FLTSIM.22] ", "[fltsim.]", "[fltsim.1 ]", "[fltsim.1]x", "[fltsim.-1]", "x[fltsim.1]",
        "[fltsim.1]]", "[fltsim.01]\r"}) {
    std::smatch m;
    const std::string text(line);
    if (std::regex_match(text, m, header)) {
      EXPECT_EQ(lf_readFltsimHeader(text), m[2].str()) << text;
    } else {
      EXPECT_EQ(lf_readFltsimHeader(text), "10000") << text;  // each holds "[fltsim." or fails
    }
  }
}

TEST_F(CfgParserTest, AtcIdValuesAreSingleSeveralOrInvalid) {
  std::string single;
  EXPECT_EQ(lf_checkAtcId(" D-ABCD ", &single), AtcIdKind::Single);
  EXPECT_EQ(single, "D-ABCD");
  EXPECT_EQ(lf_checkAtcId("D-ABCD, D-EFGH"), AtcIdKind::Several);
  EXPECT_EQ(lf_checkAtcId("D-ABCD,,D-EFGH"), AtcIdKind::Invalid);
  EXPECT_EQ(lf_checkAtcId("D-ABCD,"), AtcIdKind::Invalid);
  EXPECT_EQ(lf_checkAtcId("ABCDEFGHIJKL"), AtcIdKind::Single);  // 12 characters
  EXPECT_EQ(lf_checkAtcId("ABCDEFGHIJKLM"), AtcIdKind::Invalid);
  EXPECT_EQ(lf_checkAtcId("D-AB*D"), AtcIdKind::Invalid);

  EXPECT_EQ(lf_folderOf("C:\\Community\\pkg\\aircraft.cfg"), "C:\\Community\\pkg");
  EXPECT_EQ(lf_folderOf("pkg/A320/aircraft.cfg"), "pkg/A320");
  EXPECT_EQ(lf_folderOf("aircraft.cfg"), "");
}

// --- Section numbers and splitting ---------------------------------------

TEST_F(CfgParserTest, SectionNumbersAboveTheLimitOrBeyond32BitsRejectTheFile) {
  EXPECT_TRUE(parseSections("[fltsim.10001]\ntitle = A\nicao_airline = DLH\n").empty());
  EXPECT_THAT(report(ScanReport::InvalidFiles),
              ElementsAre(std::string(kPath) + " contains a [fltsim.x] section with a number < 0 or > 10000"));

  // Exactly 10000 passes, and so does every header-like line.
  EXPECT_THAT(titles(parseSections("[fltsim.10000]\ntitle = B\nicao_airline = DLH\n"
                                   "[fltsim.2] // spare\ntitle = C\nicao_airline = DLH\n")),
              ElementsAre("B", "C"));

  EXPECT_TRUE(parseSections("[fltsim.0]\ntitle = D\n[fltsim.99999999999]\ntitle = E\n").empty());
  EXPECT_TRUE(testsupport::logHasLine("===> fltsim num [fltsim.99999999999] incorrect"));
  EXPECT_EQ(report(ScanReport::InvalidFiles).size(), 1u);
}

TEST_F(CfgParserTest, FileWithoutSectionsIsListedAndStillHasItsTypeResolved) {
  EXPECT_TRUE(parse("[General]\nicao_type_designator = XX99\n").empty());
  EXPECT_THAT(report(ScanReport::NoSection), ElementsAre(kPath));
  EXPECT_THAT(report(ScanReport::InvalidTypes), ElementsAre("XX99" + std::string(12, ' ') + " in " + kPath));
}

TEST_F(CfgParserTest, BracketAmongTheFirstSixCharactersEndsTheSection) {
  // "[" at position 5: the airline line after it is outside the section.
  const LiveryList cut = parseSections("[fltsim.0]\ntitle = Cut\nabcde[x\nicao_airline = DLH\n");
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].airline, "PVT");
  // "[" at position 6: the line belongs to the section.
  const LiveryList kept = parseSections("[fltsim.1]\ntitle = Kept\nabcdef[x\nicao_airline = DLH\n");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].airline, "DLH");
  // The [General] header ends a section the same way.
  const LiveryList general = parse("[fltsim.0]\ntitle = Gen\n[General]\nicao_type_designator = A320\n"
                                   "icao_airline = DLH\n");
  ASSERT_EQ(general.size(), 1u);
  EXPECT_EQ(general[0].airline, "PVT");
}

TEST_F(CfgParserTest, HeaderVariantsOpenOrCloseSections) {
  const LiveryList list = parseSections(
      "[FLTSIM.1]\ntitle = Caps\nicao_airline = DLH\n"
      "[fltsim.2] // comment\ntitle = Commented\nicao_airline = BAW\n"
      "[Fltsim.x]\ntitle = Orphan\nicao_airline = KLM\n"  // no header: ends the open section
      "[fltsim.y]\ntitle = NotANumber\nicao_airline = KLM\n");
  EXPECT_THAT(titles(list), ElementsAre("Commented", "Caps", "NotANumber"));  // scan order: BAW, DLH, KLM
  for (const auto& l : list) EXPECT_EQ(l.folderRank, 1u);
}

TEST_F(CfgParserTest, EachSectionIsSplitWithItsHeaderFirst) {
  std::vector<std::vector<std::string>> sections;
  lf_forEachFltsimSection(gf_splitCfgLines("junk\n[fltsim.0]\na\n\n[General]\nb\n[fltsim.1]\nc\n//x\n"),
                          [&](CfgLines& s) { sections.emplace_back(s.begin(), s.end()); });
  EXPECT_THAT(sections, ElementsAre(ElementsAre("[fltsim.0]", "a", ""), ElementsAre("[fltsim.1]", "c", "//x")));
}

// --- Type resolution -----------------------------------------------------

TEST_F(CfgParserTest, TypeIsResolvedFixedOrReported) {
  EXPECT_EQ(lf_aircraftTypeOf(kPath, gf_splitCfgLines("icao_type_designator = a320\n")), "A320");
  EXPECT_EQ(lf_aircraftTypeOf(kPath, gf_splitCfgLines("icao_type_designator = B77F\n")), "B77L");
  EXPECT_THAT(report(ScanReport::CodeFixes), ElementsAre(std::string("Model fix: B77F found in ") + kPath +
                                                         " changed into B77L"));
  // Only the first designator line counts, even when it is unusable.
  EXPECT_EQ(lf_aircraftTypeOf(kPath, gf_splitCfgLines("icao_type_designator = Q\nicao_type_designator = A320\n")), "");
  EXPECT_THAT(report(ScanReport::InvalidTypes), ElementsAre("Q" + std::string(15, ' ') + " in " + kPath));
  // The stock model of base_container when there is no designator.
  EXPECT_EQ(lf_aircraftTypeOf(kPath, gf_splitCfgLines("[General]\nbase_container = \"..\\Asobo_A320_NEO\"\n")), "A20N");

  EXPECT_EQ(lf_aircraftTypeOf(kPath, gf_splitCfgLines("[General]\n")), "");
  EXPECT_EQ(lf_aircraftTypeOf("Community/pmdg-aircraft-77w/aircraft.cfg", gf_splitCfgLines("")), "");
  EXPECT_THAT(report(ScanReport::InvalidFiles),
              ElementsAre(std::string("Line icao_type_designator= is missing in [General] section of ") + kPath));
}

TEST_F(CfgParserTest, FileWithoutUsableTypeGivesNoLiveries) {
  EXPECT_TRUE(parse("[General]\nicao_type_designator = ZZ1\n[fltsim.0]\ntitle = A\nicao_airline = DLH\n").empty());
  EXPECT_THAT(report(ScanReport::IncompleteSections), IsEmpty());  // sections are not looked at
}

// --- Airline rules -------------------------------------------------------

TEST_F(CfgParserTest, AirlineCodesAreCutCheckedAndReported) {
  const LiveryList list = parseSections(
      "[fltsim.0]\ntitle = Cargo fleet\nicao_airline = DLHC\n"
      "[fltsim.1]\ntitle = Charter\nicao_airline = dlhx\n"
      "[fltsim.2]\ntitle = Blanks\nicao_airline = \" BAW \"\n"
      "[fltsim.3]\ntitle = Second try\nicao_airline = DLHA\nicao_airline = KLM\n");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].airline, "BAW");
  EXPECT_EQ(list[1].title, "Cargo fleet");
  EXPECT_EQ(list[1].airline, "DLH");
  EXPECT_EQ(list[2].airline, "DLH");
  EXPECT_EQ(list[3].title, "Second try");
  EXPECT_EQ(list[3].airline, "KLM");  // the invalid first value leaves the airline open
  EXPECT_THAT(report(ScanReport::InvalidAirlines),
              ElementsAre("DLHA" + std::string(8, ' ') + " in " + kPath + " [fltsim.3]"));
  EXPECT_THAT(report(ScanReport::IncompleteSections), IsEmpty());
}

TEST_F(CfgParserTest, RfoAndRepeatedAirlineKeysDropTheSection) {
  EXPECT_TRUE(parseSections("[fltsim.0]\ntitle = Reserved\nicao_airline = RFO\n"
                            "[fltsim.1]\ntitle = Twice\nicao_airline = DLH\nicao_airline = DLH\n")
                  .empty());
  EXPECT_THAT(report(ScanReport::InvalidAirlines), IsEmpty());
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(std::string(kPath) + " [fltsim.0] icao_airline is missing, or it has invalid info ",
                          std::string(kFolder) + " [fltsim.1] has more than one icao_airline key"));
}

TEST_F(CfgParserTest, GenericAirlineDropsTheRegistration) {
  const LiveryList list = parseSections("[fltsim.0]\ntitle = Generic\nicao_airline = \"\"\natc_id = D-AIAB\n"
                                        "[fltsim.1]\ntitle = Generic2\nicao_airline = ZZZZ\natc_id = D-AIAB\n");
  ASSERT_EQ(list.size(), 2u);
  for (const auto& l : list) {
    EXPECT_EQ(l.airline, "ZZZ");
    EXPECT_EQ(l.registration, "");
  }
}

TEST_F(CfgParserTest, MissingAirlineComesFromTheRegistrationOrBecomesPrivate) {
  const LiveryList list = parseSections(
      "[fltsim.0]\ntitle = Known reg\natc_id = DAIAB\n"            // D-AIAB in a variant form
      "[fltsim.1]\ntitle = Unknown reg\natc_id = D-XXXX\n"         // private, registration kept
      "[fltsim.2]\ntitle = Cessna N12AB club\n");                  // private, registration from the title
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].title, "Known reg");
  EXPECT_EQ(list[0].airline, "DLH");
  EXPECT_EQ(list[0].registration, "DAIAB");
  EXPECT_EQ(list[1].title, "Cessna N12AB club");
  EXPECT_EQ(list[1].airline, "PVT");
  EXPECT_EQ(list[1].registration, "N12AB");
  EXPECT_EQ(list[2].airline, "PVT");
  EXPECT_EQ(list[2].registration, "D-XXXX");
  // Each of them still reports its missing airline.
  EXPECT_EQ(report(ScanReport::IncompleteSections).size(), 3u);
}

TEST_F(CfgParserTest, HeavyWithoutAirlineNeedsAKnownRegistration) {
  const LiveryList list = parse(
      "[General]\nicao_type_designator = B77L\n"
      "[fltsim.0]\ntitle = Heavy none\n"
      "[fltsim.1]\ntitle = Heavy unknown\natc_id = D-XXXX\n"
      "[fltsim.2]\ntitle = Heavy known\natc_id = D-AIAB\n");
  EXPECT_THAT(titles(list), ElementsAre("Heavy known"));
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(std::string(kPath) + " [fltsim.0] icao_airline is missing, or it has invalid info ",
                          std::string("'") + kFolder + "' '[fltsim.0]' has no airline and no regcode info",
                          std::string(kPath) + " [fltsim.1] icao_airline is missing, or it has invalid info ",
                          std::string("'") + kFolder + "' '[fltsim.1]' has no airline and regcode not in dbase",
                          std::string(kPath) + " [fltsim.2] icao_airline is missing, or it has invalid info "));
}

// --- Cargo and atc_id ----------------------------------------------------

TEST_F(CfgParserTest, CargoNeedsCargoWithoutGate) {
  const LiveryList list = parseSections(
      "[fltsim.0]\ntitle = c1\nicao_airline = DLH\natc_parking_types = \"cargo\"\n"
      "[fltsim.1]\ntitle = c2\nicao_airline = DLH\natc_parking_types = \"RAMP , CARGO\"\n"
      "[fltsim.2]\ntitle = c3\nicao_airline = DLH\natc_parking_types = \"GATE,CARGO\"\n"
      "[fltsim.3]\ntitle = c4\nicao_airline = DLH\natc_parking_types = \"CARG\"\n"
      "[fltsim.4]\ntitle = c5\nicao_airline = DLH\n");
  ASSERT_EQ(list.size(), 5u);
  std::vector<bool> cargo;
  for (const auto& l : list) cargo.push_back(l.cargo);
  EXPECT_THAT(cargo, ElementsAre(true, true, false, false, false));
}

TEST_F(CfgParserTest, AtcIdIsCutAtCommentsAndValidated) {
  const LiveryList list = parseSections(
      "[fltsim.0]\ntitle = r1\nicao_airline = DLH\natc_id = \"D-AIAB;old D-AIAC\"\n"
      "[fltsim.1]\ntitle = r2\nicao_airline = DLH\natc_id = \"D-AIAB, D-AIAC\"\n"
      "[fltsim.2]\ntitle = r3\nicao_airline = DLH\natc_id = \"D-AI*B\"\n"
      "[fltsim.3]\ntitle = r4\nicao_airline = DLH\natc_id = D-AI\n"
      "[fltsim.4]\ntitle = r5\nicao_airline = DLH\natc_id = D-AIAB\natc_id= D-AIAC\n");
  std::vector<std::string> regs;
  for (const auto& l : list) regs.push_back(l.registration);
  EXPECT_THAT(titles(list), ElementsAre("r1", "r2", "r3", "r4"));
  EXPECT_THAT(regs, ElementsAre("D-AIAB", "", "", ""));
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre("invalid atc_id=D-AI*B in: r3", std::string(kFolder) + ", [fltsim.4], has more than one atc_id key"));
}

TEST_F(CfgParserTest, RepeatedTitleAndParkingKeysDropTheSection) {
  EXPECT_TRUE(parseSections("[fltsim.0]\ntitle = One\ntitle = Two\nicao_airline = DLH\n"
                            "[fltsim.1]\ntitle = Three\nicao_airline = DLH\natc_parking_types = GATE\n"
                            "atc_parking_types = RAMP\n")
                  .empty());
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(std::string(kFolder) + " [fltsim.0] has more than one title key",
                          std::string(kPath) + " [fltsim.0] icao_airline is missing, or it has invalid info ",
                          std::string(kFolder) + " [fltsim.1] has more than one atc_parking_types key"));
}

// --- Titles --------------------------------------------------------------

TEST_F(CfgParserTest, TitlesThatAreNotUsedOrMissing) {
  g_dontUseLiveryTitles.insert("Banned");
  const std::string sections =
      "[fltsim.0]\ntitle = Banned\nicao_airline = DLH\n"
      "[fltsim.1]\nicao_airline = DLH\n"
      "[fltsim.2]\ntitle = \"  Padded  \"\nicao_airline = DLH\n"
      "[fltsim.3]\ntitle = FenixA320 house\nicao_airline = DLH\n"
      "[fltsim.4]\ntitle = PMDG 737 demo\nicao_airline = DLH\n"
      "[fltsim.5]\ntitle = Model-STUB\nicao_airline = DLH\n";
  EXPECT_THAT(titles(parseSections(sections)), ElementsAre("Padded"));
  // The abandoned sections met their title before their airline.
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(std::string(kFolder) + " [fltsim.1] misses title",
                          std::string(kPath) + " [fltsim.3] icao_airline is missing, or it has invalid info ",
                          std::string(kPath) + " [fltsim.4] icao_airline is missing, or it has invalid info ",
                          std::string(kPath) + " [fltsim.5] icao_airline is missing, or it has invalid info "));

  prm::SUPPRESS_STUB.set(false);
  lf_clearLiveries();  // the don't-use titles too
  EXPECT_THAT(titles(parseSections(sections)), ElementsAre("Banned", "Model-STUB", "Padded"));
}

// A user's don't-use file is read line by line like an aircraft.cfg: a title
// in valid UTF-8 stays UTF-8 beside a Windows-1252 line further down, so
// both titles match the sections that carry them.
TEST_F(CfgParserTest, DontUseTitlesOfAMixedFileMatchTheirSections) {
  testsupport::writeFile(gf_userDontUseFolder() / "mine.txt",
                         "A320 Lufthansa St\xC3\xA4" "dte\n" + std::string(1100, '#') + "\nA320 Caf\xE9\n");
  lf_processDontUseTitles();
  const std::string sections = "[fltsim.0]\ntitle = A320 Lufthansa St\xC3\xA4" "dte\nicao_airline = DLH\n"
                               "[fltsim.1]\ntitle = A320 Caf\xC3\xA9\nicao_airline = DLH\n"
                               "[fltsim.2]\ntitle = A320 kept\nicao_airline = DLH\n";
  EXPECT_THAT(titles(parseSections(sections)), ElementsAre("A320 kept"));
}

TEST_F(CfgParserTest, RepeatedTitleInOneFileKeepsTheFirstSection) {
  const LiveryList list = parseSections("[fltsim.0]\ntitle = Same\nicao_airline = KLM\n"
                                        "[fltsim.1]\ntitle = Same\nicao_airline = BAW\n");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].airline, "KLM");
  EXPECT_THAT(report(ScanReport::IncompleteSections),
              ElementsAre(std::string(kFolder) + " [fltsim.1] title 'Same' already exists"));
}

// Three files declare one title; whatever order the scan meets them in, the
// lowest folder rank wins, then the smallest path.
TEST_F(CfgParserTest, TitleInSeveralFilesGoesToTheSameFileInAnyOrder) {
  struct File {
    std::uint32_t rank;
    std::string path, airline;
  };
  const std::vector<File> files{{2, "a/aircraft.cfg", "DLH"}, {1, "z/aircraft.cfg", "BAW"}, {1, "m/aircraft.cfg", "KLM"}};
  std::vector<std::size_t> order{0, 1, 2};
  do {
    lf_clearLiveries();
    LiveryMerge merge;
    for (std::size_t i : order) {
      const File& f = files[i];
      const std::string text = "icao_type_designator = A320\n[fltsim.0]\ntitle = Same\nicao_airline = " + f.airline +
                               "\n[fltsim.1]\ntitle = Own " + f.path + "\nicao_airline = DLH\n";
      ParsedFile parsed = gf_parseAircraftCfg(f.rank, f.path, gf_splitCfgLines(text));
      ASSERT_EQ(parsed.liveries.size(), 2u);
      merge.add(f.rank, f.path, std::move(parsed));
    }
    merge.resolveDuplicateTitles();
    const ScannedLiveryList& merged = merge.liveries();
    ASSERT_EQ(merged.size(), 4u);
    const auto same = std::find_if(merged.begin(), merged.end(), [](const LiveryData& l) { return l.title == "Same"; });
    ASSERT_NE(same, merged.end());
    EXPECT_EQ(same->airline, "KLM");
    EXPECT_EQ(same->folderRank, 1u);
    EXPECT_THAT(report(ScanReport::IncompleteSections),
                UnorderedElementsAre("z [fltsim.0] title 'Same' already exists",
                                     "a [fltsim.0] title 'Same' already exists"));
    // A second call has nothing left to resolve.
    merge.resolveDuplicateTitles();
    EXPECT_EQ(merge.liveries().size(), 4u);
    EXPECT_EQ(report(ScanReport::IncompleteSections).size(), 2u);
  } while (std::next_permutation(order.begin(), order.end()));
}

// --- The file task -------------------------------------------------------

TEST_F(CfgParserTest, SameFileInEveryCharacterSetGivesTheSameLiveries) {
  AircraftCfgBuilder cfg;
  cfg.general("A320")
      .section({.number = 0, .title = "Airbus A320 Lufthansa K\xC3\xB6ln", .airline = "DLH", .atcId = "D-AIAB"})
      .section({.number = 1, .title = "Airbus A320 BA Freighter", .airline = "BAW", .parkingTypes = "CARGO"})
      .section({.number = 2, .title = "Airbus A320 private \xE2\x82\xAC"});
  const std::vector<CfgEncoding> encodings{CfgEncoding::Utf8, CfgEncoding::Utf8Bom, CfgEncoding::Utf16Le,
                                           CfgEncoding::Utf16Be, CfgEncoding::Ansi};
  std::vector<LiveryList> results;
  for (std::size_t i = 0; i < encodings.size(); ++i) {
    const fs::path path = cfg.write(fs::path("pkg" + std::to_string(i)) / "aircraft.cfg", encodings[i]);
    results.push_back(lf_searchLiveriesinFile(3, path.string()));
  }
  ASSERT_EQ(results[0].size(), 3u);
  EXPECT_EQ(results[0][1].title, "Airbus A320 Lufthansa K\xC3\xB6ln");
  EXPECT_EQ(results[0][1].registration, "D-AIAB");
  EXPECT_TRUE(results[0][0].cargo);
  EXPECT_EQ(results[0][2].title, "Airbus A320 private \xE2\x82\xAC");
  for (std::size_t i = 1; i < results.size(); ++i) {
    ASSERT_EQ(results[i].size(), results[0].size()) << i;
    for (std::size_t k = 0; k < results[0].size(); ++k) {
      EXPECT_EQ(results[i][k], results[0][k]) << i;
      EXPECT_EQ(results[i][k].folderRank, 3u);
    }
  }
}

TEST_F(CfgParserTest, FileTaskSkipsMissingEmptyAndOversizedFiles) {
  g_runningTasks = 5;  // the task slot belongs to the driver
  EXPECT_TRUE(lf_searchLiveriesinFile(1, "missing/aircraft.cfg").empty());
  testsupport::writeFile("empty/aircraft.cfg", "");
  EXPECT_TRUE(lf_searchLiveriesinFile(1, "empty/aircraft.cfg").empty());
  testsupport::writeFile("big/aircraft.cfg", "[fltsim.0]\n");
  fs::resize_file("big/aircraft.cfg", kMaxAircraftCfgBytes + 1);
  EXPECT_TRUE(lf_searchLiveriesinFile(1, "big/aircraft.cfg").empty());

  // A path the system cannot open (here: a name too long) is skipped too.
  const std::string tooLong = "long/" + std::string(300, 'n') + "/aircraft.cfg";
  fs::create_directories("long");
  EXPECT_TRUE(lf_searchLiveriesinFile(1, tooLong).empty());
  EXPECT_EQ(g_runningTasks.load(), 5);
  g_runningTasks = 0;

  EXPECT_THAT(report(ScanReport::InvalidFiles),
              ElementsAre("big/aircraft.cfg is larger than 33554432 bytes, skipped"));
  EXPECT_THAT(report(ScanReport::NoSection), IsEmpty());
  // Each skipped file but the missing one says so in the log.
  EXPECT_TRUE(testsupport::logHasLine("===> empty/aircraft.cfg is empty; skipped"));
  EXPECT_TRUE(testsupport::logContains("===> File '" + tooLong + "' cannot be read: "));
  EXPECT_TRUE(testsupport::logContains("===> File 'big/aircraft.cfg' is corrupt: "));
  EXPECT_FALSE(testsupport::logContains("missing/aircraft.cfg"));
}

TEST_F(CfgParserTest, ClearingEmptiesReportsAndDontUseList) {
  g_dontUseLiveryTitles.insert("X");
  parseSections("[fltsim.0]\ntitle = T\n[fltsim.1]\ntitle = T\n");
  ASSERT_FALSE(report(ScanReport::IncompleteSections).empty());
  lf_clearLiveries();
  EXPECT_THAT(report(ScanReport::IncompleteSections), IsEmpty());
  EXPECT_TRUE(g_dontUseLiveryTitles.empty());
}

}  // namespace
