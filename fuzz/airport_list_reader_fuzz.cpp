// Fuzz target of the airport list readers. The first byte chooses the file:
// even: airports_msfs.xml, odd: the airport names. Every airport element of
// the list is read from memory (a good one gives finite coordinates); on a
// sample of the inputs the whole file is read from disk as well (a bad file
// is the user error 88; a good one gives a list sorted by ICAO code with
// finite coordinates).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <pugixml.hpp>

#include "airports/airport_list.h"
#include "app/errors.h"
#include "app/files.h"
#include "fuzz/fuzz_folder.h"

namespace {

void lf_checkAirports() {
  for (const AirportRec& airport : g_airports)
    fuzzsupport::check(!airport.icao.empty() && std::isfinite(airport.latitude) && std::isfinite(airport.longitude) &&
                       std::isfinite(airport.altitude));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::workFolder("airport-list");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzzsupport::workFolder("airport-list");
  g_inputFolder = "input";
  const bool names = (data[0] & 1) != 0;
  const bool whole = fuzzsupport::sampled(data, size, 8);
  if (names || whole)
    fuzzsupport::writeBytes(g_inputFolder / (names ? "airports_msfs_names.xml" : "airports_msfs.xml"), data + 1,
                            size - 1);
  if (names) {
    lf_readAirportNames();
    return 0;
  }
  g_airports.clear();
  pugi::xml_document document;
  if (document.load_buffer(data + 1, size - 1)) {
    for (const pugi::xml_node element : document.child("airports").children("airport"))
      lf_readAirport(element, element.attribute("code").value());
    lf_checkAirports();
  }
  if (!whole) return 0;
  gf_resetAirportsForTests();
  try {
    gf_readAirports("airports_msfs.xml");
    fuzzsupport::check(std::is_sorted(g_airports.begin(), g_airports.end(),
                                      [](const AirportRec& a, const AirportRec& b) { return a.icao < b.icao; }));
    lf_checkAirports();
  } catch (const qor::UserErrorException& e) {
    fuzzsupport::check(e.code() == 88);
  }
  return 0;
}
