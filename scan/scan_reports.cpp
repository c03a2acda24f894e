#include "scan/scan_reports.h"

#include <algorithm>
#include <array>
#include <exception>
#include <system_error>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "app/log.h"
#include "app/text.h"
#include "scan/liveries_file.h"

namespace fs = std::filesystem;

const fs::path g_noFltsimSectionLogPath = fs::path("output") / "info" / "AircraftCfgWithNoFltsimSection.txt";
const fs::path g_airlineModelConversionsLogPath = fs::path("output") / "info" / "AirlineModelConversions.txt";
const fs::path g_inlineRegcodesLogPath = fs::path("output") / "errors" / "InlineRegcodes.txt";
const fs::path g_invalidAirlineCodesLogPath = fs::path("output") / "errors" / "InvalidAirlineCodes.txt";
const fs::path g_invalidAircraftCodesLogPath = fs::path("output") / "errors" / "InvalidAircraftCodes.txt";
const fs::path g_fixesLogPath = fs::path("output") / "errors" / "Fixes.txt";
const fs::path g_invalidAircraftCfgFilesLogPath = fs::path("output") / "errors" / "InvalidAircraftCfgFiles.txt";
const fs::path g_incompleteFltsimSectionsLogPath = fs::path("output") / "errors" / "IncompleFltsimSections.txt";

namespace {

constexpr std::size_t kListCount = 7;

// The report lists, each with its own mutex (a leaf lock). Function-local so
// the lists exist before any static initialiser of another file could report
// into them.
std::array<LockedLines, kListCount>& lf_lists() {
  static std::array<LockedLines, kListCount> lists;
  return lists;
}

LockedLines& lf_list(ScanReport which) { return lf_lists()[static_cast<std::size_t>(which)]; }

// Writes one result file. A file that cannot be written is not fatal for the
// scan, but it is logged, since the summary line points the user at it.
void lf_writeResultFile(const fs::path& path, const std::vector<std::string>& lines) {
  if (!gf_writeLines(path, lines)) gf_logError("could not write '{}'", path.string());
}

}  // namespace

namespace {
// The capture of this thread's parse task, if any.
thread_local ScanTaskOutput* t_capture = nullptr;
}  // namespace

ScanTaskCapture::ScanTaskCapture(ScanTaskOutput& output) : m_previous(t_capture) { t_capture = &output; }
ScanTaskCapture::~ScanTaskCapture() { t_capture = m_previous; }

void gf_scanLogText(bool error, std::string text) {
  if (t_capture != nullptr) {
    t_capture->logLines.emplace_back(error, std::move(text));
  } else if (error) {
    gf_logErrorText(text);
  } else {
    gf_logText(text);
  }
}

void gf_passOnScanTaskOutput(ScanTaskOutput& output) {
  for (auto& [list, line] : output.reports) lf_list(list).append(std::move(line));
  for (auto& [error, text] : output.logLines) error ? gf_logErrorText(text) : gf_logText(text);
  output.reports.clear();
  output.logLines.clear();
}

void gf_reportAppend(ScanReport list, std::string line) {
  if (t_capture != nullptr) {
    t_capture->reports.emplace_back(list, std::move(line));
    return;
  }
  lf_list(list).append(std::move(line));
}
void gf_reportNoSection(std::string line) { gf_reportAppend(ScanReport::NoSection, std::move(line)); }
void gf_reportInvalidFile(std::string line) { gf_reportAppend(ScanReport::InvalidFiles, std::move(line)); }
void gf_reportIncompleteSection(std::string line) {
  gf_reportAppend(ScanReport::IncompleteSections, std::move(line));
}
void gf_reportInvalidAirline(std::string line) { gf_reportAppend(ScanReport::InvalidAirlines, std::move(line)); }
void gf_reportInvalidType(std::string line) { gf_reportAppend(ScanReport::InvalidTypes, std::move(line)); }
void gf_reportCodeFix(std::string line) { gf_reportAppend(ScanReport::CodeFixes, std::move(line)); }
void gf_reportLiveryUpdated(std::string line) { gf_reportAppend(ScanReport::LiveriesUpdated, std::move(line)); }

std::vector<std::string> gf_reportLines(ScanReport list) { return lf_list(list).snapshot(); }

void gf_clearScanReports() {
  for (auto& list : lf_lists()) list.clear();
}

void lf_removeResultFiles() {
  try {
    // LiveriesScanned.xml stays: it is replaced only by a scan that completes,
    // so a stopped or failed scan leaves the previous liveries in place.
    const std::array<const fs::path*, 7> paths{
        &g_noFltsimSectionLogPath, &g_inlineRegcodesLogPath,
          &g_invalidAirlineCodesLogPath, &g_invalidAircraftCodesLogPath, &g_fixesLogPath,
          &g_invalidAircraftCfgFilesLogPath, &g_incompleteFltsimSectionsLogPath};
    for (const fs::path* path : paths) {
      fs::remove(*path);  // a missing file is no error
    }
    // The errors folder goes only when nothing else is left in it; remove()
    // refuses a folder that is not empty.
    fs::remove(g_outputErrorsFolder);
  } catch (const std::exception& e) {
    gf_logLine("problems with removing previous files: {}", e.what());
  }
}

namespace {

// The airline a registration record gives: the operator when there is one.
const std::string& lf_dbaseAirline(const DbaseRec& record) { return record.opr.empty() ? record.airl : record.opr; }

}  // namespace

void gf_markDbaseFix(LiveryData& livery) {
  const DbaseRec* record = livery.registration.empty() ? nullptr : gf_findRegcode(livery.registration);
  const bool needed = record != nullptr && (livery.cargo != record->cargo || livery.airline != lf_dbaseAirline(*record) ||
                                            livery.type != record->type);
  livery.dbaseFix = needed ? LiveryData::DbaseFix::Needed : LiveryData::DbaseFix::None;
}

std::vector<bool> lf_logCodeFixes(const std::vector<bool>* candidates) {
  std::vector<bool> rekeyed(g_scannedLiveries.size(), false);
  // Each line is formatted into one buffer that every line reuses.
  std::string line;
  const auto report = [&](const LiveryData& livery, const char* what, std::string_view from, std::string_view to) {
    line.clear();
    fmt::format_to(std::back_inserter(line), FMT_COMPILE("{:80} {} {} {} => {}"), livery.title, livery.registration,
                   what, from, to);
    gf_reportLiveryUpdated(line);
  };
  for (std::size_t i = 0; i < g_scannedLiveries.size(); ++i) {
    if (candidates != nullptr && !(*candidates)[i]) continue;
    LiveryData& livery = g_scannedLiveries[i];
    if (livery.dbaseFix == LiveryData::DbaseFix::None || livery.registration.empty()) continue;
    const DbaseRec* record = gf_findRegcode(livery.registration);
    if (record == nullptr) continue;
    if (livery.cargo != record->cargo) {
      report(livery, "cargo", livery.cargo ? "true" : "false", record->cargo ? "true" : "false");
      livery.cargo = record->cargo;
    }
    const std::string& airline = lf_dbaseAirline(*record);
    if (livery.airline != airline) {
      report(livery, "airl", livery.airline, airline);
      livery.airline = airline;
      rekeyed[i] = true;
    }
    if (livery.type != record->type) {
      report(livery, "model", livery.type, record->type);
      livery.type = record->type;
      rekeyed[i] = true;
    }
  }
  return rekeyed;
}

void lf_writeFixesFile() {
  try {
    std::error_code ec;
    fs::create_directories(g_outputErrorsFolder, ec);
    if (ec) {
      gf_logLine("Error writing file {}: {}", g_fixesLogPath.string(), ec.message());
      return;
    }
    lf_writeResultFile(g_fixesLogPath, gf_reportLines(ScanReport::CodeFixes));
  } catch (const std::exception& e) {
    gf_logError("lf_writeFixesFile: {}", e.what());
  }
}

void lf_writeScanReport() {
  // Snapshots under each list's mutex.
  const auto invalidAirlines = gf_reportLines(ScanReport::InvalidAirlines);
  const auto invalidTypes = gf_reportLines(ScanReport::InvalidTypes);
  const auto codeFixes = gf_reportLines(ScanReport::CodeFixes);
  const auto invalidFiles = gf_reportLines(ScanReport::InvalidFiles);
  const auto incompleteSections = gf_reportLines(ScanReport::IncompleteSections);
  const auto noSection = gf_reportLines(ScanReport::NoSection);
  const auto liveriesUpdated = gf_reportLines(ScanReport::LiveriesUpdated);

  const bool anyError = !invalidAirlines.empty() || !invalidTypes.empty() || !codeFixes.empty() ||
                        !invalidFiles.empty() || !incompleteSections.empty();
  if (anyError) {
    gf_logLine("\nErrors:");
  } else {
    gf_logLine("\nNo errors");
  }

  // Sorts a copy (byte order), makes sure of the errors folder (a failure
  // throws out of the report) and writes the file.
  const auto writeSortedError = [](std::vector<std::string> lines, const fs::path& path, bool dropRepeats) {
    std::sort(lines.begin(), lines.end());
    if (dropRepeats) lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    if (!fs::exists(g_outputErrorsFolder)) fs::create_directories(g_outputErrorsFolder);
    lf_writeResultFile(path, lines);
  };

  if (!invalidAirlines.empty()) {
    const auto n = static_cast<std::int64_t>(invalidAirlines.size());
    writeSortedError(invalidAirlines, g_invalidAirlineCodesLogPath, false);
    gf_logLine("{} invalid airline code{}, see {}", n, gf_pluralS64(n), g_invalidAirlineCodesLogPath.string());
  }
  if (!invalidTypes.empty()) {
    const auto n = static_cast<std::int64_t>(invalidTypes.size());
    writeSortedError(invalidTypes, g_invalidAircraftCodesLogPath, false);
    gf_logLine("{} invalid model code{}, see {}", n, gf_pluralS64(n), g_invalidAircraftCodesLogPath.string());
  }
  if (!codeFixes.empty()) {
    lf_writeFixesFile();
    gf_logLine("{} code fixes, see {}", codeFixes.size(), g_fixesLogPath.string());
  }
  if (!invalidFiles.empty()) {
    writeSortedError(invalidFiles, g_invalidAircraftCfgFilesLogPath, false);
    gf_logLine("{} invalid aircraft.cfg files, see {}", invalidFiles.size(),
               g_invalidAircraftCfgFilesLogPath.string());
  }
  if (!incompleteSections.empty()) {
    // Counted before the repeated lines are dropped.
    writeSortedError(incompleteSections, g_incompleteFltsimSectionsLogPath, true);
    gf_logLine("{} incomplete [fltsim.x] sections, see {}", incompleteSections.size(),
               g_incompleteFltsimSectionsLogPath.string());
  }

  gf_logLine("\nInformation:");
  // The info folder is made at start-up; should it be gone, make it again
  // rather than point the user at a file that was never written.
  const auto ensureInfoFolder = [] {
    std::error_code ec;
    fs::create_directories(g_outputInfoFolder, ec);
  };
  if (!noSection.empty()) {
    auto lines = noSection;
    std::sort(lines.begin(), lines.end());
    ensureInfoFolder();
    lf_writeResultFile(g_noFltsimSectionLogPath, lines);
    gf_logLine("{} empty aircraft.cfg files, see {}", lines.size(), g_noFltsimSectionLogPath.string());
  }
  if (!liveriesUpdated.empty()) {
    ensureInfoFolder();
    lf_writeResultFile(g_airlineModelConversionsLogPath, liveriesUpdated);
    gf_logLine("{} liveries updated with real live data from dbase, see {}", liveriesUpdated.size(),
               g_airlineModelConversionsLogPath.string());
  }
}
