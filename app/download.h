// Downloads from the download server over HTTP(S), on libcurl.
//
// A download is written to a temporary file in the target's folder and renamed
// over the target only when it is complete, so a failed or cut-off transfer
// never leaves a partial file and never replaces a good one. Every transfer is
// bounded in time (connect time-out, a low-speed abort and an overall cap) and
// in size.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <curl/curl.h>


// The download server's base address when nothing else is set.
inline constexpr std::string_view kDefaultDownloadServer = "https://download.skyloom.app/";

// The bounds of one transfer.
struct DownloadLimits {
  // Time allowed to establish the connection.
  std::chrono::milliseconds connectTimeout{10'000};
  // The transfer is aborted when it moves fewer than lowSpeedBytesPerSecond
  // bytes per second for lowSpeedTime (this also ends a server that accepts and
  // never answers). lowSpeedTime of 0 switches the check off.
  long lowSpeedBytesPerSecond = 1;
  std::chrono::seconds lowSpeedTime{20};
  // Hard cap on the whole transfer; 0 means none.
  std::chrono::milliseconds totalTimeout{15 * 60 * 1000};
  // Largest body accepted; a larger download fails and leaves nothing behind.
  // The program downloads park files only, so this is the largest park file
  // that is read (checked where park files are fetched): a larger body would
  // be fetched only to be refused.
  std::uint64_t maxBytes = std::uint64_t{256} << 20;

  bool operator==(const DownloadLimits&) const = default;
};

// The process-wide download settings: the server's base address and the
// limits. Both are guarded by one mutex (a leaf lock: nothing else is taken
// while it is held), so they may be read and set from any thread; a download
// takes a snapshot when it starts. The program keeps the defaults; tests point
// the server at their own server on 127.0.0.1 and shorten the time-outs.
std::string gf_downloadServer();
// Sets the base address; a "/" is appended when it does not end in one.
void gf_setDownloadServer(std::string baseAddress);
DownloadLimits gf_downloadLimits();
void gf_setDownloadLimits(const DownloadLimits& limits);

// The download server's base address followed by the per-simulator folder:
// "MSFS/" when msfs2020Folder is true or the program runs in MSFS 2020 mode
// (g_isMsfs2020, read at call time), else "MSFS2024/".
std::string gf_downloadBaseUrl(bool msfs2020Folder);

// Initialises libcurl once for the whole process (thread-safe; later calls do
// nothing). CurlHandle calls it; call it directly before using curl otherwise.
// libcurl is never cleaned up globally: it lives until the process ends.
void gf_curlGlobalInit();

// Owns one curl easy handle (curl_easy_init / curl_easy_cleanup). Move-only.
// get() is null when curl could not make a handle.
class CurlHandle {
 public:
  CurlHandle();
  ~CurlHandle();
  CurlHandle(CurlHandle&& other) noexcept;
  CurlHandle& operator=(CurlHandle&& other) noexcept;
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;

  CURL* get() const noexcept { return m_curl; }
  explicit operator bool() const noexcept { return m_curl != nullptr; }

 private:
  CURL* m_curl = nullptr;
};

// Makes the transfers on curl end as soon as the run is stopped (g_stopRun),
// the window is closed (g_windowClosed) or *abort is set (when given; it must
// outlive the transfers): curl's progress callback then asks curl to abort,
// which ends a transfer within about a second whatever the server does (one
// that never answers, or one that sends a byte now and then), and the
// download fails.
void gf_abortOnStop(CURL* curl, const std::atomic<bool>* abort = nullptr);

// Downloads url into path. Returns false at once when curl is null. Otherwise
// sets the address, the user agent (the program's abbreviation), the write
// callback, fail-on-error and the limits on the handle, performs the transfer
// into a temporary file next to path ("wb" when binary, else "w") and renames
// it over path when the transfer succeeded with a 2xx answer. Returns true on
// success. On failure logs "download of '{}' failed: {}" with the address and
// curl's error text, removes the temporary file and leaves path as it was.
// Only http and https addresses are fetched; a redirect is followed at most 5
// times, and only to an http or https address. Never throws. Other options the caller set on the handle stay.
bool gf_downloadToFile(CURL* curl, const std::string& url, const std::filesystem::path& path,
                       bool binary);
