// Saving what was learned at the park airport: when the airport is unloaded
// and something was learned (g_learnedUpdates) or a parking setting changed
// (g_apfChanged), its learned file is written, to the path that the reading
// takes it from (lf_learnedPathFor of the park file's path).
#pragma once

#include <string>
#include <vector>

#include "airports/stands.h"

// The park file's path or server name as gf_findApfFile gave it for the park
// airport; empty while none is loaded. Run thread only.
extern std::string g_parkApfPath;

// Writes the learned file of the park airport from `stands` (the stand list,
// taken over: the unloading empties it anyway). Options of origin 1 (from
// the park file itself, or fake) are left out unless the file is handmade;
// stands without options or changes are left out unless manual. On success
// the counters are reset; a failed save keeps them, so the next save tries
// again. Only while a park file is loaded and something is to be saved.
// Returns false when a save was due and failed.
bool lf_saveStandFile(std::vector<Stand>&& stands);
// The last save failed: the next park file read keeps the update counter, so
// that the next unloading saves again.
bool lf_saveRetryPending();
// Whether lf_saveStandFile would write now.
bool lf_parkAirportHasChanges();
