#include "scan/airport_scan.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <optional>
#include <set>
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
#include "scan/airport_scan_commit.h"
#include "scan/archive_links.h"
#include "scan/bgl_reader.h"
#include "scan/manifests.h"
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

// The BGL file this thread's task is reading: its scan-log lines and the
// files it made.
struct TaskFile {
  std::size_t kept = 0;
  std::size_t dropped = 0;
  std::set<std::string> made;  // "my_thirdparty/EGLL.xml"
};
thread_local TaskFile* t_taskFile = nullptr;

// One task's file for its lifetime: counts its scan-log lines and adds the
// line of those past the limit, and hands the files it made to the scan's
// sources, as partial unless the file was read whole.
class TaskScope {
 public:
  explicit TaskScope(const std::string& pathText) : m_path(pathText) { t_taskFile = &m_file; }
  ~TaskScope() {
    t_taskFile = nullptr;
    if (m_file.dropped > 0)
      g_airportScanLog.append(
          fmt::format("===> {}: {} more scan-log lines of this file are not shown", m_path, m_file.dropped));
    if (ScanSources* sources = gf_scanSources()) sources->fileDone(m_path, m_file.made, m_whole);
  }
  TaskScope(const TaskScope&) = delete;
  TaskScope& operator=(const TaskScope&) = delete;

  void readWhole() { m_whole = true; }

 private:
  const std::string& m_path;
  TaskFile m_file;
  bool m_whole = false;
};

// Where the user is asked to send the airports that need offline learning.
constexpr std::string_view kOfflineLearningMailAddress = "airports@skyloom.app";

bool lf_stopRequested() { return g_stopRun.load() || g_windowClosed.load(); }

void lf_invalidateWindow() {
  if (HWND window = g_mainWindowHandle.load()) ::InvalidateRect(window, nullptr, TRUE);
}

// The airport records of one file, as the reader meets them: each is linked
// to the archive before its stands are read; in MSFS 2024 mode a linked
// airport is finished there, else its stands go to the count comparison and
// the generated file.
class AirportRecordSink : public BglAirportSink {
 public:
  AirportRecordSink(const std::string& pathText, bool msfs2020) : m_path(pathText), m_msfs2020(msfs2020) {}

  bool airportFound(const BglAirport& record) override {
    // The code names the generated and alias files.
    if (!gf_isPlainPathComponent(record.icao)) {
      gf_airportsScanLog(fmt::format("===> ICAO '{}' cannot name a file, airport skipped in {}", record.icao, m_path));
      return false;
    }
    m_airport = ParkAirport{};
    m_airport.icao = record.icao;
    m_linked = lf_linkToArchive(m_airport, m_archivedCount, m_path);
    return m_msfs2020 || !m_linked;
  }
  void airportRead(BglAirport& record) override {
    m_airport.altitude = record.altitude;
    m_airport.airportName = record.airportName;
    m_airport.stands = std::move(record.stands);
    for (std::string& line : record.standLog) gf_airportsScanLog(std::move(line));
    lf_finishAirport(m_airport, m_linked, m_archivedCount, record.helipadCounter);
    m_airport = ParkAirport{};
  }
  bool stopRequested() override { return lf_stopRequested(); }

 private:
  const std::string& m_path;
  const bool m_msfs2020;
  ParkAirport m_airport;
  bool m_linked = false;
  std::int32_t m_archivedCount = 0;
};

using BglFuture = std::future<void>;

// A task started for a BGL file.
struct PendingFile {
  fs::path path;
  BglFuture future;
};

// Takes the front task's result, which passes on the error it ended with.
// Its file then counts as not read.
void lf_takeFrontResult(std::deque<PendingFile>& pending) {
  PendingFile front = std::move(pending.front());
  pending.pop_front();
  try {
    front.future.get();
  } catch (const std::exception& e) {
    if (ScanSources* sources = gf_scanSources()) sources->unread(front.path.string(), e.what());
    throw;
  }
}

bool lf_hasBglSkipWord(const std::string& path) {
  return std::any_of(std::begin(kBglSkipWords), std::end(kBglSkipWords),
                     [&](const char* word) { return path.find(word) != std::string::npos; });
}

// A part (root, folder, file) the running scan could not read whole; its
// airports keep their previous files.
void lf_unread(const fs::path& path, const std::string& reason) {
  if (ScanSources* sources = gf_scanSources()) sources->unread(path.string(), reason);
}

// A folder or file that could not be read at all. kind: "folder" or "file".
void lf_skip(std::string_view kind, const fs::path& path, const std::string& reason) {
  lf_unread(path, reason);
  gf_logError("airports search skipped {} {}: {}", kind, path.string(), reason);
  gf_airportsScanLog(
      fmt::format("{} airports search skipped {} {}, its airports are missing: {}", "===> ", kind, path.string(), reason));
}

// The walk of one root: depth first, each folder's entries in the order the
// file system lists them, without following directory links. A folder below
// the root that cannot be listed is skipped with a line and the walk goes on;
// a root that cannot be listed to its end counts as not read.
class RootWalk {
 public:
  explicit RootWalk(const std::string& root) : m_root(root) {}

  // False when a close or stop ended it.
  bool run() {
    gf_airportsScanLog("Scanning for addon airports in " + m_root);
    bool stopped = false;
    try {
      m_folders.emplace_back(m_root);
      while (!m_folders.empty()) {
        if (lf_stopRequested()) {
          stopped = true;
          break;
        }
        if (m_folders.back() == fs::directory_iterator()) {
          m_folders.pop_back();
          continue;
        }
        const fs::directory_entry entry = *m_folders.back();
        std::error_code ec;
        m_folders.back().increment(ec);
        if (ec) {
          // The rest of this folder cannot be listed; of the root, the walk
          // cannot finish.
          if (m_folders.size() == 1) throw fs::filesystem_error("directory iterator", m_root, ec);
          lf_skip("folder", entry.path().parent_path(), ec.message());
          m_folders.pop_back();
        }
        visit(entry);
      }
    } catch (const std::exception& e) {
      gf_airportsScanLog(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}", "===> ",
                                     m_root, e.what()));
      gf_logError("airports search could not walk {} to its end: {}", m_root, e.what());
      lf_unread(m_root, e.what());
    }
    // Every task of the walk ends before the scan goes on.
    while (!m_pending.empty()) {
      try {
        lf_takeFrontResult(m_pending);
      } catch (const std::exception& e) {
        gf_airportsScanLog(
            fmt::format("{} airports search in {} aborted, futs outer error: {}", "===> ", m_root, e.what()));
      }
    }
    return !stopped;
  }

 private:
  void visit(const fs::directory_entry& entry) {
    const std::string path = entry.path().string();
    try {
      if (lf_isExcludedScanPath(path)) return;
      std::error_code ec;
      if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
        fs::directory_iterator folder(entry.path(), ec);
        if (ec)
          lf_skip("folder", entry.path(), ec.message());
        else
          m_folders.push_back(std::move(folder));
        return;
      }
      if (!entry.is_regular_file() || !lf_isBglFile(entry.path().extension().string()) || lf_hasBglSkipWord(path))
        return;
      // A file too large for the task is skipped here when it holds airports.
      std::string unreadable;
      if (!lf_hasAirportSection(entry.path(), &unreadable)) {
        if (!unreadable.empty())
          lf_skip("file", entry.path(), unreadable);
        else if (ScanSources* sources = gf_scanSources())
          sources->readWhole(path);
        return;
      }
      m_pending.push_back({entry.path(), gf_startTask([file = entry.path()] { lf_processBGLfile(file); })});
      if (m_pending.size() > static_cast<std::size_t>(std::max(1, g_maxTasks.load()))) {
        try {
          lf_takeFrontResult(m_pending);
        } catch (const std::exception& e) {
          gf_airportsScanLog(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", "===> ", e.what(),
                                         m_pending.size(), path));
        }
      }
    } catch (const std::exception& e) {
      lf_unread(entry.path(), e.what());  // a file or folder whose airports were not read
      gf_airportsScanLog(fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", m_root, e.what()));
    }
  }

  const std::string& m_root;
  std::vector<fs::directory_iterator> m_folders;  // the open folders, the root first
  std::deque<PendingFile> m_pending;
};

// The recursive walk of one root with its tasks; false when a close or stop
// ended it.
bool lf_searchAirportsInFolder(const std::string& root) { return RootWalk(root).run(); }

// How the walks of the roots ended: stopped, or partial when a root, a
// folder or a file could not be read whole.
ScanEnd lf_scanRootFolders(const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (root.empty()) continue;
    if (lf_stopRequested()) return ScanEnd::stopped;
    std::error_code ec;
    if (!fs::exists(root, ec)) {
      lf_unread(root, "it does not exist");
      gf_showStatus(root + " does not exist, skipped!", true);
    } else if (fs::is_directory(root, ec)) {
      if (!lf_searchAirportsInFolder(root)) return ScanEnd::stopped;
    } else {
      lf_unread(root, "it is not a folder");
      gf_showStatus(root + " is not a folder name, skipped!", true);
    }
  }
  const ScanSources* sources = gf_scanSources();
  return sources != nullptr && !sources->unreadParts().empty() ? ScanEnd::partial : ScanEnd::complete;
}

// The ICAO codes of the park files the scan generated into "my_thirdparty"
// (files whose extension is ".XML" in any letter case), sorted.
std::vector<std::string> lf_scannedThirdpartyAirports() {
  std::vector<std::string> icaos;
  for (const auto& entry : fs::directory_iterator(gf_airportScanFolders().thirdparty))
    if (gf_toUpper(entry.path().extension().string()) == ".XML") icaos.push_back(entry.path().stem().string());
  std::sort(icaos.begin(), icaos.end());
  return icaos;
}

// The status line has room for a name, not a whole path: the last part of
// a path (a BGL file, a package folder, a root); the scan log names it whole.
std::string lf_lastPart(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos || cut + 1 == path.size() ? path : path.substr(cut + 1);
}

// The scan's files go into the live folders. A partial scan whose unread
// parts kept no previous file ends as a complete one; one that kept some
// says on the status line what it could not read. A file left as it is (the
// user's, or one that could not be read to tell) also makes the scan partial
// and is named on the status line, unless an unread part is named there.
ScanEnd lf_commitScan(ScanOutput& output, bool msfs2020, ScanEnd end) {
  CommitResult committed;
  try {
    committed = output.commit(msfs2020);
  } catch (const std::exception& e) {
    committed.failure = e.what();
  }
  if (!committed.failure.empty()) {
    gf_logError("Airports scan could not put its files in place, SCAN_AIRPORTS stays on: {}", committed.failure);
    gf_showError(fmt::format("Airports scan: {}; it runs again at the next start", committed.failure));
    return ScanEnd::notCommitted;
  }
  const bool keptForUnread = end != ScanEnd::complete && committed.kept > 0;
  const std::set<std::string>& left = committed.leftAsTheyAre;
  if (!keptForUnread && left.empty()) return ScanEnd::complete;
  if (keptForUnread) {
    const std::size_t more = committed.keptFor.size() - 1;
    gf_logError("Airports scan could not read everything (see {}), {} previous airport file{} kept",
                g_airportsScanLogPath.string(), committed.kept,
                gf_pluralS64(static_cast<std::int64_t>(committed.kept)));
    gf_showError(fmt::format(
        "Airports scan could not read {}{}: {} airports keep their files; tick \"Scan for addon airports\" to scan again",
        lf_lastPart(*committed.keptFor.begin()),
        more == 0 ? std::string() : fmt::format(" and {} more (see {})", more, g_airportsScanLogPath.string()),
        more == 0 ? "its" : "their"));
  }
  if (!left.empty()) {
    gf_logError("Airports scan left {} park file{} as {} (see {})", left.size(),
                gf_pluralS64(static_cast<std::int64_t>(left.size())), left.size() == 1 ? "it was" : "they were",
                g_airportsScanLogPath.string());
    if (!keptForUnread)
      gf_showError(fmt::format("Airports scan left {}{} as {} (see {}); tick \"Scan for addon airports\" to scan again",
                               lf_lastPart(*left.begin()),
                               left.size() == 1 ? std::string() : fmt::format(" and {} more", left.size() - 1),
                               left.size() == 1 ? "it was" : "they were", g_airportsScanLogPath.string()));
  }
  return ScanEnd::partial;
}

}  // namespace

void gf_airportsScanLog(std::string line) {
  if (TaskFile* lines = t_taskFile) {
    if (lines->kept == kAirportScanMaxLinesPerFile) {
      ++lines->dropped;
      return;
    }
    ++lines->kept;
  }
  g_airportScanLog.append(std::move(line));
}

std::vector<std::string> gf_airportScanLogLines() { return g_airportScanLog.snapshot(); }

void gf_resetAirportScanLogForTests() { g_airportScanLog.clear(); }

bool lf_isExcludedScanPath(std::string_view path) {
  if (path.size() >= kAirportScanMaxPathLength) return true;
  return std::any_of(std::begin(kAirportScanSkipWords), std::end(kAirportScanSkipWords),
                     [&](const char* word) { return path.find(word) != std::string_view::npos; });
}

bool lf_isBglFile(std::string_view extension) { return extension == ".BGL" || extension == ".bgl"; }

void gf_scanFileMade(bool simaddon, const std::string& fileName) {
  if (TaskFile* task = t_taskFile)
    task->made.insert(std::string(simaddon ? kSimaddonEntryPrefix : kThirdpartyEntryPrefix) + fileName);
}

void lf_processBGLfile(const fs::path& path) {
  const std::string pathText = path.string();
  TaskScope task(pathText);
  const ManifestSearchMemo manifests;
  try {
    std::string bytes;
    if (const FileReadResult read = gf_readUserFile(path, kBglMaxFileBytes, bytes); !read) {
      lf_skip("file", path, read.detail);
      return;
    }
    const bool msfs2020 = g_isMsfs2020.load();
    AirportRecordSink sink(pathText, msfs2020);
    const BglReadResult result = gf_readBglFile(bytes, msfs2020, pathText, g_airportNames, sink);
    if (result.unrecognised) lf_processUnrecognisedAirport(pathText);
    for (const std::string& problem : result.problems) gf_airportsScanLog(fmt::format("===> {}: {}", pathText, problem));
    if (result.outsideFile) {
      // A read past the end of the file: the file is damaged, its airports
      // keep their previous files.
      gf_logError("Exception in lf_processBGLfile: {}", pathText);
      lf_unread(path, "it ends before what it holds");
      gf_airportsScanLog(
          fmt::format("===> {} was read only in part: its airports keep their previous files", pathText));
    } else if (!result.stopped) {
      task.readWhole();
    }
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

bool lf_collectTbloAirports(const std::vector<std::string>& icaos) {
  const fs::path tblo(g_tbloFolderName);
  // The copies gather beside "TBLO" and replace its content only when every
  // airport has been checked.
  const fs::path staged = lf_freshFolder(tblo);
  fs::remove_all(staged);
  fs::create_directories(staged);
  struct RemoveStaged {
    const fs::path& folder;
    ~RemoveStaged() {
      std::error_code ec;
      fs::remove_all(folder, ec);
    }
  } removeStaged{staged};
  const fs::path folder = gf_airportScanFolders().thirdparty;
  const ScanSources* sources = gf_scanSources();
  for (std::size_t i = 0; i < icaos.size(); ++i) {
    if (lf_stopRequested()) return false;
    const std::string& icao = icaos[i];
    gf_showStatus(fmt::format("Offline learning check of {} ({} of {}) ...", icao, i + 1, icaos.size()), false);
    const fs::path made =
        gf_findEntryIgnoringCase(folder, gf_apfFileName(icao)).value_or(folder / gf_apfXmlPath(icao));
    // A file made from a BGL file not read whole does not replace a previous
    // one (see the commit): the check reads the file that stays, and leaves it.
    const fs::path live = g_myThirdpartyFolder / made.filename();
    const bool previousStays =
        sources != nullptr &&
        sources->previousFileStays(std::string(kThirdpartyEntryPrefix) + made.filename().string(), live);
    const fs::path& p = previousStays ? live : made;
    if (icao == "KMCI" && gf_readApfPublisher(p) == "TropicalSim") {
      if (!previousStays) fs::remove(p);
      continue;
    }
    if (!gf_checkOfflineLearningCandidate(icao)) continue;
    if (!gf_readApfManufacturer(p).empty()) continue;
    const fs::path target = tblo / gf_apfXmlPath(icao);
    if (fs::copy_file(p, staged / gf_apfXmlPath(icao), fs::copy_options::overwrite_existing)) {
      gf_logLine("{} copied to {}", icao, target.string());
      if (!previousStays && fs::exists(folder / gf_apfTxtPath(icao))) fs::remove(p);
    } else {
      gf_logError("'{}' failed to copy '{}'", (g_myThirdpartyFolder / p.filename()).string(), target.string());
    }
  }
  gf_clearStatus();
  if (lf_stopRequested()) return false;
  std::string failure;
  const std::vector<std::string> copied = lf_sortedEntries(staged);
  if (lf_moveFiles(staged, tblo, copied, failure) == copied.size()) {
    const std::set<std::string> made(copied.begin(), copied.end());
    for (const std::string& name : lf_sortedEntries(tblo))
      if (!made.contains(name)) lf_removeEntry(tblo / name, failure);
  }
  if (!failure.empty()) gf_logError("{}", failure);
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
  return true;
}

bool lf_runAirportsScan(const std::vector<std::string>& roots, ScanEnd& end) {
  ScanOutput output;
  const bool msfs2020 = g_isMsfs2020.load();
  std::error_code ec;
  fs::remove(g_airportsScanLogPath, ec);
  if (ec) gf_logLine("problems with removing previous files (maybe still open?)");
  g_tbloCount.store(0);
  g_airportScanLog.clear();
  end = lf_scanRootFolders(roots);
  // The generated files are checked where the scan wrote them; a close
  // during the check stops the scan before the live folders change.
  if (end != ScanEnd::stopped && !lf_collectTbloAirports(lf_scannedThirdpartyAirports())) end = ScanEnd::stopped;
  if (end != ScanEnd::stopped) end = lf_commitScan(output, msfs2020, end);
  gf_writeLines(g_airportsScanLogPath, gf_airportScanLogLines());
  gf_logLine("{} written", g_airportsScanLogPath.string());
  gf_clearStatus();
  g_airportScanLog.clear();
  // A scan that kept files for a part it could not read has said so on the
  // error line: its log does not end on a success.
  if (end == ScanEnd::complete && g_airportFilesWritten.load()) gf_logLine("Airports scan successful");
  return g_airportFilesWritten.load();
}

void gf_scanAddonAirports() {
  gf_showStatus("Scanning for addon airports ...", false);
  gf_logLine("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "");
  // Every scan that began ends its log with the closing banner, however it ends.
  struct EndBanner {
    ~EndBanner() {
      try {
        gf_logLine("-------------------------- airports scan ends    ----------------------------\n");
      } catch (const std::exception&) {
        // Nothing more can be said where the log itself fails.
      }
    }
  } endBanner;
  g_simLabel.set(g_isMsfs2020.load() ? "MSFS" : "MSFS2024");
  const std::vector<std::string> roots = lf_airportScanRoots();
  lf_readAirportNames();
  struct FreeNames {
    ~FreeNames() { g_airportNames.clear(); }
  } freeNames;
  ScanEnd end = ScanEnd::complete;
  const bool found = lf_runAirportsScan(roots, end);
  // A scan that was stopped or could not put its files in place is no
  // success: the previous files stay and the setting stays on, so the next
  // run scans again. A partial one has said what it could not read.
  if (end == ScanEnd::stopped) {
    gf_logLine("Airports scan stopped, the previous airport files are kept");
    return;
  }
  if (end == ScanEnd::notCommitted) return;
  if (!found) gf_showStatus("Warning: Scan has not found any add-on airports", true);
  prm::SCAN_AIRPORTS.setAndSave(false);
  prm::SCAN_AIRPORTS.showValue(prm::SCAN_AIRPORTS.handle());
  lf_invalidateWindow();
}

void gf_airportScanStep() {
  if (prm::SCAN_AIRPORTS.value() && !lf_stopRequested()) gf_scanAddonAirports();
  gf_setSimaddonCount(static_cast<std::int64_t>(gf_countSubfolders(g_mySimaddonFolder)), g_isMsfs2020.load());
  gf_setThirdpartyCount(static_cast<std::int64_t>(gf_countSubfolders(g_myThirdpartyFolder)));
  gf_setOfflineLearningCount(static_cast<std::int64_t>(gf_countSubfolders(fs::path(g_tbloFolderName))));
  lf_invalidateWindow();
}
