// Generates a realistic installed-AI tree for benchmarks: packages of
// aircraft.cfg files with 1 to 60 liveries each, in mixed character sets, and
// a reference database with many registrations.
#pragma once

#include <cstddef>
#include <filesystem>

struct AiTreeShape {
  std::size_t files = 20000;
  std::size_t registrations = 100000;
  unsigned seed = 7;
};

// Writes <root>/input/dbase.xml and <root>/liveries/<package>/.../aircraft.cfg.
// Returns the number of liveries written.
std::size_t gf_generateAiTree(const std::filesystem::path& root, const AiTreeShape& shape);
