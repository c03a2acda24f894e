// The 16-second step of the static parking and the "Re-read" check of the
// park airports list.
#include <algorithm>
#include <cmath>
#include <optional>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_find.h"
#include "airports/park_switch.h"
#include "airports/parking_controls.h"
#include "airports/static_candidate.h"
#include "airports/static_placement.h"
#include "airports/static_selection.h"
#include "app/clock.h"
#include "app/log.h"
#include "app/settings.h"
#include "simlink/sim_link.h"
#include "traffic/removals.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

namespace {

// A user position this close to 0/0 means no data yet.
constexpr double kNoPositionDegrees = 0.0001;
// Two positions this close count as the same.
constexpr double kSamePositionDegrees = 1e-8;

// The position the list's distances were computed for.
std::optional<LatLon> g_sortedAt;

void lf_updateDistances(const LatLon& user) {
  if (g_parkAirports.empty()) return;
  const bool same = g_sortedAt && std::fabs(g_sortedAt->latitude - user.latitude) <= kSamePositionDegrees &&
                    std::fabs(g_sortedAt->longitude - user.longitude) <= kSamePositionDegrees;
  if (same) {
    ParkAirportEntry& first = g_parkAirports.front();
    first.distance = gf_distanceNm(user, first.pos);
    return;
  }
  g_sortedAt = user;
  // The distances are true even while a destination is set: a destination
  // entry made at distance 0 must not count as in sight at its next step,
  // which would load it, unload it as out of sight and load it again.
  for (ParkAirportEntry& entry : g_parkAirports) entry.distance = gf_distanceNm(user, entry.pos);
  // While a destination is set, its entry stays first.
  if (!prm::DESTINATION.value().empty()) return;
  // std::list::sort is stable.
  g_parkAirports.sort([](const ParkAirportEntry& a, const ParkAirportEntry& b) { return a.distance < b.distance; });
}

bool lf_inSight(double distanceNm, double heightAboveGround) {
  return distanceNm <= prm::AIRP_RANGE.value() && heightAboveGround <= prm::AIRP_HEIGHT.value();
}

}  // namespace

void lf_staticParkingStep(bool firstTime) {
  if (firstTime) g_sortedAt.reset();
  // 1. Every candidate placed: the busy state ends.
  if (gf_staticParkingBusy() && g_staticCandidates.empty() && !lf_searchRunning() && !lf_parkFileReadPending()) {
    lf_enableParkingControls();
    gf_clearStatus();
    lf_staticParkedStats(true);
    lf_liveParkedStats(true);
  }
  // A read under way is taken in by the per-pass work.
  if (lf_parkFileReadPending()) return;
  // 2. A park airport was chosen at the last step: read it.
  if (g_parkReloadRequest) {
    gf_clearStatus();
    g_parkReloadRequest = false;
    lf_readParkedFile();
    return;
  }
  // 3. No position yet.
  const LatLon user = gf_userPosition();
  if (std::fabs(user.latitude) < kNoPositionDegrees && std::fabs(user.longitude) < kNoPositionDegrees) return;
  // 4. The list in order of distance.
  lf_updateDistances(user);
  // 5.
  if (!g_parkAirport.icao.empty()) {
    lf_parkAirportInSight(user);
  } else {
    lf_userAircraftAirport(user, firstTime);
  }
}

void lf_userAircraftAirport(const LatLon& user, bool firstTime) {
  if (g_userOnGround.get().onGround) {
    bool undecided = false;
    const AirportRec* airport = gf_findClosestAirport(user, &undecided);
    // A neighbour's park file still on its way: the choice is made at the next step.
    if (undecided) return;
    if (airport == nullptr) {
      gf_showStatus("User aircraft on the ground, no airport in sight", true);
      return;
    }
    const std::string icao = airport->icao;
    if (gf_ensureStockApf(icao)) {
      gf_logLine("User aircraft on the ground at {}", icao);
      if (!lf_setParkAirport(icao)) return;
      g_parkReloadRequest = true;
      lf_startCalculation(firstTime);
    } else if (!gf_apfFetchPending(icao)) {
      // (While the server is still asked, the next step asks again.)
      gf_showStatus(fmt::format("User aircraft on the ground at {}, no airport file found", icao), true);
    }
    return;
  }
  gf_enableControl(prm::DESTINATION.controlId(), true);
  if (g_parkAirports.empty()) return;
  const ParkAirportEntry first = g_parkAirports.front();
  if (lf_inSight(first.distance, g_userAircraft.get().altitudeAboveGround) && lf_setParkAirport(first.icao)) {
    gf_showStatus(fmt::format("{} in sight at {:.1F} nm", first.icao, first.distance), true);
    g_parkReloadRequest = true;
    lf_startCalculation(false);
  }
}

void lf_parkAirportInSight(const LatLon& user) {
  if (g_userOnGround.get().onGround) return;
  const double height = g_userAircraft.get().altitudeAboveGround;
  const double distance = gf_distanceNm(user, LatLon{g_parkAirport.latitude, g_parkAirport.longitude});
  if (!lf_inSight(distance, height)) {
    gf_logLine("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_simNowHms(),
               gf_airportDisplayName(g_parkAirport), distance);
    lf_removeAllParked();
    return;
  }
  if (g_parkAirports.empty() || g_parkAirports.front().icao == g_parkAirport.icao) return;
  const ParkAirportEntry& first = g_parkAirports.front();
  if (lf_inSight(first.distance, height) && distance >= first.distance) {
    gf_logLine("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first", gf_simNowHms(),
               first.icao, first.distance, gf_airportDisplayName(g_parkAirport));
    lf_removeAllParked();
  }
}

bool lf_checkParkAirports(bool checkStand, std::string& text) {
  if (!lf_readMyParkAirports()) return false;
  // The list is in file order now: the next step sorts it again.
  g_sortedAt.reset();
  text.clear();
  if (checkStand && g_userOnGround.get().valid && !gf_staticParkingBusy() && !g_parkAirports.empty() &&
      !g_parkAirport.icao.empty() && g_parkAirports.front().icao == g_parkAirport.icao && gf_userStandName().empty()) {
    const std::string& stand = g_parkAirports.front().stand;
    if (stand != g_reservedStand) {
      text = fmt::format("reserved stand changed from '{}' to '{}'", g_reservedStand, stand);
      bool found = false;
      for (Stand& s : g_parkStands) {
        if (s.name == g_reservedStand) s.excluded = 0;
      }
      g_reservedStand = stand;
      if (!stand.empty()) lf_clearStand(stand);
      for (Stand& s : g_parkStands) {
        if (!stand.empty() && s.name == stand) {
          s.excluded = 1;
          found = true;
        }
      }
      gf_setReservedStand(stand, found);
    }
  }
  if (text.empty()) text = "park airports and stands are okay";
  return true;
}
