#include "feed/rt_server.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/clock.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "feed/feed_state.h"
#include "platform/net/tcp.h"
#include "support/log_reader.h"

namespace {

using namespace std::chrono_literals;

// Generous bounds that only catch a hang; nothing here measures speed.
constexpr auto kHangLimit = 10s;

// Reads until `count` bytes came, the peer closed, or nothing came for a while.
std::string lf_readBytes(net::TcpSocket& socket, std::size_t count) {
  std::string got;
  char buffer[65536];
  while (got.size() < count) {
    const auto n = socket.receive(buffer, kHangLimit);
    if (!n || *n == 0) break;
    got.append(buffer, *n);
  }
  return got;
}

// Reads until the bytes end with `suffix`, the peer closed, or nothing came for a while.
std::string lf_readUntil(net::TcpSocket& socket, std::string_view suffix) {
  std::string got;
  char byte = 0;
  while (!got.ends_with(suffix)) {
    const auto n = socket.receive(std::span<char>(&byte, 1), kHangLimit);
    if (!n || *n == 0) break;
    got.push_back(byte);
  }
  return got;
}

// The sockets this process has open, from the kernel's own table.
int lf_openSocketCount() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(entry.path(), ec);
    if (!ec && target.string().rfind("socket:", 0) == 0) ++count;
  }
  return count;
}

class RtServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::openTestLog();
    g_stopRun.store(false);
    g_windowClosed.store(false);
  }
  void TearDown() override {
    gf_closeRtServer();
    prm::PORT_NUMBER.resetToDefault();
    g_stopRun.store(false);
    g_windowClosed.store(false);
  }

  // Opens the server on a port that is free now. Test programs run in
  // parallel, so another one may take the port between the probe and the
  // open: then try another.
  std::uint16_t openOnFreePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
      std::uint16_t port = 0;
      {
        net::TcpListener probe(0);
        port = probe.port();
      }
      prm::PORT_NUMBER.set(std::to_string(port));
      if (gf_openRtServer()) return port;
    }
    ADD_FAILURE() << "no free port found";
    return 0;
  }

  // A RealTraffic stand-in connected and accepted.
  net::TcpSocket connectClient(std::uint16_t port) {
    net::TcpSocket client = net::connectLoopback(port);
    EXPECT_TRUE(waitForClient());
    EXPECT_TRUE(g_rtConnected.load());
    return client;
  }
};

TEST_F(RtServerTest, LinesArriveByteForByteAndNothingElse) {
  const auto port = openOnFreePort();
  ASSERT_TRUE(gf_rtServerIsOpen());
  EXPECT_FALSE(g_rtConnected.load());
  net::TcpSocket client = connectClient(port);
  EXPECT_TRUE(testsupport::logHasLine(fmt::format("RealTraffic server listening on 127.0.0.1:{}", port)));

  const std::string position = "Qs121=-523;1745;1.570796;35000000;451000;0.898549;-0.002327\r\n";
  std::string binary;
  for (int b = 0; b < 256; ++b) binary.push_back(static_cast<char>(b));
  binary += "\r\n";
  ASSERT_TRUE(sendDataPacket(position));
  ASSERT_TRUE(sendDataPacket(binary));
  EXPECT_EQ(lf_readBytes(client, position.size() + binary.size()), position + binary);

  // A client already connected is kept: no second wait, same connection.
  EXPECT_TRUE(waitForClient());
  ASSERT_TRUE(sendDataPacket("exit\r\n"));
  EXPECT_EQ(lf_readBytes(client, 6), "exit\r\n");
  char extra[16];
  EXPECT_FALSE(client.receive(extra, 200ms).has_value()) << "bytes arrived that were never sent";
}

TEST_F(RtServerTest, ALineLargerThanTheSocketBuffersArrivesWhole) {
  const auto port = openOnFreePort();
  net::TcpSocket client = connectClient(port);
  // Far more than the kernel takes in one call, so the send is split into
  // many partial sends that must all go out, in order.
  std::string big(8 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + (i * 7 + i / 4093) % 26);
  big += "\r\n";
  auto reader = std::async(std::launch::async, [&] { return lf_readBytes(client, big.size()); });
  EXPECT_TRUE(sendDataPacket(big));
  ASSERT_EQ(reader.wait_for(kHangLimit), std::future_status::ready);
  const std::string got = reader.get();
  ASSERT_EQ(got.size(), big.size());
  EXPECT_TRUE(got == big);
}

TEST_F(RtServerTest, AClientThatLeftFailsTheSendAndANewClientIsAccepted) {
  const auto port = openOnFreePort();
  {
    net::TcpSocket first = connectClient(port);
    ASSERT_TRUE(sendDataPacket("Qs121=1;2;3.000000;4;5;0.100000;0.200000\r\n"));
  }  // the first RealTraffic goes away
  const int socketsWithServerSide = lf_openSocketCount();

  // The close is seen before the line goes out: the first send fails,
  // instead of vanishing into a buffer that nobody reads.
  std::this_thread::sleep_for(20ms);  // loopback delivers the close at once; this only settles the threads
  EXPECT_FALSE(sendDataPacket("Qs121=1;2;3.000000;4;5;0.100000;0.200000\r\n"));
  EXPECT_TRUE(testsupport::logContains("===> sendDataPacket to RealTraffic failed: "));
  EXPECT_FALSE(g_rtConnected.load());
  EXPECT_EQ(lf_openSocketCount(), socketsWithServerSide - 1) << "the server's side of the connection stayed open";

  // Without a client a send fails the same way, and nothing is stuck.
  EXPECT_FALSE(sendDataPacket("exit\r\n"));
  EXPECT_TRUE(testsupport::logContains("sendDataPacket to RealTraffic failed: no RealTraffic client is connected"));

  net::TcpSocket second = connectClient(port);
  ASSERT_TRUE(sendDataPacket("Qs123=1700000000000\r\n"));
  EXPECT_EQ(lf_readBytes(second, 21), "Qs123=1700000000000\r\n");
}

TEST_F(RtServerTest, WaitForClientReturnsFalseWhenTheRunStops) {
  for (std::atomic<bool>* flag : {&g_stopRun, &g_windowClosed}) {
    SCOPED_TRACE(flag == &g_stopRun ? "g_stopRun" : "g_windowClosed");
    openOnFreePort();
    auto waiting = std::async(std::launch::async, [] { return waitForClient(); });
    // Give it time to be inside its wait; the result is the same either way.
    std::this_thread::sleep_for(150ms);
    flag->store(true);
    ASSERT_EQ(waiting.wait_for(kHangLimit), std::future_status::ready) << "the wait did not notice the stop";
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(g_rtConnected.load());
    flag->store(false);
    gf_closeRtServer();
  }
  EXPECT_TRUE(testsupport::logContains("waitForClient interrupted: the run is stopping"));
}

TEST_F(RtServerTest, WaitForClientFailsWithoutAnOpenServer) {
  EXPECT_FALSE(waitForClient());
  EXPECT_TRUE(testsupport::logContains("===> waitForClient interrupted: the RealTraffic server is not open"));

  // Closed by another thread while waiting.
  openOnFreePort();
  auto waiting = std::async(std::launch::async, [] { return waitForClient(); });
  std::this_thread::sleep_for(150ms);
  gf_closeRtServer();
  ASSERT_EQ(waiting.wait_for(kHangLimit), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
  EXPECT_TRUE(testsupport::logContains("===> waitForClient interrupted: the RealTraffic server was closed"));
}

TEST_F(RtServerTest, ReopensOnTheSamePortAfterServingAClient) {
  // A restart of the run closes the server with a connection that it closed
  // first (so it lingers in TIME_WAIT) and opens it again on the same port.
  const auto port = openOnFreePort();
  {
    net::TcpSocket client = connectClient(port);
    ASSERT_TRUE(sendDataPacket("exit\r\n"));
    EXPECT_EQ(lf_readBytes(client, 6), "exit\r\n");
    gf_closeRtServer();
    EXPECT_FALSE(g_rtConnected.load());
    EXPECT_EQ(lf_readBytes(client, 1), "") << "the client was not disconnected by the close";
  }
  ASSERT_TRUE(gf_openRtServer());
  net::TcpSocket again = connectClient(port);
  ASSERT_TRUE(sendDataPacket("exit\r\n"));
  EXPECT_EQ(lf_readBytes(again, 6), "exit\r\n");
}

TEST_F(RtServerTest, BadPortNumberIsAClearError) {
  for (const char* text : {"", "   ", "abc", "0", "65536", "-1", "+80", "10747x", "1e3", "10 747", "99999999999999999999"}) {
    SCOPED_TRACE(text);
    prm::PORT_NUMBER.set(text);
    EXPECT_FALSE(gf_openRtServer());
    EXPECT_FALSE(gf_rtServerIsOpen());
    EXPECT_TRUE(testsupport::logHasLine(fmt::format(
        "===> PORT_NUMBER '{}' is not a port number from 1 to 65535: the RealTraffic server is not opened", text)));
  }
  EXPECT_EQ(gf_parsePortNumber("1"), std::uint16_t{1});
  EXPECT_EQ(gf_parsePortNumber("65535"), std::uint16_t{65535});
  EXPECT_EQ(gf_parsePortNumber(" 10747\t"), std::uint16_t{10747});
}

TEST_F(RtServerTest, APortInUseIsAClearError) {
  net::TcpListener other(0);
  prm::PORT_NUMBER.set(std::to_string(other.port()));
  EXPECT_FALSE(gf_openRtServer());
  EXPECT_FALSE(gf_rtServerIsOpen());
  EXPECT_TRUE(testsupport::logContains(
      fmt::format("===> gf_openRtServer: cannot listen on 127.0.0.1:{}: bind: ", other.port())));
}

TEST_F(RtServerTest, DeadConnectionsInTheBacklogArePassedOverAndANewClientReplacesASilentOne) {
  const auto port = openOnFreePort();
  // Connections that came and went before the run waited for its client.
  for (int i = 0; i < 20; ++i) net::connectLoopback(port);
  net::TcpSocket silent = net::connectLoopback(port);
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(waitForClient());
  ASSERT_TRUE(sendDataPacket("exit\r\n"));
  EXPECT_EQ(lf_readBytes(silent, 6), "exit\r\n") << "a dead connection was taken for the client";

  // The silent client never sent anything; RealTraffic connects and answers.
  net::TcpSocket realTraffic = net::connectLoopback(port);
  realTraffic.sendAll("Qs999={\"version\":\"10.0.255\",\"level\":2}\r\n", 1s);
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(sendDataPacket("Qs123=1000\r\n"));
  EXPECT_TRUE(lf_readUntil(realTraffic, "Qs123=1000\r\n").ends_with("}\r\nQs123=1000\r\n"));
  EXPECT_EQ(lf_readBytes(silent, 1), "") << "the silent client was not let go";
  EXPECT_TRUE(g_rtProfessional.load());
  EXPECT_EQ(gf_realTrafficText(), "RealTraffic 10.0.255 (professional)");

  // RealTraffic has spoken: a further connection does not take its place.
  net::TcpSocket intruder = net::connectLoopback(port);
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(sendDataPacket("exit\r\n"));
  EXPECT_EQ(lf_readBytes(realTraffic, 6), "exit\r\n");
  EXPECT_EQ(lf_readBytes(intruder, 1), "");
}

TEST_F(RtServerTest, TheHandshakeIsAnsweredWithAJsonObject) {
  const auto port = openOnFreePort();
  net::TcpSocket client = connectClient(port);
  EXPECT_FALSE(gf_rtHandshake(100ms)) << "a handshake without RealTraffic's line";
  EXPECT_TRUE(testsupport::logContains("===> RealTraffic handshake failed: no answer from RealTraffic"));

  for (const auto& [line, text, professional] : {
           std::tuple<std::string, std::string, bool>{"Qs999=version\r\n", "RealTraffic", false},
           {"Qs999={\"version\":\"10.1\",\"level\":\"standard\"}\r\n", "RealTraffic 10.1 (standard)", false},
           {"Qs999={\"version\":10,\"level\":1}\n", "RealTraffic 10 (standard)", false},
       }) {
    SCOPED_TRACE(line);
    client.sendAll(line, 1s);
    ASSERT_TRUE(gf_rtHandshake(kHangLimit));
    const std::string answer = lf_readUntil(client, "\r\n");
    EXPECT_EQ(answer.rfind("{\"name\":\"Skyloom\",\"version\":\"", 0), 0u) << answer;
    EXPECT_EQ(gf_realTrafficText(), text);
    EXPECT_EQ(g_rtProfessional.load(), professional);
  }
  gf_sendExitToRT();
  EXPECT_EQ(lf_readBytes(client, 6), "exit\r\n");
}

// Calls sendDataPacket, which reads what the client sent, until `count`
// bytes of the client have been taken in all (or a hang is plain).
void lf_takeClientBytesUpTo(std::uint64_t count) {
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (gf_rtInputBytesTaken() < count && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(sendDataPacket("Qs123=1\r\n"));
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_GE(gf_rtInputBytesTaken(), count);
}

TEST_F(RtServerTest, AClientThatNeverEndsItsLineIsReadABoundedAmountPerSendAndLaterLinesStayWhole) {
  const auto port = openOnFreePort();
  net::TcpSocket client = connectClient(port);
  // "Qs999=" and then bytes without a line end, as fast as the link takes them.
  std::atomic<std::size_t> sent{0};
  std::thread writer([&client, &sent] {
    try {
      client.sendAll("Qs999=", kHangLimit);
      const std::string chunk(4096, 'x');
      while (sent.load() < (std::size_t{4} << 20)) {
        client.sendAll(chunk, kHangLimit);
        sent += chunk.size();
      }
    } catch (const std::exception&) {
      // the server closed the link: the test is over
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (sent.load() < 4 * kRtMaxInputPerCall && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_GE(sent.load(), 4 * kRtMaxInputPerCall);
  const std::uint64_t start = gf_rtInputBytesTaken();
  for (int call = 0; call < 8; ++call) {
    const std::uint64_t before = gf_rtInputBytesTaken();
    ASSERT_TRUE(sendDataPacket("Qs123=1\r\n"));
    EXPECT_LE(gf_rtInputBytesTaken() - before, kRtMaxInputPerCall) << call;
  }
  EXPECT_GT(gf_rtInputBytesTaken(), start);
  gf_closeRtServer();  // the writer's next send fails
  writer.join();

  // The rest of a line that was too long is not a line of its own; the
  // lines after it are read whole and answered once each.
  openOnFreePort();
  net::TcpSocket realTraffic = connectClient(gf_parsePortNumber(prm::PORT_NUMBER.value()).value());
  std::uint64_t target = gf_rtInputBytesTaken();
  for (const std::string& bytes : {std::string(5000, 'x'), std::string("Qs999={\"version\":\"tail\"}\r\n"),
                                   std::string("Qs999={\"version\":\"10.2\"}\r\n")}) {
    realTraffic.sendAll(bytes, kHangLimit);
    target += bytes.size();
    lf_takeClientBytesUpTo(target);
  }
  ASSERT_TRUE(sendDataPacket("exit\r\n"));
  const std::string received = lf_readUntil(realTraffic, "exit\r\n");
  EXPECT_EQ(received.find("{\"name\""), received.rfind("{\"name\"")) << "answered more than once";
  EXPECT_NE(received.find("{\"name\""), std::string::npos);
  EXPECT_EQ(gf_realTrafficText(), "RealTraffic 10.2");
}

// The lines of Log.txt that contain the text.
std::size_t lf_logLinesWith(const std::string& text) {
  std::size_t n = 0;
  for (const std::string& line : testsupport::logLines())
    if (line.find(text) != std::string::npos) ++n;
  return n;
}

TEST_F(RtServerTest, AFloodOfHandshakesAndConnectionsGrowsTheLogByAFewLinesAndLeavesTheHeaderAsItWas) {
  const auto port = openOnFreePort();
  net::TcpSocket client = connectClient(port);
  const std::uint64_t startedAt = gf_steadySeconds();
  client.sendAll("Qs999={\"version\":\"10.0\",\"level\":2}\r\n", kHangLimit);
  ASSERT_TRUE(gf_rtHandshake(kHangLimit));
  // Then bare handshake lines without end, and connections besides.
  constexpr std::size_t kLines = 20000;
  const std::string bare = "Qs999=\r\n";
  std::thread writer([&] {
    std::string all;
    for (std::size_t i = 0; i < kLines; ++i) all += bare;
    client.sendAll(all, kHangLimit);
  });
  // Every line is answered; the answers are read as they come.
  std::atomic<std::size_t> answers{0};
  std::thread reader([&] {
    std::string pending;
    char buffer[65536];
    while (answers.load() < kLines + 1) {
      const auto n = client.receive(buffer, kHangLimit);
      if (!n || *n == 0) return;
      pending.append(buffer, *n);
      for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos; pending.erase(0, end + 2))
        if (pending.starts_with("{")) ++answers;
    }
  });
  std::vector<net::TcpSocket> intruders;
  lf_takeClientBytesUpTo(gf_rtInputBytesTaken() + kLines * bare.size() / 2);
  for (int i = 0; i < 200; ++i) {
    intruders.push_back(net::connectLoopback(port));
    if (i % 50 == 49) {
      ASSERT_TRUE(sendDataPacket("Qs123=1\r\n"));
    }
  }
  writer.join();
  // All of the client's lines taken and answered, every intruder sent away.
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (answers.load() < kLines + 1 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(sendDataPacket("Qs123=1\r\n"));
    std::this_thread::sleep_for(1ms);
  }
  reader.join();
  EXPECT_EQ(answers.load(), kLines + 1);
  for (net::TcpSocket& intruder : intruders) {
    EXPECT_EQ(lf_readBytes(intruder, 1), "");
  }

  // The first few of each kind, then one a minute at most.
  const std::uint64_t minutes = (gf_steadySeconds() - startedAt) / 60 + 1;
  EXPECT_LE(lf_logLinesWith("connected, simulator time"), 5 + minutes);
  EXPECT_LE(lf_logLinesWith("A second connection to the RealTraffic port was refused"), 5 + minutes);
  EXPECT_LE(testsupport::logLines().size(), 40 + 4 * minutes);
  EXPECT_TRUE(g_rtProfessional.load());
  EXPECT_EQ(gf_realTrafficText(), "RealTraffic 10.0 (professional)");
}

}  // namespace
