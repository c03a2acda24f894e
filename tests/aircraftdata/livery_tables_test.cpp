#include <algorithm>
#include <filesystem>
#include <map>
#include <type_traits>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/dont_use_titles.h"
#include "aircraftdata/livery_tables.h"
#include "app/files.h"
#include "app/settings.h"
#include "scan/cfg_parser.h"
#include "scan/scan_reports.h"
#include "support/dbase_builder.h"
#include "support/livery_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using testsupport::DbaseBuilder;
using testsupport::logHasLine;
using testsupport::readFile;
using testsupport::livery;
using testsupport::writeFile;

namespace {

// The content of the tables as text (the tables hold views of their own
// liveries and cannot be copied), every hashed table in key order.
std::string tablesText(const LiveryTables& t) {
  std::string out;
  for (const LiveryGroup& g : t.groups)
    for (const LiveryData* l : g.liveries)
      out += g.airline + "|" + g.type + "|" + l->title + "|" + l->registration + (l->cargo ? "|c\n" : "|\n");
  const auto addTable = [&](const char* name, const auto& table) {
    std::map<std::string, std::string> sorted;
    for (const auto& [key, values] : table) {
      std::string line;
      if constexpr (std::is_convertible_v<decltype(values), std::string_view>) {
        line = std::string(values);
      } else {
        for (const auto& v : values) line += "|" + std::string(v);
      }
      sorted[std::string(key)] = line;
    }
    for (const auto& [key, line] : sorted) out += std::string(name) + " " + key + line + "\n";
  };
  for (const auto* nested : {&t.paxTypeAirlineTitles, &t.cargoTypeAirlineTitles}) {
    std::map<std::string, const LiveryTextTable<TitleList>*> types;
    for (const auto& [type, airlines] : *nested) types[type] = &airlines;
    for (const auto& [type, airlines] : types) addTable(type.c_str(), *airlines);
    out += "--\n";
  }
  addTable("airlineTypes", t.airlineTypes);
  addTable("regcode", t.regcodeTitles);
  addTable("paxType", t.paxTypeTitles);
  addTable("cargoType", t.cargoTypeTitles);
  addTable("paxSimilar", t.paxSimilarModels);
  addTable("cargoSimilar", t.cargoSimilarModels);
  return out;
}

// A small installation, in scan order: two airlines sharing the A320, a cargo
// jumbo next to nothing else of its type, a freighter-only airline, a generic
// light aircraft, and one registration given by two liveries.
LiveryList sampleLiveries() {
  return {
      livery("BAW", "A320", "A320 British Airways 1", "G-EUUA"),
      livery("BAW", "A320", "A320 British Airways 2", "G-EUUB"),
      livery("BAW", "B744", "B744 British Airways World Cargo", "G-GSSA", true),
      livery("DLH", "A320", "A320 Lufthansa", "D-AIZA"),
      livery("DLH", "A320", "A320 Lufthansa retro", "G-EUUA"),
      livery("FDX", "B77L", "B77L FedEx", "", true),
      livery("ZZZ", "C172", "C172 generic"),
  };
}

// The hand-over's builders, in its order, without the statistics.
void buildAll(const LiveryList& liveries) {
  lf_groupScannedLiveries(liveries);
  lf_buildTypeAirlineTables();
  lf_processInlineRegcodes();
  lf_processOfflineRegcodes();
  lf_buildTypeTitleTables();
  gf_buildSimilarModels();
}

std::vector<std::string> titlesOf(const LiveryGroup& group) {
  std::vector<std::string> titles;
  for (const LiveryData* d : group.liveries) titles.push_back(d->title);
  return titles;
}

std::string utf16le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) bytes.append({c, '\0'});
  return bytes;
}

std::string utf16be(const std::string& ascii) {
  std::string bytes = "\xFE\xFF";
  for (char c : ascii) bytes.append({'\0', c});
  return bytes;
}

class LiveryTablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetDbaseForTests();
    gf_resetParametersToDefaults();
    gf_clearLiveryTables();
    g_dontUseLiveryTitles.clear();
    testsupport::openTestLog();
  }
  void TearDown() override {
    gf_clearLiveryTables();
    g_dontUseLiveryTitles.clear();
    gf_resetDbaseForTests();
    gf_resetParametersToDefaults();
  }

  static void readDbase(const DbaseBuilder& builder) {
    builder.write();
    gf_resetDbaseForTests();
    gf_readDbase();
  }
};

TEST_F(LiveryTablesTest, GroupsByAirlineAndTypeInScanOrder) {
  LiveryList list = sampleLiveries();
  list.push_back(livery("BAW", "A320", "A320 British Airways 1", "G-XXXX"));  // a title given twice
  list.push_back(livery("BAW", "", "No type"));
  list.push_back(livery("BAW", "A320", ""));
  std::shuffle(list.begin(), list.end(), std::mt19937(7));  // grouping sorts a list out of order
  lf_groupScannedLiveries(list);

  const auto& groups = g_liveryTables.groups;
  ASSERT_EQ(groups.size(), 5u);
  EXPECT_EQ(groups[0].airline, "BAW");
  EXPECT_EQ(groups[0].type, "A320");
  EXPECT_THAT(titlesOf(groups[0]), ElementsAre("A320 British Airways 1", "A320 British Airways 2"));
  EXPECT_EQ(groups[1].type, "B744");
  EXPECT_EQ(groups[2].airline, "DLH");
  EXPECT_THAT(titlesOf(groups[2]), ElementsAre("A320 Lufthansa", "A320 Lufthansa retro"));
  EXPECT_EQ(groups[3].airline, "FDX");
  EXPECT_EQ(groups[4].airline, "ZZZ");
  EXPECT_TRUE(logHasLine("===> 2 liveries without title or type skipped"));
  EXPECT_TRUE(logHasLine("===> 1 livery with a title given before skipped"));

  // Of the records with one title the first in scan order stays; when scan
  // order cannot tell them apart, the smaller registration does, wherever
  // the shuffle put it.
  EXPECT_EQ(groups[0].liveries[0]->registration, "G-EUUA");
}

TEST_F(LiveryTablesTest, GroupingEmptiesEveryTableBuiltBefore) {
  buildAll(sampleLiveries());
  lf_groupScannedLiveries(LiveryList{livery("KLM", "B738", "B738 KLM")});
  EXPECT_EQ(g_liveryTables.groups.size(), 1u);
  EXPECT_THAT(g_liveryTables.regcodeTitles, IsEmpty());
  EXPECT_THAT(g_liveryTables.paxTypeTitles, IsEmpty());
  EXPECT_THAT(g_liveryTables.airlineTypes, IsEmpty());
}

TEST_F(LiveryTablesTest, TypeAirlineTablesSeparatePassengerFromCargo) {
  lf_groupScannedLiveries(sampleLiveries());
  lf_buildTypeAirlineTables();
  lf_buildTypeAirlineTables();  // a second run replaces, it does not add

  const auto& pax = g_liveryTables.paxTypeAirlineTitles;
  const auto& cargo = g_liveryTables.cargoTypeAirlineTitles;
  EXPECT_EQ(pax.size(), 2u);  // A320, C172
  EXPECT_THAT(pax.at("A320").at("BAW"), ElementsAre("A320 British Airways 1", "A320 British Airways 2"));
  EXPECT_THAT(pax.at("A320").at("DLH"), ElementsAre("A320 Lufthansa", "A320 Lufthansa retro"));
  EXPECT_THAT(pax.at("C172").at("ZZZ"), ElementsAre("C172 generic"));
  EXPECT_FALSE(pax.contains("B744"));
  EXPECT_FALSE(pax.contains("B77L"));
  EXPECT_EQ(cargo.size(), 2u);
  EXPECT_THAT(cargo.at("B744").at("BAW"), ElementsAre("B744 British Airways World Cargo"));
  EXPECT_THAT(cargo.at("B77L").at("FDX"), ElementsAre("B77L FedEx"));
  EXPECT_FALSE(cargo.contains("A320"));

  const auto& airlineTypes = g_liveryTables.airlineTypes;
  EXPECT_EQ(gf_airlineCount(), 4u);
  EXPECT_THAT(airlineTypes.at("BAW"), ElementsAre("A320", "B744"));  // pax and cargo types alike
  EXPECT_THAT(airlineTypes.at("DLH"), ElementsAre("A320"));
  EXPECT_THAT(airlineTypes.at("FDX"), ElementsAre("B77L"));
}

TEST_F(LiveryTablesTest, TypeTitleTablesHoldEveryAirlinesTitlesOfAType) {
  lf_groupScannedLiveries(sampleLiveries());
  lf_buildTypeTitleTables();
  lf_buildTypeTitleTables();

  EXPECT_THAT(g_liveryTables.paxTypeTitles.at("A320"),
              ElementsAre("A320 British Airways 1", "A320 British Airways 2", "A320 Lufthansa", "A320 Lufthansa retro"));
  EXPECT_THAT(g_liveryTables.cargoTypeTitles.at("B744"), ElementsAre("B744 British Airways World Cargo"));
  EXPECT_EQ(gf_paxTypeCount(), 2u);
  EXPECT_EQ(gf_cargoTypeCount(), 2u);
  EXPECT_FALSE(g_liveryTables.paxTypeTitles.contains("B77L"));
}

TEST_F(LiveryTablesTest, InlineRegistrationsBindTitlesAndClashesAreReported) {
  // The scan removes the errors folder when it is empty; the report makes it again.
  fs::remove_all(g_outputErrorsFolder);
  lf_groupScannedLiveries(sampleLiveries());
  EXPECT_EQ(lf_processInlineRegcodes(), 1u);

  EXPECT_THAT(g_liveryTables.regcodeTitles,
              UnorderedElementsAre(RegcodeTable::value_type{"G-EUUA", "A320 British Airways 1"},
                                   RegcodeTable::value_type{"G-EUUB", "A320 British Airways 2"},
                                   RegcodeTable::value_type{"G-GSSA", "B744 British Airways World Cargo"},
                                   RegcodeTable::value_type{"D-AIZA", "A320 Lufthansa"}));
  EXPECT_EQ(gf_regcodeTitleCount(), 4u);
  EXPECT_EQ(readFile(g_inlineRegcodesLogPath),
            "G-EUUA: 'A320 Lufthansa retro' not bound, the registration is already bound to "
            "'A320 British Airways 1'\n");
  EXPECT_TRUE(logHasLine("===> 1 registration given in aircraft.cfg files clashes, see " +
                         g_inlineRegcodesLogPath.string()));
  // Written through a temporary file that is gone afterwards.
  EXPECT_EQ(std::distance(fs::directory_iterator(g_outputErrorsFolder), fs::directory_iterator()), 1);

  // The same registration given twice for the same title is no clash, and a
  // hand-over without clashes leaves no stale report behind.
  lf_groupScannedLiveries(LiveryList{livery("BAW", "A320", "A320 British Airways 1", "G-EUUA")});
  EXPECT_EQ(lf_processInlineRegcodes(), 0u);
  EXPECT_FALSE(fs::exists(g_inlineRegcodesLogPath));
}

TEST_F(LiveryTablesTest, OfflineRegistrationsBindInstalledTitlesDataFileFirstThenUserFiles) {
  writeFile(gf_regcodeDataFilePath(),
            "<?xml version=\"1.0\"?>\n<regcodes>\n"
            "  <reg code=\"G-EUYA\" title=\"A320 British Airways 2\"/>\n"
            "  <reg code=\"D-AIZA\" title=\"A320 Lufthansa retro\"/>\n"  // replaces the inline binding
            "  <reg code=\"N12345\" title=\"B738 Not installed\"/>\n"
            "  <reg code=\"X\"/>\n"                                        // malformed: no title
            "  <reg code=\"A REG\" title=\"A320 Lufthansa\"/>\n"           // malformed: a blank in it
            "  <dontuse title=\"Something\"/>\n"
            "</regcodes>\n");
  // Two user files, read in name order; the later one wins.
  writeFile(gf_userRegcodesFolder() / "b.TXT", "G-EUYA\tA320 British Airways 1\n");
  writeFile(gf_userRegcodesFolder() / "a.txt",
            utf16le("G-EUYA  A320 Lufthansa\r\nOH-LVA   C172 generic  \r\nonlyoneword\r\n\r\n"));
  writeFile(gf_userRegcodesFolder() / "notes.md", "G-NOPE A320 Lufthansa\n");

  buildAll(sampleLiveries());
  const auto& regcodes = g_liveryTables.regcodeTitles;
  EXPECT_EQ(regcodes.at("G-EUYA"), "A320 British Airways 1");
  EXPECT_EQ(regcodes.at("D-AIZA"), "A320 Lufthansa retro");
  EXPECT_EQ(regcodes.at("OH-LVA"), "C172 generic");
  EXPECT_EQ(regcodes.at("G-EUUA"), "A320 British Airways 1");  // inline bindings stay
  EXPECT_FALSE(regcodes.contains("N12345"));
  EXPECT_FALSE(regcodes.contains("G-NOPE"));
  EXPECT_EQ(regcodes.size(), 6u);

  const std::string data = gf_regcodeDataFilePath().string();
  EXPECT_TRUE(logHasLine("===> 2 malformed entries skipped in " + data));
  EXPECT_TRUE(logHasLine("2 registrations bound to installed liveries from " + data +
                         ", 1 for liveries not installed"));
  EXPECT_TRUE(logHasLine("===> 1 malformed line skipped in " + (gf_userRegcodesFolder() / "a.txt").string()));
}

TEST_F(LiveryTablesTest, ABrokenOfflineFileIsSkippedAndTheOthersStillApply) {
  writeFile(gf_regcodeDataFilePath(), "<regcodes><reg code=\"G-EUYA\" title=\"C172 generic\"></regcodes>");
  writeFile(gf_userRegcodesFolder() / "a.txt", std::string("\0\0\0\x01\x02binary", 11));
  writeFile(gf_userRegcodesFolder() / "b.txt", "G-EUZZ C172 generic\n");
  buildAll(sampleLiveries());

  EXPECT_FALSE(g_liveryTables.regcodeTitles.contains("G-EUYA"));
  EXPECT_EQ(g_liveryTables.regcodeTitles.at("G-EUZZ"), "C172 generic");
  EXPECT_TRUE(testsupport::logContains("===> Skipping " + gf_regcodeDataFilePath().string() + ": "));
  EXPECT_TRUE(testsupport::logContains("===> Skipping " + (gf_userRegcodesFolder() / "a.txt").string() + ": "));
}

TEST_F(LiveryTablesTest, SimilarModelsListTheInstalledTypesOfTheDatabaseGroups) {
  readDbase(DbaseBuilder()
                .type("A319", 35.8, "large")
                .type("A320", 35.8, "large")
                .type("A321", 35.8, "large")
                .type("B744", 64.4, "heavy")
                .type("B748", 68.4, "heavy")
                .type("B77L", 64.8, "heavy")
                .similarGroup({"A319", "A320", "A321"})
                .similarGroup({"B748", "B744", "B77L"})
                .similarGroup({"A321", "A320"}));  // A320 again: listed once
  LiveryList list = sampleLiveries();
  list.push_back(livery("BAW", "A321", "A321 British Airways"));
  std::sort(list.begin(), list.end(), gf_liveryLess);
  buildAll(list);

  const auto& pax = g_liveryTables.paxSimilarModels;
  EXPECT_THAT(pax.at("A319"), ElementsAre("A320", "A321"));  // not installed itself, still an entry
  EXPECT_THAT(pax.at("A320"), ElementsAre("A321"));
  EXPECT_THAT(pax.at("A321"), ElementsAre("A320"));
  EXPECT_FALSE(pax.contains("B748"));  // no pax type of its group is installed
  const auto& cargo = g_liveryTables.cargoSimilarModels;
  EXPECT_THAT(cargo.at("B748"), ElementsAre("B744", "B77L"));
  EXPECT_THAT(cargo.at("B744"), ElementsAre("B77L"));
  EXPECT_THAT(cargo.at("B77L"), ElementsAre("B744"));
  EXPECT_FALSE(cargo.contains("A320"));
}

TEST_F(LiveryTablesTest, CategoryStatisticsSwitchOffTheClassesWithoutLiveries) {
  readDbase(DbaseBuilder()
                .type("A320", 35.8, "large")
                .type("B744", 64.4, "heavy")
                .type("B77L", 64.8, "heavy")
                .type("EC35", 10.2, "rotorcraft")
                .type("F16", 9.4, "highperf")
                .type("C172", 11.0));
  LiveryList list = sampleLiveries();
  list.push_back(livery("ZZZ", "EC35", "EC35 rescue", "", true));  // a cargo helicopter counts too
  std::sort(list.begin(), list.end(), gf_liveryLess);
  lf_groupScannedLiveries(list);

  for (std::int32_t category = 0; category < kLiveryCategoryCount; ++category) lf_logCategoryStats(category);
  EXPECT_TRUE(logHasLine("Light aircraft: 1 pax and 0 cargo liveries"));
  EXPECT_TRUE(logHasLine("Helicopters: 0 pax and 1 cargo liveries"));
  EXPECT_TRUE(logHasLine("High performance aircraft: 0 pax and 0 cargo liveries"));
  EXPECT_TRUE(logHasLine("Airliners: 4 pax and 2 cargo liveries"));
  EXPECT_TRUE(prm::LIGHT_AIRCRAFT.value());
  EXPECT_TRUE(prm::HELICOPTERS.value());
  EXPECT_FALSE(prm::HIGH_PERF_AIRCRAFT.value());
  EXPECT_TRUE(logHasLine("===> No high performance aircraft liveries installed, HIGH_PERF_AIRCRAFT switched off"));

  // Without any light aircraft (an unknown type counts as light) the light
  // class goes off too; a setting already off gets no second warning.
  lf_groupScannedLiveries(LiveryList{livery("BAW", "A320", "A320 British Airways 1")});
  lf_logCategoryStats(0);
  lf_logCategoryStats(2);
  lf_logCategoryStats(4);
  EXPECT_FALSE(prm::LIGHT_AIRCRAFT.value());
  const auto lines = testsupport::logLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "===> No high performance aircraft liveries installed, HIGH_PERF_AIRCRAFT switched off"),
            1);
  EXPECT_TRUE(logHasLine("===> lf_logCategoryStats: no category 4"));
}

TEST_F(LiveryTablesTest, ClearingEmptiesEveryTableAndTheProcessedFlag) {
  readDbase(DbaseBuilder().type("A319", 35.8, "large").type("A320", 35.8, "large").similarGroup({"A319", "A320"}));
  buildAll(sampleLiveries());
  g_liveriesProcessed = true;
  ASSERT_FALSE(g_liveryTables.paxSimilarModels.empty());

  gf_clearLiveryTables();
  EXPECT_EQ(tablesText(g_liveryTables), tablesText(LiveryTables{}));
  EXPECT_TRUE(g_liveryTables.records.empty() && g_liveryTables.records.partCount() == 0);
  EXPECT_FALSE(g_liveriesProcessed);
  EXPECT_EQ(gf_regcodeTitleCount() + gf_airlineCount() + gf_paxTypeCount() + gf_cargoTypeCount(), 0u);
}

TEST_F(LiveryTablesTest, TheSameLiveriesAlwaysGiveTheSameTables) {
  readDbase(DbaseBuilder().type("A319", 35.8, "large").type("A320", 35.8, "large").similarGroup({"A319", "A320"}));
  writeFile(gf_userRegcodesFolder() / "mine.txt", "G-EUYA A320 Lufthansa\n");
  buildAll(sampleLiveries());
  const std::string first = tablesText(g_liveryTables);
  const std::string firstReport = readFile(g_inlineRegcodesLogPath);

  gf_clearLiveryTables();
  buildAll(sampleLiveries());
  EXPECT_EQ(tablesText(g_liveryTables), first);

  // Handed over in another order, the tables and the report are still the same.
  LiveryList reversed = sampleLiveries();
  std::reverse(reversed.begin(), reversed.end());
  gf_clearLiveryTables();
  buildAll(reversed);
  EXPECT_EQ(tablesText(g_liveryTables), first);
  EXPECT_EQ(readFile(g_inlineRegcodesLogPath), firstReport);
}

TEST_F(LiveryTablesTest, DontUseTitlesComeFromTheDataFileAndTheUsersFiles) {
  g_dontUseLiveryTitles.insert("Left over from before");
  writeFile(gf_regcodeDataFilePath(),
            "<regcodes><dontuse title=\" A320 Broken paint \"/><reg code=\"G-EUYA\" title=\"x\"/></regcodes>");
  writeFile(gf_userDontUseFolder() / "one.txt", "\xEF\xBB\xBF" "B738 Caf\xC3\xA9 livery\r\n\r\n   \nB744 Old\n");
  writeFile(gf_userDontUseFolder() / "two.TXT", utf16be("C172 Ugly\n"));
  writeFile(gf_userDontUseFolder() / "empty.txt", "");
  writeFile(gf_userDontUseFolder() / "readme", "Not a title file\n");
  fs::create_directories(gf_userDontUseFolder() / "sub.txt");  // a folder is no file

  lf_processDontUseTitles();
  EXPECT_THAT(g_dontUseLiveryTitles,
              ElementsAre("A320 Broken paint", "B738 Caf\xC3\xA9 livery", "B744 Old", "C172 Ugly"));
  EXPECT_TRUE(logHasLine("4 livery titles not to be used"));
}

TEST_F(LiveryTablesTest, DontUseTitlesSkipABadFileAndKeepTheRest) {
  writeFile(gf_regcodeDataFilePath(), "<other><dontuse title=\"A\"/></other>");
  writeFile(gf_userDontUseFolder() / "a.txt", std::string("\0\0\0\0\x01\x02", 6));
  writeFile(gf_userDontUseFolder() / "b.txt", "Kept title\n");

  lf_processDontUseTitles();
  EXPECT_THAT(g_dontUseLiveryTitles, ElementsAre("Kept title"));
  EXPECT_TRUE(testsupport::logContains("has the root <other>, not <regcodes>"));
  EXPECT_TRUE(testsupport::logContains("===> Skipping " + (gf_userDontUseFolder() / "a.txt").string()));
  EXPECT_TRUE(logHasLine("1 livery title not to be used"));

  // Without any source the set ends up empty, silently.
  fs::remove_all(g_inputFolder);
  lf_processDontUseTitles();
  EXPECT_THAT(g_dontUseLiveryTitles, IsEmpty());
}

TEST_F(LiveryTablesTest, RegistrationLinesSplitAtTheFirstBlank) {
  OfflineRegcode entry;
  ASSERT_TRUE(gf_splitRegcodeLine("G-EUUA \t A320 British Airways  1 ", entry));
  EXPECT_EQ(entry.registration, "G-EUUA");
  EXPECT_EQ(entry.title, "A320 British Airways  1");
  EXPECT_FALSE(gf_splitRegcodeLine("G-EUUA", entry));
  EXPECT_FALSE(gf_splitRegcodeLine("G-EUUA   ", entry));
  EXPECT_FALSE(gf_splitRegcodeLine("ABCDEFGHIJKLM A title", entry));  // 13 characters
  EXPECT_TRUE(gf_splitRegcodeLine("ABCDEFGHIJKL A title", entry));    // 12 characters
}

}  // namespace
