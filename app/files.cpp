#include "app/files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <thread>

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

bool gf_replaceFileAtomically(const fs::path& target, std::string_view content) {
  static std::atomic<unsigned> counter{0};
  const auto tid = std::hash<std::thread::id>{}(std::this_thread::get_id());
  fs::path temp = target;
  temp += fmt::format(".tmp{:x}-{}", tid & 0xffffff, counter.fetch_add(1));
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  std::error_code ec;
  if (ok) {
    fs::rename(temp, target, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(temp, ec);
  return ok;
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

bool gf_readWholeFile(const fs::path& path, std::string& content, std::uintmax_t maxBytes) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > maxBytes) return false;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  content.assign(static_cast<std::size_t>(size), '\0');
  const std::size_t got = std::fread(content.data(), 1, content.size(), f);
  std::fclose(f);
  content.resize(got);  // the file may have shrunk since its size was taken
  return true;
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
}  // namespace

std::vector<std::string> TextFileLines::read(const fs::path& path, std::size_t reserveLines) {
  std::vector<std::string> lines;
  std::string content;
  if (!gf_readWholeFile(path, content)) return lines;
  lines.reserve(reserveLines);
  splitLines(content, lines);
  return lines;
}

int gf_detectCharset(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return kCharsetNone;
  std::string sample(1027, '\0');
  sample.resize(std::fread(sample.data(), 1, sample.size(), f));
  std::fclose(f);
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
  if (charset < kCharsetAnsi || charset > kCharsetUtf8)
    throw std::runtime_error(fmt::format("file {} has unknown charset: {}", path.string(), charset));
  std::string content;
  if (!gf_readWholeFile(path, content)) return false;
  std::string utf8;
  switch (charset) {
    case kCharsetAnsi:
      utf8 = win32::ansiToUtf8(content);
      break;
    case kCharsetUtf16Le:
    case kCharsetUtf16Be: {
      std::u16string wide;
      wide.reserve(content.size() / 2);
      const bool little = charset == kCharsetUtf16Le;
      for (std::size_t i = 0; i + 1 < content.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(content[little ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(content[little ? i + 1 : i]);
        wide.push_back(static_cast<char16_t>(lo | (hi << 8)));
      }
      if (!wide.empty() && wide.front() == 0xFEFF) wide.erase(0, 1);
      // Unpaired surrogates become U+FFFD instead of failing the whole file.
      const int inLen = static_cast<int>(wide.size());
      if (inLen > 0) {
        const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLen, nullptr, 0, nullptr, nullptr);
        utf8.assign(static_cast<std::size_t>(needed), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLen, utf8.data(), needed, nullptr, nullptr);
      }
      break;
    }
    case kCharsetUtf8Bom:
      utf8 = content.size() >= 3 && content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? content.substr(3) : content;
      break;
    default:
      utf8 = std::move(content);
      break;
  }
  splitLines(utf8, lines);
  return true;
}
