// The distance from a position to the nearest stand of an airport's park file,
// asked by the nearest-airport search when two airports lie close together.
#pragma once

#include <functional>
#include <string>

#include "app/geo.h"

// The distance in nm returned when the airport has no stand (or on any error).
inline constexpr double kNoStandDistanceNm = 100.0;
// Returned instead, to a thread that must not wait for downloads, while the
// airport's park file is still being downloaded.
inline constexpr double kStandDistancePending = -1.0;

// Finds the nearest stand: returns its distance in nm and writes its name into
// standName; returns kNoStandDistanceNm and leaves standName alone when there is none.
using ClosestStandFinder =
    std::function<double(const std::string& icao, const LatLon& position, std::string& standName)>;

// The finder behind gf_readDestApfForClosestStand. Its default finds the
// airport's park file (fetched from the download server when it is not
// local; the download target is "airport.xml" in the working folder) and
// reads only the "id", "latitude" and "longitude" of its stands; tests of the
// nearest-airport search replace it.
extern ClosestStandFinder g_closestStandFinder;
// The default finder, to put back after a test replaced it.
ClosestStandFinder gf_defaultClosestStandFinder();

// Distance in nm from position to the nearest stand of the airport's park file,
// with that stand's name in standName; 100.0 when there is none;
// kStandDistancePending while the file is being downloaded. Never throws.
double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position,
                                     std::string& standName);
