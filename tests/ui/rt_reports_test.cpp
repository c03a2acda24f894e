#include "ui/rt_reports.h"

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/runstate.h"
#include "app/settings.h"
#include "feed/feed_state.h"
#include "feed/live_updates.h"
#include "feed/rt_server.h"
#include "feed/traffic_reader.h"
#include "platform/net/tcp.h"
#include "support/log_reader.h"
#include "traffic/aircraft.h"
#include "traffic/removals.h"
#include "ui/status_line.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kHangLimit = 10s;

// One CR LF line as RealTraffic reads it; empty when none came in time.
std::string lf_readLine(net::TcpSocket& socket, std::chrono::milliseconds timeout = kHangLimit) {
  std::string got;
  char byte = 0;
  while (!got.ends_with("\r\n")) {
    const auto n = socket.receive(std::span<char>(&byte, 1), timeout);
    if (!n || *n == 0) return got;
    got.push_back(byte);
  }
  return got;
}

UserAircraftData lf_user(double lat, double lon, double pitch, double bank, double heading, double altitude,
                          double groundVelocity) {
  UserAircraftData user;
  user.latitude = lat;
  user.longitude = lon;
  user.pitch = pitch;
  user.bank = bank;
  user.heading = heading;
  user.altitude = altitude;
  user.groundVelocity = groundVelocity;
  return user;
}

const UserAircraftData kHeathrow = lf_user(51.4775, -0.461389, -0.00523, 0.01745, 1.5707963, 35000.0, 451.0);

// The simulator link's copy of the user aircraft, then the report.
void lf_send(const UserAircraftData& user) {
  g_userAircraft.set(user);
  gf_sendUserPosToRT();
}

class RtReportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::openTestLog();
    gf_resetStopRequest();
    g_windowClosed.store(false);
    g_realTrafficLocal.store(true);
    for (int attempt = 0; attempt < 20 && !gf_rtServerIsOpen(); ++attempt) {
      net::TcpListener probe(0);
      m_port = probe.port();
      probe.close();
      prm::PORT_NUMBER.set(std::to_string(m_port));
      gf_openRtServer();
    }
    ASSERT_TRUE(gf_rtServerIsOpen());
    m_client = net::connectLoopback(m_port);
    ASSERT_TRUE(waitForClient());
  }
  void TearDown() override {
    gf_closeRtServer();
    prm::PORT_NUMBER.resetToDefault();
    g_realTrafficLocal.store(false);
    gf_clearTrafficLists();
    g_userAircraft.set({});
    gf_resetStopRequest();
  }

  std::uint16_t m_port = 0;
  net::TcpSocket m_client;
};

TEST_F(RtReportsTest, TheLinesArriveByteForByte) {
  struct Case {
    UserAircraftData user;
    const char* line;
  };
  const Case cases[] = {
      {kHeathrow, "Qs121=-523;1745;1.570796;35000000;451000;0.898452;-0.008053\r\n"},
      // A fractional ground speed carries the decimals it needs; a tiny
      // negative attitude is written "0", never "-0".
      {lf_user(-33.9461, 151.1772, -0.000001, 0.0, 0.0, -12.5, 12.3456),
       "Qs121=0;0;0.000000;-12500;12345.599999999999;-0.592471;2.638540\r\n"},
      // On the equator or the prime meridian is a position; only 0/0 is none.
      {lf_user(0.0, 10.0, 0.0, 0.0, 0.0, 0.0, 0.0), "Qs121=0;0;0.000000;0;0;0.000000;0.174533\r\n"},
      {lf_user(51.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0), "Qs121=0;0;0.000000;0;0;0.890118;0.000000\r\n"},
  };
  for (const Case& c : cases) {
    lf_send(c.user);
    EXPECT_EQ(lf_readLine(m_client), c.line);
  }
  gf_sendSimTimeToRT(1700000000);
  EXPECT_EQ(lf_readLine(m_client), "Qs123=1700000000000\r\n");

  // Nothing for these: a time before 1970, a position at 0/0 or no number,
  // RealTraffic on another PC.
  gf_sendSimTimeToRT(0);
  gf_sendSimTimeToRT(-5);
  lf_send(lf_user(0.00005, -0.00005, 0, 0, 0, 0, 0));
  lf_send(lf_user(51.0, 4.0, std::nan(""), 0, 0, 0, 0));
  g_realTrafficLocal.store(false);
  lf_send(kHeathrow);
  EXPECT_EQ(lf_readLine(m_client, 200ms), "");
}

TEST_F(RtReportsTest, ALostLinkClearsTheTrafficThenReconnectsWithoutSendingThenSends) {
  g_readersActive.store(true);
  // One aircraft in the simulator, one waiting for its creation, one only received.
  for (std::uint32_t hexid : {20001u, 20002u, 20003u}) {
    AircraftIdentity identity;
    identity.hexid = hexid;
    g_liveAircraft.emplace_back(std::move(identity));
  }
  g_liveAircraft[0].simState = SimState::active;
  g_liveAircraft[0].objectId = 77;
  g_liveAircraft[1].simState = SimState::adding2sim;
  g_liveAircraft[1].identity.callsign = "KLM2";
  const auto request = [](std::string callsign, std::uint32_t hexid) {
    AddRequest r;
    r.callsign = std::move(callsign);
    r.hexid = hexid;
    return r;
  };
  g_liveAddRequests = {request("KLM2", 20002), request("KLM9", 9)};
  g_removeRequests.clear();
  gf_setTrafficAccepted(true);
  gf_pushLiveUpdate(LiveAcUpdate{});
  g_trafficReader.setQnh(990.0);
  g_trafficReader.rememberCallsign(4840236, "KLM1");
  g_firstTrafficTime.store(1700000000);

  m_client.close();  // RealTraffic goes away
  std::this_thread::sleep_for(20ms);
  lf_send(kHeathrow);
  EXPECT_FALSE(g_rtConnected.load());
  EXPECT_FALSE(g_readersActive.load());
  ASSERT_EQ(g_liveAircraft.size(), 2u) << "the one in the simulator leaves the list once removed";
  EXPECT_EQ(g_liveAircraft[0].simState, SimState::removingfromsim);
  EXPECT_EQ(g_liveAircraft[1].identity.hexid, 20003u) << "one only received is no business of the simulator";
  EXPECT_EQ(g_removeRequests, std::deque<std::uint32_t>{77});
  ASSERT_EQ(g_liveAddRequests.size(), 1u);
  EXPECT_EQ(g_liveAddRequests.front().callsign, "KLM9");
  EXPECT_EQ(gf_liveUpdateCount(), 0u);
  EXPECT_DOUBLE_EQ(g_trafficReader.qnh(), 1013.0);
  EXPECT_EQ(g_trafficReader.callsignTableSize(), 0u);
  EXPECT_EQ(g_firstTrafficTime.load(), 0);
  EXPECT_NE(gf_statusSnapshot().status.find(" RealTraffic gone? Wait for RealTraffic to re-connect ..."),
            std::string::npos);

  // Without RealTraffic a call only looks for it, so the main loop goes on.
  lf_send(kHeathrow);
  EXPECT_FALSE(g_rtConnected.load());

  // The next call takes RealTraffic back and sends nothing; the one after sends.
  net::TcpSocket again = net::connectLoopback(m_port);
  lf_send(kHeathrow);
  EXPECT_TRUE(g_rtConnected.load());
  EXPECT_TRUE(g_readersActive.load());
  EXPECT_TRUE(testsupport::logContains(" RealTraffic re-connected"));
  EXPECT_EQ(gf_statusSnapshot().status, "");
  EXPECT_EQ(lf_readLine(again, 200ms), "") << "the re-connecting call sent a position";
  lf_send(kHeathrow);
  EXPECT_EQ(lf_readLine(again), "Qs121=-523;1745;1.570796;35000000;451000;0.898452;-0.008053\r\n");
  gf_setTrafficAccepted(false);
}

TEST_F(RtReportsTest, ALinkThatComesAndGoesOverAndOverLogsTheFirstFewChangesAndShowsEvery) {
  const auto countLines = [](const std::string& text) {
    std::size_t n = 0;
    for (const std::string& line : testsupport::logLines()) n += line.find(text) != std::string::npos;
    return n;
  };
  constexpr int kCycles = 20;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    m_client.close();
    // A send to a peer that has gone fails at the latest once its reset is back.
    for (int send = 0; send < 100000 && g_rtConnected.load(); ++send) lf_send(kHeathrow);
    ASSERT_FALSE(g_rtConnected.load()) << "cycle " << cycle;
    EXPECT_NE(gf_statusSnapshot().status.find(" RealTraffic gone?"), std::string::npos) << "cycle " << cycle;
    m_client = net::connectLoopback(m_port);
    for (int look = 0; look < 100000 && !g_rtConnected.load(); ++look) lf_send(kHeathrow);
    ASSERT_TRUE(g_rtConnected.load()) << "cycle " << cycle;
  }
  // The first five of each kind, then (within the minute) nothing more.
  EXPECT_EQ(countLines(" RealTraffic gone? Wait for RealTraffic to re-connect ..."), 5u);
  EXPECT_EQ(countLines(" RealTraffic re-connected"), 5u);
  gf_resetLogBounds();
  m_client.close();
  for (int send = 0; send < 100000 && g_rtConnected.load(); ++send) lf_send(kHeathrow);
  EXPECT_EQ(countLines(" RealTraffic gone? Wait for RealTraffic to re-connect ..."), 6u) << "a new run logs again";
}

TEST_F(RtReportsTest, TheEndOfARunLogsTheLinkChangesLeftOutSoTheLogEndsOnTheLinkGone) {
  const auto drop = [&] {
    m_client.close();
    for (int send = 0; send < 100000 && g_rtConnected.load(); ++send) lf_send(kHeathrow);
  };
  for (int cycle = 0; cycle < 6; ++cycle) {
    drop();
    m_client = net::connectLoopback(m_port);
    for (int look = 0; look < 100000 && !g_rtConnected.load(); ++look) lf_send(kHeathrow);
  }
  drop();  // for good
  ASSERT_FALSE(g_rtConnected.load());
  gf_logLeftOutLines();  // the end of the run
  const std::vector<std::string> lines = testsupport::logLines();
  ASSERT_GE(lines.size(), 6u);
  const std::string more = "          1 more like it were not logged";
  EXPECT_EQ(lines.end()[-6], "RealTraffic connected");
  EXPECT_TRUE(lines.end()[-5].ends_with(" RealTraffic re-connected")) << lines.end()[-5];
  EXPECT_TRUE(lines.end()[-4].starts_with("===> sendDataPacket to RealTraffic failed: ")) << lines.end()[-4];
  EXPECT_EQ(lines.end()[-3], more);
  EXPECT_TRUE(lines.end()[-2].ends_with(" RealTraffic gone? Wait for RealTraffic to re-connect ..."))
      << lines.end()[-2];
  EXPECT_EQ(lines.end()[-1], more);
}

TEST_F(RtReportsTest, WithoutTheServerAReportIsSkippedQuietly) {
  // The HQV mode never opens the server, though RealTraffic runs on this PC.
  gf_closeRtServer();
  lf_send(kHeathrow);
  lf_send(kHeathrow);
  EXPECT_FALSE(g_rtConnected.load());
  EXPECT_FALSE(testsupport::logContains("waitForClient interrupted"));
}

TEST_F(RtReportsTest, NoReconnectWaitOnceTheRunHasAnExitReason) {
  m_client.close();
  std::this_thread::sleep_for(20ms);
  lf_send(kHeathrow);
  ASSERT_FALSE(g_rtConnected.load());
  gf_requestStop(ExitReason::UserClosedSim);
  net::TcpSocket again = net::connectLoopback(m_port);
  lf_send(kHeathrow);  // would block in the wait if it waited
  EXPECT_FALSE(g_rtConnected.load());
}

}  // namespace
