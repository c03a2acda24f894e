// The livery scan's report lists and result files.
//
// The aircraft.cfg parse tasks append problem lines to the report lists from
// many threads at once (each list has its own mutex; no function here takes
// two of them at a time, so they have no place in the lock order relative to
// each other and are always innermost). After the scan the run thread writes
// each list into its own result file below "output" and logs one summary line
// per file.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "scan/livery_data.h"

// Result files, relative to the program's folder. LiveriesScanned.xml is
// g_liveriesScannedPath in app/files.h.
extern const std::filesystem::path g_noFltsimSectionLogPath;           // output\info\AircraftCfgWithNoFltsimSection.txt
extern const std::filesystem::path g_airlineModelConversionsLogPath;   // output\info\AirlineModelConversions.txt
extern const std::filesystem::path g_inlineRegcodesLogPath;            // output\errors\InlineRegcodes.txt
extern const std::filesystem::path g_invalidAirlineCodesLogPath;       // output\errors\InvalidAirlineCodes.txt
extern const std::filesystem::path g_invalidAircraftCodesLogPath;      // output\errors\InvalidAircraftCodes.txt
extern const std::filesystem::path g_fixesLogPath;                     // output\errors\Fixes.txt
extern const std::filesystem::path g_invalidAircraftCfgFilesLogPath;   // output\errors\InvalidAircraftCfgFiles.txt
extern const std::filesystem::path g_incompleteFltsimSectionsLogPath;  // output\errors\IncompleFltsimSections.txt

// The report lists of one scan.
enum class ScanReport {
  NoSection,           // aircraft.cfg files without any [fltsim.x] section
  InvalidFiles,        // aircraft.cfg files that cannot be used
  IncompleteSections,  // [fltsim.x] sections dropped or doubtful
  InvalidAirlines,     // icao_airline values that are no known airline
  InvalidTypes,        // aircraft types neither valid nor fixable
  CodeFixes,           // aircraft types replaced by their fix
  LiveriesUpdated,     // liveries corrected from the registration records
};

// Thread-safe appends, one per list. Each takes the list's own mutex.
void gf_reportNoSection(std::string line);
void gf_reportInvalidFile(std::string line);
void gf_reportIncompleteSection(std::string line);
void gf_reportInvalidAirline(std::string line);
void gf_reportInvalidType(std::string line);
void gf_reportCodeFix(std::string line);
void gf_reportLiveryUpdated(std::string line);
void gf_reportAppend(ScanReport list, std::string line);

// What one parse task reported: its report lines and log lines, kept apart
// while the task runs so that the scan can pass them on file by file in walk
// order (the same result files and the same log whatever the number of
// workers and whichever task ends first).
struct ScanTaskOutput {
  std::vector<std::pair<ScanReport, std::string>> reports;
  std::vector<std::pair<bool, std::string>> logLines;  // (error line, text)
};

// While alive, the report lines and scan log lines of this thread go into the
// output instead of the lists and the log. Nests.
class ScanTaskCapture {
 public:
  explicit ScanTaskCapture(ScanTaskOutput& output);
  ~ScanTaskCapture();
  ScanTaskCapture(const ScanTaskCapture&) = delete;
  ScanTaskCapture& operator=(const ScanTaskCapture&) = delete;

 private:
  ScanTaskOutput* m_previous;
};

// Appends the captured report lines to their lists and writes the log lines,
// in the order they were made; empties the output.
void gf_passOnScanTaskOutput(ScanTaskOutput& output);

// The log lines of the parse tasks: captured while a capture is active on the
// thread, else written at once (error lines behind "===> ").
void gf_scanLogText(bool error, std::string text);
template <typename... Args>
void gf_scanLog(fmt::format_string<Args...> format, Args&&... args) {
  gf_scanLogText(false, fmt::format(format, std::forward<Args>(args)...));
}
template <typename... Args>
void gf_scanLogError(fmt::format_string<Args...> format, Args&&... args) {
  gf_scanLogText(true, fmt::format(format, std::forward<Args>(args)...));
}

// A copy of one list, taken under its mutex.
std::vector<std::string> gf_reportLines(ScanReport list);

// Empties every list, the code fixes included: the next scan resolves the
// same types again and would otherwise list (and count) each fix twice.
// Called after the report of a scan (by lf_clearLiveries) and by tests.
void gf_clearScanReports();

// Removes the previous scan's result files (not AirlineModelConversions.txt),
// then the folder output\errors when it is empty. The first failure ends the
// sequence and is logged. Never throws.
void lf_removeResultFiles();

// Corrects g_scannedLiveries in place, in list order, from the registration
// records of the reference database (cargo flag, airline or operator, type)
// and puts one line per change in the liveries-updated list. A livery marked
// DbaseFix::None is passed over, and so is, when candidates is given (one
// flag per livery), every livery whose flag is off. Returns, per livery,
// whether its airline or type changed (its place in scan order may have
// moved).
std::vector<bool> lf_logCodeFixes(const std::vector<bool>* candidates = nullptr);

// Marks the livery with what the reference database says of it (DbaseFix);
// the scan's workers call it for every record they make.
void gf_markDbaseFix(LiveryData& livery);

// Writes the error lists, the information lists and their summary lines to
// the log. A failure to create output\errors propagates.
void lf_writeScanReport();

// Writes the code-fixes list into Fixes.txt, creating output\errors first.
// Never throws.
void lf_writeFixesFile();
