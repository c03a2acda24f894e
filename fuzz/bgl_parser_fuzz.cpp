// Fuzz target of the BGL airport reader.
//
// The first byte chooses the way in, the rest is the file:
//   0  the bytes straight into the reader in MSFS 2020 mode,
//   1  the same in MSFS 2024 mode,
//   2  a file on disk for the quick airport-section test, then the reader.
// Besides the sanitizers it checks what must hold for any input: every
// airport has a valid ICAO code and an elevation within its limits, and every
// stand a unique name, a valid position, a finite heading and a radius within
// the limits of its kind.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "scan/bgl_reader.h"

namespace fs = std::filesystem;

namespace {

void lf_check(bool condition) {
  if (!condition) std::abort();
}

// The scratch file, in a private folder removed at exit. The path is never
// destroyed, so the exit handler can still use it.
const fs::path& lf_file() {
  static const fs::path* file = [] {
    std::random_device rd;
    const fs::path folder = fs::temp_directory_path() / fmt::format("skyloom-bgl-fuzz-{:08x}{:08x}", rd(), rd());
    fs::create_directories(folder);
    auto* path = new fs::path(folder / "a.bgl");
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(lf_file().parent_path(), ec);
    });
    return path;
  }();
  return *file;
}

void lf_checkContent(const BglContent& content) {
  for (const BglAirport& airport : content.airports) {
    lf_check(airport.icao.size() == 4 && airport.icao.find(' ') == std::string::npos);
    lf_check(airport.altitude >= -20 && airport.altitude <= 10000);
    lf_check(airport.helipadCounter >= 1);
    std::set<std::string> names;
    for (const Stand& stand : airport.stands) {
      lf_check(!stand.name.empty() && names.insert(stand.name).second);
      lf_check(stand.latitude >= -90.0 && stand.latitude <= 90.0);
      lf_check(stand.longitude >= -180.0 && stand.longitude <= 180.0);
      lf_check(std::isfinite(stand.heading) && std::isfinite(stand.radius));
      if (stand.heli == 0) lf_check(stand.radius * 1852.0 > 0.99 && stand.radius * 1852.0 < 200.1);
      lf_check(stand.nameAltered == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mode = data[0] % 3;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  static const AirportNameTable names{{"EGLL", "Heathrow"}};
  if (mode == 2) {
    std::ofstream(lf_file(), std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (lf_hasAirportSection(lf_file())) lf_checkContent(gf_readBglAirports(bytes, true, lf_file().string(), names));
    return 0;
  }
  lf_checkContent(gf_readBglAirports(bytes, mode == 0, "fuzz.bgl", names));
  return 0;
}
