// Folders, paths and whole-file reading and writing.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

// Folder and file paths, relative to the working folder; built by
// gf_initFolders() at start-up.
extern fs::path g_inputFolder;              // "input"
extern fs::path g_airportsFolder;           // "airports"
extern fs::path g_myThirdpartyFolder;       // "airports/my_thirdparty"
extern fs::path g_mySimaddonFolder;         // "airports/my_simaddon"
extern fs::path g_learnedSimaddonFolder;    // "airports/learned/simaddon"
extern fs::path g_learnedThirdpartyFolder;  // "airports/learned/thirdparty"
extern std::string g_tbloFolderName;        // "TBLO"
extern std::string g_fsBaseFolderName;      // "fs-base"
extern fs::path g_outputFolder;             // "output"
extern fs::path g_outputInfoFolder;         // "output/info"
extern fs::path g_outputErrorsFolder;       // "output/errors"
extern fs::path g_airportsScanLogPath;      // "output/info/AirportsScanLog.txt"
extern fs::path g_liveriesScannedPath;      // "output/LiveriesScanned.xml"

// Builds the paths above and creates "output/info" and "output/errors".
// Returns false (and logs) when a folder cannot be created.
bool gf_initFolders();

// The per-user roaming / local application-data folder; empty (and logged)
// when it cannot be found.
fs::path gf_getAppDataPath();
fs::path gf_getLocalAppDataPath();
// The program's own folder under the roaming AppData folder ("Skyloom"),
// where parameters.xml lives; created when missing. Empty when unknown.
fs::path gf_userDataFolder();

// Removes every entry of a folder; a failure throws UserErrorException 5.
void gf_clearFolder(const fs::path& folder);
// The number of entries of a folder (files and folders alike); 0 when missing.
std::size_t gf_countSubfolders(const fs::path& folder);
// Fills the list with the names, without extension, of the ".XML" files
// (any letter case) in "airports/my_thirdparty".
void gf_listXmlFiles(std::vector<std::string>& names);

// Whether a name from outside (an ICAO code, a publisher, a texture name) can
// be one component of a path: not empty, not "." or "..", without
// separators, control characters or the characters Windows refuses in names,
// and not a name Windows keeps for a device ("COM1", "nul.xml": a file of
// that name would be the serial port or nothing at all).
bool gf_isPlainPathComponent(std::string_view name);

// The entry of `folder` named `name` in any letter case (the exact name
// first), as Windows finds it; nullopt when there is none. Errors that only
// say "not there" (a missing path, a file in the way, a name too long to
// exist) give nullopt; other file-system errors throw filesystem_error.
std::optional<fs::path> gf_findEntryIgnoringCase(const fs::path& folder, std::string_view name);

// Writes the whole file through a temporary file in the same folder that is
// then renamed over the target, so a failure never leaves a half-written or
// replaced file. Returns false when anything failed (the target is untouched).
bool gf_replaceFileAtomically(const fs::path& target, std::string_view content);

// A name beside `file` under which a copy of it can be kept:
// "<file><suffix>", else "<file><suffix>2", "<file><suffix>3", ... the first
// that does not exist. When all of the first 999 exist, the oldest of them
// (by the time it was written) that is a plain file gives way, so that a new
// copy can always be kept; empty only when none of them is a plain file.
// Whether the name is taken tells the caller that a copy gives way.
fs::path gf_freeAsidePath(const fs::path& file, std::string_view suffix);
// The copy among those names that holds exactly `content`, or empty: what is
// kept aside already need not be kept again.
fs::path gf_asideCopyHolding(const fs::path& file, std::string_view suffix, std::string_view content);
// The same for the bytes `file` holds now, compared block by block so that a
// file of any size is never held in memory.
fs::path gf_asideCopyOf(const fs::path& file, std::string_view suffix);
// Whether two regular files hold the same bytes (sizes, then blocks).
bool gf_sameFileBytes(const fs::path& a, const fs::path& b);

// Whether a file name is exactly the form of a temporary file of
// gf_replaceFileAtomically ("<name>.tmp-skyloom-<hex>-<count>") or of a
// download ("<name>.<14 hex digits>.download").
bool gf_isOurTemporaryFileName(std::string_view name);
// Removes (and logs) such files that a killed run left: the saves' in the
// given folders, the downloads' in the download folders; or, without
// arguments, the saves' in the folders the program writes into (the working
// folder, the user data folder, "output" and its sub-folders, "input", the
// airport folders and the airport scan's ".scan" folders beside them, the
// learned files' folders to two levels, "TBLO") and the downloads' in the
// working folder. A file of another name, or a download's form outside the
// download folders, is never touched. Call it once at start, while the
// single-instance mutex is held. Returns how many went.
std::size_t gf_removeStaleTemporaryFiles(const std::vector<fs::path>& folders,
                                         const std::vector<fs::path>& downloadFolders);
std::size_t gf_removeStaleTemporaryFiles();
// A file written piece by piece into a temporary file in the same folder,
// which commit() renames over the target; a writer that ends without a
// successful commit() removes its temporary file and leaves the target as it
// was. For files too large to build in memory first.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const fs::path& target);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  // Appends; false once anything has failed.
  bool write(std::string_view piece);
  // Flushes, closes and renames; false when anything failed.
  bool commit();

 private:
  fs::path m_target;
  fs::path m_temp;
  std::FILE* m_file = nullptr;
  bool m_ok = false;
};

// The end of the program: waits up to `wait` for the saves in progress of
// AtomicFileWriter (and so of every writer above) to finish, then removes the
// temporary files of those still going (logged, with why when one cannot be
// removed; their commit then fails and the target stays as it was), so that
// a save the end interrupts leaves nothing behind. Returns how many were
// given up.
std::size_t gf_endSavesInProgress(std::chrono::milliseconds wait);

// Write texts one per line ("\n" after each) / one text, replacing the file.
bool gf_writeLines(const fs::path& path, const std::vector<std::string>& lines);
bool gf_writeLineList(const fs::path& path, const std::list<std::string>& lines);
bool gf_writeTextFile(const fs::path& path, std::string_view text, bool endOfLine);

// ---------------------------------------------------------------- reading a user's file
//
// Every file the program reads from the user's folders goes through
// gf_readUserFile: only a regular file is read (a folder, a named pipe or a
// device is refused with a message naming the path, and nothing waits for a
// pipe's writer: the file is opened without blocking and then looked at),
// at most the size cap of the file's kind, whole into a buffer that the
// parser then reads. Failures come in three kinds, each with one message:
//   missing       "File '{path}' not found"
//   not readable  "File '{path}' cannot be read: {why}"  (a folder, a pipe,
//                 a device, no permission, a read error)
//   corrupt       "File '{path}' is corrupt: {why}"      (larger than the
//                 cap of its kind, or the parser refused the content)

// Size caps of the kinds of files.
inline constexpr std::uintmax_t kSettingsFileMaxBytes = std::uintmax_t{4} << 20;   // parameters.xml
inline constexpr std::uintmax_t kAirportListMaxBytes = std::uintmax_t{64} << 20;   // airports_msfs.xml, names
inline constexpr std::uintmax_t kTextFileMaxBytes = std::uintmax_t{64} << 20;      // aircraft.cfg and other texts

enum class FileProblem { none, missing, notReadable, corrupt };

struct FileReadResult {
  FileProblem problem = FileProblem::none;
  std::string message;  // names the path; empty when the file was read
  std::string detail;   // the reason alone ("not found", "it is a folder", ...)
  explicit operator bool() const noexcept { return problem == FileProblem::none; }
};

// The results of the three kinds, with their messages.
FileReadResult gf_fileMissing(const fs::path& path);
FileReadResult gf_fileNotReadable(const fs::path& path, std::string_view why);
FileReadResult gf_fileCorrupt(const fs::path& path, std::string_view why);

// Reads the whole regular file into content (emptied first), at most maxBytes.
FileReadResult gf_readUserFile(const fs::path& path, std::uintmax_t maxBytes, std::string& content);

// The same, returning only whether it was read.
bool gf_readWholeFile(const fs::path& path, std::string& content,
                      std::uintmax_t maxBytes = std::uintmax_t{1} << 31);

struct TextFileLines {
  // The file's lines without line ends ("\n" or "\r\n"); empty when it
  // cannot be read or is larger than kTextFileMaxBytes.
  static std::vector<std::string> read(const fs::path& path, std::size_t reserveLines);
};

// Character set codes of text files.
enum Charset : int {
  kCharsetAnsi = 0,
  kCharsetUtf16Le = 1,
  kCharsetUtf16Be = 2,
  kCharsetUtf8Bom = 3,
  kCharsetUtf8 = 4,
  kCharsetNone = 5,
};

// Reads the first 1027 bytes of a file and tells its character set
// (kCharsetNone also when the file cannot be read).
int gf_detectCharset(const fs::path& path);
// The character set of the first bytes of a text (at most 1027 are looked at).
int gf_charsetOfSample(std::string_view sample);
// A file's bytes in the character set of the code as UTF-8 text (a byte
// order mark dropped); in a text of code 3 or 4 a line that is not valid
// UTF-8 is read as ANSI, every other line as UTF-8; codes other than 0 to 4
// give the bytes unchanged.
std::string gf_textToUtf8(int charset, std::string content);
// Reads the whole file as lines converted to UTF-8 per the code, appending to
// lines; false when the file cannot be read (see gf_readUserFile; at most
// kTextFileMaxBytes); an unknown code throws std::runtime_error
// "file {} has unknown charset: {}".
bool gf_readTextLines(int charset, const fs::path& path, std::vector<std::string>& lines);
// The same with the reason of a failure, and a cap of the caller's choice.
FileReadResult gf_readTextFile(int charset, const fs::path& path, std::vector<std::string>& lines,
                               std::uintmax_t maxBytes = kTextFileMaxBytes);
// Converts the bytes of a text in that character set (not kCharsetNone) to
// UTF-8 lines, appended to lines.
void gf_textToLines(int charset, std::string content, std::vector<std::string>& lines);
