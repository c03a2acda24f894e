#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "app/files.h"
#include "support/airport_builders.h"
#include "support/sparse_file.h"
#include "support/log_reader.h"
#include "support/special_files.h"
#include "support/workdir.h"
#include "simlink/sim_link.h"
#include "ui/status_line.h"

using ::testing::ElementsAre;
using testsupport::AirportEntry;
using testsupport::logHasLine;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class ParkAirportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetAirportsForTests();
    testsupport::openTestLog();
    testsupport::writeAirportList({AirportEntry::at("EDDF", 50.03, 8.57), AirportEntry::at("EGLL", 51.47, -0.46),
                                   AirportEntry::at("LFPG", 49.0, 2.55), AirportEntry::at("LOWW", 48.11, 16.57)});
    gf_readAirports("airports_msfs.xml");
    std::filesystem::create_directories(g_myThirdpartyFolder);
    g_parkAirports.clear();
  }
  void TearDown() override {
    g_parkAirports.clear();
    gf_resetAirportsForTests();
  }

  static std::vector<std::string> entries() {
    std::vector<std::string> result;
    for (const ParkAirportEntry& e : g_parkAirports) result.push_back(e.stand.empty() ? e.icao : e.icao + "," + e.stand);
    return result;
  }
};

TEST_F(ParkAirportsTest, ReadsListSkippingWrongDoubleAndUnknownLinesThenAddsThirdpartyFiles) {
  writeFile(gf_myParkAirportsPath(),
            "\xEF\xBB\xBF" "EGLL\r\nEDDF, A12\n\nLFPG,B,C\nEGLL,K3\nXXXX\n,A1\n");
  writeFile(g_myThirdpartyFolder / "LOWW.xml", "");
  writeFile(g_myThirdpartyFolder / "EDDF.txt", "");   // listed already
  writeFile(g_myThirdpartyFolder / "NOTICAO.xml", "");  // not an airport

  ASSERT_TRUE(lf_readMyParkAirports());
  EXPECT_THAT(entries(), ElementsAre("EGLL", "EDDF,A12", "LOWW"));
  EXPECT_DOUBLE_EQ(g_parkAirports.front().pos.latitude, 51.47);
  EXPECT_TRUE(logHasLine("my_park_airports.txt:LFPG,B,C wrong syntax, skipped"));
  EXPECT_TRUE(logHasLine("my_park_airports.txt:EGLL double, skipped"));
  EXPECT_TRUE(logHasLine("airport XXXX is unknown"));
  EXPECT_TRUE(logHasLine("airport  is unknown"));
  EXPECT_TRUE(logHasLine(fmt::format("2 park airports read from '{}'", gf_myParkAirportsPath().string())));
  EXPECT_TRUE(logHasLine("1 park airport added from my_thirdparty folder(-s)"));

  // Read again: the list is rebuilt, not appended to.
  ASSERT_TRUE(lf_readMyParkAirports());
  EXPECT_EQ(g_parkAirports.size(), 3u);
}

TEST_F(ParkAirportsTest, MissingFileLeavesOnlyThirdpartyAirportsAndAMissingFolderIsAnError) {
  writeFile(g_myThirdpartyFolder / "LFPG.xml", "");
  ASSERT_TRUE(lf_readMyParkAirports());
  EXPECT_THAT(entries(), ElementsAre("LFPG"));
  EXPECT_TRUE(logHasLine(gf_myParkAirportsPath().string() + " not found"));

  writeFile(gf_myParkAirportsPath(), "EGLL\n");
  std::filesystem::remove_all(g_myThirdpartyFolder);
  EXPECT_FALSE(lf_readMyParkAirports());
  EXPECT_THAT(entries(), ElementsAre("EGLL"));
  EXPECT_TRUE(testsupport::logContains("lf_readMyParkAirports: "));
}

TEST_F(ParkAirportsTest, WarnsAboutMoreThan3000Airports) {
  for (const std::size_t count : {std::size_t{3000}, std::size_t{3001}}) {
    gf_resetAirportsForTests();
    std::vector<AirportEntry> airports;
    std::string file;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string code = fmt::format("K{:03}", i);
      airports.push_back(AirportEntry::at(code, 40.0, -100.0));
      file += code + "\n";
    }
    testsupport::writeAirportList(airports);
    gf_readAirports("airports_msfs.xml");
    writeFile(gf_myParkAirportsPath(), file);
    gf_clearStatus();
    ASSERT_TRUE(lf_readMyParkAirports());
    const std::string warning = fmt::format(
        "Warning: There are a lot of airports ({}), that will cost SKLM much cpu time and may cause stutters", count);
    EXPECT_EQ(gf_statusSnapshot().status == warning, count > 3000) << count;
  }
}

TEST_F(ParkAirportsTest, UpdateReplacesOrAddsTheFirstEntrySortedAndAtomically) {
  // No file yet: created with the one line.
  g_parkAirports.push_back(ParkAirportEntry{"LFPG", "F12", {49.0, 2.55}, 0.0});
  ASSERT_TRUE(lf_updateMyParkAirports());
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "LFPG,F12\n");
  EXPECT_TRUE(logHasLine("my_park_airports.txt created with LFPG,F12"));

  // The line of the ICAO is replaced; lines end sorted without repeats.
  writeFile(gf_myParkAirportsPath(), "LOWW\nLFPG,F12\nEDDF,A1\nLOWW\n");
  g_parkAirports.front().stand = "G7";
  ASSERT_TRUE(lf_updateMyParkAirports());
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "EDDF,A1\nLFPG,G7\nLOWW\n");
  EXPECT_TRUE(logHasLine("my_park_airports.txt:LFPG,G7 updated stand"));

  // A new ICAO gets a line of its own.
  g_parkAirports.push_front(ParkAirportEntry{"EGLL", "", {51.47, -0.46}, 0.0});
  ASSERT_TRUE(lf_updateMyParkAirports());
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "EDDF,A1\nEGLL\nLFPG,G7\nLOWW\n");
  EXPECT_TRUE(logHasLine("my_park_airports.txt:EGLL new entry"));
  std::vector<std::string> leftovers;
  for (const auto& e : std::filesystem::directory_iterator(g_airportsFolder))
    if (e.path().filename().string().find(".tmp") != std::string::npos) leftovers.push_back(e.path().string());
  EXPECT_TRUE(leftovers.empty());
}

TEST_F(ParkAirportsTest, AnExistingFileThatCannotBeReadIsNeverOverwritten) {
  // A file beyond the size that is read exists, but cannot be read.
  const std::uintmax_t size = kMyParkAirportsMaxBytes + 1;
  testsupport::writeSparseFile(gf_myParkAirportsPath(), size);
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_TRUE(logHasLine(gf_myParkAirportsPath().string() + " not found"));
  g_parkAirports.push_back(ParkAirportEntry{"LFPG", "F12", {49.0, 2.55}, 0.0});
  EXPECT_FALSE(lf_updateMyParkAirports());
  lf_setDestinationParkAirport("EGLL", LatLon{51.47, -0.46});
  EXPECT_EQ(std::filesystem::file_size(gf_myParkAirportsPath()), size);
}

TEST_F(ParkAirportsTest, RequestsFromOtherThreadsAreCarriedOutOnTheRunThread) {
  writeFile(gf_myParkAirportsPath(), "EGLL\nLFPG\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  g_parkAirport = AirportRec{"EGLL", "LHR", 51.47, -0.46, 83.0};

  std::thread window([] { gf_requestDestinationParkAirport("LFPG", LatLon{49.0, 2.55}); });
  window.join();
  EXPECT_THAT(entries(), ElementsAre("EGLL", "LFPG"));  // nothing until the run thread takes it
  gf_runParkAirportRequests();
  EXPECT_THAT(entries(), ElementsAre("LFPG", "EGLL"));  // an existing entry moves to the front

  // A stand of the park airport is stored only while its entry is first.
  std::thread link([] { gf_requestReservedStand("501"); });
  link.join();
  gf_runParkAirportRequests();
  EXPECT_THAT(entries(), ElementsAre("LFPG", "EGLL"));
  gf_requestDestinationParkAirport("EGLL", LatLon{51.47, -0.46});
  gf_requestReservedStand("501");
  gf_runParkAirportRequests();
  EXPECT_THAT(entries(), ElementsAre("EGLL,501", "LFPG"));
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "EGLL,501\nLFPG\n");

  // Reloaded at rest but on no stand: the reserved stand is cleared.
  gf_resetSimLinkForTests();
  g_parkStands = {Stand("501", {}, StandPosition{51.47, -0.46, 0.0}, 20.0, 1, 1, 1)};
  gf_publishStandSnapshot();
  UserAircraftData user;
  user.latitude = 51.48;
  user.longitude = -0.46;
  g_userAircraft.set(user);
  g_userOnGround.set(OnGroundReading{true, true});
  lf_rememberUserStand();
  gf_runParkAirportRequests();
  EXPECT_THAT(entries(), ElementsAre("EGLL", "LFPG"));
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "EGLL\nLFPG\n");
  g_parkStands.clear();
  gf_resetSimLinkForTests();

  // A new destination is put in front and written.
  gf_requestDestinationParkAirport("EDDF", LatLon{50.03, 8.57});
  gf_runParkAirportRequests();
  EXPECT_THAT(entries(), ElementsAre("EDDF", "EGLL", "LFPG"));
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "EDDF\nEGLL\nLFPG\n");
}

}  // namespace
