// What the airport scan leaves behind for an airport found in a BGL file: an
// alias file (ICAO.txt) naming its archived park file on the download server,
// a park file generated from the scenery's stands (ICAO.xml), both, or
// nothing; and the ICAO guess for MSFS 2024 airports without an identifier.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "airports/stands.h"

// The publisher of the simulator's own airports.
inline constexpr std::string_view kSimaddonPublisher = "simaddon";

// Links the airport to its archived park file when the reference database's
// lists know it: writes the alias file and sets g_airportFilesWritten. Fills
// the airport's bglPath, publisher, manufacturer and creator in every case and
// archivedCount (0 unless the publisher's item gave a number). One call at a
// time (the link mutex). Returns whether the airport was linked.
bool lf_linkToArchive(ParkAirport& airport, std::int32_t& archivedCount, const std::string& bglPath);

// The archived name "archive/simaddon/ICAO.xml", and whether the "simaddons20"
// list has the airport.
std::pair<std::string, bool> lf_findArchivedSimaddon(std::string_view icao);
// The archived name "archive/thirdparty/<publisher, blanks as %20>/ICAO.xml",
// and whether the publisher's entry of the current simulator's list has an
// item for the airport (its count goes into archivedCount).
std::pair<std::string, bool> lf_findArchivedThirdparty(const std::string& publisher, std::string_view icao,
                                                       std::int32_t& archivedCount);

// The last step of an airport record: the stand-count comparison with the
// archived file, and the generated file unless the archived one serves.
void lf_finishAirport(ParkAirport& airport, bool linked, std::int32_t archivedCount, std::int32_t helipadCounter);

// Writes the generated park file of an airport with stands into its folder
// ("my_simaddon" for the publisher "simaddon", else "my_thirdparty").
// helipadCounter is one more than the number of helipads among the stands.
void lf_generateAirportFile(ParkAirport& airport, std::int32_t helipadCounter);

// A BGL file with an airport record without identifier (MSFS 2024): guesses
// the ICAO and links the airport to the archive.
void lf_processUnrecognisedAirport(const std::string& bglPath);
// The guess: the file's stem, the package title, or "-ICAO-" in the path;
// "" when none fits.
std::string lf_guessUnrecognisedIcao(const std::string& bglPath);
