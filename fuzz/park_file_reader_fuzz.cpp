// Fuzz target of the park file readers: the input is an airport park file,
// read the way the park airport is read (stands, options, learned values).
// The first byte chooses the way: even: the stand list of the document,
// parsed from memory; odd: the whole park airport reading of the file. Stand
// names and ids must be unique; the only errors thrown are the user errors of
// the format. On the odd way, and on a sample of those inputs (the check
// reads the file twice more), a file that the stand-by-stand reader takes in
// its plain form must read the same as the whole document loaded by the XML
// library: loaded or not, error text, everything but the stands, and each
// stand element with the stand read from it.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/park_file.h"
#include "airports/park_read.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/settings.h"
#include "fuzz/fuzz_folder.h"

namespace {

// Appends what pugixml prints of the node.
struct TextWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
};

// The document without the children of its first top-level "parkpositions".
std::string headText(const pugi::xml_document& document) {
  TextWriter out;
  const pugi::xml_node parkpositions = document.child("parkpositions");
  for (const pugi::xml_node& node : document.children()) {
    if (node != parkpositions) {
      node.print(out, "", pugi::format_raw);
      continue;
    }
    out.text += "<parkpositions";
    for (const pugi::xml_attribute& a : node.attributes()) out.text += fmt::format(" {}={}", a.name(), a.value());
    out.text += ">";
  }
  return out.text;
}

// Each stand element as pugixml prints it, with every field of the stand read from it.
struct StandsSeen {
  std::string text;
  std::vector<Stand> stands;
  bool operator()(const pugi::xml_node& parkpos) {
    TextWriter out;
    parkpos.print(out, "", pugi::format_raw);
    text += out.text;
    if (lf_readParkpos(parkpos, parkpos.attribute("id").value(), 1, stands)) {
      const Stand& s = stands.back();
      text += fmt::format("|{} {} {} {} {} {} {} {} {} {} {}", s.name, s.latitude, s.longitude, s.heading, s.radius,
                          s.cargo, s.ramp, s.heli, s.manual, s.radiusChange, s.cargoChange);
      for (const StandOption& o : s.options) {
        text += fmt::format("|{} {} {} {} {} {} {} {} {} {}", o.airline, o.type, o.registration, o.callsign,
                            o.callsign2, o.hours, o.id, o.day, o.origin, o.real);
      }
    }
    text += "\n";
    return true;
  }
};

// The stand-by-stand reader against the whole document, for the file at path.
void checkSameAsWholeDocument(const char* path) {
  ApfDocument document;
  std::string error;
  const bool loaded = document.load(path, error);
  // Read whole (no stand element outside the document): nothing can differ.
  if (loaded && document.head().child("parkpositions").first_child()) return;
  pugi::xml_document whole;
  std::string wholeError;
  const bool wholeLoaded = gf_loadApfDocument(path, whole, wholeError);
  fuzzsupport::check(loaded == wholeLoaded && error == wholeError);
  if (!loaded) return;
  fuzzsupport::check(headText(document.head()) == headText(whole));
  StandsSeen seen;
  try {
    document.forEachParkpos([&](const pugi::xml_node& parkpos) { return seen(parkpos); });
  } catch (const std::exception& e) {
    seen.text += e.what();
  }
  StandsSeen wholeSeen;
  for (const pugi::xml_node& parkpos : whole.child("parkpositions").children("parkpos")) wholeSeen(parkpos);
  fuzzsupport::check(seen.text == wholeSeen.text);
}

}  // namespace

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
  if (fuzzsupport::sampled(data, size, 4)) checkSameAsWholeDocument("airports/EGLL.xml");
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
