// The traffic tick's share that these lists need: the simulator's object
// events taken first, then the paced hand-over of removals (one every 10
// ticks) and creations (one every 50 ticks, followed by the placement of one
// static) to the simulator link. Traffic (run) thread only.
#pragma once

#include <cstdint>

// One tick (called every 10 ms pass while a flight runs).
void lf_handleAddingStack();
// The object events of the simulator link: created, create failed, removed.
void lf_handleSimEvents();
// The paced hand-over for this tick.
void lf_paceRequests();
// Ticks since the run started.
std::uint64_t gf_tickCount();
// Back to tick 0 (run reset, tests).
void gf_resetTrafficTick();
