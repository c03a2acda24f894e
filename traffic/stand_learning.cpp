#include "traffic/stand_learning.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "airports/stand_options.h"
#include "app/log.h"

namespace {

// The option in play that already holds this aircraft at `now`: appending
// refuses a second option for the same registration, weekday, callsign and
// half hour, so an aircraft that comes back within the half hour goes on in
// the option it had.
std::optional<std::uint32_t> lf_findHeldOption(const Stand& stand, const AircraftIdentity& aircraft,
                                               std::uint32_t real, const DaySlot& now) {
  const std::string_view callsign = gf_callsignWithoutUnderscore(aircraft.callsign);
  const std::uint64_t bit = std::uint64_t{1} << now.slot;
  for (const StandOption& option : stand.options) {
    if (option.id != 0 && option.real == real && option.day == now.day &&
        option.registration == aircraft.registration && option.callsign == callsign && (option.hours & bit) != 0) {
      return option.id;
    }
  }
  return std::nullopt;
}

// The option for the aircraft at `now`: a new one, or the one that holds it.
// Nothing when the aircraft cannot be learned (no registration).
std::optional<std::uint32_t> lf_optionForNow(Stand& stand, const AircraftIdentity& aircraft, std::uint32_t real,
                                             const DaySlot& now, bool& appended) {
  appended = false;
  if (const auto id = lf_appendStandOption(stand, aircraft, real, now, aircraft.callsign, aircraft.registration)) {
    appended = true;
    return id;
  }
  return lf_findHeldOption(stand, aircraft, real, now);
}

// Whether the stay's option is still the aircraft's: the renewal of the static
// parking renumbers options and the saving erases some, so an id alone may
// have come to name another aircraft's option.
bool lf_stayOptionIsOurs(const Stand& stand, const StandStay& stay, const AircraftIdentity& aircraft) {
  return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& option) {
    return option.id != 0 && option.id == stay.optionId && option.registration == aircraft.registration &&
           option.day == stay.day;
  });
}

// Starts (or restarts) the stay in the option for now.
bool lf_startStay(Stand& stand, StandStayTable& stays, const AircraftIdentity& aircraft, std::uint32_t real,
                  const DaySlot& now) {
  bool appended = false;
  const std::optional<std::uint32_t> id = lf_optionForNow(stand, aircraft, real, now, appended);
  if (!id) {
    stays.erase(aircraft.hexid);
    return false;
  }
  stays.insert_or_assign(aircraft.hexid, StandStay{now.day, now.slot, *id});
  if (appended) ++g_learnedUpdates;
  return appended;
}

}  // namespace

std::int32_t gf_stayHalfHourLimit(const AircraftIdentity& aircraft) {
  if (aircraft.cargo != 0) return 12;
  if (aircraft.sizeClass == SizeClass::Heavy) return 8;
  return 6;
}

bool lt_addStandOption(Stand& stand, const AircraftIdentity& aircraft, bool real, const DaySlot& now) {
  if (!gf_isValidDaySlot(now)) {
    gf_logError("lt_addStandOption: invalid weekday {} or half hour {} for {}", now.day, now.slot,
                aircraft.registration);
    return false;
  }
  const std::uint32_t realValue = real ? 1 : 0;
  StandStayTable& stays = real ? stand.realStays : stand.softStays;
  const auto it = stays.find(aircraft.hexid);
  if (it == stays.end()) return lf_startStay(stand, stays, aircraft, realValue, now);

  StandStay& stay = it->second;
  if (!gf_isValidDaySlot(stay.daySlot()) || !lf_stayOptionIsOurs(stand, stay, aircraft)) {
    return lf_startStay(stand, stays, aircraft, realValue, now);
  }
  const std::int32_t n = stay.halfHoursTo(now);
  if (n == 0) return false;
  if (n >= gf_stayHalfHourLimit(aircraft)) return lf_startStay(stand, stays, aircraft, realValue, now);

  if (now.day == stay.day) {
    std::vector<std::uint32_t> slots;
    slots.reserve(kSlotsPerDay);
    lf_collectStaySlots(slots, n, now);
    updateOptions(stand.options, slots, stay.optionId);
    lf_addCallsignToOption(stand.options, stay.optionId, aircraft.callsign);
  } else {
    bool appended = false;
    const std::optional<std::uint32_t> idNow = lf_optionForNow(stand, aircraft, realValue, now, appended);
    if (!idNow) {
      stays.erase(it);
      return false;
    }
    lf_recordStayInOptions(stand, now, aircraft.callsign, n, stay.optionId, *idNow);
    stay.optionId = *idNow;
  }
  stay.day = now.day;
  stay.slot = now.slot;
  ++g_learnedUpdates;
  return true;
}

bool lt_endStandStay(Stand& stand, std::uint32_t hexid, bool real) {
  StandStayTable& stays = real ? stand.realStays : stand.softStays;
  return stays.erase(hexid) > 0;
}
