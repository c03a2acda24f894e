#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/stand_options.h"
#include "airports/stands.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"

namespace {

constexpr std::uint32_t kMon = 1, kTue = 2, kWed = 3, kSun = 7;

std::uint64_t bits(std::initializer_list<std::uint32_t> slots) {
  std::uint64_t value = 0;
  for (const std::uint32_t s : slots) value |= std::uint64_t{1} << s;
  return value;
}

Stand makeStand(double radiusMetres = 30.0) {
  return Stand("B12", {}, StandPosition{51.47, -0.45, 0.0}, radiusMetres, 1, 1, 1);
}

LiveAcData aircraft(std::string callsign = "BAW123", std::string registration = "G-EUPT") {
  LiveAcData data;
  data.airline = "BAW";
  data.type = "A320";
  data.callsign = std::move(callsign);
  data.registration = std::move(registration);
  return data;
}

StandOption option(std::uint32_t id, std::uint32_t day, std::uint64_t hours, std::string registration = "G-EUPT",
                   std::uint32_t real = 1) {
  StandOption o;
  o.airline = "BAW";
  o.type = "A320";
  o.registration = std::move(registration);
  o.callsign = "BAW123";
  o.hours = hours;
  o.id = id;
  o.day = day;
  o.real = real;
  return o;
}

class StandOptionTest : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::openTestLog(); }
  void TearDown() override { gf_resetDbaseForTests(); }
};

TEST_F(StandOptionTest, AppendNumbersFromOneAndAfterTheHighestId) {
  Stand stand = makeStand();
  const auto first = lf_appendStandOption(stand, aircraft(), 1, DaySlot{kTue, 20}, "BAW123_", "G-EUPT");
  ASSERT_EQ(first, std::optional<std::uint32_t>(1));
  const StandOption& o = stand.options.front();
  EXPECT_EQ(o.airline, "BAW");
  EXPECT_EQ(o.type, "A320");
  EXPECT_EQ(o.registration, "G-EUPT");
  EXPECT_EQ(o.callsign, "BAW123");  // trailing "_" cut
  EXPECT_EQ(o.callsign2, "");
  EXPECT_EQ(o.hours, bits({20}));
  EXPECT_EQ(o.day, kTue);
  EXPECT_EQ(o.origin, 0u);
  EXPECT_EQ(o.real, 1u);

  EXPECT_EQ(lf_appendStandOption(stand, aircraft(), 0, DaySlot{kTue, 21}, "BAW123", "G-EUPT"),
            std::optional<std::uint32_t>(2));
  EXPECT_EQ(stand.options.back().real, 0u);

  // Lower ids deleted: the next id follows the last one.
  Stand gaps = makeStand();
  gaps.options = {option(3, kMon, bits({1})), option(7, kMon, bits({2}))};
  EXPECT_EQ(lf_appendStandOption(gaps, aircraft(), 1, DaySlot{kMon, 5}, "BAW1", "G-EUPT"),
            std::optional<std::uint32_t>(8));

  // The last option out of play (id 0) must not make the new id a duplicate.
  Stand outOfPlay = makeStand();
  outOfPlay.options = {option(1, kMon, bits({1})), option(2, kMon, bits({2})), option(0, kMon, bits({3}))};
  EXPECT_EQ(lf_appendStandOption(outOfPlay, aircraft(), 1, DaySlot{kMon, 5}, "BAW1", "G-EUPT"),
            std::optional<std::uint32_t>(3));
}

TEST_F(StandOptionTest, AppendRefusesDuplicatesAndEmptyRegistrations) {
  Stand stand = makeStand();
  ASSERT_TRUE(lf_appendStandOption(stand, aircraft(), 1, DaySlot{kWed, 10}, "BAW123", "G-EUPT"));

  // Same registration, weekday, half hour and (trimmed) callsign: nothing.
  EXPECT_FALSE(lf_appendStandOption(stand, aircraft(), 1, DaySlot{kWed, 10}, "BAW123_", "G-EUPT"));
  EXPECT_EQ(stand.options.size(), 1u);

  // Another callsign, weekday or half hour: a new option.
  EXPECT_EQ(lf_appendStandOption(stand, aircraft(), 1, DaySlot{kWed, 10}, "BAW9K", "G-EUPT"),
            std::optional<std::uint32_t>(2));
  EXPECT_TRUE(lf_appendStandOption(stand, aircraft(), 1, DaySlot{kTue, 10}, "BAW123", "G-EUPT"));
  EXPECT_TRUE(lf_appendStandOption(stand, aircraft(), 1, DaySlot{kWed, 11}, "BAW123", "G-EUPT"));
  EXPECT_EQ(stand.options.size(), 4u);

  // An option out of play still counts as the duplicate.
  Stand deleted = makeStand();
  deleted.options = {option(0, kWed, bits({10}))};
  EXPECT_FALSE(lf_appendStandOption(deleted, aircraft(), 1, DaySlot{kWed, 10}, "BAW123", "G-EUPT"));
  // An option that grew over more half hours is not the duplicate.
  deleted.options = {option(1, kWed, bits({9, 10}))};
  EXPECT_TRUE(lf_appendStandOption(deleted, aircraft(), 1, DaySlot{kWed, 10}, "BAW123", "G-EUPT"));

  EXPECT_FALSE(lf_appendStandOption(stand, aircraft(), 1, DaySlot{kWed, 12}, "BAW123", ""));
  EXPECT_EQ(stand.options.size(), 4u);
}

TEST_F(StandOptionTest, AppendRejectsInvalidDaySlotsWithALogLine) {
  Stand stand = makeStand();
  for (const DaySlot bad : {DaySlot{kWed, 48}, DaySlot{kWed, 4000000000u}, DaySlot{0, 10}, DaySlot{8, 10}}) {
    EXPECT_FALSE(lf_appendStandOption(stand, aircraft(), 1, bad, "BAW123", "G-EUPT"));
  }
  EXPECT_TRUE(stand.options.empty());
  EXPECT_TRUE(testsupport::logHasLine("===> lf_appendStandOption: invalid weekday 3 or half hour 48"));
  EXPECT_TRUE(testsupport::logHasLine("===> lf_appendStandOption: invalid weekday 8 or half hour 10"));
}

TEST_F(StandOptionTest, AppendTakesAirlineAndTypeFromTheDatabase) {
  testsupport::DbaseBuilder().reg("G-EUPT", "BAW", "A319").reg("D-AIBA", "DLH", "A320", "CLH").write();
  gf_resetDbaseForTests();
  gf_readDbase();

  Stand stand = makeStand();
  LiveAcData plane = aircraft();
  plane.airline = "XXX";
  plane.type = "B738";
  ASSERT_TRUE(lf_appendStandOption(stand, plane, 1, DaySlot{kMon, 1}, "BAW123", "G-EUPT"));
  EXPECT_EQ(stand.options.back().airline, "BAW");
  EXPECT_EQ(stand.options.back().type, "A319");
  ASSERT_TRUE(lf_appendStandOption(stand, plane, 1, DaySlot{kMon, 1}, "DLH4", "D-AIBA"));
  EXPECT_EQ(stand.options.back().airline, "CLH");  // the operator wins
  EXPECT_EQ(stand.options.back().type, "A320");
  ASSERT_TRUE(lf_appendStandOption(stand, plane, 1, DaySlot{kMon, 1}, "XXX1", "N999ZZ"));
  EXPECT_EQ(stand.options.back().airline, "XXX");
  EXPECT_EQ(stand.options.back().type, "B738");
}

TEST_F(StandOptionTest, CollectStaySlotsStepsBackOverMidnight) {
  std::vector<std::uint32_t> slots;
  lf_collectStaySlots(slots, 5, DaySlot{kWed, 2});
  EXPECT_EQ(slots, (std::vector<std::uint32_t>{2, 1, 0, 47, 46}));

  slots.clear();
  lf_collectStaySlots(slots, 0, DaySlot{kWed, 2});
  lf_collectStaySlots(slots, -3, DaySlot{kWed, 2});
  EXPECT_TRUE(slots.empty());

  lf_collectStaySlots(slots, 3, DaySlot{kWed, 48});
  lf_collectStaySlots(slots, 3, DaySlot{9, 1});
  EXPECT_TRUE(slots.empty());
  EXPECT_TRUE(testsupport::logContains("lf_collectStaySlots: invalid weekday 3 or half hour 48"));

}

TEST_F(StandOptionTest, UpdateOptionsSetsBitsAndStopsAtABadSlot) {
  std::vector<StandOption> options = {option(1, kTue, 0), option(2, kTue, 0)};
  std::vector<std::uint32_t> slots = {5, 4, 3};
  EXPECT_TRUE(updateOptions(options, slots, 2));
  EXPECT_TRUE(slots.empty());
  EXPECT_EQ(options[1].hours, bits({3, 4, 5}));
  EXPECT_EQ(options[0].hours, 0u);

  slots = {9};
  EXPECT_FALSE(updateOptions(options, slots, 3));
  EXPECT_EQ(slots, (std::vector<std::uint32_t>{9}));

  // The number after the bad one (taken first) is set; the bad one and those
  // before it stay in the array.
  slots = {7, 60, 8};
  EXPECT_FALSE(updateOptions(options, slots, 1));
  EXPECT_EQ(options[0].hours, bits({8}));
  EXPECT_EQ(slots, (std::vector<std::uint32_t>{7, 60}));
  EXPECT_TRUE(testsupport::logHasLine("===> updateOptions exception:invalid bitset position"));
  EXPECT_EQ(options[0].hours >> 48, 0u);
}

TEST_F(StandOptionTest, StayOverMidnightSplitsOverBothDaysOptions) {
  struct Case {
    DaySlot before;            // the stay's last update
    DaySlot now;               // today's option was appended at now
    std::uint64_t beforeBits;  // the previous day's option afterwards
  };
  const Case cases[] = {
      {DaySlot{kTue, 46}, DaySlot{kWed, 1}, bits({46, 47})},  // 3 half hours: 1, 0, 47
      {DaySlot{kTue, 47}, DaySlot{kWed, 1}, bits({47})},      // 2 half hours: 1, 0
      {DaySlot{kSun, 45}, DaySlot{kMon, 1}, bits({45, 46, 47})},
  };
  for (const Case& c : cases) {
    Stand stand = makeStand();
    stand.options = {option(1, c.before.day, bits({c.before.slot})), option(2, c.now.day, bits({c.now.slot}))};
    stand.options[1].callsign = "";
    const std::int32_t n = gf_halfHoursBetween(c.before, c.now);
    lf_recordStayInOptions(stand, c.now, "SHT4_", n, 1, 2);
    EXPECT_EQ(stand.options[0].hours, c.beforeBits) << n;
    EXPECT_EQ(stand.options[1].hours, bits({0, 1})) << n;
    EXPECT_EQ(stand.options[0].callsign2, "SHT4");
    EXPECT_EQ(stand.options[1].callsign, "SHT4");
  }
}

TEST_F(StandOptionTest, WrappedUpdateFailsWithoutItsOptionsOrSlots) {
  std::vector<StandOption> options = {option(1, kTue, 0), option(2, kWed, bits({1}))};
  std::vector<std::uint32_t> none;
  EXPECT_FALSE(updateOptionsWrapped(options, none, 1, 2));

  std::vector<std::uint32_t> slots = {1, 0, 47};
  EXPECT_FALSE(updateOptionsWrapped(options, slots, 5, 2));
  EXPECT_EQ(options[0].hours, 0u);
  EXPECT_EQ(slots.size(), 3u);

  // The first option gets its half hours even when the second is missing.
  EXPECT_FALSE(updateOptionsWrapped(options, slots, 1, 9));
  EXPECT_EQ(options[0].hours, bits({47}));
  EXPECT_EQ(options[1].hours, bits({1}));

  std::vector<std::uint32_t> bad = {1, 99, 0};
  EXPECT_FALSE(updateOptionsWrapped(options, bad, 1, 2));
  EXPECT_TRUE(testsupport::logHasLine("===> updateOptionsWrapped exception:invalid bitset position"));
}

TEST_F(StandOptionTest, CallsignRules) {
  std::vector<StandOption> options = {option(1, kMon, 0), option(0, kMon, 0)};
  options[0].callsign = "";
  options[1].callsign = "";

  lf_addCallsignToOption(options, 1, "BAW12_");
  EXPECT_EQ(options[0].callsign, "BAW12");
  EXPECT_EQ(options[0].callsign2, "");
  lf_addCallsignToOption(options, 1, "BAW12");
  EXPECT_EQ(options[0].callsign2, "");
  lf_addCallsignToOption(options, 1, "SHT4A");
  EXPECT_EQ(options[0].callsign2, "SHT4A");
  // A third different callsign replaces the second.
  lf_addCallsignToOption(options, 1, "BAW77");
  EXPECT_EQ(options[0].callsign, "BAW12");
  EXPECT_EQ(options[0].callsign2, "BAW77");
  lf_addCallsignToOption(options, 1, "_");
  lf_addCallsignToOption(options, 1, "");
  EXPECT_EQ(options[0].callsign2, "BAW77");

  // An option out of play takes no callsign.
  lf_addCallsignToOption(options, 0, "BAW12");
  EXPECT_EQ(options[1].callsign, "");

  EXPECT_EQ(gf_splitCallsign("BAW123"), std::optional<std::string>("BAW"));
  EXPECT_EQ(gf_splitCallsign("ezy8Q"), std::optional<std::string>("EZY"));
  for (const char* none : {"N123AB", "BA12", "BAW", "BAWX"}) {
    EXPECT_EQ(gf_splitCallsign(none), std::nullopt) << none;
  }

  LiveAcData plane = aircraft("dlh4AB");
  plane.airline = "ZZZ";
  EXPECT_TRUE(lf_airlineFromCallsign(plane));
  EXPECT_EQ(plane.airline, "DLH");
  plane.callsign = "N123AB";
  EXPECT_FALSE(lf_airlineFromCallsign(plane));
  EXPECT_EQ(plane.airline, "DLH");

  EXPECT_TRUE(lf_isValidCallsign(aircraft("ABCDEFGH")));
  EXPECT_FALSE(lf_isValidCallsign(aircraft("ABCDEFGHI")));
  EXPECT_FALSE(lf_isValidCallsign(aircraft("")));
  EXPECT_FALSE(lf_isValidCallsign(aircraft("@@@@@@@@")));
}

TEST_F(StandOptionTest, MatchingAnAircraftUsesRealOptionsInPlay) {
  StandOption o = option(4, kMon, bits({3}));
  o.callsign2 = "SHT8";
  const LiveAcData other = [] {
    LiveAcData d = aircraft("EZY1", "G-EZAA");
    d.airline = "EZY";
    d.type = "A319";
    return d;
  }();
  EXPECT_TRUE(lf_optionMatchesAircraft(o, "BAW123", other));
  EXPECT_TRUE(lf_optionMatchesAircraft(o, "SHT8", other));
  EXPECT_FALSE(lf_optionMatchesAircraft(o, "baw123", other));
  EXPECT_FALSE(lf_optionMatchesAircraft(o, "EZY1", other));
  EXPECT_TRUE(lf_optionMatchesAircraft(o, "EZY1", aircraft()));  // airline and type

  StandOption soft = o;
  soft.real = 0;
  EXPECT_FALSE(lf_optionMatchesAircraft(soft, "BAW123", aircraft()));
  StandOption gone = o;
  gone.id = 0;
  EXPECT_FALSE(lf_optionMatchesAircraft(gone, "BAW123", aircraft()));
}

TEST_F(StandOptionTest, MatchingNowLooksAtNeighbouringHalfHoursOfTheSameDay) {
  const StandOption late = option(1, kTue, bits({47}));
  EXPECT_TRUE(lf_optionMatchesNow(late, kTue, 0, "G-EUPT"));  // 47 is 0's neighbour
  EXPECT_TRUE(lf_optionMatchesNow(option(1, kTue, bits({0})), kTue, 47, "G-EUPT"));  // and 0 is 47's
  EXPECT_FALSE(lf_optionMatchesNow(option(1, kTue, bits({1})), kTue, 47, "G-EUPT"));
  EXPECT_TRUE(lf_optionMatchesNow(late, kTue, 46, "G-EUPT"));
  EXPECT_FALSE(lf_optionMatchesNow(late, kTue, 45, "G-EUPT"));
  EXPECT_FALSE(lf_optionMatchesNow(late, kTue, 1, "G-EUPT"));
  EXPECT_FALSE(lf_optionMatchesNow(late, kWed, 0, "G-EUPT"));
  EXPECT_FALSE(lf_optionMatchesNow(late, kTue, 0, "G-EUPU"));
  EXPECT_FALSE(lf_optionMatchesNow(option(1, kTue, bits({47}), "G-EUPT", 0), kTue, 47, "G-EUPT"));
  EXPECT_FALSE(lf_optionMatchesNow(option(0, kTue, bits({47})), kTue, 47, "G-EUPT"));

  EXPECT_FALSE(lf_optionMatchesNow(late, kTue, 48, "G-EUPT"));
  EXPECT_FALSE(lf_optionMatchesNow(late, 0, 47, "G-EUPT"));
  EXPECT_TRUE(testsupport::logHasLine("===> lf_optionMatchesNow: invalid weekday 2 or half hour 48"));
}

TEST_F(StandOptionTest, StandSizeFitsByHalfWingspan) {
  const auto fits = [](double halfSpanMetres, double standMetres) {
    return gf_standFitsHalfSpan(makeStand(standMetres), gf_metresToNm(halfSpanMetres));
  };
  // 21 m steps above a half wingspan of 17.8 m.
  EXPECT_TRUE(fits(18.0, 25.0));   // 7 / 21 is nearer 0
  EXPECT_FALSE(fits(18.0, 30.0));  // 12 / 21 is nearer 1
  // 14 m steps up to 17.8 m.
  EXPECT_TRUE(fits(10.0, 16.0));   // 6 / 14
  EXPECT_FALSE(fits(10.0, 18.0));  // 8 / 14
  EXPECT_TRUE(fits(17.7, 24.6));   // 6.9 / 14
  EXPECT_FALSE(fits(17.7, 24.8));  // 7.1 / 14
  EXPECT_TRUE(fits(17.8, 28.2));   // 10.4 / 21
  EXPECT_FALSE(fits(17.8, 28.4));  // 10.6 / 21
  // Up to 1.8 m too small still fits.
  EXPECT_TRUE(fits(20.0, 18.25));
  EXPECT_TRUE(fits(20.0, 18.2));
  EXPECT_FALSE(fits(20.0, 18.0));
  EXPECT_FALSE(fits(40.0, 10.0));

  // A stand far larger than any aircraft, and sizes that are not numbers.
  EXPECT_FALSE(gf_standFitsHalfSpan(makeStand(1e300), gf_metresToNm(10.0)));
  EXPECT_FALSE(gf_standFitsHalfSpan(makeStand(20.0), std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(gf_standFitsHalfSpan(makeStand(20.0), -std::numeric_limits<double>::infinity()));
}

}  // namespace
