#include "airports/static_placement.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "aircraftdata/static_livery.h"
#include "airports/stand_lookup.h"
#include "airports/static_selection.h"
#include "app/log.h"
#include "app/settings.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"

std::uint32_t g_staticCounter = 0;

namespace {

constexpr std::uint32_t kStaticHexids = 10000;

bool lf_onOrBeside(const Stand& stand, std::uint32_t standId) {
  return standId != 0 && (standId == stand.id ||
                          std::find(stand.adjacent.begin(), stand.adjacent.end(), standId) != stand.adjacent.end());
}

// Whether a live or static aircraft stands on the candidate's stand or beside it.
bool lf_standTaken(const Stand& stand, const StaticCandidate& candidate) {
  const bool log = prm::LOG.value();
  for (const LiveAircraft& live : g_liveAircraft) {
    if (live.flightPhase != FlightPhase::parked && live.flightPhase != FlightPhase::parking) continue;
    if (!lf_onOrBeside(stand, live.standId)) continue;
    if (log) {
      if (live.standId == stand.id)
        gf_logLine("{:8}: no static parking for {}, live aircraft {} standing here", stand.name, candidate.callsign,
                   live.identity.callsign);
      else
        gf_logLine("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                   stand.name, candidate.callsign, live.identity.callsign, gf_standNameById(live.standId));
    }
    return true;
  }
  for (const ParkedAircraft& parked : g_staticAircraft) {
    if (!lf_onOrBeside(stand, parked.standId)) continue;
    if (log)
      gf_logLine("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                 stand.name, candidate.callsign, parked.identity.callsign, gf_standNameById(parked.standId));
    return true;
  }
  return false;
}

void lf_place(const StaticCandidate& candidate) {
  Stand* stand = gf_parkStandById(candidate.standId);
  if (stand == nullptr) throw std::runtime_error(fmt::format("stand with id {} not found", candidate.standId));
  if (lf_standTaken(*stand, candidate)) return;

  const std::uint32_t hexid = (g_staticCounter + 1) % kStaticHexids;
  g_staticCounter = hexid;

  std::string callsign = candidate.callsign.empty() ? std::string() : lf_detcs(candidate);
  // A learned callsign of underscores only leaves nothing to show.
  if (callsign.empty()) callsign = fmt::format("{}{}{}", candidate.airline, hexid, "*");
  AircraftIdentity identity(LiveAcData{candidate.airline, candidate.type, "", "", std::move(callsign),
                                       candidate.callsign, candidate.callsign2, candidate.registration});
  identity.hexid = hexid;
  g_staticAircraft.emplace_back(std::move(identity), stand->id,
                                StandPosition{stand->latitude, stand->longitude, stand->heading}, stand->cargo);
  ParkedAircraft& aircraft = g_staticAircraft.back();
  if (!gf_matchLiveryStatic(aircraft, *stand)) {
    g_staticAircraft.pop_back();
    return;
  }
  aircraft.parkingStart = gf_halfHoursBefore(gf_daySlotNow(), candidate.fit);
  aircraft.simState = SimState::adding2sim;

  AddRequest request;
  request.latitude = stand->latitude;
  request.longitude = stand->longitude;
  request.altitude = 0.0;
  request.pitch = 0.0;
  request.bank = 0.0;
  request.heading = stand->heading * kRadToDeg;
  request.onGround = true;
  request.callsign = aircraft.identity.callsign;
  request.liveryTitle = aircraft.identity.liveryTitle;
  request.hexid = hexid;
  g_staticAddRequests.push_back(std::move(request));
}

}  // namespace

Stand* gf_parkStandById(std::uint32_t id) {
  // Stands are numbered 1..n in list order, so look there first.
  if (id >= 1 && id <= g_parkStands.size() && g_parkStands[id - 1].id == id) return &g_parkStands[id - 1];
  const auto it = std::find_if(g_parkStands.begin(), g_parkStands.end(), [id](const Stand& s) { return s.id == id; });
  return it == g_parkStands.end() ? nullptr : &*it;
}

void lf_placeStaticAircraft() {
  if (g_staticCandidates.empty() || g_parkStands.empty()) return;
  // A search in progress is still filling the candidate list.
  if (lf_searchRunning()) return;
  const StaticCandidate candidate = std::move(g_staticCandidates.back());
  g_staticCandidates.pop_back();
  try {
    lf_place(candidate);
  } catch (const std::exception& e) {
    gf_logError("lf_placeStaticAircraft: {}", e.what());
  }
}

std::string lf_detcs(const StaticCandidate& candidate) {
  std::string text = candidate.staysOn != 0 ? candidate.callsign : candidate.callsign2;
  if (text.empty()) text = candidate.staysOn != 0 ? candidate.callsign2 : candidate.callsign;
  if (text.empty()) {
    gf_logLine("{} callsign is empty..", "lf_detcs");
    return {};
  }
  return lf_shownCallsign(std::move(text));
}

std::string lf_shownCallsign(std::string callsign) {
  while (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
  if (callsign.empty() || callsign.back() == '*') return callsign;
  return callsign + "*";
}

std::int32_t lf_staticParkedStats(bool withMean) {
  std::int32_t count = 0;
  std::int64_t halfHours = 0;
  const DaySlot now = gf_daySlotNow();
  for (const ParkedAircraft& aircraft : g_staticAircraft) {
    if (aircraft.simState != SimState::active && aircraft.simState != SimState::removingfromsim) continue;
    ++count;
    // Counted across the week's end: a static that arrived on Sunday evening
    // has stood for a while on Monday morning.
    halfHours += gf_halfHoursBetween(aircraft.parkingStart, now);
  }
  if (withMean && !prm::WEEK.value()) {
    const double mean = count > 0 ? static_cast<double>(halfHours) / (2.0 * count) + 0.5 : 0.0;
    gf_setAverageFit(mean);
  }
  return count;
}
