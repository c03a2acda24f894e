// The add-on airport scan: walks the simulator's package folders, reads every
// BGL file that may hold airports in a parallel task, links each airport to
// its archived park file or generates one from the scenery's stands, keeps a
// scan log (output/info/AirportsScanLog.txt) and ends with the airports that
// still need offline learning (the folder "TBLO").
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Appends one line to the in-memory scan log, written to AirportsScanLog.txt
// at the end of a scan; callable from any thread (its own mutex, a leaf lock).
// While a task reads a BGL file, its lines past kAirportScanMaxLinesPerFile
// are counted instead, in one line at the end of the file.
void gf_airportsScanLog(std::string line);
// A file of a million airport records gives millions of lines otherwise.
inline constexpr std::size_t kAirportScanMaxLinesPerFile = 10000;
// A copy of the scan log (tests and the demo).
std::vector<std::string> gf_airportScanLogLines();

// Set whenever the scan linked an airport to the archive or wrote a generated
// park file; cleared only by a simulator switch.
extern std::atomic<bool> g_airportFilesWritten;
// The number of entries of "TBLO" after the last scan (0 when empty).
extern std::atomic<std::int64_t> g_tbloCount;

// The folders the scan writes alias and generated files into. Outside a scan
// they are the live folders ("airports/my_simaddon", "airports/my_thirdparty");
// during a scan fresh folders beside them. Only a complete scan changes the
// live folders, so an interrupted scan keeps the previous files: it removes
// from "my_thirdparty" the files the previous complete scan made (listed in
// "airports/scanned_airport_files.txt"), so the user's own park files stay,
// empties "my_simaddon" in MSFS 2020 mode (in MSFS 2024 mode the downloaded
// package's files there stay), and moves its own files in.
// Set on the run thread before tasks start.
struct AirportScanFolders {
  std::filesystem::path simaddon;
  std::filesystem::path thirdparty;
};
AirportScanFolders gf_airportScanFolders();

// The run thread's step: runs the scan when SCAN_AIRPORTS is on and no stop
// is pending, then counts the add-on airport files for the window's header
// ("# simaddon", "# thirdp") and the airports waiting in "TBLO".
void gf_airportScanStep();

// The scan itself. A complete scan switches SCAN_AIRPORTS off; one that was
// stopped or could not walk a root to its end keeps the previous files and
// leaves the setting on. Throws file-system
// errors and user error 5 (a folder that cannot be emptied).
void gf_scanAddonAirports();

// The root folders: in MSFS 2020 mode "Official" then "Community", in MSFS
// 2024 mode "Community" alone (each only when its path is not empty).
std::vector<std::string> lf_airportScanRoots();
// How a scan ended. Only a complete scan changes the live folders.
enum class ScanEnd {
  complete,
  stopped,     // a close or stop
  unfinished,  // a root folder could not be walked to its end
};
// Runs the scan over the roots; returns g_airportFilesWritten.
bool lf_runAirportsScan(const std::vector<std::string>& roots, ScanEnd& end);
// The filters of the walk: a path that is not descended into (a skip word or
// 250 characters and more), and the BGL file extension (".BGL" or ".bgl").
bool lf_isExcludedScanPath(std::string_view path);
bool lf_isBglFile(std::string_view extension);

// The task body for one BGL file: reads its airports and hands each to the
// archive link and the file generation. Logs "Exception in lf_processBGLfile:
// {}" before an exception leaves it.
void lf_processBGLfile(const std::filesystem::path& path);

// Copies the park files of the listed airports of "my_thirdparty" (those the
// scan generated; during a scan in its fresh folder) that are worth offline
// learning into "TBLO" and sets g_tbloCount, showing on the status line which
// airport it checks. Returns false when a close or stop ended it first.
bool lf_collectTbloAirports(const std::vector<std::string>& icaos);

// Walk skip words (case-sensitive substrings of the path).
inline constexpr const char* kAirportScanSkipWords[] = {
    "fs-base",    "tutorials",     "aircraft",      "bushtrip", "discovery",          "point-of-interest", "simobjects",
    "vcockpits",  "aig-aitraffic", "justflight-aicraft", "fsltl", "gsx-pro", "gsx-world", "landingchallenge"};
// BGL file skip words (case-sensitive substrings of the path).
inline constexpr const char* kBglSkipWords[] = {"statics", "AFCAD Updates", "_heliports"};
inline constexpr std::size_t kAirportScanMaxPathLength = 250;
