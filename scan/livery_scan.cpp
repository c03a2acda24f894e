#include "scan/livery_scan.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <map>
#include <thread>

#include "aircraftdata/dont_use_titles.h"
#include "aircraftdata/livery_tables.h"
#include "app/errors.h"
#include "app/files.h"
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

namespace {

using namespace std::chrono_literals;

bool lf_stopRequested() { return g_stopRun.load() || g_windowClosed.load(); }

void lf_invalidate(const RECT& rect) {
  if (HWND window = g_mainWindowHandle.load()) ::InvalidateRect(window, &rect, TRUE);
}
constexpr RECT kCountersBand{0, 28, 880, 112};
constexpr RECT kSettingsBand{0, 112, 880, 392};

// Futures given up during the walks (a result taken too late, or a walk
// abandoned): their tasks still run, and the scan waits for them before it
// reports, so no task outlives the scan.
std::vector<LiveryFuture> g_abandonedTasks;

void lf_waitForAbandonedTasks() {
  for (auto& future : g_abandonedTasks)
    if (future.valid()) future.wait();
  g_abandonedTasks.clear();
}

// Appends a task's list to g_scannedLiveries. The lists arrive in the order
// the tasks were started, which the sorted walk fixes; the folder's liveries
// are put in scan order once the walk is done (a stable sort of the lists in
// that order gives what merging each list as it arrives would give, without
// moving the whole list once per file).
void lf_mergeResult(LiveryList&& result) {
  g_scannedLiveries.insert(g_scannedLiveries.end(), std::make_move_iterator(result.begin()),
                           std::make_move_iterator(result.end()));
}

void lf_sortFrom(std::size_t first) {
  std::stable_sort(g_scannedLiveries.begin() + static_cast<std::ptrdiff_t>(first), g_scannedLiveries.end(),
                   gf_liveryLess);
  std::inplace_merge(g_scannedLiveries.begin(), g_scannedLiveries.begin() + static_cast<std::ptrdiff_t>(first),
                     g_scannedLiveries.end(), gf_liveryLess);
}

// Takes the front result of the pending list; the time limit is the one of a
// task that never delivers.
void lf_takeFrontResult(std::deque<LiveryFuture>& pending) {
  LiveryFuture future = std::move(pending.front());
  pending.pop_front();
  if (future.wait_for(10s) != std::future_status::ready) {
    g_abandonedTasks.push_back(std::move(future));
    throw std::runtime_error("Future wait timed out after 10 seconds");
  }
  lf_mergeResult(future.get());
}

bool lf_containsSkipWord(const std::string& path) {
  return std::any_of(std::begin(kLiveryScanSkipWords), std::end(kLiveryScanSkipWords),
                     [&](const char* word) { return path.find(word) != std::string::npos; });
}

bool lf_isAircraftCfg(const fs::path& path) {
  return gf_toUpper(path.extension().string()) == ".CFG" && gf_toUpper(path.stem().string()) == "AIRCRAFT";
}

LiveryFuture lf_startTask(std::uint32_t rank, const std::string& path) {
  const bool ivao = path.find("ivao_x-csl") != std::string::npos || path.find("IVAO_MTL") != std::string::npos;
  return gf_startLiveryTask([rank, path, ivao] {
    return ivao ? lf_searchIvaoLiveriesInFile(rank, path) : lf_searchLiveriesinFile(rank, path);
  });
}

// The folder's entries in byte order of their names, so that every scan of
// the same tree starts its tasks in the same order.
std::vector<fs::directory_entry> lf_sortedEntries(const fs::path& folder) {
  std::vector<fs::directory_entry> entries;
  for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename().native() < b.path().filename().native(); });
  return entries;
}

// Walks a folder depth first (directory links are not followed), starting a
// task for every aircraft.cfg. A folder that cannot be listed ends the walk
// (the error leaves this function); an entry that cannot be examined is
// logged and skipped.
void lf_walk(std::uint32_t rank, const fs::path& folder, std::deque<LiveryFuture>& pending) {
  for (const auto& entry : lf_sortedEntries(folder)) {
    const std::string p = entry.path().string();
    bool descend = false;
    try {
      descend = !lf_containsSkipWord(p) && p.size() < kLiveryScanMaxPathLength && entry.is_directory() &&
                !entry.is_symlink();
      if (entry.is_regular_file() && lf_isAircraftCfg(entry.path())) {
        pending.push_back(lf_startTask(rank, p));
        if (pending.size() > static_cast<std::size_t>(std::max(1, g_maxTasks.load()))) {
          try {
            lf_takeFrontResult(pending);
          } catch (const std::exception& e) {
            gf_logError("liveries search aborted, futs inner, {}", e.what());
          }
        }
      }
    } catch (const std::exception& e) {
      gf_logError("liveries search in {} aborted, cause: {}", p, e.what());
      continue;
    }
    if (descend) lf_walk(rank, entry.path(), pending);
  }
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

LiveryFuture gf_startLiveryTask(std::function<LiveryList()> body) {
  TaskSlot slot = TaskSlot::acquire();
  std::packaged_task<LiveryList()> task([body = std::move(body), slot = std::move(slot)]() mutable {
    // The slot goes back when the body ends, before its result is delivered,
    // and exactly once (also when the task never runs).
    struct GiveBack {
      TaskSlot& slot;
      ~GiveBack() { slot.release(); }
    } giveBack{slot};
    return body();
  });
  LiveryFuture future = task.get_future();
  std::thread(std::move(task)).detach();
  return future;
}

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

void lf_scanLiveryFolder(std::uint32_t rank, const std::string& folder) {
  const std::size_t first = g_scannedLiveries.size();
  std::deque<LiveryFuture> pending;
  try {
    lf_walk(rank, fs::path(folder), pending);
  } catch (const std::exception& e) {
    gf_logError("liveries search in folder {} aborted because of iterator problem: {}", folder, e.what());
    for (auto& future : pending) g_abandonedTasks.push_back(std::move(future));
    pending.clear();
  }
  while (!pending.empty()) {
    try {
      lf_takeFrontResult(pending);
    } catch (const std::exception& e) {
      gf_logError("liveries search aborted, futs outer, {}", e.what());
    }
  }
  lf_sortFrom(first);
}

bool lf_scanLiveryFolders(const LiveryFolderList& folders) {
  g_scannedLiveries.clear();
  lf_removeResultFiles();
  lf_processDontUseTitles();

  std::uint32_t rank = 0;
  std::size_t total = 0;
  std::size_t previous = 0;
  for (const std::string& folder : folders) {
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
    lf_scanLiveryFolder(rank, folder);
    const std::size_t n = g_scannedLiveries.size() - previous;
    const std::string where = fmt::format("found in {}", folder);
    if (n < 1) {
      gf_logLine("No liveries {}", where);
    } else {
      gf_logLine("{} liverie{} {}", n, gf_pluralS64(static_cast<std::int64_t>(n)), where);
      total += n;
      previous = g_scannedLiveries.size();
    }
  }
  // Every task of the scan has ended before anything is reported or returned.
  lf_waitForAbandonedTasks();
  if (lf_stopRequested()) return true;
  // A title found in several files goes to one of them by a fixed rule
  // (folder rank, then path), whatever order the tasks finished in.
  gf_resolveDuplicateTitles(g_scannedLiveries);
  if (g_scannedLiveries.empty()) {
    gf_setLiveriesCount(0);
    lf_invalidate(kCountersBand);
    return false;
  }
  if (folders.size() > 1) gf_logLine("{} in total", total);
  lf_logCodeFixes();
  if (prm::LIG_PRIORITIZE.value()) {
    std::map<std::pair<std::string, std::string>, std::uint32_t> lowest;
    for (const auto& livery : g_scannedLiveries) {
      auto [it, inserted] = lowest.try_emplace({livery.airline, livery.type}, livery.folderRank);
      if (!inserted) it->second = std::min(it->second, livery.folderRank);
    }
    std::erase_if(g_scannedLiveries, [&](const LiveryData& livery) {
      return livery.folderRank > lowest.at({livery.airline, livery.type});
    });
  }
  // Each folder's liveries were merged in scan order already; the sort is
  // only needed when that order was lost.
  if (!std::is_sorted(g_scannedLiveries.begin(), g_scannedLiveries.end(), gf_liveryLess))
    std::stable_sort(g_scannedLiveries.begin(), g_scannedLiveries.end(), gf_liveryLess);
  g_scannedLiveries.erase(std::unique(g_scannedLiveries.begin(), g_scannedLiveries.end()), g_scannedLiveries.end());
  lf_writeLiveriesScanned();
  g_scannedLiveries.clear();
  lf_writeScanReport();
  lf_clearLiveries();
  gf_clearStatus();
  return true;
}

void lf_processScannedLiveries() {
  if (g_liveriesProcessed.load()) {
    gf_logLine("Processing scanned liveries skipped; already done in previous start-up");
  } else {
    lf_readLiveriesXml();
    gf_setLiveriesCount(static_cast<std::int64_t>(g_scannedLiveries.size()));
    lf_invalidate(kCountersBand);
    lf_groupScannedLiveries();
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
  }
  g_scannedLiveries.clear();
}

void gf_scanLiveries() {
  if (prm::SCAN_LIVERIES.value()) {
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
      return;
    }
    if (!found) {
      if (prm::LIG_AUTOMATIC.value())
        throw qor::UserErrorException(43,
                                      "Automatic scan has not found any liveries, switch off automatic and set "
                                      "lfolder parameter(-s), Manual 5.1");
      throw qor::UserErrorException(53, "no liveries found");
    }
    prm::SCAN_LIVERIES.setAndSave(false);
    prm::SCAN_LIVERIES.showValue(prm::SCAN_LIVERIES.handle());
    lf_invalidate(kSettingsBand);
    gf_logLine("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
  }
  lf_processScannedLiveries();
}

void lf_checkLiveriesScannedFile() {
  std::error_code ec;
  if (fs::exists(g_liveriesScannedPath, ec) || prm::SCAN_LIVERIES.value()) return;
  gf_showStatus(fmt::format("File {} is gone, rescan liveries", g_liveriesScannedPath.string()), true);
  prm::SCAN_LIVERIES.setAndSave(true);
  prm::SCAN_LIVERIES.showValue(prm::SCAN_LIVERIES.handle());
  lf_invalidate(kSettingsBand);
}
