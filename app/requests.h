// The requests that the window (and other threads) hand to the run thread.
// Each is an atomic flag: the asking thread sets it, the run thread's
// per-second checks or its 15-second step take it up and clear it.
#pragma once

#include <atomic>

// "Re-read" pressed: re-read the park airports list (then enable "Re-read"
// and the DESTINATION field again).
extern std::atomic<bool> g_rereadRequest;
// "Flush static" pressed: remove every static aircraft.
extern std::atomic<bool> g_flushStaticRequest;
// BLOCK_CALLSIGN changed.
extern std::atomic<bool> g_blockedCallsignRequest;
// CALLSIGN_2_OBJECTID entered: show that callsign's object id.
extern std::atomic<bool> g_objectIdRequest;
// A parking setting changed: the static parking takes the new value up at
// its next calculation.
extern std::atomic<bool> g_parkingRefreshRequest;
// Recalculate the static parking at the next 15-second step.
extern std::atomic<bool> g_parkingRecalcRequest;
