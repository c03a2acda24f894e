#include "aircraftdata/livery_tables.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <mutex>
#include <system_error>
#include <tuple>
#include <unordered_set>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/dont_use_titles.h"
#include "app/files.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/text.h"
#include "scan/liveries_file.h"
#include "scan/scan_reports.h"

LiveryTables g_liveryTables;
std::shared_mutex g_liveryTablesMutex;
std::atomic<bool> g_liveriesProcessed{false};

namespace {

// Gives back what the group's lists hold beyond their size.
void lf_shrinkGroup(LiveryGroup& group) {
  group.liveries.shrink_to_fit();
  group.paxTitles.shrink_to_fit();
  group.cargoTitles.shrink_to_fit();
}

// Fetches the group's record k (when there is one) into the cache ahead of its use.
void lf_prefetchMember(const LiveryGroup& group, std::size_t k) {
  if (k < group.liveries.size()) gf_prefetchObject(group.liveries[k], sizeof(LiveryData));
}

using TextSet = std::unordered_set<std::string_view, LiveryTextHash, std::equal_to<>>;

std::string_view lf_plural(std::size_t count) { return gf_pluralS64(static_cast<std::int64_t>(count)); }
std::string_view lf_liveries(std::size_t count) { return count == 1 ? "livery" : "liveries"; }

// The class setting that a statistics category switches off; nullptr for
// the airliners, which have none.
CheckBoolParameter* lf_categorySetting(LiveryCategory category) {
  switch (category) {
    case LiveryCategory::Light: return &prm::LIGHT_AIRCRAFT;
    case LiveryCategory::Helicopters: return &prm::HELICOPTERS;
    case LiveryCategory::HighPerformance: return &prm::HIGH_PERF_AIRCRAFT;
    case LiveryCategory::Airliners: return nullptr;
  }
  return nullptr;
}

// The titles of every grouped livery (caller holds the tables lock).
TextSet lf_installedTitles() {
  TextSet titles;
  std::size_t count = 0;
  for (const LiveryGroup& group : g_liveryTables.groups) count += group.liveries.size();
  titles.reserve(count);
  for (const LiveryGroup& group : g_liveryTables.groups)
    for (const TitleList* list : {&group.paxTitles, &group.cargoTitles}) titles.insert(list->begin(), list->end());
  return titles;
}

// Binds the entries of one offline source; logs what it did.
void lf_applyOfflineRegcodes(const std::vector<OfflineRegcode>& entries, const TextSet& installed,
                             const std::string& source) {
  std::size_t bound = 0, notInstalled = 0;
  {
    std::unique_lock lock(g_liveryTablesMutex);  // before the log mutex; nothing else held
    for (const OfflineRegcode& entry : entries) {
      if (!installed.contains(std::string_view(entry.title))) {
        ++notInstalled;
        continue;
      }
      g_liveryTables.regcodeTitles.bind(entry.registration, *installed.find(entry.title));
      ++bound;
    }
  }
  gf_logLine("{} registration{} bound to installed liveries from {}, {} for liveries not installed", bound,
             lf_plural(bound), source, notInstalled);
}

}  // namespace

LiveryCategory gf_liveryCategoryOf(SizeClass sizeClass) noexcept {
  switch (sizeClass) {
    case SizeClass::Light: return LiveryCategory::Light;
    case SizeClass::Rotorcraft: return LiveryCategory::Helicopters;
    case SizeClass::HighPerf: return LiveryCategory::HighPerformance;
    case SizeClass::Buzjets:
    case SizeClass::Large:
    case SizeClass::Heavy: return LiveryCategory::Airliners;
  }
  return LiveryCategory::Light;
}

std::string_view gf_liveryCategoryName(LiveryCategory category) noexcept {
  switch (category) {
    case LiveryCategory::Light: return "light aircraft";
    case LiveryCategory::Helicopters: return "helicopters";
    case LiveryCategory::HighPerformance: return "high performance aircraft";
    case LiveryCategory::Airliners: return "airliners";
  }
  return "?";
}

void lf_groupScannedLiveries(const LiveryList& liveries) { lf_groupScannedLiveries(LiveryList(liveries)); }

void lf_groupScannedLiveries(LiveryList&& liveries) {
  lf_groupScannedLiveries(ScannedLiveryList(std::move(liveries)));
}

void lf_groupScannedLiveries(ScannedLiveryList&& liveries, bool inScanOrderWithUniqueTitles) {
  std::vector<LiveryRef>& order = liveries.order();
  if (!inScanOrderWithUniqueTitles) {
    // A list in any other order than the scan's is sorted here so that the
    // tables never depend on it. Scan order, then registration and cargo:
    // records that scan order cannot tell apart (a title given twice) still
    // come in one order.
    const auto less = [&](LiveryRef x, LiveryRef y) {
      const LiveryData& a = liveries.at(x);
      const LiveryData& b = liveries.at(y);
      if (gf_liveryLess(a, b)) return true;
      if (gf_liveryLess(b, a)) return false;
      return std::tie(a.registration, a.cargo) < std::tie(b.registration, b.cargo);
    };
    if (!std::is_sorted(order.begin(), order.end(), less)) std::stable_sort(order.begin(), order.end(), less);
  }
  const auto incompleteLivery = [](const LiveryData& livery) { return livery.title.empty() || livery.type.empty(); };
  // The liveries whose title an earlier one already has (a scan's list has none).
  std::vector<bool> repeatedTitle;
  std::size_t incomplete = 0, repeated = 0;
  if (!inScanOrderWithUniqueTitles) {
    repeatedTitle.assign(order.size(), false);
    // The liveries by title hash, then place, so that records of one title
    // lie next to each other with the first one first.
    std::vector<HashedIndex> byTitle;
    byTitle.reserve(order.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
      if (!incompleteLivery(liveries[i])) byTitle.push_back(HashedIndex{LiveryTextHash{}(liveries[i].title), i});
    gf_sortByHash(byTitle);
    gf_forEachRepeat(
        byTitle, [&](std::uint32_t a, std::uint32_t b) { return liveries[a].title == liveries[b].title; },
        [&](const std::vector<std::uint32_t>& places) {
          for (std::size_t k = 1; k < places.size(); ++k) repeatedTitle[places[k]] = true;
          repeated += places.size() - 1;
        });
  }
  {
    std::unique_lock lock(g_liveryTablesMutex);  // before the log mutex; nothing else held
    g_liveryTables = LiveryTables{};
    std::vector<LiveryGroup>& groups = g_liveryTables.groups;
    for (std::size_t i = 0; i < order.size(); ++i) {
      liveries.prefetch(i + kPrefetchAhead);
      const LiveryData& livery = liveries[i];
      if (incompleteLivery(livery)) {
        ++incomplete;
        continue;
      }
      if (!repeatedTitle.empty() && repeatedTitle[i]) continue;
      if (groups.empty() || groups.back().airline != livery.airline || groups.back().type != livery.type) {
        if (!groups.empty()) lf_shrinkGroup(groups.back());
        groups.push_back(LiveryGroup{livery.airline, livery.type, {}, {}, {}});
      }
      LiveryGroup& group = groups.back();
      group.liveries.push_back(&livery);
      (livery.cargo ? group.cargoTitles : group.paxTitles).push_back(livery.title);
    }
    if (!groups.empty()) lf_shrinkGroup(groups.back());
    // The records stay where they are: moving the list moves the lists of
    // records as a whole, so the groups' pointers stay good.
    std::vector<LiveryRef>().swap(order);
    g_liveryTables.records = std::move(liveries);
  }
  if (incomplete > 0) gf_logError("{} {} without title or type skipped", incomplete, lf_liveries(incomplete));
  if (repeated > 0)
    gf_logError("{} {} with a title given before skipped", repeated, lf_liveries(repeated));
}

void lf_groupScannedLiveries(bool inScanOrderWithUniqueTitles) {
  lf_groupScannedLiveries(std::move(g_scannedLiveries), inScanOrderWithUniqueTitles);
  g_scannedLiveries.clear();
}

void lf_buildTypeAirlineTables() {
  std::unique_lock lock(g_liveryTablesMutex);  // nothing else held
  LiveryTables& tables = g_liveryTables;
  tables.paxTypeAirlineTitles.clear();
  tables.cargoTypeAirlineTitles.clear();
  tables.airlineTypes.clear();
  for (const LiveryGroup& group : tables.groups) {
    // The groups come by airline, then type: each type is new for its airline.
    tables.airlineTypes[group.airline].push_back(group.type);
    for (const bool cargo : {false, true}) {
      const TitleList& titles = cargo ? group.cargoTitles : group.paxTitles;
      if (titles.empty()) continue;
      TitleList& list = (cargo ? tables.cargoTypeAirlineTitles : tables.paxTypeAirlineTitles)[group.type][group.airline];
      list.insert(list.end(), titles.begin(), titles.end());
    }
  }
}

std::size_t lf_processInlineRegcodes() {
  // The clash lines go straight into the report's text.
  std::string text;
  std::size_t clashes = 0;
  {
    std::unique_lock lock(g_liveryTablesMutex);  // before the log mutex; nothing else held
    LiveryTables& tables = g_liveryTables;
    tables.regcodeTitles.clear();
    // Room for every livery (counting only those with a registration would
    // fetch every record once more).
    std::size_t liveries = 0;
    for (const LiveryGroup& group : tables.groups) liveries += group.liveries.size();
    tables.regcodeTitles.reserve(liveries);
    for (const LiveryGroup& group : tables.groups) {
      for (std::size_t k = 0; k < group.liveries.size(); ++k) {
        // The records come from memory two steps ahead: the record itself,
        // then (once it is there) the slot its registration goes to.
        lf_prefetchMember(group, k + kPrefetchAhead);
        if (k + kPrefetchAhead / 2 < group.liveries.size())
          tables.regcodeTitles.prefetch(group.liveries[k + kPrefetchAhead / 2]->registration);
        const LiveryData& livery = *group.liveries[k];
        if (livery.registration.empty()) continue;
        // The title just bound is the livery's own: no need to compare its text.
        const std::string_view bound = tables.regcodeTitles.tryBind(livery.registration, livery.title);
        if (bound.data() != livery.title.data() && bound != livery.title) {
          fmt::format_to(std::back_inserter(text),
                         FMT_COMPILE("{}: '{}' not bound, the registration is already bound to '{}'\n"),
                         livery.registration, livery.title, bound);
          ++clashes;
        }
      }
    }
  }

  const std::filesystem::path& path = g_inlineRegcodesLogPath;
  std::error_code ec;
  if (clashes == 0) {
    // A report of an earlier hand-over would no longer be true.
    std::filesystem::remove(path, ec);
    return 0;
  }
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (!gf_replaceFileAtomically(path, text)) gf_logError("Error writing file {}", path.string());
  gf_logError("{} registration{} given in aircraft.cfg files clash{}, see {}", clashes, lf_plural(clashes),
              clashes == 1 ? "es" : "", path.string());
  return clashes;
}

void lf_processOfflineRegcodes() {
  // The set of installed titles (views into the grouped liveries, which stay
  // in place while the run builds the tables) is made only when some source
  // needs it.
  TextSet installed;
  bool haveInstalled = false;
  const auto installedTitles = [&]() -> const TextSet& {
    if (!haveInstalled) {
      std::shared_lock lock(g_liveryTablesMutex);  // nothing else held
      installed = lf_installedTitles();
      haveInstalled = true;
    }
    return installed;
  };

  const std::filesystem::path dataFile = gf_regcodeDataFilePath();
  std::error_code ec;
  if (std::filesystem::exists(dataFile, ec)) {
    try {
      const RegcodeDataFile data = gf_readRegcodeDataFile(dataFile);
      if (data.skipped > 0) gf_logError("{} malformed entr{} skipped in {}", data.skipped,
                                        data.skipped == 1 ? "y" : "ies", dataFile.string());
      lf_applyOfflineRegcodes(data.regcodes, installedTitles(), dataFile.string());
    } catch (const std::exception& e) {
      gf_logError("Skipping {}: {}", dataFile.string(), e.what());
    }
  } else {
    gf_logLine("No registration data file {}", dataFile.string());
  }

  std::vector<std::filesystem::path> userFiles;
  try {
    userFiles = gf_listUserTextFiles(gf_userRegcodesFolder());
  } catch (const std::exception& e) {
    gf_logError("lf_processOfflineRegcodes: {}", e.what());
  }
  for (const std::filesystem::path& file : userFiles) {
    try {
      std::vector<OfflineRegcode> entries;
      std::size_t malformed = 0;
      for (const std::string& line : gf_readUserTextFile(file)) {
        OfflineRegcode entry;
        if (gf_splitRegcodeLine(line, entry))
          entries.push_back(std::move(entry));
        else
          ++malformed;
      }
      if (malformed > 0)
        gf_logError("{} malformed line{} skipped in {}", malformed, lf_plural(malformed), file.string());
      lf_applyOfflineRegcodes(entries, installedTitles(), file.string());
    } catch (const std::exception& e) {
      gf_logError("Skipping {}: {}", file.string(), e.what());
    }
  }
}

void lf_buildTypeTitleTables() {
  std::unique_lock lock(g_liveryTablesMutex);  // nothing else held
  LiveryTables& tables = g_liveryTables;
  tables.paxTypeTitles.clear();
  tables.cargoTypeTitles.clear();
  for (const LiveryGroup& group : tables.groups) {
    for (const bool cargo : {false, true}) {
      const TitleList& titles = cargo ? group.cargoTitles : group.paxTitles;
      if (titles.empty()) continue;
      TitleList& list = (cargo ? tables.cargoTypeTitles : tables.paxTypeTitles)[group.type];
      list.insert(list.end(), titles.begin(), titles.end());
    }
  }
}

void gf_buildSimilarModels() {
  std::unique_lock lock(g_liveryTablesMutex);  // nothing else held
  LiveryTables& tables = g_liveryTables;
  const auto build = [](const LiveryTextTable<TitleList>& installed, LiveryTextTable<std::vector<std::string>>& similar) {
    similar.clear();
    for (const std::vector<std::string>& group : g_similarTypeGroups) {
      for (const std::string& type : group) {
        for (const std::string& other : group) {
          if (other == type || !installed.contains(other)) continue;
          std::vector<std::string>& list = similar[type];
          if (std::find(list.begin(), list.end(), other) == list.end()) list.push_back(other);
        }
      }
    }
  };
  build(tables.paxTypeTitles, tables.paxSimilarModels);
  build(tables.cargoTypeTitles, tables.cargoSimilarModels);
}

CategoryCounts gf_categoryCounts(std::int32_t category) {
  CategoryCounts counts;
  std::shared_lock lock(g_liveryTablesMutex);  // nothing else held
  for (const LiveryGroup& group : g_liveryTables.groups) {
    if (static_cast<std::int32_t>(gf_liveryCategoryOf(gf_aircraftCategory(group.type))) != category) continue;
    counts.pax += group.paxTitles.size();
    counts.cargo += group.cargoTitles.size();
  }
  return counts;
}

void lf_logCategoryStats(std::int32_t category) {
  if (category < 0 || category >= kLiveryCategoryCount) {
    gf_logError("lf_logCategoryStats: no category {}", category);
    return;
  }
  const auto which = static_cast<LiveryCategory>(category);
  const CategoryCounts counts = gf_categoryCounts(category);
  std::string name(gf_liveryCategoryName(which));
  std::string label = name;
  label[0] = static_cast<char>(gf_toUpper(label.substr(0, 1))[0]);
  gf_logLine("{}: {} pax and {} cargo liveries", label, counts.pax, counts.cargo);

  CheckBoolParameter* setting = lf_categorySetting(which);
  if (setting == nullptr || counts.pax + counts.cargo > 0 || !setting->value()) return;
  setting->set(false);
  gf_logError("No {} liveries installed, {} switched off", name, setting->name());
  try {
    setting->showValue(setting->handle());  // no lock held: this waits for the UI thread
  } catch (const std::exception& e) {
    gf_logError("lf_logCategoryStats: {}", e.what());
  }
}

void gf_clearLiveryTables() {
  std::unique_lock lock(g_liveryTablesMutex);  // nothing else held
  g_liveryTables = LiveryTables{};
  g_liveriesProcessed = false;
}

std::size_t gf_regcodeTitleCount() {
  std::shared_lock lock(g_liveryTablesMutex);
  return g_liveryTables.regcodeTitles.size();
}

std::size_t gf_airlineCount() {
  std::shared_lock lock(g_liveryTablesMutex);
  return g_liveryTables.airlineTypes.size();
}

std::size_t gf_paxTypeCount() {
  std::shared_lock lock(g_liveryTablesMutex);
  return g_liveryTables.paxTypeTitles.size();
}

std::size_t gf_cargoTypeCount() {
  std::shared_lock lock(g_liveryTablesMutex);
  return g_liveryTables.cargoTypeTitles.size();
}
