// The fixture of the add-on airport scan tests: a simulator folder with its
// Official and Community roots, a reference database and an airport list,
// and helpers to write BGL airports and read what the scan made.
#pragma once

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "airports/offline_learning.h"
#include "airports/park_file.h"
#include "app/download.h"
#include "app/files.h"
#include "app/hash.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "scan/airport_scan.h"
#include "scan/airport_scan_commit.h"
#include "scan/archive_links.h"
#include "scan/bgl_reader.h"
#include "scan/manifests.h"
#include "support/airport_builders.h"
#include "support/bgl_builder.h"
#include "support/dbase_builder.h"
#include "support/http_server.h"
#include "support/log_reader.h"
#include "support/sparse_file.h"
#include "support/special_files.h"
#include "support/unreadable.h"
#include "support/workdir.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

using namespace testsupport;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace airportscantest {

inline std::vector<BglParking> gates(int n, int helipads = 0) {
  std::vector<BglParking> out;
  for (int i = 1; i <= n - helipads; ++i)
    out.push_back(BglParking{.number = static_cast<std::uint32_t>(i), .latitude = 51.47 + i * 0.0001});
  return out;
}
inline std::vector<BglHelipad> helipads(int n) {
  std::vector<BglHelipad> out;
  for (int i = 0; i < n; ++i) out.push_back(BglHelipad{.latitude = 51.48 + i * 0.0001});
  return out;
}
// One airport file in the simulator's folder.
inline void writeAirport(const std::string& rel, const std::string& icao, int stands, int heli = 0) {
  BglAirportSpec airport{.icao = icao};
  airport.parking = gates(stands, heli);
  airport.helipadsBefore = helipads(heli);
  BglBuilder().otherSection(0x65, 8).airportSection({airport}).write(fs::path("sim") / rel);
}
inline std::string stockFile(const std::string& parameters) {
  return "<meta><info name=\"author\" value=\"x\"/></meta><parameters>" + parameters + "</parameters><parkpositions/>";
}
inline std::string param(const std::string& name, const std::string& value) {
  return fmt::format("<parameter name=\"{}\" value=\"{}\"/>", name, value);
}

}  // namespace airportscantest

using namespace airportscantest;

class AirportScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetParametersToDefaults();
    gf_resetDbaseForTests();
    gf_resetAirportsForTests();
    DbaseBuilder()
        .publisherGroup({"Some Publisher", "somepub"})
        .publisherGroup({"FlyTampa", "flytampa"})
        .simaddon20("KJFK")
        .thirdParty20("Some Publisher", {"EGL1123", "EGLL123", "EGKK"})
        .thirdParty24("Some Publisher", {"EGLL5"})
        .write();
    gf_readDbase();
    writeAirportList({AirportEntry::at("EDDF", 50.0, 8.5), AirportEntry::at("EGLL", 51.4, -0.4),
                      AirportEntry::at("KJFK", 40.6, -73.7), AirportEntry::at("LFPG", 49.0, 2.5)});
    gf_readAirports("airports_msfs.xml");
    writeAirportNames({{"EGLL", "Heathrow"}});
    g_isMsfs2020 = true;
    g_maxTasks = 4;
    g_runningTasks = 0;
    g_stopRun = false;
    g_windowClosed = false;
    g_airportFilesWritten = false;
    prm::MSFS_INSTALL_PATH.set("sim");
    prm::MSFS_2024_INSTALL_PATH.set("sim");
    fs::create_directories("sim/Official");
    fs::create_directories("sim/Community");
    gf_setDownloadServer(fmt::format("http://127.0.0.1:{}/", unusedLoopbackPort()));
    gf_clearError();
    openTestLog();
  }
  void TearDown() override {
    gf_setDownloadServer(std::string(kDefaultDownloadServer));
    gf_resetDbaseForTests();
    gf_resetAirportsForTests();
    gf_resetParametersToDefaults();
    g_isMsfs2020 = true;
    g_stopRun = false;
    g_windowClosed = false;
    gf_clearError();
  }
  static std::vector<std::string> scanLog() { return TextFileLines::read(g_airportsScanLogPath, 0); }
  // The entries of the record, without their sources.
  static std::set<std::string> recordEntries() {
    std::set<std::string> entries;
    for (const std::string& line : TextFileLines::read("airports/scanned_airport_files.txt", 0))
      entries.insert(line.substr(0, line.find('\t')));
    return entries;
  }
  // The record's line of a file the scan made ("my_thirdparty/EGLL.xml"):
  // the name, the size and hash of what the file holds now, the source.
  static std::string recordLine(const std::string& entry, const std::string& source) {
    const std::string bytes = readFile(g_airportsFolder / entry);
    return fmt::format("{}\t{}\t{:016x}\t{}\n", entry, bytes.size(),
                       gf_fnv1a64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()), source);
  }
  // The number of stands of a park file; 0 when it cannot be loaded.
  static std::size_t standCount(const fs::path& file) {
    pugi::xml_document document;
    std::string error;
    if (!gf_loadApfDocument(file, document, error)) return 0;
    return document.child("parkpositions").select_nodes("parkpos").size();
  }
  // The last line of Log.txt that is not empty.
  static std::string lastScanLine() {
    const std::vector<std::string> lines = logLines();
    const auto last = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) { return !l.empty(); });
    return last == lines.rend() ? std::string() : *last;
  }
};
