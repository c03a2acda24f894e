// Registration -> title of the installed livery that shows that aircraft:
// one entry per bound registration, found through an open-addressing index
// of 8-byte slots. Hundreds of thousands of registrations are bound at every
// start-up; a node per entry in a standard hashed table made that the
// slowest step of the livery hand-over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class RegcodeTable {
 public:
  using value_type = std::pair<std::string_view, std::string_view>;  // registration, title
  using const_iterator = std::vector<value_type>::const_iterator;

  // The title bound to the registration; nullptr when none is.
  const std::string_view* find(std::string_view registration) const;
  bool contains(std::string_view registration) const { return find(registration) != nullptr; }
  // The title bound to the registration; throws std::out_of_range when none is.
  std::string_view at(std::string_view registration) const;

  // Binds the registration to the title when it is not bound yet, and
  // returns the title bound to it now. The registration's text is not copied:
  // it must stay where it is as long as the table holds it (the records of
  // the installed liveries do).
  std::string_view tryBind(std::string_view registration, std::string_view title);
  // Binds the registration to the title, replacing what was bound. The table
  // keeps its own copy of the registration's text.
  void bind(std::string_view registration, std::string_view title);

  // Fetches the slot where the registration is looked for into the cache
  // ahead of a look-up.
  void prefetch(std::string_view registration) const;

  void reserve(std::size_t count);
  void clear();
  std::size_t size() const { return m_entries.size(); }
  bool empty() const { return m_entries.empty(); }
  // The entries in the order they were first bound.
  const_iterator begin() const { return m_entries.begin(); }
  const_iterator end() const { return m_entries.end(); }

 private:
  struct Slot {
    std::uint32_t check = 0;  // the upper half of the registration's hash
    std::uint32_t entry = 0;  // the entry's index + 1; 0 for a free slot
  };
  // The slot that holds the registration, or the free slot where it goes.
  std::size_t slotOf(std::string_view registration, std::uint64_t hash) const;
  void grow();

  std::vector<value_type> m_entries;
  std::vector<Slot> m_slots;  // a power of two, at most 0.6 of them used
  std::deque<std::string> m_ownText;  // the texts of bind(); a deque keeps them in place
};
