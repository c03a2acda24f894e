// The static parking's share of the main loop's per-second schedule: the
// 15-second handshake that prepares and runs the 20-minute renewal, the
// recalculation and "Re-read" requests of the window, the automatic radius,
// and the minutes to the next renewal. Run thread only.
#pragma once

#include <cstdint>

// A renewal every 20 minutes of the run's second count.
inline constexpr std::int32_t kRenewalSeconds = 1200;

// The 15-second branch, for a second count that is a multiple of 15.
void lf_fifteenSecondStep(std::int32_t second);
// The per-second part: the window's flush-static, blocked-callsign and
// object-id requests, and the callsign collection started as soon as a
// recalculation is asked for.
void lf_everySecondRequests();
// A renewal is requested, or prepared and due at the next 15-second step
// (then the 16-second step waits).
bool gf_renewalRequested();
bool gf_renewalPending();
// Back to the state of a fresh run.
void gf_resetParkingSchedule();
