#include "app/download.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "app/log.h"
#include "app/runstate.h"
#include "app/version.h"

namespace fs = std::filesystem;

namespace {

struct DownloadSettings {
  std::mutex mutex;  // leaf lock: guards the two members below
  std::string server{kDefaultDownloadServer};
  DownloadLimits limits;
};

// Made on first use, so it is ready even when called during static initialisation.
DownloadSettings& lf_settings() {
  static DownloadSettings settings;
  return settings;
}

// A path as UTF-8 text for log lines.
std::string lf_pathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Where the body goes while it arrives.
struct WriteTarget {
  std::ofstream* out = nullptr;
  std::uint64_t written = 0;
  std::uint64_t maxBytes = 0;
  bool tooLarge = false;
  bool writeFailed = false;
};

// curl's write callback: appends to the temporary file and stops the transfer
// (by returning less than it was given) when the size cap would be passed or
// the file cannot be written.
std::size_t lf_writeToFile(char* data, std::size_t size, std::size_t count, void* userData) {
  auto* target = static_cast<WriteTarget*>(userData);
  const std::size_t bytes = size * count;  // curl passes size 1
  if (bytes > target->maxBytes - target->written) {
    target->tooLarge = true;
    return 0;
  }
  try {
    target->out->write(data, static_cast<std::streamsize>(bytes));
  } catch (...) {
    target->writeFailed = true;
    return 0;
  }
  if (!*target->out) {
    target->writeFailed = true;
    return 0;
  }
  target->written += bytes;
  return bytes;
}

// Left on the handle after a download in place of the callback above, so that
// a later transfer on the same handle never writes through a stale pointer.
std::size_t lf_discardData(char*, std::size_t size, std::size_t count, void*) {
  return size * count;
}

// Takes the pointers to this call's stack objects off the handle again.
class HandleDetach {
 public:
  explicit HandleDetach(CURL* curl) : m_curl(curl) {}
  ~HandleDetach() {
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, lf_discardData);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
  }
  HandleDetach(const HandleDetach&) = delete;
  HandleDetach& operator=(const HandleDetach&) = delete;

 private:
  CURL* m_curl;
};

// A name for the temporary file next to the target that no other download of
// this process (nor, in practice, of another) uses at the same time.
fs::path lf_tempPathFor(const fs::path& target) {
  static const std::uint32_t processTag = std::random_device{}();
  static std::atomic<std::uint32_t> counter{0};
  for (;;) {
    fs::path name = target.filename();
    name += fmt::format(".{:08x}{:06x}.download", processTag, counter++ & 0xffffffU);
    fs::path candidate = target.parent_path() / name;
    std::error_code ec;
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

void lf_removeQuietly(const fs::path& path) {
  if (path.empty()) return;
  std::error_code ec;
  fs::remove(path, ec);
}

curl_off_t lf_curlSize(std::uint64_t bytes) {
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max());
  return static_cast<curl_off_t>(std::min(bytes, kMax));
}

long lf_curlLong(std::int64_t value) {
  constexpr auto kMax = static_cast<std::int64_t>(std::numeric_limits<long>::max());
  return static_cast<long>(std::clamp<std::int64_t>(value, 0, kMax));
}

// curl's progress callback of gf_abortOnStop; userData is the extra flag or null.
int lf_abortOnStop(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* abort = static_cast<const std::atomic<bool>*>(userData);
  return g_stopRun.load() || g_windowClosed.load() || (abort != nullptr && abort->load()) ? 1 : 0;
}

}  // namespace

void gf_abortOnStop(CURL* curl, const std::atomic<bool>* abort) {
  if (curl == nullptr) return;
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, lf_abortOnStop);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<void*>(static_cast<const void*>(abort)));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

std::string gf_downloadServer() {
  DownloadSettings& settings = lf_settings();
  std::lock_guard lock(settings.mutex);
  return settings.server;
}

void gf_setDownloadServer(std::string baseAddress) {
  if (!baseAddress.empty() && baseAddress.back() != '/') baseAddress += '/';
  DownloadSettings& settings = lf_settings();
  std::lock_guard lock(settings.mutex);
  settings.server = std::move(baseAddress);
}

DownloadLimits gf_downloadLimits() {
  DownloadSettings& settings = lf_settings();
  std::lock_guard lock(settings.mutex);
  return settings.limits;
}

void gf_setDownloadLimits(const DownloadLimits& limits) {
  DownloadSettings& settings = lf_settings();
  std::lock_guard lock(settings.mutex);
  settings.limits = limits;
}

std::string gf_downloadBaseUrl(bool msfs2020Folder) {
  const bool msfs2020 = msfs2020Folder || g_isMsfs2020.load();
  return gf_downloadServer() + (msfs2020 ? "MSFS/" : "MSFS2024/");
}

void gf_curlGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) gf_logError("curl_global_init failed: {}", curl_easy_strerror(rc));
  });
}

CurlHandle::CurlHandle() {
  gf_curlGlobalInit();
  m_curl = curl_easy_init();
  if (m_curl == nullptr) gf_logErrorText("curl_easy_init failed");
}

CurlHandle::~CurlHandle() {
  if (m_curl != nullptr) curl_easy_cleanup(m_curl);
}

CurlHandle::CurlHandle(CurlHandle&& other) noexcept : m_curl(std::exchange(other.m_curl, nullptr)) {}

CurlHandle& CurlHandle::operator=(CurlHandle&& other) noexcept {
  if (this != &other) {
    if (m_curl != nullptr) curl_easy_cleanup(m_curl);
    m_curl = std::exchange(other.m_curl, nullptr);
  }
  return *this;
}

bool gf_downloadToFile(CURL* curl, const std::string& url, const fs::path& path, bool binary) {
  if (curl == nullptr) return false;

  fs::path tempPath;
  try {
    const auto fail = [&](const std::string& reason) {
      gf_logError("download of '{}' failed: {}", url, reason);
      lf_removeQuietly(tempPath);
      return false;
    };

    if (path.filename().empty()) return fail(fmt::format("'{}' is not a file path", lf_pathText(path)));

    const DownloadLimits limits = gf_downloadLimits();
    tempPath = lf_tempPathFor(path);

    WriteTarget target;
    CURLcode rc = CURLE_OK;
    long httpCode = 0;
    char errorText[CURL_ERROR_SIZE] = "";
    {
      // "wb" or "w": the same bytes on this host; text mode matters on Windows.
      std::ofstream out(tempPath, binary ? std::ios::out | std::ios::trunc | std::ios::binary
                                         : std::ios::out | std::ios::trunc);
      if (!out) {
        tempPath.clear();  // nothing was created
        return fail(fmt::format("cannot create a file next to '{}'", lf_pathText(path)));
      }
      target.out = &out;
      target.maxBytes = limits.maxBytes;

      const std::string userAgent(kProgramAbbreviation);
      HandleDetach detach(curl);
      const CURLcode setup[] = {
          curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText),
          curl_easy_setopt(curl, CURLOPT_URL, url.c_str()),
#if LIBCURL_VERSION_NUM >= 0x075500
          curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"),
#else
          curl_easy_setopt(curl, CURLOPT_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS}),
#endif
          // A moved file is followed at most 5 times, and only to http or https.
          curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L),
          curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L),
#if LIBCURL_VERSION_NUM >= 0x075500
          curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"),
#else
          curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS}),
#endif
          curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str()),
          curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_writeToFile),
          curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(&target)),
          curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L),
          // No signals for time-outs: downloads run on worker threads.
          curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L),
          curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, lf_curlLong(limits.connectTimeout.count())),
          curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, lf_curlLong(limits.totalTimeout.count())),
          curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, lf_curlLong(limits.lowSpeedBytesPerSecond)),
          curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, lf_curlLong(limits.lowSpeedTime.count())),
          // Refuses an announced size over the cap before any byte arrives;
          // the write callback enforces it when no size is announced.
          curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, lf_curlSize(limits.maxBytes)),
      };
      for (const CURLcode code : setup) {
        if (code != CURLE_OK) {
          rc = code;
          break;
        }
      }
      if (rc != CURLE_OK) {
        const std::string reason = fmt::format("cannot set up the transfer: {}", curl_easy_strerror(rc));
        out.close();
        return fail(reason);
      }

      rc = curl_easy_perform(curl);
      curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpCode);
      out.close();
      if (rc == CURLE_OK && out.fail()) target.writeFailed = true;
    }

    if (target.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
      return fail(fmt::format("larger than the limit of {} bytes", limits.maxBytes));
    }
    if (target.writeFailed) return fail(fmt::format("cannot write '{}'", lf_pathText(tempPath)));
    if (rc != CURLE_OK) return fail(errorText[0] != '\0' ? std::string(errorText) : curl_easy_strerror(rc));
    if (httpCode < 200 || httpCode >= 300) {
      return fail(fmt::format("the server answered with status {}", httpCode));
    }

    std::error_code ec;
    fs::rename(tempPath, path, ec);
    if (ec) return fail(fmt::format("cannot replace '{}': {}", lf_pathText(path), ec.message()));
    return true;
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "gf_downloadToFile", e.what());
  } catch (...) {
    gf_logError("{}: {}", "gf_downloadToFile", "unknown exception");
  }
  lf_removeQuietly(tempPath);
  return false;
}
