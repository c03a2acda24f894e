#include "traffic/identity.h"

#include <cstdint>
#include <unordered_map>
#include <utility>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/geo.h"
#include "app/hash.h"
#include "app/random.h"

namespace {

using ClassTable = std::unordered_map<std::uint32_t, SizeClassConstants, Fnv1aHash>;

std::uint32_t lf_classKey(SizeClass sizeClass) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(sizeClass));
}

// Built on first use (thread-safe), read-only afterwards.
const ClassTable& lf_classTable() {
  static const ClassTable table = [] {
    ClassTable t;
    //                                     angle1 angle2 angle3 value1..4
    t.emplace(lf_classKey(SizeClass::Light), SizeClassConstants{-9.0, -15.0, 0.15, 250, 250, 100, 200});
    t.emplace(lf_classKey(SizeClass::Buzjets), SizeClassConstants{-8.0, -18.0, 0.1, 300, 300, 200, 250});
    t.emplace(lf_classKey(SizeClass::Large), SizeClassConstants{-6.0, -16.5, 0.07, 400, 350, 200, 300});
    t.emplace(lf_classKey(SizeClass::Heavy), SizeClassConstants{-5.0, -12.5, 0.05, 450, 450, 250, 400});
    t.emplace(lf_classKey(SizeClass::HighPerf), SizeClassConstants{-6.0, -20.0, 0.1, 150, 150, 100, 200});
    t.emplace(lf_classKey(SizeClass::Rotorcraft), SizeClassConstants{-20.0, -30.0, 0.2, 100, 100, 100, 100});
    return t;
  }();
  return table;
}

using NameTable = std::unordered_map<std::uint32_t, std::string, Fnv1aHash>;

}  // namespace

SizeClassConstants gf_sizeClassConstants(SizeClass sizeClass) {
  return lf_classTable().at(lf_classKey(sizeClass));
}

AircraftIdentity::AircraftIdentity(LiveAcData&& texts) : LiveAcData(std::move(texts)) {
  halfWingspan = gf_halfWingspan(type);
  sizeClass = gf_aircraftCategory(type);
  const SizeClassConstants c = gf_sizeClassConstants(sizeClass);
  classValue1 = c.value1;
  classValue2 = c.value2;
  classValue3 = c.value3;
  classValue4 = c.value4;
  classAngle1 = gf_randomizePercent(c.angle1, 2.5) * kDegToRad;
  classAngle2 = gf_randomizePercent(c.angle2, 5.0) * kDegToRad;
  classAngle3 = c.angle3 * kDegToRad;
}

std::string gf_flightKeyText(const LiveAcData& aircraft) {
  return fmt::format("{:3} {:4}", aircraft.airline, aircraft.type);
}

std::string lf_routeText(const LiveAcData& aircraft) {
  if (aircraft.origin.empty() && aircraft.destination.empty()) return std::string(8, ' ');
  return fmt::format("{:3}->{:3}", aircraft.origin, aircraft.destination);
}

std::string lf_callsignText(const LiveAcData& aircraft) { return fmt::format("{:8}", aircraft.callsign); }

std::string lf_aircraftDetailText(const LiveAcData& aircraft) {
  return fmt::format("{} {:8} {}", lf_callsignText(aircraft), aircraft.registration, lf_routeText(aircraft));
}

std::string gf_aircraftLabel(const LiveAcData& aircraft) {
  return fmt::format("{} {}", lf_aircraftDetailText(aircraft), gf_flightKeyText(aircraft));
}

std::string gf_aircraftLongLabel(const LiveAcData& aircraft) {
  return fmt::format("{} {} {}", lf_callsignText(aircraft), aircraft.registration, gf_flightKeyText(aircraft));
}

std::string lf_aircraftKey(const LiveAcData& aircraft) {
  return fmt::format("{} {}", gf_flightKeyText(aircraft), aircraft.registration);
}

const std::string& gf_flightPhaseName(FlightPhase phase) {
  static const NameTable names{{0, "pushing_back"}, {1, "pushed_back"}, {2, "taxi"},
                                            {3, "take_off"},     {4, "flying"},      {5, "parking"},
                                            {6, "parked"},       {7, "birth"}};
  return names.at(static_cast<std::uint32_t>(static_cast<std::int32_t>(phase)));
}

const std::string& gf_simStateName(SimState state) {
  static const NameTable names{
      {0, "buffer"}, {1, "adding2sim"}, {2, "active"}, {3, "liveryrespawn"}, {4, "removingfromsim"}};
  return names.at(static_cast<std::uint32_t>(static_cast<std::int32_t>(state)));
}
