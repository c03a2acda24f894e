// The one place where the program reads the time. Tests fix it here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The time base of learned stand use: weekday 1..7 (Monday 1, Sunday 7) and
// half hour of the day 0..47.
struct DaySlot {
  std::uint32_t day = 1;
  std::uint32_t slot = 0;
  bool operator==(const DaySlot&) const = default;
};

// Half hours from a to a later b; the week wraps from Sunday to Monday, so the
// result is in 0..335. Computed signed: (b.day - a.day) * 48 + (b.slot - a.slot),
// plus 336 when negative.
std::int32_t gf_halfHoursBetween(const DaySlot& a, const DaySlot& b);
// The half hour `halfHours` before `now`, the week wrapping (signed arithmetic).
DaySlot gf_halfHoursBefore(const DaySlot& now, std::int64_t halfHours);

// The DaySlot of a UTC time in seconds since 1970.
DaySlot gf_daySlotOf(std::int64_t epochSeconds);

// The UTC time in seconds since 1970 of a simulator's zulu year, day of the
// year (1 = 1 January) and seconds of that day; nothing for values no
// calendar has (a year outside 1970..9999, a day past the year's end, seconds
// outside 0..86400 or no number).
std::optional<std::int64_t> gf_epochFromZulu(double year, double dayOfYear, double secondsOfDay);

// UTC now in seconds since 1970 (the fixed time when tests set one).
std::int64_t gf_utcNowSeconds();
// UTC now, or the simulator's time while that is in use (g_simEpochSeconds > 0).
std::int64_t gf_simOrUtcNowSeconds();

// Tests: fix the clock at a time, or give it back to the system (std::nullopt).
void gf_setFixedClock(std::optional<std::int64_t> epochSeconds);

// Seconds on a clock that only moves forward and does not follow a change of
// the system's date and time; only the difference of two readings means
// anything. For waits measured in the program's own time (how long something
// is remembered), where a clock set back must not stretch them.
std::int64_t gf_steadySeconds();
// Tests: moves that clock forward by `seconds` (0 or more) for the rest of the
// process; it never goes back, so nothing has to reset it.
void gf_advanceSteadyClock(std::int64_t seconds);

// The DaySlot of now (the simulator's time when that is in use).
DaySlot gf_daySlotNow();
// The time of day as "hh:mm:ss": of the system time; of the simulator's time
// when that is in use, else of the system time.
std::string gf_nowHms();
std::string gf_simNowHms();
// "{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}": weekday, month, day, time, year (UTC).
std::string gf_timeText(std::int64_t epochSeconds);
