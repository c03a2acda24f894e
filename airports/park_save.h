// Saving what was learned at the park airport: when the airport is unloaded
// and something was learned (g_learnedUpdates) or a parking setting changed
// (g_apfChanged), its learned file is written, to the path that the reading
// takes it from (lf_learnedPathFor of the park file's path).
//
// The unloading hands the stand list over to a thread of its own, which
// writes the file (when due) and frees the list, so that leaving a large
// airport never holds a pass of the main loop; a park file read started
// after it waits for it.
#pragma once

#include <future>
#include <string>
#include <vector>

#include "airports/stands.h"

// The park file's path or server name as gf_findApfFile gave it for the park
// airport; empty while none is loaded. Run thread only.
extern std::string g_parkApfPath;

// A learned file that the user changed (or wrote) while its airport was
// loaded is never written over: what was learned is merged into it (or, when
// the user deleted it, written in its place without what was read from it);
// a file the read would keep aside (not XML, cut short, without a meta entry)
// is kept aside and saved anew with all that was read and learned; when none
// of that can be (a handmade file on either side, a file that cannot be
// read), what was learned is saved beside it as "<file><this suffix>" (then
// "...2", "...3"), a name the status line shows.
inline constexpr const char* kLearnedBesideSuffix = ".learned";

// Whether a save is due: a park file is loaded, and something was learned or
// a parking setting changed.
bool lf_parkAirportHasChanges();

// Writes the learned file of the park airport from `stands` (taken over: the
// unloading empties the list anyway), on the calling thread. Options of
// origin 1 (from the park file itself, or fake) and stands without options or
// changes (unless manual) are left out, except from a handmade file, which
// keeps every stand and option; the learned file's stands that were not read
// (ParkAirport::keptStands) are written back as they were. An airport whose
// learned file holds what was not read into memory
// (ParkAirport::keepLearnedFile) saves nothing: the file is left as it is,
// with an error line, shown on the status line. The counters are reset
// whether the save succeeds or not; a failure is logged and shown on the
// status line. Returns false when a save was due and failed or was skipped.
bool lf_saveStandFile(std::vector<Stand>&& stands);

// The same on a thread of its own (run thread): what the save needs is taken
// now, and the counters are reset at once. The list is freed there too,
// saved or not.
void lf_saveStandFileOffLoop(std::vector<Stand>&& stands);
// The latest save of lf_saveStandFileOffLoop, finished or not (invalid when
// none was started): saves run one after the other, so waiting for it waits
// for every save.
std::shared_future<bool> lf_pendingSave();
// Waits for every save still running.
void lf_waitForSaves();
