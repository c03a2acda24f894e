#include "airports/quality.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include <gsl/narrow>

namespace {

// A stand's weight in the mean. Every stand of real size (radii of metres to
// tens of metres, far below 7 nm) weighs the same, so each factor is the
// plain mean of the stand scores.
double lf_standWeight(const Stand& stand) {
  if (stand.radius <= 7.0) return 0.3;
  if (stand.radius <= 10.0) return 1.5;
  return 1.0;
}

// The score of one class of a stand's options: the count, the weekdays and
// the learned half hours; 0 without options of the class.
double lf_classScore(const Stand& stand, std::uint32_t real) {
  std::uint32_t count = 0;
  std::uint32_t dayMask = 0;
  double bits = 0.0;
  for (const StandOption& option : stand.options) {
    if (option.id == 0 || option.real != real) continue;
    ++count;
    if (option.day >= 1 && option.day <= 7) dayMask |= 1u << option.day;
    bits += std::popcount(option.hours);
  }
  if (count == 0) return 0.0;
  const double days = std::popcount(dayMask);
  return std::min(count * 20.0, 4000.0) + 10000.0 + days * 100.0 + 2.0 * std::min(bits, 600.0);
}

std::int32_t lf_factor(double sum, double weight) {
  const auto value = gsl::narrow<std::int32_t>(std::round(sum / weight * 0.00625));
  return std::clamp(value, 0, 100);
}

}  // namespace

std::pair<std::int32_t, std::int32_t> gf_computeQualityFactors(const std::vector<Stand>& stands) {
  const bool anyOption = std::any_of(stands.begin(), stands.end(), [](const Stand& s) { return !s.options.empty(); });
  if (!anyOption) return {-1, -1};
  double sumReal = 0.0;
  double sumSoft = 0.0;
  double sumWeight = 0.0;
  for (const Stand& stand : stands) {
    const double weight = lf_standWeight(stand);
    sumWeight += weight;
    sumReal += lf_classScore(stand, 1) * weight;
    sumSoft += lf_classScore(stand, 0) * weight;
  }
  return {lf_factor(sumReal, sumWeight), lf_factor(sumSoft, sumWeight)};
}
