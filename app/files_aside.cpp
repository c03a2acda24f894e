// Copies of a user's file kept aside ("<file><suffix>", "<file><suffix>2",
// ...): finding a free name, and finding a copy that holds given bytes.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include <fmt/format.h>

#include "app/files.h"

namespace {
constexpr int kAsideNames = 999;

// The n-th name of a copy kept aside (1: "<file><suffix>", then "<file><suffix>n").
fs::path lf_asideName(const fs::path& file, std::string_view suffix, int n) {
  fs::path candidate = file;
  candidate += n == 1 ? std::string(suffix) : fmt::format("{}{}", suffix, n);
  return candidate;
}
}  // namespace

fs::path gf_freeAsidePath(const fs::path& file, std::string_view suffix) {
  // The oldest copy so far, in case every name is taken.
  fs::path oldest;
  fs::file_time_type oldestTime = fs::file_time_type::max();
  for (int n = 1; n <= kAsideNames; ++n) {
    const fs::path candidate = lf_asideName(file, suffix, n);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(candidate, ec);
    if (status.type() == fs::file_type::not_found) return candidate;
    if (status.type() != fs::file_type::regular) continue;  // not a copy of ours: never replaced
    const fs::file_time_type written = fs::last_write_time(candidate, ec);
    if (!ec && (oldest.empty() || written < oldestTime)) {
      oldest = candidate;
      oldestTime = written;
    }
  }
  return oldest;
}

bool gf_sameFileBytes(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (!fs::is_regular_file(a, ec) || !fs::is_regular_file(b, ec)) return false;
  const std::uintmax_t size = fs::file_size(a, ec);
  if (ec || fs::file_size(b, ec) != size || ec) return false;
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  constexpr std::size_t kBlock = std::size_t{1} << 16;
  std::vector<char> one(kBlock);
  std::vector<char> two(kBlock);
  for (std::uintmax_t left = size; left > 0;) {
    const auto count = static_cast<std::streamsize>(std::min<std::uintmax_t>(left, kBlock));
    if (!first.read(one.data(), count) || !second.read(two.data(), count)) return false;
    if (std::memcmp(one.data(), two.data(), static_cast<std::size_t>(count)) != 0) return false;
    left -= static_cast<std::uintmax_t>(count);
  }
  return true;
}

namespace {
// The first of the copy names whose file has `size` bytes and passes `same`.
// Copies take the names in order (gf_freeAsidePath), so the search ends at
// the first name that is free instead of looking at all of them.
template <typename Same>
fs::path lf_findAsideCopy(const fs::path& file, std::string_view suffix, std::uintmax_t size, Same same) {
  for (int n = 1; n <= kAsideNames; ++n) {
    const fs::path candidate = lf_asideName(file, suffix, n);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(candidate, ec);
    if (status.type() == fs::file_type::not_found) break;
    if (status.type() != fs::file_type::regular || fs::file_size(candidate, ec) != size || ec) continue;
    if (same(candidate)) return candidate;
  }
  return {};
}
}  // namespace

fs::path gf_asideCopyHolding(const fs::path& file, std::string_view suffix, std::string_view content) {
  return lf_findAsideCopy(file, suffix, content.size(), [&](const fs::path& candidate) {
    std::string held;
    return gf_readUserFile(candidate, content.size(), held) && held == content;
  });
}

fs::path gf_asideCopyOf(const fs::path& file, std::string_view suffix) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) return {};
  return lf_findAsideCopy(file, suffix, size,
                          [&](const fs::path& candidate) { return gf_sameFileBytes(file, candidate); });
}
