// The static parking's selection: which stands of the park airport get a
// static aircraft and which learned aircraft stands on each. The wanted
// number of statics is sought in the stand options of the current weekday
// and half hour, widening the window half an hour at a time up to MAX_FIT,
// first among the real options, then, when still short, among the soft ones.
// The result is g_staticCandidates.
//
// Everything runs on the traffic (run) thread. A search over a large airport
// takes longer than one 10 ms pass of the main loop, so it is kept as a
// search in progress that gf_staticParkingWork advances by a slice per pass
// (lf_beginSearchRealThenSoft); lf_searchRealThenSoft runs one to its end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "airports/static_candidate.h"
#include "airports/stands.h"
#include "app/clock.h"
#include "feed/traffic_reader.h"

// The callsigns heard in the traffic feed while the calculation was prepared.
extern CallsignSet g_liveCallsigns;
// The fits reached by the last search: the real pass (0 at the start) and
// the soft pass (-1 while it did not run). The renewal reads them; run
// thread only.
extern std::uint32_t g_realPassFit;
extern std::int32_t g_softPassFit;

// Option kinds of a search.
inline constexpr int kSearchSoft = 0;
inline constexpr int kSearchReal = 1;
// The slice of one main-loop pass that a search in progress may take.
inline constexpr std::chrono::microseconds kSearchSlice{2000};

// The current weekday and half hour, logged as
// "\n<hh:mm:ss> (utc) It is day <d> (<Mon>), <h> hours".
DaySlot lf_announceDaySlot();
// Takes over the callsigns the traffic reader collected: its collection
// stops, and they replace g_liveCallsigns.
void lf_takeLiveCallsigns();
// Marks the reserved stand and the stand under the user aircraft excluded.
void lf_excludeReservedAndUserStand();
// Whether the aircraft of an option is already shown, flying or chosen (see
// the tests in the .cpp). Empty callsigns and registrations never match.
bool lf_isOptionInUse(const StandOption& option);
// Whether the callsign (or it with a trailing "_") was heard in the traffic
// feed: its aircraft flies or taxis live. An empty callsign never was.
bool lf_heardLive(const std::string& callsign);
// Whether the option's aircraft is still on the stand in the half hour after
// `now`: the option's next half hour on the same weekday; after the last half
// hour, an option of the next weekday with the same airline and type from
// half hour 0.
bool lf_staysNextHalfHour(const Stand& stand, const StandOption& option, const DaySlot& now);

// Both passes, run to the end. occupied: the stands that already carry an
// aircraft (0 for a full calculation, the parked live aircraft at a renewal).
void lf_searchRealThenSoft(const DaySlot& now, std::int32_t wanted, std::int32_t occupied);

// The same search, spread over main-loop passes: it starts here and is
// advanced by lf_continueSearch; whenDone runs on the run thread once it has
// finished (it may start another search). A search begun while one is in
// progress replaces it (whose whenDone then never runs).
void lf_beginSearchRealThenSoft(const DaySlot& now, std::int32_t wanted, std::int32_t occupied,
                                std::function<void()> whenDone);
// Works on the search in progress for about `budget` (at least one stand);
// returns true when no search is left in progress.
bool lf_continueSearch(std::chrono::steady_clock::duration budget);
bool lf_searchRunning();
// Drops the search in progress without running its whenDone (unloading).
void lf_cancelSearch();

// The full calculation after a park file was read: clears the marks, excludes
// the reserved and user stands, takes over the live callsigns, and begins the
// search for the wanted count. When the search has finished, the candidates
// are cut to the wanted count and put in placement order, and the busy state
// is set (or, without candidates, cleared).
void lf_calcStaticParking();

// Gives the stand's options the ids 1, 2, 3 ... in list order (bringing back
// those a search put out of play) and moves every stay of the stand along
// with its option, so that no stay comes to point at another option.
void lf_renumberStandOptions(Stand& stand);
