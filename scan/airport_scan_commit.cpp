#include "scan/airport_scan_commit.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include <fmt/format.h>

#include "app/files.h"
#include "app/log.h"
#include "app/text.h"
#include "scan/airport_scan.h"

namespace fs = std::filesystem;

namespace {

// Guards g_scanFolders and g_scanSources (set while a scan runs); a leaf lock.
std::mutex g_scanOutputMutex;
std::optional<AirportScanFolders> g_scanFolders;
ScanSources* g_scanSources = nullptr;

// Between an entry of the record and the BGL file it came from.
constexpr char kSourceSeparator = '\t';

}  // namespace

std::string lf_pathKey(const std::string& path) {
  std::string key = gf_toLower(path);
  std::replace(key.begin(), key.end(), '\\', '/');
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

bool lf_liesWithin(const std::string& pathKey, const std::string& partKey) {
  if (!pathKey.starts_with(partKey)) return false;
  return pathKey.size() == partKey.size() || pathKey[partKey.size()] == '/' || partKey.ends_with('/');
}

std::vector<std::string> lf_sortedEntries(const fs::path& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

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

bool lf_removeEntry(const fs::path& path, std::string& failure) {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (!ec) return true;
  if (failure.empty()) failure = fmt::format("{} could not be removed: {}", path.string(), ec.message());
  return false;
}

fs::path lf_freshFolder(const fs::path& live) {
  fs::path fresh = live;
  fresh += ".scan";
  return fresh;
}

void ScanSources::unread(const std::string& part, const std::string& reason) {
  std::string key = lf_pathKey(part);
  std::lock_guard lock(m_mutex);
  if (m_unreadKeys.insert(key).second) m_unread.push_back(Part{part, std::move(key), reason});
}

void ScanSources::readWhole(const std::string& file) {
  std::string key = lf_pathKey(file);
  std::lock_guard lock(m_mutex);
  m_readWhole.insert(std::move(key));
}

void ScanSources::fileDone(const std::string& source, const std::set<std::string>& made, bool whole) {
  std::string key = lf_pathKey(source);
  std::lock_guard lock(m_mutex);
  for (const std::string& entry : made) {
    m_made[entry].insert(source);
    if (!whole) m_partial.insert(entry);
  }
  if (whole) m_readWhole.insert(std::move(key));
}

std::vector<ScanSources::Part> ScanSources::unreadParts() const {
  std::lock_guard lock(m_mutex);
  return m_unread;
}

std::map<std::string, std::set<std::string>> ScanSources::made() const {
  std::lock_guard lock(m_mutex);
  return m_made;
}

std::set<std::string> ScanSources::partial() const {
  std::lock_guard lock(m_mutex);
  return m_partial;
}

bool ScanSources::wasReadWhole(const std::string& fileKey) const {
  std::lock_guard lock(m_mutex);
  return m_readWhole.contains(fileKey);
}

ScanSources* gf_scanSources() {
  std::lock_guard lock(g_scanOutputMutex);
  return g_scanSources;
}

AirportScanFolders gf_airportScanFolders() {
  std::lock_guard lock(g_scanOutputMutex);
  return g_scanFolders.value_or(AirportScanFolders{g_mySimaddonFolder, g_myThirdpartyFolder});
}

fs::path ScanRecord::path() { return g_airportsFolder / "scanned_airport_files.txt"; }

bool ScanRecord::read(Entries& entries, std::string& failure) {
  std::vector<std::string> lines;
  const FileReadResult read = gf_readTextFile(kCharsetUtf8, path(), lines, kTextFileMaxBytes);
  if (read.problem == FileProblem::missing) return true;
  if (!read) {
    failure = read.message;
    return false;
  }
  for (const std::string& line : lines) {
    const std::size_t tab = line.find(kSourceSeparator);
    const std::string_view entry = std::string_view(line).substr(0, tab);
    std::string_view name;
    for (const std::string_view prefix : {kSimaddonEntryPrefix, kThirdpartyEntryPrefix})
      if (entry.starts_with(prefix)) name = entry.substr(prefix.size());
    if (!gf_isPlainPathComponent(name)) continue;
    std::set<std::string>& sources = entries[std::string(entry)];
    if (tab != std::string::npos && tab + 1 < line.size()) sources.insert(line.substr(tab + 1));
  }
  return true;
}

bool ScanRecord::write(const Entries& entries, std::string& failure) {
  std::vector<std::string> lines;
  for (const auto& [entry, sources] : entries) {
    if (sources.empty()) lines.push_back(entry);
    for (const std::string& source : sources) lines.push_back(entry + kSourceSeparator + source);
  }
  if (gf_writeLines(path(), lines)) return true;
  if (failure.empty()) failure = fmt::format("{} could not be written", path().string());
  return false;
}

ScanOutput::ScanOutput() {
  for (const fs::path& live : {g_mySimaddonFolder, g_myThirdpartyFolder}) {
    fs::remove_all(lf_freshFolder(live));
    fs::create_directories(lf_freshFolder(live));
  }
  std::lock_guard lock(g_scanOutputMutex);
  g_scanFolders = AirportScanFolders{lf_freshFolder(g_mySimaddonFolder), lf_freshFolder(g_myThirdpartyFolder)};
  g_scanSources = &m_sources;
}

ScanOutput::~ScanOutput() {
  {
    std::lock_guard lock(g_scanOutputMutex);
    g_scanFolders.reset();
    g_scanSources = nullptr;
  }
  std::error_code ec;
  for (const fs::path& live : {g_mySimaddonFolder, g_myThirdpartyFolder}) fs::remove_all(lf_freshFolder(live), ec);
}

namespace {

// One of the two folders in a commit.
struct CommitFolder {
  fs::path live;
  std::string_view prefix;
  bool simaddon = false;
  std::vector<std::string> fresh;   // the scan's files
  std::vector<std::string> moving;  // those that replace the live ones
};

// Adds the sources to the entry's in the record (the entry alone when none are given).
void lf_addSources(ScanRecord::Entries& record, const std::string& entry, const std::set<std::string>* more) {
  std::set<std::string>& sources = record[entry];
  if (more != nullptr) sources.insert(more->begin(), more->end());
}

// Copies a file of the user's aside before a generated one replaces it;
// false (with a line) when it cannot be kept, and it must stay. A copy of
// the same content from an earlier scan whose files could not all be put in
// place is enough: the next start makes no second one.
bool lf_keepUsersFileAside(const fs::path& file) {
  if (const fs::path same = gf_asideCopyOf(file, ".user"); !same.empty()) {
    gf_airportsScanLog(fmt::format("{} is not a file the scan made: {} holds it already", file.string(), same.string()));
    return true;
  }
  const fs::path aside = gf_freeAsidePath(file, ".user");
  std::error_code ec;
  if (aside.empty())
    ec = std::make_error_code(std::errc::file_exists);
  else
    fs::copy_file(file, aside, fs::copy_options::none, ec);
  if (ec) {
    const std::string line = fmt::format("{} is not a file the scan made and could not be kept aside ({}): it stays "
                                         "and the generated one is not put in its place",
                                         file.string(), ec.message());
    gf_logError("{}", line);
    gf_airportsScanLog("===> " + line);
    return false;
  }
  const std::string line =
      fmt::format("{} is not a file the scan made: it is kept as {} before the generated one replaces it",
                  file.string(), aside.string());
  gf_logLine("{}", line);
  gf_airportsScanLog(line);
  return true;
}

}  // namespace

CommitResult ScanOutput::commit(bool msfs2020) {
  CommitResult result;
  ScanRecord::Entries previous;
  if (!ScanRecord::read(previous, result.failure)) return result;
  const std::map<std::string, std::set<std::string>> made = m_sources.made();
  const std::set<std::string> partial = m_sources.partial();
  const std::vector<ScanSources::Part> parts = m_sources.unreadParts();
  const auto sourcesOf = [](const auto& map, const std::string& entry) -> const std::set<std::string>* {
    const auto found = map.find(entry);
    return found == map.end() ? nullptr : &found->second;
  };

  // The unread parts a file of these sources may have come from: those that
  // hold a source not read whole; every one when no source is known.
  const auto unreadPartsOf = [&](const std::set<std::string>* sources) {
    std::set<std::string> found;
    for (const ScanSources::Part& part : parts) {
      if (sources == nullptr || sources->empty()) {
        found.insert(part.path);
        continue;
      }
      for (const std::string& source : *sources) {
        const std::string key = lf_pathKey(source);
        if (!m_sources.wasReadWhole(key) && lf_liesWithin(key, part.key)) found.insert(part.path);
      }
    }
    return found;
  };
  const auto keep = [&](const std::string& entry, std::set<std::string> why) {
    if (why.empty()) why.insert(fmt::format("the BGL file of {}", entry));
    ++result.kept;
    result.keptFor.insert(why.begin(), why.end());
    gf_airportsScanLog(fmt::format("===> {} keeps its previous file: {} could not be read whole", entry, *why.begin()));
  };

  CommitFolder folders[] = {
      {g_mySimaddonFolder, kSimaddonEntryPrefix, true, lf_sortedEntries(lf_freshFolder(g_mySimaddonFolder)), {}},
      {g_myThirdpartyFolder, kThirdpartyEntryPrefix, false, lf_sortedEntries(lf_freshFolder(g_myThirdpartyFolder)), {}},
  };
  // Only the files of a scan of the MSFS 2020 mode are recorded in
  // "my_simaddon": in MSFS 2024 mode its files are the package's.
  const auto recorded = [&](const CommitFolder& folder) { return !folder.simaddon || msfs2020; };

  // What moves, what stays; the user's files go aside first.
  ScanRecord::Entries listed = previous;
  ScanRecord::Entries next;
  std::set<std::string> settled;  // entries made again, moved or kept
  for (CommitFolder& folder : folders) {
    for (const std::string& name : folder.fresh) {
      const std::string entry = std::string(folder.prefix) + name;
      const fs::path live = folder.live / name;
      std::error_code ec;
      const fs::file_status status = fs::symlink_status(live, ec);
      const bool exists = fs::exists(status);
      const bool ours = previous.contains(entry);
      settled.insert(entry);
      if (exists && partial.contains(entry)) {
        // A file made from a BGL file not read whole: the previous file stays.
        keep(entry, unreadPartsOf(sourcesOf(made, entry)));
        if (ours) {
          lf_addSources(next, entry, sourcesOf(previous, entry));
          lf_addSources(next, entry, sourcesOf(made, entry));
          lf_addSources(listed, entry, sourcesOf(made, entry));
        }
        continue;
      }
      if (!folder.simaddon && exists && !ours && !fs::is_directory(status) && !lf_keepUsersFileAside(live)) continue;
      folder.moving.push_back(name);
      if (recorded(folder)) lf_addSources(listed, entry, sourcesOf(made, entry));
    }
  }
  if (!ScanRecord::write(listed, result.failure)) return result;

  ScanRecord::Entries moved = previous;
  for (CommitFolder& folder : folders) {
    const std::size_t n =
        result.failure.empty() ? lf_moveFiles(lf_freshFolder(folder.live), folder.live, folder.moving, result.failure) : 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::string entry = std::string(folder.prefix) + folder.moving[i];
      if (!recorded(folder)) continue;
      moved[entry].clear();
      lf_addSources(moved, entry, sourcesOf(made, entry));
      lf_addSources(next, entry, sourcesOf(made, entry));
    }
  }
  if (!result.failure.empty()) {
    // The files that did not move keep their previous ones; the record
    // keeps the previous names and those that moved.
    ScanRecord::write(moved, result.failure);
    return result;
  }

  // The previous files not made again: kept when an unread part may have
  // made them, else removed. A removal that fails leaves the file recorded.
  const auto removeOrKeep = [&](const fs::path& live, const std::string& entry) {
    const std::set<std::string>* sources = sourcesOf(previous, entry);
    if (const std::set<std::string> why = unreadPartsOf(sources); !why.empty()) {
      keep(entry, why);
      if (sources != nullptr) lf_addSources(next, entry, sources);
    } else if (!lf_removeEntry(live, result.failure) && sources != nullptr) {
      lf_addSources(next, entry, sources);
    }
  };
  for (const auto& [entry, sources] : previous) {
    if (!entry.starts_with(kThirdpartyEntryPrefix) || settled.contains(entry)) continue;
    const fs::path live = g_myThirdpartyFolder / entry.substr(kThirdpartyEntryPrefix.size());
    // Only files: a folder of a recorded name is not one the scan made.
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(live, ec);
    if (!fs::exists(status) || fs::is_directory(status)) continue;
    removeOrKeep(live, entry);
  }
  if (msfs2020) {
    for (const std::string& name : lf_sortedEntries(g_mySimaddonFolder)) {
      const std::string entry = std::string(kSimaddonEntryPrefix) + name;
      if (!settled.contains(entry)) removeOrKeep(g_mySimaddonFolder / name, entry);
    }
  }
  ScanRecord::write(next, result.failure);
  return result;
}
