#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "airports/static_placement.h"
#include "airports/static_selection.h"
#include "airports/airport_list.h"
#include "airports/parking_controls.h"
#include "app/clock.h"
#include "app/settings.h"
#include "traffic/removals.h"
#include "ui/status_line.h"

namespace {

// Wednesday 2026-01-07 12:00 UTC: weekday 3, half hour 24.
constexpr std::int64_t kNow = 1767787200;
constexpr DaySlot kNowSlot{3, 24};

class StaticRenewalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_setFixedClock(kNow);
    ASSERT_EQ(gf_daySlotNow(), kNowSlot);
    gf_clearTrafficLists();
    g_staticCandidates.clear();
    g_parkingAdjustments.clear();
    g_staticRemovals.clear();
    g_liveCallsigns.clear();
    g_realPassFit = 4;
    g_softPassFit = -1;
    // Stands 1..20 far apart, none adjacent.
    for (std::uint32_t id = 1; id <= 20; ++id) {
      g_parkStands.emplace_back("S" + std::to_string(id), std::vector<StandOption>{},
                                StandPosition{50.0 + 0.01 * id, 8.0, 0.0}, 40.0, 1, 1, 1);
      g_parkStands.back().id = id;
    }
  }
  void TearDown() override {
    gf_clearTrafficLists();
    g_staticCandidates.clear();
    g_parkingAdjustments.clear();
    g_liveCallsigns.clear();
    g_parkStands.clear();
    g_parkAirport = AirportRec{};
    g_maxLive = 500;
    lf_cancelSearch();
    lf_enableParkingControls();
    prm::CUSTOM_PARKING_PERCENTAGE.set(prm::CUSTOM_PARKING_PERCENTAGE.defaultValue());
    gf_setFixedClock(std::nullopt);
  }

  // An active static on its stand, arrived `ago` half hours before now, whose
  // stand still has its learned option for the current half hour.
  static void addStatic(std::uint32_t standId, const std::string& callsign, std::int64_t ago) {
    Stand& stand = g_parkStands[standId - 1];
    StandOption option;
    option.airline = "BAW";
    option.type = "A320";
    option.registration = "G-" + callsign;
    option.callsign = callsign;
    option.day = kNowSlot.day;
    option.hours = std::uint64_t{1} << kNowSlot.slot;
    option.id = 1;
    option.real = 1;
    stand.options.push_back(option);
    AircraftIdentity identity(LiveAcData{"BAW", "A320", "", "", callsign + "*", callsign, "", "G-" + callsign});
    identity.hexid = standId;
    ParkedAircraft aircraft(std::move(identity), standId, StandPosition{stand.latitude, stand.longitude, 0.0}, 0);
    aircraft.simState = SimState::active;
    aircraft.objectId = 100 + standId;
    aircraft.parkingStart = gf_halfHoursBefore(kNowSlot, ago);
    g_staticAircraft.push_back(std::move(aircraft));
  }
  static void addLiveParked(std::uint32_t standId, const std::string& callsign) {
    LiveAircraft live(AircraftIdentity(LiveAcData{"DLH", "A320", "", "", callsign, "", "", ""}));
    live.simState = SimState::active;
    live.flightPhase = FlightPhase::parked;
    live.onGroundConfirmed = true;
    live.standId = standId;
    live.objectId = 500 + standId;
    g_liveAircraft.push_back(std::move(live));
  }
  static StaticCandidate candidate(std::uint32_t standId, std::uint32_t fit) {
    StaticCandidate c;
    c.standId = standId;
    c.fit = fit;
    c.airline = "EZY";
    c.type = "A320";
    c.callsign = "EZY" + std::to_string(standId);
    return c;
  }
};

TEST_F(StaticRenewalTest, TheTrimDropsNewCandidatesThenTheLongestStandingStatics) {
  // 10 wanted; 8 statics may stay, 4 live aircraft are parked, 3 new candidates.
  for (std::uint32_t i = 1; i <= 8; ++i) addStatic(i, "BAW" + std::to_string(i), i);
  for (std::uint32_t i = 9; i <= 12; ++i) addLiveParked(i, "DLH" + std::to_string(i));
  lf_collectLiveParked();
  g_staticCandidates = {candidate(13, 0), candidate(14, 1), candidate(15, 2)};

  lf_finishParkingAdjustments(kNowSlot, 10);

  EXPECT_TRUE(g_staticCandidates.empty());
  EXPECT_EQ(g_parkingAdjustments.size(), 6u);
  // The two that stood longest (stands 8 and 7) go; the live aircraft stay.
  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{108, 107}));
  EXPECT_EQ(gf_statusSnapshot().status, "Parking adjustments: 2 to be removed, 0 to be added");
  for (const LiveAircraft& live : g_liveAircraft) EXPECT_EQ(live.simState, SimState::active);
}

TEST_F(StaticRenewalTest, StaticsHeardLiveOrNoLongerLearnedGoAndNewerCandidatesTakeTheirStands) {
  addStatic(1, "BAW1", 2);
  addStatic(2, "BAW2", 2);
  addStatic(3, "BAW3", 30);  // its option covers now, but it arrived before the candidate
  addStatic(4, "BAW4", 1);   // a candidate that arrived earlier does not replace it
  addStatic(5, "BAW5", 2);
  g_parkStands[4].options[0].hours = std::uint64_t{1} << (kNowSlot.slot - 10);  // learned outside the window
  g_liveCallsigns.insert("BAW2_");  // heard in the feed with a trailing "_"
  g_staticCandidates = {candidate(3, 5), candidate(4, 3)};

  lf_finishParkingAdjustments(kNowSlot, 10);

  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{102, 103, 105}));
  ASSERT_EQ(g_staticCandidates.size(), 1u);
  EXPECT_EQ(g_staticCandidates[0].standId, 3u);
  ASSERT_EQ(g_parkingAdjustments.size(), 2u);
  EXPECT_EQ(g_parkingAdjustments[0].standId, 4u);  // the most recent arrival first
  EXPECT_EQ(g_parkingAdjustments[1].standId, 1u);
}

// Without a new candidate for its place, a static stays while its aircraft is
// not heard live and its stand still has it within the searched window.
TEST_F(StaticRenewalTest, AStaticWithoutRivalStaysWhileLearnedWithinTheWindowAndNotHeardLive) {
  struct Row {
    const char* name;
    DaySlot now;
    std::uint32_t realFit;
    std::int32_t softFit;
    std::uint32_t day, halfHour;  // of the stand's option
    const char* heard;
    bool kept;
  } rows[] = {
      {"within the window", {3, 24}, 4, -1, 3, 20, "", true},
      {"before the window", {3, 24}, 4, -1, 3, 19, "", false},
      {"the soft pass reached further", {3, 24}, 2, 4, 3, 20, "", true},
      {"the day's window ends at half hour 0", {1, 2}, 4, -1, 1, 0, "", true},
      {"the day before Monday is Sunday", {1, 2}, 4, -1, 7, 46, "", true},
      {"Sunday, before the window", {1, 2}, 4, -1, 7, 45, "", false},
      {"Saturday is not the day before", {1, 2}, 4, -1, 6, 46, "", false},
      {"a window of at most 47 half hours", {3, 24}, 48, -1, 2, 24, "", false},
      {"heard live by its callsign", {3, 24}, 4, -1, 3, 24, "BAW1", false},
      {"heard live by its second callsign", {3, 24}, 4, -1, 3, 24, "BAW2_", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    gf_clearTrafficLists();
    g_parkingAdjustments.clear();
    g_parkStands[0].options.clear();
    g_liveCallsigns = {row.heard};
    g_realPassFit = row.realFit;
    g_softPassFit = row.softFit;
    addStatic(1, "BAW1", 2);
    StandOption& option = g_parkStands[0].options[0];
    option.callsign.clear();  // no callsign switch
    option.day = row.day;
    option.hours = std::uint64_t{1} << row.halfHour;
    g_staticAircraft[0].identity.sourceCallsign2 = "BAW2";

    lf_finishParkingAdjustments(row.now, 10);

    EXPECT_EQ(g_parkingAdjustments.size(), row.kept ? 1u : 0u);
    EXPECT_EQ(g_removeRequests, row.kept ? std::deque<std::uint32_t>{} : std::deque<std::uint32_t>{101});
  }
}

TEST_F(StaticRenewalTest, AStaticLeavingInTheNextHalfHourComesBackWithItsDepartureCallsign) {
  addStatic(1, "BAW1", 3);
  ParkedAircraft& s = g_staticAircraft[0];
  s.identity.sourceCallsign2 = "BAW2";
  g_parkStands[0].options[0].callsign2 = "BAW2";  // bit 25 not set: gone in the next half hour

  lf_finishParkingAdjustments(kNowSlot, 10);

  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{101}));
  ASSERT_EQ(g_staticCandidates.size(), 1u);
  const StaticCandidate& again = g_staticCandidates[0];
  EXPECT_EQ(again.standId, 1u);
  EXPECT_EQ(again.fit, 3u);  // placed again with its first arrival time
  EXPECT_EQ(again.staysOn, 0);
  EXPECT_EQ(lf_detcs(again), "BAW2*");
  EXPECT_TRUE(g_parkingAdjustments.empty());
}

TEST_F(StaticRenewalTest, RemoveAllTakesStaticsAndGroundTrafficAndUnloadsTheAirport) {
  g_parkAirport.icao = "EGLL";
  addStatic(1, "BAW1", 2);
  addLiveParked(2, "DLH2");
  g_parkStands[1].occupied = 1;
  addLiveParked(3, "DLH3");
  g_liveAircraft.back().flightPhase = FlightPhase::taxi;
  addLiveParked(0, "DLH4");
  g_liveAircraft.back().flightPhase = FlightPhase::flying;
  g_staticCandidates = {candidate(5, 0)};
  g_maxLive = 7;  // set while the parking was busy; MAX_LIVE_SEL is in force again

  lf_removeAllParked();

  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{101, 502, 503}));
  EXPECT_TRUE(g_staticCandidates.empty());
  EXPECT_EQ(g_liveAircraft[0].standId, 0u);
  EXPECT_EQ(g_liveAircraft[2].simState, SimState::active);  // flying: stays
  EXPECT_TRUE(g_parkAirport.icao.empty());
  EXPECT_TRUE(g_parkStands.empty());
  EXPECT_EQ(g_maxLive.load(), prm::MAX_LIVE_SEL.value());
}

// A static is the same aircraft as a learned one only with its type too: at
// its stand's new candidate, and in its stand's options.
TEST_F(StaticRenewalTest, TheTypeIsPartOfTheSameAircraft) {
  const struct {
    const char* name;
    const char* candidateType;  // of a candidate for the static's stand arrived now; "" none
    const char* optionType;     // of the stand's learned option
    DaySlot now;
    DaySlot learned;  // the option's weekday and half hour
    bool kept;
  } rows[] = {
      {"its candidate, the same aircraft", "A320", "A320", kNowSlot, kNowSlot, true},
      {"its candidate as another type", "A321", "A320", kNowSlot, kNowSlot, false},
      {"learned here", "", "A320", kNowSlot, kNowSlot, true},
      {"learned here only as another type", "", "A321", kNowSlot, kNowSlot, false},
      {"learned here the day before", "", "A320", {3, 1}, {2, 46}, true},
      {"learned here the day before only as another type", "", "A321", {3, 1}, {2, 46}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    gf_clearTrafficLists();
    g_parkingAdjustments.clear();
    g_staticCandidates.clear();
    g_parkStands[0].options.clear();
    addStatic(1, "BAW1", 2);
    StandOption& option = g_parkStands[0].options[0];
    option.type = row.optionType;
    option.day = row.learned.day;
    option.hours = std::uint64_t{1} << row.learned.slot;
    if (*row.candidateType != 0) {
      StaticCandidate c = candidate(1, 0);
      c.airline = "BAW";
      c.type = row.candidateType;
      c.callsign = "BAW1";
      g_staticCandidates = {c};
    }

    lf_finishParkingAdjustments(row.now, 10);

    EXPECT_EQ(g_parkingAdjustments.size(), row.kept ? 1u : 0u);
    EXPECT_EQ(g_removeRequests, row.kept ? std::deque<std::uint32_t>{} : std::deque<std::uint32_t>{101});
    // A candidate that is the static is dropped; another one takes the stand.
    EXPECT_EQ(g_staticCandidates.size(), *row.candidateType != 0 && !row.kept ? 1u : 0u);
  }
}

// What the last search and the removals left behind holds nothing back: the
// stand the last search blocked beside its choice is searched again, and a
// static still being removed is no rival for its stand's new candidate.
TEST_F(StaticRenewalTest, NeitherOldBlockedMarksNorStaticsBeingRemovedHoldBackNewCandidates) {
  g_parkAirport.icao = "EGLL";
  prm::CUSTOM_PARKING_PERCENTAGE.set(10);  // 2 of the 20 stands
  addStatic(1, "BAW1", 2);
  g_parkStands[0].adjacent = {2};
  g_parkStands[1].adjacent = {1};
  StaticCandidate beside = candidate(2, 0);
  g_parkStands[1].options.push_back(StandOption{});
  StandOption& option = g_parkStands[1].options.back();
  option.airline = beside.airline;
  option.type = beside.type;
  option.callsign = beside.callsign;
  option.day = kNowSlot.day;
  option.hours = std::uint64_t{1} << kNowSlot.slot;
  option.real = 1;
  // As the last search left them: the static's stand chosen, its neighbour blocked.
  g_parkStands[0].selected = 1;
  g_parkStands[1].blocked = 1;

  lf_parkingAdjustments();
  while (!lf_continueSearch(std::chrono::hours(1))) {
  }

  ASSERT_EQ(g_staticCandidates.size(), 1u);
  EXPECT_EQ(g_staticCandidates[0].standId, 2u);
  ASSERT_EQ(g_parkingAdjustments.size(), 1u);
  EXPECT_EQ(g_parkingAdjustments[0].standId, 1u);

  // The same aircraft found again for the stand of a static on its way out.
  gf_clearTrafficLists();
  g_parkingAdjustments.clear();
  addStatic(3, "BAW3", 2);
  g_staticAircraft[0].simState = SimState::removingfromsim;
  StaticCandidate again = candidate(3, 0);
  again.airline = "BAW";
  again.callsign = "BAW3";
  g_staticCandidates = {again};

  lf_finishParkingAdjustments(kNowSlot, 10);

  EXPECT_TRUE(g_parkingAdjustments.empty());
  ASSERT_EQ(g_staticCandidates.size(), 1u);
  EXPECT_EQ(g_staticCandidates[0].standId, 3u);
}

}  // namespace
