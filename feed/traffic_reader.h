// The traffic reader's state that the rest of the program shares with it:
// the callsigns collected for the static parking, the park airport's position
// for its ground filter, its callsign table, its QNH, and the reference
// ground elevation.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "app/geo.h"
#include "app/hash.h"

// A hashed set of callsigns.
using CallsignSet = std::unordered_set<std::string, Fnv1aHash, std::equal_to<>>;

class TrafficReader {
 public:
  // The QNH the reader starts with and returns to on a reset, hPa.
  static constexpr double kStandardQnhHpa = 1013.0;

  TrafficReader() = default;
  TrafficReader(const TrafficReader&) = delete;
  TrafficReader& operator=(const TrafficReader&) = delete;

  // --- Callsign collection for the static parking ---
  // The parking empties the set and starts the collection before a
  // calculation; while it runs, the reader adds the callsign of every traffic
  // line it accepts; when the calculation starts, the parking stops the
  // collection and takes the set. The reader's thread and the traffic thread
  // meet only here; every call is thread-safe.

  // Empties the collected set and sets the collection flag.
  void startCallsignCollection();
  bool isCollectingCallsigns() const noexcept { return m_collecting.load(); }
  // Called for each accepted traffic line: while collecting, adds the
  // callsign, except an empty one, "null" (the feed's "no callsign") and one
  // containing '@'.
  void collectCallsign(std::string_view callsign);
  // Clears the collection flag first, then hands over the collected set and
  // leaves it empty. Nothing is added after this returns until the next start.
  CallsignSet takeCollectedCallsigns();

  // --- The park airport's position, for the 5 nm ground filter ---
  void setParkAirportPosition(const LatLon& position);
  // The park airport was unloaded.
  void clearParkAirportPosition();
  // Nothing while no park airport is set.
  std::optional<LatLon> parkAirportPosition() const;

  // --- Callsign table: the last callsign heard per hexid ---
  void rememberCallsign(std::uint32_t hexid, std::string_view callsign);
  std::optional<std::string> callsignOf(std::uint32_t hexid) const;
  std::size_t callsignTableSize() const;

  // --- QNH, hPa; non-finite or non-positive values are not taken ---
  double qnh() const noexcept { return m_qnhHpa.load(); }
  void setQnh(double hpa) noexcept;

  // After a lost link and at the start of a run: the callsign table emptied,
  // the QNH back to 1013 hPa, the time of the first traffic (g_firstTrafficTime)
  // back to 0. The collection and the park airport's position stay.
  void reset();

 private:
  // Leaf lock: guards m_collected; held only to insert, clear or move it.
  std::mutex m_collectMutex;
  std::atomic<bool> m_collecting{false};
  CallsignSet m_collected;

  // Leaf lock: guards the park airport's position.
  mutable std::mutex m_parkMutex;
  std::optional<LatLon> m_parkAirport;

  // Leaf lock: guards the callsign table.
  mutable std::mutex m_tableMutex;
  std::unordered_map<std::uint32_t, std::string, Fnv1aHash> m_callsigns;

  std::atomic<double> m_qnhHpa{kStandardQnhHpa};
};

// The process-wide traffic reader state: the reader thread of each run and
// the static parking use this one object.
extern TrafficReader g_trafficReader;

// A ground elevation in feet and whether it is valid, set and read together.
struct ElevationReading {
  double feet = 0.0;
  bool valid = false;
};

// The feed's reference ground elevation: the park airport's elevation, valid
// while a park airport is set. Thread-safe.
class ReferenceElevation {
 public:
  // A non-finite elevation is stored as not valid.
  void set(double feet, bool valid);
  void clear() { set(0.0, false); }
  ElevationReading get() const;

 private:
  mutable std::mutex m_mutex;  // leaf lock
  ElevationReading m_value;
};

extern ReferenceElevation g_referenceElevation;
