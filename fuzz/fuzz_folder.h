// The private working folder of a fuzz target: made once under the temporary
// folder, made the current directory (the readers use paths relative to it),
// with its own AppData; removed when the process ends normally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <fmt/format.h>

namespace fuzzsupport {

inline const std::filesystem::path& workFolder(const char* target) {
  static const std::filesystem::path folder = [target] {
    namespace fs = std::filesystem;
    std::random_device rd;
    const fs::path root = fs::temp_directory_path() / fmt::format("skyloom-{}-{:08x}{:08x}", target, rd(), rd());
    fs::create_directories(root / "appdata");
    fs::create_directories(root / "input");
    fs::create_directories(root / "airports");
    fs::current_path(root);
    ::setenv("APPDATA", (root / "appdata").c_str(), 1);
    ::setenv("LOCALAPPDATA", (root / "appdata").c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      fs::current_path(fs::temp_directory_path(), ec);
      fs::remove_all(workFolder(nullptr), ec);
    });
    return root;
  }();
  return folder;
}

inline void writeBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Ends the run (a finding) when a property that must hold for any input fails.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// Whether the checks that cost more than the reader itself run for this
// input: for about one input in `every`, chosen by the input's bytes, so that
// an input found once gives the same run again.
inline bool sampled(const std::uint8_t* data, std::size_t size, std::uint32_t every) {
  std::uint32_t hash = 2166136261U ^ static_cast<std::uint32_t>(size);
  for (std::size_t i = 0; i < size && i < 64; ++i) hash = (hash ^ data[i]) * 16777619U;
  return hash % every == 0;
}

}  // namespace fuzzsupport
