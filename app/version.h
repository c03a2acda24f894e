// Program identity and version numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kProgramName = "Skyloom";
inline constexpr std::string_view kProgramAbbreviation = "SKL";  // the user agent of downloads
inline constexpr std::string_view kCopyrightLine = "Copyright (c) 2026 the Skyloom developers";
inline constexpr std::string_view kSimulatorsText = "MSFS 2020/2024";

// A version {major, minor, patch}, parsed from "1.2.3" and printed the same way.
struct VersionData {
  int major = 0;
  int minor = 0;
  int patch = 0;

  // Three dot-separated non-negative numbers, nothing else; std::nullopt otherwise.
  static std::optional<VersionData> parse(std::string_view text);
  std::string text() const;  // "{}.{}.{}"
  auto operator<=>(const VersionData&) const = default;
};

// The version of this program.
const VersionData& gf_programVersion();
