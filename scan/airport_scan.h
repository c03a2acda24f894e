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
// Empties the scan log, as a scan does at its start (tests).
void gf_resetAirportScanLogForTests();

// Set whenever the scan linked an airport to the archive or wrote a generated
// park file; cleared only by a simulator switch.
extern std::atomic<bool> g_airportFilesWritten;
// The number of entries of "TBLO" after the last scan (0 when empty).
extern std::atomic<std::int64_t> g_tbloCount;

// The folders the scan writes alias and generated files into. Outside a scan
// they are the live folders ("airports/my_simaddon", "airports/my_thirdparty");
// during a scan fresh folders beside them, whose files move into the live
// folders at its end. Of the previous files, the scan removes those it did
// not make again unless a part it could not read may have made them: in
// "my_thirdparty" only the files a scan made (listed, each with what it
// held and the BGL file it came from, in
// "airports/scanned_airport_files.txt"), so the user's own park files stay;
// in "my_simaddon" all in MSFS 2020 mode and none in MSFS 2024 mode (the
// downloaded package's files stay). A file of the user's in "my_thirdparty"
// that a generated one replaces, or a file the scan made there that the user
// has changed since and that the scan replaces or removes, is first copied
// aside ("EGLL.xml.user", then "EGLL.xml.user2" ...). Set on the run thread
// before tasks start.
struct AirportScanFolders {
  std::filesystem::path simaddon;
  std::filesystem::path thirdparty;
};
AirportScanFolders gf_airportScanFolders();

// The run thread's step: runs the scan when SCAN_AIRPORTS is on and no stop
// is pending, then counts the add-on airport files for the window's header
// ("# simaddon", "# thirdp") and the airports waiting in "TBLO".
void gf_airportScanStep();

// The scan itself. A complete scan switches SCAN_AIRPORTS off; so does a
// partial one (a root, folder or file it could not read whole), which keeps
// the previous files that the unread parts may have made and says so on the
// status line. One that was stopped or could not put its files in place
// keeps the previous files and leaves the setting on. Every scan ends its log
// with the closing banner. Throws file-system errors.
void gf_scanAddonAirports();

// The root folders: in MSFS 2020 mode "Official" then "Community", in MSFS
// 2024 mode "Community" alone (each only when its path is not empty).
std::vector<std::string> lf_airportScanRoots();
// How a scan ended. A complete scan replaces the previous files; a partial
// one moves its files in and keeps the previous ones that what it could not
// read may have made; a stopped one leaves the live folders as they were;
// one not committed leaves every airport its new or its previous file.
enum class ScanEnd {
  complete,
  partial,       // a root, a folder or a file could not be read whole, and previous files were kept for it
  stopped,       // a close or stop
  notCommitted,  // the files could not all be put in place (the error names the file)
};
// Runs the scan over the roots; returns g_airportFilesWritten.
bool lf_runAirportsScan(const std::vector<std::string>& roots, ScanEnd& end);
// The filters of the walk: a path that is not descended into (a skip word or
// 250 characters and more), and the BGL file extension (".BGL" or ".bgl").
bool lf_isExcludedScanPath(std::string_view path);
bool lf_isBglFile(std::string_view extension);

// Notes, inside a task, that it wrote a file of this name into the scan's
// "my_simaddon" (simaddon) or "my_thirdparty" folder.
void gf_scanFileMade(bool simaddon, const std::string& fileName);

// The task body for one BGL file: reads its airports and hands each to the
// archive link and the file generation. Logs "Exception in lf_processBGLfile:
// {}" before an exception leaves it.
void lf_processBGLfile(const std::filesystem::path& path);

// Copies the park files of the listed airports of "my_thirdparty" (those the
// scan generated; during a scan in its fresh folder) that are worth offline
// learning into "TBLO" and sets g_tbloCount, showing on the status line which
// airport it checks. "TBLO" keeps its previous content until the check has
// gone through every airport. Returns false when a close or stop ended it
// first.
bool lf_collectTbloAirports(const std::vector<std::string>& icaos);

// Walk skip words (case-sensitive substrings of the path).
inline constexpr const char* kAirportScanSkipWords[] = {
    "fs-base",    "tutorials",     "aircraft",      "bushtrip", "discovery",          "point-of-interest", "simobjects",
    "vcockpits",  "aig-aitraffic", "justflight-aicraft", "fsltl", "gsx-pro", "gsx-world", "landingchallenge"};
// BGL file skip words (case-sensitive substrings of the path).
inline constexpr const char* kBglSkipWords[] = {"statics", "AFCAD Updates", "_heliports"};
inline constexpr std::size_t kAirportScanMaxPathLength = 250;
