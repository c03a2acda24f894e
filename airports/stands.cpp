#include "airports/stands.h"

#include <utility>

std::vector<Stand> g_parkStands;

std::uint32_t gf_nextOptionId(const std::vector<StandOption>& options) {
  // Ids ascend in list order, so this is the last option's id + 1; an option
  // put out of play (id 0) at the end must not hand out an id that is in use.
  std::uint32_t highest = 0;
  for (const StandOption& option : options) {
    if (option.id > highest) highest = option.id;
  }
  return highest + 1;
}

Stand::Stand(std::string name, std::vector<StandOption> options, const StandPosition& position,
             double radiusMetres, std::int32_t notCargo, std::int32_t notRamp, std::int32_t notHeli)
    : options(std::move(options)),
      realStays(kStayTableInitialBuckets),
      softStays(kStayTableInitialBuckets),
      name(std::move(name)),
      latitude(position.latitude),
      longitude(position.longitude),
      heading(position.heading),
      radius(gf_metresToNm(radiusMetres)),
      cargo(notCargo == 0 ? 1 : 0),
      ramp(notRamp == 0 ? 1 : 0),
      heli(notHeli == 0 ? 1 : 0) {
  realStays.max_load_factor(kStayTableMaxLoadFactor);
  softStays.max_load_factor(kStayTableMaxLoadFactor);
  adjacent.reserve(8);
}
