// Park airport switching: the 16-second step of the static parking. It makes
// an airport the park airport (the user aircraft stands on the ground at it,
// or a listed park airport comes into sight while flying), reads its park
// file and starts the calculation, and unloads it again when the user flies
// out of sight or a nearer listed park airport comes into sight.
//
// Run (traffic) thread only. The park file of a large airport takes longer to
// read than a 10 ms pass of the main loop, so it is read on a thread of its
// own into a stand list of its own; gf_staticParkingWork, called once per
// main-loop pass, takes the result in (one move of the list) and advances
// the calculation by a slice per pass.
#pragma once

#include <string>

#include "app/geo.h"

// A park airport was chosen: the next step reads its file and calculates.
extern bool g_parkReloadRequest;

// The step: every 16 s of the second count, and once with firstTime before
// the main loop starts.
void lf_staticParkingStep(bool firstTime);
// Chooses a park airport when none is loaded.
void lf_userAircraftAirport(const LatLon& user, bool firstTime);
// Unloads the park airport when it is out of sight, or when a nearer listed
// park airport is in sight (only while the user aircraft flies).
void lf_parkAirportInSight(const LatLon& user);

// Loads the airport's position and elevation from the airport list into
// g_parkAirport; false (nothing changed) when the list has no such ICAO.
bool lf_setParkAirport(const std::string& icao);
// Unloads the park airport: hands its stands to the save of what it learned
// (lf_saveStandFileOffLoop), then forgets the airport, its candidates and any
// read or search of it still in progress.
void lf_clearParkAirport();
// Empties the stand list and starts reading the park airport's file off the
// main loop; gf_staticParkingWork finishes it.
void lf_readParkedFile();
// A park file is being read.
bool lf_parkFileReadPending();
// Prepares a calculation: the parking controls disabled, the traffic
// reader's callsign collection started; with firstTime a status text.
void lf_startCalculation(bool firstTime);

// Once per main-loop pass (run thread): carries out the park airports
// requests of other threads, takes in a finished park file read, and
// advances a search in progress by one slice. Returns at once when idle.
void gf_staticParkingWork();
// Waits for a save of an unloaded airport and for park file reads still
// running, and takes them in (the end of a run, tests).
void gf_waitForParkFileRead();
