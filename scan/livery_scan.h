// The livery scan: finds every installed AI livery by parsing the aircraft.cfg
// files below the livery folders in parallel tasks, keeps the result in
// LiveriesScanned.xml, writes the scan report and hands the liveries to the
// livery tables.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
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

// Scans the folders; false only when the scan ran to its end and found no livery.
bool lf_scanLiveryFolders(const LiveryFolderList& folders);
// Walks one folder with its rank and merges its liveries into g_scannedLiveries.
// Logs its own errors and never throws them.
void lf_scanLiveryFolder(std::uint32_t rank, const std::string& folder);
// Starts one scan task on a thread of its own, detached at once. A task slot
// is taken before the start (waiting for a free one) and given back exactly
// once when the body ends, whether it returns or throws; its result or
// exception arrives through the future.
using LiveryFuture = std::future<LiveryList>;
LiveryFuture gf_startLiveryTask(std::function<LiveryList()> body);

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
