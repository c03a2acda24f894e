#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "app/hash.h"

namespace {

// The radix sort gives what a stable sort by hash gives: every 16-bit digit
// counts, and equal hashes keep their places in order.
TEST(HashTest, SortByHashIsAStableSortByTheWholeHash) {
  std::mt19937_64 random(5);
  std::vector<HashedIndex> entries;
  for (std::uint32_t i = 0; i < 20000; ++i) {
    const std::uint64_t hash = random() & 0xFFFF00000000FFFFULL;  // ties in the middle digits
    entries.push_back(HashedIndex{i % 7 == 0 ? 42 : hash, i});
  }
  std::vector<HashedIndex> expected = entries;
  std::stable_sort(expected.begin(), expected.end(),
                   [](const HashedIndex& a, const HashedIndex& b) { return a.hash < b.hash; });
  gf_sortByHash(entries);
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    ASSERT_EQ(entries[k].hash, expected[k].hash) << k;
    ASSERT_EQ(entries[k].index, expected[k].index) << k;
  }
}

}  // namespace
