#include "app/clock.h"

#include <atomic>
#include <chrono>

#include <fmt/format.h>

#include "app/runstate.h"

namespace {

std::atomic<bool> g_clockFixed{false};
std::atomic<std::int64_t> g_fixedSeconds{0};
std::atomic<std::int64_t> g_steadyAdvance{0};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

struct Broken {
  int year;
  unsigned month, day, weekday;  // weekday 1..7, Monday 1
  std::int64_t secondOfDay;
};

Broken breakDown(std::int64_t epochSeconds) {
  using namespace std::chrono;
  const std::int64_t days = floorDiv(epochSeconds, 86400);
  const sys_days sd{std::chrono::days{days}};
  const year_month_day ymd{sd};
  const weekday wd{sd};
  return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
          wd.iso_encoding(), epochSeconds - days * 86400};
}

std::string hms(std::int64_t epochSeconds) {
  const auto s = breakDown(epochSeconds).secondOfDay;
  return fmt::format("{:02}:{:02}:{:02}", s / 3600, (s / 60) % 60, s % 60);
}

}  // namespace

std::int32_t gf_halfHoursBetween(const DaySlot& a, const DaySlot& b) {
  std::int32_t n = (static_cast<std::int32_t>(b.day) - static_cast<std::int32_t>(a.day)) * 48 +
                   (static_cast<std::int32_t>(b.slot) - static_cast<std::int32_t>(a.slot));
  if (n < 0) n += 336;
  return n;
}

DaySlot gf_halfHoursBefore(const DaySlot& now, std::int64_t halfHours) {
  constexpr std::int64_t kWeek = 336;
  std::int64_t t = (static_cast<std::int64_t>(now.day) - 1) * 48 + now.slot - halfHours;
  t %= kWeek;
  if (t < 0) t += kWeek;
  return DaySlot{static_cast<std::uint32_t>(t / 48) + 1, static_cast<std::uint32_t>(t % 48)};
}

DaySlot gf_daySlotOf(std::int64_t epochSeconds) {
  const Broken b = breakDown(epochSeconds);
  return {b.weekday, static_cast<std::uint32_t>(b.secondOfDay / 1800)};
}

std::optional<std::int64_t> gf_epochFromZulu(double year, double dayOfYear, double secondsOfDay) {
  using namespace std::chrono;
  if (!(year >= 1970.0 && year <= 9999.0) || !(dayOfYear >= 1.0) || !(secondsOfDay >= 0.0 && secondsOfDay <= 86400.0))
    return std::nullopt;
  const auto wholeYear = static_cast<int>(year);
  const auto day = static_cast<int>(dayOfYear);
  if (day > (std::chrono::year(wholeYear).is_leap() ? 366 : 365)) return std::nullopt;
  const sys_days firstOfYear{std::chrono::year(wholeYear) / January / 1};
  return duration_cast<seconds>(firstOfYear.time_since_epoch()).count() + (day - 1) * std::int64_t{86400} +
         static_cast<std::int64_t>(secondsOfDay);
}

std::int64_t gf_utcNowSeconds() {
  if (g_clockFixed.load()) return g_fixedSeconds.load();
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t gf_simOrUtcNowSeconds() {
  const std::int64_t sim = g_simEpochSeconds.load();
  return sim > 0 ? sim : gf_utcNowSeconds();
}

void gf_setFixedClock(std::optional<std::int64_t> epochSeconds) {
  if (epochSeconds) {
    g_fixedSeconds.store(*epochSeconds);
    g_clockFixed.store(true);
  } else {
    g_clockFixed.store(false);
  }
}

std::int64_t gf_steadySeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count() + g_steadyAdvance.load();
}

void gf_advanceSteadyClock(std::int64_t seconds) {
  if (seconds > 0) g_steadyAdvance.fetch_add(seconds);
}

DaySlot gf_daySlotNow() { return gf_daySlotOf(gf_simOrUtcNowSeconds()); }
std::string gf_nowHms() { return hms(gf_utcNowSeconds()); }
std::string gf_simNowHms() { return hms(gf_simOrUtcNowSeconds()); }

std::string gf_timeText(std::int64_t epochSeconds) {
  static constexpr const char* kDays[] = {"", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static constexpr const char* kMonths[] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const Broken b = breakDown(epochSeconds);
  const auto s = b.secondOfDay;
  return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", kDays[b.weekday], kMonths[b.month], b.day, s / 3600,
                     (s / 60) % 60, s % 60, b.year);
}
