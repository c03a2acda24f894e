// Folders, paths and whole-file reading and writing.
#pragma once

#include <cstdint>
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
// be one component of a path: not empty, not "." or "..", and without
// separators, control characters or the characters Windows refuses in names.
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

// Write texts one per line ("\n" after each) / one text, replacing the file.
bool gf_writeLines(const fs::path& path, const std::vector<std::string>& lines);
bool gf_writeLineList(const fs::path& path, const std::list<std::string>& lines);
bool gf_writeTextFile(const fs::path& path, std::string_view text, bool endOfLine);

// Reads a whole file, at most maxBytes; false when it cannot be read or is larger.
bool gf_readWholeFile(const fs::path& path, std::string& content,
                      std::uintmax_t maxBytes = std::uintmax_t{1} << 31);

struct TextFileLines {
  // The file's lines without line ends ("\n" or "\r\n"); empty when it cannot be opened.
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

// Reads the first 1027 bytes of a file and tells its character set.
int gf_detectCharset(const fs::path& path);
// Reads the whole file as lines converted to UTF-8 per the code, appending to
// lines; false when the file cannot be read; an unknown code throws
// std::runtime_error "file {} has unknown charset: {}".
bool gf_readTextLines(int charset, const fs::path& path, std::vector<std::string>& lines);
