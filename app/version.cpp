#include "app/version.h"

#include <charconv>

#include <fmt/format.h>

std::optional<VersionData> VersionData::parse(std::string_view text) {
  VersionData v;
  int* parts[3] = {&v.major, &v.minor, &v.patch};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    if (p == end || *p < '0' || *p > '9') return std::nullopt;
    auto [next, ec] = std::from_chars(p, end, *parts[i]);
    if (ec != std::errc()) return std::nullopt;
    p = next;
    if (i < 2) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
  }
  if (p != end) return std::nullopt;
  return v;
}

std::string VersionData::text() const { return fmt::format("{}.{}.{}", major, minor, patch); }

const VersionData& gf_programVersion() {
  static const VersionData version{SKYLOOM_VERSION_MAJOR, SKYLOOM_VERSION_MINOR, SKYLOOM_VERSION_PATCH};
  return version;
}
