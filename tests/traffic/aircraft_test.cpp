#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/stand_lookup.h"
#include "airports/stands.h"
#include "app/settings.h"
#include "support/log_reader.h"
#include "traffic/aircraft.h"
#include "traffic/stand_learning.h"

namespace {

constexpr std::uint32_t kMon = 1, kTue = 2, kWed = 3, kSun = 7;

std::uint64_t bits(std::initializer_list<std::uint32_t> slots) {
  std::uint64_t value = 0;
  for (const std::uint32_t s : slots) value |= std::uint64_t{1} << s;
  return value;
}

AircraftIdentity plane(SizeClass sizeClass = SizeClass::Large, std::uint8_t cargo = 0,
                       std::string registration = "G-EUPT", std::uint32_t hexid = 0x4CA123) {
  AircraftIdentity identity;
  identity.airline = "BAW";
  identity.type = "A320";
  identity.callsign = "BAW123";
  identity.registration = std::move(registration);
  identity.sizeClass = sizeClass;
  identity.cargo = cargo;
  identity.hexid = hexid;
  return identity;
}

Stand stand(std::string name = "A1", double latitude = 50.0, double longitude = 8.0, std::uint32_t id = 0) {
  Stand s(std::move(name), {}, StandPosition{latitude, longitude, 0.0}, 30.0, 1, 1, 1);
  s.id = id;
  return s;
}

// Degrees of latitude for a distance in metres along a meridian (one
// nautical mile is one minute of arc on the program's sphere).
double northOf(double latitude, double metres) { return latitude + metres / 1852.0 / 60.0; }

TEST(AircraftRecordsTest, ParkedAircraftStartsInTheBufferOnItsStand) {
  AircraftIdentity identity = plane();
  identity.liveryTitle = "Airbus A320 British Airways";
  const ParkedAircraft parked(std::move(identity), 17, StandPosition{51.5, -0.4, 1.25}, 1);
  EXPECT_EQ(parked.identity.callsign, "BAW123");
  EXPECT_EQ(parked.identity.liveryTitle, "Airbus A320 British Airways");
  EXPECT_EQ(parked.identity.cargo, 1);
  EXPECT_EQ(parked.standId, 17u);
  EXPECT_DOUBLE_EQ(parked.latitude, 51.5);
  EXPECT_DOUBLE_EQ(parked.longitude, -0.4);
  EXPECT_DOUBLE_EQ(parked.heading, 1.25);
  EXPECT_EQ(parked.objectId, 0u);
  EXPECT_EQ(parked.simState, SimState::buffer);
  EXPECT_EQ(parked.removeOnceCreated, 0);
  EXPECT_EQ(parked.erase, 0);

  // A live aircraft keeps the cargo flag its identity brought.
  const LiveAircraft live(plane(SizeClass::Heavy, 1));
  EXPECT_EQ(live.identity.cargo, 1);
  EXPECT_EQ(live.standId, 0u);
  EXPECT_EQ(live.flightPhase, FlightPhase::birth);
}

class AircraftLearningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::openTestLog();
    g_learnedUpdates = 0;
  }
  Stand s = stand();
};

TEST_F(AircraftLearningTest, FirstUpdateStartsAStayAndTheSameHalfHourAddsNothing) {
  EXPECT_TRUE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 20}));
  ASSERT_EQ(s.options.size(), 1u);
  EXPECT_EQ(s.options[0].hours, bits({20}));
  EXPECT_EQ(s.options[0].real, 1u);
  ASSERT_EQ(s.realStays.count(0x4CA123), 1u);
  EXPECT_EQ(s.realStays.at(0x4CA123).optionId, 1u);
  EXPECT_TRUE(s.softStays.empty());
  EXPECT_EQ(g_learnedUpdates.load(), 1u);

  EXPECT_FALSE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 20}));
  EXPECT_EQ(s.options.size(), 1u);
  EXPECT_EQ(g_learnedUpdates.load(), 1u);

  EXPECT_TRUE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 21}));
  EXPECT_EQ(s.options[0].hours, bits({20, 21}));
  EXPECT_EQ(g_learnedUpdates.load(), 2u);

  // Soft learning keeps its own stays and options.
  EXPECT_TRUE(lt_addStandOption(s, plane(), false, DaySlot{kTue, 21}));
  ASSERT_EQ(s.options.size(), 2u);
  EXPECT_EQ(s.options[1].real, 0u);
  EXPECT_EQ(s.softStays.at(0x4CA123).optionId, 2u);
}

TEST_F(AircraftLearningTest, AcceptedHalfHoursDependOnTheKindOfAircraft) {
  struct Case {
    AircraftIdentity aircraft;
    std::int32_t limit;
  };
  const std::vector<Case> cases = {{plane(SizeClass::Large), 6},
                                   {plane(SizeClass::Light), 6},
                                   {plane(SizeClass::Heavy), 8},
                                   {plane(SizeClass::Heavy, 1), 12},
                                   {plane(SizeClass::Light, 1), 12}};
  for (const Case& c : cases) {
    EXPECT_EQ(gf_stayHalfHourLimit(c.aircraft), c.limit);
    // limit - 1 half hours later: filled in.
    Stand filled = stand();
    ASSERT_TRUE(lt_addStandOption(filled, c.aircraft, true, DaySlot{kWed, 10}));
    ASSERT_TRUE(lt_addStandOption(filled, c.aircraft, true, DaySlot{kWed, 10u + c.limit - 1}));
    ASSERT_EQ(filled.options.size(), 1u) << c.limit;
    std::uint64_t expected = 0;
    for (std::uint32_t h = 10; h < 10u + c.limit; ++h) expected |= std::uint64_t{1} << h;
    EXPECT_EQ(filled.options[0].hours, expected) << c.limit;

    // limit half hours later: the gap is not filled, the stay starts afresh.
    Stand gap = stand();
    ASSERT_TRUE(lt_addStandOption(gap, c.aircraft, true, DaySlot{kWed, 10}));
    ASSERT_TRUE(lt_addStandOption(gap, c.aircraft, true, DaySlot{kWed, 10u + c.limit}));
    ASSERT_EQ(gap.options.size(), 2u) << c.limit;
    EXPECT_EQ(gap.options[0].hours, bits({10}));
    EXPECT_EQ(gap.options[1].hours, bits({10u + c.limit}));
    EXPECT_EQ(gap.realStays.at(0x4CA123).optionId, 2u);
  }
}

TEST_F(AircraftLearningTest, StayOverMidnightAndOverTheWeekEnd) {
  AircraftIdentity aircraft = plane();
  ASSERT_TRUE(lt_addStandOption(s, aircraft, true, DaySlot{kTue, 46}));
  aircraft.callsign = "SHT4A_";
  ASSERT_TRUE(lt_addStandOption(s, aircraft, true, DaySlot{kWed, 1}));
  ASSERT_EQ(s.options.size(), 2u);
  EXPECT_EQ(s.options[0].day, kTue);
  EXPECT_EQ(s.options[0].hours, bits({46, 47}));
  EXPECT_EQ(s.options[0].callsign2, "SHT4A");
  EXPECT_EQ(s.options[1].day, kWed);
  EXPECT_EQ(s.options[1].hours, bits({0, 1}));
  EXPECT_EQ(s.options[1].callsign, "SHT4A");
  const StandStay& stay = s.realStays.at(0x4CA123);
  EXPECT_EQ(stay.optionId, 2u);
  EXPECT_EQ(stay.daySlot(), (DaySlot{kWed, 1}));
  // The next update goes on in Wednesday's option.
  ASSERT_TRUE(lt_addStandOption(s, aircraft, true, DaySlot{kWed, 2}));
  EXPECT_EQ(s.options[1].hours, bits({0, 1, 2}));

  Stand week = stand();
  ASSERT_TRUE(lt_addStandOption(week, plane(), true, DaySlot{kSun, 47}));
  ASSERT_TRUE(lt_addStandOption(week, plane(), true, DaySlot{kMon, 1}));
  ASSERT_EQ(week.options.size(), 2u);
  EXPECT_EQ(week.options[0].hours, bits({47}));
  EXPECT_EQ(week.options[1].day, kMon);
  EXPECT_EQ(week.options[1].hours, bits({0, 1}));
}

TEST_F(AircraftLearningTest, StaleOrForeignStaysStartAfreshAndBadTimesAreRefused) {
  ASSERT_TRUE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 10}));
  // The renewal renumbered the options: id 1 now names another aircraft.
  StandOption foreign = s.options[0];
  foreign.registration = "D-AIBA";
  foreign.hours = bits({3});
  s.options.insert(s.options.begin(), foreign);
  s.options[1].id = 2;
  ASSERT_TRUE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 11}));
  EXPECT_EQ(s.options[0].hours, bits({3}));  // untouched
  EXPECT_EQ(s.realStays.at(0x4CA123).optionId, 3u);

  // The aircraft leaves and comes back within the half hour: the option it
  // had goes on, no second one.
  EXPECT_TRUE(lt_endStandStay(s, 0x4CA123, true));
  EXPECT_FALSE(lt_endStandStay(s, 0x4CA123, true));
  EXPECT_FALSE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 11}));
  EXPECT_EQ(s.options.size(), 3u);
  EXPECT_EQ(s.realStays.at(0x4CA123).optionId, 3u);
  EXPECT_TRUE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 12}));
  EXPECT_EQ(s.options[2].hours, bits({11, 12}));

  // Without a registration nothing is learned.
  EXPECT_FALSE(lt_addStandOption(s, plane(SizeClass::Large, 0, "", 0xABCDEF), true, DaySlot{kTue, 12}));
  EXPECT_EQ(s.realStays.count(0xABCDEF), 0u);

  const std::size_t before = s.options.size();
  EXPECT_FALSE(lt_addStandOption(s, plane(), true, DaySlot{kTue, 48}));
  EXPECT_FALSE(lt_addStandOption(s, plane(), true, DaySlot{0, 12}));
  EXPECT_EQ(s.options.size(), before);
  EXPECT_EQ(s.realStays.at(0x4CA123).daySlot(), (DaySlot{kTue, 12}));
  EXPECT_TRUE(testsupport::logHasLine("===> lt_addStandOption: invalid weekday 2 or half hour 48 for G-EUPT"));
}

class AircraftStandLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { gf_clearNearestStandCache(); }
  void TearDown() override {
    g_parkStands.clear();
    gf_clearNearestStandCache();
  }
};

TEST_F(AircraftStandLookupTest, NearestStandWithin55Metres) {
  const std::vector<Stand> stands = {stand("A1", 50.0, 8.0), stand("A2", northOf(50.0, 80.0), 8.0)};
  EXPECT_EQ(gf_nearestStandName(LatLon{50.0, 8.0}, stands), "A1");
  EXPECT_EQ(gf_nearestStandName(LatLon{northOf(50.0, -54.5), 8.0}, stands), "A1");
  EXPECT_EQ(gf_nearestStandName(LatLon{northOf(50.0, -55.5), 8.0}, stands), "");
  EXPECT_EQ(gf_nearestStandName(LatLon{northOf(50.0, 45.0), 8.0}, stands), "A2");
  EXPECT_EQ(gf_nearestStandName(LatLon{northOf(50.0, 35.0), 8.0}, stands), "A1");
  EXPECT_EQ(gf_nearestStandName(LatLon{northOf(50.0, 135.5), 8.0}, stands), "");
  EXPECT_EQ(gf_nearestStandName(LatLon{northOf(50.0, 134.5), 8.0}, stands), "A2");
  // Equally near: the first in the list.
  const std::vector<Stand> twins = {stand("T1", 50.0, 8.0), stand("T2", 50.0, 8.0)};
  EXPECT_EQ(gf_nearestStandName(LatLon{50.0, 8.0}, twins), "T1");
  EXPECT_EQ(gf_nearestStandName(LatLon{50.0, 8.0}, std::vector<Stand>{}), "");
}

TEST_F(AircraftStandLookupTest, CachedNameFollowsAChangedStandList) {
  const LatLon user{50.0, 8.0};
  g_parkStands = {stand("A1", 50.0, 8.0)};
  EXPECT_EQ(gf_nearestStandName(user), "A1");
  EXPECT_EQ(gf_nearestStandName(user), "A1");

  // Another airport's stands in the same global list, same length.
  g_parkStands = {stand("Z9", 50.0, 8.0)};
  EXPECT_EQ(gf_nearestStandName(user), "Z9");
  // A stand moved away in place.
  g_parkStands[0].latitude = northOf(50.0, 100.0);
  EXPECT_EQ(gf_nearestStandName(user), "");
  // The list emptied and refilled at the same place with a renamed stand.
  g_parkStands.clear();
  EXPECT_EQ(gf_nearestStandName(user), "");
  g_parkStands.push_back(stand("B7", 50.0, 8.0));
  EXPECT_EQ(gf_nearestStandName(user), "B7");
  g_parkStands[0].name = "B8";
  EXPECT_EQ(gf_nearestStandName(user), "B8");

  // Another list at the same position.
  const std::vector<Stand> other = {stand("C3", 50.0, 8.0)};
  EXPECT_EQ(gf_nearestStandName(user, other), "C3");
  EXPECT_EQ(gf_nearestStandName(user), "B8");
  gf_clearNearestStandCache();
  EXPECT_EQ(gf_nearestStandName(user), "B8");
}

TEST_F(AircraftStandLookupTest, StandNameById) {
  g_parkStands = {stand("A1", 50.0, 8.0, 1), stand("A2", 50.0, 8.0, 2)};
  EXPECT_EQ(gf_standNameById(0), "sid==0?");
  EXPECT_EQ(gf_standNameById(1), "A1");
  EXPECT_EQ(gf_standNameById(2), "A2");
  EXPECT_EQ(gf_standNameById(3), "unknown");
  // Not numbered in list order (before the park airport numbers them).
  const std::vector<Stand> shuffled = {stand("X5", 50.0, 8.0, 5), stand("X1", 50.0, 8.0, 1)};
  EXPECT_EQ(gf_standNameById(1, shuffled), "X1");
  EXPECT_EQ(gf_standNameById(5, shuffled), "X5");
  EXPECT_EQ(gf_standNameById(2, shuffled), "unknown");
  EXPECT_EQ(gf_standNameById(0, shuffled), "sid==0?");
}

class AircraftWantedStaticsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    gf_resetParametersToDefaults();
    g_parkStands.clear();
  }
  static std::int32_t wanted(std::int32_t percentage, std::size_t stands) {
    prm::parking_percentage.setWithoutClamping(percentage);
    return lf_wantedStaticCount(stands);
  }
};

TEST_F(AircraftWantedStaticsTest, FewStandsGetOneUnlessHalfAreWanted) {
  EXPECT_EQ(wanted(40, 1), 1);
  EXPECT_EQ(wanted(0, 1), 1);
  EXPECT_EQ(wanted(100, 1), 1);
  EXPECT_EQ(wanted(40, 3), 1);
  EXPECT_EQ(wanted(49, 3), 1);
  EXPECT_EQ(wanted(50, 3), 2);  // 1.5 rounds away from zero
  EXPECT_EQ(wanted(50, 2), 1);
  EXPECT_EQ(wanted(100, 2), 2);
  EXPECT_EQ(wanted(40, 4), 2);  // 1.6
  EXPECT_EQ(wanted(25, 10), 3);  // 2.5
  EXPECT_EQ(wanted(0, 10), 0);
  EXPECT_EQ(g_windowWantedStatics.load(), 0);
  EXPECT_EQ(g_windowWantedPercent.load(), 0);
  // A negative percentage from a learned file asks for none, not fewer.
  EXPECT_EQ(wanted(-20, 10), 0);

  // The list of the park airport.
  prm::parking_percentage.set(50);
  g_parkStands = {stand("A1"), stand("A2"), stand("A3")};
  EXPECT_EQ(lf_wantedStaticCount(), 2);
  EXPECT_EQ(g_windowWantedStatics.load(), 2);
  EXPECT_EQ(g_windowWantedPercent.load(), 50);
}

TEST_F(AircraftWantedStaticsTest, CustomPercentageAndMaximum) {
  prm::CUSTOM_PARKING_PERCENTAGE.set(45);
  EXPECT_EQ(wanted(30, 10), 5);  // 4.5 of the custom 45 %
  EXPECT_EQ(g_windowWantedPercent.load(), 45);
  prm::CUSTOM_PARKING_PERCENTAGE.set(0);
  EXPECT_EQ(wanted(30, 10), 0);
  prm::CUSTOM_PARKING_PERCENTAGE.set(-1);
  EXPECT_EQ(wanted(30, 10), 3);

  prm::MAX_PARK_SEL.set(10);
  EXPECT_EQ(wanted(30, 200), 10);
  EXPECT_EQ(g_windowWantedStatics.load(), 10);
  EXPECT_EQ(g_windowWantedPercent.load(), 5);  // 10 of 200 stands
  EXPECT_EQ(wanted(30, 20), 6);                 // below the maximum
  EXPECT_EQ(g_windowWantedPercent.load(), 30);
  EXPECT_EQ(wanted(50, 3), 2);
  EXPECT_EQ(g_windowWantedPercent.load(), 67);

  prm::MAX_PARK_SEL.set(500);
  EXPECT_EQ(wanted(30, 2000), 600);
  EXPECT_EQ(g_windowWantedPercent.load(), 30);
}

}  // namespace
