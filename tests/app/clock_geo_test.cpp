#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "app/geo.h"
#include "app/runstate.h"

TEST(Clock, DaySlotsOfKnownTimes) {
  EXPECT_EQ(gf_daySlotOf(1796628946), (DaySlot{1, 15}));  // Monday 07:35:46
  EXPECT_EQ(gf_daySlotOf(1797206399), (DaySlot{7, 47}));  // Sunday 23:59:59
  EXPECT_EQ(gf_daySlotOf(1796771400), (DaySlot{2, 46}));  // Tuesday 23:10
  EXPECT_EQ(gf_daySlotOf(0), (DaySlot{4, 0}));            // 1970-01-01 was a Thursday
  EXPECT_EQ(gf_daySlotOf(-1), (DaySlot{3, 47}));          // and the second before it a Wednesday
}

TEST(Clock, HalfHourDistanceWrapsAtTheWeekEnd) {
  EXPECT_EQ(gf_halfHoursBetween({7, 47}, {1, 1}), 2);
  EXPECT_EQ(gf_halfHoursBetween({2, 46}, {3, 1}), 3);
  EXPECT_EQ(gf_halfHoursBetween({2, 47}, {3, 1}), 2);
  EXPECT_EQ(gf_halfHoursBetween({3, 10}, {3, 10}), 0);
  EXPECT_EQ(gf_halfHoursBetween({3, 11}, {3, 10}), 335);
  EXPECT_EQ(gf_halfHoursBetween({1, 0}, {7, 47}), 335);
}

TEST(Clock, FixedClockAndSimulatorTime) {
  gf_setFixedClock(1796628946);
  EXPECT_EQ(gf_nowHms(), "07:35:46");
  EXPECT_EQ(gf_simNowHms(), "07:35:46");
  EXPECT_EQ(gf_timeText(1796628946), "Mon Dec 07 07:35:46 2026");
  EXPECT_EQ(gf_timeText(1709208000), "Thu Feb 29 12:00:00 2024");
  g_simEpochSeconds = 1797206399;  // the simulator flies on Sunday night
  EXPECT_EQ(gf_simNowHms(), "23:59:59");
  EXPECT_EQ(gf_nowHms(), "07:35:46");
  EXPECT_EQ(gf_daySlotNow(), (DaySlot{7, 47}));
  g_simEpochSeconds = 0;
  EXPECT_EQ(gf_daySlotNow(), (DaySlot{1, 15}));
}

TEST(Clock, SimulatorZuluTimeAsUtcSeconds) {
  struct Case {
    double year, day, seconds;
    std::optional<std::int64_t> epoch;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {2026, 341, 27346.0, 1796628946},     // Mon Dec 07 07:35:46 2026
      {2024, 60, 43200.0, 1709208000},      // 29 February of a leap year
      {2024, 366, 86399.5, 1735689599},     // its last second, the fraction cut
      {1970, 1, 0.0, 0},
      {2026, 366, 0.0, std::nullopt},       // no 366th day in 2026
      {2026, 0, 0.0, std::nullopt},
      {1969, 365, 0.0, std::nullopt},
      {2026, 10, -1.0, std::nullopt},
      {2026, 10, 86401.0, std::nullopt},
      {nan, 10, 0.0, std::nullopt},
      {2026, nan, 0.0, std::nullopt},
      {2026, 10, nan, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(gf_epochFromZulu(c.year, c.day, c.seconds), c.epoch) << c.year << " " << c.day << " " << c.seconds;
}

TEST(Geodesy, DistancesKnownFromElsewhere) {
  // The sphere is the one on which a minute of arc is one nautical mile.
  EXPECT_NEAR(gf_distanceNm({0, 0}, {1, 0}), 60.0, 1e-9);
  EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 90}), 5400.0, 1e-9);
  EXPECT_NEAR(gf_distanceNm({10, 20}, {-10, -160}), 10800.0, 1e-3);  // antipodes
  EXPECT_EQ(gf_distanceNm({51.4775, -0.4614}, {51.4775, -0.4614}), 0.0);
  // London Heathrow to New York JFK: the law of cosines on the same sphere, and
  // within half a percent of the 2999 nm measured on the ellipsoid.
  const LatLon lhr{51.4775, -0.4614}, jfk{40.6398, -73.7789};
  const double p1 = lhr.latitude * kDegToRad, p2 = jfk.latitude * kDegToRad;
  const double central =
      std::acos(std::sin(p1) * std::sin(p2) +
                std::cos(p1) * std::cos(p2) * std::cos((jfk.longitude - lhr.longitude) * kDegToRad));
  EXPECT_NEAR(gf_distanceNm(lhr, jfk), central * 10800.0 / std::numbers::pi, 1e-6);
  EXPECT_NEAR(gf_distanceNm(lhr, jfk), 2999.0, 15.0);
  // Symmetric.
  EXPECT_DOUBLE_EQ(gf_distanceNm({47.1, 8.5}, {-33.9, 151.2}), gf_distanceNm({-33.9, 151.2}, {47.1, 8.5}));
}

TEST(Geodesy, BearingAndDestinationPoint) {
  const double pi = std::numbers::pi;
  EXPECT_NEAR(gf_bearingRad({0, 0}, {1, 0}), 0.0, 1e-12);
  EXPECT_NEAR(gf_bearingRad({0, 0}, {0, 1}), pi / 2, 1e-12);
  EXPECT_NEAR(gf_bearingRad({0, 0}, {-1, 0}), pi, 1e-12);
  EXPECT_NEAR(gf_bearingRad({0, 0}, {0, -1}), 3 * pi / 2, 1e-12);
  const double b = gf_bearingRad({0, 1e-13}, {0.0, 0.0});
  EXPECT_GE(b, 0.0);
  EXPECT_LT(b, 2 * pi);

  // 60 nm north is one degree of latitude.
  const LatLon north = gf_destinationPoint({10, 20}, 0.0, 60.0 * kFeetPerNm);
  EXPECT_NEAR(north.latitude, 11.0, 1e-9);
  EXPECT_NEAR(north.longitude, 20.0, 1e-9);
  // Going out and measuring back gives the same distance and bearing.
  const LatLon from{51.47, -0.46};
  const LatLon to = gf_destinationPoint(from, 1.2, 1500.0);
  EXPECT_NEAR(gf_distanceNm(from, to) * kFeetPerNm, 1500.0, 1e-3);
  EXPECT_NEAR(gf_bearingRad(from, to), 1.2, 1e-6);
  // Crossing the date line stays within [-180, 180).
  const LatLon east = gf_destinationPoint({0, 179.9}, pi / 2, 12.0 * kFeetPerNm);
  EXPECT_NEAR(east.longitude, -179.9, 1e-9);
}
