// Fuzz target of the park file readers: the input is an airport park file,
// read the way the park airport is read (stands, options, learned values).
// The first byte chooses the way: even: the stand list of the document,
// parsed from memory; odd: the whole park airport reading of the file. Stand
// names and ids must be unique; the only errors thrown are the user errors of
// the format.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "airports/park_file.h"
#include "airports/park_read.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/settings.h"
#include "fuzz/fuzz_folder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::workFolder("park-file");
  gf_initFolders();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzzsupport::workFolder("park-file");
  const bool whole = (data[0] & 1) != 0;
  if (!whole) {
    pugi::xml_document document;
    if (document.load_buffer(data + 1, size - 1)) {
      try {
        const std::vector<Stand> stands = gf_readApfStands(document);
        std::set<std::string> names;
        for (const Stand& stand : stands) fuzzsupport::check(names.insert(stand.name).second);
      } catch (const qor::UserErrorException& e) {
        fuzzsupport::check(e.code() == 94);  // a stand named twice
      }
    }
    return 0;
  }
  fuzzsupport::writeBytes("airports/EGLL.xml", data + 1, size - 1);
  gf_resetParametersToDefaults();
  ParkAirport airport;
  airport.icao = "EGLL";
  std::vector<Stand> stands;
  std::pair<std::int32_t, std::int32_t> factors{0, 0};
  try {
    const std::string error = gf_readApf("airports/EGLL.xml", airport, factors, stands);
    if (error.empty()) {
      std::set<std::uint32_t> ids;
      for (const Stand& stand : stands) fuzzsupport::check(ids.insert(stand.id).second);
    }
  } catch (const qor::UserErrorException& e) {
    fuzzsupport::check(e.code() == 65 || e.code() == 94);  // no altitude; a stand named twice
  }
  return 0;
}
