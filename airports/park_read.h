// Reading the park airport: its park file (local, or fetched from the
// download server), its learned file laid over it, quality factors, fake
// traffic, stand ids, adjacency, and the airport panel of the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "airports/stands.h"

// The park airport's file record: ICAO (empty while no park airport is set),
// airport name, publisher, altitude and quality factors. Its own stand list
// stays empty: the stands live in g_parkStands. Run thread only.
extern ParkAirport g_parkApf;
// The park file's "RT_traffic_week" (0 when absent).
extern std::atomic<std::int32_t> g_rtTrafficWeek;
// The park file has changes to save (its learned file is written when the
// airport is unloaded).
extern std::atomic<bool> g_apfChanged;
// The park airport's elevation in feet, as read from its park file.
extern std::atomic<double> g_parkElevation;

// Where a park file named on the download server is fetched to.
inline constexpr const char* kParkAirportDownload = "park_airport.xml";

// Reads the park file at path (a local path beginning with "airports", or a
// name on the download server such as "archive/stock/EGLL.xml") into stands,
// merging the airport's learned file, and fills airport (name, publisher,
// altitude) and qualityFactors. The caller sets airport.icao and empties the
// stand list, the name, the publisher and the handmade flag first.
//
// Returns "" on success, "no stands found" for a file without stands, or the
// error text ("gf_readApf: xml is empty", "... no park airport set", a failed
// download, "... could not load file: ...", "... refused to load
// (copyright)", "gf_readApf: <exception text>"). The user errors 65 (no
// "altitude") and 94 (a stand id twice) are thrown to the caller. The stands
// and the airport record change only when the file was read whole: after an
// error they are as the caller left them.
std::string gf_readApf(const std::string& path, ParkAirport& airport,
                       std::pair<std::int32_t, std::int32_t>& qualityFactors,
                       std::vector<Stand>& stands);

// For every ordered pair of different stands whose distance x 1.1 is less
// than the sum of their radii, the second's id goes into the first's list
// (in list order). Returns false, with the lists half made, when stop is set
// meanwhile.
bool lf_linkAdjacentStands(std::vector<Stand>& stands, const std::atomic<bool>* stop = nullptr);
