// 64-bit FNV-1a, the hash of the program's hashed tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::uint64_t kFnv1aOffsetBasis = 0xcbf29ce484222325ULL;
inline constexpr std::uint64_t kFnv1aPrime = 0x100000001b3ULL;

// FNV-1a over a run of bytes; `hash` continues an earlier hash over bytes
// that came before.
constexpr std::uint64_t gf_fnv1a64(const unsigned char* bytes, std::size_t count,
                                   std::uint64_t hash = kFnv1aOffsetBasis) noexcept {
  for (std::size_t i = 0; i < count; ++i) {
    hash ^= bytes[i];
    hash *= kFnv1aPrime;
  }
  return hash;
}

// The hash functor of the hashed tables: texts are hashed over their bytes,
// 32-bit keys (hexids) over their four bytes, low byte first, so the result
// does not depend on the machine's byte order.
struct Fnv1aHash {
  using is_transparent = void;

  std::size_t operator()(std::string_view text) const noexcept {
    return static_cast<std::size_t>(gf_fnv1a64(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
  }
  std::size_t operator()(const std::string& text) const noexcept {
    return (*this)(std::string_view(text));
  }
  std::size_t operator()(const char* text) const noexcept {
    return (*this)(std::string_view(text));
  }
  std::size_t operator()(std::uint32_t key) const noexcept {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(key & 0xFFu), static_cast<unsigned char>((key >> 8) & 0xFFu),
        static_cast<unsigned char>((key >> 16) & 0xFFu), static_cast<unsigned char>((key >> 24) & 0xFFu)};
    return static_cast<std::size_t>(gf_fnv1a64(bytes, 4));
  }
};

// A hash with the place of what was hashed.
struct HashedIndex {
  std::uint64_t hash;
  std::uint32_t index;
};

// Sorts by hash, keeping the order of entries with equal hashes: entries
// made in place order come out by hash, then place. A radix sort (four
// passes of 16 bits): hundreds of thousands of titles are sorted this way.
void gf_sortByHash(std::vector<HashedIndex>& entries);

// In entries sorted by gf_sortByHash, finds the places that hold equal
// texts: calls repeats(places) once for every text held at two places or
// more, with its places in order (a std::vector<std::uint32_t>). same(a, b)
// says whether places a and b hold equal texts: equal hashes do not prove it.
template <typename Same, typename Repeats>
void gf_forEachRepeat(const std::vector<HashedIndex>& sorted, const Same& same, const Repeats& repeats) {
  std::vector<std::uint32_t> places;
  std::vector<bool> placed;
  for (std::size_t begin = 0; begin < sorted.size();) {
    std::size_t end = begin + 1;
    while (end < sorted.size() && sorted[end].hash == sorted[begin].hash) ++end;
    if (end - begin > 1) {
      placed.assign(end - begin, false);
      for (std::size_t k = begin; k < end; ++k) {
        if (placed[k - begin]) continue;
        places.assign(1, sorted[k].index);
        for (std::size_t j = k + 1; j < end; ++j) {
          if (placed[j - begin] || !same(sorted[k].index, sorted[j].index)) continue;
          placed[j - begin] = true;
          places.push_back(sorted[j].index);
        }
        if (places.size() > 1) repeats(places);
      }
    }
    begin = end;
  }
}
