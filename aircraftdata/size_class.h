// The size classes of aircraft types, shared by the reference database, the
// traffic engine, the livery matching and the static parking.
#pragma once

#include <cstdint>
#include <string_view>

enum class SizeClass : std::int32_t {
  Light = 0,
  Buzjets = 1,
  Large = 2,
  Heavy = 3,
  HighPerf = 4,
  Rotorcraft = 5,
};

inline constexpr std::int32_t kSizeClassCount = 6;

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; "?" for a
// value outside the enumeration.
constexpr std::string_view gf_sizeClassName(SizeClass sizeClass) noexcept {
  switch (sizeClass) {
    case SizeClass::Light: return "Light";
    case SizeClass::Buzjets: return "Buzjets";
    case SizeClass::Large: return "Large";
    case SizeClass::Heavy: return "Heavy";
    case SizeClass::HighPerf: return "HighPerf";
    case SizeClass::Rotorcraft: return "Rotorcraft";
  }
  return "?";
}
