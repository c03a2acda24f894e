#include "feed/traffic_reader.h"

#include <cmath>
#include <utility>

#include "feed/feed_state.h"

TrafficReader g_trafficReader;
ReferenceElevation g_referenceElevation;

void TrafficReader::startCallsignCollection() {
  std::lock_guard lock(m_collectMutex);
  m_collected.clear();
  m_collecting.store(true);
}

void TrafficReader::collectCallsign(std::string_view callsign) {
  // The cheap test first: most lines arrive while nothing is collected.
  if (!m_collecting.load()) return;
  if (callsign.empty() || callsign == "null" || callsign.find('@') != std::string_view::npos) return;
  std::lock_guard lock(m_collectMutex);
  // Looked at again under the lock: a take-over may have come between the
  // first test and the lock, and nothing may be added after it.
  if (!m_collecting.load()) return;
  m_collected.emplace(callsign);
}

CallsignSet TrafficReader::takeCollectedCallsigns() {
  std::lock_guard lock(m_collectMutex);
  m_collecting.store(false);
  CallsignSet taken = std::move(m_collected);
  m_collected.clear();  // a moved-from set is valid but unspecified
  return taken;
}

void TrafficReader::setParkAirportPosition(const LatLon& position) {
  std::lock_guard lock(m_parkMutex);
  if (std::isfinite(position.latitude) && std::isfinite(position.longitude))
    m_parkAirport = position;
  else
    m_parkAirport.reset();
}

void TrafficReader::clearParkAirportPosition() {
  std::lock_guard lock(m_parkMutex);
  m_parkAirport.reset();
}

std::optional<LatLon> TrafficReader::parkAirportPosition() const {
  std::lock_guard lock(m_parkMutex);
  return m_parkAirport;
}

void TrafficReader::rememberCallsign(std::uint32_t hexid, std::string_view callsign) {
  std::lock_guard lock(m_tableMutex);
  m_callsigns.insert_or_assign(hexid, std::string(callsign));
}

std::optional<std::string> TrafficReader::callsignOf(std::uint32_t hexid) const {
  std::lock_guard lock(m_tableMutex);
  const auto found = m_callsigns.find(hexid);
  if (found == m_callsigns.end()) return std::nullopt;
  return found->second;
}

std::size_t TrafficReader::callsignTableSize() const {
  std::lock_guard lock(m_tableMutex);
  return m_callsigns.size();
}

void TrafficReader::setQnh(double hpa) noexcept {
  if (std::isfinite(hpa) && hpa > 0.0) m_qnhHpa.store(hpa);
}

void TrafficReader::reset() {
  {
    std::lock_guard lock(m_tableMutex);
    m_callsigns.clear();
  }
  m_qnhHpa.store(kStandardQnhHpa);
  g_firstTrafficTime.store(0);
}

void ReferenceElevation::set(double feet, bool valid) {
  std::lock_guard lock(m_mutex);
  if (std::isfinite(feet)) {
    m_value = {feet, valid};
  } else {
    m_value = {0.0, false};
  }
}

ElevationReading ReferenceElevation::get() const {
  std::lock_guard lock(m_mutex);
  return m_value;
}
