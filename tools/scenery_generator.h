// Generates a realistic add-on scenery tree for benchmarks: the simulator's
// Official and Community folders with BGL files of which most hold no airport
// (object and terrain sections of 1 KB to 256 KB) and about one in a hundred
// an airport with 100 to 500 stands (and the other sections airport files
// carry), in packages of several publishers, some known to the reference
// database, some named only in their manifest.json, some unknown.
#pragma once

#include <cstddef>
#include <filesystem>

struct SceneryShape {
  std::size_t files = 30000;
  std::size_t airports = 300;
  unsigned seed = 11;
};

struct SceneryTotals {
  std::size_t files = 0;
  std::size_t airports = 0;
  std::size_t stands = 0;
  std::size_t bytes = 0;
};

// Writes <root>/input/dbase.xml, <root>/input/airports_msfs.xml and the tree
// <root>/sim/Official and <root>/sim/Community.
SceneryTotals gf_generateSceneryTree(const std::filesystem::path& root, const SceneryShape& shape);
