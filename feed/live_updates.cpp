#include "feed/live_updates.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {
// The run-state mutex: guards the queue and the accept flag. A leaf lock,
// held only to change or move them.
std::mutex g_runStateMutex;
std::deque<LiveAcUpdate> g_liveUpdates;
bool g_accepted = false;
}  // namespace

void gf_setTrafficAccepted(bool accepted) {
  std::lock_guard lock(g_runStateMutex);
  g_accepted = accepted;
}

bool gf_pushLiveUpdate(LiveAcUpdate update) {
  std::lock_guard lock(g_runStateMutex);
  if (!g_accepted) return false;
  if (g_liveUpdates.size() >= kLiveUpdateQueueLimit) g_liveUpdates.pop_front();
  g_liveUpdates.push_back(std::move(update));
  return true;
}

std::vector<LiveAcUpdate> gf_takeLiveUpdates(std::size_t most) {
  std::vector<LiveAcUpdate> taken;
  std::lock_guard lock(g_runStateMutex);
  while (taken.size() < most && !g_liveUpdates.empty()) {
    taken.push_back(std::move(g_liveUpdates.front()));
    g_liveUpdates.pop_front();
  }
  return taken;
}

void gf_clearLiveUpdates() {
  std::lock_guard lock(g_runStateMutex);
  g_liveUpdates.clear();
}

std::size_t gf_liveUpdateCount() {
  std::lock_guard lock(g_runStateMutex);
  return g_liveUpdates.size();
}
