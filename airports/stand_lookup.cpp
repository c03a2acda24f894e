#include "airports/stand_lookup.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "app/hash.h"
#include "app/settings.h"
#include "app/text.h"
#include "traffic/aircraft.h"

namespace {

// The last answer of gf_nearestStandName. Leaf lock: held only to read or
// write these fields, never while taking another lock.
struct NearestStandCache {
  std::mutex mutex;
  bool valid = false;
  double latitude = 0.0;
  double longitude = 0.0;
  std::uint64_t listKey = 0;
  std::string name;
};

NearestStandCache& lf_cache() {
  static NearestStandCache cache;
  return cache;
}

void lf_hashBytes(std::uint64_t& hash, const void* data, std::size_t count) {
  hash = gf_fnv1a64(static_cast<const unsigned char*>(data), count, hash);
}

template <typename T>
void lf_hashValue(std::uint64_t& hash, const T& value) {
  lf_hashBytes(hash, &value, sizeof value);
}

std::string lf_searchNearest(const LatLon& position, const std::vector<Stand>& stands) {
  const Stand* nearest = nullptr;
  double best = kNearestStandRangeNm;
  for (const Stand& stand : stands) {
    const double d = gf_distanceNm(position, LatLon{stand.latitude, stand.longitude});
    if (d < best || (nearest == nullptr && d == best)) {
      best = d;
      nearest = &stand;
    }
  }
  return nearest == nullptr ? std::string() : nearest->name;
}

}  // namespace

// Much cheaper than the distances it saves.
std::uint64_t gf_standListKey(const std::vector<Stand>& stands) {
  std::uint64_t hash = kFnv1aOffsetBasis;
  lf_hashValue(hash, reinterpret_cast<std::uintptr_t>(&stands));
  lf_hashValue(hash, reinterpret_cast<std::uintptr_t>(stands.data()));
  lf_hashValue(hash, stands.size());
  for (const Stand& stand : stands) {
    lf_hashValue(hash, stand.id);
    lf_hashValue(hash, stand.latitude);
    lf_hashValue(hash, stand.longitude);
    lf_hashValue(hash, stand.name.size());
    lf_hashBytes(hash, stand.name.data(), stand.name.size());
  }
  return hash;
}

std::string gf_nearestStandName(const LatLon& position) { return gf_nearestStandName(position, g_parkStands); }

std::string gf_nearestStandName(const LatLon& position, const std::vector<Stand>& stands) {
  const std::uint64_t key = gf_standListKey(stands);
  NearestStandCache& cache = lf_cache();
  {
    std::lock_guard lock(cache.mutex);
    if (cache.valid && cache.listKey == key && cache.latitude == position.latitude &&
        cache.longitude == position.longitude) {
      return cache.name;
    }
  }
  std::string name = lf_searchNearest(position, stands);
  std::lock_guard lock(cache.mutex);
  cache.valid = true;
  cache.latitude = position.latitude;
  cache.longitude = position.longitude;
  cache.listKey = key;
  cache.name = name;
  return name;
}

void gf_clearNearestStandCache() {
  NearestStandCache& cache = lf_cache();
  std::lock_guard lock(cache.mutex);
  cache.valid = false;
  cache.name.clear();
}

std::string gf_standNameById(std::uint32_t id) { return gf_standNameById(id, g_parkStands); }

std::string gf_standNameById(std::uint32_t id, const std::vector<Stand>& stands) {
  if (id == 0) return "sid==0?";
  // Stands are numbered 1..n in list order, so look there first.
  if (id <= stands.size() && stands[id - 1].id == id) return stands[id - 1].name;
  const auto it = std::find_if(stands.begin(), stands.end(), [id](const Stand& s) { return s.id == id; });
  return it == stands.end() ? std::string("unknown") : it->name;
}

std::int32_t lf_wantedStaticCount() { return lf_wantedStaticCount(g_parkStands.size()); }

std::int32_t lf_wantedStaticCount(std::size_t standCount) {
  const std::int32_t custom = prm::CUSTOM_PARKING_PERCENTAGE.value();
  const std::int32_t percentage = custom >= 0 ? custom : prm::parking_percentage.value();
  const auto n = static_cast<std::int64_t>(standCount);

  std::int64_t wanted = 1;
  if (n > 1 && (n > 3 || percentage >= 50)) {
    wanted = std::llround(static_cast<double>(percentage) * static_cast<double>(n) / 100.0);
  }
  // A percentage below 0 from a learned file must not ask for a negative count.
  wanted = std::max<std::int64_t>(wanted, 0);

  const std::int32_t maxPark = prm::MAX_PARK_SEL.value();
  std::int32_t windowPercent = percentage;
  if (maxPark != prm::MAX_PARK_SEL.defaultValue()) {
    wanted = std::min<std::int64_t>(maxPark, wanted);
    windowPercent = gf_percent(wanted, n);
  }
  const auto result = static_cast<std::int32_t>(std::min<std::int64_t>(wanted, INT32_MAX));
  g_windowWantedStatics.store(result);
  g_windowWantedPercent.store(windowPercent);
  return result;
}
