// The two tests that decide whether a generated park file of another
// publisher is worth offline learning (copied into "TBLO" by the airport scan).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Whether the archive's stock park file of the airport has a quality factor
// and live traffic in at least 27 half-hour slots of the week
// ("RT_traffic_week"). Downloads "archive/stock/ICAO.xml" of the "MSFS/"
// folder into ICAO.xml in the working folder and removes it after reading; a
// close or stop aborts the download (false). A failing removal throws
// filesystem_error.
bool gf_checkOfflineLearningCandidate(std::string_view icao);

// "" when the park file names its publisher (anything but "unknown"), or for
// "unknown" a manufacturer or creator of 4 or more characters; otherwise
// "manufacturer=..., creator=..."; "'<path>' not found)" when the file cannot
// be loaded.
std::string gf_readApfManufacturer(const std::filesystem::path& path);

// The lowest "RT_traffic_week" of a candidate.
inline constexpr int kOfflineLearningMinTrafficWeek = 27;
