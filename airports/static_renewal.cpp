// The 20-minute renewal of the statics and the removal of everything parked.

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "airports/park_switch.h"
#include "airports/parking_controls.h"
#include "airports/stand_lookup.h"
#include "airports/static_placement.h"
#include "airports/static_selection.h"
#include "app/geo.h"
#include "app/log.h"
#include "app/settings.h"
#include "traffic/removals.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

std::vector<ParkingAdjustment> g_parkingAdjustments;
std::vector<StaticRemoval> g_staticRemovals;

namespace {

constexpr std::int32_t kLastSlot = static_cast<std::int32_t>(kSlotsPerDay) - 1;

bool lf_hasBit(std::uint64_t hours, std::int32_t slot) {
  return slot >= 0 && slot <= kLastSlot && ((hours >> slot) & 1U) != 0;
}

ParkingAdjustment lf_adjustment(const ParkedAircraft& s) {
  const AircraftIdentity& id = s.identity;
  return ParkingAdjustment{id.callsign, id.sourceCallsign, id.sourceCallsign2, id.registration, id.airline,
                           id.type,     s.parkingStart,   s.standId,         0};
}

void lf_toRemoval(const ParkedAircraft& s) { g_staticRemovals.push_back(StaticRemoval{s.identity.callsign, s.standId}); }

// The half hours the static has stood, and the candidate would have stood, until now.
std::int32_t lf_stoodFor(const ParkedAircraft& s, const DaySlot& now) { return gf_halfHoursBetween(s.parkingStart, now); }

// A static and a new candidate for the same place: the one that arrived later wins.
void lf_keepOrRemoveStatic(const ParkedAircraft& s, std::vector<StaticCandidate>::iterator candidate,
                           const DaySlot& now) {
  if (static_cast<std::int64_t>(candidate->fit) < lf_stoodFor(s, now)) {
    lf_toRemoval(s);
  } else {
    g_parkingAdjustments.push_back(lf_adjustment(s));
    g_staticCandidates.erase(candidate);
  }
}

// The static's stand still has its aircraft within the last w half hours.
bool lf_stillLearnedHere(const ParkedAircraft& s, const DaySlot& now, std::int32_t w) {
  const Stand* stand = gf_parkStandById(s.standId);
  if (stand == nullptr) return false;
  const auto slot = static_cast<std::int32_t>(now.slot);
  const std::uint32_t previousDay = now.day == 1 ? 7 : now.day - 1;
  for (const StandOption& o : stand->options) {
    if (o.airline != s.identity.airline || o.type != s.identity.type || o.registration != s.identity.registration)
      continue;
    if (o.day == now.day)
      for (std::int32_t t = slot; t >= std::max(slot - w, 0); --t)
        if (lf_hasBit(o.hours, t)) return true;
  }
  if (slot - w >= 0) return false;
  for (const StandOption& o : stand->options) {
    if (o.airline != s.identity.airline || o.type != s.identity.type || o.registration != s.identity.registration ||
        o.day != previousDay)
      continue;
    for (std::int32_t t = kLastSlot; t >= static_cast<std::int32_t>(kSlotsPerDay) + slot - w; --t)
      if (lf_hasBit(o.hours, t)) return true;
  }
  return false;
}

void lf_matchStatics(const DaySlot& now) {
  const std::int32_t w = std::clamp<std::int32_t>(
      std::max<std::int32_t>(static_cast<std::int32_t>(g_realPassFit), g_softPassFit), 0, kLastSlot);
  for (const ParkedAircraft& s : g_staticAircraft) {
    if (s.simState != SimState::active) continue;
    // Flying or taxiing live: the static must go.
    if (lf_heardLive(s.identity.sourceCallsign) || lf_heardLive(s.identity.sourceCallsign2)) {
      lf_toRemoval(s);
      continue;
    }
    const auto own = std::find_if(g_staticCandidates.begin(), g_staticCandidates.end(),
                                  [&](const StaticCandidate& c) { return c.standId == s.standId; });
    if (own != g_staticCandidates.end()) {
      const bool same = own->airline == s.identity.airline && own->type == s.identity.type &&
                        ((!own->callsign.empty() && lf_shownCallsign(own->callsign) == s.identity.callsign) ||
                         (!own->callsign2.empty() && lf_shownCallsign(own->callsign2) == s.identity.callsign));
      if (same) {
        g_parkingAdjustments.push_back(lf_adjustment(s));
        g_staticCandidates.erase(own);
      } else {
        lf_keepOrRemoveStatic(s, own, now);
      }
      continue;
    }
    const Stand* stand = gf_parkStandById(s.standId);
    auto beside = g_staticCandidates.end();
    if (stand != nullptr) {
      beside = std::find_if(g_staticCandidates.begin(), g_staticCandidates.end(), [&](const StaticCandidate& c) {
        if (std::find(stand->adjacent.begin(), stand->adjacent.end(), c.standId) == stand->adjacent.end())
          return false;
        const Stand* other = gf_parkStandById(c.standId);
        return other != nullptr && gf_halfWingspan(s.identity.type) + gf_halfWingspan(c.type) >
                                       gf_distanceNm(LatLon{s.latitude, s.longitude},
                                                     LatLon{other->latitude, other->longitude});
      });
    }
    if (beside != g_staticCandidates.end()) {
      lf_keepOrRemoveStatic(s, beside, now);
    } else if (lf_stillLearnedHere(s, now, w)) {
      g_parkingAdjustments.push_back(lf_adjustment(s));
    } else {
      lf_toRemoval(s);
    }
  }
  // Most recent arrival first, so that the trim drops those that stood longest.
  std::stable_sort(g_parkingAdjustments.begin(), g_parkingAdjustments.end(),
                   [&](const ParkingAdjustment& a, const ParkingAdjustment& b) {
                     return gf_halfHoursBetween(a.parkingStart, now) < gf_halfHoursBetween(b.parkingStart, now);
                   });
  // A static still showing its arrival callsign switches to its departure
  // callsign when its aircraft leaves the stand in the next half hour.
  for (ParkingAdjustment& a : g_parkingAdjustments) {
    if (a.sourceCallsign2.empty() || a.sourceCallsign.empty() ||
        a.callsign.find(a.sourceCallsign) == std::string::npos)
      continue;
    std::string shown = a.callsign;
    if (!shown.empty() && shown.back() == '*') shown.pop_back();
    const Stand* stand = gf_parkStandById(a.standId);
    if (stand == nullptr) continue;
    const auto option = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
      return o.day == now.day && o.callsign == shown && o.airline == a.airline && o.type == a.type;
    });
    if (option == stand->options.end()) continue;
    a.reAdd = lf_staysNextHalfHour(*stand, *option, now) ? 0 : 1;
  }
}

LiveAircraft* lf_liveParkedAircraft(const LiveParked& parked) {
  for (LiveAircraft& a : g_liveAircraft)
    if (gf_isLiveParked(a) && a.identity.callsign == parked.callsign && a.standId == parked.standId) return &a;
  return nullptr;
}

// Drops what exceeds the wanted count: new candidates first, then the kept
// statics, then parked live aircraft, each from the end of its list. Counted
// signed: more aircraft than wanted is an excess, fewer is none.
void lf_trimToWanted(std::int32_t wanted) {
  std::int64_t excess = static_cast<std::int64_t>(g_staticCandidates.size()) +
                        static_cast<std::int64_t>(g_parkingAdjustments.size()) +
                        static_cast<std::int64_t>(g_liveParked.size()) - wanted;
  for (; excess > 0; --excess) {
    if (!g_staticCandidates.empty()) {
      g_staticCandidates.pop_back();
    } else if (!g_parkingAdjustments.empty()) {
      const ParkingAdjustment& a = g_parkingAdjustments.back();
      g_staticRemovals.push_back(StaticRemoval{a.callsign, a.standId});
      g_parkingAdjustments.pop_back();
    } else if (!g_liveParked.empty()) {
      if (LiveAircraft* live = lf_liveParkedAircraft(g_liveParked.back())) removeAircraftFromSim(*live);
      g_liveParked.pop_back();
    } else {
      break;
    }
  }
}

}  // namespace

void lf_finishParkingAdjustments(const DaySlot& now, std::int32_t wanted) {
  lf_matchStatics(now);
  // Re-added statics are removed and come back as candidates with their
  // departure callsign, keeping the half hour they arrived in.
  for (auto it = g_parkingAdjustments.begin(); it != g_parkingAdjustments.end();) {
    if (it->reAdd == 0) {
      ++it;
      continue;
    }
    StaticCandidate c;
    c.standId = it->standId;
    c.fit = static_cast<std::uint32_t>(gf_halfHoursBetween(it->parkingStart, now));
    c.airline = it->airline;
    c.type = it->type;
    c.callsign = it->sourceCallsign;
    c.callsign2 = it->sourceCallsign2;
    c.registration = it->registration;
    c.staysOn = 0;
    g_staticCandidates.push_back(std::move(c));
    g_staticRemovals.push_back(StaticRemoval{it->callsign, it->standId});
    it = g_parkingAdjustments.erase(it);
  }
  lf_trimToWanted(wanted);
  std::stable_sort(g_staticCandidates.begin(), g_staticCandidates.end(),
                   [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit > b.fit; });
  gf_showStatus(fmt::format("Parking adjustments: {} to be removed, {} to be added", g_staticRemovals.size(),
                            g_staticCandidates.size()),
                true);
  for (const StaticRemoval& removal : g_staticRemovals) {
    for (ParkedAircraft& s : g_staticAircraft) {
      if (s.standId != removal.standId || s.identity.callsign != removal.callsign) continue;
      if (s.simState == SimState::active || s.simState == SimState::removingfromsim) removeAircraftFromSim(s);
    }
  }
  g_staticRemovals.clear();
  lf_eraseFlaggedAircraft();
}

void lf_parkingAdjustments() {
  if (g_parkAirport.icao.empty() || g_parkStands.empty()) return;
  const DaySlot now = lf_announceDaySlot();
  lf_takeLiveCallsigns();
  lf_disableParkingControls();
  gf_setSoftUsed(false);

  g_staticRemovals.clear();
  g_parkingAdjustments.clear();
  g_liveParked.clear();
  g_staticCandidates.clear();
  for (Stand& stand : g_parkStands) {
    stand.selected = 0;
    stand.excluded = 0;
    stand.blocked = 0;
    lf_renumberStandOptions(stand);
  }
  lf_excludeReservedAndUserStand();
  const std::int32_t wanted = lf_wantedStaticCount();
  lf_collectLiveParked();
  const auto liveParked = static_cast<std::int64_t>(g_liveParked.size());
  if (wanted >= 1 && liveParked > wanted) {
    const std::int64_t excess = liveParked - wanted;
    gf_showStatus(fmt::format("Parking adjustments: {} more live ac than wanted", excess), true);
    lf_removeOldestLiveParked(static_cast<std::int32_t>(excess));
    lf_collectLiveParked();
  }
  for (const LiveParked& parked : g_liveParked) {
    Stand* stand = gf_parkStandById(parked.standId);
    if (stand == nullptr) continue;
    stand->selected = 1;
    for (const std::uint32_t id : stand->adjacent)
      if (Stand* neighbour = gf_parkStandById(id)) neighbour->blocked = 1;
  }
  const auto occupied = static_cast<std::int32_t>(g_liveParked.size());
  if (wanted != occupied)
    lf_beginSearchRealThenSoft(now, wanted, occupied, [now, wanted] { lf_finishParkingAdjustments(now, wanted); });
  else
    lf_finishParkingAdjustments(now, wanted);
}

void lf_removeAllParked() {
  lf_cancelSearch();
  g_staticCandidates.clear();
  g_staticRemovals.clear();
  g_parkingAdjustments.clear();
  lf_removeAllStatics();
  for (LiveAircraft& a : g_liveAircraft) {
    switch (a.flightPhase) {
      case FlightPhase::parked:
      case FlightPhase::pushing_back:
      case FlightPhase::pushed_back:
      case FlightPhase::taxi:
      case FlightPhase::take_off:
        break;
      default:
        continue;
    }
    removeAircraftFromSim(a);  // frees its stand first
    a.standId = 0;
    a.latitude = 0.0;
    a.longitude = 0.0;
    a.heading = 0.0;
  }
  lf_eraseFlaggedAircraft();
  lf_clearParkAirport();
  // A maximum the window set while the parking was busy takes effect now.
  if (g_maxLive.load() != prm::MAX_LIVE_SEL.value()) {
    g_maxLive.store(prm::MAX_LIVE_SEL.value());
    lf_enforceMaxLive();
  }
}
