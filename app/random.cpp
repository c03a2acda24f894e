#include "app/random.h"

#include "app/settings.h"

namespace {
std::mt19937& threadGenerator() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return generator;
}
}  // namespace

std::mt19937& gf_rng() { return threadGenerator(); }

void gf_seedRng(std::uint32_t seed) { threadGenerator().seed(seed); }

std::size_t gf_randomIndex(std::size_t n) {
  if (!prm::RANDOM.value() || n < 2) return 0;
  return static_cast<std::size_t>(threadGenerator()()) % n;
}

double gf_randomizePercent(double v, double p) {
  if (p <= 0.0) return v;
  const double delta = v * p / 100.0;
  return (threadGenerator()() & 1u) != 0 ? v + delta : v - delta;
}
