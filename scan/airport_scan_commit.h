// Inside the add-on airport scan (its own files and tests; not for others):
// where the scan's files are made, what it learns about their sources and
// about the parts it could not read, the record of the files it made, and
// the commit that puts its files in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/file_stamp.h"

// "my_simaddon/NAME" and "my_thirdparty/NAME": a file of the scan's folders
// as the record and the sources name it.
inline constexpr std::string_view kSimaddonEntryPrefix = "my_simaddon/";
inline constexpr std::string_view kThirdpartyEntryPrefix = "my_thirdparty/";

// A path as Windows compares it: letter case and the kind of separator do
// not count, nor a separator at its end.
std::string lf_pathKey(const std::string& path);
// Whether path is part or lies below it (both as lf_pathKey gives them).
bool lf_liesWithin(const std::string& pathKey, const std::string& partKey);

// The names of the entries of a folder, sorted; none when it is missing.
std::vector<std::string> lf_sortedEntries(const std::filesystem::path& folder);
// Moves the named files of `from` into `to` in their order, each replacing a
// file of the same name in one rename. Stops at the first that cannot be
// moved, with why in failure. Returns how many were moved.
std::size_t lf_moveFiles(const std::filesystem::path& from, const std::filesystem::path& to,
                         const std::vector<std::string>& names, std::string& failure);
// Removes an entry, a folder with its content; false (with why in failure,
// when it holds none yet) when it stays.
bool lf_removeEntry(const std::filesystem::path& path, std::string& failure);
// The fresh folder beside a live one ("<live>.scan").
std::filesystem::path lf_freshFolder(const std::filesystem::path& live);

// What the running scan learns, from the run thread and the tasks (its own
// mutex, a leaf lock): the BGL file each of its files came from, the BGL
// files it read whole, and the parts (roots, folders, files) it could not
// read whole.
class ScanSources {
 public:
  // A part that could not be read whole; the same part counts once.
  void unread(const std::string& part, const std::string& reason);
  // A BGL file read to its end, whatever it held.
  void readWhole(const std::string& file);
  // The files ("my_thirdparty/EGLL.xml") one BGL file made; whole: it was
  // read to its end (else its files count as partial).
  void fileDone(const std::string& source, const std::set<std::string>& made, bool whole);

  struct Part {
    std::string path;
    std::string key;
    std::string reason;
  };
  std::vector<Part> unreadParts() const;
  std::map<std::string, std::set<std::string>> made() const;
  // Whether the previous file of an entry stays in place of the scan's: the
  // scan made it from a BGL file not read whole, and a file stands at live.
  bool previousFileStays(const std::string& entry, const std::filesystem::path& live) const;
  bool wasReadWhole(const std::string& fileKey) const;

 private:
  mutable std::mutex m_mutex;
  std::vector<Part> m_unread;
  std::set<std::string> m_unreadKeys;
  std::set<std::string> m_readWhole;  // keys
  std::map<std::string, std::set<std::string>> m_made;
  std::set<std::string> m_partial;
};

// The running scan's sources; nullptr while no scan runs.
ScanSources* gf_scanSources();

// "airports/scanned_airport_files.txt": the files the scan made that stand
// in the live folders, one "my_thirdparty/NAME" or "my_simaddon/NAME" a
// line, each followed by a tab, the size and the hash (16 hex digits) of
// what the scan wrote, separated by a tab, then a tab and the BGL file it
// came from (a line per source; no source: the name is not known to come
// from one). Lines of "my_simaddon", which holds no file of the user's, give
// no size and hash. Records of earlier versions give no size and hash: NAME alone,
// or NAME, a tab and the source; such a file counts as the scan's whatever
// it holds. Only plain file names count: a line that names anything else
// never makes the scan remove a file.
class ScanRecord {
 public:
  struct Entry {
    std::set<std::string> sources;
    // What the file held when the scan put it in place (a stamp of a
    // readable file); nullopt: not known.
    std::optional<FileStamp> content;
  };
  using Entries = std::map<std::string, Entry>;
  static std::filesystem::path path();
  // False (with why) when the record exists but cannot be read.
  static bool read(Entries& entries, std::string& failure);
  static bool write(const Entries& entries, std::string& failure);
};

// How the files of a scan went into the live folders.
struct CommitResult {
  std::string failure;   // "" when every step succeeded; else the file that failed and why
  std::size_t kept = 0;  // previous files that stay because a part the scan could not read may have made them
  std::set<std::string> keptFor;  // the parts they stay for
  // Files of "my_thirdparty" left as they are: they could not be read to tell
  // whether the user changed them, or the user's could not be kept aside.
  std::set<std::string> leftAsTheyAre;
};

// Points the scan's output at fresh folders beside the live ones, and the
// scan's sources at its own, for its lifetime; the live folders change only
// in commit().
class ScanOutput {
 public:
  ScanOutput();
  ~ScanOutput();
  ScanOutput(const ScanOutput&) = delete;
  ScanOutput& operator=(const ScanOutput&) = delete;

  ScanSources& sources() { return m_sources; }

  // The scan's files move into the live folders. Of the previous files it
  // did not make again, those the parts it could not read may have made
  // stay; the others go: in "my_thirdparty", where the user's own park files
  // live, only those of the record; in "my_simaddon" all in MSFS 2020 mode
  // (in MSFS 2024 mode it keeps the downloaded package's files). A file made
  // from a BGL file not read whole never replaces a previous file. A file of
  // the user's in "my_thirdparty" (a name not in the record, or one whose
  // content is not what the scan wrote) is copied aside before a generated
  // one replaces it or the scan removes it; one that cannot be read to tell
  // stays.
  //
  // Whatever step fails, no airport that had a file is left without one:
  // the record lists the previous and the new files before anything moves,
  // each new file replaces its previous one in one rename, and nothing is
  // removed before every file has moved.
  CommitResult commit(bool msfs2020);

 private:
  ScanSources m_sources;
};
