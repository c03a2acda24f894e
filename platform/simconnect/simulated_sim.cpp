#include "platform/simconnect/simulated_sim.h"

namespace simsim {

std::atomic<int> g_secondMs{1000};

SimulatedSimulator::SimulatedSimulator(std::function<void()> onSecond) : m_onSecond(std::move(onSecond)) {
  m_thread = std::thread([this] { run(); });
}

SimulatedSimulator::~SimulatedSimulator() { stop(); }

void SimulatedSimulator::stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void SimulatedSimulator::run() {
  std::unique_lock lock(m_mutex);
  auto next = std::chrono::steady_clock::now();
  while (!m_stop) {
    next += std::chrono::milliseconds(g_secondMs.load());
    if (m_wake.wait_until(lock, next, [this] { return m_stop; })) break;
    lock.unlock();
    m_onSecond();
    lock.lock();
  }
}

}  // namespace simsim
