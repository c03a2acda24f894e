#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/closest_stand.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/geo.h"
#include "app/log.h"
#include "support/airport_builders.h"
#include "support/log_reader.h"
#include "support/workdir.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using testsupport::AirportEntry;
using testsupport::logLines;

namespace {

class AirportListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetAirportsForTests();
    testsupport::openTestLog();
  }
  void TearDown() override {
    g_closestStandFinder = gf_defaultClosestStandFinder();
    gf_resetAirportsForTests();
  }

  static std::vector<std::string> codes() {
    std::vector<std::string> result;
    for (const AirportRec& a : g_airports) result.push_back(a.icao);
    return result;
  }

  static void readList(const std::vector<AirportEntry>& airports) {
    testsupport::writeAirportList(airports);
    gf_readAirports("airports_msfs.xml");
  }
};

// A latitude north of origin whose computed distance is exactly nm.
std::optional<double> latitudeAtExactly(const LatLon& origin, double nm) {
  double lo = origin.latitude;
  double hi = origin.latitude + 1.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2.0;
    if (gf_distanceNm(origin, LatLon{mid, origin.longitude}) < nm) lo = mid; else hi = mid;
  }
  double lat = lo;
  for (int i = 0; i < 256; ++i) lat = std::nextafter(lat, -std::numeric_limits<double>::infinity());
  for (int i = 0; i < 512; ++i) {
    if (gf_distanceNm(origin, LatLon{lat, origin.longitude}) == nm) return lat;
    lat = std::nextafter(lat, std::numeric_limits<double>::infinity());
  }
  return std::nullopt;
}

// A latitude north of origin at about nm (not exact).
double latitudeAt(const LatLon& origin, double nm) {
  double lo = origin.latitude;
  double hi = origin.latitude + 1.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2.0;
    if (gf_distanceNm(origin, LatLon{mid, origin.longitude}) < nm) lo = mid; else hi = mid;
  }
  return hi;
}

TEST_F(AirportListTest, ReadsRecordsSortedByByteOrderAndShrinksTheList) {
  readList({AirportEntry::at("KJFK", 40.6398, -73.7789, 13.0, "JFK"),
            AirportEntry{"EGLL", "  +51.4775", "-4.61e-1", "83ft", "LHR"},
            AirportEntry::at("a1", 1.0, 2.0),
            AirportEntry::at("\xC3\x89XYZ", 3.0, 4.0),
            AirportEntry::at("EG", 5.0, 6.0),
            AirportEntry::at("Z9", 7.0, 8.0)});

  // Prefixes first, capitals before lower case, bytes above 0x7F last.
  EXPECT_THAT(codes(), ElementsAre("EG", "EGLL", "KJFK", "Z9", "a1", "\xC3\x89XYZ"));
  EXPECT_TRUE(g_airportsRead.load());
  EXPECT_EQ(g_airports.capacity(), g_airports.size());

  const AirportRec& egll = g_airports[1];
  EXPECT_EQ(egll.iata, "LHR");
  EXPECT_DOUBLE_EQ(egll.latitude, 51.4775);
  EXPECT_DOUBLE_EQ(egll.longitude, -0.461);
  EXPECT_DOUBLE_EQ(egll.altitude, 83.0);
  EXPECT_EQ(g_airports[0].iata, "");

  EXPECT_THAT(logLines(), Contains("6 airports read from 'input/airports_msfs.xml'"));

  // Read once per process: a second call answers at once, whatever the file.
  EXPECT_TRUE(gf_readAirports("no_such_file.xml"));
  EXPECT_EQ(g_airports.size(), 6u);
}

TEST_F(AirportListTest, SkipsBadRecordsWithTheirLogLines) {
  readList({AirportEntry{"NOLA", std::nullopt, "1", "2", std::nullopt},
            AirportEntry{"NOAL", "1", "2", std::nullopt, std::nullopt},
            AirportEntry{"LETR", "abc", "2", "3", std::nullopt},
            AirportEntry{"HUGE", "1", "2", "1e999", std::nullopt},
            AirportEntry{"TINY", "1e-400", "2", "3", std::nullopt},
            // The elevation is converted first, so its error is the one reported.
            AirportEntry{"BOTH", "xyz", "2", "-1e400", std::nullopt},
            AirportEntry{"NANL", "nan", "2", "3", std::nullopt},
            AirportEntry{"INFL", "1", "-inf", "3", std::nullopt},
            AirportEntry{"EMPT", "1", "", "3", std::nullopt},
            AirportEntry{std::nullopt, "1", "2", "3", std::nullopt},
            AirportEntry{"", "1", "2", "3", std::nullopt},
            AirportEntry::at("GOOD", 1.5, 2.5, 100.0)});

  EXPECT_THAT(codes(), ElementsAre("GOOD"));
  const std::vector<std::string> log = logLines();
  EXPECT_THAT(log, Contains("Missing lat/lon/alt for airport 'NOLA'"));
  EXPECT_THAT(log, Contains("Missing lat/lon/alt for airport 'NOAL'"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'LETR': invalid stod argument"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'HUGE': stod argument out of range"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'TINY': stod argument out of range"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'BOTH': stod argument out of range"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'NANL': invalid stod argument"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'INFL': invalid stod argument"));
  EXPECT_THAT(log, Contains("Error parsing coordinates for airport 'EMPT': invalid stod argument"));
  int withoutCode = 0;
  for (const std::string& line : log) {
    if (line.starts_with("Missing code for airport at offset ")) ++withoutCode;
  }
  EXPECT_EQ(withoutCode, 2);
  EXPECT_THAT(log, Contains("1 airports read from 'input/airports_msfs.xml'"));
}

TEST_F(AirportListTest, EmptyListIsReadButFalse) {
  testsupport::writeAirportList({});
  EXPECT_FALSE(gf_readAirports("airports_msfs.xml"));
  EXPECT_TRUE(g_airportsRead.load());
  EXPECT_EQ(g_airports.capacity(), 0u);
  EXPECT_THAT(logLines(), Contains("0 airports read from 'input/airports_msfs.xml'"));
}

TEST_F(AirportListTest, WrongRootOrUnreadableFileThrowsCode88AndCanBeRetried) {
  testsupport::writeFile("input/wrong_root.xml", "<airportlist><airport code=\"EGLL\" lat=\"1\" lon=\"2\" alt=\"3\"/></airportlist>");
  try {
    gf_readAirports("wrong_root.xml");
    FAIL() << "no exception";
  } catch (const qor::UserErrorException& e) {
    EXPECT_EQ(e.code(), 88);
    EXPECT_EQ(e.message(), "Missing <airports> root in: input/wrong_root.xml");
  }
  EXPECT_FALSE(g_airportsRead.load());

  testsupport::writeFile("input/broken.xml", "<airports><airport code=\"EGLL\"");
  for (const char* name : {"broken.xml", "missing.xml"}) {
    try {
      gf_readAirports(name);
      FAIL() << "no exception for " << name;
    } catch (const qor::UserErrorException& e) {
      EXPECT_EQ(e.code(), 88);
      EXPECT_THAT(e.message(), ::testing::StartsWith(std::string("input/") + name + " not loaded: "));
      EXPECT_GT(e.message().size(), std::string("input/").size() + std::string(name).size() + 13);
    }
    EXPECT_FALSE(g_airportsRead.load());
  }

  readList({AirportEntry::at("EGLL", 51.4775, -0.461, 83.0)});
  EXPECT_THAT(codes(), ElementsAre("EGLL"));
  EXPECT_TRUE(g_airportsRead.load());
}

TEST_F(AirportListTest, StodLikeConversionIsLocaleFreeAndStrict) {
  EXPECT_EQ(gf_stod(" \t\n+12.5"), 12.5);
  EXPECT_EQ(gf_stod("-0.25xyz"), -0.25);
  EXPECT_EQ(gf_stod("1e3"), 1000.0);
  EXPECT_EQ(gf_stod("1e"), 1.0);
  EXPECT_EQ(gf_stod(".5"), 0.5);
  EXPECT_EQ(gf_stod("12,5"), 12.0);  // never a decimal comma
  EXPECT_EQ(gf_stod("0x1p3"), 8.0);
  EXPECT_EQ(gf_stod("-0x10"), -16.0);
  EXPECT_EQ(gf_stod("0xz"), 0.0);
  for (const char* bad : {"", "   ", "abc", ".", "+", "+-1", "--1", "-+1", "nan", "-inf", "infinity"}) {
    EXPECT_THROW(gf_stod(bad), std::invalid_argument) << bad;
  }
  EXPECT_THROW(gf_stod("1e400"), std::out_of_range);
  try {
    gf_stod("x");
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "invalid stod argument");
  }
  try {
    gf_stod("-1e400");
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "stod argument out of range");
  }
}

TEST_F(AirportListTest, DisplayNameIcaoLookupAndDashTokens) {
  EXPECT_EQ(gf_airportDisplayName(AirportRec{"EGLL", "LHR", 0, 0, 0}), "EGLL (LHR)");
  EXPECT_EQ(gf_airportDisplayName(AirportRec{"EGLL", "", 0, 0, 0}), "EGLL");
  EXPECT_EQ(gf_airportDisplayName(AirportRec{"", "XYZ", 0, 0, 0}), "? (XYZ)");

  readList({AirportEntry::at("KJFK", 0, 0), AirportEntry::at("EGLL", 0, 0), AirportEntry::at("EGKK", 0, 0),
            AirportEntry::at("K2", 0, 0)});
  EXPECT_EQ(gf_icaoFromText("egll-heathrow-airport"), "EGLL");
  EXPECT_EQ(gf_icaoFromText("EGKK"), "EGKK");
  EXPECT_EQ(gf_icaoFromText("eg"), "");        // two characters: only codes of at most two
  EXPECT_EQ(gf_icaoFromText("k2-field"), "K2");
  EXPECT_EQ(gf_icaoFromText("k2"), "K2");
  EXPECT_EQ(gf_icaoFromText("xxxx"), "");
  EXPECT_EQ(gf_icaoFromText(""), "");

  EXPECT_TRUE(lf_containsDashToken("Community/xyz-egll-airport/scenery/a.bgl", "EGLL"));
  EXPECT_TRUE(lf_containsDashToken("Community\\xyz-EGLL-airport", "EGLL"));
  EXPECT_FALSE(lf_containsDashToken("Community/xyz-Egll-airport", "EGLL"));
  EXPECT_FALSE(lf_containsDashToken("Community/egll-airport", "EGLL"));
  EXPECT_FALSE(lf_containsDashToken("a--b", ""));
}

TEST_F(AirportListTest, FirstMatchInListOrderWinsForPrefixCodes) {
  readList({AirportEntry::at("EGLL", 0, 0), AirportEntry::at("EG", 0, 0)});
  EXPECT_EQ(gf_icaoFromText("egll"), "EG");  // "EG" sorts first and is a prefix too
  EXPECT_EQ(gf_icaoFromText("eg"), "EG");
}

TEST_F(AirportListTest, NearestAirportCountsExactlyFiveMiles) {
  // Near the equator latitudes are fine enough to hit a distance of exactly 5.0.
  const LatLon user{0.0, 11.35};
  const std::optional<double> atFive = latitudeAtExactly(user, 5.0);
  ASSERT_TRUE(atFive.has_value());
  readList({AirportEntry::at("LOWI", *atFive, user.longitude)});
  ASSERT_EQ(gf_distanceNm(user, LatLon{g_airports[0].latitude, g_airports[0].longitude}), 5.0);
  const AirportRec* found = gf_findClosestAirport(user);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->icao, "LOWI");

  gf_resetAirportsForTests();
  readList({AirportEntry::at("LOWI", latitudeAt(user, 5.0001), user.longitude)});
  const double d = gf_distanceNm(user, LatLon{g_airports[0].latitude, g_airports[0].longitude});
  ASSERT_GT(d, 5.0);
  ASSERT_LT(d, 5.0002);
  EXPECT_EQ(gf_findClosestAirport(user), nullptr);
}

struct FinderCall {
  std::string icao;
  double latitude;
  double longitude;
};

TEST_F(AirportListTest, NeighbourIsTheRunningBestAndWinsOnlyWithAStrictlyNearerStand) {
  const LatLon user{50.0, 8.0};
  readList({AirportEntry::at("AAAA", latitudeAt(user, 3.0), user.longitude),
            AirportEntry::at("BBBB", latitudeAt(user, 1.0), user.longitude),
            AirportEntry::at("CCCC", latitudeAt(user, 2.0), user.longitude),
            AirportEntry::at("DDDD", latitudeAt(user, 7.0), user.longitude)});

  std::vector<FinderCall> calls;
  double standA = 0.0;
  double standB = 0.0;
  g_closestStandFinder = [&](const std::string& icao, const LatLon& position, std::string& name) {
    calls.push_back({icao, position.latitude, position.longitude});
    name = icao == "AAAA" ? "A-12" : "B-3";
    return icao == "AAAA" ? standA : standB;
  };

  // Equal stand distances keep the nearer airport.
  standA = 0.2;
  standB = 0.2;
  const AirportRec* found = gf_findClosestAirport(user);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->icao, "BBBB");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].icao, "BBBB");  // the best airport is asked first
  EXPECT_EQ(calls[1].icao, "AAAA");
  EXPECT_EQ(calls[0].latitude, user.latitude);
  EXPECT_EQ(calls[0].longitude, user.longitude);
  EXPECT_THAT(logLines(), Contains("Airport BBBB is closest, neighbour is AAAA"));

  // A strictly nearer stand at the neighbour wins.
  standA = 0.2;
  standB = 0.2000001;
  found = gf_findClosestAirport(user);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->icao, "AAAA");
  EXPECT_THAT(logLines(),
              Contains("Airport BBBB is closest, but stand A-12 at neighbouring airport AAAA is closer at 370 meters ..."));

  standA = 0.5;
  standB = 0.1;
  EXPECT_EQ(gf_findClosestAirport(user)->icao, "BBBB");

  // Without park files both answer 100 nm: the nearer airport stays.
  g_closestStandFinder = gf_defaultClosestStandFinder();
  EXPECT_EQ(gf_findClosestAirport(user)->icao, "BBBB");
}

TEST_F(AirportListTest, SingleAirportInRangeNeedsNoStandsAndFailingFinderIsHarmless) {
  const LatLon user{50.0, 8.0};
  readList({AirportEntry::at("AAAA", latitudeAt(user, 1.0), user.longitude),
            AirportEntry::at("BBBB", latitudeAt(user, 6.0), user.longitude)});
  int calls = 0;
  g_closestStandFinder = [&](const std::string&, const LatLon&, std::string&) -> double {
    ++calls;
    throw std::runtime_error("disk gone");
  };
  EXPECT_EQ(gf_findClosestAirport(user)->icao, "AAAA");
  EXPECT_EQ(calls, 0);

  std::string name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("AAAA", user, name), 100.0);
  EXPECT_EQ(name, "kept");
  EXPECT_THAT(logLines(), Contains("===> gf_readDestApfForClosestStand: disk gone"));
}

TEST_F(AirportListTest, NamesFileProblemsAreOnlyLogged) {
  testsupport::writeAirportNames({{"EGLL", "London Heathrow"},
                                  {"EGLL", "Second name"},
                                  {"EGKK", ""},
                                  {std::nullopt, "No code"},
                                  {"LFPG", std::nullopt}});
  lf_readAirportNames();
  ASSERT_EQ(g_airportNames.size(), 2u);
  EXPECT_EQ(g_airportNames.at("EGLL"), "London Heathrow");
  EXPECT_EQ(g_airportNames.at("EGKK"), "");
  std::vector<std::string> log = logLines();
  int skipped = 0;
  for (const std::string& line : log) skipped += line == "Skipped airport entry with missing ICAO or name";
  EXPECT_EQ(skipped, 2);
  EXPECT_THAT(log, Contains("2 airport names read from 'input/airports_msfs_names.xml'"));

  testsupport::writeAirportNames({{"EGLL", "London Heathrow"}}, "Names");
  lf_readAirportNames();
  EXPECT_TRUE(g_airportNames.empty());
  log = logLines();
  EXPECT_THAT(log, Contains("===> No AirportNames node found."));
  EXPECT_THAT(log, Contains("0 airport names read from 'input/airports_msfs_names.xml'"));

  testsupport::writeAirportNames({{"EGLL", "London Heathrow"}});
  lf_readAirportNames();
  std::filesystem::remove("input/airports_msfs_names.xml");
  lf_readAirportNames();
  EXPECT_TRUE(g_airportNames.empty());
  EXPECT_THAT(logLines(), Contains("===> Failed to load airport names from 'input/airports_msfs_names.xml'"));
}

}  // namespace
