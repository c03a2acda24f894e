#include "app/tasks.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/runstate.h"

namespace {
std::int32_t lf_taskLimit() { return std::max<std::int32_t>(1, g_maxTasks.load()); }
}  // namespace

void gf_taskFinished() { g_runningTasks.fetch_sub(1); }

void gf_waitForFreeTaskSlot() {
  while (true) {
    std::int32_t running = g_runningTasks.load();
    if (running < lf_taskLimit() && g_runningTasks.compare_exchange_weak(running, running + 1)) return;
    std::this_thread::sleep_for(std::chrono::microseconds(10));
  }
}

TaskSlot TaskSlot::acquire() {
  gf_waitForFreeTaskSlot();
  TaskSlot slot;
  slot.m_held = true;
  return slot;
}

void TaskSlot::release() noexcept {
  if (m_held) {
    m_held = false;
    gf_taskFinished();
  }
}
