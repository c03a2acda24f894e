// Process-wide run state shared by the run thread, the window and the scans.
#pragma once

#include <atomic>
#include <cstdint>

// Stop the current run; the user closed the main window.
extern std::atomic<bool> g_stopRun;
extern std::atomic<bool> g_windowClosed;

// True when the selected simulator is MSFS 2020 (else MSFS 2024); set at the
// start of each run and when the simulator is switched.
extern std::atomic<bool> g_isMsfs2020;

// The simulator's UTC date and time in seconds since 1970, kept current by the
// simulator link while RealTraffic reports the professional level; 0 when the
// simulator's time is not in use.
extern std::atomic<std::int64_t> g_simEpochSeconds;
