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

// The lines of the BGL file this thread's task is reading.
struct FileLines {
  std::size_t kept = 0;
  std::size_t dropped = 0;
};
thread_local FileLines* t_fileLines = nullptr;

// Counts the scan-log lines of one file for its lifetime and adds the line
// of those past the limit.
class FileLinesScope {
 public:
  explicit FileLinesScope(const std::string& pathText) : m_path(pathText) { t_fileLines = &m_lines; }
  ~FileLinesScope() {
    t_fileLines = nullptr;
    if (m_lines.dropped > 0)
      g_airportScanLog.append(
          fmt::format("===> {}: {} more scan-log lines of this file are not shown", m_path, m_lines.dropped));
  }
  FileLinesScope(const FileLinesScope&) = delete;
  FileLinesScope& operator=(const FileLinesScope&) = delete;

 private:
  const std::string& m_path;
  FileLines m_lines;
};

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

// The list of the files the last scan made in "my_thirdparty", one
// "my_thirdparty/name" a line. Only plain file names of it count: a line
// that names anything else never makes the scan remove a file.
class ScanRecord {
 public:
  static fs::path path() { return g_airportsFolder / "scanned_airport_files.txt"; }

  // The names; false (with why) when the record exists but cannot be read.
  static bool read(std::set<std::string>& names, std::string& failure) {
    std::vector<std::string> lines;
    const FileReadResult read = gf_readTextFile(kCharsetUtf8, path(), lines, kTextFileMaxBytes);
    if (read.problem == FileProblem::missing) return true;
    if (!read) {
      failure = read.message;
      return false;
    }
    for (const std::string& line : lines) {
      if (!line.starts_with(kPrefix)) continue;
      const std::string_view name = std::string_view(line).substr(kPrefix.size());
      if (gf_isPlainPathComponent(name)) names.emplace(name);
    }
    return true;
  }
  static bool write(const std::set<std::string>& names, std::string& failure) {
    std::vector<std::string> lines;
    for (const std::string& name : names) lines.push_back(std::string(kPrefix) + name);
    if (gf_writeLines(path(), lines)) return true;
    if (failure.empty()) failure = fmt::format("{} could not be written", path().string());
    return false;
  }

 private:
  static constexpr std::string_view kPrefix = "my_thirdparty/";
};

// The names of the entries of a folder, sorted; none when it is missing.
std::vector<std::string> lf_sortedEntries(const fs::path& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Moves the named files of `from` into `to` in their order, each replacing a
// file of the same name in one rename, so that the name never stands empty.
// Stops at the first that cannot be moved, with why in failure. Returns how
// many were moved.
std::size_t lf_moveFiles(const fs::path& from, const fs::path& to, const std::vector<std::string>& names,
                         std::string& failure) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (ec) {
    failure = fmt::format("{} could not be created: {}", to.string(), ec.message());
    return 0;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    fs::rename(from / names[i], to / names[i], ec);
    if (ec) {
      failure = fmt::format("{} could not be replaced: {}", (to / names[i]).string(), ec.message());
      return i;
    }
  }
  return names.size();
}

// Removes an entry that a fresh one did not replace, a folder with its
// content; false (with why in failure, when it holds none yet) when it stays.
bool lf_removeEntry(const fs::path& path, std::string& failure) {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (!ec) return true;
  if (failure.empty()) failure = fmt::format("{} could not be removed: {}", path.string(), ec.message());
  return false;
}

// How the files of a scan went into the live folders.
struct CommitResult {
  std::string failure;   // "" when every step succeeded; else the file that failed and why
  std::size_t kept = 0;  // previous files that stay although the scan did not make them again
};

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

  // The scan's files move into the live folders. The previous files it did
  // not make again go afterwards, when removePrevious (a scan that read
  // everything): in "my_thirdparty", where the user's own park files live,
  // only those of the record; in "my_simaddon" in MSFS 2020 mode all (in
  // MSFS 2024 mode it keeps the downloaded package's files).
  //
  // Whatever step fails, no airport that had a file is left without one:
  // the record lists the previous and the new files before anything moves,
  // each new file replaces its previous one in one rename, and nothing is
  // removed before every file has moved.
  static CommitResult commit(bool msfs2020, bool removePrevious) {
    CommitResult result;
    std::set<std::string> recorded;
    if (!ScanRecord::read(recorded, result.failure)) return result;
    const std::vector<std::string> simaddon = lf_sortedEntries(lf_freshFolder(g_mySimaddonFolder));
    const std::vector<std::string> thirdparty = lf_sortedEntries(lf_freshFolder(g_myThirdpartyFolder));
    std::set<std::string> listed = recorded;
    listed.insert(thirdparty.begin(), thirdparty.end());
    if (!ScanRecord::write(listed, result.failure)) return result;

    lf_moveFiles(lf_freshFolder(g_mySimaddonFolder), g_mySimaddonFolder, simaddon, result.failure);
    const std::size_t moved =
        result.failure.empty()
            ? lf_moveFiles(lf_freshFolder(g_myThirdpartyFolder), g_myThirdpartyFolder, thirdparty, result.failure)
            : 0;
    if (!result.failure.empty()) {
      // The files that did not move keep their previous ones; the record
      // keeps the previous names and those that moved.
      recorded.insert(thirdparty.begin(), thirdparty.begin() + static_cast<std::ptrdiff_t>(moved));
      ScanRecord::write(recorded, result.failure);
      return result;
    }

    const auto stays = [&](const fs::path& path) {
      if (removePrevious) return !lf_removeEntry(path, result.failure);
      ++result.kept;
      return true;
    };
    std::set<std::string> left(thirdparty.begin(), thirdparty.end());
    for (const std::string& name : recorded) {
      // Only files: a folder of a recorded name is not one the scan made.
      std::error_code ec;
      const fs::file_status status = fs::symlink_status(g_myThirdpartyFolder / name, ec);
      if (left.contains(name) || !fs::exists(status) || fs::is_directory(status)) continue;
      if (stays(g_myThirdpartyFolder / name)) left.insert(name);
    }
    if (msfs2020) {
      const std::set<std::string> made(simaddon.begin(), simaddon.end());
      for (const std::string& name : lf_sortedEntries(g_mySimaddonFolder))
        if (!made.contains(name)) stays(g_mySimaddonFolder / name);
    }
    ScanRecord::write(left, result.failure);
    return result;
  }
};

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

void lf_takeFrontResult(std::deque<BglFuture>& pending) {
  BglFuture future = std::move(pending.front());
  pending.pop_front();
  future.get();
}

bool lf_hasBglSkipWord(const std::string& path) {
  return std::any_of(std::begin(kBglSkipWords), std::end(kBglSkipWords),
                     [&](const char* word) { return path.find(word) != std::string::npos; });
}

// The parts (roots, folders, files) the running scan could not read.
std::atomic<std::size_t> g_unreadParts{0};

// kind: "folder" or "file".
void lf_skip(std::string_view kind, const fs::path& path, const std::string& reason) {
  ++g_unreadParts;
  gf_logError("airports search skipped {} {}: {}", kind, path.string(), reason);
  gf_airportsScanLog(
      fmt::format("{} airports search skipped {} {}, its airports are missing: {}", "===> ", kind, path.string(), reason));
}

// The walk of one root: depth first, each folder's entries in the order the
// file system lists them, without following directory links. A folder below
// the root that cannot be listed is skipped with a line and the walk goes on.
class RootWalk {
 public:
  explicit RootWalk(const std::string& root) : m_root(root) {}

  ScanEnd run() {
    gf_airportsScanLog("Scanning for addon airports in " + m_root);
    ScanEnd end = ScanEnd::complete;
    try {
      m_folders.emplace_back(m_root);
      while (!m_folders.empty()) {
        if (lf_stopRequested()) {
          end = ScanEnd::stopped;
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
      end = ScanEnd::unfinished;
    }
    // Every task of the walk ends before the scan goes on.
    while (!m_pending.empty()) {
      try {
        lf_takeFrontResult(m_pending);
      } catch (const std::exception& e) {
        ++g_unreadParts;  // a file whose airports were not read
        gf_airportsScanLog(
            fmt::format("{} airports search in {} aborted, futs outer error: {}", "===> ", m_root, e.what()));
      }
    }
    return end;
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
      if (const std::uintmax_t size = entry.file_size(); size > kBglMaxFileBytes) {
        gf_airportsScanLog(
            fmt::format("===> BGL file {} of {} bytes is larger than {} bytes, skipped", path, size, kBglMaxFileBytes));
        return;
      }
      std::string unreadable;
      if (!lf_hasAirportSection(entry.path(), &unreadable)) {
        if (!unreadable.empty()) lf_skip("file", entry.path(), unreadable);
        return;
      }
      m_pending.push_back(gf_startTask([file = entry.path()] { lf_processBGLfile(file); }));
      if (m_pending.size() > static_cast<std::size_t>(std::max(1, g_maxTasks.load()))) {
        try {
          lf_takeFrontResult(m_pending);
        } catch (const std::exception& e) {
          ++g_unreadParts;  // a file whose airports were not read
          gf_airportsScanLog(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", "===> ", e.what(),
                                         m_pending.size(), path));
        }
      }
    } catch (const std::exception& e) {
      ++g_unreadParts;  // a file whose airports were not read
      gf_airportsScanLog(fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", m_root, e.what()));
    }
  }

  const std::string& m_root;
  std::vector<fs::directory_iterator> m_folders;  // the open folders, the root first
  std::deque<BglFuture> m_pending;
};

// The recursive walk of one root with its tasks.
ScanEnd lf_searchAirportsInFolder(const std::string& root) { return RootWalk(root).run(); }

// How the walks of the roots ended: the first that did not complete; else
// partial when a root, a folder or a file could not be read.
ScanEnd lf_scanRootFolders(const std::vector<std::string>& roots) {
  g_unreadParts = 0;
  ScanEnd end = ScanEnd::complete;
  for (const std::string& root : roots) {
    if (root.empty()) continue;
    if (lf_stopRequested()) return ScanEnd::stopped;
    std::error_code ec;
    if (!fs::exists(root, ec)) {
      ++g_unreadParts;
      gf_showStatus(root + " does not exist, skipped!", true);
    } else if (fs::is_directory(root, ec)) {
      const ScanEnd walked = lf_searchAirportsInFolder(root);
      if (walked == ScanEnd::stopped) return walked;
      if (end == ScanEnd::complete) end = walked;
    } else {
      ++g_unreadParts;
      gf_showStatus(root + " is not a folder name, skipped!", true);
    }
  }
  return end == ScanEnd::complete && g_unreadParts.load() > 0 ? ScanEnd::partial : end;
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

void lf_showNotEverythingRead() {
  gf_showError(fmt::format("Airports scan could not read everything (see {}), the previous airport files are kept",
                           g_airportsScanLogPath.string()));
}

}  // namespace

void gf_airportsScanLog(std::string line) {
  if (FileLines* lines = t_fileLines) {
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
  const FileLinesScope lines(pathText);
  const ManifestSearchMemo manifests;
  try {
    std::string bytes;
    if (const FileReadResult read = gf_readUserFile(path, kBglMaxFileBytes, bytes); !read) {
      if (read.problem == FileProblem::notReadable) lf_skip("file", path, read.detail);
      return;
    }
    const bool msfs2020 = g_isMsfs2020.load();
    AirportRecordSink sink(pathText, msfs2020);
    const BglReadResult result = gf_readBglFile(bytes, msfs2020, pathText, g_airportNames, sink);
    if (result.unrecognised) lf_processUnrecognisedAirport(pathText);
    for (const std::string& problem : result.problems) gf_airportsScanLog(fmt::format("===> {}: {}", pathText, problem));
    // A read past the end of the file: the file is damaged.
    if (result.outsideFile) gf_logError("Exception in lf_processBGLfile: {}", pathText);
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
  for (std::size_t i = 0; i < icaos.size(); ++i) {
    if (lf_stopRequested()) return false;
    const std::string& icao = icaos[i];
    gf_showStatus(fmt::format("Offline learning check of {} ({} of {}) ...", icao, i + 1, icaos.size()), false);
    const fs::path p =
        gf_findEntryIgnoringCase(folder, gf_apfFileName(icao)).value_or(folder / gf_apfXmlPath(icao));
    if (icao == "KMCI" && gf_readApfPublisher(p) == "TropicalSim") {
      fs::remove(p);
      continue;
    }
    if (!gf_checkOfflineLearningCandidate(icao)) continue;
    if (!gf_readApfManufacturer(p).empty()) continue;
    const fs::path target = tblo / gf_apfXmlPath(icao);
    if (fs::copy_file(p, staged / gf_apfXmlPath(icao), fs::copy_options::overwrite_existing)) {
      gf_logLine("{} copied to {}", icao, target.string());
      if (fs::exists(folder / gf_apfTxtPath(icao))) fs::remove(p);
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
  const bool msfs2020 = g_isMsfs2020.load();
  std::error_code ec;
  fs::remove(g_airportsScanLogPath, ec);
  if (ec) gf_logLine("problems with removing previous files (maybe still open?)");
  g_tbloCount.store(0);
  g_airportScanLog.clear();
  end = lf_scanRootFolders(roots);
  gf_writeLines(g_airportsScanLogPath, gf_airportScanLogLines());
  gf_logLine("{} written", g_airportsScanLogPath.string());
  gf_clearStatus();
  g_airportScanLog.clear();
  if (end == ScanEnd::stopped || end == ScanEnd::unfinished) return g_airportFilesWritten.load();
  // The generated files are checked where the scan wrote them; a close
  // during the check stops the scan before the live folders change.
  if (!lf_collectTbloAirports(lf_scannedThirdpartyAirports())) {
    end = ScanEnd::stopped;
    return g_airportFilesWritten.load();
  }
  CommitResult committed;
  try {
    committed = ScanOutput::commit(msfs2020, end == ScanEnd::complete);
  } catch (const std::exception& e) {
    committed.failure = e.what();
  }
  if (!committed.failure.empty()) {
    end = ScanEnd::notCommitted;
    gf_logError("Airports scan could not put its files in place, SCAN_AIRPORTS stays on: {}", committed.failure);
    gf_showError(fmt::format("Airports scan: {}; it runs again at the next start", committed.failure));
    return g_airportFilesWritten.load();
  }
  // Where there was nothing to keep, a partial scan ends as a complete one.
  if (end == ScanEnd::partial && committed.kept == 0) end = ScanEnd::complete;
  if (end == ScanEnd::partial) {
    gf_logError("Airports scan could not read everything (see {}), {} previous airport file{} kept, SCAN_AIRPORTS "
                "stays on",
                g_airportsScanLogPath.string(), committed.kept, gf_pluralS64(static_cast<std::int64_t>(committed.kept)));
    lf_showNotEverythingRead();
  }
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
  ScanEnd end = ScanEnd::complete;
  bool found = false;
  {
    ScanOutput output;
    found = lf_runAirportsScan(roots, end);
  }
  // A scan that did not complete is no success: the previous files stay and
  // the setting stays on, so the next run scans again.
  if (end == ScanEnd::stopped) {
    gf_logLine("Airports scan stopped, the previous airport files are kept");
    return;
  }
  if (end == ScanEnd::unfinished) {
    gf_logError("Airports scan could not finish, the previous airport files are kept");
    lf_showNotEverythingRead();
    return;
  }
  if (end == ScanEnd::partial || end == ScanEnd::notCommitted) return;
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
