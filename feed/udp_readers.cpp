#include "feed/udp_readers.h"

#include <array>
#include <cmath>
#include <exception>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/clock.h"
#include "app/geo.h"
#include "app/hash.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/text.h"
#include "feed/feed_state.h"
#include "feed/traffic_reader.h"
#include "ui/display_state.h"
#include "ui/window_setters.h"

ReaderCounts g_readerCounts;

namespace {

constexpr std::string_view kTrafficReaderName = "Traffic Reader";
constexpr std::string_view kQnhReaderName = "QNH Reader";
// Malformed input of each reader: the first lines of a run are logged, then
// one a minute with a count; all of it is counted.
constexpr std::uint32_t kMalformedLinesLogged = 10;
BoundedLogLines g_trafficMalformedLines{kMalformedLinesLogged};
BoundedLogLines g_qnhMalformedLines{kMalformedLinesLogged};
// How many recent lines the repeat filter remembers.
constexpr std::size_t kRecentLines = 1024;
// QNH values outside this range (hPa) are no sea-level pressure.
constexpr double kLowestQnh = 800.0;
constexpr double kHighestQnh = 1200.0;
// In the US the broadcast gives the QNH in inches of mercury times 100
// (2996 for 29.96 inHg): values in this range are read so.
constexpr double kLowestInHg100 = 2600.0;
constexpr double kHighestInHg100 = 3400.0;
constexpr double kHpaPerInHg = 33.8639;

std::atomic<std::uint64_t> g_generation{0};
// Datagram counts at the last liveness check.
std::atomic<std::uint64_t> g_trafficAtLastCheck{0};
std::atomic<std::uint64_t> g_qnhAtLastCheck{0};

bool lf_stopped(std::uint64_t generation) { return g_generation.load() != generation; }

// A field as the feed writes it: blanks around it are not part of it.
std::string_view lf_field(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// A text field; the feed's "null" (unknown) becomes empty.
std::string lf_textField(std::string_view text) {
  text = lf_field(text);
  if (text == "null") return {};
  return std::string(text);
}

// A number field that must be there.
bool lf_number(std::string_view text, double& value) { return gf_parseDouble(lf_field(text), value); }

// A number field that may be empty or "null" (then `fallback`); false only
// for a text that is neither empty nor a number.
bool lf_optionalNumber(std::string_view text, double& value, double fallback) {
  text = lf_field(text);
  if (text.empty() || text == "null") {
    value = fallback;
    return true;
  }
  return gf_parseDouble(text, value);
}

void lf_logMalformed(std::atomic<std::uint64_t>& counter, BoundedLogLines& lines, std::string_view reader,
                     std::string_view what, std::string_view text) {
  counter.fetch_add(1);
  gf_logBounded(lines, gf_logErrorText, "{}: {} skipped: {}", reader, what, text.substr(0, 200));
}

// The filters of the traffic reader that need memory between lines.
class TrafficLineFilter {
 public:
  // Whether the line was seen among the recent lines; remembers it.
  bool isRepeat(std::string_view line) {
    const std::uint64_t hash = gf_fnv1a64(reinterpret_cast<const unsigned char*>(line.data()), line.size());
    if (m_seen.contains(hash)) return true;
    if (m_ring.size() < kRecentLines) {
      m_ring.push_back(hash);
    } else {
      m_seen.erase(m_ring[m_next]);
      m_ring[m_next] = hash;
      m_next = (m_next + 1) % kRecentLines;
    }
    m_seen.insert(hash);
    return false;
  }

 private:
  std::vector<std::uint64_t> m_ring;
  std::size_t m_next = 0;
  std::unordered_set<std::uint64_t> m_seen;
};

void lf_handleTrafficLine(std::string_view line, TrafficLineFilter& filter) {
  line = lf_field(line);
  if (line.empty()) return;
  if (line.find(" VEH") != std::string_view::npos) {
    g_readerCounts.vehicles.fetch_add(1);
    return;
  }
  // RealTraffic on another PC may send a line more than once; on this PC it
  // does not, and a line repeated there is a real report.
  if (!g_realTrafficLocal.load() && filter.isRepeat(line)) {
    g_readerCounts.repeats.fetch_add(1);
    return;
  }
  std::optional<LiveAcUpdate> update = processLineSub(line);
  if (!update) {
    lf_logMalformed(g_readerCounts.malformed, g_trafficMalformedLines, kTrafficReaderName, "malformed traffic line",
                    line);
    return;
  }
  if (update->onGround) {
    const auto park = g_trafficReader.parkAirportPosition();
    if (!park || gf_distanceNm(*park, {update->latitude, update->longitude}) > kGroundReportRadiusNm) {
      g_readerCounts.groundFar.fetch_add(1);
      return;
    }
  }
  g_readerCounts.accepted.fetch_add(1);
  std::int64_t none = 0;
  g_firstTrafficTime.compare_exchange_strong(none, gf_utcNowSeconds());
  g_trafficReader.rememberCallsign(update->hexid, update->identity.callsign);
  // No callsign ("null", now empty) and callsigns with '@' are left out by the collection.
  g_trafficReader.collectCallsign(update->identity.callsign);
  gf_pushLiveUpdate(std::move(*update));
}

void lf_handleQnhDatagram(std::string_view text) {
  const auto object = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  const auto qnh = object.is_object() ? object.find("QNH") : object.end();
  if (qnh == object.end() || !qnh->is_number()) {
    lf_logMalformed(g_readerCounts.qnhMalformed, g_qnhMalformedLines, kQnhReaderName, "weather without a QNH", text);
    return;
  }
  double hpa = qnh->get<double>();
  if (hpa >= kLowestInHg100 && hpa <= kHighestInHg100) hpa = hpa / 100.0 * kHpaPerInHg;
  if (!std::isfinite(hpa) || hpa < kLowestQnh || hpa > kHighestQnh) {
    lf_logMalformed(g_readerCounts.qnhMalformed, g_qnhMalformedLines, kQnhReaderName, "weather with an impossible QNH",
                    text);
    return;
  }
  g_trafficReader.setQnh(hpa);
  const auto shown = static_cast<std::int32_t>(std::lround(hpa));
  if (g_qnhShown.exchange(shown) != shown) gf_invalidateHeader();
}

// The reading loop shared by both readers: one datagram at a time, until
// stopped; socket failures are passed on to the thread body.
template <typename OnDatagram>
void lf_readLoop(net::UdpSocket& socket, std::uint64_t generation, std::atomic<std::int32_t>& status,
                 std::atomic<std::uint64_t>& datagrams, std::atomic<std::uint64_t>& malformed,
                 BoundedLogLines& malformedLines, std::string_view reader, OnDatagram onDatagram) {
  std::vector<char> buffer(kMaxDatagramBytes);
  if (status.load() == kReaderStopped) status.store(kReaderNoNewData);
  while (!lf_stopped(generation)) {
    const auto datagram = socket.receive(buffer, kReaderReceiveStep);
    if (!datagram || lf_stopped(generation)) continue;
    status.store(kReaderReceiving);
    const std::string_view text(buffer.data(), datagram->size);
    if (datagram->truncated)
      lf_logMalformed(malformed, malformedLines, reader, fmt::format("datagram over {} bytes", kMaxDatagramBytes),
                      text);
    else
      onDatagram(text);
    // Counted once handled, so whoever waits for the count sees its effects.
    datagrams.fetch_add(1);
  }
}

// The thread body around a loop: opens the port, reads, and turns a failure
// into the run signal.
template <typename Run>
void lf_readerThread(std::string_view reader, std::atomic<std::int32_t>& status, std::uint16_t port,
                     std::uint64_t generation, Run run) {
  try {
    net::UdpSocket socket(port, net::BindAddress::Any);
    gf_logLine("{} listening on UDP port {}", reader, socket.port());
    run(socket, generation);
    status.store(kReaderStopped);
    gf_logLine("{} stopped", reader);
  } catch (const std::exception& e) {
    status.store(kReaderStopped);
    gf_readerStopped(reader, e.what());
  } catch (...) {
    status.store(kReaderStopped);
    gf_readerStopped(reader, "unknown error");
  }
}

}  // namespace

std::optional<LiveAcUpdate> processLineSub(std::string_view line) {
  // The fields, as views into the line; fields past the last one used are
  // never looked at.
  constexpr std::size_t kMaxFields = 27;
  std::array<std::string_view, kMaxFields> f{};
  std::size_t count = 0;
  while (count < kMaxFields) {
    const std::size_t comma = line.find(',');
    f[count++] = line.substr(0, comma);
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  const std::string_view format = lf_field(f[0]);
  const bool rttfc = format == "RTTFC";
  if (!rttfc && format != "AITFC") return std::nullopt;
  if (count < 15) return std::nullopt;

  LiveAcUpdate u;
  std::int64_t hexid = 0;
  double flag = 0.0;
  if (!gf_parseInt(lf_field(f[1]), hexid) || hexid < 1 || hexid > 0xFFFFFF) return std::nullopt;
  u.hexid = static_cast<std::uint32_t>(hexid);
  double track = 0.0;
  if (!lf_number(f[2], u.latitude) || !lf_number(f[3], u.longitude) || !lf_number(f[4], u.altitude) ||
      !lf_optionalNumber(f[5], u.verticalSpeed, 0.0) || !lf_number(f[6], flag) ||
      !lf_optionalNumber(f[7], track, 0.0) || !lf_optionalNumber(f[8], u.groundSpeed, 0.0) ||
      !lf_number(f[14], u.timestamp))
    return std::nullopt;
  if (std::fabs(u.latitude) > 90.0 || std::fabs(u.longitude) > 180.0 || u.timestamp <= 0.0) return std::nullopt;
  if (flag != 0.0 && flag != 1.0) return std::nullopt;
  // AITFC says "airborne", RTTFC says "on the ground".
  u.onGround = rttfc ? flag == 1.0 : flag == 0.0;
  u.identity.callsign = lf_textField(f[9]);
  u.identity.type = lf_textField(f[10]);
  u.identity.registration = lf_textField(f[11]);
  u.identity.origin = lf_textField(f[12]);
  u.identity.destination = lf_textField(f[13]);
  u.track = track * kDegToRad;
  double heading = track, roll = 0.0;
  if (rttfc) {
    if (count > 23 && !lf_optionalNumber(f[23], roll, 0.0)) return std::nullopt;
    if (count > 25 && !lf_optionalNumber(f[25], heading, track)) return std::nullopt;
  }
  u.heading = heading * kDegToRad;
  u.roll = roll * kDegToRad;
  return u;
}

void gf_resetReaderCounts() {
  for (auto* counter : {&g_readerCounts.trafficDatagrams, &g_readerCounts.accepted, &g_readerCounts.vehicles,
                        &g_readerCounts.repeats, &g_readerCounts.groundFar, &g_readerCounts.malformed,
                        &g_readerCounts.qnhDatagrams, &g_readerCounts.qnhMalformed})
    counter->store(0);
  g_trafficAtLastCheck.store(0);
  g_qnhAtLastCheck.store(0);
}

void gf_stopReaders() { g_generation.fetch_add(1); }

std::uint64_t gf_readerGeneration() { return g_generation.load(); }

void gf_runTrafficReader(net::UdpSocket& socket, std::uint64_t generation) {
  TrafficLineFilter filter;
  lf_readLoop(socket, generation, g_trafficReaderStatus, g_readerCounts.trafficDatagrams, g_readerCounts.malformed,
              g_trafficMalformedLines, kTrafficReaderName, [&](std::string_view text) {
                // One line per datagram as RealTraffic sends it; more are read one by one.
                while (!text.empty()) {
                  const std::size_t end = text.find('\n');
                  lf_handleTrafficLine(text.substr(0, end), filter);
                  if (end == std::string_view::npos) break;
                  text.remove_prefix(end + 1);
                }
              });
}

void gf_runQnhReader(net::UdpSocket& socket, std::uint64_t generation) {
  lf_readLoop(socket, generation, g_qnhReaderStatus, g_readerCounts.qnhDatagrams, g_readerCounts.qnhMalformed,
              g_qnhMalformedLines, kQnhReaderName, lf_handleQnhDatagram);
}

void gf_trafficReaderThread(std::uint16_t port, std::uint64_t generation) {
  lf_readerThread(kTrafficReaderName, g_trafficReaderStatus, port, generation, gf_runTrafficReader);
}

void gf_qnhReaderThread(std::uint16_t port, std::uint64_t generation) {
  lf_readerThread(kQnhReaderName, g_qnhReaderStatus, port, generation, gf_runQnhReader);
}

void gf_startQnhReader(std::uint16_t port) { std::thread(gf_qnhReaderThread, port, gf_readerGeneration()).detach(); }

void gf_startTrafficReader(std::uint16_t port) {
  std::thread(gf_trafficReaderThread, port, gf_readerGeneration()).detach();
}

void gf_checkReaderLiveness() {
  const auto check = [](std::atomic<std::int32_t>& status, const std::atomic<std::uint64_t>& count,
                        std::atomic<std::uint64_t>& atLastCheck) {
    const std::uint64_t now = count.load();
    const bool received = now != atLastCheck.exchange(now);
    if (status.load() == kReaderStopped) return;
    status.store(received ? kReaderReceiving : kReaderNoNewData);
  };
  check(g_trafficReaderStatus, g_readerCounts.trafficDatagrams, g_trafficAtLastCheck);
  check(g_qnhReaderStatus, g_readerCounts.qnhDatagrams, g_qnhAtLastCheck);
}
