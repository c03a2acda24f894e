// The two UDP readers of RealTraffic's broadcasts: the "Traffic Reader" turns
// traffic lines (port 49005) into live-aircraft updates, the "QNH Reader"
// takes the QNH from the weather objects (port 49004).
//
// Each reader runs on a detached thread of its own, receives with a short
// time-out and looks at its stop request between receives, so a stop ends it
// within one time-out. A reader whose socket fails calls gf_readerStopped and
// ends; a bad datagram is skipped, counted and never ends a reader.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "feed/live_updates.h"
#include "platform/net/udp.h"

inline constexpr std::uint16_t kTrafficPort = 49005;
inline constexpr std::uint16_t kQnhPort = 49004;
// The largest datagram taken, as large as UDP carries; a longer one is
// dropped as malformed (a traffic line is a few hundred bytes, a weather
// object a kilobyte or more).
inline constexpr std::size_t kMaxDatagramBytes = 65536;
// How often a reader looks at its stop request while nothing arrives.
inline constexpr std::chrono::milliseconds kReaderReceiveStep{100};
// On-ground reports are kept only this close to the park airport.
inline constexpr double kGroundReportRadiusNm = 5.0;

// The fields of one "AITFC" or "RTTFC" traffic line, nothing else decided:
// nothing for another format, a missing or bad number, a position outside
// the globe or a hexid that is no 24-bit address. Never reads past the line.
std::optional<LiveAcUpdate> processLineSub(std::string_view line);

// What the readers counted in this run (reset with the feed state).
struct ReaderCounts {
  std::atomic<std::uint64_t> trafficDatagrams{0};
  std::atomic<std::uint64_t> accepted{0};      // lines that passed every filter
  std::atomic<std::uint64_t> vehicles{0};      // " VEH" lines dropped
  std::atomic<std::uint64_t> repeats{0};       // exact repeats dropped
  std::atomic<std::uint64_t> groundFar{0};     // on-ground reports away from the park airport
  std::atomic<std::uint64_t> malformed{0};     // traffic lines or datagrams that could not be read
  std::atomic<std::uint64_t> qnhDatagrams{0};
  std::atomic<std::uint64_t> qnhMalformed{0};  // weather datagrams without a usable QNH
};
extern ReaderCounts g_readerCounts;
void gf_resetReaderCounts();

// The readers' stop request: a reader started before the call ends within
// kReaderReceiveStep; readers started afterwards are not affected.
void gf_stopReaders();
// The generation a reader started now belongs to.
std::uint64_t gf_readerGeneration();

// Start a reader on a detached thread (the run body starts the QNH Reader,
// and the Traffic Reader 2 s later).
void gf_startQnhReader(std::uint16_t port = kQnhPort);
void gf_startTrafficReader(std::uint16_t port = kTrafficPort);

// The thread bodies: open the port on every interface (RealTraffic on
// another PC broadcasts to the network) and read until stopped.
void gf_trafficReaderThread(std::uint16_t port, std::uint64_t generation);
void gf_qnhReaderThread(std::uint16_t port, std::uint64_t generation);
// The reading loops on an open socket (the thread bodies and tests).
void gf_runTrafficReader(net::UdpSocket& socket, std::uint64_t generation);
void gf_runQnhReader(net::UdpSocket& socket, std::uint64_t generation);

// The liveness check of the main loop (every 59 s): a reader that received
// since the last check is "receiving", one that did not "no new data"; a
// stopped reader stays stopped.
void gf_checkReaderLiveness();
