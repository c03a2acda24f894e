// One installed livery found by the livery scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "app/prefetch.h"

struct LiveryData {
  std::string airline;       // ICAO airline code, "PVT" (private) or "ZZZ" (generic)
  std::string type;          // ICAO aircraft type code
  std::string title;         // the livery title as the simulator knows it
  std::string registration;  // from the package's atc_id; empty when none
  std::uint32_t folderRank = 0;  // 1..10 in a scan (read by the scan only); 0 when read from LiveriesScanned.xml
  bool cargo = false;
  // Whether the registration database corrects this livery (its cargo flag,
  // airline or type): Unknown until the scan's parse workers look it up, so
  // that the corrections, which go through the list in scan order on one
  // thread, look up only the liveries marked Needed.
  enum class DbaseFix : std::uint8_t { Unknown, None, Needed };
  DbaseFix dbaseFix = DbaseFix::Unknown;

  // Equal when title, airline, type, registration and cargo are; the rank and
  // the correction mark do not count.
  bool operator==(const LiveryData& other) const {
    return title == other.title && airline == other.airline && type == other.type &&
           registration == other.registration && cargo == other.cargo;
  }
};

// The scan order: airline, then type, then title, byte by byte (std::string
// compares as unsigned characters, a prefix first).
inline bool gf_liveryLess(const LiveryData& a, const LiveryData& b) {
  if (int c = a.airline.compare(b.airline); c != 0) return c < 0;
  if (int c = a.type.compare(b.type); c != 0) return c < 0;
  return a.title.compare(b.title) < 0;
}

using LiveryList = std::vector<LiveryData>;

// Where a record of a ScannedLiveryList is: its part and its index there.
struct LiveryRef {
  std::uint32_t part = 0;
  std::uint32_t index = 0;
  bool operator==(const LiveryRef&) const = default;
};

// Liveries kept in the lists they were made in (one part per parsed
// aircraft.cfg, or a single part for a list read or given whole), put in
// order by a list of references. The scan merges, sorts, filters and corrects
// hundreds of thousands of liveries by moving 8-byte references instead of
// the records, and a record never moves once made: the livery tables keep
// pointers to the records of the list they own.
class ScannedLiveryList {
 public:
  template <bool Const>
  class Iterator {
   public:
    using List = std::conditional_t<Const, const ScannedLiveryList, ScannedLiveryList>;
    using value_type = LiveryData;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<Const, const LiveryData&, LiveryData&>;
    using pointer = std::conditional_t<Const, const LiveryData*, LiveryData*>;
    using iterator_category = std::forward_iterator_tag;
    Iterator() = default;
    Iterator(List* list, std::size_t at) : m_list(list), m_at(at) {}
    reference operator*() const { return (*m_list)[m_at]; }
    pointer operator->() const { return &(*m_list)[m_at]; }
    Iterator& operator++() {
      ++m_at;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++m_at;
      return before;
    }
    bool operator==(const Iterator& other) const { return m_at == other.m_at; }

   private:
    List* m_list = nullptr;
    std::size_t m_at = 0;
  };

  ScannedLiveryList() = default;
  ScannedLiveryList(LiveryList list) { assign(std::move(list)); }  // NOLINT: a list stands for itself
  ScannedLiveryList& operator=(LiveryList list) {
    assign(std::move(list));
    return *this;
  }
  ScannedLiveryList(ScannedLiveryList&&) = default;
  ScannedLiveryList& operator=(ScannedLiveryList&&) = default;
  ScannedLiveryList(const ScannedLiveryList&) = delete;
  ScannedLiveryList& operator=(const ScannedLiveryList&) = delete;

  // Replaces everything by one part, in the list's order.
  void assign(LiveryList list) {
    clear();
    m_order.reserve(list.size());
    for (std::uint32_t i = 0; i < list.size(); ++i) m_order.push_back(LiveryRef{0, i});
    m_parts.push_back(std::move(list));
  }
  // Adds a part whose records are not yet in the order; returns its number.
  std::uint32_t addPart(LiveryList&& part) {
    m_parts.push_back(std::move(part));
    return static_cast<std::uint32_t>(m_parts.size() - 1);
  }
  void reserveParts(std::size_t parts) { m_parts.reserve(parts); }
  LiveryList& part(std::uint32_t k) { return m_parts[k]; }
  std::size_t partCount() const { return m_parts.size(); }

  // The order: every record that belongs to the list, once.
  std::vector<LiveryRef>& order() { return m_order; }
  const std::vector<LiveryRef>& order() const { return m_order; }
  LiveryData& at(LiveryRef ref) { return m_parts[ref.part][ref.index]; }
  const LiveryData& at(LiveryRef ref) const { return m_parts[ref.part][ref.index]; }

  // Fetches record i of the order (when there is one) into the cache ahead
  // of its use.
  void prefetch(std::size_t i) const {
    if (i < m_order.size()) gf_prefetchObject(&at(m_order[i]), sizeof(LiveryData));
  }

  std::size_t size() const { return m_order.size(); }
  bool empty() const { return m_order.empty(); }
  LiveryData& operator[](std::size_t i) { return at(m_order[i]); }
  const LiveryData& operator[](std::size_t i) const { return at(m_order[i]); }
  Iterator<false> begin() { return {this, 0}; }
  Iterator<false> end() { return {this, m_order.size()}; }
  Iterator<true> begin() const { return {this, 0}; }
  Iterator<true> end() const { return {this, m_order.size()}; }

  // Empties the list and gives its memory back.
  void clear() {
    std::vector<LiveryList>().swap(m_parts);
    std::vector<LiveryRef>().swap(m_order);
  }

 private:
  std::vector<LiveryList> m_parts;
  std::vector<LiveryRef> m_order;
};
