// Generates a large park airport for benchmarks: its park file in
// "airports/my_thirdparty" (stands on a grid, neighbours overlapping), its
// learned file with the options of a long learning, and an airport list in
// "input" that holds the airport. Relative to the working folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ParkAirportShape {
  std::size_t stands = 500;
  std::size_t optionsPerStand = 600;  // about a year of learning at a busy stand
  std::uint32_t seed = 7;
  double spacingMetres = 50.0;  // between grid neighbours; 0 puts every stand on one spot
  bool learnedFile = true;
};

// Writes the files of the airport `icao` (the learned file only when asked
// for) and returns the number of options written into its learned file.
std::size_t gf_generateParkAirport(const std::string& icao, const ParkAirportShape& shape);
