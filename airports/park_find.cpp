#include "airports/park_find.h"

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "app/clock.h"
#include "app/download.h"
#include "app/files.h"
#include "app/hash.h"
#include "app/log.h"
#include "app/xml.h"
#include "airports/park_file.h"

static_assert(DownloadLimits{}.maxBytes == kApfMaxFileBytes,
              "a download holds at most the largest park file that is read");

namespace fs = std::filesystem;

std::string gf_apfFileName(std::string_view icao) { return std::string(icao) + ".xml"; }

fs::path gf_apfXmlPath(std::string_view icao) { return fs::path(gf_apfFileName(icao)); }

fs::path gf_apfTxtPath(std::string_view icao) { return fs::path(std::string(icao) + ".txt"); }

bool gf_isLocalApfPath(std::string_view path) { return path.substr(0, 8) == "airports"; }

bool gf_apfEntryExists(const fs::path& path) {
  std::error_code ec;
  const bool found = fs::exists(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
    throw fs::filesystem_error("exists", path, ec);
  }
  return found;
}

namespace {

// ---------------------------------------------------------------- server files of this run

enum class FetchState { pending, present, missing };

// A file the server did not have is asked for again after this time: a
// server that was down or slow for a moment must not keep the airport
// without stands for the rest of the run.
constexpr std::int64_t kMissRememberedSeconds = 60;

struct Fetched {
  bool present = false;  // the server had it
  std::int64_t at = 0;   // when the download ended (gf_steadySeconds)
};

struct ServerFile {
  fs::path cached;                           // the downloaded copy while present
  std::shared_ptr<std::atomic<bool>> abort;  // ends the transfer (a new run)
  std::shared_future<Fetched> done;
};

bool lf_ready(const std::shared_future<Fetched>& done) {
  return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// A miss that is old enough to ask again. Measured on the steady clock, so
// that a system clock set back does not keep a miss for longer.
bool lf_missExpired(const ServerFile& file) {
  if (!lf_ready(file.done)) return false;
  const Fetched& fetched = file.done.get();
  return !fetched.present && gf_steadySeconds() - fetched.at >= kMissRememberedSeconds;
}

struct ServerFiles {
  std::mutex mutex;  // leaf lock: held only to look up or add an entry
  std::map<std::string, ServerFile> byUrl;
  // The transfers of forgotten files, told to abort and ending on their
  // own: nobody waits for them; the last ones are joined when the process
  // ends, by which time the close has aborted them too.
  std::vector<std::shared_future<Fetched>> ending;
  std::uint64_t fetches = 0;  // names each download's copy
};

ServerFiles& lf_serverFiles() {
  static ServerFiles files;
  return files;
}

thread_local bool t_fetchWithoutWaiting = false;

// The folder of this run's downloaded copies.
fs::path lf_serverCacheFolder() { return g_airportsFolder / "server_files"; }

// The state of the server file at url; starts its download when it was never
// asked for in this run, and waits for it unless the calling thread must not.
FetchState lf_serverFile(const std::string& url, fs::path* cached) {
  ServerFiles& files = lf_serverFiles();
  std::shared_future<Fetched> done;
  {
    std::lock_guard lock(files.mutex);
    auto it = files.byUrl.find(url);
    if (it != files.byUrl.end() && lf_missExpired(it->second)) {
      files.byUrl.erase(it);
      it = files.byUrl.end();
    }
    if (it == files.byUrl.end()) {
      ServerFile entry;
      // Absolute, and a name of its own per download: a transfer that ends
      // after it was forgotten never writes into a later run's copy, nor
      // anywhere else when the working folder changes.
      entry.cached = fs::absolute(lf_serverCacheFolder()) /
                     fmt::format("{:016x}-{}.xml",
                                 gf_fnv1a64(reinterpret_cast<const unsigned char*>(url.data()), url.size()),
                                 files.fetches++);
      entry.abort = std::make_shared<std::atomic<bool>>(false);
      entry.done = std::async(std::launch::async, [url, target = entry.cached, abort = entry.abort] {
                     std::error_code ec;
                     fs::create_directories(target.parent_path(), ec);
                     CurlHandle curl;
                     gf_abortOnStop(curl.get(), abort.get());
                     const bool present = gf_downloadToFile(curl.get(), url, target, false);
                     return Fetched{present, gf_steadySeconds()};
                   }).share();
      it = files.byUrl.emplace(url, std::move(entry)).first;
    }
    done = it->second.done;
    if (cached != nullptr) *cached = it->second.cached;
  }
  if (t_fetchWithoutWaiting && !lf_ready(done)) return FetchState::pending;
  return done.get().present ? FetchState::present : FetchState::missing;
}

// The address of a file on the download server: from the "MSFS/" folder when
// the name holds "simaddon" or "stock", else from the simulator's own folder.
std::string lf_serverUrl(const std::string& serverName) {
  const bool msfsFolder =
      serverName.find("simaddon") != std::string::npos || serverName.find("stock") != std::string::npos;
  return gf_downloadBaseUrl(msfsFolder) + serverName;
}

std::string lf_stockUrl(const std::string& icao) {
  return lf_serverUrl(std::string(kStockArchive) + gf_apfFileName(icao));
}

bool lf_urlPending(const std::string& url) {
  ServerFiles& files = lf_serverFiles();
  std::lock_guard lock(files.mutex);
  const auto it = files.byUrl.find(url);
  return it != files.byUrl.end() && !lf_ready(it->second.done);
}

// Whether a name from a file or the server may be used as a park file's
// path: relative, without a drive letter and without "..".
bool lf_isSafeApfName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

void lf_replaceFirst(std::string& text, std::string_view what, std::string_view with) {
  const std::size_t at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
}

void lf_replaceAll(std::string& text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
}

// A path text with "/" or "\" separators as a path of this system.
fs::path lf_pathOfText(std::string_view text) {
  fs::path path;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) path /= std::string(text.substr(start, end - start));
    start = end + 1;
  }
  return path;
}

}  // namespace

bool gf_apfFetchPending(const std::string& icao) { return lf_urlPending(lf_stockUrl(icao)); }

bool gf_serverFilePending(const std::string& serverName) { return lf_urlPending(lf_serverUrl(serverName)); }

void gf_forgetServerFiles() {
  {
    ServerFiles& files = lf_serverFiles();
    std::lock_guard lock(files.mutex);
    std::erase_if(files.ending, lf_ready);
    for (auto& [url, file] : files.byUrl) {
      if (lf_ready(file.done)) continue;
      file.abort->store(true);
      files.ending.push_back(std::move(file.done));
    }
    files.byUrl.clear();
  }
  std::error_code ec;
  fs::remove_all(lf_serverCacheFolder(), ec);
}

ServerFetchWithoutWaiting::ServerFetchWithoutWaiting() : m_previous(t_fetchWithoutWaiting) {
  t_fetchWithoutWaiting = true;
}

ServerFetchWithoutWaiting::~ServerFetchWithoutWaiting() { t_fetchWithoutWaiting = m_previous; }

bool lf_downloadStockApf(const std::string& icao) {
  return lf_serverFile(lf_stockUrl(icao), nullptr) == FetchState::present;
}

bool lf_readApfAlias(const fs::path& aliasPath, std::string& text) {
  if (!gf_apfEntryExists(aliasPath)) return false;
  std::string content;
  if (!gf_readWholeFile(aliasPath, content, 64 * 1024)) return false;
  std::string_view line(content);
  line = line.substr(0, line.find_first_of("\r\n"));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  const std::size_t xml = line.find(".xml");
  if (line.size() < 4 || xml == std::string_view::npos) return false;
  const std::string_view name = line.substr(0, xml + 4);
  if (!lf_isSafeApfName(name)) {
    gf_logError("alias file '{}' names '{}', which lies outside the airports folder: ignored",
                aliasPath.generic_string(), name);
    return false;
  }
  text = std::string(name);
  return true;
}

std::string gf_findApfFile(const std::string& icao) {
  if (!gf_isPlainPathComponent(icao)) {
    gf_logError("gf_findApfFile: '{}' is not an airport code", icao);
    return {};
  }
  std::string alias;
  for (const fs::path& folder : {g_myThirdpartyFolder, g_mySimaddonFolder}) {
    if (lf_readApfAlias(folder / gf_apfTxtPath(icao), alias)) return alias;
    const fs::path xml = folder / gf_apfXmlPath(icao);
    if (gf_apfEntryExists(xml)) return xml.generic_string();
  }
  if (lf_downloadStockApf(icao)) return std::string(kStockArchive) + gf_apfFileName(icao);
  return {};
}

bool gf_ensureStockApf(const std::string& icao) {
  if (!gf_isPlainPathComponent(icao)) return false;
  for (const fs::path& folder : {g_myThirdpartyFolder, g_mySimaddonFolder}) {
    if (gf_apfEntryExists(folder / gf_apfXmlPath(icao)) || gf_apfEntryExists(folder / gf_apfTxtPath(icao))) return true;
  }
  return lf_downloadStockApf(icao);
}

fs::path lf_learnedPathFor(const std::string& apfPath, const std::string& publisher) {
  if (apfPath.empty()) return {};
  std::string text = apfPath;
  const std::string learned = (g_airportsFolder / "learned").generic_string();
  if (text.find("archive") != std::string::npos) {
    lf_replaceFirst(text, "archive", learned);
    lf_replaceAll(text, "%20", " ");
  } else if (gf_isLocalApfPath(text)) {
    lf_replaceFirst(text, "airports", learned);
    if (text.find("my_thirdparty") != std::string::npos) {
      // Without a publisher the file lies in "thirdparty" itself.
      if (!publisher.empty() && !gf_isPlainPathComponent(publisher)) {
        gf_logError("publisher '{}' of '{}' cannot name a folder: its learned file is not used", publisher, apfPath);
        return {};
      }
      const std::string_view folder =
          text.find("my_thirdparty2024") != std::string::npos ? "my_thirdparty2024" : "my_thirdparty";
      lf_replaceFirst(text, folder, "thirdparty/" + publisher);
    } else {
      lf_replaceFirst(text, "my_simaddon", "simaddon");
    }
  } else {
    return fs::path(apfPath);
  }
  return lf_pathOfText(text);
}

std::string gf_readApfPublisher(const fs::path& apfPath) {
  pugi::xml_document document;
  std::string error;
  if (!gf_loadApfDocument(apfPath, document, error)) return {};
  return gf_getParamString(document, "publisher");
}

std::string lf_resolveApfPath(const std::string& serverName, const fs::path& target) {
  const std::string url = lf_serverUrl(serverName);
  try {
    if (!lf_isSafeApfName(serverName)) {
      const std::string error = fmt::format("refused to download: '{}'", url);
      gf_logText(error);
      return error;
    }
    fs::path cached;
    switch (lf_serverFile(url, &cached)) {
      case FetchState::pending:
        return fmt::format("'{}' is still being downloaded, it is read at the next step", url);
      case FetchState::missing:
        break;
      case FetchState::present: {
        std::string content;
        if (gf_readWholeFile(cached, content, kApfMaxFileBytes) && gf_replaceFileAtomically(target, content)) return {};
        break;
      }
    }
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "lf_resolveApfPath", e.what());
  }
  const std::string error = fmt::format("failed to download: '{}'", url);
  gf_logText(error);
  return error;
}
