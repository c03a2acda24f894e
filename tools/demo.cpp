// The demo: runs Skyloom in a fresh working folder with its own AppData,
// as a user would start it, lets it run a few seconds, presses the close
// button, waits for the program to end, saves the window as window.png and
// prints the log.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "app/entry.h"
#include "app/run_thread.h"
#include "platform/win32/testdriver.h"
#include "ui/main_window.h"

namespace fs = std::filesystem;
namespace drv = win32layer::testdriver;

namespace {

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
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
}

// Pumps the window's messages for a while, or until done.
bool pumpFor(std::chrono::milliseconds time, const std::function<bool()>& done = [] { return false; }) {
  const auto end = std::chrono::steady_clock::now() + time;
  bool quit = false;
  while (std::chrono::steady_clock::now() < end) {
    if (drv::pumpUntilIdle().quit) quit = true;
    if (quit && done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return quit;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::absolute(argc > 1 ? argv[1] : "demo");
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 4;
  prepareFolder(folder);
  setenv("APPDATA", (folder / "appdata").c_str(), 1);
  setenv("LOCALAPPDATA", (folder / "localappdata").c_str(), 1);
  setenv("TMPDIR", (folder / "tmp").c_str(), 1);
  fs::current_path(folder);

  HANDLE mutex = nullptr;
  if (gf_startProgram(mutex) != 0) {
    std::fprintf(stderr, "demo: Skyloom did not start\n");
    return 1;
  }
  HWND window = g_mainWindowHandle.load();
  pumpFor(std::chrono::seconds(seconds));
  drv::pressCloseButton(window);
  const bool ended = pumpFor(std::chrono::seconds(30), [] { return g_runThreadsAlive.load() == 0; });
  drv::saveScreenshot(window, folder / "window.png");
  gf_endProgram(mutex);

  std::cout << "---- " << (folder / "Log.txt").string() << "\n";
  std::ifstream log(folder / "Log.txt");
  std::cout << log.rdbuf();
  std::cout << "---- window saved as " << (folder / "window.png").string() << "\n";
  if (!ended) {
    std::fprintf(stderr, "demo: Skyloom did not end after the close button\n");
    return 1;
  }
  return 0;
}
