// The static parking through a whole run against the simulated simulator:
// the user aircraft stands at a park airport, the statics appear one by one
// on the other stands, and flying out of sight takes them away again.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "app/runstate.h"
#include "platform/simconnect/sim_world.h"
#include "platform/win32/testdriver.h"
#include "simlink/sim_link.h"
#include "support/park_file_builder.h"
#include "support/program_fixture.h"
#include "support/workdir.h"
#include "ui/display_state.h"

namespace {

using testsupport::ParkFileBuilder;
using testsupport::ParkOptEntry;
using testsupport::ParkposEntry;

constexpr double kLat = 51.4700;
constexpr double kLon = -0.4550;
constexpr double kStep = 0.0009;  // about 100 m between stands

std::string lf_allHours() {
  std::string hours;
  for (int h = 0; h < 48; ++h) hours += (h == 0 ? "" : ",") + std::to_string(h);
  return hours;
}

class StaticParkingRunTest : public testsupport::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    installProgramFolder();
    ParkFileBuilder file;
    file.airport("London Heathrow", "Demo Scenery", 83);
    for (int i = 1; i <= 5; ++i) {
      ParkposEntry stand = ParkposEntry::at("S" + std::to_string(i), kLat + i * kStep, kLon, 90.0);
      for (int day = 1; day <= 7; ++day)
        stand.opt(ParkOptEntry::of("G-EUU" + std::to_string(i), "BAW", "A320", std::to_string(day), lf_allHours(),
                                   "BAW10" + std::to_string(i)));
      file.parkpos(stand);
    }
    file.write("airports/my_thirdparty/EGLL.xml");
    // Every stand wanted; no airport scan, which would replace the park file above.
    testsupport::writeFile(testsupport::appDataDir() / "Skyloom" / "parameters.xml",
                           "<parameters>\n  <parameter name=\"CUSTOM_PARKING_PERCENTAGE\" value=\"100\"/>\n"
                           "  <parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>\n</parameters>\n");
  }
  static std::size_t objects() { return simsim::world().aiObjects().size(); }
};

TEST_F(StaticParkingRunTest, StaticsAppearAroundTheUserStandAndLeaveWhenTheUserFliesOutOfSight) {
  simsim::world().placeUserOnGround(kLat + kStep, kLon, 90.0);  // on stand S1
  ASSERT_EQ(start(), 0);

  // Every stand but the user's gets its learned aircraft.
  ASSERT_TRUE(pumpUntil([] { return objects() == 4; })) << testsupport::readFile("Log.txt");
  for (const simsim::AiObject& o : simsim::world().aiObjects()) {
    EXPECT_EQ(o.title, "A320 British Airways");
    EXPECT_TRUE(o.tailNumber.starts_with("BAW10") && o.tailNumber.ends_with("*")) << o.tailNumber;
    EXPECT_GT(o.latitude, kLat + 1.5 * kStep);  // never on S1
  }
  // Each is held where it stands (the link freezes it right after its creation).
  EXPECT_TRUE(pumpUntil([] {
    const auto all = simsim::world().aiObjects();
    return std::all_of(all.begin(), all.end(), [](const simsim::AiObject& o) { return o.frozenPosition; });
  }));
  EXPECT_TRUE(pumpUntil([] {
    const DisplaySnapshot d = gf_displaySnapshot();
    return d.parkFileLoaded && d.standCount == 5 && d.counters.parkedStatic == 4 && d.userStandName == "S1";
  }));
  EXPECT_TRUE(testsupport::readFile("airports/my_park_airports.txt").starts_with("EGLL,S1"));

  // Taxiing away keeps them; flying out of sight removes them and unloads the airport.
  simsim::world().taxiUser(kLat, kLon + 0.01, 15.0);
  ASSERT_TRUE(pumpUntil([] { return std::abs(gf_userPosition().longitude - (kLon + 0.01)) < 1e-9; }));
  // Two static parking steps (every 16 s) see the user taxiing.
  const std::int32_t taxiing = g_secondCounter.load();
  ASSERT_TRUE(pumpUntil([taxiing] { return g_secondCounter.load() > taxiing + 33; }));
  EXPECT_EQ(objects(), 4u);
  simsim::world().flyUser(kLat + 1.0, kLon, 25000.0, 400.0);
  ASSERT_TRUE(pumpUntil([] { return objects() == 0 && !gf_displaySnapshot().parkFileLoaded; }));

  ASSERT_TRUE(win32layer::testdriver::pressCloseButton(window()));
  ASSERT_TRUE(pumpUntilQuit());
}

TEST_F(StaticParkingRunTest, ARestoredDestinationIsTheFirstParkAirportChosen) {
  // Two listed airports in sight, the destination second in the list.
  testsupport::writeFile("input/airports_msfs.xml",
                         "<airports>\n"
                         "  <airport code=\"EGLL\" iata=\"LHR\" lat=\"51.4775\" lon=\"-0.461389\" alt=\"83\"/>\n"
                         "  <airport code=\"EGWU\" iata=\"\" lat=\"51.5530\" lon=\"-0.4182\" alt=\"124\"/>\n"
                         "</airports>\n");
  ParkFileBuilder().airport("Northolt", "Demo Scenery", 124).parkpos(ParkposEntry::at("N1", 51.553, -0.418))
      .write("airports/my_thirdparty/EGWU.xml");
  testsupport::writeFile("airports/my_park_airports.txt", "EGLL\nEGWU\n");
  testsupport::writeFile(testsupport::appDataDir() / "Skyloom" / "parameters.xml",
                         "<parameters>\n  <parameter name=\"DESTINATION\" value=\"EGWU\"/>\n"
                         "  <parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>\n</parameters>\n");
  simsim::world().flyUser(51.50, -0.44, 3000.0, 150.0);
  ASSERT_EQ(start(), 0);

  ASSERT_TRUE(pumpUntil([] { return testsupport::readFile("Log.txt").find("The park airport is") != std::string::npos; }));
  const std::string log = testsupport::readFile("Log.txt");
  EXPECT_NE(log.find("The park airport is EGWU"), std::string::npos) << log;
  EXPECT_EQ(log.find("The park airport is EGLL"), std::string::npos);

  ASSERT_TRUE(win32layer::testdriver::pressCloseButton(window()));
  ASSERT_TRUE(pumpUntilQuit());
}

}  // namespace
