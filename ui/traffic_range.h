// The traffic radius: how far around the user aircraft live traffic is shown.
// It follows RANGE, or the automatic radius while AUTO_RANGE is on.
#pragma once

#include <atomic>
#include <cstdint>

// The radius in force: nautical miles (40.0 at start) and metres (nm x 1852).
extern std::atomic<double> g_rangeNm;
extern std::atomic<std::int32_t> g_rangeMeters;
// The RANGE value kept while AUTO_RANGE is on, given back when it is turned off.
extern std::atomic<std::int32_t> g_manualRange;

// Sets the radius in force to nm nautical miles (and nm x 1852 metres).
void gf_setTrafficRange(double nm);

// Recomputes the automatic radius from the user aircraft's height. Until the
// simulator link reports the height it keeps the radius in force.
void gf_autoRange();
