// The process's resident memory as Linux reports it, for the benches'
// memory figures.
#pragma once

#include <cstddef>
#include <fstream>
#include <string>

namespace benchsupport {

// A value in KiB of /proc/self/status, such as "VmRSS" (now) or "VmHWM"
// (the peak); 0 when it is not there.
inline std::size_t statusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(key) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.rfind(prefix, 0) == 0) return std::stoul(line.substr(prefix.size()));
  return 0;
}

// Resets the peak resident size to the current one.
inline void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The peak resident size since the last reset, in MiB.
inline double peakMemoryMiB() { return static_cast<double>(statusKiB("VmHWM")) / 1024.0; }

}  // namespace benchsupport
