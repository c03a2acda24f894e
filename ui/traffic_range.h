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

// The automatic radius for the user aircraft: 10 nm on the ground, 100 nm
// above AR_ABOVE_HEIGHT, 40 nm above AIRP_HEIGHT, else stepped by the
// distance to the first park airport of the list (10000 nm when the list
// is empty).
std::int32_t gf_autoRangeFor(bool onGround, double heightFeet, double parkAirportNm);

// Run thread (it reads the park airports list): RANGE and the radius in force
// become the automatic radius of the user aircraft (RANGE is not saved); the
// combo shows a change.
void gf_autoRange();

// AUTO_RANGE went from wasOn to on (its checkbox, a learned file, the start of
// a run). Turned on: RANGE, the radius the user set, is kept as the manual
// radius, then the automatic radius is applied: at once on the run thread
// (measureNow), else by the run thread at its next pass. Left on: the
// automatic radius is applied again and the manual radius stays, since RANGE
// is an automatic one by now. Turned off: RANGE and the radius in force are
// the manual radius again, the combo shows it, the status is cleared. Left
// off: nothing changes. RANGE is not saved.
void gf_switchAutoRange(bool wasOn, bool on, bool measureNow);
