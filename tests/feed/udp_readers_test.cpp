#include "feed/udp_readers.h"

#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/clock.h"
#include "app/runstate.h"
#include "feed/feed_state.h"
#include "feed/traffic_reader.h"
#include "support/log_reader.h"

namespace {

using namespace std::chrono_literals;

// Generous bound that only catches a hang; nothing here measures speed.
constexpr auto kHangLimit = 10s;

// Waits until the condition holds; false after the hang limit.
template <typename Condition>
bool lf_eventually(Condition condition) {
  const auto end = std::chrono::steady_clock::now() + kHangLimit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

const std::string kAitfc = "AITFC,4840236,52.3086,4.7639,3500,-800,1,183.5,160,KLM1023,B738,PH-BXA,AMS,LHR,1700000000";
const std::string kRttfc =
    "RTTFC,11234042,-33.9107,152.9902,26400,1248,0,90.12,490.00,AAL72,B789, N835AN,SYD,LAX,1645144774.2,X2,AA72,"
    "adsb_icao,27575,320,474,0.780, 0.0,-4.5,78.93,92.27,1280,none,A5,1012.8,35008,-1,71.02, "
    "autopilot|vnav|lnav|tcas,0.0,-21.9,223,24,-30,0,1,170124";

// Both readers on loopback ports of their own, run on test-owned threads.
class UdpReadersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::openTestLog();
    gf_resetStopRequest();
    gf_resetFeedState();
    g_trafficReader.reset();
    g_trafficReader.clearParkAirportPosition();
    g_trafficReader.takeCollectedCallsigns();
    g_realTrafficLocal.store(false);
    gf_clearLiveUpdates();
    gf_setTrafficAccepted(true);
    const auto generation = gf_readerGeneration();
    m_traffic = std::thread([this, generation] { gf_runTrafficReader(m_trafficSocket, generation); });
    m_qnh = std::thread([this, generation] { gf_runQnhReader(m_qnhSocket, generation); });
  }
  void TearDown() override {
    gf_stopReaders();
    if (m_traffic.joinable()) m_traffic.join();
    if (m_qnh.joinable()) m_qnh.join();
    gf_setTrafficAccepted(false);
    gf_clearLiveUpdates();
    g_realTrafficLocal.store(false);
  }

  // Sends datagrams to the traffic port and waits until the reader took them all.
  void sendTraffic(std::initializer_list<std::string> datagrams) {
    const auto target = g_readerCounts.trafficDatagrams.load() + datagrams.size();
    for (const auto& d : datagrams) m_sender.sendToLoopback(m_trafficSocket.port(), d);
    ASSERT_TRUE(lf_eventually([&] { return g_readerCounts.trafficDatagrams.load() >= target; }));
  }

  net::UdpSocket m_trafficSocket{0, net::BindAddress::Loopback};
  net::UdpSocket m_qnhSocket{0, net::BindAddress::Loopback};
  net::UdpSocket m_sender;
  std::thread m_traffic;
  std::thread m_qnh;
};

TEST_F(UdpReadersTest, BothFormatsBecomeUpdatesAndTheFiltersDropTheRest) {
  g_trafficReader.setParkAirportPosition({52.3086, 4.7639});
  g_trafficReader.startCallsignCollection();
  EXPECT_EQ(g_firstTrafficTime.load(), 0);
  sendTraffic({kAitfc, kRttfc, kAitfc,                                                       // a repeat
               "AITFC,4840237,52.31,4.76,0,0,1,0,20,FOLLOW1,null,null,null,null,1700000001 VEH",  // a vehicle
               "AITFC,4840238,52.30,4.76,-10,0,0,90,0,null,A320,PH-AAA,,,1700000002",      // on the ground nearby
               "RTTFC,4840239,51.0,4.0,0,0,1,90,0,KLM9,B738,PH-BBB,,,1700000003",           // on the ground far away
               "AITFC,4840240,52.2,4.7,2000,0,1,10,150,N123@X,C172,N123,,,1700000004",
               "AITFC,4840241,52.2,4.7,abc,0,1,10,150,BAD1,C172,N1,,,1700000005"});         // malformed

  EXPECT_EQ(g_readerCounts.accepted.load(), 4u);
  EXPECT_EQ(g_readerCounts.repeats.load(), 1u);
  EXPECT_EQ(g_readerCounts.vehicles.load(), 1u);
  EXPECT_EQ(g_readerCounts.groundFar.load(), 1u);
  EXPECT_EQ(g_readerCounts.malformed.load(), 1u);
  EXPECT_TRUE(testsupport::logContains("===> Traffic Reader: malformed traffic line skipped: AITFC,4840241,"));
  EXPECT_NE(g_firstTrafficTime.load(), 0);
  EXPECT_EQ(g_trafficReaderStatus.load(), kReaderReceiving);
  EXPECT_EQ(g_trafficReader.takeCollectedCallsigns(), (CallsignSet{"KLM1023", "AAL72"}));
  EXPECT_EQ(g_trafficReader.callsignOf(11234042), "AAL72");

  const auto updates = gf_takeLiveUpdates(10);
  ASSERT_EQ(updates.size(), 4u);
  const LiveAcUpdate& klm = updates[0];
  EXPECT_EQ(klm.hexid, 4840236u);
  EXPECT_FALSE(klm.onGround) << "AITFC's 1 means airborne";
  EXPECT_DOUBLE_EQ(klm.verticalSpeed, -800.0);
  EXPECT_NEAR(klm.track, 183.5 * 0.017453292519943295, 1e-12);
  EXPECT_DOUBLE_EQ(klm.heading, klm.track) << "AITFC has no heading: the track stands in";
  EXPECT_EQ(klm.identity.type, "B738");
  EXPECT_EQ(klm.identity.registration, "PH-BXA");
  EXPECT_EQ(klm.identity.destination, "LHR");
  const LiveAcUpdate& aal = updates[1];
  EXPECT_FALSE(aal.onGround) << "RTTFC's 0 means airborne";
  EXPECT_EQ(aal.identity.registration, "N835AN") << "blanks around a field are not part of it";
  EXPECT_NEAR(aal.heading, 92.27 * 0.017453292519943295, 1e-12);
  EXPECT_NEAR(aal.roll, -4.5 * 0.017453292519943295, 1e-12);
  EXPECT_DOUBLE_EQ(aal.timestamp, 1645144774.2);
  EXPECT_TRUE(updates[2].onGround);
  EXPECT_EQ(updates[2].identity.callsign, "") << "null is no callsign";
  EXPECT_EQ(updates[3].identity.callsign, "N123@X");

  // Without a park airport every on-ground report is dropped.
  g_trafficReader.clearParkAirportPosition();
  sendTraffic({"AITFC,4840242,52.3086,4.7639,-10,0,0,90,0,KLM5,A320,PH-AAB,,,1700000006"});
  EXPECT_EQ(g_readerCounts.groundFar.load(), 2u);
  EXPECT_EQ(gf_liveUpdateCount(), 0u);
}

TEST_F(UdpReadersTest, MalformedInputIsLoggedInBoundedNumberAlsoAcrossLostLinks) {
  const std::int64_t startedAt = gf_steadySeconds();
  for (int cycle = 0; cycle < 3; ++cycle) {
    for (int i = 0; i < 15; ++i) sendTraffic({"AITFC," + std::to_string(100 * cycle + i) + ",bad"});
    gf_resetFeedState();  // what a lost link does
  }
  std::size_t logged = 0;
  for (const std::string& line : testsupport::logLines())
    if (line.find("malformed traffic line skipped") != std::string::npos) ++logged;
  EXPECT_LE(logged, 10u + static_cast<std::size_t>((gf_steadySeconds() - startedAt) / 60));
}

TEST_F(UdpReadersTest, RepeatsAreKeptWhenRealTrafficRunsOnThisPc) {
  g_realTrafficLocal.store(true);
  sendTraffic({kAitfc, kAitfc});
  EXPECT_EQ(g_readerCounts.accepted.load(), 2u);
  EXPECT_EQ(g_readerCounts.repeats.load(), 0u);
  // Without the run's accept flag the line counts, but no update is queued.
  gf_setTrafficAccepted(false);
  sendTraffic({kRttfc});
  EXPECT_EQ(gf_liveUpdateCount(), 2u);
}

TEST_F(UdpReadersTest, QnhComesFromTheWeatherObject) {
  const auto send = [&](const std::string& datagram) {
    const auto target = g_readerCounts.qnhDatagrams.load() + 1;
    m_sender.sendToLoopback(m_qnhSocket.port(), datagram);
    ASSERT_TRUE(lf_eventually([&] { return g_readerCounts.qnhDatagrams.load() >= target; }));
  };
  // A weather object of tens of kilobytes is one datagram too.
  send(R"({"ICAO":"EHAM","QNH":1009.0,"METAR":")" + std::string(40000, 'x') + "\"}");
  EXPECT_DOUBLE_EQ(g_trafficReader.qnh(), 1009.0);
  send(R"({"ICAO":"EHAM","QNH":1021.6,"temperature":4})");
  EXPECT_DOUBLE_EQ(g_trafficReader.qnh(), 1021.6);
  EXPECT_EQ(g_qnhShown.load(), 1022);
  EXPECT_EQ(g_qnhReaderStatus.load(), kReaderReceiving);
  for (const char* bad : {R"({"QNH":"1000"})", R"({"QNH":5})", R"({"qnh":1000})", "[1000]", "{\"QNH\":10", ""})
    send(bad);
  EXPECT_EQ(g_readerCounts.qnhMalformed.load(), 6u);
  EXPECT_DOUBLE_EQ(g_trafficReader.qnh(), 1021.6) << "a bad datagram changed the QNH";

  // In the US the QNH comes in inches of mercury times 100; a value in
  // neither range is refused and the last QNH stays.
  const struct {
    const char* qnh;
    double hpa;
    std::int32_t shown;
  } cases[] = {{"2996", 1014.56, 1015}, {"700", 1014.56, 1015}, {"4000", 1014.56, 1015}, {"1015", 1015.0, 1015}};
  for (const auto& c : cases) {
    send(fmt::format(R"({{"ICAO":"KJFK","QNH":{}}})", c.qnh));
    EXPECT_NEAR(g_trafficReader.qnh(), c.hpa, 0.01) << c.qnh;
    EXPECT_EQ(g_qnhShown.load(), c.shown) << c.qnh;
  }
  EXPECT_EQ(g_readerCounts.qnhMalformed.load(), 8u);
}

TEST_F(UdpReadersTest, AStopEndsBothReadersAndTheLivenessCheckFollowsThem) {
  // The QNH Reader's thread may start late on a busy machine: its loop has begun once it left "stopped".
  ASSERT_TRUE(lf_eventually([] { return g_qnhReaderStatus.load() != kReaderStopped; }));
  sendTraffic({kAitfc});
  gf_checkReaderLiveness();
  EXPECT_EQ(g_trafficReaderStatus.load(), kReaderReceiving);
  gf_checkReaderLiveness();  // nothing arrived since
  EXPECT_EQ(g_trafficReaderStatus.load(), kReaderNoNewData);
  EXPECT_EQ(g_qnhReaderStatus.load(), kReaderNoNewData);

  gf_stopReaders();
  auto ended = std::async(std::launch::async, [this] {
    m_traffic.join();
    m_qnh.join();
  });
  EXPECT_EQ(ended.wait_for(1s), std::future_status::ready) << "a stop did not end both readers within a second";
  ended.wait();
  EXPECT_FALSE(g_stopRun.load()) << "an ordinary stop is no reader error";
}

TEST(UdpReaderThreadTest, APortThatCannotBeOpenedStopsTheRunWithAReaderError) {
  testsupport::openTestLog();
  gf_resetStopRequest();
  net::UdpSocket taken(0, net::BindAddress::Any);
  gf_trafficReaderThread(taken.port(), gf_readerGeneration());
  EXPECT_EQ(gf_exitReason(), ExitReason::ReaderError);
  EXPECT_EQ(g_trafficReaderStatus.load(), kReaderStopped);
  EXPECT_TRUE(testsupport::logContains("The Traffic Reader has stopped with error: bind: "));
  gf_resetStopRequest();
}

TEST(ProcessLineSubTest, BadLinesAreRefusedWithoutReadingPastTheirEnd) {
  const std::string good = "AITFC,4840236,52.3,4.7,3500,-800,1,183.5,160,KLM1,B738,PH-BXA,AMS,LHR,1700000000";
  ASSERT_TRUE(processLineSub(good).has_value());
  for (const std::string& line : {
           std::string("XATT,1,2,3"), std::string("AITFC"), good.substr(0, good.rfind(',')),  // a field short
           std::string("AITFC,0,52.3,4.7,3500,0,1,0,0,A,B,C,D,E,1700000000"),              // hexid 0
           std::string("AITFC,16777216,52.3,4.7,3500,0,1,0,0,A,B,C,D,E,1700000000"),       // over 24 bits
           std::string("AITFC,1e3,52.3,4.7,3500,0,1,0,0,A,B,C,D,E,1700000000"),
           std::string("AITFC,1000,95.0,4.7,3500,0,1,0,0,A,B,C,D,E,1700000000"),           // no latitude
           std::string("AITFC,1000,52.3,nan,3500,0,1,0,0,A,B,C,D,E,1700000000"),
           std::string("AITFC,1000,52.3,4.7,inf,0,1,0,0,A,B,C,D,E,1700000000"),
           std::string("AITFC,1000,52.3,4.7,3500,0,2,0,0,A,B,C,D,E,1700000000"),           // ground flag 2
           std::string("AITFC,1000,52.3,4.7,3500,0,1,0,0,A,B,C,D,E,"),                     // no timestamp
           std::string("AITFC,1000,52.3,4.7,3500,0,1,x,0,A,B,C,D,E,1700000000"),
           std::string("RTTFC,1000,52.3,4.7,3500,0,1,0,0,A,B,C,D,E,1700000000,s,c,m,1,2,3,4,5,roll"),
       }) {
    SCOPED_TRACE(line);
    // A copy that ends exactly where the line ends, so a read past it is caught by the sanitizers.
    const std::unique_ptr<char[]> exact(new char[line.size()]);
    std::copy(line.begin(), line.end(), exact.get());
    EXPECT_FALSE(processLineSub(std::string_view(exact.get(), line.size())).has_value());
  }
  // Empty later fields of RTTFC are allowed; the heading then is the track.
  const auto sparse = processLineSub("RTTFC,1000,52.3,4.7,3500,,1,45,,null,,,,,1700000000,,,,,,,,,,,,,");
  ASSERT_TRUE(sparse.has_value());
  EXPECT_TRUE(sparse->onGround);
  EXPECT_DOUBLE_EQ(sparse->heading, sparse->track);
}

}  // namespace
