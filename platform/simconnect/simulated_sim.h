// The simulated simulator: stands in for the flight simulator and its client
// library in the same process. For now it only delivers the user aircraft's
// once-a-second data, which gives the main loop its one-second signal.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace simsim {

// The length of a simulated second in milliseconds (tests shorten it).
extern std::atomic<int> g_secondMs;

class SimulatedSimulator {
 public:
  // Calls onSecond once per simulated second on a thread of its own until stopped.
  explicit SimulatedSimulator(std::function<void()> onSecond);
  ~SimulatedSimulator();
  SimulatedSimulator(const SimulatedSimulator&) = delete;
  SimulatedSimulator& operator=(const SimulatedSimulator&) = delete;
  void stop();

 private:
  void run();
  std::function<void()> m_onSecond;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace simsim
