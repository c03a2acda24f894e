#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/park_file.h"
#include "airports/park_read.h"
#include "airports/park_save.h"
#include "app/files.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/xml.h"
#include "support/log_reader.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

using testsupport::logContains;

namespace {

StandOption opt(std::string reg, std::uint32_t origin) {
  StandOption o;
  o.airline = "DLH";
  o.type = "A320";
  o.registration = std::move(reg);
  o.callsign = "DLH1";
  o.hours = 0b1100;
  o.day = 2;
  o.origin = origin;
  o.real = 1;
  o.id = 1;
  return o;
}

std::vector<Stand> stands() {
  std::vector<Stand> list;
  const auto add = [&](const char* name, std::vector<StandOption> options) -> Stand& {
    Stand& s = list.emplace_back(name, std::move(options), StandPosition{50.0, 8.0 + list.size() * 0.01, 0.0}, 30.0,
                                 1, 1, 1);
    s.id = static_cast<std::uint32_t>(list.size());
    return s;
  };
  add("L1", {opt("D-AIAA", 0), opt("D-FAKE", 1)});  // learned and fake
  add("F1", {opt("D-FAKE", 1)});                     // only from the park file: left out
  add("M1", {}).manual = 1;                          // manual: always kept
  add("R1", {}).radiusChange = 1;                    // changed radius: kept
  add("C1", {}).cargoChange = 1;                     // changed cargo flag: kept
  return list;
}

// The stand ids and option registrations of a saved file.
std::vector<std::string> savedContent(const std::filesystem::path& path) {
  pugi::xml_document doc;
  std::string error;
  EXPECT_TRUE(gf_loadApfDocument(path, doc, error)) << error;
  std::vector<std::string> content;
  for (const pugi::xml_node& pos : doc.child("parkpositions").children("parkpos")) {
    std::string text = pos.attribute("id").value();
    for (const pugi::xml_node& o : pos.children("opt")) text += std::string(":") + o.attribute("reg").value();
    content.push_back(text);
  }
  return content;
}

class ParkSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    g_parkApf = ParkAirport{};
    g_parkApf.icao = "EDDF";
    g_parkApf.airportName = "Frankfurt";
    g_parkApf.publisher = "stock";
    g_parkApfPath = "archive/stock/EDDF.xml";
    g_apfHandmade.store(false);
    g_apfChanged.store(false);
    g_learnedUpdates.store(0);
    gf_setParkFileLoaded(true);
  }
  void TearDown() override {
    gf_setParkFileLoaded(false);
    g_learnedUpdates.store(0);
    g_apfChanged.store(false);
    g_parkApfPath.clear();
  }
};

TEST_F(ParkSaveTest, WritesLearnedOptionsToTheLearnedPathOfTheParkFile) {
  struct Row {
    const char* apfPath;
    const char* publisher;
    std::filesystem::path expected;
  } rows[] = {
      {"archive/stock/EDDF.xml", "stock", "airports/learned/stock/EDDF.xml"},
      {"airports/my_simaddon/EDDF.xml", "simaddon", "airports/learned/simaddon/EDDF.xml"},
      {"airports/my_thirdparty/EDDF.xml", "Aerosoft", "airports/learned/thirdparty/Aerosoft/EDDF.xml"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.apfPath);
    g_parkApfPath = row.apfPath;
    g_parkApf.publisher = row.publisher;
    g_learnedUpdates.store(1);
    std::vector<Stand> list = stands();
    // Only a radius change that was refused when read: kept, to be written back.
    list.emplace_back("X1", std::vector<StandOption>{}, StandPosition{50.1, 8.1, 0.0}, 30.0, 1, 1, 1).refusedRadius =
        "1500";
    lf_saveStandFile(std::move(list));
    EXPECT_EQ(savedContent(row.expected), (std::vector<std::string>{"L1:D-AIAA", "M1", "R1", "C1", "X1"}));
    EXPECT_EQ(g_learnedUpdates.load(), 0u);
  }
  EXPECT_TRUE(logContains("'airports/learned/stock/EDDF.xml' saved with 1 update "));
}

TEST_F(ParkSaveTest, ParameterChangeAloneSavesAndHandmadeKeepsEverything) {
  g_apfChanged.store(true);
  g_apfHandmade.store(true);
  std::vector<Stand> list = stands();
  list.emplace_back("B1", std::vector<StandOption>{}, StandPosition{50.1, 8.1, 0.0}, 30.0, 1, 1, 1);
  lf_saveStandFile(std::move(list));
  EXPECT_EQ(savedContent("airports/learned/stock/EDDF.xml"),
            (std::vector<std::string>{"L1:D-AIAA:D-FAKE", "F1:D-FAKE", "M1", "R1", "C1", "B1"}));
  // The mean over all six stands: (10148 + 10124) / 6 x 0.00625.
  pugi::xml_document saved;
  std::string error;
  ASSERT_TRUE(gf_loadApfDocument("airports/learned/stock/EDDF.xml", saved, error));
  EXPECT_EQ(gf_getParamInt(saved, "Qf_real"), 21);
  EXPECT_TRUE(logContains(" handmade 'airports/learned/stock/EDDF.xml' saved with 0 updates and one or more "
                          "parameter changes"));
  EXPECT_FALSE(g_apfChanged.load());
}

TEST_F(ParkSaveTest, NothingToSaveWritesNothingAndAFailedSaveResetsTheCounters) {
  lf_saveStandFile(stands());  // nothing learned, nothing changed
  EXPECT_FALSE(std::filesystem::exists("airports/learned/stock/EDDF.xml"));

  g_learnedUpdates.store(3);
  g_apfChanged.store(true);
  gf_setParkFileLoaded(false);  // no park file loaded: nothing counts
  lf_saveStandFile(stands());
  EXPECT_FALSE(std::filesystem::exists("airports/learned/stock/EDDF.xml"));

  // A file in the place of the folder makes the write fail; the failure is
  // shown, and the next airport, which learned nothing, writes nothing.
  gf_setParkFileLoaded(true);
  testsupport::writeFile("airports/learned/stock", "in the way");
  EXPECT_FALSE(lf_saveStandFile(stands()));
  EXPECT_THAT(gf_statusSnapshot().status, ::testing::HasSubstr("saving 'airports/learned/stock/EDDF.xml' did not succeed"));
  EXPECT_TRUE(logContains("saving 'airports/learned/stock/EDDF.xml' did not succeed"));
  EXPECT_EQ(g_learnedUpdates.load(), 0u);
  EXPECT_FALSE(g_apfChanged.load());
  g_parkApf.icao = "EDDM";
  g_parkApf.publisher = "Pub";
  g_parkApfPath = "airports/my_thirdparty/EDDM.xml";
  EXPECT_TRUE(lf_saveStandFile(stands()));
  EXPECT_FALSE(std::filesystem::exists("airports/learned/thirdparty/Pub"));

}

TEST_F(ParkSaveTest, OnlyAPathInsideTheLearnedFolderIsSavedTo) {
  // A path outside the learned folder would overwrite the park file itself
  // or another file.
  const struct {
    const char* apfPath;
    std::filesystem::path written;  // the learned path; empty when nothing may be written
  } rows[] = {
      {"EDDF.xml", ""},
      {"archive/../../EDDF.xml", ""},
      {"airports/../EDDF.xml", ""},
      {"airportsX/EDDF.xml", ""},
      {"archive/stock/EDDF.xml", "airports/learned/stock/EDDF.xml"},
      {"airports/my_thirdparty/../EDDF.xml", "airports/learned/thirdparty/EDDF.xml"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.apfPath);
    g_parkApfPath = row.apfPath;
    g_learnedUpdates.store(1);
    EXPECT_EQ(lf_saveStandFile(stands()), !row.written.empty());
    if (!row.written.empty()) {
      EXPECT_TRUE(std::filesystem::exists(row.written));
    }
  }
  for (const char* outside : {"EDDF.xml", "airports/EDDF.xml", "airportsX/EDDF.xml", "../EDDF.xml"})
    EXPECT_FALSE(std::filesystem::exists(outside)) << outside;
}

}  // namespace
