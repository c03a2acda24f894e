#include "traffic/traffic_tick.h"

#include <algorithm>
#include <mutex>

#include "airports/static_placement.h"
#include "app/log.h"
#include "simlink/sim_link.h"
#include "traffic/removals.h"

namespace {

std::uint64_t g_tick = 0;

constexpr std::uint64_t kRemovalTicks = 10;
constexpr std::uint64_t kCreationTicks = 50;

template <typename List>
auto* lf_findCreating(List& list, std::uint32_t hexid) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& a) {
    return a.identity.hexid == hexid && a.simState == SimState::adding2sim && a.erase == 0;
  });
  return it == list.end() ? nullptr : &*it;
}

template <typename List>
bool lf_eraseObject(List& list, std::uint32_t objectId) {
  for (auto& a : list) {
    if (a.objectId == objectId && a.erase == 0) {
      a.erase = 1;
      return true;
    }
  }
  return false;
}

template <typename Aircraft>
void lf_created(Aircraft* aircraft, std::uint32_t objectId) {
  if (aircraft == nullptr) {
    // Its record is gone (removed while the creation was on its way): the
    // object must not stay behind in the simulator.
    g_removeRequests.push_back(objectId);
    return;
  }
  aircraft->objectId = objectId;
  aircraft->simState = SimState::active;
  if (aircraft->removeOnceCreated != 0) {
    aircraft->removeOnceCreated = 0;
    removeAircraftFromSim(*aircraft);
  }
}

}  // namespace

void lf_handleSimEvents() {
  for (const SimEvent& event : gf_takeSimEvents()) {
    switch (event.kind) {
      case SimEventKind::StaticCreated:
        lf_created(lf_findCreating(g_staticAircraft, event.hexid), event.objectId);
        break;
      case SimEventKind::LiveCreated:
        lf_created(lf_findCreating(g_liveAircraft, event.hexid), event.objectId);
        break;
      case SimEventKind::CreateFailed:
        if (event.hexid <= kStaticHexidLimit) {
          if (auto* a = lf_findCreating(g_staticAircraft, event.hexid)) a->erase = 1;
        } else if (auto* a = lf_findCreating(g_liveAircraft, event.hexid)) {
          a->erase = 1;
        }
        break;
      case SimEventKind::Removed:
        if (!lf_eraseObject(g_staticAircraft, event.objectId)) lf_eraseObject(g_liveAircraft, event.objectId);
        break;
      default:
        break;
    }
  }
  lf_eraseFlaggedAircraft();
}

void lf_paceRequests() {
  if (g_tick % kRemovalTicks == 0 && !g_removeRequests.empty()) {
    std::lock_guard lock(g_simConnectMutex);
    g_simRemoveQueue.push_back(g_removeRequests.front());
    g_removeRequests.pop_front();
  }
  if (g_tick % kCreationTicks == 0) {
    // Live aircraft first: they are what the user sees moving.
    std::deque<AddRequest>& queue = !g_liveAddRequests.empty() ? g_liveAddRequests : g_staticAddRequests;
    if (!queue.empty()) {
      std::lock_guard lock(g_simConnectMutex);
      g_simCreateQueue.push_back(std::move(queue.front()));
      queue.pop_front();
    }
    lf_placeStaticAircraft();
  }
}

void lf_handleAddingStack() {
  ++g_tick;
  lf_handleSimEvents();
  lf_paceRequests();
}

std::uint64_t gf_tickCount() { return g_tick; }

void gf_resetTrafficTick() { g_tick = 0; }
