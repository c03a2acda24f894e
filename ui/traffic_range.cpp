#include "ui/traffic_range.h"

#include <cmath>

#include "app/geo.h"

std::atomic<double> g_rangeNm{40.0};
std::atomic<std::int32_t> g_rangeMeters{static_cast<std::int32_t>(40.0 * kNmToMetres)};
std::atomic<std::int32_t> g_manualRange{40};

void gf_setTrafficRange(double nm) {
  g_rangeNm.store(nm);
  g_rangeMeters.store(static_cast<std::int32_t>(std::lround(nm * kNmToMetres)));
}

void gf_autoRange() {}
