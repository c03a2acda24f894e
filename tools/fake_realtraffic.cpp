// A stand-in for RealTraffic on this PC, for the demo and for trying the
// program by hand: connects to Skyloom's TCP port on 127.0.0.1, sends the
// "Qs999=" handshake, broadcasts traffic lines (port 49005) and weather
// (port 49004) on loopback once a second around the user position that
// Skyloom reports, and prints every line Skyloom sends. Then it drops the
// connection and sends nothing for a while, so Skyloom's lost-link path
// runs, connects again and goes on until Skyloom says "exit". SIGUSR1 drops
// the connection at once instead (the demo picks its moment that way).
//
//   fake_realtraffic [--port 10747] [--traffic-port 49005] [--weather-port 49004]
//                    [--seconds 8] [--silent 4] [--after 30]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "app/geo.h"
#include "app/text.h"
#include "platform/net/tcp.h"
#include "platform/net/udp.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Options {
  std::uint16_t port = 10747;
  std::uint16_t trafficPort = 49005;
  std::uint16_t weatherPort = 49004;
  int seconds = 8;  // broadcasting before the link is dropped
  int silent = 4;   // nothing at all, the link closed
  int after = 30;   // broadcasting after the re-connect, at most (until "exit")
};

// SIGUSR1 came: the link is dropped now.
volatile std::sig_atomic_t g_dropNow = 0;
void lf_onDropSignal(int) { g_dropNow = 1; }

void lf_say(std::string_view text) {
  std::fputs(fmt::format("fake RealTraffic: {}\n", text).c_str(), stdout);
  std::fflush(stdout);
}

std::optional<net::TcpSocket> lf_connect(std::uint16_t port, std::chrono::seconds patience) {
  const auto end = Clock::now() + patience;
  while (Clock::now() < end) {
    try {
      return net::connectLoopback(port);
    } catch (const std::exception&) {
      std::this_thread::sleep_for(200ms);
    }
  }
  return std::nullopt;
}

// The lines Skyloom sent, as they complete; the user position follows the "Qs121=" lines.
class LinkReader {
 public:
  // Reads for up to `wait`; false once Skyloom has closed the link or said "exit".
  bool poll(net::TcpSocket& socket, std::chrono::milliseconds wait) {
    char buffer[4096];
    const auto got = socket.receive(buffer, wait);
    if (!got) return true;
    if (*got == 0) {
      lf_say("Skyloom closed the connection");
      return false;
    }
    m_pending.append(buffer, *got);
    for (std::size_t end; (end = m_pending.find("\r\n")) != std::string::npos;) {
      const std::string line = m_pending.substr(0, end);
      m_pending.erase(0, end + 2);
      lf_say(fmt::format("received \"{}\"", line));
      if (line == "exit") return false;
      if (line.starts_with("Qs121=")) takePosition(line.substr(6));
    }
    return true;
  }
  LatLon centre() const { return m_centre; }

 private:
  void takePosition(std::string_view fields) {
    const auto parts = gf_splitString(fields, ';');
    double lat = 0.0, lon = 0.0;
    if (parts.size() == 7 && gf_parseDouble(parts[5], lat) && gf_parseDouble(parts[6], lon))
      m_centre = {lat * kRadToDeg, lon * kRadToDeg};
  }
  std::string m_pending;
  LatLon m_centre{52.3086, 4.7639};  // Amsterdam until Skyloom reports the user
};

// One second of traffic: three aircraft circling the centre, one taxiing
// at it, one ground vehicle and one line sent twice.
std::vector<std::string> lf_trafficLines(const LatLon& c, int second) {
  const double now = static_cast<double>(std::time(nullptr));
  std::vector<std::string> lines;
  for (int i = 0; i < 3; ++i) {
    const double angle = (second * 2.0 + i * 120.0) * kDegToRad;
    const LatLon p = gf_destinationPoint(c, angle, (8.0 + 4.0 * i) * kFeetPerNm);
    const double track = std::fmod(angle * kRadToDeg + 90.0, 360.0);
    lines.push_back(fmt::format("AITFC,{},{:.5f},{:.5f},{},0,1,{:.1f},{},{},{},{},AMS,LHR,{:.0f}", 4840001 + i,
                                p.latitude, p.longitude, 3000 + 1000 * i, track, 180 + 20 * i,
                                std::string("KLM100") + char('1' + i), i == 1 ? "A320" : "B738",
                                std::string("PH-BX") + char('A' + i), now));
  }
  const LatLon taxi = gf_destinationPoint(c, 45.0 * kDegToRad, 0.3 * kFeetPerNm);
  lines.push_back(fmt::format(
      "RTTFC,4840100,{:.5f},{:.5f},-10,0,1,270.0,12.0,SWR12,A320,HB-JLT,ZRH,AMS,{:.1f},X2,LX12,adsb_icao,0,0,0,0,0,"
      "0.0,268.0,270.0,0,none,A3,1013.0,0,-1,270.0,,0.0,-20.1,0,0,0,0,1,0",
      taxi.latitude, taxi.longitude, now));
  lines.push_back(fmt::format("AITFC,4840200,{:.5f},{:.5f},0,0,0,90,10,FOLLOWME,null,null,,,{:.0f} VEH",
                              c.latitude, c.longitude, now));
  lines.push_back(lines.front());  // an exact repeat, as a network may deliver it
  return lines;
}

void lf_broadcast(net::UdpSocket& udp, const Options& o, const LatLon& centre, int second) {
  const auto lines = lf_trafficLines(centre, second);
  for (const auto& line : lines) udp.sendToLoopback(o.trafficPort, line);
  const std::string weather = fmt::format(R"({{"ICAO":"EHAM","QNH":{:.1f},"OAT":4}})", 1013.0 + (second % 5));
  udp.sendToLoopback(o.weatherPort, weather);
  lf_say(fmt::format("sent {} traffic lines and {}", lines.size(), weather));
}

// Connects, greets, and broadcasts for `seconds` while reading the link.
// False when Skyloom ended the link.
bool lf_session(const Options& o, net::UdpSocket& udp, LinkReader& reader, int seconds, int& second) {
  auto socket = lf_connect(o.port, 60s);
  if (!socket) {
    lf_say(fmt::format("nobody listens on 127.0.0.1:{}", o.port));
    return false;
  }
  lf_say(fmt::format("connected to 127.0.0.1:{}", o.port));
  socket->sendAll("Qs999={\"version\":\"10.0 fake\",\"level\":2}\r\n", 5s);
  for (int i = 0; i < seconds && !g_dropNow; ++i, ++second) {
    lf_broadcast(udp, o, reader.centre(), second);
    const auto end = Clock::now() + 1s;
    while (Clock::now() < end && !g_dropNow)
      if (!reader.poll(*socket, std::min(100ms, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()))))
        return false;
  }
  g_dropNow = 0;
  lf_say("dropping the connection");
  return true;
}

std::optional<int> lf_number(const char* text) {
  std::int64_t v = 0;
  if (!gf_parseInt(text, v) || v < 0 || v > 65535) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view key = argv[i];
    const auto value = lf_number(argv[i + 1]);
    if (!value) {
      std::fprintf(stderr, "not a number: %s\n", argv[i + 1]);
      return 2;
    }
    if (key == "--port") o.port = static_cast<std::uint16_t>(*value);
    else if (key == "--traffic-port") o.trafficPort = static_cast<std::uint16_t>(*value);
    else if (key == "--weather-port") o.weatherPort = static_cast<std::uint16_t>(*value);
    else if (key == "--seconds") o.seconds = *value;
    else if (key == "--silent") o.silent = *value;
    else if (key == "--after") o.after = *value;
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  std::signal(SIGUSR1, lf_onDropSignal);
  net::UdpSocket udp;
  LinkReader reader;
  int second = 0;
  if (!lf_session(o, udp, reader, o.seconds, second)) return 0;
  lf_say(fmt::format("silent for {} s", o.silent));
  std::this_thread::sleep_for(std::chrono::seconds(o.silent));
  lf_session(o, udp, reader, o.after, second);
  lf_say("done");
  return 0;
}
