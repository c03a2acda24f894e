#include "traffic/removals.h"

#include <algorithm>
#include <limits>

#include "airports/stand_lookup.h"
#include "airports/static_placement.h"
#include "app/clock.h"
#include "app/geo.h"
#include "app/log.h"
#include "simlink/sim_link.h"

std::deque<AddRequest> g_liveAddRequests;
std::deque<std::uint32_t> g_removeRequests;

bool lf_removeFromAddingStack(std::deque<AddRequest>& queue, const ParkedAircraft& aircraft) {
  // The hexid too: two aircraft may show the same callsign.
  const auto removed = std::erase_if(queue, [&](const AddRequest& r) {
    return r.callsign == aircraft.identity.callsign && r.hexid == aircraft.identity.hexid;
  });
  return removed > 0;
}

void removeAircraftFromSim(ParkedAircraft& aircraft, std::deque<AddRequest>& addQueue) {
  const bool wasQueued = lf_removeFromAddingStack(addQueue, aircraft);
  switch (aircraft.simState) {
    case SimState::active:
    case SimState::liveryrespawn:
      if (aircraft.objectId != 0) {
        g_removeRequests.push_back(aircraft.objectId);
        aircraft.simState = SimState::removingfromsim;
      } else {
        aircraft.erase = 1;
      }
      break;
    case SimState::adding2sim:
      if (wasQueued) aircraft.erase = 1;
      else aircraft.removeOnceCreated = 1;
      break;
    case SimState::buffer:
      aircraft.erase = 1;
      break;
    case SimState::removingfromsim:
      break;
  }
}

void removeAircraftFromSim(ParkedAircraft& aircraft) { removeAircraftFromSim(aircraft, g_staticAddRequests); }

void removeAircraftFromSim(LiveAircraft& aircraft) {
  if (aircraft.standId != 0) {
    if (Stand* stand = gf_parkStandById(aircraft.standId)) stand->occupied = 0;
  }
  removeAircraftFromSim(static_cast<ParkedAircraft&>(aircraft), g_liveAddRequests);
}

void lf_eraseFlaggedAircraft() {
  std::erase_if(g_staticAircraft, [](const ParkedAircraft& a) { return a.erase != 0; });
  std::erase_if(g_liveAircraft, [](const LiveAircraft& a) { return a.erase != 0; });
}

void lf_removeAllStatics() {
  for (ParkedAircraft& aircraft : g_staticAircraft) removeAircraftFromSim(aircraft);
  std::erase_if(g_staticAircraft, [](const ParkedAircraft& a) { return a.erase != 0; });
}

void lf_enforceMaxLive() {
  const std::int32_t maxLive = g_maxLive.load();
  if (maxLive < 0) return;
  auto isActive = [](const LiveAircraft& a) { return a.simState == SimState::active; };
  auto active = static_cast<std::int64_t>(std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(), isActive));
  const LatLon user = gf_userPosition();
  while (active > maxLive) {
    LiveAircraft* farthest = nullptr;
    double farthestNm = -1.0;
    for (LiveAircraft& a : g_liveAircraft) {
      if (!isActive(a)) continue;
      const double d = gf_distanceNm(user, LatLon{a.position.latitude, a.position.longitude});
      if (d > farthestNm) {
        farthestNm = d;
        farthest = &a;
      }
    }
    if (farthest == nullptr) break;
    removeAircraftFromSim(*farthest);
    --active;
  }
  lf_eraseFlaggedAircraft();
}

void lf_clearStand(const std::string& standName) {
  const auto it = std::find_if(g_parkStands.begin(), g_parkStands.end(),
                               [&](const Stand& s) { return s.name == standName; });
  if (it == g_parkStands.end() || standName.empty()) return;
  const std::uint32_t id = it->id;
  for (ParkedAircraft& aircraft : g_staticAircraft)
    if (aircraft.standId == id) removeAircraftFromSim(aircraft);
  for (LiveAircraft& aircraft : g_liveAircraft)
    if (aircraft.standId == id && aircraft.flightPhase == FlightPhase::parked) removeAircraftFromSim(aircraft);
  lf_eraseFlaggedAircraft();
}

bool gf_isLiveParked(const LiveAircraft& aircraft) {
  return aircraft.flightPhase == FlightPhase::parked && aircraft.simState == SimState::active &&
         aircraft.onGroundConfirmed;
}

void lf_collectLiveParked() {
  g_liveParked.clear();
  for (const LiveAircraft& aircraft : g_liveAircraft)
    if (gf_isLiveParked(aircraft)) g_liveParked.push_back(LiveParked{aircraft.identity.callsign, aircraft.standId});
  std::sort(g_liveParked.begin(), g_liveParked.end());
}

LiveParkedStats lf_liveParkedStats(bool withMean) {
  LiveParkedStats stats;
  const std::int64_t now = gf_utcNowSeconds();
  double sumHours = 0.0;
  for (const LiveAircraft& aircraft : g_liveAircraft) {
    if (!gf_isLiveParked(aircraft)) continue;
    ++stats.count;
    if (aircraft.parkedSinceSeconds > 0 && aircraft.parkedSinceSeconds <= now)
      sumHours += static_cast<double>(now - aircraft.parkedSinceSeconds) / 3600.0;
  }
  if (withMean && stats.count > 0) stats.meanHours = sumHours / stats.count;
  return stats;
}

void lf_removeOldestLiveParked(std::int32_t n) {
  if (n <= 0) return;
  std::vector<LiveAircraft*> parked;
  for (LiveAircraft& aircraft : g_liveAircraft)
    if (gf_isLiveParked(aircraft)) parked.push_back(&aircraft);
  // Longest parked first; an unknown parking time counts as the most recent.
  auto since = [](const LiveAircraft* a) {
    return a->parkedSinceSeconds > 0 ? a->parkedSinceSeconds : std::numeric_limits<std::int64_t>::max();
  };
  std::stable_sort(parked.begin(), parked.end(),
                   [&](const LiveAircraft* a, const LiveAircraft* b) { return since(a) < since(b); });
  const std::size_t count = std::min<std::size_t>(parked.size(), static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < count; ++i) {
    gf_logLine("live parked {} at {} removed", parked[i]->identity.callsign, gf_standNameById(parked[i]->standId));
    removeAircraftFromSim(*parked[i]);
  }
  lf_eraseFlaggedAircraft();
}

void gf_clearTrafficLists() {
  g_liveAircraft.clear();
  g_staticAircraft.clear();
  g_staticAddRequests.clear();
  g_liveAddRequests.clear();
  g_removeRequests.clear();
  g_liveParked.clear();
}
