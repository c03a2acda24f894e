// The quality factors of the park airport: how well its learned stand
// options cover its stands, one number 0..100 for the real options and one
// for the soft options.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "airports/stands.h"

// {real, soft}; {-1, -1} when there are no stands or no stand has any option
// (options out of play count here).
std::pair<std::int32_t, std::int32_t> gf_computeQualityFactors(const std::vector<Stand>& stands);
