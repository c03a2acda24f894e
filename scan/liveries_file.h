// LiveriesScanned.xml in the folder "output": the installed liveries of the
// last scan, so that a later start-up can take them from the file instead of
// scanning the packages again.
#pragma once

#include <cstdint>

#include "scan/livery_data.h"

// The scanned liveries, in scan order (gf_liveryLess). Touched by the run
// thread only: filled by the scan or by lf_readLiveriesXml.
extern ScannedLiveryList g_scannedLiveries;

// Writes g_scannedLiveries to g_liveriesScannedPath: the meta block, then
// "liveries" with one "liv" per livery (attributes "airl", "type", "cargo"
// only for cargo, "title", "atcid" only with a registration). An empty list
// writes nothing. The file is written piece by piece into a temporary file
// that replaces it at the end. false when it could not be saved (logged; the
// previous file stays).
bool lf_writeLiveriesScanned();

// The largest LiveriesScanned.xml that is read (about ten times what a very
// large installation writes).
inline constexpr std::uintmax_t kLiveriesFileMaxBytes = std::uintmax_t{1} << 30;

// Replaces g_scannedLiveries by the liveries of g_liveriesScannedPath, sorted,
// each with folder rank 0, and reads the meta "author", "date" and "version".
// Throws qor::UserErrorException:
//   51  the file cannot be loaded (missing or not well-formed),
//   52  no top-level "liveries" element,
//   999 a "liv" without "airl", "type" or "title",
//   533 no "liv" element at all.
void lf_readLiveriesXml();
