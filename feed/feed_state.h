// What the traffic feed link tells the rest of the program: the readers'
// states, the shown QNH, the first traffic report and the RealTraffic text.
// Written by the feed's threads, read by the window's paint and the run.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Reader states as the window shows them.
enum ReaderStatus : std::int32_t {
  kReaderReceiving = 1,
  kReaderNoNewData = 2,
  kReaderStopped = 3,
};

// The live feed lamps: the readers are running.
extern std::atomic<bool> g_readersActive;
extern std::atomic<std::int32_t> g_trafficReaderStatus;
extern std::atomic<std::int32_t> g_qnhReaderStatus;
// The QNH shown in the window, hPa; 0 or less while none is known.
extern std::atomic<std::int32_t> g_qnhShown;
// The time (UTC seconds) of the first traffic report of the run; 0 until one arrives.
extern std::atomic<std::int64_t> g_firstTrafficTime;

// The text shown for RealTraffic in the header (its version and level),
// written whole by the feed, read as a copy.
std::string gf_realTrafficText();
void gf_setRealTrafficText(std::string text);

// The values every run starts from, and a lost link returns to: the
// readers' statuses and counts, the shown QNH, the traffic reader's callsign
// table, QNH and time of the first traffic (TrafficReader::reset).
void gf_resetFeedState();
