#include "app/download.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/park_file.h"
#include "airports/park_find.h"
#include "app/clock.h"
#include "app/log.h"
#include "app/runstate.h"
#include "support/http_server.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using testsupport::HttpFileServer;
using testsupport::RawSocketServer;
using testsupport::readFile;
using testsupport::workDir;
using testsupport::writeFile;

namespace {

// Restores the process-wide download settings and the simulator mode.
class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_server = gf_downloadServer();
    m_limits = gf_downloadLimits();
    m_isMsfs2020 = g_isMsfs2020.load();
    fs::create_directories(www());
    fs::create_directories(downloads());
  }
  void TearDown() override {
    gf_setDownloadServer(m_server);
    gf_setDownloadLimits(m_limits);
    g_isMsfs2020 = m_isMsfs2020;
  }

  static fs::path www() { return workDir() / "www"; }
  static fs::path downloads() { return workDir() / "downloads"; }

  // Short limits, so that a stuck transfer ends in about two seconds.
  static void useShortTimeouts() {
    DownloadLimits limits = gf_downloadLimits();
    limits.connectTimeout = std::chrono::milliseconds(2000);
    limits.lowSpeedTime = std::chrono::seconds(1);
    limits.totalTimeout = std::chrono::milliseconds(2000);
    gf_setDownloadLimits(limits);
  }

  static void useMaxBytes(std::uint64_t maxBytes) {
    DownloadLimits limits = gf_downloadLimits();
    limits.maxBytes = maxBytes;
    gf_setDownloadLimits(limits);
  }

  // The names in a folder, sorted (temporary files would show up here).
  static std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

 private:
  std::string m_server;
  DownloadLimits m_limits;
  bool m_isMsfs2020 = false;
};

// Bytes of every value, in a fixed pseudo-random order, with line ends, NUL
// and Ctrl-Z among them (what a text-mode copy would change or stop at).
std::string binaryBytes(std::size_t size) {
  std::mt19937 generator(12345);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xff);
  bytes.replace(0, 6, std::string("\r\n\n\0\x1a\r", 6));
  return bytes;
}

TEST_F(DownloadTest, BaseUrlHasTheSimulatorFolder) {
  gf_setDownloadServer(std::string(kDefaultDownloadServer));
  g_isMsfs2020 = false;
  EXPECT_EQ(gf_downloadBaseUrl(false), "https://download.skyloom.app/MSFS2024/");
  EXPECT_EQ(gf_downloadBaseUrl(true), "https://download.skyloom.app/MSFS/");

  g_isMsfs2020 = true;
  EXPECT_EQ(gf_downloadBaseUrl(false), "https://download.skyloom.app/MSFS/");
  EXPECT_EQ(gf_downloadBaseUrl(true), "https://download.skyloom.app/MSFS/");

  gf_setDownloadServer("http://127.0.0.1:8080");
  EXPECT_EQ(gf_downloadServer(), "http://127.0.0.1:8080/");
  EXPECT_EQ(gf_downloadBaseUrl(false), "http://127.0.0.1:8080/MSFS/");
}

TEST_F(DownloadTest, NoHandleFailsAtOnce) {
  EXPECT_FALSE(gf_downloadToFile(nullptr, "http://127.0.0.1:1/x", downloads() / "x", true));
  EXPECT_TRUE(namesIn(downloads()).empty());
}

TEST_F(DownloadTest, BinaryFileArrivesByteForByte) {
  const std::string bytes = binaryBytes(300 * 1024 + 17);
  writeFile(www() / "data.bin", bytes);
  HttpFileServer server(www());

  CurlHandle curl;
  ASSERT_TRUE(curl);
  ASSERT_TRUE(gf_downloadToFile(curl.get(), server.baseUrl() + "data.bin", downloads() / "data.bin", true));
  EXPECT_TRUE(readFile(downloads() / "data.bin") == bytes);
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"data.bin"});
}

TEST_F(DownloadTest, ServerFilesComeFromTheSimulatorFolder) {
  writeFile(www() / "MSFS" / "archive" / "stock" / "EDDF.xml", "<stock 2020/>\n");
  writeFile(www() / "MSFS2024" / "archive" / "stock" / "EDDF.xml", "<stock 2024/>\n");
  HttpFileServer server(www());
  gf_setDownloadServer(server.baseUrl());
  g_isMsfs2020 = false;

  // A bare file name lands in the working folder, in text mode.
  CurlHandle curl;
  ASSERT_TRUE(gf_downloadToFile(curl.get(), gf_downloadBaseUrl(false) + "archive/stock/EDDF.xml",
                                "airport.xml", false));
  EXPECT_EQ(readFile("airport.xml"), "<stock 2024/>\n");
  ASSERT_TRUE(gf_downloadToFile(curl.get(), gf_downloadBaseUrl(true) + "archive/stock/EDDF.xml",
                                "airport.xml", false));
  EXPECT_EQ(readFile("airport.xml"), "<stock 2020/>\n");
}

TEST_F(DownloadTest, UserAgentIsTheProgramAbbreviation) {
  RawSocketServer server(std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"));
  CurlHandle curl;
  ASSERT_TRUE(gf_downloadToFile(curl.get(), server.baseUrl() + "a.txt", downloads() / "a.txt", true));
  EXPECT_EQ(readFile(downloads() / "a.txt"), "ok");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].find("GET /a.txt HTTP/1.1\r\n"), std::string::npos) << requests[0];
  EXPECT_NE(requests[0].find("\r\nUser-Agent: SKL\r\n"), std::string::npos) << requests[0];
}

TEST_F(DownloadTest, SuccessReplacesTheWholeOldFile) {
  writeFile(www() / "small.xml", "new");
  writeFile(downloads() / "small.xml", "an older and much longer content");
  HttpFileServer server(www());
  CurlHandle curl;
  ASSERT_TRUE(gf_downloadToFile(curl.get(), server.baseUrl() + "small.xml", downloads() / "small.xml", true));
  EXPECT_EQ(readFile(downloads() / "small.xml"), "new");
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"small.xml"});
}

TEST_F(DownloadTest, NotFoundFailsAndLeavesTheTargetAlone) {
  ASSERT_TRUE(gf_openLog(workDir()));
  HttpFileServer server(www());
  const std::string url = server.baseUrl() + "missing.xml";
  CurlHandle curl;

  EXPECT_FALSE(gf_downloadToFile(curl.get(), url, downloads() / "new.xml", true));
  EXPECT_TRUE(namesIn(downloads()).empty());

  writeFile(downloads() / "good.xml", "<good/>");
  EXPECT_FALSE(gf_downloadToFile(curl.get(), url, downloads() / "good.xml", false));
  EXPECT_EQ(readFile(downloads() / "good.xml"), "<good/>");
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"good.xml"});

  gf_closeLog();
  const std::string log = readFile(workDir() / "Log.txt");
  EXPECT_NE(log.find(fmt::format("download of '{}' failed: ", url)), std::string::npos) << log;
  EXPECT_NE(log.find("404"), std::string::npos) << log;

  // The same handle still works after failures.
  writeFile(www() / "there.xml", "<there/>");
  EXPECT_TRUE(gf_downloadToFile(curl.get(), server.baseUrl() + "there.xml", downloads() / "good.xml", true));
  EXPECT_EQ(readFile(downloads() / "good.xml"), "<there/>");
}

TEST_F(DownloadTest, ServerThatNeverAnswersTimesOut) {
  useShortTimeouts();
  RawSocketServer silent;
  writeFile(downloads() / "good.xml", "<good/>");
  CurlHandle curl;

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gf_downloadToFile(curl.get(), silent.baseUrl() + "x.xml", downloads() / "good.xml", true));
  const double seconds = secondsSince(start);
  EXPECT_LT(seconds, 10.0);  // bounded by the 2 s limits, not by the 20 s default
  EXPECT_GE(silent.acceptedCount(), 1);
  EXPECT_EQ(readFile(downloads() / "good.xml"), "<good/>");
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"good.xml"});
}

TEST_F(DownloadTest, ClosedPortFailsQuickly) {
  const std::uint16_t port = testsupport::unusedLoopbackPort();
  CurlHandle curl;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gf_downloadToFile(curl.get(), fmt::format("http://127.0.0.1:{}/x.xml", port),
                                 downloads() / "x.xml", true));
  EXPECT_LT(secondsSince(start), 5.0);
  EXPECT_TRUE(namesIn(downloads()).empty());
}

TEST_F(DownloadTest, SizeCapStopsLargeDownloads) {
  writeFile(www() / "big.bin", binaryBytes(300 * 1024));
  writeFile(www() / "exact.bin", binaryBytes(1000));
  HttpFileServer server(www());
  useMaxBytes(1000);
  CurlHandle curl;

  // The server announces the size.
  EXPECT_FALSE(gf_downloadToFile(curl.get(), server.baseUrl() + "big.bin", downloads() / "big.bin", true));
  EXPECT_TRUE(namesIn(downloads()).empty());
  EXPECT_TRUE(gf_downloadToFile(curl.get(), server.baseUrl() + "exact.bin", downloads() / "exact.bin", true));
  EXPECT_EQ(fs::file_size(downloads() / "exact.bin"), 1000u);

  // No size announced: the body runs until the server closes.
  RawSocketServer endless("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(5000, 'x'));
  EXPECT_FALSE(gf_downloadToFile(curl.get(), endless.baseUrl() + "big.bin", downloads() / "exact.bin", true));
  EXPECT_EQ(fs::file_size(downloads() / "exact.bin"), 1000u);
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"exact.bin"});
}

TEST_F(DownloadTest, BrokenAnswersKeepTheGoodFile) {
  writeFile(downloads() / "good.xml", "<good/>");
  CurlHandle curl;

  RawSocketServer cutOff("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" +
                         std::string(500, 'x'));
  EXPECT_FALSE(gf_downloadToFile(curl.get(), cutOff.baseUrl() + "good.xml", downloads() / "good.xml", true));

  RawSocketServer redirect(
      "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\nContent-Length: 8\r\n"
      "Connection: close\r\n\r\n<a>moved");
  EXPECT_FALSE(gf_downloadToFile(curl.get(), redirect.baseUrl() + "good.xml", downloads() / "good.xml", true));

  RawSocketServer serverError("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\nConnection: close\r\n\r\noops");
  EXPECT_FALSE(gf_downloadToFile(curl.get(), serverError.baseUrl() + "good.xml", downloads() / "good.xml", true));

  EXPECT_EQ(readFile(downloads() / "good.xml"), "<good/>");
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"good.xml"});
}

TEST_F(DownloadTest, OnlyHttpAddressesAndExistingFoldersAreUsed) {
  writeFile(workDir() / "local.txt", "local");
  CurlHandle curl;
  EXPECT_FALSE(gf_downloadToFile(curl.get(), "file://" + (workDir() / "local.txt").string(),
                                 downloads() / "local.txt", true));
  EXPECT_TRUE(namesIn(downloads()).empty());

  writeFile(www() / "a.xml", "<a/>");
  HttpFileServer server(www());
  EXPECT_FALSE(gf_downloadToFile(curl.get(), server.baseUrl() + "a.xml", downloads() / "no" / "a.xml", true));
  EXPECT_FALSE(fs::exists(downloads() / "no"));
}

}  // namespace

TEST_F(DownloadTest, RedirectsAreFollowedFiveTimesAndOnlyToHttp) {
  writeFile(www() / "moved.xml", "<moved/>");
  HttpFileServer server(www());
  const auto redirectTo = [](const std::string& location) {
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  };
  CurlHandle curl;
  RawSocketServer once(redirectTo(server.baseUrl() + "moved.xml"));
  EXPECT_TRUE(gf_downloadToFile(curl.get(), once.baseUrl() + "old.xml", downloads() / "a.xml", true));
  EXPECT_EQ(readFile(downloads() / "a.xml"), "<moved/>");

  RawSocketServer toFile(redirectTo("file:///etc/hostname"));
  EXPECT_FALSE(gf_downloadToFile(curl.get(), toFile.baseUrl() + "x", downloads() / "b.xml", true));
  // A server that always answers with a redirect to itself is left after 5.
  RawSocketServer loop(redirectTo("/again"));
  EXPECT_FALSE(gf_downloadToFile(curl.get(), loop.baseUrl() + "x", downloads() / "c.xml", true));
  EXPECT_EQ(loop.acceptedCount(), 6);
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"a.xml"});
}

namespace {

// Only a hang reaches it.
constexpr auto kHangLimit = std::chrono::seconds(30);

bool eventually(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + kHangLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

// A park file's download held up by a server that never answers, or by one
// that sends a byte every 500 ms, ends at a close, a stop or the next run's
// start, and that start does not wait for it. The time limits are off here,
// so nothing else could end it.
TEST_F(DownloadTest, AParkFileDownloadEndsAtACloseAStopOrANewRun) {
  enum class End { close, stop, newRun };
  const struct {
    const char* name;
    bool drips;
    End end;
  } cases[] = {
      {"silent, close", false, End::close},    {"drips, close", true, End::close},
      {"silent, stop", false, End::stop},      {"drips, stop", true, End::stop},
      {"silent, new run", false, End::newRun}, {"drips, new run", true, End::newRun},
  };
  DownloadLimits limits = gf_downloadLimits();
  limits.lowSpeedTime = std::chrono::seconds(0);
  limits.totalTimeout = std::chrono::milliseconds(0);
  gf_setDownloadLimits(limits);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Declared before the server, so that on a failure the server's end ends
    // the transfer before these wait for it.
    std::future<bool> asked;
    std::future<void> forgotten;
    std::optional<RawSocketServer> server;
    if (c.drips) {
      server.emplace(RawSocketServer::Drip{});
    } else {
      server.emplace();
    }
    gf_setDownloadServer(server->baseUrl());
    asked = std::async(std::launch::async, [] { return gf_ensureStockApf("EGLL"); });
    ASSERT_TRUE(eventually([&] { return server->acceptedCount() == 1; }));

    const auto triggered = std::chrono::steady_clock::now();
    switch (c.end) {
      case End::close: g_windowClosed.store(true); break;
      case End::stop: gf_requestStop(ExitReason::UserClosedSim); break;
      case End::newRun:
        forgotten = std::async(std::launch::async, [] { gf_forgetServerFiles(); });
        EXPECT_EQ(forgotten.wait_for(kHangLimit), std::future_status::ready) << "the new run waits";
        break;
    }
    ASSERT_EQ(asked.wait_for(kHangLimit), std::future_status::ready) << "the download goes on";
    EXPECT_FALSE(asked.get());
    EXPECT_TRUE(eventually([&] { return server->closedByClientCount() == 1; }));
    fmt::print("{}: the download ended {:.2f} s after the trigger\n", c.name, secondsSince(triggered));
    g_windowClosed.store(false);
    gf_resetStopRequest();
    gf_forgetServerFiles();
  }
}

// A park file larger than the reader takes is refused before its body comes.
TEST_F(DownloadTest, AParkFileTooLargeToReadIsNotDownloaded) {
  testsupport::openTestLog();
  RawSocketServer announced(fmt::format("HTTP/1.1 200 OK\r\nContent-Length: {}\r\n\r\n", kApfMaxFileBytes + 1));
  gf_setDownloadServer(announced.baseUrl());
  EXPECT_FALSE(gf_ensureStockApf("EGLL"));
  EXPECT_TRUE(testsupport::logContains(fmt::format("failed: larger than the limit of {} bytes", kApfMaxFileBytes)));
}

// A park file the server lacked is asked for again after a minute of the
// program's own time, whatever is done to the system's clock meanwhile.
TEST_F(DownloadTest, AMissedParkFileIsAskedForAgainAfterAMinute) {
  constexpr std::int64_t kMonday1010 = 1796638200;
  const struct {
    const char* icao;
    std::int64_t clockSetBy;  // seconds the system clock is set forward (or back)
    std::int64_t passing;     // seconds that pass
    bool askedAgain;
  } cases[] = {
      {"EGKK", 0, 30, false}, {"EGLL", 0, 60, true},
      {"LFPG", -3600, 60, true},  // a clock set back an hour keeps the miss no longer
      {"LFPO", 3600, 0, false},   // nor does one set forward end it early
  };
  RawSocketServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  gf_setDownloadServer(missing.baseUrl());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.icao);
    gf_setFixedClock(kMonday1010);
    EXPECT_FALSE(gf_ensureStockApf(c.icao));
    const int asked = missing.acceptedCount();
    gf_setFixedClock(kMonday1010 + c.clockSetBy);
    gf_advanceSteadyClock(c.passing);
    EXPECT_FALSE(gf_ensureStockApf(c.icao));
    EXPECT_EQ(missing.acceptedCount(), asked + (c.askedAgain ? 1 : 0));
  }
}
