// The run: start-up steps, the 10 ms main loop with its per-second schedule,
// close-down and the restart by exit reason.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stop_token>

// WM_APP+1: starts a run on a new thread and detaches it; the run ends on its own.
void gf_startRunThread();

// The run thread's body.
void lf_runThread(std::stop_token stopToken);
// The state every run starts from.
void lf_resetRunState();
// The per-second checks.
void lf_everySecond();
// One 10 ms pass of the main loop; oneSecond: the one-second signal came
// (lf_everySecond has run) and the per-second schedule runs in this pass.
void lf_mainLoopPass(bool oneSecond);
// The end of a run.
void lf_closingDown();

// The number of run threads that have not yet ended (the program waits for
// 0 before it exits; tests wait for it too).
extern std::atomic<int> g_runThreadsAlive;
// The number of runs started in this process.
extern std::atomic<int> g_runsStarted;

// The pause after a new flight before the program ends.
inline constexpr int kNewFlightPauseSeconds = 10;

// How the run starts its feed: the readers' ports, the pause between the QNH
// Reader and the Traffic Reader, and the wait for the first traffic. The
// program keeps the defaults; tests pick free ports and shorter waits. Set
// only while no run is going.
struct FeedStart {
  std::uint16_t qnhPort = 49004;
  std::uint16_t trafficPort = 49005;
  std::chrono::milliseconds readerPause{2000};
  int firstTrafficSteps = 150;  // of 100 ms: 15 s
};
extern FeedStart g_feedStart;
