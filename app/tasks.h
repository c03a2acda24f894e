// Scan tasks: at most g_maxTasks run at once, counted by g_runningTasks
// (app/runstate.h).
#pragma once

#include <utility>

// Gives one slot back.
void gf_taskFinished();

// One reserved task slot. The launcher reserves it before it starts the task
// (waiting for a free one, and taking it in one atomic step so two launchers
// never both take the last slot); the task gives it back exactly once, when
// it releases it or when the object is destroyed, also when the task never
// started (for example because its thread could not be created).
class TaskSlot {
 public:
  // Waits for a free slot and takes it.
  static TaskSlot acquire();
  TaskSlot(TaskSlot&& other) noexcept : m_held(std::exchange(other.m_held, false)) {}
  TaskSlot& operator=(TaskSlot&&) = delete;
  TaskSlot(const TaskSlot&) = delete;
  ~TaskSlot() { release(); }
  void release() noexcept;

 private:
  TaskSlot() = default;
  bool m_held = false;
};
