// A whole run with RealTraffic on this PC: the run waits for RealTraffic to
// connect, answers its handshake, starts the readers, reports the user
// aircraft's position, and says "exit" when the window is closed.
#include <algorithm>
#include <chrono>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/runstate.h"
#include "feed/feed_state.h"
#include "feed/rt_server.h"
#include "feed/traffic_reader.h"
#include "platform/net/tcp.h"
#include "platform/simconnect/sim_world.h"
#include "platform/win32/testdriver.h"
#include "support/http_server.h"
#include "support/log_reader.h"
#include "support/program_fixture.h"
#include "support/workdir.h"
#include "ui/display_state.h"

namespace {

using namespace std::chrono_literals;

// The lines RealTraffic receives, read a little at a time so that the test's
// thread goes on pumping the window's messages.
struct LineReader {
  net::TcpSocket& socket;
  std::string pending;
  bool closed = false;
  // The next whole line (with its CR LF), or "" when none is complete yet.
  std::string next() {
    char buffer[4096];
    const auto n = socket.receive(buffer, 20ms);
    if (n && *n == 0) closed = true;
    if (n && *n > 0) pending.append(buffer, *n);
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) return {};
    std::string line = pending.substr(0, end + 2);
    pending.erase(0, end + 2);
    return line;
  }
};

class FeedRunTest : public testsupport::ProgramTest {
 protected:
  // The program folder, RealTraffic installed on this PC and a free port
  // for it; the user on the ground.
  std::uint16_t installWithRealTraffic() {
    installProgramFolder();
    testsupport::writeFile(testsupport::appDataDir() / "InsideSystems" / "RealTraffic.jar", "");
    const std::uint16_t port = testsupport::unusedLoopbackPort();
    testsupport::writeFile(
        testsupport::appDataDir() / "Skyloom" / "parameters.xml",
        fmt::format("<parameters>\n  <parameter name=\"PORT_NUMBER\" value=\"{}\"/>\n</parameters>\n", port));
    simsim::world().placeUserOnGround(51.47, -0.455, 90.0);
    return port;
  }
  // RealTraffic connects as soon as the run listens for it.
  net::TcpSocket connectRealTraffic(std::uint16_t port) {
    net::TcpSocket realTraffic;
    EXPECT_TRUE(pumpUntil([&] {
      try {
        realTraffic = net::connectLoopback(port);
        return true;
      } catch (const std::exception&) {
        return false;
      }
    }));
    return realTraffic;
  }
};

TEST_F(FeedRunTest, RealTrafficIsAwaitedAnsweredToldThePositionAndSentAway) {
  const std::uint16_t port = installWithRealTraffic();
  ASSERT_EQ(start(), 0);

  // The run waits for RealTraffic: the feed lamps stay off meanwhile.
  net::TcpSocket realTraffic = connectRealTraffic(port);
  ASSERT_TRUE(realTraffic.isOpen());
  EXPECT_FALSE(g_readersActive.load());
  realTraffic.sendAll("Qs999={\"version\":\"10.0\",\"level\":1}\r\n", 5s);

  LineReader lines{realTraffic, {}, false};
  std::string handshake;
  std::string position;
  ASSERT_TRUE(pumpUntil([&] {
    const std::string line = lines.next();
    if (line.starts_with("{")) handshake = line;
    if (line.starts_with("Qs121=")) position = line;
    return !position.empty();
  }, 20s));
  EXPECT_NE(handshake.find("\"Skyloom\""), std::string::npos) << handshake;
  EXPECT_TRUE(g_readersActive.load());
  EXPECT_FALSE(g_idle.load());
  EXPECT_FALSE(gf_displaySnapshot().realTrafficLampOff);  // lit once the flight runs

  // RealTraffic says hello six times more: past the first five of the run
  // the lines are left out, and the end of the run writes the last one with
  // its count.
  std::string again;
  for (int i = 0; i < 6; ++i) again += "Qs999={\"version\":\"10.0\",\"level\":1}\r\n";
  realTraffic.sendAll(again, 5s);
  int answers = 0;
  ASSERT_TRUE(pumpUntil([&] { return (answers += lines.next().starts_with("{")) == 6; }, 20s));

  ASSERT_TRUE(win32layer::testdriver::pressCloseButton(window()));
  std::string last;
  ASSERT_TRUE(pumpUntil([&] {
    const std::string line = lines.next();
    if (!line.empty()) last = line;
    return lines.closed || line == "exit\r\n";
  }, 20s));
  EXPECT_EQ(last, "exit\r\n");
  EXPECT_TRUE(pumpUntilQuit());
  const std::vector<std::string> log = testsupport::logLines();
  const auto ended = std::find(log.begin(), log.end(), "Run ended: USER CLOSED SIM");
  ASSERT_GE(ended - log.begin(), 2);
  EXPECT_EQ(ended[-2], "RealTraffic 10.0 (standard) connected, simulator time not sent");
  EXPECT_EQ(ended[-1], "          1 more like it were not logged");
}

// What an earlier run heard of RealTraffic does not reach the next run.
TEST_F(FeedRunTest, ARunStartsWithoutWhatAnEarlierRunHeardOfTheFeed) {
  const std::uint16_t port = installWithRealTraffic();
  g_trafficReader.rememberCallsign(4242, "BAW1");
  g_trafficReader.setQnh(990.0);
  g_firstTrafficTime = 1700000000;
  g_rtProfessional = true;
  gf_setRealTrafficText("RealTraffic 10.0 (professional)");
  ASSERT_EQ(start(), 0);
  // Listening for RealTraffic: the run's start is behind it.
  net::TcpSocket realTraffic = connectRealTraffic(port);
  ASSERT_TRUE(realTraffic.isOpen());
  EXPECT_EQ(g_trafficReader.callsignTableSize(), 0u);
  EXPECT_EQ(g_trafficReader.qnh(), TrafficReader::kStandardQnhHpa);
  EXPECT_EQ(g_firstTrafficTime.load(), 0);
  EXPECT_FALSE(g_rtProfessional.load());
  EXPECT_EQ(gf_realTrafficText(), "");
  ASSERT_TRUE(win32layer::testdriver::pressCloseButton(window()));
  EXPECT_TRUE(pumpUntilQuit());
}

}  // namespace
