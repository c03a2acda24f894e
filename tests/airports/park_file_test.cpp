#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/park_file.h"
#include "airports/quality.h"
#include "app/files.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/xml.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/park_file_builder.h"
#include "support/workdir.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::logContains;
using testsupport::logHasLine;
using testsupport::ParkFileBuilder;
using testsupport::ParkOptEntry;
using testsupport::ParkposEntry;
namespace fs = std::filesystem;

namespace {

StandOption option(std::string reg, std::string airline, std::string type, std::uint32_t day, std::uint64_t hours,
                   std::string cs = "", std::string cs2 = "", std::uint32_t real = 1, std::uint32_t id = 1) {
  StandOption o;
  o.airline = std::move(airline);
  o.type = std::move(type);
  o.registration = std::move(reg);
  o.callsign = std::move(cs);
  o.callsign2 = std::move(cs2);
  o.hours = hours;
  o.id = id;
  o.day = day;
  o.real = real;
  return o;
}

Stand stand(std::string name, double lat, double lon, double headingDeg, double radiusM, bool cargo = false,
            bool ramp = false, bool heli = false, std::vector<StandOption> options = {}) {
  return Stand(std::move(name), std::move(options), StandPosition{lat, lon, gf_degToRad(headingDeg)}, radiusM,
               cargo ? 0 : 1, ramp ? 0 : 1, heli ? 0 : 1);
}

ParkAirport airport(std::string publisher = "Sim Studio") {
  ParkAirport a;
  a.icao = "EGLL";
  a.airportName = "London Heathrow";
  a.publisher = std::move(publisher);
  a.bglPath = "Community\\egll\\scenery\\egll.bgl";
  a.manufacturer = "Maker";
  a.creator = "Creator";
  a.altitude = -12;
  a.qfReal = 63;
  a.qfSoft = 7;
  return a;
}

// "name=value" of every attribute of an element, in order.
std::vector<std::string> attrs(const pugi::xml_node& node) {
  std::vector<std::string> texts;
  for (const pugi::xml_attribute& a : node.attributes()) texts.push_back(std::string(a.name()) + "=" + a.value());
  return texts;
}
// "name=value" of every parameter, in file order.
std::vector<std::string> parameters(const fs::path& path) {
  std::vector<std::string> texts;
  const pugi::xml_document document = testsupport::loadApf(path);
  for (const pugi::xml_node& p : document.child("parameters").children("parameter")) {
    texts.push_back(std::string(p.attribute("name").value()) + "=" + p.attribute("value").value());
  }
  return texts;
}
pugi::xml_node parkpos(const pugi::xml_document& document, const char* id) {
  return document.child("parkpositions").find_child_by_attribute("parkpos", "id", id);
}
// An option as "id origin real: airline type reg cs:cs2 day hh".
std::string text(const StandOption& o) {
  return fmt::format("{} {} {}: {} {} {} {}:{} {} {}", o.id, o.origin, o.real, o.airline, o.type, o.registration,
                     o.callsign, o.callsign2, o.day, gf_bitset2hours(o.hours));
}
std::vector<std::string> texts(const std::vector<StandOption>& options) {
  std::vector<std::string> lines;
  for (const StandOption& o : options) lines.push_back(text(o));
  return lines;
}
// The cargo, ramp and heli flags as "010".
std::string kinds(const Stand& s) { return fmt::format("{}{}{}", s.cargo, s.ramp, s.heli); }

// Every stand of the file's first "parkpositions", read as the park airport reader does.
std::vector<Stand> readStands(const fs::path& path, std::uint32_t origin = 1) {
  const pugi::xml_document document = testsupport::loadApf(path);
  std::vector<Stand> stands;
  for (const pugi::xml_node& p : document.child("parkpositions").children("parkpos")) {
    lf_readParkpos(p, p.attribute("id").value(), origin, stands);
  }
  return stands;
}

class ParkFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    gf_resetDbaseForTests();
    g_apfHandmade = false;
    g_simLabel.set("MSFS");
  }
  void TearDown() override {
    gf_resetParametersToDefaults();
    gf_resetDbaseForTests();
    g_apfHandmade = false;
  }
};

TEST_F(ParkFileTest, GeneratedFileReadsBackStandByStand) {
  ParkAirport a = airport();
  a.stands.push_back(stand("A1", 51.4775, -0.461389, 270.04, 37.04, false, true, false,
                           {option("G-EUPT", "BAW", "A319", 3, 1)}));
  a.stands.push_back(stand("C2", -33.94611149, 151.1772, 359.96, 45.26, true));
  a.stands.push_back(stand("H1", 51.470001, -0.45, 12.34, 15.0, true, false, true));
  fs::create_directories("airports");
  ASSERT_TRUE(gf_writeApf(a, "airports/EGLL.xml", ApfMode::generated));
  EXPECT_TRUE(logHasLine("'airports/EGLL.xml' saved"));

  const std::string text = testsupport::readFile("airports/EGLL.xml");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\" value=\"Skyloom\" />\n", 0), 0u);
  const pugi::xml_document document = testsupport::loadApf("airports/EGLL.xml");
  std::vector<std::string> topLevel;
  for (const pugi::xml_node& c : document.children()) topLevel.emplace_back(c.name());
  EXPECT_THAT(topLevel, ElementsAre("meta", "parameters", "parkpositions"));
  EXPECT_THAT(parameters("airports/EGLL.xml"), ElementsAre("airport_name=London Heathrow", "publisher=Sim Studio",
                                                           "altitude=-12", "num_parkpos=3"));
  // Six decimals of degrees, one of degrees and of metres; no options.
  EXPECT_THAT(attrs(parkpos(document, "A1")),
              ElementsAre("id=A1", "latitude=51.477500", "longitude=-0.461389", "heading=270.0", "radius=37.0",
                          "cargo=false", "ramp=true"));
  EXPECT_FALSE(parkpos(document, "A1").child("opt"));
  EXPECT_THAT(attrs(parkpos(document, "C2")),
              ElementsAre("id=C2", "latitude=-33.946111", "longitude=151.177200", "heading=360.0", "radius=45.3",
                          "cargo=true", "ramp=false"));
  // A helipad says "heli" instead of "cargo", even when its cargo flag is set.
  EXPECT_THAT(attrs(parkpos(document, "H1")),
              ElementsAre("id=H1", "latitude=51.470001", "longitude=-0.450000", "heading=12.3", "radius=15.0",
                          "heli=true", "ramp=false"));

  const std::vector<Stand> stands = readStands("airports/EGLL.xml");
  ASSERT_EQ(stands.size(), 3u);
  EXPECT_EQ(stands[0].name, "A1");
  EXPECT_DOUBLE_EQ(stands[0].latitude, 51.4775);
  EXPECT_DOUBLE_EQ(stands[0].longitude, -0.461389);
  EXPECT_DOUBLE_EQ(stands[0].heading, 270.0 * 0.017453292519943295);
  EXPECT_DOUBLE_EQ(stands[0].radius, 37.0 * 0.0005399568034557236);
  EXPECT_TRUE(stands[0].options.empty());
  EXPECT_DOUBLE_EQ(stands[1].latitude, -33.946111);
  EXPECT_THAT(std::vector<std::string>({kinds(stands[0]), kinds(stands[1]), kinds(stands[2])}),
              ElementsAre("010", "100", "001"));
}

TEST_F(ParkFileTest, LearnedFileHoldsTheSettingsAndWhatTheMergeReads) {
  ParkAirport a = airport();
  a.stands.push_back(stand("P1", 51.1, -0.1, 90, 30, false, false, false, {option("", "EZY", "A320", 1, 2)}));
  a.stands.push_back(stand("R1", 51.2, -0.2, 90, 41.04));
  a.stands.back().radiusChange = 1;
  a.stands.push_back(stand("K1", 51.3, -0.3, 90, 30, true));
  a.stands.back().cargoChange = 1;
  a.stands.push_back(stand("B1", 51.4, -0.4, 90, 30));
  a.stands.back().radiusChange = a.stands.back().cargoChange = 1;
  a.stands.push_back(stand("M1", 51.5, -0.5, 45, 25, false, true, false, {option("", "RYR", "B738", 6, 8)}));
  a.stands.back().manual = a.stands.back().radiusChange = 1;
  ASSERT_TRUE(gf_writeApf(a, "L.xml", ApfMode::learned));

  const pugi::xml_document document = testsupport::loadApf("L.xml");
  EXPECT_THAT(parameters("L.xml"),
              ElementsAre("airport_name=London Heathrow", "publisher=Sim Studio", "num_parkpos=5", "LATERAL_RANGE=40",
                          "AUTO_RANGE=false", "WEEK=false", "PARK_FAKE=false", "PARK_SOFT=true",
                          "parking_percentage=30", "INITIAL_LOAD_ONLY=false", "MAX_FIT=47", "LEARN_SOFT=true"));
  EXPECT_THAT(attrs(parkpos(document, "P1")), ElementsAre("id=P1"));
  EXPECT_TRUE(parkpos(document, "P1").child("opt"));
  EXPECT_THAT(attrs(parkpos(document, "R1")), ElementsAre("id=R1", "radius_change=true", "radius=41.0"));
  EXPECT_THAT(attrs(parkpos(document, "K1")), ElementsAre("id=K1", "cargo_change=true", "cargo=true"));
  EXPECT_THAT(attrs(parkpos(document, "B1")),
              ElementsAre("id=B1", "radius_change=true", "radius=30.0", "cargo_change=true", "cargo=false"));
  EXPECT_THAT(attrs(parkpos(document, "M1")),
              ElementsAre("id=M1", "latitude=51.500000", "longitude=-0.500000", "heading=45.0", "radius=25.0",
                          "cargo=false", "ramp=true", "manual=true"));

  // Only the manual stand has a position, so only it reads back as a stand.
  const std::vector<Stand> stands = readStands("L.xml", 0);
  ASSERT_EQ(stands.size(), 1u);
  EXPECT_EQ(stands[0].name, "M1");
  EXPECT_EQ(stands[0].ramp, 1);
  EXPECT_THAT(texts(stands[0].options), ElementsAre("1 0 1: RYR B738  : 6 3"));

  // "MAX_LIVE" comes in only when the live maximum is not 500; the values are the current ones.
  prm::RANGE.set(35);
  prm::AUTO_RANGE.set(true);
  prm::parking_percentage.setWithoutClamping(55);
  prm::MAX_FIT.set(12);
  for (const auto& [maxLive, expected] : {std::pair{100, "MAX_LIVE=100"}, std::pair{-1, "MAX_LIVE=-1"}}) {
    prm::MAX_LIVE_SEL.setWithoutClamping(maxLive);
    ASSERT_TRUE(gf_writeApf(a, "L.xml", ApfMode::learned));
    const std::vector<std::string> texts = parameters("L.xml");
    ASSERT_EQ(texts.size(), 13u);
    EXPECT_THAT(std::vector<std::string>(texts.begin() + 3, texts.end()),
                ElementsAre("LATERAL_RANGE=35", "AUTO_RANGE=true", "WEEK=false", "PARK_FAKE=false", "PARK_SOFT=true",
                            "parking_percentage=55", "INITIAL_LOAD_ONLY=false", "MAX_FIT=12", expected,
                            "LEARN_SOFT=true"));
  }
}

TEST_F(ParkFileTest, HandmadeFlagAndUnknownPublisher) {
  ParkAirport a = airport("unknown");
  a.stands.push_back(stand("R1", 51.2, -0.2, 90, 41));
  a.stands.back().radiusChange = 1;
  g_apfHandmade = true;
  ASSERT_TRUE(gf_writeApf(a, "H.xml", ApfMode::learned));
  const std::vector<std::string> texts = parameters("H.xml");
  ASSERT_GE(texts.size(), 10u);
  EXPECT_THAT(std::vector<std::string>(texts.begin(), texts.begin() + 10),
              ElementsAre("airport_name=London Heathrow", "publisher=unknown", "handmade=true", "altitude=-12",
                          "num_parkpos=1", "Qf_real=63", "Qf_soft=7", "BGLpath=Community\\egll\\scenery\\egll.bgl",
                          "manufacturer=Maker", "creator=Creator"));
  // A handmade file replaces the park file's stands, so a changed stand keeps its position.
  EXPECT_EQ(readStands("H.xml").size(), 1u);

  // The flag of the loaded park airport does not leak into a scanned airport's file.
  ASSERT_TRUE(gf_writeApf(a, "G.xml", ApfMode::generated));
  EXPECT_THAT(parameters("G.xml"),
              ElementsAre("airport_name=London Heathrow", "publisher=unknown", "altitude=-12", "num_parkpos=1",
                          "BGLpath=Community\\egll\\scenery\\egll.bgl", "manufacturer=Maker", "creator=Creator"));
  // The three texts belong to the publisher "unknown" exactly.
  a.publisher = "Unknown";
  ASSERT_TRUE(gf_writeApf(a, "G.xml", ApfMode::generated));
  EXPECT_THAT(parameters("G.xml"),
              ElementsAre("airport_name=London Heathrow", "publisher=Unknown", "altitude=-12", "num_parkpos=1"));
}

TEST_F(ParkFileTest, OptionsAreEncodedAndReadBack) {
  testsupport::DbaseBuilder().reg("G-EUPT", "BAW", "A319", "SHT").reg("D-AIBA", "DLH", "A319").write();
  gf_readDbase();
  ParkAirport a = airport();
  a.stands.push_back(stand("A1", 51.1, -0.1, 90, 30, false, false, false,
                           {option("G-EUPT", "XXX", "B738", 1, (1ull << 0) | (1ull << 1) | (1ull << 47), "BAW12", "BAW12X", 1, 1),
                            option("N123", "AAL", "B77W", 2, 0, "", "AAL5", 0, 0),  // out of play
                            option("N123", "AAL", "B77W", 7, 1ull << 20, "", "AAL5", 0, 3),
                            option("GEUPT", "XXX", "B738", 3, 1ull << 5, "SHT4", "", 1, 4),
                            option("", "EZY", "A320", 4, 0, "EZY1", "", 1, 5),
                            option("D-AIBA", "", "", 5, 1ull << 9, "DLH1", "", 1, 6)}));
  g_apfHandmade = true;  // a full stand, so the options read back through the stand reader
  ASSERT_TRUE(gf_writeApf(a, "O.xml", ApfMode::learned));

  const pugi::xml_document document = testsupport::loadApf("O.xml");
  std::vector<std::vector<std::string>> written;
  for (const pugi::xml_node& opt : parkpos(document, "A1").children("opt")) written.push_back(attrs(opt));
  ASSERT_EQ(written.size(), 5u) << "the option with id 0 is left out";
  EXPECT_THAT(written[0], ElementsAre("reg=G-EUPT", "day=1", "hh=0,1,47", "cs=BAW12:BAW12X"));
  EXPECT_THAT(written[1], ElementsAre("reg=N123", "airl=AAL", "type=B77W", "soft=true", "day=7", "hh=20"));
  EXPECT_THAT(written[2], ElementsAre("reg=GEUPT", "day=3", "hh=5", "cs=SHT4"));
  EXPECT_THAT(written[3], ElementsAre("reg=", "airl=EZY", "type=A320", "day=4", "hh=", "cs=EZY1"));
  EXPECT_THAT(written[4], ElementsAre("reg=D-AIBA", "day=5", "hh=9", "cs=DLH1"));

  const std::vector<Stand> stands = readStands("O.xml", 1);
  ASSERT_EQ(stands.size(), 1u);
  // Ids run on; a known registration takes its operator (else its airline) and type from the database.
  EXPECT_THAT(texts(stands[0].options),
              ElementsAre("1 1 1: SHT A319 G-EUPT BAW12:BAW12X 1 0,1,47", "2 1 0: AAL B77W N123 : 7 20",
                          "3 1 1: SHT A319 GEUPT SHT4: 3 5", "4 1 1: EZY A320  EZY1: 4 ",
                          "5 1 1: DLH A319 D-AIBA DLH1: 5 9"));
}

TEST_F(ParkFileTest, ReaderTakesFlagsDefaultsAndCallsignsAsWritten) {
  ParkFileBuilder()
      .airport("Test", "stock", 80)
      .parkpos(ParkposEntry::idOnly("Z0").set("latitude", "0").set("longitude", "0.0"))
      .parkpos(ParkposEntry::idOnly("NOPOS").set("radius", "20"))
      .parkpos(ParkposEntry::idOnly("BARE").set("latitude", "10.5").set("longitude", " -20 "))
      .parkpos(ParkposEntry::at("F1", 1, 2).set("cargo", "Yes").set("ramp", "1").set("heli", "no"))
      .parkpos(ParkposEntry::at("F2", 1, 2)
                   .set("cargo", "0")
                   .set("heli", "T")
                   .opt(ParkOptEntry::of("", "AAA", "B744", "2", "", "A:B:C", true))
                   .opt(ParkOptEntry::of("", "BBB", "B744", "+3", "1, 2 ,3").drop("airl").drop("type")))
      .write("airports/T.xml");
  const std::vector<Stand> stands = readStands("airports/T.xml", 1);
  ASSERT_EQ(stands.size(), 3u) << "stands at 0/0 or without a position are left out";
  EXPECT_FALSE(logContains("Z0"));
  EXPECT_EQ(stands[0].name, "BARE");
  EXPECT_DOUBLE_EQ(stands[0].longitude, -20.0);
  EXPECT_EQ(stands[0].radius, 0.0);
  EXPECT_EQ(stands[0].heading, 0.0);
  EXPECT_THAT(std::vector<std::string>({kinds(stands[0]), kinds(stands[1]), kinds(stands[2])}),
              ElementsAre("000", "110", "001"));
  EXPECT_THAT(texts(stands[2].options), ElementsAre("1 1 0: AAA B744  A:B:C 2 ", "2 1 1:    : 3 1,2,3"));
}

TEST_F(ParkFileTest, ReaderTakesLeadingNumbersAndSkipsOnlyHarmfulStands) {
  ParkFileBuilder builder;
  const std::vector<std::pair<const char*, const char*>> bad = {
      {"latitude", "91"},   {"latitude", "nan"},  {"longitude", "-180.5"}, {"longitude", "inf"},
      {"heading", "1e400"}, {"heading", "NaN"},   {"radius", "-1"},        {"radius", "1000000"},
      {"radius", "infinity"}};
  for (std::size_t i = 0; i < bad.size(); ++i) {
    builder.parkpos(ParkposEntry::at(fmt::format("X{}", i), 51, -1).set(bad[i].first, bad[i].second));
  }
  // Numbers are read as far as they go; a weekday outside 1..7 is kept.
  builder.parkpos(ParkposEntry::at("OK", 90, -180, -361, 1000)
                      .set("latitude", " +12.5abc")
                      .set("radius", "35.0m")
                      .opt(ParkOptEntry::of("R0", "AAA", "A320", "0", "1"))
                      .opt(ParkOptEntry::of("R1", "AAA", "A320", "1", "3,48,47,99,-1"))
                      .opt(ParkOptEntry::of("R8", "AAA", "A320", "8", "1,50"))
                      .opt(ParkOptEntry::of("RX", "AAA", "A320", "x", "1"))
                      .opt(ParkOptEntry::of("RN", "AAA", "A320", "", "1").drop("day"))
                      .opt(ParkOptEntry::of("R7", "AAA", "A320", "7th", "2")));
  builder.parkpos(ParkposEntry::at("Z", 1, 1).set("latitude", "abc").set("longitude", "-0x").set("radius", "0x10"));
  // A number too small for a double is 0, as strtod reads it; one coordinate
  // of 0 is a position.
  builder.parkpos(ParkposEntry::at("U", 51, 1).set("longitude", "1e-400").set("radius", "0.00001e-320"));
  builder.parkpos(ParkposEntry::at("Q", 1, 1).set("latitude", "-0x1p-2000").set("longitude", "1e-999"));
  builder.parkpos(ParkposEntry::at("L0", 0, 5));
  builder.write("airports/B.xml");

  const std::vector<Stand> stands = readStands("airports/B.xml");
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_TRUE(logHasLine(fmt::format("===> lf_readParkpos: stand X{} skipped, invalid {} '{}'", i, bad[i].first,
                                       bad[i].second)));
  }
  ASSERT_EQ(stands.size(), 3u) << "a stand at 0/0 is left out";
  EXPECT_EQ(stands[0].name, "OK");
  EXPECT_EQ(stands[1].name, "U");
  EXPECT_EQ(stands[1].longitude, 0.0);
  EXPECT_EQ(stands[1].radius, 0.0);
  EXPECT_EQ(stands[2].name, "L0");
  EXPECT_EQ(stands[2].longitude, 5.0);
  EXPECT_DOUBLE_EQ(stands[0].latitude, 12.5);
  EXPECT_NEAR(gf_nmToMetres(stands[0].radius), 35.0, 1e-9);
  EXPECT_NEAR(gf_radToDeg(stands[0].heading), -361.0, 1e-9);
  EXPECT_THAT(texts(stands[0].options),
              ElementsAre("1 1 1: AAA A320 R0 : 0 1", "2 1 1: AAA A320 R1 : 1 3,47", "3 1 1: AAA A320 R8 : 8 1",
                          "4 1 1: AAA A320 RX : 0 1", "5 1 1: AAA A320 RN : 0 1", "6 1 1: AAA A320 R7 : 7 2"));
  EXPECT_TRUE(logHasLine("===> stand OK: invalid hour '48' in 3,48,47,99,-1"));
  EXPECT_TRUE(logHasLine("===> stand OK: invalid hour '50' in 1,50"));
  EXPECT_FALSE(logContains("skipped, invalid day"));

  // What was read is written back as it was read.
  ParkAirport a = airport();
  a.stands = {stands[0]};
  ASSERT_TRUE(gf_writeApf(a, "airports/C.xml", ApfMode::learned, true));
  const pugi::xml_document written = testsupport::loadApf("airports/C.xml");
  EXPECT_EQ(std::string(parkpos(written, "OK").attribute("radius").value()), "35.0");
  std::vector<std::string> days;
  for (const pugi::xml_node& o : parkpos(written, "OK").children("opt")) days.push_back(o.attribute("day").value());
  EXPECT_THAT(days, ElementsAre("0", "1", "8", "0", "0", "7"));
  EXPECT_EQ(readStands("airports/C.xml")[0].options.size(), 6u);

  // Weekdays 0 and 8 count as options and half hours, not as days:
  // 2 x 20 + 10000 + 0 + 2 x 2 bits, times 0.00625.
  const std::vector<Stand> edge{Stand("E", {stands[0].options[0], stands[0].options[2]}, StandPosition{1, 1, 0}, 20.0,
                                      1, 1, 1)};
  EXPECT_EQ(gf_computeQualityFactors(edge), (std::pair<std::int32_t, std::int32_t>{63, 0}));
}

// An "opt" element with these attributes, read as the stand readers read it.
StandOption readOpt(const std::string& attributes) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(fmt::format("<opt {}/>", attributes).c_str())) << attributes;
  StandOption option;
  gf_readOptElement(document.first_child(), "S", option);
  return option;
}

TEST_F(ParkFileTest, ARepeatedOptionAttributeCountsByItsFirstValue) {
  const struct {
    const char* attributes;
    std::string (*field)(const StandOption&);
    const char* expected;
  } rows[] = {
      {R"(reg="G-ONE" reg="G-TWO")", [](const StandOption& o) { return o.registration; }, "G-ONE"},
      {R"(airl="AAA" airl="BBB")", [](const StandOption& o) { return o.airline; }, "AAA"},
      {R"(type="A320" type="B738")", [](const StandOption& o) { return o.type; }, "A320"},
      {R"(cs="ONE:TWO" cs="X")", [](const StandOption& o) { return o.callsign + "/" + o.callsign2; }, "ONE/TWO"},
      {R"(hh="1" hh="2")", [](const StandOption& o) { return gf_bitset2hours(o.hours); }, "1"},
      {R"(day="3" day="4")", [](const StandOption& o) { return fmt::format("{}", o.day); }, "3"},
      {R"(soft="true" soft="false")", [](const StandOption& o) { return fmt::format("{}", o.real); }, "0"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.field(readOpt(row.attributes)), row.expected) << row.attributes;
}

TEST_F(ParkFileTest, HalfHoursAreReadAlikeWhetherPlainOrNot) {
  // The plain list is read on a fast path; every other text as the general
  // reader reads it (an empty piece is no hour).
  for (const char* hh : {"1,,2", ",1", "1,", ",", ",,", " 1", "01,2", "1, 2", "0", "47", "48", "1,48", "1;2", ""}) {
    EXPECT_EQ(readOpt(fmt::format("hh=\"{}\"", hh)).hours, gf_hours2bitset(hh, "x")) << hh;
  }
}

TEST_F(ParkFileTest, FilesAreReplacedWholeOrNotAtAll) {
  ParkAirport a = airport();
  a.stands.push_back(stand("A1", 51.1, -0.1, 90, 30));
  // A name the folder can hold, but not with the temporary file's suffix.
  const fs::path target = fs::path("airports") / (std::string(247, 'E') + ".xml");
  const std::string old = ParkFileBuilder().airport("Old", "stock", 1).xml();
  testsupport::writeFile(target, old);
  EXPECT_FALSE(gf_writeApf(a, target, ApfMode::generated));
  EXPECT_EQ(testsupport::readFile(target), old);
  EXPECT_EQ(gf_countSubfolders("airports"), 1u) << "no temporary file is left";
  EXPECT_TRUE(logContains("could not save to"));

  EXPECT_FALSE(gf_writeApf(a, "missing/EGLL.xml", ApfMode::generated));
  EXPECT_FALSE(fs::exists("missing"));

  testsupport::writeFile("airports/EGLL.xml", old + std::string(100000, ' '));
  ASSERT_TRUE(gf_writeApf(a, "airports/EGLL.xml", ApfMode::generated));
  EXPECT_EQ(gf_countSubfolders("airports"), 2u);
  EXPECT_THAT(testsupport::readFile("airports/EGLL.xml"), HasSubstr("<parkpos id=\"A1\""));
  EXPECT_LT(testsupport::readFile("airports/EGLL.xml").size(), 2000u);
}

TEST_F(ParkFileTest, LoaderAcceptsThreeTopLevelElementsAndReportsBrokenFiles) {
  pugi::xml_document document;
  std::string error;
  ParkFileBuilder().withoutDeclaration().airport("X", "stock", 5).write("a.xml");
  ASSERT_TRUE(gf_loadApfDocument("a.xml", document, error));
  EXPECT_EQ(gf_getParamInt(document, "altitude"), 5);
  ParkFileBuilder().trailing("<parkpositions><parkpos id=\"late\"").write("b.xml");
  EXPECT_FALSE(gf_loadApfDocument("b.xml", document, error));
  EXPECT_THAT(error, HasSubstr("offset"));
  EXPECT_FALSE(document.first_child());
  EXPECT_FALSE(gf_loadApfDocument("none.xml", document, error));
  EXPECT_FALSE(error.empty());
}

TEST(ParkFileQuality, FactorsAreShownAsTheWindowExpects) {
  EXPECT_EQ(gf_formatQualityFactors({-1, -1}), "  ");
  EXPECT_EQ(gf_formatQualityFactors({-1, 5}), "-1/ 5");
  EXPECT_EQ(gf_formatQualityFactors({0, 0}), " 0/ 0");
  EXPECT_EQ(gf_formatQualityFactors({44, 13}), "44/13");
  EXPECT_EQ(gf_formatQualityFactors({45, 13}), "45");
  EXPECT_EQ(gf_formatQualityFactors({100, 0}), "100");
}

}  // namespace

TEST(ParkFileDocument, StandsReadElementByElementAreThoseOfTheWholeDocument) {
  // What the readers see of a loaded file: its parameters, and per stand
  // element its attributes and children, in order.
  const auto seen = [](const pugi::xml_node& head, const std::vector<pugi::xml_node>& stands) {
    std::string text = fmt::format("altitude={} name={}|", gf_getParamString(head, "altitude"),
                                   gf_getParamString(head, "airport_name"));
    for (const pugi::xml_node& stand : stands) {
      for (const pugi::xml_attribute& a : stand.attributes()) text += fmt::format("{}={};", a.name(), a.value());
      for (const pugi::xml_node& child : stand.children()) {
        text += fmt::format("<{}:{}", child.name(), child.child_value());
        for (const pugi::xml_attribute& a : child.attributes()) text += fmt::format(" {}={}", a.name(), a.value());
      }
      text += "|";
    }
    return text;
  };
  const std::string head = "<meta><info name=\"author\" value=\"x\" /></meta>\n"
                           "<parameters><parameter name=\"altitude\" value=\"83\" /></parameters>\n";
  const std::string stands = "<parkpositions>\n\t<parkpos id=\"A1\" latitude=\"51.5\">\n\t\t<opt reg=\"G-ABCD\" "
                             "hh=\"1,2\" />\n\t</parkpos>\n\t<parkpos id='B&amp;2' radius = '20'/>\n</parkpositions>\n";
  // Stands of half a megabyte each: their text lies across blocks of it.
  std::string large = "<parkpositions>";
  for (int stand = 0; stand < 3; ++stand) {
    large += fmt::format("<parkpos id=\"L{}\">", stand);
    for (int k = 0; k < 6000; ++k)
      large += fmt::format("\n\t\t<opt reg=\"D-A{:04}\" airl=\"DLH\" type=\"A320\" day=\"{}\" hh=\"{}\" cs=\"DLH{}\" />", k,
                           k % 7 + 1, k % 48, k);
    large += "</parkpos>";
  }
  large += "</parkpositions>";
  // The first six have the plain form and are read element by element.
  const std::string rows[] = {
      head + large,
      "<?xml version=\"1.0\"?>\n" + head + stands,
      "\xEF\xBB\xBF" + head + stands,
      head + "<!-- a <note> -->\n" + stands + "<parameters><parameter name=\"airport_name\" value=\"late\" /></parameters>",
      head + "<parkpositions><other/>text &lt; &#65;<parkpos id=\"C\"><opt day=\"3\">x<y/></opt></parkpos>"
             "<!-- --><parkpos id=\"D\"\r\n a=\"1\r\n2\"></parkpos\t></parkpositions ><parkpositions><parkpos id=\"E\"/>"
             "</parkpositions>",
      head + "<parkpositions/>" + stands,
      // Forms read whole by the XML library.
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + head + "<parkpositions><parkpos id=\"\xC4\" /></parkpositions>",
      head + "<parkpositions><parkpos id=\"A\"><![CDATA[<x>]]></parkpos><?pi x?></parkpositions>",
      "<!DOCTYPE x>" + head + stands,
      head + "<parkpositions><parkpos id=\"A<\" /><parkpos id=\"B\"a=\"1\"/></parkpositions>",
      // Broken files.
      head + "<parkpositions><parkpos id=\"A\"></parkpositions>",
      head + stands + "<parameters>",
      head + "<parkpositions><parkpos id=\"A\" /></parkpositions>trailing",
      head + "<parkpositions><parkpos id=\"A\" />" + std::string(1, '\0') + "</parkpositions>",
      "<?xml version=\"1.0\"?>\ntext" + head + "<parkpositions><parkpos id=\"A\" er",  // broken at its last byte
      "",
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const std::string& row = rows[i];
    SCOPED_TRACE(row.substr(0, 300));
    testsupport::writeFile("apf.xml", row);
    pugi::xml_document whole;
    std::string wholeError;
    const bool wholeLoaded = gf_loadApfDocument("apf.xml", whole, wholeError);
    ApfDocument document;
    std::string error;
    ASSERT_EQ(document.load("apf.xml", error), wholeLoaded);
    EXPECT_EQ(error, wholeError);
    if (!wholeLoaded) continue;
    // A close asked for before the load abandons it, whichever way the file
    // is read (the closes during each phase are measured by the parking bench).
    g_stopRun = true;
    ApfDocument closing;
    EXPECT_FALSE(closing.load("apf.xml", error));
    EXPECT_TRUE(closing.stopped());
    g_stopRun = false;
    std::vector<pugi::xml_node> wholeStands;
    for (const pugi::xml_node& p : whole.child("parkpositions").children("parkpos")) wholeStands.push_back(p);
    std::string visited;
    document.forEachParkpos([&](const pugi::xml_node& p) {
      visited += seen(pugi::xml_node(), {p});
      return true;
    });
    std::string expected;
    for (const pugi::xml_node& p : wholeStands) expected += seen(pugi::xml_node(), {p});
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(seen(document.head(), {}), seen(whole, {}));
    EXPECT_EQ(document.head().child("parkpositions").first_child().empty(), i < 6);
  }
}

TEST(ParkFileDocument, AFileReadAsOneTreeTakesAtMostItsBoundOfMemory) {
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  const std::string body = "<meta><info name=\"author\" value=\"x\"/></meta>\n<parkpositions>\n";
  struct Case {
    const char* name;
    std::string declaration;
    std::string element;
    bool read;
    std::size_t size = kApfMinTreeBytes / 8;  // past the smallest bound, and quick
    bool beforeStands = false;  // the elements come before the stand list
  } cases[] = {
      {"tiny elements", latin1, "<a/>", false},
      // Of the plain form, but what lies outside the stand list is one tree.
      {"tiny elements before the stand list", "", "<a/>", false, kApfMinTreeBytes / 8, true},
      {"tiny elements nested", latin1, "<a>", false},
      {"a stand list", latin1, "<parkpos id=\"P1\" latitude=\"50.000000\" longitude=\"8.000000\" radius=\"20.0\"/>\n",
       true},
      // An editor that saves the file may declare UTF-8: it is still read
      // stand by stand, never refused for the size of its tree.
      {"options declared UTF-8", "<?xml version='1.0' encoding = 'utf-8'?>\n",
       "<parkpos id=\"P1\"><opt a=\"KLM\" t=\"B738\" w=\"1\" hh=\"3\"/></parkpos>\n", true,
       kApfMinTreeBytes / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string elements;
    while (elements.size() < c.size) elements += c.element;
    const std::string text =
        c.declaration + (c.beforeStands ? elements + body : body + elements) + "</parkpositions>\n";
    testsupport::writeFile("a.xml", text);
    ApfDocument document;
    std::string error;
    EXPECT_EQ(document.load("a.xml", error), c.read);
    EXPECT_EQ(error.find("would take more than") != std::string::npos, !c.read) << error;
  }

  // A close fails the library's next allocation: a parse ends at once.
  const std::atomic<bool> stop{true};
  pugi::xml_document document;
  const XmlMemoryBudget budget(kApfMinTreeBytes, &stop);
  EXPECT_FALSE(document.load_string("<a><b/></a>"));
  EXPECT_TRUE(budget.stopped());
}
