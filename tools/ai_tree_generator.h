// Generates an installed-AI tree for benchmarks: packages of aircraft.cfg
// files with 1 to 60 liveries each, in mixed character sets, and a reference
// database with many registrations.
#pragma once

#include <cstddef>
#include <filesystem>

struct AiTreeShape {
  std::size_t files = 20000;
  std::size_t registrations = 100000;
  unsigned seed = 7;
  // false (the default): the shape of a real installation. Most liveries
  // carry a registration that the database knows with the same type and
  // airline, each aircraft's own (a registration repeats only when the
  // database has too few for an airline and type), a few per cent need a
  // correction from it (another type or operator), about one title in a
  // thousand is given by a second package.
  // true: the stress shape. Every livery's registration is known with
  // another type, so nearly every livery is corrected, and no title repeats.
  bool stress = false;
};

// Writes <root>/input/dbase.xml and <root>/liveries/<package>/.../aircraft.cfg.
// Returns the number of livery sections written.
std::size_t gf_generateAiTree(const std::filesystem::path& root, const AiTreeShape& shape);
