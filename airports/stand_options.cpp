#include "airports/stand_options.h"

#include <algorithm>
#include <cmath>

#include "aircraftdata/dbase.h"
#include "app/log.h"
#include "app/text.h"

namespace {

// Half wingspans and steps of the size test, nautical miles.
constexpr double kTooSmallTolerance = 0.0009719222462203025;  // 1.8 m
constexpr double kSmallAircraftHalfSpan = 0.009611230689557531;  // 17.8 m
constexpr double kSmallStep = 0.00755939524838013;             // 14 m
constexpr double kLargeStep = 0.011339092872570195;            // 21 m
// Sizes converted from metres differ from the constants above in their last
// bits; a stand exactly 1.8 m too small still counts as 1.8 m too small.
// About two micrometres.
constexpr double kBoundaryTolerance = 1e-12;

constexpr std::string_view kBadSlotText = "invalid bitset position";

// A day outside 1..7 or a half hour outside 0..47 would index past the
// 48-bit set or walk the week arithmetic off its ends: refused with a log line.
bool lf_checkDaySlot(std::string_view where, std::uint32_t day, std::uint32_t slot) {
  if (gf_isValidDaySlot(DaySlot{day, slot})) return true;
  gf_logError("{}: invalid weekday {} or half hour {}", where, day, slot);
  return false;
}

std::uint64_t lf_slotBit(std::uint32_t slot) { return std::uint64_t{1} << slot; }

StandOption* lf_findOption(std::vector<StandOption>& options, std::uint32_t id) {
  const auto it = std::find_if(options.begin(), options.end(), [id](const StandOption& o) { return o.id == id; });
  return it == options.end() ? nullptr : &*it;
}

// Sets the half hour s in an option; false (logged under the caller's name)
// when s is not a half hour.
bool lf_setSlot(StandOption& option, std::uint32_t s, std::string_view where) {
  if (s >= kSlotsPerDay) {
    gf_logError("{} exception:{}", where, kBadSlotText);
    return false;
  }
  option.hours |= lf_slotBit(s);
  return true;
}

}  // namespace

std::string_view gf_callsignWithoutUnderscore(std::string_view callsign) {
  if (!callsign.empty() && callsign.back() == '_') callsign.remove_suffix(1);
  return callsign;
}

bool gf_isValidDaySlot(const DaySlot& slot) {
  return slot.day >= 1 && slot.day <= 7 && slot.slot < kSlotsPerDay;
}

std::optional<std::uint32_t> lf_appendStandOption(Stand& stand, const LiveAcData& aircraft, std::uint32_t real,
                                                  const DaySlot& now, std::string_view callsign,
                                                  std::string_view registration) {
  if (registration.empty()) return std::nullopt;
  if (!lf_checkDaySlot("lf_appendStandOption", now.day, now.slot)) return std::nullopt;
  const std::string trimmed(gf_callsignWithoutUnderscore(callsign));
  const std::uint64_t hours = lf_slotBit(now.slot);
  const std::uint32_t id = gf_nextOptionId(stand.options);

  std::string airline = aircraft.airline;
  std::string type = aircraft.type;
  if (const DbaseRec* record = gf_findRegcode(registration)) {
    airline = record->opr.empty() ? record->airl : record->opr;
    type = record->type;
  }

  const bool duplicate = std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
    return o.registration == registration && o.day == now.day && o.hours == hours && o.callsign == trimmed;
  });
  if (duplicate) return std::nullopt;

  stand.options.push_back(StandOption{std::move(airline), std::move(type), std::string(registration), trimmed,
                                      std::string(), hours, id, now.day, 0, real});
  return id;
}

void lf_collectStaySlots(std::vector<std::uint32_t>& slots, std::int32_t count, const DaySlot& from) {
  if (count <= 0) return;
  if (!lf_checkDaySlot("lf_collectStaySlots", from.day, from.slot)) return;
  // More than a week would only repeat half hours.
  const std::int32_t n = std::min<std::int32_t>(count, static_cast<std::int32_t>(kSlotsPerWeek));
  std::uint32_t day = from.day;
  std::uint32_t slot = from.slot;
  for (std::int32_t i = 0; i < n; ++i) {
    slots.push_back(slot);
    if (slot > 0) {
      --slot;
    } else {
      slot = kSlotsPerDay - 1;
      day = day == 1 ? 7 : day - 1;
    }
  }
}

bool updateOptions(std::vector<StandOption>& options, std::vector<std::uint32_t>& slots, std::uint32_t id) {
  StandOption* option = lf_findOption(options, id);
  if (option == nullptr) return false;
  while (!slots.empty()) {
    if (!lf_setSlot(*option, slots.back(), "updateOptions")) return false;
    slots.pop_back();
  }
  return true;
}

bool updateOptionsWrapped(std::vector<StandOption>& options, std::vector<std::uint32_t>& slots,
                          std::uint32_t idFirst, std::uint32_t idSecond) {
  if (slots.empty()) return false;
  StandOption* first = lf_findOption(options, idFirst);
  if (first == nullptr) return false;
  if (slots.back() != 0) {
    while (!slots.empty()) {
      const std::uint32_t s = slots.back();
      if (!lf_setSlot(*first, s, "updateOptionsWrapped")) return false;
      slots.pop_back();
      if (s == kSlotsPerDay - 1) break;
    }
  }
  StandOption* second = lf_findOption(options, idSecond);
  if (second == nullptr) return false;
  while (slots.size() >= 2) {
    if (!lf_setSlot(*second, slots.back(), "updateOptionsWrapped")) return false;
    slots.pop_back();
  }
  return true;
}

void lf_recordStayInOptions(Stand& stand, const DaySlot& now, std::string_view callsign, std::int32_t count,
                            std::uint32_t idBefore, std::uint32_t idNow) {
  std::vector<std::uint32_t> slots;
  slots.reserve(kSlotsPerDay);
  lf_collectStaySlots(slots, count, now);
  updateOptionsWrapped(stand.options, slots, idBefore, idNow);
  lf_addCallsignToOption(stand.options, idBefore, callsign);
  lf_addCallsignToOption(stand.options, idNow, callsign);
}

void lf_addCallsignToOption(std::vector<StandOption>& options, std::uint32_t id, std::string_view callsign) {
  const std::string_view trimmed = gf_callsignWithoutUnderscore(callsign);
  if (trimmed.empty() || id == 0) return;
  StandOption* option = lf_findOption(options, id);
  if (option == nullptr) return;
  if (option->callsign.empty()) {
    option->callsign = trimmed;
  } else if (trimmed != option->callsign && trimmed != option->callsign2) {
    option->callsign2 = trimmed;
  }
}

bool lf_optionMatchesAircraft(const StandOption& option, std::string_view callsign, const LiveAcData& aircraft) {
  if (option.id == 0 || option.real != 1) return false;
  return option.callsign == callsign || option.callsign2 == callsign ||
         (option.airline == aircraft.airline && option.type == aircraft.type);
}

bool lf_optionMatchesNow(const StandOption& option, std::uint32_t day, std::uint32_t slot,
                         std::string_view registration) {
  if (!lf_checkDaySlot("lf_optionMatchesNow", day, slot)) return false;
  if (option.id == 0 || option.day != day || option.real != 1 || option.registration != registration) return false;
  const std::uint64_t around = lf_slotBit(slot) | lf_slotBit((slot + kSlotsPerDay - 1) % kSlotsPerDay) |
                               lf_slotBit((slot + 1) % kSlotsPerDay);
  return (option.hours & around) != 0;
}

std::optional<std::string> gf_splitCallsign(std::string_view callsign) {
  if (callsign.size() < 4) return std::nullopt;
  // ASCII tests, whatever the C locale.
  const auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!isAlpha(callsign[0]) || !isAlpha(callsign[1]) || !isAlpha(callsign[2]) || callsign[3] < '0' ||
      callsign[3] > '9') {
    return std::nullopt;
  }
  return gf_toUpper(callsign.substr(0, 3));
}

bool lf_airlineFromCallsign(LiveAcData& aircraft) {
  std::optional<std::string> airline = gf_splitCallsign(aircraft.callsign);
  if (!airline) return false;
  aircraft.airline = std::move(*airline);
  return true;
}

bool lf_isValidCallsign(const LiveAcData& aircraft) {
  return !aircraft.callsign.empty() && aircraft.callsign != "@@@@@@@@" && aircraft.callsign.size() <= 8;
}

bool gf_standFitsHalfSpan(const Stand& stand, double radius) {
  // A non-finite size answers no rather than reaching the rounding.
  if (!std::isfinite(radius) || !std::isfinite(stand.radius)) return false;
  const double d = radius - stand.radius;
  if (d > kTooSmallTolerance + kBoundaryTolerance) return false;
  const double step = radius <= kSmallAircraftHalfSpan ? kSmallStep : kLargeStep;
  // Halves away from zero; only whether the step count is 0 matters, so the
  // count is not narrowed to an integer (a huge stand simply does not fit).
  return std::round(-d / step) == 0.0;
}
