#include "aircraftdata/regcode_table.h"

#include <algorithm>
#include <stdexcept>

#include "app/hash.h"
#include "app/prefetch.h"

namespace {

std::uint64_t lf_hashOf(std::string_view text) {
  return gf_fnv1a64(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::uint32_t lf_checkOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

}  // namespace

std::size_t RegcodeTable::slotOf(std::string_view registration, std::uint64_t hash) const {
  const std::size_t mask = m_slots.size() - 1;
  const std::uint32_t check = lf_checkOf(hash);
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = m_slots[at];
    if (slot.entry == 0) return at;
    if (slot.check == check && m_entries[slot.entry - 1].first == registration) return at;
  }
}

const std::string_view* RegcodeTable::find(std::string_view registration) const {
  if (m_entries.empty()) return nullptr;
  const Slot& slot = m_slots[slotOf(registration, lf_hashOf(registration))];
  return slot.entry == 0 ? nullptr : &m_entries[slot.entry - 1].second;
}

void RegcodeTable::prefetch(std::string_view registration) const {
  if (!m_slots.empty()) gf_prefetch(&m_slots[lf_hashOf(registration) & (m_slots.size() - 1)]);
}

std::string_view RegcodeTable::at(std::string_view registration) const {
  const std::string_view* title = find(registration);
  if (title == nullptr) throw std::out_of_range("registration not bound");
  return *title;
}

std::string_view RegcodeTable::tryBind(std::string_view registration, std::string_view title) {
  if ((m_entries.size() + 1) * 5 > m_slots.size() * 3) grow();
  const std::uint64_t hash = lf_hashOf(registration);
  Slot& slot = m_slots[slotOf(registration, hash)];
  if (slot.entry != 0) return m_entries[slot.entry - 1].second;
  m_entries.emplace_back(registration, title);
  slot = Slot{lf_checkOf(hash), static_cast<std::uint32_t>(m_entries.size())};
  return title;
}

void RegcodeTable::bind(std::string_view registration, std::string_view title) {
  if (!m_entries.empty()) {
    const Slot& slot = m_slots[slotOf(registration, lf_hashOf(registration))];
    if (slot.entry != 0) {
      m_entries[slot.entry - 1].second = title;
      return;
    }
  }
  tryBind(m_ownText.emplace_back(registration), title);
}

void RegcodeTable::reserve(std::size_t count) {
  // At most 0.6 of the slots in use: few probes, and a table small enough
  // to stay in the processor's cache as long as possible.
  std::size_t slots = 16;
  while (slots * 3 < count * 5) slots *= 2;
  m_entries.reserve(count);
  if (slots <= m_slots.size()) return;
  m_slots.assign(slots, Slot{});
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    const std::uint64_t hash = lf_hashOf(m_entries[i].first);
    m_slots[slotOf(m_entries[i].first, hash)] = Slot{lf_checkOf(hash), static_cast<std::uint32_t>(i + 1)};
  }
}

void RegcodeTable::grow() { reserve(std::max<std::size_t>(8, m_entries.size() * 2)); }

void RegcodeTable::clear() {
  m_entries.clear();
  m_slots.clear();
  m_ownText.clear();
}
