#include "app/hash.h"

#include <algorithm>
#include <utility>

void gf_sortByHash(std::vector<HashedIndex>& entries) {
  if (entries.size() < 2) return;
  std::vector<HashedIndex> other(entries.size());
  std::vector<std::size_t> count(std::size_t{1} << 16);
  for (int shift = 0; shift < 64; shift += 16) {
    std::fill(count.begin(), count.end(), 0);
    for (const HashedIndex& entry : entries) ++count[(entry.hash >> shift) & 0xFFFF];
    std::size_t sum = 0;
    for (std::size_t& c : count) sum += std::exchange(c, sum);
    for (const HashedIndex& entry : entries) other[count[(entry.hash >> shift) & 0xFFFF]++] = entry;
    entries.swap(other);
  }
}
