// Learning which aircraft use which stand, by weekday and half hour.
//
// Each aircraft on a stand has a stay in the stand's realStays (it parked
// there) or softStays (it was seen near the stand), keyed by its hexid: the
// half hour of its last update and the option the stay is recorded into.
// Runs on the traffic thread, which owns g_parkStands.
#pragma once

#include <cstdint>

#include "airports/stands.h"
#include "app/clock.h"
#include "traffic/aircraft.h"

// The half hours since a stay's last update that an update may cover: 12 for
// a cargo aircraft, 8 for a Heavy one, 6 for the others. A longer gap starts
// the stay afresh instead of filling half hours nobody saw.
std::int32_t gf_stayHalfHourLimit(const AircraftIdentity& aircraft);

// One update of the aircraft's stay on the stand at `now`:
// - no stay yet (or a stale one): appends an option for now and starts the
//   stay in it;
// - 1 <= n < limit half hours since the last update: marks those half hours
//   in the stay's option (on a new weekday in yesterday's option and a new
//   option of today) and adds the callsign;
// - the same half hour: nothing.
// Counts every learned change in g_learnedUpdates. Returns whether something
// was learned. An invalid `now` is refused with a log line.
bool lt_addStandOption(Stand& stand, const AircraftIdentity& aircraft, bool real, const DaySlot& now);

// Ends the aircraft's stay on the stand (it left, or was removed); returns
// whether there was one.
bool lt_endStandStay(Stand& stand, std::uint32_t hexid, bool real);
