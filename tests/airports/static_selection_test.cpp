#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/park_airports.h"
#include "airports/static_selection.h"
#include "app/clock.h"
#include "app/files.h"
#include "app/random.h"
#include "app/settings.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using testsupport::logContains;

namespace {

// Monday 7 December 2026, 00:10 UTC.
constexpr std::int64_t kMonday0010 = 1796602200;

StandOption option(std::string reg, std::uint32_t day, std::vector<std::uint32_t> halfHours, bool real = true,
                   std::string type = "A320", std::string callsign = "", std::string callsign2 = "") {
  StandOption o;
  o.airline = "BAW";
  o.type = std::move(type);
  o.registration = std::move(reg);
  o.callsign = callsign.empty() ? "BAW" + o.registration : std::move(callsign);
  o.callsign2 = std::move(callsign2);
  for (const std::uint32_t h : halfHours) o.hours |= std::uint64_t{1} << h;
  o.day = day;
  o.real = real ? 1 : 0;
  return o;
}

// Stands on a line 500 m apart (no two adjacent) unless the test links them.
void addStand(std::vector<StandOption> options, double metresEast = -1.0) {
  const auto n = static_cast<double>(g_parkStands.size());
  const double east = metresEast >= 0.0 ? metresEast : n * 500.0;
  g_parkStands.emplace_back(fmt::format("S{}", g_parkStands.size() + 1), std::move(options),
                            StandPosition{50.0, 8.0 + east / 71500.0, 0.0}, 30.0, 1, 1, 1);
  g_parkStands.back().id = static_cast<std::uint32_t>(g_parkStands.size());
  std::uint32_t id = 1;
  for (StandOption& o : g_parkStands.back().options) o.id = id++;
}

std::vector<std::string> chosen() {
  std::vector<std::string> regs;
  for (const StaticCandidate& c : g_staticCandidates) regs.push_back(fmt::format("{}@{}", c.registration, c.fit));
  return regs;
}

class StaticSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    gf_resetDisplayState();
    prm::RANDOM.set(false);
    prm::CUSTOM_PARKING_PERCENTAGE.set(100);
    g_parkStands.clear();
    g_staticCandidates.clear();
    g_staticAircraft.clear();
    g_liveParked.clear();
    g_liveCallsigns.clear();
    g_reservedStand.clear();
  }
  void TearDown() override {
    lf_cancelSearch();
    g_parkStands.clear();
    g_staticCandidates.clear();
    g_staticAircraft.clear();
    gf_resetParametersToDefaults();
    gf_resetDbaseForTests();
  }

  // Monday 10:00-10:30 (slot 20) unless said otherwise.
  static void calculate(std::int64_t at = kMonday0010 - 600 + 20 * 1800) {
    gf_setFixedClock(at);
    lf_calcStaticParking();
    while (!lf_continueSearch(std::chrono::hours(1))) {
    }
  }
};

TEST_F(StaticSelectionTest, SettingsDecideWhichOptionsCount) {
  struct Row {
    const char* name;
    std::int32_t maxFit;
    bool week;
    bool parkSoft;
    std::vector<std::string> expected;  // placement order: largest fit first
    bool softUsed;
  } rows[] = {
      {"defaults", 47, false, true, {"R2@2", "R1@0", "R4@0"}, true},
      {"MAX_FIT 0", 0, false, true, {"R1@0", "R4@0"}, true},
      {"WEEK", 47, true, true, {"R2@2", "R1@0", "R3@0", "R4@0"}, true},
      {"no soft pass", 47, false, false, {"R2@2", "R1@0"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_parkStands.clear();
    addStand({option("R1", 1, {20})});
    addStand({option("R2", 1, {18})});
    addStand({option("R3", 2, {20})});
    addStand({option("R4", 1, {20}, false)});
    prm::MAX_FIT.set(row.maxFit);
    prm::WEEK.set(row.week);
    prm::PARK_SOFT.set(row.parkSoft);
    calculate();
    EXPECT_THAT(chosen(), ::testing::ElementsAreArray(row.expected));
    EXPECT_EQ(gf_displaySnapshot().softUsed, row.softUsed);
    EXPECT_EQ(gf_staticParkingBusy(), true);
  }
  EXPECT_TRUE(logContains("3 real positions found, Max fit=24 hours, week, hh:20 or 10.5 hrs, fit: 24.5 hour"));
  EXPECT_TRUE(logContains("1 real position found, Max fit=0.5 hours, day 1, hh:20 or 10.5 hrs, fit: 1 hour"));
  EXPECT_TRUE(logContains("3 positions (75% vs wanted 30%, with Max fit=24 hours)"));
}

TEST_F(StaticSelectionTest, MondayJustAfterMidnightLooksAtSundaySlot47) {
  addStand({option("R1", 7, {47})});
  addStand({option("R2", 1, {47})});
  calculate(kMonday0010);
  EXPECT_THAT(chosen(), ElementsAre("R1@1"));
  EXPECT_TRUE(logContains("(utc) It is day 1 (Mon), 0.5 hours"));
}

TEST_F(StaticSelectionTest, OptionsInUseAreSkippedButKeepTheirIds) {
  // S1: heard live with a trailing "_" -> its other option, found one sweep later.
  addStand({option("R1", 1, {20}, true, "A320", "BAW1"), option("R5", 1, {19})});
  // S2: its registration is shown by a static already.
  addStand({option("R2", 1, {20})});
  // S3: a live aircraft with its second callsign is parked.
  addStand({option("R3", 1, {20}, true, "A320", "EZY3", "EZY4")});
  // S4 and S5: with WEEK on, one aircraft on two stands for the same half hour is chosen once.
  addStand({option("R6", 1, {20})});
  addStand({option("R6", 2, {20})});
  g_liveCallsigns.insert("BAW1_");
  g_staticAircraft.emplace_back(AircraftIdentity(LiveAcData{"BAW", "A320", "", "", "X*", "", "", "R2"}), 99,
                                StandPosition{}, 0);
  g_liveParked.push_back(LiveParked{"EZY4", 42});
  prm::WEEK.set(true);
  prm::PARK_SOFT.set(false);
  // As a renewal searches: the live-parked list stays.
  lf_searchRealThenSoft(DaySlot{1, 20}, 5, 0);
  EXPECT_THAT(chosen(), ElementsAre("R6@0", "R5@1"));
  EXPECT_EQ(g_parkStands[0].options[0].id, 1u);  // still in play, so it is saved
}

TEST_F(StaticSelectionTest, AWideNeighbourKeepsWideTypesOffTheStand) {
  testsupport::DbaseBuilder().type("A388", 80.0, "large heavy").type("A320", 36.0, "large").type("B744", 64.0,
                                                                                                  "large heavy")
      .write();
  gf_resetDbaseForTests();
  gf_readDbase();
  for (const char* type : {"A320", "B744"}) {
    SCOPED_TRACE(type);
    g_parkStands.clear();
    g_staticAircraft.clear();
    addStand({option("R1", 1, {20}, true, type)}, 0.0);
    addStand({}, 60.0);
    g_parkStands[0].adjacent = {2};
    g_parkStands[1].adjacent = {1};
    // 40 m + 18 m fit in 60 m; 40 m + 32 m do not.
    auto& s = g_staticAircraft.emplace_back(AircraftIdentity(LiveAcData{"QFA", "A388", "", "", "Q*", "", "", "VH"}),
                                            2, StandPosition{g_parkStands[1].latitude, g_parkStands[1].longitude, 0.0},
                                            0);
    s.simState = SimState::active;
    calculate();
    EXPECT_EQ(g_staticCandidates.size(), std::string(type) == "A320" ? 1u : 0u);
  }
  EXPECT_TRUE(logContains("no parking positions found"));
  EXPECT_FALSE(gf_staticParkingBusy());
}

TEST_F(StaticSelectionTest, ReservedAndUserStandsAreExcludedAndNeighboursBlocked) {
  addStand({option("R1", 1, {20})});
  addStand({option("R2", 1, {20})});
  addStand({option("R3", 1, {20})});
  addStand({option("R4", 1, {20})});
  addStand({option("R5", 1, {20})});
  g_parkStands[2].adjacent = {4};
  g_parkStands[3].adjacent = {3};
  g_reservedStand = "S1";
  gf_setUserStandName("S2");
  calculate();
  EXPECT_THAT(chosen(), UnorderedElementsAre("R3@0", "R5@0"));
  gf_setUserStandName("");
}

TEST_F(StaticSelectionTest, SplitSearchGivesTheSameCandidatesAsOneRunAndIsRepeatable) {
  // 60 stands with several options each over the week.
  const auto build = [] {
    g_parkStands.clear();
    for (std::uint32_t s = 0; s < 60; ++s) {
      std::vector<StandOption> options;
      for (std::uint32_t k = 0; k < 6; ++k) {
        const std::uint32_t day = 1 + (s + k) % 7;
        options.push_back(option(fmt::format("R{}-{}", s, k), day, {(s * 7 + k * 11) % 48, (s * 7 + k * 11 + 1) % 48},
                                 k % 3 != 0));
      }
      addStand(std::move(options));
      if (s % 5 == 1) g_parkStands.back().adjacent = {s};  // the stand before
    }
  };
  prm::CUSTOM_PARKING_PERCENTAGE.set(70);
  build();
  calculate();
  const std::vector<std::string> whole = chosen();
  ASSERT_FALSE(whole.empty());

  build();
  gf_setFixedClock(kMonday0010 - 600 + 20 * 1800);
  lf_calcStaticParking();
  int passes = 0;
  while (!lf_continueSearch(std::chrono::nanoseconds(1))) ++passes;
  EXPECT_GT(passes, 50);
  EXPECT_EQ(chosen(), whole);
}

// One search as a renewal runs it: which options each pass takes, and whether
// an aircraft with a second callsign stays on its stand in the next half hour.
TEST_F(StaticSelectionTest, PassesAndTheAircraftStayingOn) {
  const auto heli = [] { g_parkStands.back().heli = 1; };
  const auto liveParkedOnTheFirstTwo = [] {
    addStand({});
    addStand({});
    g_parkStands[0].selected = 1;
    g_parkStands[1].selected = 1;
  };
  struct Row {
    const char* name;
    DaySlot now;
    std::int32_t wanted;
    std::int32_t occupied;
    bool parkSoft, parkFake, helicopters;
    std::function<void()> stands;
    std::vector<std::string> expected;  // "<registration>@<fit>", "+" when it stays on
    std::int32_t softFit;
  } rows[] = {
      {"the next half hour of the same day", {2, 20}, 2, 0, false, false, false, [] {
         addStand({option("R1", 2, {20, 21}, true, "A320", "BAW1", "BAW2")});
         addStand({option("R2", 2, {20}, true, "A320", "BAW3", "BAW4")});
       }, {"R1@0+", "R2@0-"}, -1},
      {"after half hour 47 the next weekday's half hour 0", {3, 47}, 4, 0, false, false, false, [] {
         addStand({option("R1", 3, {47}, true, "A320", "BAW1", "BAW2"), option("N1", 4, {0})});
         addStand({option("R2", 3, {47}, true, "A320", "BAW3", "BAW4"), option("N2", 4, {0}, true, "B738")});
         addStand({option("R3", 3, {47}, true, "A320", "BAW5", "BAW6"), option("N3", 5, {0})});
         addStand({option("R4", 3, {47}, true, "A320", "BAW7", "BAW8"), option("N4", 4, {1})});
       }, {"R1@0+", "R2@0-", "R3@0-", "R4@0-"}, -1},
      {"Sunday is followed by Monday", {7, 47}, 1, 0, false, false, false, [] {
         addStand({option("R1", 7, {47}, true, "A320", "BAW1", "BAW2"), option("N1", 1, {0})});
       }, {"R1@0+"}, -1},
      {"the half hour after now, not after the one found", {1, 0}, 2, 0, false, false, false, [] {
         addStand({option("R1", 7, {47, 1}, true, "A320", "BAW1", "BAW2")});
         addStand({option("R2", 7, {47}, true, "A320", "BAW3", "BAW4")});
       }, {"R1@1+", "R2@1-"}, -1},
      {"second callsigns heard live", {1, 20}, 3, 0, false, false, false, [] {
         addStand({option("R1", 1, {20}, true, "A320", "BAW1", "BAW2")});
         addStand({option("R2", 1, {20}, true, "A320", "BAW3", "BAW4")});
         addStand({option("R3", 1, {20}, true, "A320", "BAW5")});
         g_liveCallsigns = {"BAW2", "BAW4_"};
       }, {"R3@0+"}, -1},
      {"helicopter stand, HELICOPTERS off", {1, 20}, 2, 0, false, false, false, [&] {
         addStand({option("R1", 1, {20})});
         heli();
         addStand({option("R2", 1, {20})});
       }, {"R2@0+"}, -1},
      {"helicopter stand, HELICOPTERS on", {1, 20}, 2, 0, false, false, true, [&] {
         addStand({option("R1", 1, {20})});
         heli();
         addStand({option("R2", 1, {20})});
       }, {"R1@0+", "R2@0+"}, -1},
      {"PARK_FAKE alone starts the soft pass", {1, 20}, 2, 0, false, true, false, [] {
         addStand({option("R1", 1, {20})});
         addStand({option("S2", 1, {20}, false)});
       }, {"R1@0+", "S2@0+"}, 0},
      {"neither PARK_SOFT nor PARK_FAKE", {1, 20}, 2, 0, false, false, false, [] {
         addStand({option("R1", 1, {20})});
         addStand({option("S2", 1, {20}, false)});
       }, {"R1@0+"}, -1},
      {"parked live aircraft: wanted minus occupied, no soft pass", {1, 20}, 4, 2, true, false, false,
       [&] {
         liveParkedOnTheFirstTwo();
         for (const char* reg : {"R3", "R4", "R5"}) addStand({option(reg, 1, {20})});
         addStand({option("S6", 1, {20}, false)});
       }, {"R3@0+", "R4@0+"}, -1},
      {"parked live aircraft: the soft pass fills up", {1, 20}, 5, 2, true, false, false,
       [&] {
         liveParkedOnTheFirstTwo();
         addStand({option("R3", 1, {20})});
         addStand({option("S4", 1, {20}, false)});
         addStand({option("S5", 1, {20}, false)});
         addStand({option("S6", 1, {20}, false)});
       }, {"R3@0+", "S4@0+", "S5@0+"}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_parkStands.clear();
    g_staticCandidates.clear();
    g_liveCallsigns.clear();
    prm::PARK_SOFT.set(row.parkSoft);
    prm::PARK_FAKE.set(row.parkFake);
    prm::HELICOPTERS.set(row.helicopters);
    row.stands();
    lf_searchRealThenSoft(row.now, row.wanted, row.occupied);
    std::vector<std::string> found;
    for (const StaticCandidate& c : g_staticCandidates)
      found.push_back(fmt::format("{}@{}{}", c.registration, c.fit, c.staysOn != 0 ? "+" : "-"));
    EXPECT_EQ(found, row.expected);
    EXPECT_EQ(g_softPassFit, row.softFit);
  }
}

TEST_F(StaticSelectionTest, RenumberingMovesStaysWithTheirOptions) {
  addStand({option("R1", 1, {20}), option("R2", 1, {20}), option("R3", 1, {21})});
  Stand& stand = g_parkStands[0];
  stand.options[0].id = 0;  // put out of play
  stand.options[1].id = 5;
  stand.options[2].id = 9;
  stand.realStays[100] = StandStay{1, 20, 9};
  stand.softStays[200] = StandStay{1, 20, 5};
  stand.realStays[300] = StandStay{1, 20, 7};  // its option is gone
  lf_renumberStandOptions(stand);
  EXPECT_EQ(stand.options[0].id, 1u);
  EXPECT_EQ(stand.options[1].id, 2u);
  EXPECT_EQ(stand.options[2].id, 3u);
  EXPECT_EQ(stand.realStays[100].optionId, 3u);
  EXPECT_EQ(stand.softStays[200].optionId, 2u);
  EXPECT_EQ(stand.realStays[300].optionId, 0u);
}

}  // namespace

namespace {

// A static of the given registration shown on a stand, from its option's callsign.
void showStatic(std::uint32_t standId, const std::string& registration) {
  g_staticAircraft.emplace_back(
      AircraftIdentity(LiveAcData{"BAW", "A320", "", "", "BAW" + registration + "*", "BAW" + registration, "",
                                  registration}),
      standId, StandPosition{}, 0);
  g_staticAircraft.back().simState = SimState::active;
}

}  // namespace

// The last sweep of the widening, the option a static already shows, and
// an aircraft chosen earlier under its second callsign.
TEST_F(StaticSelectionTest, TheLastFitTheShownStaticAndSecondCallsignsDecide) {
  const struct {
    const char* name;
    std::int32_t maxFit;
    bool random;
    std::function<void()> setUp;
    std::vector<std::string> expected;
  } rows[] = {
      {"MAX_FIT 1 sweeps at fit 1", 1, false,
       [] {
         addStand({option("R1", 1, {19})});
         addStand({option("R2", 1, {18})});
       },
       {"R1@1"}},
      {"MAX_FIT 2 sweeps at fit 2", 2, false,
       [] {
         addStand({option("R1", 1, {19})});
         addStand({option("R2", 1, {18})});
       },
       {"R2@2", "R1@1"}},
      // The option the static shows is in use: the stand keeps the static
      // instead of getting the other aircraft.
      {"with RANDOM the shown static's option goes first", 0, true,
       [] {
         addStand({option("RA", 1, {20}), option("RB", 1, {20})});
         showStatic(1, "RB");
       },
       {}},
      {"without RANDOM the options keep their order", 0, false,
       [] {
         addStand({option("RA", 1, {20}), option("RB", 1, {20})});
         showStatic(1, "RB");
       },
       {"RA@0"}},
      {"a candidate's callsign is another option's second callsign", 1, false,
       [] {
         addStand({option("R1", 1, {20}, true, "A320", "BAW100")});
         addStand({option("R2", 1, {19}, true, "A320", "EZY5", "BAW100")});
       },
       {"R1@0"}},
      // Options without a registration are told apart by their callsigns
      // only: one chosen earlier, one of the same sweep, a static's.
      {"no registration is no aircraft", 1, false,
       [] {
         addStand({option("", 1, {19}, true, "A320", "BAW1")});
         addStand({option("", 1, {20}, true, "A320", "BAW2")});
         addStand({option("", 1, {20}, true, "A320", "BAW3")});
         g_staticAircraft.emplace_back(AircraftIdentity(LiveAcData{"BAW", "A320", "", "", "BAW9*", "BAW9", "", ""}),
                                       99, StandPosition{}, 0);
       },
       {"@1", "@0", "@0"}},
  };
  for (const auto& row : rows) {
    // Several draws, so that a shuffle in place of a rule shows.
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
      SCOPED_TRACE(fmt::format("{}, seed {}", row.name, seed));
      g_parkStands.clear();
      g_staticCandidates.clear();
      g_staticAircraft.clear();
      prm::MAX_FIT.set(row.maxFit);
      prm::RANDOM.set(row.random);
      gf_seedRng(seed);
      row.setUp();
      calculate();
      EXPECT_THAT(chosen(), ::testing::ElementsAreArray(row.expected));
    }
  }
}
