// Operations on the learned options of a stand: appending an option for the
// current half hour, marking the half hours of a stay (also across midnight,
// into two options), adding callsigns, the matching rules, the callsign rules
// and the test whether a stand's size suits an aircraft.
//
// None of them locks anything: the stand list belongs to the run thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/stands.h"
#include "app/clock.h"
#include "traffic/aircraft.h"

// The callsign without one trailing "_" (how options store callsigns).
std::string_view gf_callsignWithoutUnderscore(std::string_view callsign);

// Whether a DaySlot is a weekday 1..7 and a half hour 0..47.
bool gf_isValidDaySlot(const DaySlot& slot);

// Appends an option for the half hour `now` and returns its id. Airline and
// type come from the reference database's record of the registration (its
// operator in place of the airline when it has one), else from the aircraft.
// Returns nothing when the registration is empty, when an option (in play or
// not) of this registration, weekday, callsign and exactly this half hour
// exists already, or when `now` is not a valid DaySlot (logged).
std::optional<std::uint32_t> lf_appendStandOption(Stand& stand, const LiveAcData& aircraft, std::uint32_t real,
                                                  const DaySlot& now, std::string_view callsign,
                                                  std::string_view registration);

// Records a stay of `count` half hours that ends at `now` and crossed
// midnight: the half hours of the previous day go into option idBefore, those
// of today into idNow; the callsign is added to both.
void lf_recordStayInOptions(Stand& stand, const DaySlot& now, std::string_view callsign, std::int32_t count,
                            std::uint32_t idBefore, std::uint32_t idNow);

// Appends the `count` half hours that end at `from`, newest first (slot 47 of
// the previous weekday follows slot 0). Nothing for a count of 0 or less or an
// invalid `from` (logged); at most one week of half hours.
void lf_collectStaySlots(std::vector<std::uint32_t>& slots, std::int32_t count, const DaySlot& from);

// Sets the bits of all numbers in `slots` (taken from the back) in the first
// option with this id; false when there is none or a number is not a half
// hour (logged; the bits set before it stay set).
bool updateOptions(std::vector<StandOption>& options, std::vector<std::uint32_t>& slots, std::uint32_t id);

// Distributes the slots of a stay that crossed midnight (newest first, as
// lf_collectStaySlots gives them): the half hours up to slot 47 into option
// idFirst, the rest except the newest into option idSecond (the newest was
// set when that option was appended). False when an option is missing, the
// array is empty or a number is not a half hour (logged).
bool updateOptionsWrapped(std::vector<StandOption>& options, std::vector<std::uint32_t>& slots,
                          std::uint32_t idFirst, std::uint32_t idSecond);

// Adds a callsign (without a trailing "_") to the option with this id (not 0):
// as its first callsign when it has none, else as its second callsign unless
// it is one of the two already (a newer one replaces the second).
void lf_addCallsignToOption(std::vector<StandOption>& options, std::uint32_t id, std::string_view callsign);

// Whether a real option in play belongs to the aircraft: by either callsign,
// or by airline and type.
bool lf_optionMatchesAircraft(const StandOption& option, std::string_view callsign, const LiveAcData& aircraft);

// Whether a real option in play says that this registration stands there on
// this weekday in this half hour or a neighbouring one of the same weekday's
// set (slot 0 looks at 47 and 1). False for an invalid day or slot (logged).
bool lf_optionMatchesNow(const StandOption& option, std::uint32_t day, std::uint32_t slot,
                         std::string_view registration);

// The airline part of a callsign: its first three characters in upper case
// when they are letters and the fourth a digit ("BAW123" gives "BAW").
std::optional<std::string> gf_splitCallsign(std::string_view callsign);

// Replaces the aircraft's airline by the airline part of its callsign when it
// has one; returns whether it did.
bool lf_airlineFromCallsign(LiveAcData& aircraft);

// A callsign that is not empty, not "@@@@@@@@" and at most 8 characters long.
bool lf_isValidCallsign(const LiveAcData& aircraft);

// Whether a stand is the right size for an aircraft of this half wingspan
// (nautical miles): not more than 1.8 m too small, and not so much larger
// that it is nearer the size of the next larger aircraft (steps of 14 m up to
// a half wingspan of 17.8 m, 21 m above).
bool gf_standFitsHalfSpan(const Stand& stand, double radius);
