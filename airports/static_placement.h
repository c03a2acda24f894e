// The static parking's placement and renewal: the candidates of the selection
// become static aircraft in the simulator, one every 50 ticks; every 20
// minutes the selection is renewed, keeping the statics that may stay; and
// leaving the park airport removes everything. Traffic (run) thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "airports/static_candidate.h"
#include "airports/stands.h"
#include "app/clock.h"

// The hexid of the last static placed: statics count 1, 2, ... 9999, 0, 1 ...
extern std::uint32_t g_staticCounter;

// Places the last candidate (called once per 50 ticks by the traffic tick):
// dropped when a parked or parking live aircraft, or any static, stands on
// its stand or an adjacent one, or when no installed livery fits; else a
// static in "adding2sim" with its creation request queued.
void lf_placeStaticAircraft();

// The callsign a static shows: the callsign while the aircraft stays on the
// stand, else its second (departure) callsign, the other one when that is
// empty; trailing "_" stripped and "*" appended unless it ends in "*".
std::string lf_detcs(const StaticCandidate& candidate);
// A learned callsign as a static shows it: trailing "_" stripped and "*"
// appended unless it ends in "*" (nothing left stays empty).
std::string lf_shownCallsign(std::string callsign);

// The statics that are "active" or "removingfromsim"; withMean (and WEEK
// off): also the window's mean parked time of the statics in hours.
std::int32_t lf_staticParkedStats(bool withMean);

// A static that stays at a renewal.
struct ParkingAdjustment {
  std::string callsign;  // the callsign it shows
  std::string sourceCallsign;
  std::string sourceCallsign2;
  std::string registration;
  std::string airline;
  std::string type;
  DaySlot parkingStart{};
  std::uint32_t standId = 0;
  std::uint8_t reAdd = 0;  // removed and placed again (with its departure callsign)
};
extern std::vector<ParkingAdjustment> g_parkingAdjustments;

// A static to remove at the end of a renewal.
struct StaticRemoval {
  std::string callsign;
  std::uint32_t standId = 0;
};
extern std::vector<StaticRemoval> g_staticRemovals;

// The 20-minute renewal (prepared 15 s earlier by the main loop's handshake):
// the selection is searched anew around the parked live aircraft (spread
// over main-loop passes); then the statics that may stay are kept, the
// others removed, the new candidates queued for placement, all trimmed to
// the wanted count. Nothing while no park airport with stands is loaded.
void lf_parkingAdjustments();
// The part after the search (steps that match, trim and remove).
void lf_finishParkingAdjustments(const DaySlot& now, std::int32_t wanted);

// Removes every static and every live aircraft on the ground, and unloads
// the park airport (saving what it learned first).
void lf_removeAllParked();

// The stand of g_parkStands with this id; nullptr when none has it.
Stand* gf_parkStandById(std::uint32_t id);

