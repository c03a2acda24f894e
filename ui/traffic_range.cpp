#include "ui/traffic_range.h"

#include <cmath>

#include "airports/park_airports.h"
#include "app/geo.h"
#include "app/settings.h"
#include "simlink/sim_link.h"
#include "ui/commands.h"
#include "ui/status_line.h"
#include "ui/window_setters.h"

std::atomic<double> g_rangeNm{40.0};
std::atomic<std::int32_t> g_rangeMeters{static_cast<std::int32_t>(40.0 * kNmToMetres)};
std::atomic<std::int32_t> g_manualRange{40};

namespace {

// The radius steps of the automatic radius between 10 and 40 nm.
std::int32_t lf_radiusStep(std::int32_t r) {
  struct Step {
    std::int32_t upTo;
    std::int32_t radius;
  };
  constexpr Step kSteps[] = {{10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},
                             {22, 20}, {27, 25}, {32, 30}, {37, 35}, {40, 40}};
  for (const Step& step : kSteps) {
    if (r <= step.upTo) return step.radius;
  }
  return 40;
}

}  // namespace

void gf_setTrafficRange(double nm) {
  g_rangeNm.store(nm);
  g_rangeMeters.store(static_cast<std::int32_t>(std::lround(nm * kNmToMetres)));
}

std::int32_t gf_autoRangeFor(bool onGround, double heightFeet, double parkAirportNm) {
  if (onGround) return 10;
  if (heightFeet > prm::AR_ABOVE_HEIGHT.value()) return 100;
  if (heightFeet > prm::AIRP_HEIGHT.value()) return 40;
  if (parkAirportNm <= 7.0) return 10;
  if (parkAirportNm < 37.0) return lf_radiusStep(static_cast<std::int32_t>(std::lround(parkAirportNm)) + 3);
  return 40;
}

void gf_autoRange() {
  const OnGroundReading ground = g_userOnGround.get();
  const UserAircraftData user = g_userAircraft.get();
  // The first entry of the park airports list: the airport the user is
  // heading for or standing at, loaded or not yet.
  const double distance = g_parkAirports.empty()
                              ? 10000.0
                              : gf_distanceNm(LatLon{user.latitude, user.longitude}, g_parkAirports.front().pos);
  const std::int32_t radius = gf_autoRangeFor(ground.valid && ground.onGround, user.altitudeAboveGround, distance);
  const std::int32_t before = prm::RANGE.value();
  prm::RANGE.set(radius);
  gf_setTrafficRange(radius);
  if (prm::RANGE.value() != before) gf_setTbIntText(prm::RANGE);
}

void gf_switchAutoRange(bool wasOn, bool on, bool measureNow) {
  if (on) {
    if (!wasOn) g_manualRange.store(prm::RANGE.value());
    if (measureNow) {
      gf_autoRange();
    } else {
      g_autoRangeRequest.store(true);
    }
    return;
  }
  // Left off, nothing changes: the status line keeps what it shows (such as
  // the warning a learned file's reading has just shown).
  if (!wasOn) return;
  const std::int32_t manual = g_manualRange.load();
  prm::RANGE.set(manual);
  gf_setTrafficRange(manual);
  gf_setTbIntText(prm::RANGE);
  gf_clearStatus();
}
