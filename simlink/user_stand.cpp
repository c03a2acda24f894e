// The user's stand: the stands published for the link's thread, and the
// stand the user stood on handed over to the run thread.

#include <memory>
#include <mutex>
#include <optional>

#include "airports/park_airports.h"
#include "airports/stand_lookup.h"
#include "app/log.h"
#include "simlink/sim_link.h"

namespace {

using StandList = std::vector<Stand>;

// Leaf lock: held only to swap or copy the pointer.
std::mutex g_snapshotMutex;
std::shared_ptr<const StandList> g_snapshot;
// Run thread only: what the published copy was made of.
std::optional<std::uint64_t> g_snapshotKey;

}  // namespace

void gf_publishStandSnapshot() {
  const std::uint64_t key = gf_standListKey(g_parkStands);
  if (g_snapshotKey == key) return;
  auto copy = std::make_shared<StandList>();
  copy->reserve(g_parkStands.size());
  for (const Stand& stand : g_parkStands) {
    Stand& light = copy->emplace_back(stand.name, std::vector<StandOption>{},
                                      StandPosition{stand.latitude, stand.longitude, stand.heading}, 0.0, 1, 1, 1);
    light.id = stand.id;
  }
  {
    std::lock_guard lock(g_snapshotMutex);
    g_snapshot = std::move(copy);
  }
  g_snapshotKey = key;
}

std::string gf_userStandOnSnapshot(const LatLon& position) {
  std::shared_ptr<const StandList> stands;
  {
    std::lock_guard lock(g_snapshotMutex);
    stands = g_snapshot;
  }
  if (!stands || stands->empty()) return {};
  return gf_nearestStandName(position, *stands);
}

void lf_rememberUserStand() {
  const OnGroundReading ground = g_userOnGround.get();
  if (!ground.valid) return;
  const UserAircraftData user = g_userAircraft.get();
  if (user.groundVelocity > 2.0) return;
  // Off every stand the name is empty, which clears the reserved stand. The
  // park airports list belongs to the run thread: it carries this out.
  gf_requestReservedStand(gf_userStandOnSnapshot(LatLon{user.latitude, user.longitude}));
}

void lf_resetUserStandForTests() {
  {
    std::lock_guard lock(g_snapshotMutex);
    g_snapshot.reset();
  }
  g_snapshotKey.reset();
}
