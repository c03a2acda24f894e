#include "scan/airport_scan.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <optional>
#include <thread>

#include <fmt/format.h>

#include "airports/airport_list.h"
#include "airports/offline_learning.h"
#include "airports/park_find.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/tasks.h"
#include "app/text.h"
#include "app/xml.h"
#include "scan/archive_links.h"
#include "scan/bgl_reader.h"
#include "scan/sim_paths.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace fs = std::filesystem;

std::atomic<bool> g_airportFilesWritten{false};
std::atomic<std::int64_t> g_tbloCount{0};

namespace {

// The in-memory scan log.
LockedLines g_airportScanLog;

// Guards g_scanFolders (set while a scan runs); a leaf lock.
std::mutex g_scanFoldersMutex;
std::optional<AirportScanFolders> g_scanFolders;

// Where the user is asked to send the airports that need offline learning.
constexpr std::string_view kOfflineLearningMailAddress = "airports@skyloom.app";

bool lf_stopRequested() { return g_stopRun.load() || g_windowClosed.load(); }

void lf_invalidateWindow() {
  if (HWND window = g_mainWindowHandle.load()) ::InvalidateRect(window, nullptr, TRUE);
}

fs::path lf_freshFolder(const fs::path& live) {
  fs::path fresh = live;
  fresh += ".scan";
  return fresh;
}

// Points the scan's output at fresh folders beside the live ones for its
// lifetime; the live folders change only in commit().
class ScanOutput {
 public:
  ScanOutput() {
    for (const fs::path& live : {g_mySimaddonFolder, g_myThirdpartyFolder}) {
      fs::remove_all(lf_freshFolder(live));
      fs::create_directories(lf_freshFolder(live));
    }
    std::lock_guard lock(g_scanFoldersMutex);
    g_scanFolders = AirportScanFolders{lf_freshFolder(g_mySimaddonFolder), lf_freshFolder(g_myThirdpartyFolder)};
  }
  ~ScanOutput() {
    {
      std::lock_guard lock(g_scanFoldersMutex);
      g_scanFolders.reset();
    }
    std::error_code ec;
    for (const fs::path& live : {g_mySimaddonFolder, g_myThirdpartyFolder}) fs::remove_all(lf_freshFolder(live), ec);
  }
  ScanOutput(const ScanOutput&) = delete;
  ScanOutput& operator=(const ScanOutput&) = delete;

  // The scan is complete: the files the previous scan made (its record) are
  // removed, the new ones moved in, and the record rewritten. Other files of
  // the folders (the user's own park files, the package's files in
  // "my_simaddon") stay. Returns the ICAO codes of the new park files in
  // "my_thirdparty", sorted.
  static std::vector<std::string> commit() {
    for (const std::string& line : TextFileLines::read(lf_recordPath(), 256)) {
      const auto slash = line.find('/');
      if (slash == std::string::npos) continue;
      const std::string folder = line.substr(0, slash);
      const std::string name = line.substr(slash + 1);
      if ((folder != kSimaddonName && folder != kThirdpartyName) || !gf_isPlainPathComponent(name)) continue;
      std::error_code ec;
      fs::remove(g_airportsFolder / folder / name, ec);
    }
    std::vector<std::string> made;
    std::vector<std::string> thirdpartyFiles;
    for (const auto& [live, folderName] : {std::pair{g_mySimaddonFolder, kSimaddonName},
                                           std::pair{g_myThirdpartyFolder, kThirdpartyName}}) {
      fs::create_directories(live);
      for (const auto& entry : fs::directory_iterator(lf_freshFolder(live))) {
        const fs::path name = entry.path().filename();
        fs::rename(entry.path(), live / name);
        made.push_back(fmt::format("{}/{}", folderName, name.string()));
        if (live == g_myThirdpartyFolder && gf_toUpper(name.extension().string()) == ".XML")
          thirdpartyFiles.push_back(name.stem().string());
      }
    }
    std::sort(made.begin(), made.end());
    if (!gf_writeLines(lf_recordPath(), made)) gf_logError("could not write '{}'", lf_recordPath().string());
    std::sort(thirdpartyFiles.begin(), thirdpartyFiles.end());
    return thirdpartyFiles;
  }

 private:
  static constexpr const char* kSimaddonName = "my_simaddon";
  static constexpr const char* kThirdpartyName = "my_thirdparty";
  // The list of the files the last complete scan made, one "folder/name" a line.
  static fs::path lf_recordPath() { return g_airportsFolder / "scanned_airport_files.txt"; }
};

// One airport record of a file: the archive link, then (unless the link
// serves) its stands, and the generated file.
void lf_processAirportRecord(BglAirport& record, const std::string& pathText) {
  ParkAirport airport;
  airport.icao = record.icao;
  std::int32_t archivedCount = 0;
  const bool linked = lf_linkToArchive(airport, archivedCount, pathText);
  if (!g_isMsfs2020.load() && linked) return;
  airport.altitude = record.altitude;
  airport.airportName = record.airportName;
  airport.stands = std::move(record.stands);
  for (std::string& line : record.standLog) gf_airportsScanLog(std::move(line));
  lf_finishAirport(airport, linked, archivedCount, record.helipadCounter);
}

using BglFuture = std::future<void>;

// Futures given up by a walk (its iterator failed): their tasks still run and
// the scan waits for them before it writes anything, so no task outlives it.
std::vector<BglFuture> g_abandonedTasks;

void lf_takeFrontResult(std::deque<BglFuture>& pending) {
  BglFuture future = std::move(pending.front());
  pending.pop_front();
  future.get();
}

bool lf_hasBglSkipWord(const std::string& path) {
  return std::any_of(std::begin(kBglSkipWords), std::end(kBglSkipWords),
                     [&](const char* word) { return path.find(word) != std::string::npos; });
}

// The walk of one root. Returns false when it was stopped.
bool lf_searchAirportsInFolder(const std::string& root) {
  gf_airportsScanLog("Scanning for addon airports in " + root);
  std::deque<BglFuture> pending;
  bool stopped = false;
  try {
    std::error_code ec;
    fs::recursive_directory_iterator it(root), end;
    while (it != end) {
      const fs::directory_entry entry = *it;
      const std::string path = entry.path().string();
      try {
        if (lf_isExcludedScanPath(path)) {
          it.disable_recursion_pending();
        } else if (entry.is_regular_file() && lf_isBglFile(entry.path().extension().string()) &&
                   !lf_hasBglSkipWord(path) && lf_hasAirportSection(entry.path())) {
          if (lf_stopRequested()) {
            stopped = true;
            break;
          }
          pending.push_back(gf_startTask([file = entry.path()] { lf_processBGLfile(file); }));
          if (pending.size() > static_cast<std::size_t>(std::max(1, g_maxTasks.load()))) {
            try {
              lf_takeFrontResult(pending);
            } catch (const std::exception& e) {
              gf_airportsScanLog(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", "===> ", e.what(),
                                             pending.size(), path));
            }
          }
        }
      } catch (const std::exception& e) {
        gf_airportsScanLog(fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", root, e.what()));
      }
      it.increment(ec);
      if (ec) throw fs::filesystem_error("directory iterator", entry.path(), ec);
    }
  } catch (const std::exception& e) {
    gf_airportsScanLog(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}", "===> ",
                                   root, e.what()));
    for (auto& future : pending) g_abandonedTasks.push_back(std::move(future));
    pending.clear();
  }
  while (!pending.empty()) {
    try {
      lf_takeFrontResult(pending);
    } catch (const std::exception& e) {
      gf_airportsScanLog(fmt::format("{} airports search in {} aborted, futs outer error: {}", "===> ", root, e.what()));
    }
  }
  return !stopped;
}

// Returns false when the scan was stopped.
bool lf_scanRootFolders(const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (root.empty()) continue;
    if (lf_stopRequested()) return false;
    std::error_code ec;
    if (!fs::exists(root, ec)) {
      gf_showStatus(root + " does not exist, skipped!", true);
    } else if (fs::is_directory(root, ec)) {
      if (!lf_searchAirportsInFolder(root)) return false;
    } else {
      gf_showStatus(root + " is not a folder name, skipped!", true);
    }
  }
  return true;
}

void lf_waitForAbandonedTasks() {
  for (auto& future : g_abandonedTasks)
    if (future.valid()) future.wait();
  g_abandonedTasks.clear();
}

void lf_prepareTbloFolder() {
  const fs::path tblo(g_tbloFolderName);
  if (fs::exists(tblo))
    gf_clearFolder(tblo);
  else
    fs::create_directories(tblo);
}

}  // namespace

void gf_airportsScanLog(std::string line) { g_airportScanLog.append(std::move(line)); }

std::vector<std::string> gf_airportScanLogLines() { return g_airportScanLog.snapshot(); }

AirportScanFolders gf_airportScanFolders() {
  std::lock_guard lock(g_scanFoldersMutex);
  return g_scanFolders.value_or(AirportScanFolders{g_mySimaddonFolder, g_myThirdpartyFolder});
}

bool lf_isExcludedScanPath(std::string_view path) {
  if (path.size() >= kAirportScanMaxPathLength) return true;
  return std::any_of(std::begin(kAirportScanSkipWords), std::end(kAirportScanSkipWords),
                     [&](const char* word) { return path.find(word) != std::string_view::npos; });
}

bool lf_isBglFile(std::string_view extension) { return extension == ".BGL" || extension == ".bgl"; }

void lf_processBGLfile(const fs::path& path) {
  const std::string pathText = path.string();
  try {
    BglContent content;
    {
      std::error_code ec;
      const std::uintmax_t size = fs::file_size(path, ec);
      if (!ec && size > kBglMaxFileBytes) {
        gf_airportsScanLog(fmt::format("===> BGL file {} of {} bytes is larger than {} bytes, skipped", pathText, size,
                                       kBglMaxFileBytes));
        return;
      }
      std::string bytes;
      if (ec || !gf_readWholeFile(path, bytes, kBglMaxFileBytes)) return;
      content = gf_readBglAirports(bytes, g_isMsfs2020.load(), pathText, g_airportNames);
    }
    for (BglAirport& airport : content.airports) lf_processAirportRecord(airport, pathText);
    if (content.unrecognised) lf_processUnrecognisedAirport(pathText);
    if (!content.problem.empty())
      gf_airportsScanLog(fmt::format("===> {}: {}, the rest of the file is skipped", pathText, content.problem));
  } catch (const std::exception& e) {
    gf_logError("Exception in lf_processBGLfile: {}", pathText);
    throw;
  }
}

std::vector<std::string> lf_airportScanRoots() {
  std::vector<std::string> roots;
  roots.reserve(10);
  if (g_isMsfs2020.load()) {
    if (std::string official = gf_simFolderPath("Official").string(); !official.empty())
      roots.push_back(std::move(official));
  }
  if (std::string community = gf_simFolderPath("Community").string(); !community.empty())
    roots.push_back(std::move(community));
  return roots;
}

void lf_collectTbloAirports(const std::vector<std::string>& icaos) {
  const fs::path tblo(g_tbloFolderName);
  for (const std::string& icao : icaos) {
    const fs::path p = gf_findEntryIgnoringCase(g_myThirdpartyFolder, gf_apfFileName(icao))
                           .value_or(g_myThirdpartyFolder / gf_apfXmlPath(icao));
    if (icao == "KMCI" && gf_readApfPublisher(p) == "TropicalSim") {
      fs::remove(p);
      continue;
    }
    if (!gf_checkOfflineLearningCandidate(icao)) continue;
    if (!gf_readApfManufacturer(p).empty()) continue;
    const fs::path target = tblo / gf_apfXmlPath(icao);
    if (fs::copy_file(p, target, fs::copy_options::overwrite_existing)) {
      gf_logLine("{} copied to {}", icao, target.string());
      if (fs::exists(g_myThirdpartyFolder / gf_apfTxtPath(icao))) fs::remove(p);
    } else {
      gf_logError("'{}' failed to copy '{}'", p.string(), target.string());
    }
  }
  const std::size_t count = gf_countSubfolders(tblo);
  g_tbloCount.store(static_cast<std::int64_t>(count));
  if (count == 0) {
    gf_logLine("All your third party airports are done, no off line learning needed.");
    std::error_code ec;
    fs::remove_all(tblo, ec);
  } else {
    gf_logLine("");
    gf_logError("{} airport{} need{} offline learning: please zip the folder {} and mail it to {}", count,
                gf_pluralS64(static_cast<std::int64_t>(count)), count == 1 ? "s" : "",
                fs::absolute(tblo).string(), kOfflineLearningMailAddress);
  }
}

bool lf_runAirportsScan(const std::vector<std::string>& roots, bool& stopped) {
  std::error_code ec;
  fs::remove(g_airportsScanLogPath, ec);
  if (ec) gf_logLine("problems with removing previous files (maybe still open?)");
  g_tbloCount.store(0);
  g_airportScanLog.clear();
  stopped = !lf_scanRootFolders(roots);
  // Every task of the scan has ended before anything is written or moved.
  lf_waitForAbandonedTasks();
  gf_writeLines(g_airportsScanLogPath, gf_airportScanLogLines());
  gf_logLine("{} written", g_airportsScanLogPath.string());
  gf_clearStatus();
  g_airportScanLog.clear();
  if (stopped) return g_airportFilesWritten.load();
  const std::vector<std::string> generated = ScanOutput::commit();
  lf_prepareTbloFolder();
  lf_collectTbloAirports(generated);
  if (g_airportFilesWritten.load()) gf_logLine("Airports scan successful");
  return g_airportFilesWritten.load();
}

void gf_scanAddonAirports() {
  gf_showStatus("Scanning for addon airports ...", false);
  gf_logLine("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "");
  g_simLabel.set(g_isMsfs2020.load() ? "MSFS" : "MSFS2024");
  const std::vector<std::string> roots = lf_airportScanRoots();
  lf_readAirportNames();
  struct FreeNames {
    ~FreeNames() { g_airportNames.clear(); }
  } freeNames;
  bool stopped = false;
  bool found = false;
  {
    ScanOutput output;
    found = lf_runAirportsScan(roots, stopped);
  }
  if (stopped) {
    // A stopped scan is no success: the previous files stay and the setting
    // stays on, so the next run scans again.
    gf_logLine("Airports scan stopped, the previous airport files are kept");
    return;
  }
  if (!found) gf_showStatus("Warning: Scan has not found any add-on airports", true);
  prm::SCAN_AIRPORTS.setAndSave(false);
  prm::SCAN_AIRPORTS.showValue(prm::SCAN_AIRPORTS.handle());
  lf_invalidateWindow();
  gf_logLine("-------------------------- airports scan ends    ----------------------------\n");
}

void gf_airportScanStep() {
  if (prm::SCAN_AIRPORTS.value() && !lf_stopRequested()) gf_scanAddonAirports();
  gf_setSimaddonCount(static_cast<std::int64_t>(gf_countSubfolders(g_mySimaddonFolder)), g_isMsfs2020.load());
  gf_setThirdpartyCount(static_cast<std::int64_t>(gf_countSubfolders(g_myThirdpartyFolder)));
  gf_setOfflineLearningCount(static_cast<std::int64_t>(gf_countSubfolders(fs::path(g_tbloFolderName))));
  lf_invalidateWindow();
}
