#include "app/files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fmt/format.h>
#include <fmt/std.h>

#include "app/errors.h"
#include "app/log.h"
#include "app/text.h"
#include "app/utf.h"
#include "app/version.h"
#include "platform/win32/kernel.h"

fs::path g_inputFolder = "input";
fs::path g_airportsFolder = "airports";
fs::path g_myThirdpartyFolder = fs::path("airports") / "my_thirdparty";
fs::path g_mySimaddonFolder = fs::path("airports") / "my_simaddon";
fs::path g_learnedSimaddonFolder = fs::path("airports") / "learned" / "simaddon";
fs::path g_learnedThirdpartyFolder = fs::path("airports") / "learned" / "thirdparty";
std::string g_tbloFolderName = "TBLO";
std::string g_fsBaseFolderName = "fs-base";
fs::path g_outputFolder = "output";
fs::path g_outputInfoFolder = fs::path("output") / "info";
fs::path g_outputErrorsFolder = fs::path("output") / "errors";
fs::path g_airportsScanLogPath = fs::path("output") / "info" / "AirportsScanLog.txt";
fs::path g_liveriesScannedPath = fs::path("output") / "LiveriesScanned.xml";

bool gf_initFolders() {
  g_inputFolder = "input";
  g_airportsFolder = "airports";
  g_myThirdpartyFolder = g_airportsFolder / "my_thirdparty";
  g_mySimaddonFolder = g_airportsFolder / "my_simaddon";
  g_learnedSimaddonFolder = g_airportsFolder / "learned" / "simaddon";
  g_learnedThirdpartyFolder = g_airportsFolder / "learned" / "thirdparty";
  g_tbloFolderName = "TBLO";
  g_fsBaseFolderName = "fs-base";
  g_outputFolder = "output";
  g_outputInfoFolder = g_outputFolder / "info";
  g_outputErrorsFolder = g_outputFolder / "errors";
  g_airportsScanLogPath = g_outputInfoFolder / "AirportsScanLog.txt";
  g_liveriesScannedPath = g_outputFolder / "LiveriesScanned.xml";
  bool ok = true;
  for (const auto& folder : {g_outputInfoFolder, g_outputErrorsFolder}) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
      gf_logError("Could not create folder '{}': {}", folder.string(), ec.message());
      ok = false;
    }
  }
  return ok;
}

namespace {
fs::path shellFolder(int csidl) {
  WCHAR buffer[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) return {};
  try {
    return fs::path(win32::utf16ToUtf8(buffer));
  } catch (const std::exception&) {
    return {};
  }
}
}  // namespace

fs::path gf_getAppDataPath() {
  fs::path p = shellFolder(CSIDL_APPDATA);
  if (p.empty()) gf_logError("Could not find the AppData path");
  return p;
}

fs::path gf_getLocalAppDataPath() {
  fs::path p = shellFolder(CSIDL_LOCAL_APPDATA);
  if (p.empty()) gf_logError("Could not find the a Local Appdata path");
  return p;
}

fs::path gf_userDataFolder() {
  const fs::path appData = gf_getAppDataPath();
  if (appData.empty()) return {};
  fs::path folder = appData / std::string(kProgramName);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) gf_logError("Could not create folder '{}': {}", folder.string(), ec.message());
  return folder;
}

void gf_clearFolder(const fs::path& folder) {
  try {
    if (!fs::exists(folder)) return;
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
  } catch (const std::exception& e) {
    throw qor::UserErrorException(5, fmt::format("Could not clear folder '{}': {}", folder.string(), e.what()));
  }
}

std::size_t gf_countSubfolders(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return 0;
  std::size_t n = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
  return n;
}

void gf_listXmlFiles(std::vector<std::string>& names) {
  std::error_code ec;
  if (!fs::is_directory(g_myThirdpartyFolder, ec)) return;
  std::vector<std::string> found;
  for (fs::directory_iterator it(g_myThirdpartyFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (gf_toUpper(p.extension().string()) == ".XML") found.push_back(p.stem().string());
  }
  std::sort(found.begin(), found.end());  // a stable order whatever the directory gives
  names.insert(names.end(), found.begin(), found.end());
}

namespace {
bool lf_meansMissing(const std::error_code& ec) {
  return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory ||
         ec == std::errc::filename_too_long;
}
}  // namespace

bool gf_isPlainPathComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  // A device name, alone or before an extension, whatever the letter case.
  std::string base = gf_toUpper(std::string(name.substr(0, name.find('.'))));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  const bool numbered = base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
                        base[3] <= '9';
  if (numbered || base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
           c == '<' || c == '>' || c == '|';
  });
}

std::optional<fs::path> gf_findEntryIgnoringCase(const fs::path& folder, std::string_view name) {
  const fs::path exact = folder / name;
  std::error_code ec;
  const fs::file_status status = fs::status(exact, ec);
  if (fs::exists(status)) return exact;
  if (ec && !lf_meansMissing(ec)) throw fs::filesystem_error("status", exact, ec);
  fs::directory_iterator it(folder, ec);
  if (ec) {
    if (lf_meansMissing(ec)) return std::nullopt;
    throw fs::filesystem_error("directory_iterator::directory_iterator", folder, ec);
  }
  const std::string wanted = gf_toLower(name);
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (gf_toLower(it->path().filename().string()) == wanted) return it->path();
  }
  if (ec) throw fs::filesystem_error("directory_iterator::operator++", folder, ec);
  return std::nullopt;
}

namespace {
// Part of every temporary file name of gf_replaceFileAtomically, so that the
// files a killed run leaves behind can be recognised and removed.
constexpr std::string_view kTemporaryFileMarker = ".tmp-skyloom-";

bool lf_isLowerHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool lf_isDecimal(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether a name ends in "<marker><hex>-<count>" after at least one more
// character: the thread tag (at most 6 hex digits) and the decimal counter
// that AtomicFileWriter appends, and nothing after them.
bool lf_endsInTemporaryTag(std::string_view name, std::string_view marker) {
  const std::size_t at = name.rfind(marker);
  if (at == std::string_view::npos || at == 0) return false;
  const std::string_view tag = name.substr(at + marker.size());
  const std::size_t dash = tag.find('-');
  if (dash == std::string_view::npos) return false;
  const std::string_view thread = tag.substr(0, dash);
  const std::string_view count = tag.substr(dash + 1);
  return !thread.empty() && thread.size() <= 6 && lf_isLowerHex(thread) && !count.empty() && count.size() <= 10 &&
         lf_isDecimal(count);
}

bool lf_isSaveTemporaryFileName(std::string_view name) {
  // "<name>.tmp-skyloom-<hex>-<count>" only: a shorter form such as
  // "<name>.tmp<hex>-<count>" is a name a user's own file may well have.
  return lf_endsInTemporaryTag(name, kTemporaryFileMarker);
}

bool lf_isDownloadTemporaryFileName(std::string_view name) {
  // "<name>.<8 + 6 hex digits>.download", the form of the download's own
  // temporary file beside its target.
  constexpr std::string_view kDownload = ".download";
  constexpr std::size_t kTag = 1 + 14;
  if (name.size() <= kDownload.size() + kTag || !name.ends_with(kDownload)) return false;
  const std::string_view tag = name.substr(name.size() - kDownload.size() - kTag, kTag);
  return tag.front() == '.' && lf_isLowerHex(tag.substr(1));
}

}  // namespace

bool gf_isOurTemporaryFileName(std::string_view name) {
  return lf_isSaveTemporaryFileName(name) || lf_isDownloadTemporaryFileName(name);
}

std::size_t gf_removeStaleTemporaryFiles(const std::vector<fs::path>& folders,
                                         const std::vector<fs::path>& downloadFolders) {
  std::size_t removed = 0;
  const auto sweep = [&removed](const fs::path& folder, bool (*isStale)(std::string_view)) {
    std::error_code ec;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError) && isStale(it->path().filename().string())) stale.push_back(it->path());
    }
    for (const fs::path& file : stale) {
      if (fs::remove(file, ec)) {
        ++removed;
        gf_logLine("Removed the temporary file '{}' that an interrupted save left behind", file.string());
      } else if (ec) {
        gf_logError("Could not remove the temporary file '{}': {}", file.string(), ec.message());
      }
    }
  };
  for (const fs::path& folder : folders) sweep(folder, lf_isSaveTemporaryFileName);
  for (const fs::path& folder : downloadFolders) sweep(folder, lf_isDownloadTemporaryFileName);
  return removed;
}

std::size_t gf_removeStaleTemporaryFiles() {
  std::vector<fs::path> folders{fs::path("."),      g_outputFolder,       g_outputInfoFolder,
                                g_outputErrorsFolder, g_inputFolder,       g_airportsFolder,
                                g_myThirdpartyFolder, g_mySimaddonFolder, fs::path(g_tbloFolderName)};
  // The learned files: "learned" and the folders in it to two levels
  // ("stock", "simaddon", "thirdparty/<publisher>"); links to folders are not
  // followed, what they lead to is not ours.
  const fs::path learned = g_airportsFolder / "learned";
  folders.push_back(learned);
  std::error_code ec;
  for (fs::recursive_directory_iterator it(learned, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_symlink(typeError) || !it->is_directory(typeError)) continue;
    folders.push_back(it->path());
    if (it.depth() >= 1) it.disable_recursion_pending();
  }
  if (const fs::path userData = gf_userDataFolder(); !userData.empty()) folders.push_back(userData);
  // The airport scan writes its files into "<folder>.scan" beside the
  // folders of the generated files before it moves them.
  for (const fs::path& generated : {g_mySimaddonFolder, g_myThirdpartyFolder}) {
    fs::path fresh = generated;
    fresh += ".scan";
    folders.push_back(std::move(fresh));
  }
  // Downloads go to the working folder (the offline-learning check's) and to
  // the server files' folder, which every run empties itself.
  return gf_removeStaleTemporaryFiles(folders, {fs::path(".")});
}

namespace {

// The temporary files of the saves in progress, so that the end of the
// program can wait for them and remove what a save it cannot wait for would
// leave behind. A temporary file is made and registered, and removed or
// renamed and unregistered, under the mutex (a leaf lock). Never destroyed:
// a detached thread may still save while the process ends.
struct SavesInProgress {
  std::mutex mutex;
  std::condition_variable ended;
  std::map<const AtomicFileWriter*, fs::path> temporaryFiles;
};

SavesInProgress& lf_saves() {
  static auto* saves = new SavesInProgress;
  return *saves;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const fs::path& target) : m_target(target) {
  static std::atomic<unsigned> counter{0};
  const auto tid = std::hash<std::thread::id>{}(std::this_thread::get_id());
  m_temp = target;
  m_temp += fmt::format("{}{:x}-{}", kTemporaryFileMarker, tid & 0xffffff, counter.fetch_add(1));
  SavesInProgress& saves = lf_saves();
  std::lock_guard lock(saves.mutex);
  m_file = std::fopen(m_temp.c_str(), "wb");
  m_ok = m_file != nullptr;
  if (m_ok) saves.temporaryFiles.emplace(this, m_temp);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (m_file != nullptr) std::fclose(m_file);
  SavesInProgress& saves = lf_saves();
  std::lock_guard lock(saves.mutex);
  if (!m_temp.empty()) {
    std::error_code ec;
    fs::remove(m_temp, ec);
  }
  if (saves.temporaryFiles.erase(this) > 0) saves.ended.notify_all();
}

bool AtomicFileWriter::write(std::string_view piece) {
  if (m_ok && !piece.empty()) m_ok = std::fwrite(piece.data(), 1, piece.size(), m_file) == piece.size();
  return m_ok;
}

bool AtomicFileWriter::commit() {
  if (m_file == nullptr) return false;
  m_ok = (std::fflush(m_file) == 0) && m_ok;
  m_ok = (std::fclose(m_file) == 0) && m_ok;
  m_file = nullptr;
  if (!m_ok) return false;
  SavesInProgress& saves = lf_saves();
  std::lock_guard lock(saves.mutex);
  // A save that the end of the program gave up has no temporary file any more.
  if (!saves.temporaryFiles.contains(this)) return m_ok = false;
  std::error_code ec;
  fs::rename(m_temp, m_target, ec);
  if (ec) return m_ok = false;
  m_temp.clear();  // renamed: nothing left to remove
  saves.temporaryFiles.erase(this);
  saves.ended.notify_all();
  return true;
}

std::size_t gf_endSavesInProgress(std::chrono::milliseconds wait) {
  // Each given-up file with why it could not be removed ("" when it was).
  std::vector<std::pair<fs::path, std::string>> givenUp;
  {
    SavesInProgress& saves = lf_saves();
    std::unique_lock lock(saves.mutex);
    saves.ended.wait_for(lock, wait, [&] { return saves.temporaryFiles.empty(); });
    for (const auto& entry : saves.temporaryFiles) {
      std::error_code ec;
      fs::remove(entry.second, ec);
      givenUp.emplace_back(entry.second, ec ? ec.message() : std::string());
    }
    saves.temporaryFiles.clear();
  }
  for (const auto& [file, problem] : givenUp) {
    if (problem.empty())
      gf_logError("A save had not finished at the end: its temporary file '{}' is removed", file.string());
    else
      gf_logError("A save had not finished at the end: its temporary file '{}' could not be removed: {}",
                  file.string(), problem);
  }
  return givenUp.size();
}

bool gf_replaceFileAtomically(const fs::path& target, std::string_view content) {
  AtomicFileWriter writer(target);
  writer.write(content);
  return writer.commit();
}

namespace {
template <typename Container>
bool writeJoined(const fs::path& path, const Container& lines) {
  std::string content;
  for (const auto& line : lines) {
    content += line;
    content.push_back('\n');
  }
  return gf_replaceFileAtomically(path, content);
}
}  // namespace

bool gf_writeLines(const fs::path& path, const std::vector<std::string>& lines) { return writeJoined(path, lines); }
bool gf_writeLineList(const fs::path& path, const std::list<std::string>& lines) { return writeJoined(path, lines); }

bool gf_writeTextFile(const fs::path& path, std::string_view text, bool endOfLine) {
  if (!endOfLine) return gf_replaceFileAtomically(path, text);
  std::string content(text);
  content.push_back('\n');
  return gf_replaceFileAtomically(path, content);
}

FileReadResult gf_fileMissing(const fs::path& path) {
  return {FileProblem::missing, fmt::format("File '{}' not found", path.string()), "not found"};
}

FileReadResult gf_fileNotReadable(const fs::path& path, std::string_view why) {
  return {FileProblem::notReadable, fmt::format("File '{}' cannot be read: {}", path.string(), why), std::string(why)};
}

FileReadResult gf_fileCorrupt(const fs::path& path, std::string_view why) {
  return {FileProblem::corrupt, fmt::format("File '{}' is corrupt: {}", path.string(), why), std::string(why)};
}

namespace {

// A file opened for reading and checked to be a regular file.
class UserFile {
 public:
  UserFile(const UserFile&) = delete;
  UserFile& operator=(const UserFile&) = delete;
  ~UserFile() {
    if (m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle);
  }

  // Opens without waiting (a pipe without a writer opens at once) and looks
  // at what was opened before anything is read.
  static FileReadResult open(const fs::path& path, UserFile& file) {
    std::u16string wide;
    try {
      wide = win32::utf8ToUtf16(path.string());
    } catch (const std::exception&) {
      return gf_fileNotReadable(path, "its name is not valid UTF-8");
    }
    file.m_handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file.m_handle == INVALID_HANDLE_VALUE) {
      switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
          return gf_fileMissing(path);
        case ERROR_ACCESS_DENIED:
          return gf_fileNotReadable(path, "access denied");
        case ERROR_FILENAME_EXCED_RANGE:
          return gf_fileNotReadable(path, "the path is too long");
        default:
          return gf_fileNotReadable(path, "it cannot be opened");
      }
    }
    const DWORD type = ::GetFileType(file.m_handle);
    if (type == FILE_TYPE_PIPE) return gf_fileNotReadable(path, "it is a pipe, not a file");
    if (type != FILE_TYPE_DISK) return gf_fileNotReadable(path, "it is a device, not a file");
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.m_handle, &info)) return gf_fileNotReadable(path, "it cannot be examined");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return gf_fileNotReadable(path, "it is a folder");
    file.m_size = (std::uintmax_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return {};
  }

  std::uintmax_t size() const noexcept { return m_size; }

  // Reads up to `limit` bytes from the start (fewer when the file is shorter
  // or shrank since it was opened).
  bool read(std::size_t limit, std::string& content) const {
    content.assign(limit, '\0');
    std::size_t got = 0;
    while (got < limit) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(limit - got, std::size_t{1} << 24));
      DWORD n = 0;
      if (!::ReadFile(m_handle, content.data() + got, chunk, &n, nullptr)) {
        content.clear();
        return false;
      }
      if (n == 0) break;
      got += n;
    }
    content.resize(got);
    return true;
  }

  UserFile() = default;

 private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
  std::uintmax_t m_size = 0;
};

}  // namespace

FileReadResult gf_readUserFile(const fs::path& path, std::uintmax_t maxBytes, std::string& content) {
  content.clear();
  UserFile file;
  if (FileReadResult opened = UserFile::open(path, file); !opened) return opened;
  if (file.size() > maxBytes)
    return gf_fileCorrupt(path, fmt::format("it has {} bytes, more than the {} a file of its kind may have",
                                            file.size(), maxBytes));
  // Bounded by the size the file had when it was opened: a file that grows
  // meanwhile is read as it was.
  if (!file.read(static_cast<std::size_t>(file.size()), content)) return gf_fileNotReadable(path, "a read failed");
  return {};
}

bool gf_readWholeFile(const fs::path& path, std::string& content, std::uintmax_t maxBytes) {
  return static_cast<bool>(gf_readUserFile(path, maxBytes, content));
}

namespace {
void splitLines(std::string_view text, std::vector<std::string>& lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
}

bool isValidUtf8(std::string_view s, bool& hasMultibyte) {
  hasMultibyte = false;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || (len == 2 && c < 0xC2)) return false;
    if (len > 1) hasMultibyte = true;
    if (i + len > s.size()) return true;  // cut at the end of the sample
    for (std::size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// Where a text stops being valid UTF-8 (npos when it never does): the
// first byte that cannot start a character, starts a sequence cut short, an
// overlong form, a surrogate or a code beyond U+10FFFF.
std::size_t lf_firstInvalidUtf8(std::string_view s) {
  std::size_t i = 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < s.size()) {
    const unsigned char c = byte(i);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return i;
    }
    if (s.size() - i < len || byte(i + 1) < low || byte(i + 1) > high) return i;
    for (std::size_t k = 2; k < len; ++k)
      if ((byte(i + k) & 0xC0) != 0x80) return i;
    i += len;
  }
  return std::string_view::npos;
}

bool lf_isWholeValidUtf8(std::string_view s) { return lf_firstInvalidUtf8(s) == std::string_view::npos; }

}  // namespace

std::vector<std::string> TextFileLines::read(const fs::path& path, std::size_t reserveLines) {
  std::vector<std::string> lines;
  std::string content;
  if (!gf_readUserFile(path, kTextFileMaxBytes, content)) return lines;
  lines.reserve(reserveLines);
  splitLines(content, lines);
  return lines;
}

int gf_detectCharset(const fs::path& path) {
  UserFile file;
  std::string sample;
  if (!UserFile::open(path, file) || !file.read(1027, sample)) return kCharsetNone;
  return gf_charsetOfSample(sample);
}

int gf_charsetOfSample(std::string_view sample) {
  if (sample.size() > 1027) sample = sample.substr(0, 1027);
  if (sample.empty()) return kCharsetNone;
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(sample[i]); };
  if (sample.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) return kCharsetUtf16Le;
  if (sample.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) return kCharsetUtf16Be;
  if (sample.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return kCharsetUtf8Bom;
  // UTF-16 without a byte order mark: ASCII text leaves every other byte zero.
  std::size_t zeroEven = 0, zeroOdd = 0;
  for (std::size_t i = 0; i < sample.size(); ++i)
    if (b(i) == 0) ++(i % 2 == 0 ? zeroEven : zeroOdd);
  const std::size_t half = sample.size() / 2;
  if (half > 0 && zeroOdd * 4 >= half * 3 && zeroEven * 4 < half) return kCharsetUtf16Le;
  if (half > 0 && zeroEven * 4 >= half * 3 && zeroOdd * 4 < half) return kCharsetUtf16Be;
  if (zeroEven + zeroOdd > 0) return kCharsetNone;  // binary data
  bool hasMultibyte = false;
  if (isValidUtf8(sample, hasMultibyte)) return kCharsetUtf8;  // plain ASCII reads the same either way
  return kCharsetAnsi;
}

bool gf_readTextLines(int charset, const fs::path& path, std::vector<std::string>& lines) {
  return static_cast<bool>(gf_readTextFile(charset, path, lines));
}

FileReadResult gf_readTextFile(int charset, const fs::path& path, std::vector<std::string>& lines,
                               std::uintmax_t maxBytes) {
  if (charset < kCharsetAnsi || charset > kCharsetUtf8)
    throw std::runtime_error(fmt::format("file {} has unknown charset: {}", path.string(), charset));
  std::string content;
  if (FileReadResult read = gf_readUserFile(path, maxBytes, content); !read) return read;
  gf_textToLines(charset, std::move(content), lines);
  return {};
}

void gf_textToLines(int charset, std::string content, std::vector<std::string>& lines) {
  splitLines(gf_textToUtf8(charset, std::move(content)), lines);
}

namespace {

// Whether every byte is below 0x80: such text reads the same in every
// character set that the files come in except UTF-16.
bool lf_isAscii(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

// UTF-16 bytes (an odd last byte ignored, a byte-order mark dropped) to
// UTF-8 in one pass; an unpaired surrogate becomes U+FFFD instead of failing
// the whole file.
std::string lf_utf16BytesToUtf8(const std::string& bytes, bool little) {
  const std::size_t units = bytes.size() / 2;
  const auto unit = [&](std::size_t k) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[2 * k]);
    const auto b = static_cast<unsigned char>(bytes[2 * k + 1]);
    return little ? static_cast<char32_t>(a | (b << 8)) : static_cast<char32_t>(b | (a << 8));
  };
  std::string out;
  out.reserve(units + units / 8);
  for (std::size_t k = units > 0 && unit(0) == 0xFEFF ? 1 : 0; k < units; ++k) {
    char32_t cp = unit(k);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out;
}

// A text whose sample says UTF-8, line by line: a line that is valid UTF-8
// is taken as it is, one that is not (a Windows-1252 letter in a comment
// far down, or after a plain-ASCII start) is read as ANSI. A stray byte thus
// changes only its own line, never the correct UTF-8 titles around it.
std::string lf_utf8ByLine(std::string content) {
  const std::size_t firstInvalid = lf_firstInvalidUtf8(content);
  if (firstInvalid == std::string_view::npos) return content;
  // The lines before the one of the first invalid byte are taken whole,
  // without being checked again; that byte is no '\n'.
  const std::size_t lastNewline = content.rfind('\n', firstInvalid);
  const std::size_t checkedUpTo = lastNewline == std::string::npos ? 0 : lastNewline + 1;
  std::string out;
  out.reserve(content.size() + content.size() / 8);
  out.append(content, 0, checkedUpTo);
  for (std::size_t start = checkedUpTo; start < content.size();) {
    // A line ends after its '\n', which no multi-byte character contains.
    const std::size_t newline = content.find('\n', start);
    const std::size_t end = newline == std::string::npos ? content.size() : newline + 1;
    const std::string_view line(content.data() + start, end - start);
    if (lf_isWholeValidUtf8(line)) {
      out.append(line);
    } else {
      out += win32::ansiToUtf8(line);
    }
    start = end;
  }
  return out;
}

}  // namespace

std::string gf_textToUtf8(int charset, std::string content) {
  switch (charset) {
    case kCharsetAnsi:
      // ASCII is the same in every ANSI code page.
      return lf_isAscii(content) ? std::move(content) : win32::ansiToUtf8(content);
    case kCharsetUtf16Le:
    case kCharsetUtf16Be:
      return lf_utf16BytesToUtf8(content, charset == kCharsetUtf16Le);
    case kCharsetUtf8Bom:
      if (content.size() >= 3 && content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
      return lf_utf8ByLine(std::move(content));
    case kCharsetUtf8:
      // The sample only looked at the start.
      return lf_utf8ByLine(std::move(content));
    default:
      return content;
  }
}
