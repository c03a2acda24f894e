#include "app/parking_schedule.h"

#include <string>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/parking_controls.h"
#include "airports/static_candidate.h"
#include "airports/stands.h"
#include "airports/static_placement.h"
#include "app/requests.h"
#include "app/settings.h"
#include "feed/traffic_reader.h"
#include "traffic/removals.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"

namespace {

bool g_requested = false;  // a renewal is due: the next 15-second step prepares it
bool g_pending = false;    // prepared: the next 15-second step runs it
bool g_recalcCollecting = false;

bool lf_parkAirportWithStands() { return !g_parkAirport.icao.empty() && !g_parkStands.empty(); }

void lf_runRenewal() {
  gf_clearStatus();
  if (lf_parkAirportWithStands()) lf_parkingAdjustments();
}

}  // namespace

void lf_fifteenSecondStep(std::int32_t second) {
  // The handshake: one step starts collecting the callsigns heard live, the
  // next one renews with them.
  if (g_pending) {
    g_pending = false;
    lf_runRenewal();
  } else if (g_requested) {
    g_requested = false;
    g_pending = true;
    lf_disableParkingControls();
    g_trafficReader.startCallsignCollection();
  }
  if (second % kRenewalSeconds == 0 && gf_parkFileLoaded() && !prm::INITIAL_LOAD_ONLY.value() && !g_requested &&
      !g_pending)
    g_requested = true;

  // A changed parking setting: renewed now with the callsigns collected
  // since the request came (lf_everySecondRequests).
  if (g_parkingRecalcRequest.exchange(false)) {
    g_recalcCollecting = false;
    gf_clearError();
    if (!g_pending) lf_runRenewal();
  }
  if (second % 30 == 0 && prm::AUTO_RANGE.value()) gf_autoRange();
  const std::int32_t left = kRenewalSeconds - second % kRenewalSeconds;
  gf_setMinutesToRenewal((left + 59) / 60);

  if (g_rereadRequest.load() && !gf_staticParkingBusy()) {
    std::string text;
    if (lf_checkParkAirports(true, text)) gf_showStatus(text, true);
    gf_enableControl(g_rereadButton.controlId(), true);
    gf_enableControl(prm::DESTINATION.controlId(), true);
    g_rereadRequest.store(false);
  }
}

void lf_everySecondRequests() {
  if (g_flushStaticRequest.exchange(false)) {
    g_staticCandidates.clear();
    lf_removeAllStatics();
  }
  if (g_blockedCallsignRequest.exchange(false)) {
    // A newly blocked callsign leaves the simulator at once; an unblocked
    // one simply comes back with its next report.
    const std::string blocked = prm::BLOCK_CALLSIGN.value();
    if (!blocked.empty()) {
      for (LiveAircraft& aircraft : g_liveAircraft)
        if (aircraft.identity.callsign == blocked) removeAircraftFromSim(aircraft);
      lf_eraseFlaggedAircraft();
    }
  }
  if (g_objectIdRequest.exchange(false)) {
    const std::string callsign = prm::CALLSIGN_2_OBJECTID.value();
    std::string found = "not found";
    auto matches = [&](const ParkedAircraft& a) {
      return a.objectId != 0 && (a.identity.callsign == callsign || a.identity.callsign == callsign + "*");
    };
    for (const LiveAircraft& a : g_liveAircraft)
      if (matches(a)) found = std::to_string(a.objectId);
    for (const ParkedAircraft& a : g_staticAircraft)
      if (matches(a)) found = std::to_string(a.objectId);
    gf_setObjectIdText(callsign.empty() ? std::string() : found);
  }
  if (g_parkingRecalcRequest.load() && !g_recalcCollecting && !g_pending) {
    g_recalcCollecting = true;
    g_trafficReader.startCallsignCollection();
  }
}

bool gf_renewalRequested() { return g_requested; }
bool gf_renewalPending() { return g_pending; }

void gf_resetParkingSchedule() {
  g_requested = false;
  g_pending = false;
  g_recalcCollecting = false;
}
