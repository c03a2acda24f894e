#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/geo.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::DbaseBuilder;
using testsupport::logLines;

namespace {

class DbaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetDbaseForTests();
    testsupport::openTestLog();
  }
  void TearDown() override { gf_resetDbaseForTests(); }

  static void read(const DbaseBuilder& builder) {
    builder.write();
    gf_resetDbaseForTests();
    gf_readDbase();
  }

  // The user error of reading the file as it stands.
  static qor::UserErrorException readError() {
    try {
      gf_readDbase();
    } catch (const qor::UserErrorException& e) {
      return e;
    }
    ADD_FAILURE() << "no user error";
    return qor::UserErrorException(0, "");
  }

  static std::string regAirline(const std::string& registration) {
    const DbaseRec* record = gf_findRegcode(registration);
    return record == nullptr ? std::string("(none)") : record->airl;
  }
};

TEST_F(DbaseTest, RegcodeVariantsComeInLookUpOrder) {
  EXPECT_THAT(lf_regcodeVariants("GEUUA"), ElementsAre("GE-UUA", "G-EUUA", "GEUUA"));
  EXPECT_THAT(lf_regcodeVariants("VHOQA1"), ElementsAre("VH-OQA1", "V-HOQA1", "VHOQA1"));
  EXPECT_THAT(lf_regcodeVariants("N12345"), ElementsAre("N12345"));
  EXPECT_THAT(lf_regcodeVariants("D-ABCD"), ElementsAre("D-ABCD"));
  EXPECT_THAT(lf_regcodeVariants("ABCD"), ElementsAre("ABCD"));
  EXPECT_THAT(lf_regcodeVariants(""), ElementsAre(""));
}

TEST_F(DbaseTest, FindRegcodeTakesTheFirstVariantTheDatabaseHolds) {
  read(DbaseBuilder()
           .reg("G-EUUA", "BAW", "A319")
           .reg("GEUUA", "XXX", "A319")
           .reg("GE-UUB", "AFL", "A320", "SBI", true)
           .reg("G-EUUB", "BAW", "A320")
           .reg("N-12345", "AAL", "B738")
           .reg("ABCD", "DLH", "A20N"));

  EXPECT_EQ(regAirline("GEUUA"), "BAW");  // "GE-UUA" is missing, "G-EUUA" comes before "GEUUA"
  EXPECT_EQ(regAirline("GEUUB"), "AFL");  // "GE-UUB" before "G-EUUB"
  EXPECT_EQ(regAirline("G-EUUA"), "BAW");
  EXPECT_EQ(regAirline("ABCD"), "DLH");
  EXPECT_EQ(regAirline("N12345"), "(none)");  // an N registration is only looked up as it is
  EXPECT_EQ(regAirline("geuua"), "(none)");
  EXPECT_EQ(regAirline(""), "(none)");

  const DbaseRec* record = gf_findRegcode("GEUUB");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->type, "A320");
  EXPECT_EQ(record->opr, "SBI");
  EXPECT_TRUE(record->cargo);
  EXPECT_FALSE(gf_findRegcode("G-EUUA")->cargo);
}

TEST_F(DbaseTest, ShortRegcodeInTextIsTheEarliestThenTheLongest) {
  read(DbaseBuilder()
           .reg("AB1", "AAA", "C172")
           .reg("AB12", "AAA", "C172")
           .reg("XY", "AAA", "C172")
           .reg("LONG12", "AAA", "C172")
           .reg("Q", "AAA", "C172"));

  EXPECT_EQ(gf_findShortRegcodeIn("Cessna AB12 XY"), "AB12");  // AB1 and AB12 start together
  EXPECT_EQ(gf_findShortRegcodeIn("Cessna XY AB12"), "XY");    // XY starts first
  EXPECT_EQ(gf_findShortRegcodeIn("Cessna AB1"), "AB1");
  EXPECT_EQ(gf_findShortRegcodeIn("AB1"), "AB1");              // at the very start and end
  EXPECT_EQ(gf_findShortRegcodeIn("paint LONG12"), "");        // 6 characters are not short
  EXPECT_EQ(gf_findShortRegcodeIn("cessna ab12 xy"), "");      // exact case only
  EXPECT_EQ(gf_findShortRegcodeIn("Quick"), "Q");
  EXPECT_EQ(gf_findShortRegcodeIn(""), "");
}

TEST_F(DbaseTest, PublisherLookUpIsExactFirstThenIgnoresCase) {
  read(DbaseBuilder()
           .publisherGroup({"Alpha", "alpha-sim"})
           .publisherGroup({"Beta Works", "ALPHA"})
           .publisherGroup({"Gamma", "gmm"}));

  // The exact pass runs over all groups before the case-insensitive one.
  EXPECT_EQ(gf_findPublisher("Community/ALPHA-egll"), "Beta Works");
  EXPECT_EQ(gf_findPublisher("community/alpha-egll"), "Alpha");
  EXPECT_EQ(gf_findPublisher("x/GMM-scenery"), "Gamma");
  // Database order decides between two groups of the same pass.
  EXPECT_EQ(gf_findPublisher("Beta Works and Alpha"), "Alpha");
  EXPECT_EQ(gf_findPublisher("Delta"), "unknown");
  EXPECT_EQ(gf_findPublisher(""), "unknown");

  // An empty alias matches any text; groups before it still win.
  read(DbaseBuilder().publisherGroup({"Alpha"}).publisherGroup({"Catch All", ""}));
  EXPECT_EQ(gf_findPublisher("Delta"), "Catch All");
  EXPECT_EQ(gf_findPublisher(""), "Catch All");
  EXPECT_EQ(gf_findPublisher("alpha"), "Catch All");  // the exact pass finds the empty alias first
  EXPECT_EQ(gf_findPublisher("Alpha"), "Alpha");
}

TEST_F(DbaseTest, CheckNumberAfterPrefixReadsTheCountOrLogsInvalidNumber) {
  // An item that begins with the ICAO is the airport's, whatever follows;
  // what is not a number after the code is logged.
  struct Case {
    const char* icao;
    const char* item;
    bool found;
    int count;  // after the call, starting from 7
  };
  for (const Case& c : std::vector<Case>{
           {"EGLL", "EGLL123", true, 123},
           {"KJFK", "KJFK88b", true, 88},  // the leading number
           {"EGKK", "EGLL45", false, 7},
           {"", "EGLL45", false, 7},
           {"EGLL", "EGLLA12", true, 7},
           {"EGL", "EGLL123", true, 7},
           {"EGLL", "EGLLx12", true, 7},
           {"LFPG", "LFPG", true, 7},
           {"LFPG", "LFPG-5", true, 7},
           {"LFPG", "LFPG99999999999", true, 7},
       }) {
    SCOPED_TRACE(c.item);
    int count = 7;
    EXPECT_EQ(lf_checkNumberAfterPrefix("Pub", c.icao, count, c.item), c.found);
    EXPECT_EQ(count, c.count);
    const std::vector<std::string> log = logLines();
    const bool logged =
        std::find(log.begin(), log.end(), fmt::format("===> Pub {} {} invalid number", c.icao, c.item)) != log.end();
    EXPECT_EQ(logged, c.found && c.count == 7);
  }
}

TEST_F(DbaseTest, SizeClassesAreTestedInTheirOrder) {
  read(DbaseBuilder()
           .typeRaw("BOTH", std::nullopt, "heavy large")
           .typeRaw("B744", std::nullopt, "heavy buzjet")
           .typeRaw("GLF6", std::nullopt, "buzjet rotorcraft")
           .typeRaw("EC35", std::nullopt, "highperf rotorcraft")
           .typeRaw("F18", std::nullopt, "highperf")
           .typeRaw("C172", std::nullopt, std::nullopt));

  EXPECT_EQ(gf_aircraftCategory("BOTH"), SizeClass::Large);
  EXPECT_EQ(gf_aircraftCategory("B744"), SizeClass::Heavy);
  EXPECT_EQ(gf_aircraftCategory("GLF6"), SizeClass::Buzjets);
  EXPECT_EQ(gf_aircraftCategory("EC35"), SizeClass::Rotorcraft);
  EXPECT_EQ(gf_aircraftCategory("F18"), SizeClass::HighPerf);
  EXPECT_EQ(gf_aircraftCategory("C172"), SizeClass::Light);
  EXPECT_EQ(gf_aircraftCategory("ZZZZ"), SizeClass::Light);
  EXPECT_EQ(gf_aircraftCategory("both"), SizeClass::Light);
  EXPECT_EQ(g_dbaseTypes.size(), 6u);
  EXPECT_TRUE(g_dbaseTypes.contains("C172"));

  EXPECT_EQ(gf_sizeClassName(SizeClass::Buzjets), "Buzjets");
  EXPECT_EQ(gf_sizeClassName(SizeClass::HighPerf), "HighPerf");
  EXPECT_EQ(gf_sizeClassName(static_cast<SizeClass>(9)), "?");
}

TEST_F(DbaseTest, HalfWingspanComesFromTheTableElseTheClassAverage) {
  read(DbaseBuilder()
           .type("A319", 34.0, "large")
           .type("A321", 36.0, "large")
           .typeRaw("A320", std::nullopt, "large")
           .type("MIXD", 80.0, "heavy large")  // counts as Large
           .typeRaw("B744", std::nullopt, "heavy")
           .type("C172", 11.0)
           .type("PA28", 10.0));

  EXPECT_DOUBLE_EQ(gf_halfWingspan("A319"), 17.0 * kMetresToNm);
  EXPECT_DOUBLE_EQ(gf_halfWingspan("MIXD"), 40.0 * kMetresToNm);
  EXPECT_DOUBLE_EQ(gf_halfWingspan("A320"), (17.0 + 18.0 + 40.0) / 3.0 * kMetresToNm);
  EXPECT_DOUBLE_EQ(gf_halfWingspan("NONE"), 5.25 * kMetresToNm);  // unknown types are Light
  // No heavy type has a wingspan: the fixed fall-back of the class.
  EXPECT_DOUBLE_EQ(gf_halfWingspan("B744"), 30.0 * kMetresToNm);
  EXPECT_DOUBLE_EQ(g_typeWingspans.at("C172"), 11.0 * kMetresToNm);

  // Before any database is read every class has its fall-back.
  gf_resetDbaseForTests();
  EXPECT_DOUBLE_EQ(gf_halfWingspan("A319"), 5.5 * kMetresToNm);
  EXPECT_GT(g_classHalfWingspans[static_cast<int>(SizeClass::Rotorcraft)], 0.0);
}

TEST_F(DbaseTest, ReadsEveryTableInFileOrder) {
  read(DbaseBuilder()
           .reg("G-EUUA", "BAW", "A319")
           .reg("G-EUUA", "EZY", "A320")  // a repeated registration keeps the first
           .type("A319", 34.0, "large")
           .airline("BAW")
           .airline("EZY")
           .typeFix("B77L", "B772")
           .stockModel("Asobo_A320_NEO", "A20N")
           .publisherGroup({"Some Publisher", "somepub"})
           .simaddon20("LFPG")
           .simaddon20("EGLL")
           .thirdParty20("Some Publisher", {"EGLL123", "EGKK45"})
           .thirdParty20("Other", {})
           .thirdParty24("Third One", {"KJFK200"})
           .similarGroup({"A319", "A320", "A321"})
           .similarGroup({"B738"}));

  EXPECT_EQ(g_dbaseRecords.size(), 1u);
  EXPECT_EQ(regAirline("G-EUUA"), "BAW");
  EXPECT_TRUE(gf_isIcaoAirline("EZY"));
  EXPECT_FALSE(gf_isIcaoAirline("ezy"));
  EXPECT_FALSE(gf_isIcaoAirline(""));
  EXPECT_FALSE(gf_isIcaoAirline(g_genericAirline));
  EXPECT_EQ(g_genericAirline, "ZZZ");
  EXPECT_EQ(g_typeFixes.at("B77L"), "B772");
  EXPECT_EQ(g_stockModelTypes.at("Asobo_A320_NEO"), "A20N");
  EXPECT_THAT(g_publisherGroups, ElementsAre(ElementsAre("Some Publisher", "somepub")));
  EXPECT_THAT(g_simaddon20Airports, ElementsAre("EGLL", "LFPG"));

  const std::vector<ThirdPartyEntry>& msfs2020 = gf_thirdPartiesFor(true);
  ASSERT_EQ(msfs2020.size(), 2u);
  EXPECT_EQ(msfs2020[0].publisher, "Some Publisher");
  EXPECT_THAT(msfs2020[0].items, ElementsAre("EGLL123", "EGKK45"));
  EXPECT_EQ(msfs2020[1].publisher, "Other");
  EXPECT_TRUE(msfs2020[1].items.empty());
  ASSERT_EQ(gf_thirdPartiesFor(false).size(), 1u);
  EXPECT_THAT(gf_thirdPartiesFor(false)[0].items, ElementsAre("KJFK200"));
  EXPECT_THAT(g_similarTypeGroups, ElementsAre(ElementsAre("A319", "A320", "A321"), ElementsAre("B738")));

  const std::vector<std::string> log = logLines();
  EXPECT_THAT(log, Contains("1 registrations, 1 types, 2 airlines read from 'input/dbase.xml'"));
  EXPECT_THAT(log, Contains("input/dbase.xml: 1 repeated record ignored"));
}

TEST_F(DbaseTest, IsReadOncePerProcessAndOnlyOnSuccess) {
  const qor::UserErrorException missing = readError();
  EXPECT_EQ(missing.code(), kDbaseErrorCode);
  EXPECT_EQ(missing.message(), "Reference database 'input/dbase.xml' not found");
  EXPECT_FALSE(g_dbaseRead.load());

  testsupport::writeFile("input/dbase.xml", "this is not XML <");
  const qor::UserErrorException broken = readError();
  EXPECT_EQ(broken.code(), kDbaseErrorCode);
  EXPECT_THAT(broken.message(), HasSubstr("Reference database 'input/dbase.xml' is not valid XML"));
  EXPECT_THAT(std::string(broken.what()), HasSubstr("60: "));

  testsupport::writeFile("input/dbase.xml", "");
  EXPECT_THAT(readError().message(), HasSubstr("is not valid XML"));

  testsupport::writeFile("input/dbase.xml", "<airports><reg code=\"G-EUUA\"/></airports>");
  EXPECT_EQ(readError().message(), "Reference database 'input/dbase.xml' has the root <airports>, not <dbase>");
  EXPECT_TRUE(g_dbaseRecords.empty());
  EXPECT_FALSE(g_dbaseRead.load());

  DbaseBuilder().reg("G-EUUA", "BAW", "A319").airline("BAW").write();
  gf_readDbase();
  EXPECT_TRUE(g_dbaseRead.load());
  EXPECT_EQ(regAirline("G-EUUA"), "BAW");

  // A second call returns at once, whatever the file holds now.
  std::filesystem::remove("input/dbase.xml");
  EXPECT_NO_THROW(gf_readDbase());
  EXPECT_EQ(regAirline("G-EUUA"), "BAW");
  EXPECT_TRUE(gf_isIcaoAirline("BAW"));

  // A failed read after a reset leaves no tables of the earlier one.
  gf_resetDbaseForTests();
  EXPECT_EQ(readError().code(), kDbaseErrorCode);
  EXPECT_TRUE(g_dbaseRecords.empty());
  EXPECT_TRUE(g_icaoAirlines.empty());
}

TEST_F(DbaseTest, MalformedRecordsAreSkippedWithALogLine) {
  read(DbaseBuilder()
           .typeRaw("NAN1", "nan", std::nullopt)
           .typeRaw("INF1", "inf", std::nullopt)
           .typeRaw("NEG1", "-3", std::nullopt)
           .typeRaw("ZER1", "0", std::nullopt)
           .typeRaw("BIG1", "1e999", std::nullopt)
           .typeRaw("WID1", "151", std::nullopt)
           .typeRaw("TXT1", "12m", std::nullopt)
           .typeRaw("CLS1", "30", "large jumbo")
           .typeRaw("GOOD", " 35.5 ", "large")
           .typeRaw("a/b", "30", std::nullopt)
           .typeRaw("", "30", std::nullopt)
           .reg("G-BAD1", "../x", "A319")
           .reg("G BAD", "BAW", "A319")
           .reg("G-OK", "BAW", "A319")
           .publisherGroup({"..", "dots"})
           .publisherGroup({"a\\b", "backslash"})
           .publisherGroup({"", "empty"})
           .publisherGroup({})
           .publisherGroup({"Fine", "fine"})
           .simaddon20("C:")
           .thirdParty20("x/y", {"EGLL1"})
           .thirdParty24("Trailing.", {"EGLL1"})
           .similarGroup({"A319", "..\\B"})
           .typeFix("", "A320")
           .stockModel("Folder", "")
           .rawIn("airlines", "<carrier icao=\"BAW\"/>")
           .rawIn("publishers", "<group><name name=\"X\"/></group>")
           .rawIn("colours", "<colour name=\"red\"/>"));

  EXPECT_THAT(g_dbaseTypes, ElementsAre("GOOD"));
  EXPECT_DOUBLE_EQ(gf_halfWingspan("GOOD"), 35.5 / 2.0 * kMetresToNm);
  EXPECT_EQ(g_dbaseRecords.size(), 1u);
  EXPECT_THAT(g_publisherGroups, ElementsAre(ElementsAre("Fine", "fine")));
  EXPECT_TRUE(g_simaddon20Airports.empty());
  EXPECT_TRUE(g_thirdParties.msfs2020.empty());
  EXPECT_TRUE(g_thirdParties.msfs2024.empty());
  EXPECT_TRUE(g_similarTypeGroups.empty());
  EXPECT_TRUE(g_typeFixes.empty());
  EXPECT_TRUE(g_stockModelTypes.empty());
  EXPECT_TRUE(g_icaoAirlines.empty());
  EXPECT_TRUE(g_dbaseRead.load());

  const std::vector<std::string> log = logLines();
  EXPECT_THAT(log, Contains(HasSubstr("<type> at offset ")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: bad wingspan 'nan' (metres, above 0 and at most 150)")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: bad wingspan '-3'")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: unknown class 'jumbo'")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: bad icao 'a/b'")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: bad airl '../x'")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: bad code 'G BAD'")));
  EXPECT_THAT(log, Contains(HasSubstr("skipped: bad alias name '..'")));
  EXPECT_THAT(log, Contains("input/dbase.xml: unknown table <colours> ignored"));
  EXPECT_THAT(log, Contains("1 registrations, 1 types, 0 airlines read from 'input/dbase.xml'"));
  // The first 20 are logged one by one, then one line for the rest.
  int skipLines = 0;
  for (const std::string& line : log) {
    if (line.starts_with("===> input/dbase.xml: <") && line.find(" skipped: ") != std::string::npos) ++skipLines;
  }
  EXPECT_EQ(skipLines, 20);
  EXPECT_THAT(log, Contains("===> input/dbase.xml: 4 more malformed records skipped"));
}

}  // namespace
