// The user's stand: the stands published for the link's thread, and the
// stand the user stood on handed over to the run thread.

#include <memory>
#include <mutex>
#include <optional>

#include "airports/park_airports.h"
#include "airports/stand_lookup.h"
#include "app/hash.h"
#include "app/log.h"
#include "simlink/sim_link.h"

namespace {

using StandList = std::vector<Stand>;

// Leaf lock: held only to swap or copy the pointer.
std::mutex g_snapshotMutex;
std::shared_ptr<const StandList> g_snapshot;
// Run thread only: what the published copy was made of.
std::optional<std::uint64_t> g_snapshotKey;

template <typename T>
void lf_hashValue(std::uint64_t& hash, const T& value) {
  hash = gf_fnv1a64(reinterpret_cast<const unsigned char*>(&value), sizeof value, hash);
}

std::uint64_t lf_standsKey(const StandList& stands) {
  std::uint64_t hash = kFnv1aOffsetBasis;
  lf_hashValue(hash, reinterpret_cast<std::uintptr_t>(stands.data()));
  lf_hashValue(hash, stands.size());
  for (const Stand& stand : stands) {
    lf_hashValue(hash, stand.id);
    lf_hashValue(hash, stand.latitude);
    lf_hashValue(hash, stand.longitude);
    hash = gf_fnv1a64(reinterpret_cast<const unsigned char*>(stand.name.data()), stand.name.size(), hash);
  }
  return hash;
}

}  // namespace

void gf_publishStandSnapshot() {
  const std::uint64_t key = lf_standsKey(g_parkStands);
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
  // Off every stand there is nothing to remember (the reserved stand stays).
  std::string name = gf_userStandOnSnapshot(LatLon{user.latitude, user.longitude});
  if (name.empty()) return;
  // The park airports list belongs to the run thread: it carries this out.
  gf_requestReservedStand(std::move(name));
}

void lf_resetUserStandForTests() {
  {
    std::lock_guard lock(g_snapshotMutex);
    g_snapshot.reset();
  }
  g_snapshotKey.reset();
}
