// Scan tasks: at most g_maxTasks run at once, counted by g_runningTasks
// (app/runstate.h).
#pragma once

#include <future>
#include <thread>
#include <utility>

// Gives one slot back.
void gf_taskFinished();
// Waits while g_runningTasks is at least g_maxTasks, looking again every 10
// microseconds, and takes the free slot in the same atomic step (two
// launchers never both take the last one). TaskSlot::acquire holds it.
void gf_waitForFreeTaskSlot();

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

// Starts body on a thread of its own, detached at once, in a task slot taken
// before the start (waiting for a free one). The slot goes back exactly once
// when the body ends, before its result or exception is delivered through
// the future, also when the body throws or never runs.
template <typename Body>
auto gf_startTask(Body body) -> std::future<decltype(body())> {
  using Result = decltype(body());
  TaskSlot slot = TaskSlot::acquire();
  std::packaged_task<Result()> task([body = std::move(body), slot = std::move(slot)]() mutable {
    struct GiveBack {
      TaskSlot& slot;
      ~GiveBack() { slot.release(); }
    } giveBack{slot};
    return body();
  });
  std::future<Result> future = task.get_future();
  std::thread(std::move(task)).detach();
  return future;
}
