#include "scan/airport_scan_commit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <system_error>

#include <fmt/format.h>

#include "app/file_stamp.h"
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

bool ScanSources::previousFileStays(const std::string& entry, const fs::path& live) const {
  {
    std::lock_guard lock(m_mutex);
    if (!m_partial.contains(entry)) return false;
  }
  std::error_code ec;
  return fs::exists(fs::symlink_status(live, ec));
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

namespace {

// The size and hash fields after an entry ("1234<TAB>0123456789abcdef");
// nullopt when the text is not of that form.
std::optional<FileStamp> lf_parseContent(std::string_view size, std::string_view hash) {
  FileStamp content{.present = true, .readable = true};
  const auto sized = std::from_chars(size.data(), size.data() + size.size(), content.size);
  if (size.empty() || sized.ec != std::errc() || sized.ptr != size.data() + size.size()) return std::nullopt;
  if (hash.size() != 16 || !std::all_of(hash.begin(), hash.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  std::from_chars(hash.data(), hash.data() + hash.size(), content.hash, 16);
  return content;
}

}  // namespace

fs::path ScanRecord::path() { return g_airportsFolder / "scanned_airport_files.txt"; }

bool ScanRecord::read(Entries& entries, std::string& failure) {
  std::vector<std::string> lines;
  const FileReadResult read = gf_readTextFile(kCharsetUtf8, path(), lines, kTextFileMaxBytes);
  if (read.problem == FileProblem::missing) return true;
  if (!read) {
    failure = read.message;
    return false;
  }
  std::set<std::string> badFields;  // entries whose bad size or hash has been logged
  for (const std::string& line : lines) {
    const std::size_t tab = line.find(kSourceSeparator);
    const std::string_view entry = std::string_view(line).substr(0, tab);
    std::string_view name;
    for (const std::string_view prefix : {kSimaddonEntryPrefix, kThirdpartyEntryPrefix})
      if (entry.starts_with(prefix)) name = entry.substr(prefix.size());
    if (!gf_isPlainPathComponent(name)) continue;
    Entry& recorded = entries[std::string(entry)];
    if (tab == std::string::npos) continue;
    // The rest: the size and hash, then the source; or, in records of the
    // version before, the source alone.
    // A line of that form whose size or hash does not parse (edited by
    // hand, damaged) keeps its source; what its file holds is not known.
    std::string_view rest = std::string_view(line).substr(tab + 1);
    const std::size_t sizeEnd = rest.find(kSourceSeparator);
    if (sizeEnd != std::string_view::npos) {
      const std::size_t hashEnd = rest.find(kSourceSeparator, sizeEnd + 1);
      const std::string_view size = rest.substr(0, sizeEnd);
      const std::string_view hash = rest.substr(0, hashEnd).substr(sizeEnd + 1);
      if (const std::optional<FileStamp> content = lf_parseContent(size, hash)) {
        recorded.content = content;
        rest = hashEnd == std::string_view::npos ? std::string_view() : rest.substr(hashEnd + 1);
      } else if (hashEnd != std::string_view::npos) {
        if (badFields.insert(std::string(entry)).second)
          gf_logLine("{}: the size or hash of {} cannot be read (\"{}\", \"{}\"): what its file holds is not known",
                     path().string(), entry, size, hash);
        rest = rest.substr(hashEnd + 1);
      }
    }
    if (!rest.empty()) recorded.sources.insert(std::string(rest));
  }
  return true;
}

bool ScanRecord::write(const Entries& entries, std::string& failure) {
  std::vector<std::string> lines;
  for (const auto& [entry, recorded] : entries) {
    const std::string head =
        recorded.content ? fmt::format("{}\t{}\t{:016x}", entry, recorded.content->size, recorded.content->hash) : entry;
    if (recorded.sources.empty()) lines.push_back(head);
    for (const std::string& source : recorded.sources) lines.push_back(head + kSourceSeparator + source);
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
  std::set<std::string>& sources = record[entry].sources;
  if (more != nullptr) sources.insert(more->begin(), more->end());
}

// What a live file of a recorded entry holds: what the scan wrote (a file of
// an earlier record, which gives no content, counts as the scan's), the
// user's content, or what could not be read to tell.
enum class LiveContent { scans, users, unreadable };
LiveContent lf_liveContent(const ScanRecord::Entry& recorded, const fs::path& live) {
  if (!recorded.content) return LiveContent::scans;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(live, ec);
  // A link in a live folder is never a file the scan wrote.
  if (!ec && !fs::is_regular_file(status)) return LiveContent::users;
  // A file of another size is not read.
  const std::uintmax_t size = fs::file_size(live, ec);
  if (ec) return LiveContent::unreadable;
  if (size != recorded.content->size) return LiveContent::users;
  const FileStamp stamp = gf_fileStamp(live);
  if (!stamp.readable) return LiveContent::unreadable;
  return stamp == *recorded.content ? LiveContent::scans : LiveContent::users;
}

// A file the scan may have made that cannot be read to tell whether the user
// changed it: it stays, neither replaced nor removed.
void lf_logUnreadableLiveFile(const fs::path& file, std::string_view otherwise) {
  const std::string line =
      fmt::format("{} could not be read to tell whether the user changed it: it stays{}", file.string(), otherwise);
  gf_logError("{}", line);
  gf_airportsScanLog("===> " + line);
}

// Copies a file of the user's aside before the scan replaces or removes it
// (`before` says which); false (with a line) when it cannot be kept, and it
// must stay. A copy of the same content from an earlier scan whose files
// could not all be put in place is enough: the next start makes no second one.
bool lf_keepUsersFileAside(const fs::path& file, bool recorded, std::string_view before, std::string_view otherwise) {
  const std::string_view whose = recorded ? "changed since the scan made it" : "is not a file the scan made";
  if (const fs::path same = gf_asideCopyOf(file, ".user"); !same.empty()) {
    gf_airportsScanLog(fmt::format("{} {}: {} holds it already", file.string(), whose, same.string()));
    return true;
  }
  const fs::path aside = gf_freeAsidePath(file, ".user");
  std::error_code ec;
  if (aside.empty())
    ec = std::make_error_code(std::errc::file_exists);
  else
    fs::copy_file(file, aside, fs::copy_options::none, ec);
  if (ec) {
    const std::string line = fmt::format("{} {} and could not be kept aside ({}): it stays{}", file.string(), whose,
                                         ec.message(), otherwise);
    gf_logError("{}", line);
    gf_airportsScanLog("===> " + line);
    return false;
  }
  const std::string line =
      fmt::format("{} {}: it is kept as {} before {}", file.string(), whose, aside.string(), before);
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
  const std::vector<ScanSources::Part> parts = m_sources.unreadParts();
  const auto madeFrom = [&](const std::string& entry) -> const std::set<std::string>* {
    const auto found = made.find(entry);
    return found == made.end() ? nullptr : &found->second;
  };
  const auto previously = [&](const std::string& entry) -> const ScanRecord::Entry* {
    const auto found = previous.find(entry);
    return found == previous.end() ? nullptr : &found->second;
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

  // What moves, what stays; the user's files go aside first. Until the files
  // have moved, the record gives those that move no content: each holds
  // either the scan's previous file or its new one, the user's having gone
  // aside.
  ScanRecord::Entries listed = previous;
  ScanRecord::Entries next;
  std::map<std::string, FileStamp> movingContent;  // what the scan wrote
  std::set<std::string> settled;  // entries made again, moved or kept
  for (CommitFolder& folder : folders) {
    for (const std::string& name : folder.fresh) {
      const std::string entry = std::string(folder.prefix) + name;
      const fs::path live = folder.live / name;
      std::error_code ec;
      const fs::file_status status = fs::symlink_status(live, ec);
      const bool exists = fs::exists(status);
      const ScanRecord::Entry* before = previously(entry);
      settled.insert(entry);
      if (m_sources.previousFileStays(entry, live)) {
        // A file made from a BGL file not read whole: the previous file stays.
        keep(entry, unreadPartsOf(madeFrom(entry)));
        if (before != nullptr) {
          next[entry] = *before;
          lf_addSources(next, entry, madeFrom(entry));
          lf_addSources(listed, entry, madeFrom(entry));
        }
        continue;
      }
      // Only "my_thirdparty" holds the user's own park files: there alone a
      // file is looked into, and what the scan writes is recorded.
      const LiveContent content = folder.simaddon || !exists || fs::is_directory(status) ? LiveContent::scans
                                  : before == nullptr                                     ? LiveContent::users
                                                                                          : lf_liveContent(*before, live);
      const std::string_view notReplaced = " and the generated one is not put in its place";
      if (content == LiveContent::unreadable ||
          (content == LiveContent::users &&
           !lf_keepUsersFileAside(live, before != nullptr, "the generated one replaces it", notReplaced))) {
        if (content == LiveContent::unreadable) lf_logUnreadableLiveFile(live, notReplaced);
        result.leftAsTheyAre.insert(live.string());
        if (before != nullptr) next[entry] = *before;
        continue;
      }
      folder.moving.push_back(name);
      if (!recorded(folder)) continue;
      if (!folder.simaddon) movingContent[entry] = gf_fileStamp(lf_freshFolder(folder.live) / name);
      listed[entry].content.reset();
      lf_addSources(listed, entry, madeFrom(entry));
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
      const auto content = movingContent.find(entry);
      const bool known = content != movingContent.end() && content->second.readable;
      moved[entry] = ScanRecord::Entry{{}, known ? std::optional(content->second) : std::nullopt};
      lf_addSources(moved, entry, madeFrom(entry));
      next[entry] = moved[entry];
    }
  }
  if (!result.failure.empty()) {
    // The files that did not move keep their previous ones; the record
    // keeps the previous names and those that moved.
    ScanRecord::write(moved, result.failure);
    return result;
  }

  // The previous files not made again: kept when an unread part may have
  // made them, else removed; in "my_thirdparty" one that no longer holds
  // what the scan wrote is the user's and goes aside first. A file that
  // stays keeps its entry.
  const auto removeOrKeep = [&](const fs::path& live, const std::string& entry, bool thirdparty) {
    const ScanRecord::Entry* before = previously(entry);
    const std::set<std::string>* sources = before != nullptr ? &before->sources : nullptr;
    bool stays = false;
    if (const std::set<std::string> why = unreadPartsOf(sources); !why.empty()) {
      keep(entry, why);
      stays = true;
    } else if (const LiveContent content = thirdparty && before != nullptr ? lf_liveContent(*before, live)
                                                                             : LiveContent::scans;
               content == LiveContent::unreadable) {
      lf_logUnreadableLiveFile(live, "");
      result.leftAsTheyAre.insert(live.string());
      stays = true;
    } else if (content == LiveContent::users && !lf_keepUsersFileAside(live, true, "the scan removes it", "")) {
      result.leftAsTheyAre.insert(live.string());
      stays = true;
    } else {
      stays = !lf_removeEntry(live, result.failure);
    }
    if (stays && before != nullptr) next[entry] = *before;
  };
  for (const auto& recorded : previous) {
    const std::string& entry = recorded.first;
    if (!entry.starts_with(kThirdpartyEntryPrefix) || settled.contains(entry)) continue;
    const fs::path live = g_myThirdpartyFolder / entry.substr(kThirdpartyEntryPrefix.size());
    // Only files: a folder of a recorded name is not one the scan made.
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(live, ec);
    if (!fs::exists(status) || fs::is_directory(status)) continue;
    removeOrKeep(live, entry, true);
  }
  if (msfs2020) {
    for (const std::string& name : lf_sortedEntries(g_mySimaddonFolder)) {
      const std::string entry = std::string(kSimaddonEntryPrefix) + name;
      if (!settled.contains(entry)) removeOrKeep(g_mySimaddonFolder / name, entry, false);
    }
  }
  ScanRecord::write(next, result.failure);
  return result;
}
