// The demo: runs Skyloom in a fresh working folder with its own AppData,
// as a user would start it, with the user aircraft standing on a stand of
// the demo airport (EGLL, its park file shipped in the folder) in the
// simulated simulator. The statics appear one by one; once they are all
// there and the statistics panel is filled, the window is saved as
// window.png and the statics are printed (callsign, livery, stand). Then it
// presses the close button, waits for the program to end and prints the log.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/entry.h"
#include "app/geo.h"
#include "app/run_thread.h"
#include "platform/simconnect/sim_world.h"
#include "platform/win32/testdriver.h"
#include "support/bgl_builder.h"
#include "ui/display_state.h"
#include "ui/main_window.h"

namespace fs = std::filesystem;
namespace drv = win32layer::testdriver;

namespace {

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// The demo airport's stands: a row of twelve, 100 m apart, south of EGLL.
struct DemoStand {
  std::string name;
  double latitude;
  double longitude;
};

std::vector<DemoStand> demoStands() {
  std::vector<DemoStand> stands;
  for (int i = 0; i < 12; ++i)
    stands.push_back(DemoStand{fmt::format("5{:02}", i + 1), 51.4700, -0.4700 + i * 0.00145});
  return stands;
}

// The park file of the demo airport, with what was learned on each stand:
// an aircraft of an installed livery, every weekday, around the clock.
std::string demoParkFile() {
  struct Learned {
    const char* reg;
    const char* airline;
    const char* type;
    const char* callsign;
  };
  const Learned learned[] = {
      {"G-EUUA", "BAW", "A320", "BAW123"}, {"HB-JLP", "SWR", "A320", "SWR318"}, {"D-AIMA", "DLH", "A388", "DLH900"},
      {"HB-JNA", "SWR", "B77W", "SWR22"},  {"G-EUUB", "BAW", "A320", "BAW456"}, {"HB-JLQ", "SWR", "A320", "SWR390"},
      {"D-AIMB", "DLH", "A388", "DLH902"}, {"HB-JNB", "SWR", "B77W", "SWR16"},  {"G-EUUC", "BAW", "A320", "BAW789"},
      {"HB-JLR", "SWR", "A320", "SWR331"}, {"D-AIMC", "DLH", "A388", "DLH904"},
  };
  std::string hours;
  for (int h = 0; h < 48; ++h) hours += fmt::format("{}{}", h == 0 ? "" : ",", h);
  std::string text =
      "<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\" value=\"Skyloom\" />\n"
      "\t<info name=\"version\" value=\"1.0.0\" />\n\t<info name=\"date\" value=\"2026-12-01\" />\n</meta>\n"
      "<parameters>\n\t<parameter name=\"airport_name\" value=\"London Heathrow\" />\n"
      "\t<parameter name=\"publisher\" value=\"Demo Scenery\" />\n"
      "\t<parameter name=\"altitude\" value=\"83\" />\n</parameters>\n<parkpositions>\n";
  const std::vector<DemoStand> stands = demoStands();
  for (std::size_t i = 0; i < stands.size(); ++i) {
    text += fmt::format(
        "\t<parkpos id=\"{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"180.0\" radius=\"35.0\" "
        "cargo=\"false\" ramp=\"false\">\n",
        stands[i].name, stands[i].latitude, stands[i].longitude);
    // The first stand is the user's: nothing was learned there.
    if (i > 0) {
      const Learned& l = learned[(i - 1) % std::size(learned)];
      for (int day = 1; day <= 7; ++day)
        text += fmt::format("\t\t<opt reg=\"{}\" airl=\"{}\" type=\"{}\" day=\"{}\" hh=\"{}\" cs=\"{}\" />\n",
                            l.reg, l.airline, l.type, day, hours, l.callsign);
    }
    text += "\t</parkpos>\n";
  }
  return text + "</parkpositions>\n";
}

// The stand a position lies on (within 30 m), or "?".
std::string standAt(double latitude, double longitude) {
  for (const DemoStand& stand : demoStands())
    if (gf_distanceNm(LatLon{latitude, longitude}, LatLon{stand.latitude, stand.longitude}) < 30.0 / 1852.0)
      return stand.name;
  return "?";
}

// What an installed program folder holds.
void prepareFolder(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder / "docs");
  fs::create_directories(folder / "appdata");
  fs::create_directories(folder / "localappdata");
  fs::create_directories(folder / "tmp");
  // The simulator's packages where its Steam edition keeps them.
  fs::create_directories(folder / "appdata" / "Microsoft Flight Simulator" / "Packages" / "Community");
  fs::create_directories(folder / "appdata" / "Microsoft Flight Simulator" / "Packages" / "Official");
  // A small AI traffic package: three aircraft with their liveries.
  const fs::path aig = folder / "appdata" / "Microsoft Flight Simulator" / "Packages" / "Community" /
                       "aig-aitraffic-oci-demo" / "SimObjects" / "Airplanes";
  writeText(aig / "A320" / "aircraft.cfg",
            "[General]\r\nicao_type_designator = \"A320\"\r\n"
            "[fltsim.0]\r\ntitle = \"A320 British Airways G-EUUA\"\r\nicao_airline = \"BAW\"\r\natc_id = \"G-EUUA\"\r\n"
            "[fltsim.1]\r\ntitle = \"A320 Swiss\"\r\nicao_airline = \"SWR\"\r\n");
  writeText(aig / "A388" / "aircraft.cfg",
            "[General]\r\nicao_type_designator = \"A388\"\r\n"
            "[fltsim.0]\r\ntitle = \"A380 Lufthansa\"\r\nicao_airline = \"DLH\"\r\natc_id = \"D-AIMA\"\r\n");
  writeText(aig / "B77W" / "aircraft.cfg",
            "[General]\r\nicao_type_designator = \"B77W\"\r\n"
            "[fltsim.0]\r\ntitle = \"B777-300ER Swiss\"\r\nicao_airline = \"SWR\"\r\n");
  // A small reference database: the real one is downloaded in encrypted form.
  writeText(folder / "input" / "dbase.xml",
            "<dbase>\n"
            "  <registrations>\n"
            "    <reg code=\"G-EUUA\" airl=\"BAW\" type=\"A320\"/>\n"
            "    <reg code=\"D-AIMA\" airl=\"DLH\" type=\"A388\"/>\n"
            "    <reg code=\"HB-JNA\" airl=\"SWR\" type=\"B77W\"/>\n"
            "  </registrations>\n"
            "  <types>\n"
            "    <type icao=\"A320\" wingspan=\"35.8\" class=\"large\"/>\n"
            "    <type icao=\"A388\" wingspan=\"79.8\" class=\"heavy\"/>\n"
            "    <type icao=\"B77W\" wingspan=\"64.8\" class=\"heavy\"/>\n"
            "  </types>\n"
            "  <airlines><airline icao=\"BAW\"/><airline icao=\"DLH\"/><airline icao=\"SWR\"/></airlines>\n"
            "</dbase>\n");
  writeText(folder / "input" / "airports_msfs.xml",
            "<airports>\n"
            "  <airport code=\"EDDF\" iata=\"FRA\" lat=\"50.033333\" lon=\"8.570556\" alt=\"364\"/>\n"
            "  <airport code=\"EGLL\" iata=\"LHR\" lat=\"51.4775\" lon=\"-0.461389\" alt=\"83\"/>\n"
            "  <airport code=\"KJFK\" iata=\"JFK\" lat=\"40.639722\" lon=\"-73.778889\" alt=\"13\"/>\n"
            "  <airport code=\"LSZH\" iata=\"ZRH\" lat=\"47.464722\" lon=\"8.549167\" alt=\"1416\"/>\n"
            "</airports>\n");
  // An add-on airport of the simulator's own kind in the Community folder,
  // which the airport scan turns into a park file (five gates and a helipad).
  testsupport::BglAirportSpec addon{.icao = "LSZH", .elevationMm = 431600};
  for (std::uint32_t i = 1; i <= 5; ++i)
    addon.parking.push_back({.number = i, .radius = 30.0f, .heading = 270.0f, .latitude = 47.4600 + i * 0.0004,
                             .longitude = 8.5500});
  addon.helipadsBefore = {{.latitude = 47.4590, .longitude = 8.5520, .size = 25.0f}};
  testsupport::BglBuilder().airportSection({addon}).write(folder / "appdata" / "Microsoft Flight Simulator" /
                                                          "Packages" / "Community" / "asobo-airport-lszh-demo" /
                                                          "scenery" / "LSZH.bgl");
  // The demo airport's park file, and a user who wants three of four stands filled.
  writeText(folder / "airports" / "my_thirdparty" / "EGLL.xml", demoParkFile());
  writeText(folder / "appdata" / "Skyloom" / "parameters.xml",
            "<parameters>\n  <parameter name=\"CUSTOM_PARKING_PERCENTAGE\" value=\"75\"/>\n</parameters>\n");
}

// Pumps the window's messages for a while, or until done.
bool pumpFor(std::chrono::milliseconds time, const std::function<bool()>& done = [] { return false; },
             bool quitNeeded = true) {
  const auto end = std::chrono::steady_clock::now() + time;
  bool quit = false;
  while (std::chrono::steady_clock::now() < end) {
    if (drv::pumpUntilIdle().quit) quit = true;
    if ((quit || !quitNeeded) && done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return quit;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::absolute(argc > 1 ? argv[1] : "demo");
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 1;
  prepareFolder(folder);
  setenv("APPDATA", (folder / "appdata").c_str(), 1);
  setenv("LOCALAPPDATA", (folder / "localappdata").c_str(), 1);
  setenv("TMPDIR", (folder / "tmp").c_str(), 1);
  fs::current_path(folder);

  // The simulated simulator: its seconds pass ten times faster, and the user
  // aircraft stands at EGLL on stand 501.
  simsim::g_secondMs = 100;
  const DemoStand userStand = demoStands().front();
  simsim::world().placeUserOnGround(userStand.latitude, userStand.longitude, 180.0);

  HANDLE mutex = nullptr;
  if (gf_startProgram(mutex) != 0) {
    std::fprintf(stderr, "demo: Skyloom did not start\n");
    return 1;
  }
  HWND window = g_mainWindowHandle.load();
  pumpFor(std::chrono::seconds(seconds));
  // The statics are all placed and the statistics panel shows them, the
  // parking idle again until the next renewal.
  // The last creation follows the last placement by half a second: the
  // count must hold still for a while.
  std::size_t shown = 0;
  auto since = std::chrono::steady_clock::now();
  const bool placed = pumpFor(std::chrono::seconds(60), [&] {
    const DisplaySnapshot d = gf_displaySnapshot();
    const std::size_t now = simsim::world().aiObjects().size();
    if (now != shown) since = std::chrono::steady_clock::now();
    shown = now;
    return d.parkFileLoaded && !d.staticParkingBusy && shown > 0 &&
           static_cast<std::size_t>(d.counters.parkedStatic) == shown && d.minutesToRenewal >= 1 &&
           d.minutesToRenewal <= 19 && std::chrono::steady_clock::now() - since > std::chrono::milliseconds(1500);
  }, /*quitNeeded=*/false);
  drv::saveScreenshot(window, folder / "window.png");
  const DisplaySnapshot header = gf_displaySnapshot();
  std::cout << fmt::format("---- {} static aircraft placed at EGLL (the user stands on {}):\n", shown, userStand.name);
  for (const simsim::AiObject& o : simsim::world().aiObjects())
    std::cout << fmt::format("  {:8} {:28} stand {}\n", o.tailNumber, o.title, standAt(o.latitude, o.longitude));
  drv::pressCloseButton(window);
  const bool ended = pumpFor(std::chrono::seconds(30), [] { return g_runThreadsAlive.load() == 0; });
  gf_endProgram(mutex);

  std::cout << "---- " << (folder / "Log.txt").string() << "\n";
  std::ifstream log(folder / "Log.txt");
  std::cout << log.rdbuf();
  std::cout << "---- " << (folder / "output" / "info" / "AirportsScanLog.txt").string() << "\n";
  std::ifstream scanLog(folder / "output" / "info" / "AirportsScanLog.txt");
  std::cout << scanLog.rdbuf();
  std::cout << fmt::format("---- header: # simaddon: {}  # thirdp: {}\n", header.simaddonCount, header.thirdpartyCount);
  std::cout << "---- window saved as " << (folder / "window.png").string() << "\n";
  if (!placed) {
    std::fprintf(stderr, "demo: the statics were not all placed in time\n");
    return 1;
  }
  if (!ended) {
    std::fprintf(stderr, "demo: Skyloom did not end after the close button\n");
    return 1;
  }
  return 0;
}
