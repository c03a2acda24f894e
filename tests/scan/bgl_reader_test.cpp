#include <cmath>
#include <limits>
#include <numbers>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scan/bgl_reader.h"
#include "support/bgl_builder.h"
#include "support/sparse_file.h"
#include "support/workdir.h"

using namespace testsupport;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const AirportNameTable kNames{{"EGLL", "Heathrow"}};

BglContent read(const std::string& bytes, bool msfs2020 = true) {
  return gf_readBglAirports(bytes, msfs2020, "C:/Community/pkg/a.bgl", kNames);
}
BglContent readAirport(BglAirportSpec airport, bool msfs2020 = true) {
  return read(BglBuilder().airportSection({std::move(airport)}).bytes(), msfs2020);
}
std::vector<std::string> names(const BglAirport& airport) {
  std::vector<std::string> out;
  for (const Stand& s : airport.stands) out.push_back(s.name);
  return out;
}
BglParking gate(std::uint32_t number, float radius = 20.0f, std::uint32_t type = 8, double lat = 51.47) {
  return BglParking{.number = number, .type = type, .radius = radius, .latitude = lat};
}

}  // namespace

TEST(BglReader, HeaderAndIdentifierDecide) {
  const std::string good = BglBuilder().airportSection({{}}).bytes();
  ASSERT_EQ(read(good).airports.size(), 1u);
  EXPECT_EQ(read(good).airports[0].airportName, "Heathrow");
  EXPECT_EQ(read(good).airports[0].altitude, 82);  // 25 m
  for (std::uint32_t size : {55u, 57u}) EXPECT_TRUE(read(BglBuilder().airportSection({{}}).headerSize(size).bytes()).airports.empty());
  EXPECT_TRUE(read(good.substr(0, 56)).airports.empty());  // 14 words
  EXPECT_TRUE(read(good.substr(0, 40)).airports.empty());  // shorter than the header

  struct Case { std::uint32_t word; std::string text; bool ok; };
  for (const Case& c : std::vector<Case>{{bglIdent("EGLL"), "EGLL", true},
                                         {bglIdent("K1G4"), "K1G4", true},
                                         {bglIdent("EGL"), "EGL", false},      // below 38^3: three characters
                                         {bglIdent("EG L"), "EG L", false},    // digit 0 is a blank
                                         {(38u * 38 * 38 * 12 + 1) << 5, "A  6", false},  // digit 1 gives "6"
                                         {0, " ", false}}) {
    bool ok = !c.ok;
    EXPECT_EQ(lf_decodeIdentifierOrRegionCode(c.word, ok), c.text);
    EXPECT_EQ(ok, c.ok) << c.text;
  }
  BglAirportSpec threeLetters;
  threeLetters.identWord = bglIdent("EGL");
  EXPECT_TRUE(readAirport(threeLetters).airports.empty());
}

TEST(BglReader, ElevationRadiusAndHeadingLimits) {
  EXPECT_EQ(lf_readAirportAltitude(-6096), -20);
  EXPECT_EQ(lf_readAirportAltitude(-6400), 0);
  EXPECT_EQ(lf_readAirportAltitude(3048000), 10000);
  EXPECT_EQ(lf_readAirportAltitude(3048305), 0);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  BglAirportSpec a;
  a.parking = {gate(1, 1.0f), gate(2, 200.0f), gate(3, 1.01f), gate(4, 199.9f), gate(5, nan)};
  a.parking.push_back(BglParking{.number = 6, .heading = 0.0f});
  a.parking.push_back(BglParking{.number = 7, .heading = std::numeric_limits<float>::infinity()});
  a.helipadsBefore = {BglHelipad{.size = 30.0f}};
  const BglContent c = readAirport(a);
  ASSERT_EQ(c.airports.size(), 1u);
  const BglAirport& airport = c.airports[0];
  EXPECT_THAT(names(airport), ElementsAre("helipad1", "g3", "g4", "g6"));
  EXPECT_EQ(airport.stands[0].heading, 0.0);
  EXPECT_NEAR(airport.stands[0].radius * 1852.0, 15.0, 1e-9);
  EXPECT_EQ(airport.stands[0].heli, 1);
  EXPECT_DOUBLE_EQ(airport.stands[3].heading, 2.0 * std::numbers::pi);
  EXPECT_NEAR(airport.stands[1].heading, std::numbers::pi / 2.0, 1e-6);
  EXPECT_THAT(airport.standLog, Contains("Skipped position with radius 1.0 m in C:/Community/pkg/a.bgl"));
  EXPECT_THAT(airport.standLog, Contains("Skipped position with radius 200.0 m in C:/Community/pkg/a.bgl"));
  EXPECT_THAT(airport.standLog, Contains("Skipped position with radius NAN m in C:/Community/pkg/a.bgl"));
  EXPECT_THAT(airport.standLog, Contains(HasSubstr("Heading INF of g7 invalid")));
}

TEST(BglReader, IdsTypesAndDuplicates) {
  EXPECT_EQ(lf_parkingNameSuffix(0), "");
  EXPECT_EQ(lf_parkingNameSuffix(5), "sep");
  EXPECT_EQ(lf_parkingNameSuffix(11), "");
  EXPECT_EQ(lf_parkingNameSuffix(12), "A");
  EXPECT_EQ(lf_parkingNameSuffix(37), "Z");

  BglAirportSpec a;
  a.parking = {gate(12, 20.0f), gate(12, 30.0f, 8, 51.471),            // g12 twice: the larger keeps the id
               gate(40, 20.0f, 12), gate(40, 20.0f, 13), gate(40),     // types 12 and 13 take no id
               gate(50, 20.0f, 5), gate(51, 20.0f, 14), gate(52, 20.0f, 0)};
  for (int i = 0; i < 8; ++i) a.parking.push_back(gate(9, 10.0f + static_cast<float>(i)));
  const BglContent c = readAirport(a);
  ASSERT_EQ(c.airports.size(), 1u);
  const BglAirport& airport = c.airports[0];
  EXPECT_THAT(names(airport), ElementsAre("g12a", "g12", "g40", "g50", "g51", "g9f", "g9e", "g9d", "g9c", "g9b", "g9a", "g9"));
  EXPECT_NEAR(airport.stands[1].radius * 1852.0, 30.0, 1e-4);
  EXPECT_NEAR(airport.stands.back().radius * 1852.0, 16.0, 1e-4);  // the largest of the seven taken
  EXPECT_THAT(airport.standLog, Contains("===> Warning: more than 6 duplicate IDs g9 in C:/Community/pkg/a.bgl"));
  for (const Stand& s : airport.stands) EXPECT_EQ(s.nameAltered, 0);
}

// Which entries become stands: positions near the equator or the prime
// meridian, helipads near each other, and the flags of each parking type.
TEST(BglReader, StandsByPositionNeighbourAndType) {
  struct Expected {
    std::string name;
    int ramp;
    int cargo;
  };
  const auto at = [](std::uint32_t number, double lat, double lon) {
    return BglParking{.number = number, .latitude = lat, .longitude = lon};
  };
  std::vector<BglParking> types;
  for (std::uint32_t type = 0; type < 16; ++type) types.push_back(gate(type, 20.0f, type));
  struct Case {
    const char* name;
    BglAirportSpec airport;
    std::vector<Expected> stands;
  };
  const std::vector<Case> cases{
      {"near the equator or the prime meridian, not both",
       {.parking = {at(1, 0.00005, 10.0), at(2, 10.0, -0.00005), at(3, 0.00005, -0.00005), at(4, 0.0002, 0.0)}},
       {{"g1", 0, 0}, {"g2", 0, 0}, {"g4", 0, 0}}},
      {"helipads near the equator or the prime meridian",
       {.helipadsBefore = {{.latitude = 0.0, .longitude = 5.0}, {.latitude = 5.0, .longitude = 0.0},
                           {.latitude = 0.00005, .longitude = 0.00005}}},
       {{"helipad1", 0, 0}, {"helipad2", 0, 0}}},
      {"helipads are doubles only when near in both coordinates",
       {.helipadsBefore = {{.latitude = 51.48, .longitude = -0.46}, {.latitude = 51.48, .longitude = -0.46001},
                           {.latitude = 51.48001, .longitude = -0.46}, {.latitude = 51.48, .longitude = -0.46}}},
       {{"helipad1", 0, 0}, {"helipad2", 0, 0}, {"helipad3", 0, 0}}},
      {"parking types 0, 12 and 13 are skipped; 1 to 7 and 14 are ramps; 5 is cargo",
       {.parking = types},
       {{"g1", 1, 0}, {"g10", 0, 0}, {"g11", 0, 0}, {"g14", 1, 0}, {"g15", 0, 0}, {"g2", 1, 0}, {"g3", 1, 0},
        {"g4", 1, 0}, {"g5", 1, 1}, {"g6", 1, 0}, {"g7", 1, 0}, {"g8", 0, 0}, {"g9", 0, 0}}},
  };
  for (const Case& c : cases) {
    const BglContent content = readAirport(c.airport);
    ASSERT_EQ(content.airports.size(), 1u) << c.name;
    std::vector<Stand> stands = content.airports[0].stands;
    std::sort(stands.begin(), stands.end(), [](const Stand& a, const Stand& b) { return a.name < b.name; });
    std::vector<std::tuple<std::string, int, int>> got, want;
    for (const Stand& stand : stands) got.emplace_back(stand.name, stand.ramp, stand.cargo);
    for (const Expected& e : c.stands) want.emplace_back(e.name, e.ramp, e.cargo);
    EXPECT_EQ(got, want) << c.name;
  }
}

TEST(BglReader, HelipadsSectionsAndUnidentifiedAirports) {
  BglAirportSpec a;
  a.helipadsBefore = {BglHelipad{}, BglHelipad{}, BglHelipad{.latitude = 0.0, .longitude = 0.0}};
  a.parking = {gate(1)};
  a.helipadsAfter = {BglHelipad{.latitude = 51.49}};
  BglContent c = readAirport(a);
  ASSERT_EQ(c.airports.size(), 1u);
  EXPECT_THAT(names(c.airports[0]), ElementsAre("helipad1", "g1"));
  EXPECT_EQ(c.airports[0].helipadCounter, 2);
  EXPECT_THAT(c.airports[0].standLog, Contains("double helipad Heathrow (skipped) 51.480000,-0.460000"));
  EXPECT_THAT(c.airports[0].standLog, Contains("lat/lon helipad incorrect (skipped): 0.000000,0.000000"));

  // Layout bit 16 skips an airport section; other section types are not read.
  c = read(BglBuilder().otherSection(0x65, 64).airportSection({{}}, true).airportSection({{.icao = "LFPG"}}).bytes());
  ASSERT_EQ(c.airports.size(), 1u);
  EXPECT_EQ(c.airports[0].icao, "LFPG");

  // A 0x113 record ends the file in MSFS 2024 mode and is passed over in MSFS 2020 mode.
  const std::string unidentified = BglBuilder().unidentifiedSection({{}}).airportSection({{.icao = "LFPG"}}).bytes();
  c = read(unidentified, false);
  EXPECT_TRUE(c.unrecognised);
  EXPECT_TRUE(c.airports.empty());
  c = read(unidentified, true);
  EXPECT_FALSE(c.unrecognised);
  EXPECT_EQ(c.airports.size(), 2u);
}

TEST(BglReader, BadPartsAreSkippedAndTheRestIsRead) {
  const BglAirportSpec lfpg{.icao = "LFPG", .parking = {gate(1)}};
  const auto helipads = [](int n) {
    std::vector<BglHelipad> out;
    for (int i = 0; i < n; ++i) out.push_back(BglHelipad{.latitude = 51.0 + (i / 200) * 1e-4, .longitude = -0.5 + (i % 200) * 1e-4});
    return out;
  };
  const std::string two = BglBuilder().airportSection({{.parking = {gate(1)}}, {.icao = "LFPG", .parking = {gate(1), gate(2)}}}).bytes();
  // A file that bundles 1,100 airports of 100 gates.
  std::vector<BglParking> hundredGates;
  for (std::uint32_t i = 1; i <= 100; ++i) hundredGates.push_back(gate(i));
  std::vector<BglAirportSpec> bundle;
  std::vector<std::pair<std::string, std::size_t>> bundleCounts;
  for (int i = 0; i < 1100; ++i) {
    const std::string icao{'K', static_cast<char>('A' + i / 676), static_cast<char>('A' + i / 26 % 26),
                           static_cast<char>('A' + i % 26)};
    bundle.push_back({.icao = icao, .parking = hundredGates});
    bundleCounts.emplace_back(icao, 100);
  }
  std::vector<BglHelipad> limitAndADouble = helipads(kBglMaxStandsPerAirport);
  limitAndADouble.push_back(limitAndADouble.front());
  std::string farTable = two;
  farTable[56 + 0x0C + 3] = '\x7f';

  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::pair<std::string, std::size_t>> airports;  // ICAO and stand count, in file order
    std::string line;  // in the file's problems or an airport's stand lines ("": none at all)
    bool outsideFile = false;
  };
  const std::vector<Case> cases{
      {"a count beyond the entries reads the record's bytes as the next entry",
       BglBuilder().airportSection({{.parking = {gate(1), gate(2)}, .parkingCount = 3, .paddingBytes = 56}, lfpg}).bytes(),
       {{"EGLL", 2}, {"LFPG", 1}}, "Skipped position with radius 0.0 m in C:/Community/pkg/a.bgl"},
      {"a count beyond the airport record",
       BglBuilder().airportSection({{.parking = {gate(1), gate(2)}, .parkingCount = 9}, lfpg}).bytes(),
       {{"EGLL", 2}, {"LFPG", 1}}, "===> parking entries 3 to 9 lie outside its airport record (skipped) in C:/Community/pkg/a.bgl"},
      {"airline codes that run past the airport record keep their entry",
       BglBuilder().airportSection({{.parking = {gate(1), BglParking{.number = 2, .airlineCount = 10}}, .recordSize = 0x44 + 8 + 56 + 56 + 4}}).bytes(),
       {{"EGLL", 2}}, ""},
      {"a helipad longer than its airport record",
       BglBuilder().airportSection({{.helipadsBefore = {BglHelipad{.recordSize = 0x10000}}, .parking = {gate(1)}}, lfpg}).bytes(),
       {{"EGLL", 1}, {"LFPG", 1}}, ""},
      {"a record without identifier and a huge size ends its section only",
       BglBuilder().airportSection({{}, {.identWord = 0, .recordSize = 0x7ffffff0}, {.icao = "LFPB"}}).airportSection({lfpg}).bytes(),
       {{"EGLL", 0}, {"LFPG", 1}}, ""},
      {"an airport record too short for its sub-records", BglBuilder().airportSection({{.parking = {gate(1)}, .recordSize = 0x30}}).bytes(),
       {{"EGLL", 0}}, ""},
      {"a file cut inside its second airport", two.substr(0, two.size() - 10), {{"EGLL", 1}, {"LFPG", 1}},
       "===> parking entries 2 to 2 lie outside the file (skipped) in C:/Community/pkg/a.bgl", true},
      {"a sub-section table past the end", farTable, {}, "the sub-section table of section 1 lies outside the file", true},
      {"a section table that cannot fit", BglBuilder().airportSection({{}}).sectionCount(100'000'000).bytes(), {},
       "the section table of 100000000 sections does not fit in the file", true},
      {"a file cut inside its header", two.substr(0, 40), {}, "the file ends inside its header, after 40 bytes", true},
      {"many sections lead to one airport, walked once",
       BglBuilder().airportSection({{.parking = {gate(1), gate(2)}}}).repeatLastSection(2000).bytes(), {{"EGLL", 2}}, ""},
      {"many helipads end at the airport's stand limit, the next airport is read",
       BglBuilder().airportSection({{.helipadsBefore = helipads(12000)}, lfpg}).bytes(),
       {{"EGLL", kBglMaxStandsPerAirport}, {"LFPG", 1}},
       std::to_string(kBglMaxStandsPerAirport) + " stands reached in airport EGLL, its other stands are skipped"},
      {"an airport of exactly the stand limit", BglBuilder().airportSection({{.helipadsBefore = helipads(kBglMaxStandsPerAirport)}}).bytes(),
       {{"EGLL", kBglMaxStandsPerAirport}}, ""},
      {"the stand limit and a helipad skipped anyway",
       BglBuilder().airportSection({{.helipadsBefore = limitAndADouble}}).bytes(), {{"EGLL", kBglMaxStandsPerAirport}},
       "double helipad Heathrow (skipped) 51.000000,-0.500000"},
      {"a file that bundles many airports keeps them all", BglBuilder().airportSection(bundle).bytes(), bundleCounts, ""},
      {"doubled helipads past the line limit, counted in one line",
       BglBuilder().airportSection({{.helipadsBefore = std::vector<BglHelipad>(kBglMaxSkipLinesPerFile + 2000)}}).bytes(),
       {{"EGLL", 1}}, "1999 more lines about skipped parts of this file are not shown"},
  };
  for (const Case& c : cases) {
    const BglContent content = read(c.bytes);
    std::vector<std::pair<std::string, std::size_t>> airports;
    std::vector<std::string> lines = content.problems;
    for (const BglAirport& a : content.airports) {
      airports.emplace_back(a.icao, a.stands.size());
      lines.insert(lines.end(), a.standLog.begin(), a.standLog.end());
    }
    EXPECT_EQ(airports, c.airports) << c.name;
    if (c.line.empty())
      EXPECT_THAT(lines, ::testing::IsEmpty()) << c.name;
    else
      EXPECT_THAT(lines, Contains(c.line)) << c.name;
    EXPECT_EQ(content.outsideFile, c.outsideFile) << c.name;
    EXPECT_EQ(std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.find("stands reached") != std::string::npos; }),
              c.line.find("stands reached") != std::string::npos)
        << c.name;
    EXPECT_LE(lines.size(), kBglMaxSkipLinesPerFile + 2) << c.name;
  }
}

TEST(BglReader, QuickAirportSectionTest) {
  writeFile("airport.bgl", BglBuilder().otherSection(0x65, 8).airportSection({{}}).bytes());
  writeFile("other.bgl", BglBuilder().otherSection(0x65, 8).bytes());
  writeFile("short.bgl", BglBuilder().airportSection({{}}).bytes().substr(0, 60));
  writeFile("empty.bgl", "");
  writeFile("four.bgl", "BGL!");
  writeFile("header.bgl", BglBuilder().airportSection({{}}).bytes().substr(0, 30));
  writeFile("foreign.bgl", BglBuilder().airportSection({{}}).headerSize(55).bytes().substr(0, 60));
  writeFile("foreign40.bgl", BglBuilder().airportSection({{}}).headerSize(55).bytes().substr(0, 40));
  // Files larger than any the scan reads: looked into, unread only when they
  // hold (or may hold, past the limit) an airport section.
  writeSparseFile("sparse.bgl", kBglMaxFileBytes + 1, BglBuilder().airportSection({{}}).bytes());
  writeSparseFile("models.bgl", kBglMaxFileBytes + 1, BglBuilder().otherSection(0x65, 8).otherSection(0x2B, 8).bytes());
  // A table that goes on past the limit (no airport section before it).
  writeSparseFile("endless.bgl", 2 * kBglMaxFileBytes,
                  BglBuilder().otherSection(0x65, 8).sectionCount(kBglMaxFileBytes / 20 + 1).bytes());
  const std::string tooLarge = " bytes, more than the 67108864 a BGL file is read up to";
  // Whether it has an airport section, and why it was not read whole ("": it was).
  const std::vector<std::tuple<std::string, bool, std::string>> cases{
      {"airport.bgl", true, ""},
      {"other.bgl", false, ""},
      {"empty.bgl", false, "it ends inside its header, after 0 bytes"},  // cut before it says what it is
      {"four.bgl", false, "it ends inside its header, after 4 bytes"},
      {"foreign.bgl", false, ""},  // not a BGL file the task reads
      {"foreign40.bgl", false, ""},
      {"short.bgl", false, "its section table of 1 sections does not fit in its 60 bytes"},
      {"header.bgl", false, "it ends inside its header, after 30 bytes"},
      {"sparse.bgl", false, "it has 67108865" + tooLarge},
      {"models.bgl", false, ""},
      {"endless.bgl", false, "it has 134217728" + tooLarge},
      {"missing.bgl", false, "No such file or directory"},
  };
  for (const auto& [file, airport, why] : cases) {
    std::string unreadable;
    EXPECT_EQ(lf_hasAirportSection(file, &unreadable), airport) << file;
    EXPECT_EQ(unreadable, why) << file;
  }
}

// Where one parking entry ends and the next begins (its airline codes), and
// the bit fields of an entry: name code, type, a number up to 4095.
TEST(BglReader, ParkingEntryFields) {
  BglAirportSpec a;
  a.parking = {BglParking{.number = 300, .latitude = 51.471, .airlineCount = 3},
               BglParking{.nameCode = 37, .number = 4095, .type = 5, .radius = 30.0f, .latitude = 51.472,
                          .airlineCount = 255},
               BglParking{.nameCode = 2, .number = 256, .type = 14, .latitude = 51.473}};
  const BglContent c = readAirport(a);
  ASSERT_EQ(c.airports.size(), 1u);
  const std::vector<Stand>& stands = c.airports[0].stands;
  EXPECT_THAT(names(c.airports[0]), ElementsAre("g300", "Z4095", "p256"));
  ASSERT_EQ(stands.size(), 3u);
  EXPECT_NEAR(stands[1].latitude, 51.472, 1e-6);
  EXPECT_NEAR(stands[1].radius * 1852.0, 30.0, 1e-4);
  EXPECT_EQ(stands[1].cargo, 1);
  EXPECT_NEAR(stands[2].latitude, 51.473, 1e-6);
  EXPECT_EQ(stands[2].ramp, 1);
  EXPECT_THAT(c.airports[0].standLog, ::testing::IsEmpty());
}
