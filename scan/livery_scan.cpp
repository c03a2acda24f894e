#include "scan/livery_scan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "aircraftdata/dont_use_titles.h"
#include "aircraftdata/livery_tables.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/hash.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/tasks.h"
#include "app/text.h"
#include "app/xml.h"
#include "scan/cfg_parser.h"
#include "scan/ivao_parser.h"
#include "scan/liveries_file.h"
#include "scan/scan_reports.h"
#include "scan/sim_paths.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace fs = std::filesystem;

std::function<void(const fs::path&)> g_beforeListingLiveryFolder;
std::chrono::milliseconds g_leftWorkersWait{5000};
LiveryScanPhases g_liveryScanPhases;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double lf_secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool lf_stopRequested() { return g_stopRun.load() || g_windowClosed.load(); }

void lf_invalidate(const RECT& rect) {
  if (HWND window = g_mainWindowHandle.load()) ::InvalidateRect(window, &rect, TRUE);
}
constexpr RECT kCountersBand{0, 28, 880, 112};
constexpr RECT kSettingsBand{0, 112, 880, 392};

// Whether the last scan walked every folder to its end.
bool g_lastScanComplete = true;
// Whether the last scan saved LiveriesScanned.xml.
bool g_lastScanSaved = true;
bool lf_lastScanSaved() { return g_lastScanSaved; }
// Set when g_scannedLiveries holds what the scan just wrote to
// LiveriesScanned.xml, so the hand-over need not read the file back.
bool g_scannedListIsFresh = false;

bool lf_containsSkipWord(const std::string& path) {
  return std::any_of(std::begin(kLiveryScanSkipWords), std::end(kLiveryScanSkipWords),
                     [&](const char* word) { return path.find(word) != std::string::npos; });
}

bool lf_isAircraftCfg(const fs::path& path) {
  return gf_toUpper(path.extension().string()) == ".CFG" && gf_toUpper(path.stem().string()) == "AIRCRAFT";
}

bool lf_isIvaoPath(const std::string& path) {
  return path.find("ivao_x-csl") != std::string::npos || path.find("IVAO_MTL") != std::string::npos;
}

// The folder's entries, as the file system lists them.
std::vector<fs::directory_entry> lf_listedEntries(const fs::path& folder) {
  if (g_beforeListingLiveryFolder) g_beforeListingLiveryFolder(folder);
  std::vector<fs::directory_entry> entries;
  for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry);
  return entries;
}

// The folder's entries in byte order of their names, so that every look at
// the same folder finds them in the same order.
std::vector<fs::directory_entry> lf_sortedEntries(const fs::path& folder) {
  std::vector<fs::directory_entry> entries = lf_listedEntries(folder);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename().native() < b.path().filename().native(); });
  return entries;
}

// The place of a file or folder in walk order: its livery folder's index,
// then the names on its path below that folder, each followed by a zero
// byte. Comparing two keys byte by byte compares the names one by one, so
// sorting by key gives the order of a depth-first walk that takes every
// folder's entries in byte order of their names, whichever worker listed
// which folder first.
struct WalkKey {
  std::uint32_t folder = 0;  // index in the folder list
  std::string names;
  bool operator<(const WalkKey& other) const {
    return folder != other.folder ? folder < other.folder : names < other.names;
  }
  WalkKey child(const std::string& name) const {
    WalkKey key{folder, names};
    key.names.append(name).push_back('\0');
    return key;
  }
};

// One aircraft.cfg found by the walk.
struct CfgFile {
  std::string path;
  WalkKey key;
  std::uint32_t rank = 0;
  bool ivao = false;
};

// One folder to list.
struct FolderJob {
  std::string path;
  WalkKey key;
  std::uint32_t rank = 0;
  bool top = false;  // a livery folder itself (a failure ends the scan)
};

// Something the walk could not do, reported after it in walk order.
struct WalkProblem {
  WalkKey key;
  enum class Kind { Entry, SubFolder, TopFolder } kind;
  std::string path;
  std::string message;
};

// What the parse of one file gave.
struct FileOutcome {
  ParsedFile parsed;
  ScanTaskOutput output;
  std::exception_ptr error;
};

// The walk and the parse, shared by the run thread (which gives the livery
// folders and merges at the end) and the workers (which list the folders
// and parse the files they find). Folders are listed by whichever worker is
// free, so files are found in no fixed order; their walk keys put them in
// walk order for the merge. The deques keep every element where it is while
// more are appended. Held through a shared pointer: workers abandoned at a
// stop may end after the scan.
struct ScanWork {
  std::mutex mutex;  // a leaf lock: nothing else is taken while it is held
  std::condition_variable wake;
  std::vector<FolderJob> folders;  // to be listed, the last one first
  std::size_t listing = 0;         // folders being listed now
  std::deque<CfgFile> files;
  std::deque<FileOutcome> outcomes;
  std::size_t next = 0;  // the next file to parse
  std::vector<WalkProblem> problems;
  bool foldersGiven = false;  // the run thread has given every livery folder

  void addFolder(FolderJob job) {
    {
      std::lock_guard lock(mutex);
      folders.push_back(std::move(job));
    }
    wake.notify_one();
  }
  void finishGiving() {
    {
      std::lock_guard lock(mutex);
      foldersGiven = true;
    }
    wake.notify_all();
  }
};

// Lists one folder: its aircraft.cfg files and the sub-folders to walk
// (directory links are not followed), and what could not be examined.
void lf_listFolder(const FolderJob& job, std::vector<CfgFile>& files, std::vector<FolderJob>& folders,
                   std::vector<WalkProblem>& problems) {
  std::vector<fs::directory_entry> entries;
  try {
    entries = lf_listedEntries(fs::path(job.path));
  } catch (const std::exception& e) {
    problems.push_back(WalkProblem{job.key, job.top ? WalkProblem::Kind::TopFolder : WalkProblem::Kind::SubFolder,
                                   job.path, e.what()});
    return;
  }
  for (const auto& entry : entries) {
    if (lf_stopRequested()) return;
    std::string p = entry.path().string();
    WalkKey key = job.key.child(entry.path().filename().string());
    try {
      const bool descend = !lf_containsSkipWord(p) && p.size() < kLiveryScanMaxPathLength && entry.is_directory() &&
                           !entry.is_symlink();
      if (entry.is_regular_file() && lf_isAircraftCfg(entry.path())) {
        const bool ivao = lf_isIvaoPath(p);
        files.push_back(CfgFile{std::move(p), std::move(key), job.rank, ivao});
      } else if (descend) {
        folders.push_back(FolderJob{std::move(p), std::move(key), job.rank, false});
      }
    } catch (const std::exception& e) {
      problems.push_back(WalkProblem{std::move(key), WalkProblem::Kind::Entry, std::move(p), e.what()});
    }
  }
}

// One worker: lists folders while there are any (they bring more work),
// else parses the next file, until the run thread has given every livery
// folder and nothing is left to list or parse, or a stop is requested. Each
// file's report and log lines are captured in its outcome.
void lf_scanWorker(const std::shared_ptr<ScanWork>& work) {
  std::vector<CfgFile> files;
  std::vector<FolderJob> folders;
  std::vector<WalkProblem> problems;
  std::unique_lock lock(work->mutex);
  while (!lf_stopRequested()) {
    if (!work->folders.empty()) {
      const FolderJob job = std::move(work->folders.back());
      work->folders.pop_back();
      ++work->listing;
      lock.unlock();
      files.clear();
      folders.clear();
      problems.clear();
      lf_listFolder(job, files, folders, problems);
      lock.lock();
      --work->listing;
      for (CfgFile& file : files) {
        work->files.push_back(std::move(file));
        work->outcomes.emplace_back();
      }
      // Pushed last first, so the first sub-folder is listed next.
      for (auto it = folders.rbegin(); it != folders.rend(); ++it) work->folders.push_back(std::move(*it));
      for (WalkProblem& problem : problems) work->problems.push_back(std::move(problem));
      if (!files.empty() || !folders.empty() || work->listing == 0) work->wake.notify_all();
      continue;
    }
    if (work->next < work->files.size()) {
      const CfgFile& file = work->files[work->next];
      FileOutcome& outcome = work->outcomes[work->next];
      ++work->next;
      lock.unlock();
      {
        ScanTaskCapture capture(outcome.output);
        try {
          outcome.parsed = gf_parseCfgFile(file.rank, file.path, file.ivao);
          outcome.parsed.shrink();
          // The database look-ups of the corrections, done here in parallel.
          for (LiveryData& livery : outcome.parsed.liveries) gf_markDbaseFix(livery);
        } catch (...) {
          outcome.error = std::current_exception();
        }
      }
      lock.lock();
      continue;
    }
    if (work->foldersGiven && work->listing == 0) return;
    work->wake.wait_for(lock, 20ms);
  }
}

// Scan workers started and not yet ended: this scan's, or an earlier scan's
// that a stop left behind while it was reading a file that hangs.
std::atomic<int> g_scanWorkersAlive{0};

// Counts one worker from its start until its task is gone (also when it
// never ran).
class AliveWorker {
 public:
  AliveWorker() { ++g_scanWorkersAlive; }
  AliveWorker(AliveWorker&& other) noexcept : m_counted(std::exchange(other.m_counted, false)) {}
  AliveWorker& operator=(AliveWorker&&) = delete;
  ~AliveWorker() {
    if (m_counted) --g_scanWorkersAlive;
  }

 private:
  bool m_counted = true;
};

// Starts the workers, each in a task slot of its own.
std::vector<std::future<void>> lf_startWorkers(const std::shared_ptr<ScanWork>& work) {
  std::vector<std::future<void>> workers;
  const int count = std::max(1, g_maxTasks.load());
  for (int k = 0; k < count; ++k)
    workers.push_back(gf_startTask([work, alive = AliveWorker()] { lf_scanWorker(work); }));
  return workers;
}

// Workers that an earlier scan left behind still read the don't-use titles,
// which a new scan fills anew: waits until they have ended, at most
// g_leftWorkersWait; false when some are still busy then (or a stop came).
bool lf_waitForLeftWorkers() {
  const auto until = Clock::now() + g_leftWorkersWait;
  while (g_scanWorkersAlive.load() > 0) {
    if (lf_stopRequested() || Clock::now() >= until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Waits until every worker has ended. A parse may take as long as it takes
// (a slow network drive); only a stop cuts the wait short: the workers take
// no new file then, and one that is still busy a quarter of a second later
// (a file that hangs) is left to end on its own; it holds its task slot and
// its share of the work until then.
void lf_waitForWorkers(std::vector<std::future<void>>& workers) {
  std::optional<Clock::time_point> stoppedAt;
  for (auto& worker : workers) {
    while (worker.wait_for(20ms) != std::future_status::ready) {
      if (!lf_stopRequested()) continue;
      if (!stoppedAt) stoppedAt = Clock::now();
      if (Clock::now() - *stoppedAt > 250ms) return;
    }
    try {
      worker.get();
    } catch (const std::exception& e) {
      gf_logError("liveries search aborted, futs outer, {}", e.what());
    }
  }
}

// The records that refs points at, compared in scan order.
struct ScanOrderLess {
  const ScannedLiveryList& list;
  bool operator()(LiveryRef a, LiveryRef b) const { return gf_liveryLess(list.at(a), list.at(b)); }
};

// Drops every livery for which another one of the same airline and type has
// a lower folder rank; flags (one per livery) loses the same entries.
void lf_keepFirstFolderPerAirlineAndType(ScannedLiveryList& liveries, std::vector<bool>& flags) {
  std::vector<LiveryRef>& order = liveries.order();
  std::map<std::pair<std::string_view, std::string_view>, std::uint32_t> lowest;
  for (const LiveryData& livery : liveries) {
    auto [it, inserted] = lowest.try_emplace({livery.airline, livery.type}, livery.folderRank);
    if (!inserted) it->second = std::min(it->second, livery.folderRank);
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const LiveryData& livery = liveries[i];
    if (livery.folderRank > lowest.at({livery.airline, livery.type})) continue;
    order[out] = order[i];
    flags[out] = flags[i];
    ++out;
  }
  order.resize(out);
  flags.resize(out);
}

// An airline and type, as a hashed key.
struct GroupName {
  std::string_view airline;
  std::string_view type;
  bool operator==(const GroupName&) const = default;
};
struct GroupNameHash {
  std::size_t operator()(const GroupName& name) const {
    return Fnv1aHash{}(name.airline) * 31 + Fnv1aHash{}(name.type);
  }
};

// Runs body(k) for k in [0, count): helper tasks take all but the first,
// which this thread runs; returns (or throws the first failure) only when
// every helper that started has ended, since they use body.
template <typename Body>
void lf_runInParallel(std::size_t count, const Body& body) {
  std::vector<std::future<void>> helpers;
  std::exception_ptr error;
  try {
    for (std::size_t k = 1; k < count; ++k) helpers.push_back(gf_startTask([&body, k] { body(k); }));
    if (count > 0) body(0);
  } catch (...) {
    error = std::current_exception();
  }
  for (auto& helper : helpers) {
    try {
      helper.get();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
}

// Puts refs in the scan order of the records they point at; companion (when
// given, one flag per ref) is put in the same order. Airline and type are
// ranked once and the refs put into their groups; each group is then sorted
// on its own (the groups go to several threads): its titles compared first
// by the eight bytes that follow what all titles of the group have in
// common (a number that settles most comparisons without touching the
// titles), then in full; the place is the last key, so equal liveries keep
// their order. Only the references move.
void lf_sortInScanOrder(const ScannedLiveryList& liveries, std::vector<LiveryRef>& refs,
                        std::vector<bool>* companion = nullptr) {
  if (std::is_sorted(refs.begin(), refs.end(), ScanOrderLess{liveries})) return;
  // The groups in order of first sight (records of one file mostly share
  // theirs), then ranked by name.
  std::unordered_map<GroupName, std::uint32_t, GroupNameHash> ids;
  std::vector<GroupName> names;
  std::vector<std::uint32_t> groupOf(refs.size());
  std::optional<GroupName> last;
  std::uint32_t lastId = 0;
  for (std::size_t i = 0; i < refs.size(); ++i) {
    const LiveryData& livery = liveries.at(refs[i]);
    const GroupName name{livery.airline, livery.type};
    if (!last || !(*last == name)) {
      const auto [it, inserted] = ids.try_emplace(name, static_cast<std::uint32_t>(names.size()));
      if (inserted) names.push_back(name);
      last = name;
      lastId = it->second;
    }
    groupOf[i] = lastId;
  }
  std::vector<std::uint32_t> byName(names.size());
  for (std::uint32_t k = 0; k < byName.size(); ++k) byName[k] = k;
  std::sort(byName.begin(), byName.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (const int c = names[a].airline.compare(names[b].airline); c != 0) return c < 0;
    return names[a].type < names[b].type;
  });
  std::vector<std::uint32_t> rank(names.size());
  for (std::uint32_t r = 0; r < byName.size(); ++r) rank[byName[r]] = r;

  // The places of each group's refs, groups in rank order (a counting sort).
  std::vector<std::size_t> begin(names.size() + 1, 0);
  for (std::uint32_t& group : groupOf) {
    group = rank[group];
    ++begin[group + 1];
  }
  for (std::size_t g = 0; g < names.size(); ++g) begin[g + 1] += begin[g];
  struct Key {
    std::uint64_t prefix;    // big-endian bytes after the group's common prefix
    std::string_view title;  // the whole title
    std::uint32_t index;     // the place before the sort
  };
  std::vector<Key> keys(refs.size());
  {
    std::vector<std::size_t> fill(begin.begin(), begin.end() - 1);
    for (std::uint32_t i = 0; i < refs.size(); ++i) keys[fill[groupOf[i]]++].index = i;
  }
  std::vector<std::uint32_t>().swap(groupOf);

  const auto sortGroup = [&](std::size_t g) {
    const auto first = keys.begin() + static_cast<std::ptrdiff_t>(begin[g]);
    const auto end = keys.begin() + static_cast<std::ptrdiff_t>(begin[g + 1]);
    if (first == end) return;
    // What the titles of the group have in common at their start.
    std::string_view common = liveries.at(refs[first->index]).title;
    for (auto key = first; key != end; ++key) {
      if (end - key > static_cast<std::ptrdiff_t>(kPrefetchAhead))
        gf_prefetchObject(&liveries.at(refs[key[kPrefetchAhead].index]), sizeof(LiveryData));
      if (end - key > static_cast<std::ptrdiff_t>(kPrefetchAhead / 2))
        gf_prefetch(liveries.at(refs[key[kPrefetchAhead / 2].index]).title.data());
      key->title = liveries.at(refs[key->index]).title;
      std::size_t n = 0;
      while (n < common.size() && n < key->title.size() && common[n] == key->title[n]) ++n;
      common = common.substr(0, n);
    }
    const std::size_t skip = common.size();
    for (auto key = first; key != end; ++key) {
      std::uint64_t prefix = 0;
      for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t at = skip + k;
        prefix = (prefix << 8) | (at < key->title.size() ? static_cast<unsigned char>(key->title[at]) : 0u);
      }
      key->prefix = prefix;
    }
    std::sort(first, end, [](const Key& a, const Key& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      if (const int c = a.title.compare(b.title); c != 0) return c < 0;
      return a.index < b.index;
    });
  };
  // The groups in runs of about equal size, one run per thread.
  const std::size_t runs =
      std::min<std::size_t>(std::max(1, g_maxTasks.load()), std::max<std::size_t>(1, refs.size() / 20000));
  std::vector<std::size_t> runStart{0};
  for (std::size_t g = 0; g < names.size(); ++g)
    if (begin[g + 1] * runs >= refs.size() * runStart.size() && runStart.size() < runs) runStart.push_back(g + 1);
  runStart.push_back(names.size());
  lf_runInParallel(runStart.size() - 1, [&](std::size_t run) {
    for (std::size_t g = runStart[run]; g < runStart[run + 1]; ++g) sortGroup(g);
  });

  std::vector<LiveryRef> sorted;
  sorted.reserve(refs.size());
  for (const Key& key : keys) sorted.push_back(refs[key.index]);
  if (companion != nullptr) {
    std::vector<bool> moved(companion->size());
    for (std::size_t i = 0; i < keys.size(); ++i) moved[i] = (*companion)[keys[i].index];
    *companion = std::move(moved);
  }
  refs = std::move(sorted);
}

// Puts a sorted list whose flagged liveries changed their airline or type
// back into scan order: the others are still in order, so only the flagged
// ones are sorted and then merged in.
void lf_restoreScanOrder(ScannedLiveryList& liveries, const std::vector<bool>& flags) {
  if (std::none_of(flags.begin(), flags.end(), [](bool f) { return f; })) return;
  std::vector<LiveryRef>& order = liveries.order();
  std::vector<LiveryRef> kept, moved;
  kept.reserve(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) (flags[i] ? moved : kept).push_back(order[i]);
  lf_sortInScanOrder(liveries, moved);
  order.clear();
  std::merge(kept.begin(), kept.end(), moved.begin(), moved.end(), std::back_inserter(order),
             ScanOrderLess{liveries});
}

// One package finder: the first Community entry, in listing order, whose
// name holds one of the words and not "_CVT_".
void lf_findPackage(const fs::path& community, std::initializer_list<const char*> words, const char* logLine,
                    LiveryFolderList& folders) {
  for (const auto& entry : lf_sortedEntries(community)) {
    const std::string name = entry.path().filename().string();
    if (name.find("_CVT_") != std::string::npos) continue;
    if (std::none_of(words.begin(), words.end(), [&](const char* w) { return name.find(w) != std::string::npos; }))
      continue;
    gf_logLine(fmt::runtime(logLine), entry.path().string());
    folders.push_back(entry.path().string());
    return;
  }
}

}  // namespace

bool lf_lastScanComplete() { return g_lastScanComplete; }

void lf_findAigFolder(const fs::path& community, LiveryFolderList& folders) {
  lf_findPackage(community, {"aig-aitraffic-oci"}, "Automatic AIG scan found folder: '{}'", folders);
}
void lf_findFsltlFolder(const fs::path& community, LiveryFolderList& folders) {
  lf_findPackage(community, {"fsltl-traffic-base"}, "Automatic FSLTL scan found folder: '{}'", folders);
}
void lf_findJfFolder(const fs::path& community, LiveryFolderList& folders) {
  lf_findPackage(community, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"},
                 "Automatic JF scan found folder: '{}'", folders);
}
void lf_findUserAiTrafficFolder(const fs::path& community, LiveryFolderList& folders) {
  lf_findPackage(community, {"user-aitraffic"}, "Automatic user-aitraffic scan found folder: '{}'", folders);
}

void lf_selectLiveryFolders(LiveryFolderList& folders) {
  folders.clear();
  folders.reserve(10);
  if (!prm::LIG_AUTOMATIC.value()) {
    for (const StringParameter* setting : {&prm::lfolder0, &prm::lfolder1, &prm::lfolder2, &prm::lfolder3,
                                           &prm::lfolder4, &prm::lfolder5, &prm::lfolder6, &prm::lfolder7,
                                           &prm::lfolder8, &prm::lfolder9}) {
      std::string folder = setting->value();
      if (!folder.empty()) folders.push_back(std::move(folder));
    }
    if (folders.empty())
      throw qor::UserErrorException(
          48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
    return;
  }
  const fs::path community = gf_simFolderPath("Community");
  using Finder = void (*)(const fs::path&, LiveryFolderList&);
  static const std::map<std::string, std::array<Finder, 3>, std::less<>> kOrders = {
      {"AIG, FSLTL, JF", {lf_findAigFolder, lf_findFsltlFolder, lf_findJfFolder}},
      {"AIG, JF, FSLTL", {lf_findAigFolder, lf_findJfFolder, lf_findFsltlFolder}},
      {"FSLTL, AIG, JF", {lf_findFsltlFolder, lf_findAigFolder, lf_findJfFolder}},
      {"FSLTL, JF, AIG", {lf_findFsltlFolder, lf_findJfFolder, lf_findAigFolder}},
      {"JF, AIG, FSLTL", {lf_findJfFolder, lf_findAigFolder, lf_findFsltlFolder}},
      {"JF, FSLTL, AIG", {lf_findJfFolder, lf_findFsltlFolder, lf_findAigFolder}},
  };
  const auto order = kOrders.find(prm::AI_PACKAGE_SELECTOR.value());
  if (order == kOrders.end()) throw std::runtime_error(fmt::format("{} not set", prm::AI_PACKAGE_SELECTOR.name()));
  for (Finder finder : order->second) finder(community, folders);
  lf_findUserAiTrafficFolder(community, folders);
}

bool lf_scanLiveryFolders(const LiveryFolderList& folders) {
  g_liveryScanPhases = LiveryScanPhases{};
  g_lastScanComplete = true;
  g_lastScanSaved = true;
  g_scannedListIsFresh = false;
  g_scannedLiveries.clear();
  if (!lf_waitForLeftWorkers()) {
    gf_logError("A file of the stopped liveries scan is still being read; the scan cannot start");
    g_lastScanComplete = false;
    return true;
  }
  gf_clearScanReports();  // a stopped scan before this one may have left lines
  lf_removeResultFiles();
  lf_processDontUseTitles();

  auto phaseStart = Clock::now();
  auto work = std::make_shared<ScanWork>();
  std::vector<std::future<void>> workers = lf_startWorkers(work);
  // Should a folder test throw, the workers still learn that no more folders
  // come, finish what they have and give their task slots back.
  struct EndOfGiving {
    ScanWork& work;
    ~EndOfGiving() { work.finishGiving(); }
  } endOfGiving{*work};
  std::uint32_t rank = 0;
  std::vector<bool> walked(folders.size(), false);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const std::string& folder = folders[i];
    if (folder.empty()) continue;
    const fs::path path(folder);
    if (!fs::exists(path)) {
      gf_logLine("{} does not exist, skipped!", folder);
      continue;
    }
    if (!fs::is_directory(path)) {
      gf_logLine("{} is not a folder name, skipped!", folder);
      continue;
    }
    if (rank < 10) ++rank;
    if (lf_stopRequested()) continue;
    walked[i] = true;
    work->addFolder(FolderJob{folder, WalkKey{static_cast<std::uint32_t>(i), {}}, rank, true});
  }
  work->finishGiving();
  lf_waitForWorkers(workers);
  g_liveryScanPhases.walkAndParse = lf_secondsSince(phaseStart);
  if (lf_stopRequested()) return true;

  // Every worker has ended: the files, outcomes and problems are the run
  // thread's now. What the walk could not do is reported in walk order.
  std::sort(work->problems.begin(), work->problems.end(),
            [](const WalkProblem& a, const WalkProblem& b) { return a.key < b.key; });
  std::size_t skippedFolders = 0;
  for (const WalkProblem& problem : work->problems) {
    switch (problem.kind) {
      case WalkProblem::Kind::TopFolder:
        gf_logError("liveries search in folder {} aborted because of iterator problem: {}", problem.path,
                    problem.message);
        g_lastScanComplete = false;
        break;
      case WalkProblem::Kind::SubFolder:
        gf_logError("liveries search skipped folder {}: {}", problem.path, problem.message);
        gf_reportInvalidFile(
            fmt::format("{} cannot be read, its liveries are missing: {}", problem.path, problem.message));
        ++skippedFolders;
        break;
      case WalkProblem::Kind::Entry:
        gf_logError("liveries search in {} aborted, cause: {}", problem.path, problem.message);
        break;
    }
  }
  if (!g_lastScanComplete) return true;

  phaseStart = Clock::now();
  std::vector<std::size_t> found(folders.size(), 0);
  {
    // The files in walk order.
    std::vector<std::uint32_t> walkOrder(work->files.size());
    for (std::uint32_t k = 0; k < walkOrder.size(); ++k) walkOrder[k] = k;
    std::sort(walkOrder.begin(), walkOrder.end(),
              [&](std::uint32_t a, std::uint32_t b) { return work->files[a].key < work->files[b].key; });
    LiveryMerge merge;
    merge.reserve(work->files.size());
    std::vector<std::uint32_t> folderOfPart;
    folderOfPart.reserve(work->files.size());
    for (const std::uint32_t k : walkOrder) {
      CfgFile& file = work->files[k];
      FileOutcome& outcome = work->outcomes[k];
      gf_passOnScanTaskOutput(outcome.output);
      if (outcome.error) {
        try {
          std::rethrow_exception(outcome.error);
        } catch (const std::exception& e) {
          gf_logError("liveries search in {} aborted, cause: {}", file.path, e.what());
        }
        outcome.parsed = ParsedFile{};
      }
      folderOfPart.push_back(file.key.folder);
      merge.add(file.rank, std::move(file.path), std::move(outcome.parsed));
    }
    work->outcomes.clear();
    merge.resolveDuplicateTitles();
    // The counts per folder, taken after duplicate titles are removed (a
    // file's part is its place in walk order).
    for (std::size_t i = 0; i < merge.liveries().size(); ++i) ++found[folderOfPart[merge.fileOf(i)]];
    g_scannedLiveries = std::move(merge.liveries());
  }  // the merge's headers and paths go here
  std::size_t total = 0;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    if (!walked[i]) continue;
    const std::size_t n = found[i];
    const std::string where = fmt::format("found in {}", folders[i]);
    if (n < 1) {
      gf_logLine("No liveries {}", where);
    } else {
      gf_logLine("{} liverie{} {}", n, gf_pluralS64(static_cast<std::int64_t>(n)), where);
      total += n;
    }
  }
  if (skippedFolders > 0)
    gf_showError(fmt::format("{} folder{} could not be read, see {}", skippedFolders,
                             gf_pluralS64(static_cast<std::int64_t>(skippedFolders)),
                             g_invalidAircraftCfgFilesLogPath.string()));
  g_liveryScanPhases.merge = lf_secondsSince(phaseStart);
  // A close between the phases that follow ends the scan there: nothing is
  // written, the previous file stays.
  if (lf_stopRequested()) return true;

  if (g_scannedLiveries.empty()) {
    gf_setLiveriesCount(0);
    lf_invalidate(kCountersBand);
    return false;
  }
  if (folders.size() > 1) gf_logLine("{} in total", total);
  // The corrections go through the list in scan order, as their lines do.
  phaseStart = Clock::now();
  // The liveries the database corrects, marked while the list is still in
  // walk order (where reading their marks goes through memory in order).
  std::vector<bool> corrected(g_scannedLiveries.size());
  for (std::size_t i = 0; i < corrected.size(); ++i)
    corrected[i] = g_scannedLiveries[i].dbaseFix != LiveryData::DbaseFix::None;
  lf_sortInScanOrder(g_scannedLiveries, g_scannedLiveries.order(), &corrected);
  g_liveryScanPhases.sort = lf_secondsSince(phaseStart);
  phaseStart = Clock::now();
  std::vector<bool> rekeyed = lf_logCodeFixes(&corrected);
  g_liveryScanPhases.corrections = lf_secondsSince(phaseStart);
  phaseStart = Clock::now();
  if (prm::LIG_PRIORITIZE.value()) lf_keepFirstFolderPerAirlineAndType(g_scannedLiveries, rekeyed);
  lf_restoreScanOrder(g_scannedLiveries, rekeyed);
  // No two liveries are equal: the merge left every title once.
  g_liveryScanPhases.sort += lf_secondsSince(phaseStart);
  if (lf_stopRequested()) return true;
  phaseStart = Clock::now();
  const bool saved = lf_writeLiveriesScanned();
  g_scannedListIsFresh = true;
  g_liveryScanPhases.write = lf_secondsSince(phaseStart);
  phaseStart = Clock::now();
  lf_writeScanReport();
  lf_clearLiveries();
  gf_clearStatus();
  g_liveryScanPhases.report = lf_secondsSince(phaseStart);
  if (!saved) {
    // The liveries serve this run from memory; the next start scans again.
    g_lastScanSaved = false;
    gf_showError(fmt::format("Could not save {}, liveries will be scanned again at the next start",
                             g_liveriesScannedPath.string()));
  }
  return true;
}

void lf_processScannedLiveries() {
  if (g_liveriesProcessed.load()) {
    gf_logLine("Processing scanned liveries skipped; already done in previous start-up");
  } else {
    const auto start = Clock::now();
    // The list that the scan has just written needs no read-back: the file
    // holds nothing else. (Its records keep their folder ranks, which nothing
    // after the scan reads.)
    const bool fresh = g_scannedListIsFresh;
    if (!fresh) lf_readLiveriesXml();
    gf_setLiveriesCount(static_cast<std::int64_t>(g_scannedLiveries.size()));
    lf_invalidate(kCountersBand);
    // Takes the liveries out of g_scannedLiveries; a list the scan has just
    // made is in scan order with every title once.
    lf_groupScannedLiveries(fresh);
    lf_buildTypeAirlineTables();
    lf_processInlineRegcodes();
    lf_processOfflineRegcodes();
    gf_logLine("{} registration codes", gf_regcodeTitleCount());
    lf_buildTypeTitleTables();
    gf_logLine("{} airlines, {} pax aircraft models and {} cargo aircraft models", gf_airlineCount(),
               gf_paxTypeCount(), gf_cargoTypeCount());
    gf_buildSimilarModels();
    for (std::int32_t category = 0; category < kLiveryCategoryCount; ++category) lf_logCategoryStats(category);
    g_liveriesProcessed.store(true);
    lf_invalidate(kCountersBand);
    g_liveryScanPhases.handOver = lf_secondsSince(start);
  }
  g_scannedListIsFresh = false;
  g_scannedLiveries.clear();
}

namespace {

void lf_showScanSetting() {
  prm::SCAN_LIVERIES.showValue(prm::SCAN_LIVERIES.handle());
  lf_invalidate(kSettingsBand);
}

// The scan proper, while SCAN_LIVERIES is on. False when the hand-over must
// not follow (a stop).
bool lf_runScan() {
  g_simLabel.set(g_isMsfs2020.load() ? "MSFS" : "MSFS2024");
  const bool prioritized = prm::LIG_PRIORITIZE.value() && !prm::LIG_AUTOMATIC.value();
  gf_showStatus(fmt::format("Scanning {}for liveries ...", prioritized ? "prioritized " : ""), false);
  gf_logLine("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
             prm::LIG_AUTOMATIC.value() ? "automatic" : "manual");
  LiveryFolderList folders;
  lf_selectLiveryFolders(folders);
  const bool found = lf_scanLiveryFolders(folders);
  if (lf_stopRequested()) {
    // A stopped scan is no success: the setting stays on so the next run
    // scans again, and the previous LiveriesScanned.xml stays in place.
    gf_logLine("Liveries scan stopped");
    return false;
  }
  if (!lf_lastScanComplete()) {
    // A folder that could not be walked would lose its liveries: the
    // previous file stays and serves this run, and the next start scans again.
    gf_showError("Liveries scan could not finish (see Log.txt), the previous liveries are kept");
    gf_logLine("Liveries scan could not finish; {} kept, SCAN_LIVERIES stays on", g_liveriesScannedPath.string());
    return true;
  }
  if (!found) {
    if (prm::LIG_AUTOMATIC.value())
      throw qor::UserErrorException(43,
                                    "Automatic scan has not found any liveries, switch off automatic and set "
                                    "lfolder parameter(-s), Manual 5.1");
    throw qor::UserErrorException(53, "no liveries found");
  }
  if (lf_lastScanSaved()) {
    prm::SCAN_LIVERIES.setAndSave(false);
    lf_showScanSetting();
  }
  gf_logLine("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
  return true;
}

// A LiveriesScanned.xml that exists but cannot be used (truncated, empty,
// junk, or without liveries) is kept aside as "<name>.bad" and the scan is
// switched on. False when the error is of another kind.
bool lf_setAsideDamagedLiveriesFile(const qor::UserErrorException& error) {
  const int code = error.code();
  if (code != 51 && code != 52 && code != 533 && code != 999) return false;
  std::error_code ec;
  if (!fs::is_regular_file(g_liveriesScannedPath, ec)) return false;
  fs::path bad = g_liveriesScannedPath;
  bad += ".bad";
  fs::rename(g_liveriesScannedPath, bad, ec);
  if (ec) {
    gf_logError("Could not keep {} aside as {}: {}", g_liveriesScannedPath.string(), bad.string(), ec.message());
    return false;
  }
  gf_showError(fmt::format("{} was damaged ({}), kept as {}; liveries are scanned again",
                           g_liveriesScannedPath.string(), error.message(), bad.string()));
  prm::SCAN_LIVERIES.setAndSave(true);
  lf_showScanSetting();
  return true;
}

}  // namespace

void gf_scanLiveries() {
  if (prm::SCAN_LIVERIES.value() && !lf_runScan()) return;
  try {
    lf_processScannedLiveries();
  } catch (const qor::UserErrorException& e) {
    if (!lf_setAsideDamagedLiveriesFile(e)) throw;
    if (!lf_runScan()) return;
    lf_processScannedLiveries();
  }
}

void lf_checkLiveriesScannedFile() {
  std::error_code ec;
  if (fs::exists(g_liveriesScannedPath, ec) || prm::SCAN_LIVERIES.value()) return;
  gf_showStatus(fmt::format("File {} is gone, rescan liveries", g_liveriesScannedPath.string()), true);
  prm::SCAN_LIVERIES.setAndSave(true);
  lf_showScanSetting();
}
