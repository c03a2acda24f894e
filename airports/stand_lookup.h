// Looking up stands of the current park airport by position and by id, and
// the number of static aircraft wanted on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "airports/stands.h"
#include "app/geo.h"

// How far from a stand's centre a position still counts as on it: 55 m.
inline constexpr double kNearestStandRangeNm = 0.029697624190064796;

// The name of the stand of g_parkStands (or of `stands`) nearest to the
// position within 55 m; empty when none is that near. The first of equally
// near stands wins. The answer for the last position is cached; the cache
// also remembers which stand list it was computed on (its place, length,
// ids, names and positions), so a replaced or changed list is searched again.
// Safe to call from any thread as far as the cache goes; the stand list
// itself must not change during the call.
std::string gf_nearestStandName(const LatLon& position);
std::string gf_nearestStandName(const LatLon& position, const std::vector<Stand>& stands);
// A key of what the nearest stand depends on besides the position: the
// list's place and length and each stand's id, name and position. Another
// key means another list (or a changed one).
std::uint64_t gf_standListKey(const std::vector<Stand>& stands);
// Forgets the cached answer (when the stand list is replaced).
void gf_clearNearestStandCache();

// The name of the stand with this id: "sid==0?" for 0, "unknown" when no
// stand has it.
std::string gf_standNameById(std::uint32_t id);
std::string gf_standNameById(std::uint32_t id, const std::vector<Stand>& stands);

// The number of statics wanted on g_parkStands (or on `standCount` stands):
// the percentage is CUSTOM_PARKING_PERCENTAGE when it is 0 or more, else
// parking_percentage; percentage x stands / 100 rounded half away from zero
// when there are more than 3 stands, or 2 or 3 stands at 50 % or more; else 1;
// never negative. At most MAX_PARK_SEL when that differs from its default.
// Writes the window's wanted count and percentage (g_windowWantedStatics,
// g_windowWantedPercent).
std::int32_t lf_wantedStaticCount();
std::int32_t lf_wantedStaticCount(std::size_t standCount);
