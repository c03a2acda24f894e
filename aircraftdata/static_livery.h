// The livery of a static parked aircraft: chosen among the installed liveries
// of the livery tables only, so the simulator can always create it.
#pragma once

#include "airports/stands.h"
#include "traffic/aircraft.h"

// Chooses a livery title for the static from its identity and writes it into
// the identity; false (the identity unchanged) when no installed livery fits.
// In this order:
//   1. the livery bound to its registration;
//   2. a livery of its airline and type;
//   3. a livery of its airline on a type similar to its own;
// each time first among the cargo liveries when the aircraft or its stand is
// cargo, else first among the passenger liveries, then among the others.
// Among several titles one is drawn (gf_randomIndex: the first with RANDOM off).
bool gf_matchLiveryStatic(ParkedAircraft& aircraft, const Stand& stand);
