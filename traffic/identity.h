// Aircraft identities: the per-size-class motion constants, the label texts
// that the engine, the livery matching and the static parking write into the
// log, and the names of the aircraft enumerations.
//
// AircraftIdentity's constructor from the identity texts is defined in
// identity.cpp: it takes the half wingspan and the size class of the type from
// the reference database and the motion constants of that class.
#pragma once

#include <concepts>
#include <string>
#include <string_view>

#include "aircraftdata/size_class.h"
#include "traffic/aircraft.h"

// The motion constants of one size class, as the tables hold them: the
// angles in degrees, the values as they are.
struct SizeClassConstants {
  double angle1 = 0.0;  // varied by 2.5 % per aircraft
  double angle2 = 0.0;  // varied by 5 % per aircraft
  double angle3 = 0.0;
  std::uint32_t value1 = 0;
  std::uint32_t value2 = 0;
  std::uint32_t value3 = 0;
  std::uint32_t value4 = 0;
};

// The constants of a size class; std::out_of_range for a value that is not
// a size class.
SizeClassConstants gf_sizeClassConstants(SizeClass sizeClass);

// "{:3} {:4}": airline and type, padded, longer texts unchanged.
std::string gf_flightKeyText(const LiveAcData& aircraft);

// Whether the first texts (airline) and the second texts (type) of two
// records are equal, byte for byte: identities and installed liveries alike.
template <typename A, typename B>
  requires requires(const A& a, const B& b) {
    { a.airline == b.airline } -> std::convertible_to<bool>;
    { a.type == b.type } -> std::convertible_to<bool>;
  }
bool gf_sameStringPair(const A& a, const B& b) {
  return a.airline == b.airline && a.type == b.type;
}

// "{:3}->{:3}" with origin and destination; eight blanks when both are empty.
std::string lf_routeText(const LiveAcData& aircraft);
// "{:8}" with the callsign.
std::string lf_callsignText(const LiveAcData& aircraft);
// Callsign text, registration padded to 8, route text.
std::string lf_aircraftDetailText(const LiveAcData& aircraft);
// The usual form of an aircraft in log lines: detail text and flight key text.
std::string gf_aircraftLabel(const LiveAcData& aircraft);
// Callsign text, registration (unpadded), flight key text.
std::string gf_aircraftLongLabel(const LiveAcData& aircraft);
// Flight key text, a blank, the registration.
std::string lf_aircraftKey(const LiveAcData& aircraft);

// "pushing_back" ... "birth"; std::out_of_range for a value outside 0..7.
const std::string& gf_flightPhaseName(FlightPhase phase);
// "buffer" ... "removingfromsim"; std::out_of_range for a value outside 0..4.
const std::string& gf_simStateName(SimState state);
// The size class names are gf_sizeClassName of aircraftdata/size_class.h.
