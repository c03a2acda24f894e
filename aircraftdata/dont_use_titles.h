// The offline livery inputs: the registration data file in the "input"
// folder and the user's own text files in two folders under "input" (the
// formats are described in docs/livery-tables.md). From them come the livery
// titles that must never be used (loaded here before a livery scan) and the
// registrations bound to installed liveries (applied by the livery tables).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The registration data file in the "input" folder.
inline constexpr std::string_view kRegcodeDataFileName = "AIG-regcodes.xml";
// The user's folders under "input": registration files and don't-use files.
inline constexpr std::string_view kUserRegcodesFolderName = "my_regcodes";
inline constexpr std::string_view kUserDontUseFolderName = "my_dontuse";
// The largest data file and user file that are read.
inline constexpr std::uintmax_t kRegcodeDataFileMaxBytes = std::uintmax_t{64} << 20;
inline constexpr std::uintmax_t kUserTextFileMaxBytes = std::uintmax_t{16} << 20;
// The longest registration that is taken (as the aircraft.cfg parser does).
inline constexpr std::size_t kMaxRegistrationLength = 12;

struct OfflineRegcode {
  std::string registration;
  std::string title;
};

struct RegcodeDataFile {
  std::vector<OfflineRegcode> regcodes;    // "reg" elements, in file order
  std::vector<std::string> dontUseTitles;  // "dontuse" elements, in file order
  std::size_t skipped = 0;                 // malformed elements
};

// Paths of the inputs, below g_inputFolder.
std::filesystem::path gf_regcodeDataFilePath();
std::filesystem::path gf_userRegcodesFolder();
std::filesystem::path gf_userDontUseFolder();

// Reads the registration data file. Throws std::runtime_error when it is
// larger than kRegcodeDataFileMaxBytes, cannot be read, is not well-formed
// XML or its root is not "regcodes". A missing file is the caller's test.
RegcodeDataFile gf_readRegcodeDataFile(const std::filesystem::path& path);

// The ".txt" files (any letter case) directly in the folder, sorted by name
// in byte order; empty when the folder does not exist. Throws
// std::filesystem::filesystem_error when it cannot be listed.
std::vector<std::filesystem::path> gf_listUserTextFiles(const std::filesystem::path& folder);

// The lines of a user text file in its character set (UTF-8 with or without
// byte order mark, UTF-16 LE or BE, else the ANSI code page), each trimmed,
// empty ones dropped. An empty file gives no lines. Throws std::runtime_error
// when the file is larger than kUserTextFileMaxBytes, holds binary data or
// cannot be read.
std::vector<std::string> gf_readUserTextFile(const std::filesystem::path& path);

// Splits one line of a user registration file: the registration is the text
// up to the first blank or tab, the title the trimmed rest. False when there
// is no title or the registration is longer than kMaxRegistrationLength.
bool gf_splitRegcodeLine(std::string_view line, OfflineRegcode& entry);

// Loads the livery titles that must never be used into the parser's set
// (g_dontUseLiveryTitles), replacing what it held: the "dontuse" entries of
// the registration data file, then every line of the user's don't-use files.
// A file that cannot be read is logged and skipped; any other error is caught
// and logged as "exception: {}", keeping the titles loaded until then.
void lf_processDontUseTitles();
