#include <set>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "app/geo.h"
#include "app/random.h"
#include "app/settings.h"
#include "support/dbase_builder.h"
#include "traffic/identity.h"

namespace {

LiveAcData texts(std::string type, std::string callsign = "BAW123", std::string registration = "G-EUPT",
                 std::string origin = "EGLL", std::string destination = "KJFK", std::string airline = "BAW") {
  LiveAcData d;
  d.airline = std::move(airline);
  d.type = std::move(type);
  d.origin = std::move(origin);
  d.destination = std::move(destination);
  d.callsign = std::move(callsign);
  d.sourceCallsign = "SRC1";
  d.sourceCallsign2 = "SRC2";
  d.registration = std::move(registration);
  return d;
}

class IdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::DbaseBuilder()
        .type("B744", 64.4, "heavy")
        .type("A320", 35.8, "large")
        .type("R44", 10.1, "rotorcraft")
        .type("C172", 11.0)
        .write();
    gf_resetDbaseForTests();
    gf_readDbase();
  }
  void TearDown() override {
    gf_resetDbaseForTests();
    gf_resetParametersToDefaults();
  }
};

TEST_F(IdentityTest, ConstructorTakesSizeClassAndWingspanFromTheDatabase) {
  const AircraftIdentity heavy(texts("B744"));
  EXPECT_EQ(heavy.airline, "BAW");
  EXPECT_EQ(heavy.callsign, "BAW123");
  EXPECT_EQ(heavy.sourceCallsign2, "SRC2");
  EXPECT_EQ(heavy.registration, "G-EUPT");
  EXPECT_EQ(heavy.sizeClass, SizeClass::Heavy);
  EXPECT_NEAR(heavy.halfWingspan, 32.2 * kMetresToNm, 1e-12);
  EXPECT_EQ(heavy.classValue1, 450u);
  EXPECT_EQ(heavy.classValue2, 450u);
  EXPECT_EQ(heavy.classValue3, 250u);
  EXPECT_EQ(heavy.classValue4, 400u);
  EXPECT_DOUBLE_EQ(heavy.classAngle3, 0.05 * kDegToRad);
  EXPECT_EQ(heavy.hexid, 0u);
  EXPECT_EQ(heavy.liveryTitle, "");
  EXPECT_EQ(heavy.cargo, 0);

  const AircraftIdentity large(texts("A320"));
  EXPECT_EQ(large.sizeClass, SizeClass::Large);
  EXPECT_EQ(large.classValue1, 400u);
  EXPECT_EQ(large.classValue2, 350u);

  const AircraftIdentity light(texts("C172"));
  EXPECT_EQ(light.sizeClass, SizeClass::Light);
  EXPECT_NEAR(light.halfWingspan, 5.5 * kMetresToNm, 1e-12);
  EXPECT_DOUBLE_EQ(light.classAngle3, 0.002617993877991494);  // 0.15 degrees
  EXPECT_EQ(light.classValue4, 200u);

  const AircraftIdentity rotor(texts("R44"));
  EXPECT_EQ(rotor.sizeClass, SizeClass::Rotorcraft);
  EXPECT_EQ(rotor.classValue1, 100u);
  EXPECT_DOUBLE_EQ(rotor.classAngle3, 0.2 * kDegToRad);

  // A type the database does not know is Light with its class's wingspan.
  const AircraftIdentity unknown(texts("ZZZZ"));
  EXPECT_EQ(unknown.sizeClass, SizeClass::Light);
  EXPECT_DOUBLE_EQ(unknown.halfWingspan, gf_halfWingspan("ZZZZ"));

  EXPECT_THROW(gf_sizeClassConstants(static_cast<SizeClass>(6)), std::out_of_range);
}

TEST_F(IdentityTest, VariedAnglesTakeOneOfTheirTwoValues) {
  const double lowAngle1 = -5.125 * kDegToRad, highAngle1 = -4.875 * kDegToRad;
  const double lowAngle2 = -13.125 * kDegToRad, highAngle2 = -11.875 * kDegToRad;
  std::set<double> seen1, seen2;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    gf_seedRng(seed);
    const AircraftIdentity heavy(texts("B744"));
    seen1.insert(heavy.classAngle1);
    seen2.insert(heavy.classAngle2);
  }
  EXPECT_EQ(seen1, (std::set<double>{lowAngle1, highAngle1}));
  EXPECT_EQ(seen2, (std::set<double>{lowAngle2, highAngle2}));
}

TEST_F(IdentityTest, LabelColumns) {
  const LiveAcData full = texts("B772");
  EXPECT_EQ(gf_flightKeyText(full), "BAW B772");
  EXPECT_EQ(lf_routeText(full), "EGLL->KJFK");
  EXPECT_EQ(lf_callsignText(full), "BAW123  ");
  EXPECT_EQ(lf_aircraftDetailText(full), "BAW123   G-EUPT   EGLL->KJFK");
  EXPECT_EQ(gf_aircraftLabel(full), "BAW123   G-EUPT   EGLL->KJFK BAW B772");
  EXPECT_EQ(gf_aircraftLongLabel(full), "BAW123   G-EUPT BAW B772");
  EXPECT_EQ(lf_aircraftKey(full), "BAW B772 G-EUPT");

  // Short texts padded, long ones not cut, no route: eight blanks.
  const LiveAcData sparse = texts("C17", "RCH1", "", "", "", "EZ");
  EXPECT_EQ(gf_flightKeyText(sparse), "EZ  C17 ");
  EXPECT_EQ(lf_routeText(sparse), "        ");
  // Callsign padded to 8, a blank, no registration padded to 8, a blank,
  // eight blanks of route, a blank.
  EXPECT_EQ(gf_aircraftLabel(sparse), "RCH1" + std::string(4 + 1 + 8 + 1 + 8 + 1, ' ') + "EZ  C17 ");
  EXPECT_EQ(gf_aircraftLongLabel(sparse), "RCH1      EZ  C17 ");
  EXPECT_EQ(lf_aircraftKey(sparse), "EZ  C17  ");

  const LiveAcData longTexts = texts("A35K", "CALLSIGN99", "VH-LONGREG1", "EG", "", "QANTAS");
  EXPECT_EQ(lf_routeText(longTexts), "EG ->   ");
  EXPECT_EQ(gf_aircraftLabel(longTexts), "CALLSIGN99 VH-LONGREG1 EG ->    QANTAS A35K");
}

TEST_F(IdentityTest, SameStringPairComparesAirlineAndType) {
  struct Livery {
    std::string airline, type, title;
  };
  const LiveAcData a = texts("A320");
  EXPECT_TRUE(gf_sameStringPair(a, texts("A320", "SHT9", "G-EUUU", "", "")));
  EXPECT_FALSE(gf_sameStringPair(a, texts("A321")));
  EXPECT_FALSE(gf_sameStringPair(a, texts("A320", "X", "Y", "", "", "baw")));
  EXPECT_TRUE(gf_sameStringPair(a, Livery{"BAW", "A320", "Airbus A320 BA"}));
  EXPECT_TRUE(gf_sameStringPair(Livery{"", "", "x"}, Livery{"", "", "y"}));
}

TEST_F(IdentityTest, EnumerationNames) {
  const char* phases[] = {"pushing_back", "pushed_back", "taxi",   "take_off",
                          "flying",       "parking",     "parked", "birth"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(gf_flightPhaseName(static_cast<FlightPhase>(i)), phases[i]);
  const char* states[] = {"buffer", "adding2sim", "active", "liveryrespawn", "removingfromsim"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(gf_simStateName(static_cast<SimState>(i)), states[i]);
  EXPECT_EQ(gf_sizeClassName(SizeClass::Buzjets), "Buzjets");

  EXPECT_THROW(gf_simStateName(static_cast<SimState>(5)), std::out_of_range);
  EXPECT_THROW(gf_simStateName(static_cast<SimState>(-1)), std::out_of_range);
  EXPECT_THROW(gf_flightPhaseName(static_cast<FlightPhase>(8)), std::out_of_range);
}

}  // namespace
