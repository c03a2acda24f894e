// The 16-second step's order of the park airports list.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_switch.h"
#include "app/files.h"
#include "app/settings.h"
#include "simlink/sim_link.h"
#include "support/airport_builders.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace {

constexpr double kLat = 50.03;
constexpr double kLon = 8.57;

std::vector<std::string> listed() {
  std::vector<std::string> icaos;
  for (const ParkAirportEntry& entry : g_parkAirports) icaos.push_back(entry.icao);
  return icaos;
}

class ParkStepOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetAirportsForTests();
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", kLat, kLon, 364.0, "FRA"),
                                   testsupport::AirportEntry::at("EDFE", kLat - 0.2, kLon, 364.0)});
    ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
    std::filesystem::create_directories(g_myThirdpartyFolder);
  }
  void TearDown() override {
    g_parkAirports.clear();
    g_userAircraft.set(UserAircraftData{});
    g_userOnGround.set(OnGroundReading{});
    gf_resetAirportsForTests();
    gf_resetParametersToDefaults();
  }
};

// "Re-read" puts the list in file order; the next step sorts it by distance
// again, also when the user aircraft has not moved.
TEST_F(ParkStepOrderTest, TheListIsSortedAgainAfterReRead) {
  testsupport::writeFile(gf_myParkAirportsPath(), "EDFE\nEDDF\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  UserAircraftData user;
  user.latitude = kLat + 0.05;
  user.longitude = kLon;
  user.altitudeAboveGround = 30000.0;  // above AIRP_HEIGHT: nothing comes into sight
  g_userAircraft.set(user);
  g_userOnGround.set(OnGroundReading{false, true});
  lf_staticParkingStep(true);
  ASSERT_EQ(listed(), (std::vector<std::string>{"EDDF", "EDFE"}));

  std::string text;
  ASSERT_TRUE(lf_checkParkAirports(false, text));
  ASSERT_EQ(listed(), (std::vector<std::string>{"EDFE", "EDDF"}));
  lf_staticParkingStep(false);
  EXPECT_EQ(listed(), (std::vector<std::string>{"EDDF", "EDFE"}));
}

}  // namespace
