// The park airports list: the airports at which static parking may be set
// up, each with the user's reserved stand there, read from
// "airports/my_park_airports.txt" and the "my_thirdparty" folder, kept in
// order of distance from the user aircraft (its first entry is the candidate
// park airport).
//
// The list and the reserved stand belong to the run thread. Other threads
// (the window, the simulator link) hand their changes over as requests,
// which the run thread carries out in gf_runParkAirportRequests.
#pragma once

#include <cstddef>
#include <filesystem>
#include <list>
#include <string>
#include <string_view>

#include "airports/airport_list.h"
#include "app/geo.h"

// One park airport of the list.
struct ParkAirportEntry {
  std::string icao;
  std::string stand;      // the reserved stand name; may be empty
  LatLon pos;             // from the airport list
  double distance = 0.0;  // nm from the user aircraft; 0 when created
};

// Run thread only.
extern std::list<ParkAirportEntry> g_parkAirports;
// The reserved stand of the park airport: the name of its list entry's stand
// when the park file has a stand of that name, else empty. Run thread only.
extern std::string g_reservedStand;

inline constexpr std::string_view kMyParkAirportsName = "my_park_airports.txt";
// More listed airports than this cost much time at every step: the user is warned.
inline constexpr std::size_t kManyParkAirports = 3000;
// The largest list file that is read.
inline constexpr std::uintmax_t kMyParkAirportsMaxBytes = std::uintmax_t{16} << 20;

// "airports/my_park_airports.txt".
std::filesystem::path gf_myParkAirportsPath();

// Empties the list and reads the file and the "my_thirdparty" folder into it.
// A missing file is logged ("<path> not found"; one that exists but cannot be
// read also gets an error line); wrong lines, repeated and unknown ICAO codes
// are skipped with their log or status lines. False when an error stopped the
// reading, a missing "my_thirdparty" folder among them (logged; the list
// stays as far as it was read).
bool lf_readMyParkAirports();
// Appends the airports whose files lie in "airports/my_thirdparty" (the file
// name's stem is the ICAO) and are not listed yet. Throws filesystem_error
// when the folder cannot be walked.
void lf_addThirdpartyParkAirports();
// Writes the list's first entry into the file: replaces the line of its ICAO
// or adds one, then writes the lines sorted and without repeats. The file is
// replaced atomically; a file that exists but cannot be read is left alone
// (logged). Returns whether the file was written.
bool lf_updateMyParkAirports();
// Re-reads the list ("Re-read") and, when checkStand is set, brings the
// reserved stand of the loaded park airport up to date. text gets what the
// status line shows. False when the list could not be read.
bool lf_checkParkAirports(bool checkStand, std::string& text);
// The destination becomes the first entry; a new one is also written into
// the file.
void lf_setDestinationParkAirport(const std::string& icao, const LatLon& position);

// --- Requests from other threads (thread-safe) ---
// The user's stand at the park airport was learned at a flight reload or a
// simulator stop (the simulator link); empty when the user stood on none.
void gf_requestReservedStand(std::string standName);
// The user entered a destination (the window).
void gf_requestDestinationParkAirport(std::string icao, const LatLon& position);
// Carries out the pending requests in the order they came (run thread).
void gf_runParkAirportRequests();
// Stores the user's stand at the park airport into the first entry when that
// is the park airport and the stand differs, and writes the file (run thread).
// An empty name (the user stood on no stand) clears the entry's stand.
void lf_storeReservedStand(const std::string& standName);
