#include "demo_folder.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "app/clock.h"
#include "app/geo.h"
#include "scan/bgl_reader.h"
#include "support/bgl_builder.h"
#include "support/sparse_file.h"

namespace fs = std::filesystem;

namespace skyloomdemo {

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<DemoStand> demoStands() {
  std::vector<DemoStand> stands;
  for (int i = 0; i < 12; ++i)
    stands.push_back(DemoStand{fmt::format("5{:02}", i + 1), 51.4700, -0.4700 + i * 0.00145});
  return stands;
}

namespace {

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

// What was learned at the demo airport in the last few days: an aircraft
// seen on some stands around this time of day.
struct Seen {
  const char* stand;
  const char* reg;
  const char* airline;
  const char* type;
  const char* callsign;
};
constexpr Seen kSeen[] = {
    {"502", "G-EUUD", "BAW", "A320", "BAW58"},  {"503", "HB-JLS", "SWR", "A320", "SWR324"},
    {"504", "D-AIMD", "DLH", "A388", "DLH906"}, {"505", "HB-JNC", "SWR", "B77W", "SWR38"},
    {"507", "G-EUUE", "BAW", "A320", "BAW902"}, {"509", "HB-JLT", "SWR", "A320", "SWR360"},
};

}  // namespace

bool isLearned(const std::string& tailNumber) {
  return std::any_of(std::begin(kSeen), std::end(kSeen),
                     [&](const Seen& s) { return tailNumber == std::string(s.callsign) + "*"; });
}

namespace {

// The learned file of the demo airport, as the program saves it after the
// last few days at EGLL: the parking settings in force then (at most 100
// live aircraft), and the stand use it saw, on this weekday and the two
// before. With it the airport has quality factors, which the statistics
// panel shows, and statics of its own.
std::string demoLearnedFile() {
  const DaySlot now = gf_daySlotNow();
  std::string hours;
  const int slot = static_cast<int>(now.slot);
  for (int h = slot - 2; h <= slot + 2; ++h)
    if (h >= 0 && h < 48) hours += fmt::format("{}{}", hours.empty() ? "" : ",", h);
  std::string text =
      "<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\" value=\"Skyloom\" />\n"
      "\t<info name=\"version\" value=\"1.0.0\" />\n\t<info name=\"date\" value=\"2026-12-06\" />\n"
      "\t<info name=\"MSFS\" value=\"2020\" />\n</meta>\n"
      "<parameters>\n\t<parameter name=\"airport_name\" value=\"London Heathrow\" />\n"
      "\t<parameter name=\"LATERAL_RANGE\" value=\"40\" />\n\t<parameter name=\"AUTO_RANGE\" value=\"false\" />\n"
      "\t<parameter name=\"WEEK\" value=\"false\" />\n\t<parameter name=\"PARK_FAKE\" value=\"false\" />\n"
      "\t<parameter name=\"PARK_SOFT\" value=\"true\" />\n\t<parameter name=\"parking_percentage\" value=\"30\" />\n"
      "\t<parameter name=\"INITIAL_LOAD_ONLY\" value=\"false\" />\n\t<parameter name=\"MAX_FIT\" value=\"47\" />\n"
      "\t<parameter name=\"MAX_LIVE\" value=\"100\" />\n\t<parameter name=\"LEARN_SOFT\" value=\"true\" />\n"
      "</parameters>\n<parkpositions>\n";
  for (const Seen& s : kSeen) {
    text += fmt::format("\t<parkpos id=\"{}\">\n", s.stand);
    for (int back = 2; back >= 0; --back)
      text += fmt::format("\t\t<opt reg=\"{}\" airl=\"{}\" type=\"{}\" day=\"{}\" hh=\"{}\" cs=\"{}\" />\n", s.reg,
                          s.airline, s.type, (now.day + 6 - back) % 7 + 1, hours, s.callsign);
    text += "\t</parkpos>\n";
  }
  return text + "</parkpositions>\n";
}

}  // namespace

std::string standAt(double latitude, double longitude) {
  for (const DemoStand& stand : demoStands())
    if (gf_distanceNm(LatLon{latitude, longitude}, LatLon{stand.latitude, stand.longitude}) < 30.0 / 1852.0)
      return stand.name;
  return "?";
}

const std::uintmax_t kModelLibBytes = kBglMaxFileBytes + (std::uintmax_t{16} << 20);

void prepareFolder(const fs::path& folder, const FeedPorts& ports) {
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
  // Its model library: larger than the scan reads for airports, and holding
  // none (a sparse file, so the demo takes no disk space for it).
  testsupport::writeSparseFile(folder / "appdata" / "Microsoft Flight Simulator" / "Packages" / "Community" /
                                   "asobo-airport-lszh-demo" / "scenery" / "modelLib.BGL",
                               kModelLibBytes,
                               testsupport::BglBuilder().otherSection(0x2B, 64).otherSection(0x65, 64).bytes());
  // The demo airport's park file, and a user who wants three of four stands filled.
  writeText(folder / "airports" / "my_thirdparty" / "EGLL.xml", demoParkFile());
  writeText(folder / "airports" / "learned" / "thirdparty" / "Demo Scenery" / "EGLL.xml", demoLearnedFile());
  // The user's settings: three of four stands filled; the port RealTraffic connects to.
  writeText(folder / "appdata" / "Skyloom" / "parameters.xml",
            fmt::format("<parameters>\n  <parameter name=\"CUSTOM_PARKING_PERCENTAGE\" value=\"75\"/>\n"
                        "  <parameter name=\"PORT_NUMBER\" value=\"{}\"/>\n</parameters>\n",
                        ports.tcp));
  // RealTraffic counts as installed on this PC: Skyloom waits for it to connect.
  writeText(folder / "appdata" / "InsideSystems" / "RealTraffic.jar", "");
}

}  // namespace skyloomdemo
