// The livery scan: finds every installed AI livery by parsing the aircraft.cfg
// files below the livery folders in parallel tasks, keeps the result in
// LiveriesScanned.xml, writes the scan report and hands the liveries to the
// livery tables.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "scan/livery_data.h"

using LiveryFolderList = std::vector<std::string>;

// The run thread's livery step: scans while SCAN_LIVERIES is on (and then
// switches it off), and hands the liveries to the livery tables once per
// process. Throws the user errors 43, 48 and 53, the runtime error
// "AI_PACKAGE_SELECTOR not set", and file-system errors of the Community folder.
void gf_scanLiveries();

// Fills the list of livery folders by mode (automatic or lfolder0..9).
void lf_selectLiveryFolders(LiveryFolderList& folders);
// The package finders: each appends at most one entry of the Community folder.
void lf_findAigFolder(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_findFsltlFolder(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_findJfFolder(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_findUserAiTrafficFolder(const std::filesystem::path& community, LiveryFolderList& folders);

// Scans the folders; false only when the scan ran to its end and found no
// livery. A fixed pool of at most g_maxTasks workers lists the folders and
// parses the aircraft.cfg files it finds; afterwards the files are put in
// the order of a depth-first walk that takes every folder's entries in byte
// order of their names, and their results are merged file by file in that
// order, so the outcome does not depend on the number of workers or on which
// folder or file was done first. The workers watch the stop flags. A
// sub-folder that cannot be listed is skipped (log line and invalid-files
// line); a livery folder that cannot be listed ends the scan without
// writing anything (lf_lastScanComplete() is then false).
bool lf_scanLiveryFolders(const LiveryFolderList& folders);
// Whether the last lf_scanLiveryFolders walked every folder to its end.
bool lf_lastScanComplete();

// Called with each folder path before the walk lists it; tests make it throw
// a filesystem_error to stand for a folder that cannot be read (which a test
// running with administrator rights cannot otherwise make). Empty normally.
extern std::function<void(const std::filesystem::path&)> g_beforeListingLiveryFolder;

// How long a scan waits for the workers of a stopped scan that still read a
// file (they read what a new scan fills anew); when they are still busy
// then, the scan does not start and the previous liveries are kept. Tests
// shorten it.
extern std::chrono::milliseconds g_leftWorkersWait;

// Seconds spent in each phase of the last scan (for the benchmark).
struct LiveryScanPhases {
  double walkAndParse = 0;  // walk and parse overlap
  double merge = 0;         // task outputs passed on, files merged, duplicate titles decided
  double corrections = 0;   // registration corrections
  double sort = 0;          // prioritized filter, sort, exact duplicates
  double write = 0;         // LiveriesScanned.xml
  double report = 0;        // result files
  double handOver = 0;      // the livery tables
};
extern LiveryScanPhases g_liveryScanPhases;

// Reads LiveriesScanned.xml back and builds the livery tables.
void lf_processScannedLiveries();

// The run thread's step before the scan: when LiveriesScanned.xml is gone and
// SCAN_LIVERIES is off, switch it on ("File {} is gone, rescan liveries").
void lf_checkLiveriesScannedFile();

// Words that keep the walk out of a path (scenery, airports, tools).
inline constexpr const char* kLiveryScanSkipWords[] = {"airport",     "lvfr",       "mkstudios",
                                                       "simwings",    "fsdreamteam", "navigraph",
                                                       "flytampa",    "inibuilds",  "_CVT_"};
// Paths this long or longer are not descended into.
inline constexpr std::size_t kLiveryScanMaxPathLength = 250;
