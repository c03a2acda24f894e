#include "airports/static_selection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "aircraftdata/dbase.h"
#include "airports/parking_controls.h"
#include "airports/park_airports.h"
#include "airports/stand_lookup.h"
#include "airports/static_placement.h"
#include "app/geo.h"
#include "app/log.h"
#include "app/random.h"
#include "app/settings.h"
#include "app/text.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

CallsignSet g_liveCallsigns;
std::uint32_t g_realPassFit = 0;
std::int32_t g_softPassFit = -1;

namespace {

constexpr std::size_t kSweepReserve = 512;
constexpr std::size_t kIdListReserve = 256;

// The settings a search reads, taken once when it begins so that a setting
// changed half-way does not mix two rules in one search.
struct SearchRules {
  std::uint32_t maxFit = 47;
  bool random = false;
  bool week = false;
  bool helicopters = false;
  bool soft = false;  // PARK_SOFT or PARK_FAKE
};

SearchRules lf_currentRules() {
  SearchRules rules;
  rules.maxFit = static_cast<std::uint32_t>(std::clamp(prm::MAX_FIT.value(), 0, 47));
  rules.random = prm::RANDOM.value();
  rules.week = prm::WEEK.value();
  rules.helicopters = prm::HELICOPTERS.value();
  rules.soft = prm::PARK_SOFT.value() || prm::PARK_FAKE.value();
  return rules;
}

// Options whose aircraft a search found in use: skipped by the rest of the
// search. Kept beside the options instead of setting their ids to 0, so that
// the stays of the learning keep their option and the option is still saved.
std::unordered_set<std::uint64_t> g_optionsInUse;

std::uint64_t lf_optionKey(const Stand& stand, const StandOption& option) {
  return (std::uint64_t{stand.id} << 32) | option.id;
}

std::int32_t lf_countSelected() {
  return static_cast<std::int32_t>(
      std::count_if(g_parkStands.begin(), g_parkStands.end(), [](const Stand& s) { return s.selected != 0; }));
}

bool lf_kindMatches(const StandOption& option, int kind) {
  if (kind == kSearchReal) return option.real == 1;
  if (kind == kSearchSoft) return option.real == 0;
  return true;
}

bool lf_hasHalfHour(const StandOption& option, std::uint32_t slot) {
  if (slot >= kSlotsPerDay) throw std::out_of_range(fmt::format("half hour {} out of range", slot));
  return (option.hours >> slot & 1U) != 0;
}

// The first candidate of a list (or of the sweep in progress) that carries
// the option's aircraft by callsign or registration.
bool lf_candidateCarries(const std::vector<StaticCandidate>& candidates, const StandOption& option) {
  return std::any_of(candidates.begin(), candidates.end(), [&](const StaticCandidate& c) {
    return (!c.callsign.empty() && (c.callsign == option.callsign || c.callsign == option.callsign2)) ||
           (!c.registration.empty() && c.registration == option.registration);
  });
}

// The sweep of the search in progress; its candidates are in use too.
const std::vector<StaticCandidate>* g_currentSweep = nullptr;

bool lf_optionInUse(const StandOption& option) {
  const auto equalNotEmpty = [](const std::string& a, const std::string& b) { return !a.empty() && a == b; };
  // 1. Its registration was chosen already.
  if (!option.registration.empty() &&
      std::any_of(g_staticCandidates.begin(), g_staticCandidates.end(),
                  [&](const StaticCandidate& c) { return c.registration == option.registration; })) {
    return true;
  }
  // 2, 3. It is flying or taxiing live.
  if (lf_heardLive(option.callsign) || lf_heardLive(option.callsign2)) return true;
  // 4. A static shows it.
  for (const ParkedAircraft& s : g_staticAircraft) {
    const std::string& source = s.identity.sourceCallsign;
    if (equalNotEmpty(source, option.callsign) || equalNotEmpty(source, option.callsign2) ||
        equalNotEmpty(s.identity.registration, option.registration)) {
      return true;
    }
  }
  // 5. A candidate carries it (also one of the sweep in progress: with WEEK
  // on, one aircraft may have options on several stands for the same half hour).
  if (lf_candidateCarries(g_staticCandidates, option)) return true;
  if (g_currentSweep != nullptr && lf_candidateCarries(*g_currentSweep, option)) return true;
  // 6. It is parked live.
  return std::any_of(g_liveParked.begin(), g_liveParked.end(), [&](const LiveParked& p) {
    return equalNotEmpty(p.callsign, option.callsign) || equalNotEmpty(p.callsign, option.callsign2);
  });
}

// A static that shows one of the options goes first, so that a renewal
// keeps the aircraft that stands there; else the order is shuffled.
void lf_pickStandOption(const Stand& stand, std::vector<std::uint32_t>& ids) {
  for (const ParkedAircraft& s : g_staticAircraft) {
    if (s.standId != stand.id) continue;
    for (const StandOption& option : stand.options) {
      if (option.airline != s.identity.airline || option.type != s.identity.type) continue;
      const bool shown = (!option.callsign.empty() && option.callsign + "*" == s.identity.callsign) ||
                         (!option.callsign2.empty() && option.callsign2 + "*" == s.identity.callsign);
      if (shown && std::find(ids.begin(), ids.end(), option.id) != ids.end()) {
        ids.front() = option.id;
        return;
      }
    }
  }
  std::shuffle(ids.begin(), ids.end(), gf_rng());
}

// An active static on an adjacent stand: its half wingspan and its distance
// from the stand (nm).
struct Neighbour {
  double halfSpan;
  double distance;
};

void lf_activeNeighbours(const Stand& stand, std::vector<Neighbour>& neighbours) {
  neighbours.clear();
  for (const std::uint32_t adjacentId : stand.adjacent) {
    for (const ParkedAircraft& s : g_staticAircraft) {
      if (s.standId != adjacentId || s.simState != SimState::active) continue;
      neighbours.push_back(Neighbour{gf_halfWingspan(s.identity.type),
                                     gf_distanceNm(LatLon{s.latitude, s.longitude},
                                                   LatLon{stand.latitude, stand.longitude})});
      break;
    }
  }
}

// One stand of one sweep.
void lf_searchStand(Stand& stand, const DaySlot& now, const DaySlot& target, int kind, std::uint32_t fit,
                    const SearchRules& rules, std::vector<StaticCandidate>& sweep) {
  if (stand.selected || stand.excluded || stand.blocked) return;
  if (stand.heli && !rules.helicopters) return;
  thread_local std::vector<std::uint32_t> ids;
  thread_local std::vector<Neighbour> neighbours;
  ids.clear();
  ids.reserve(kIdListReserve);
  lf_activeNeighbours(stand, neighbours);
  for (const StandOption& option : stand.options) {
    if (option.id == 0 || !lf_kindMatches(option, kind)) continue;
    if (!rules.week && option.day != target.day) continue;
    if (!lf_hasHalfHour(option, target.slot)) continue;
    if (g_optionsInUse.contains(lf_optionKey(stand, option))) continue;
    if (!neighbours.empty()) {
      const double halfSpan = gf_halfWingspan(option.type);
      const bool overlaps = std::any_of(neighbours.begin(), neighbours.end(), [&](const Neighbour& n) {
        return n.halfSpan + halfSpan > n.distance;
      });
      if (overlaps) continue;
    }
    ids.push_back(option.id);
  }
  if (ids.empty()) return;
  if (ids.size() >= 2 && rules.random) lf_pickStandOption(stand, ids);

  const auto it = std::find_if(stand.options.begin(), stand.options.end(),
                               [&](const StandOption& o) { return o.id == ids.front(); });
  if (it == stand.options.end()) return;
  const StandOption& option = *it;
  if (lf_isOptionInUse(option)) {
    g_optionsInUse.insert(lf_optionKey(stand, option));
    return;
  }
  // Without a second callsign the aircraft counts as staying on.
  const bool staysOn = option.callsign2.empty() || lf_staysNextHalfHour(stand, option, now);
  sweep.push_back(StaticCandidate{stand.id, fit, option.airline, option.type, option.callsign, option.callsign2,
                                  option.registration, static_cast<std::uint8_t>(staysOn)});
  stand.selected = 1;
  for (const std::uint32_t adjacentId : stand.adjacent) {
    if (Stand* adjacent = gf_parkStandById(adjacentId)) adjacent->blocked = 1;
  }
}

std::string lf_halfHoursText(std::uint32_t halfHours) { return gf_floatToText(halfHours * 0.5 + 0.5); }

// The search in progress.
struct Search {
  bool running = false;
  DaySlot now;
  std::int32_t wanted = 0;
  std::int32_t occupied = 0;
  SearchRules rules;
  int kind = kSearchReal;
  std::uint32_t fit = 0;
  DaySlot target;
  std::size_t next = 0;  // the next stand of the sweep
  std::int32_t before = 0;
  std::vector<StaticCandidate> sweep;
  std::function<void()> whenDone;
};

Search g_search;

void lf_startPass(int kind) {
  g_search.kind = kind;
  g_search.sweep.clear();
  g_search.sweep.reserve(kSweepReserve);
  g_search.before = lf_countSelected();
  g_search.fit = 0;
  g_search.next = 0;
  g_search.target = g_search.now;
}

void lf_appendSweep() {
  g_staticCandidates.insert(g_staticCandidates.end(), std::make_move_iterator(g_search.sweep.begin()),
                            std::make_move_iterator(g_search.sweep.end()));
  g_search.sweep.clear();
}

// The end of lf_searchPositions and of one pass.
void lf_finishPass(bool found) {
  Search& s = g_search;
  const std::uint32_t reached = found ? s.fit : s.rules.maxFit + 1;
  if (s.kind == kSearchSoft) {
    g_softPassFit = static_cast<std::int32_t>(reached);
  } else {
    g_realPassFit = reached;
    g_softPassFit = -1;
  }
  const std::int32_t added = lf_countSelected() - s.before;
  if (added >= 1) {
    const std::string when = s.rules.week ? std::string(", week") : fmt::format(", day {}", s.now.day);
    gf_logLine("{} {} position{} found, Max fit={} hours{}{}", added, s.kind == kSearchSoft ? "soft" : "real",
               gf_pluralS(added), lf_halfHoursText(s.rules.maxFit), when,
               fmt::format(", hh:{} or {} hrs, fit: {} hour", s.now.slot, lf_halfHoursText(s.now.slot),
                           lf_halfHoursText(reached)));
  }
  gf_setSoftUsed(s.kind == kSearchSoft && added >= 1);
  if (found) {
    if (s.rules.random) std::shuffle(s.sweep.begin(), s.sweep.end(), gf_rng());
    lf_appendSweep();
    const std::int64_t room = std::max<std::int64_t>(std::int64_t{s.wanted} - s.occupied, 0);
    if (static_cast<std::int64_t>(g_staticCandidates.size()) > room)
      g_staticCandidates.resize(static_cast<std::size_t>(room));
  }
  s.sweep.clear();
}

// The end of one sweep: the count reached, or the next fit.
void lf_endSweep() {
  Search& s = g_search;
  if (s.wanted <= lf_countSelected()) {
    lf_finishPass(true);
  } else {
    lf_appendSweep();
    if (s.fit + 1 > s.rules.maxFit) {
      lf_finishPass(false);
    } else {
      ++s.fit;
      s.next = 0;
      s.target = gf_halfHoursBefore(s.now, s.fit);
      return;
    }
  }
  // The pass is over.
  const bool realPass = s.kind == kSearchReal;
  if (realPass && std::int64_t{s.wanted} > static_cast<std::int64_t>(g_staticCandidates.size()) + s.occupied &&
      s.rules.soft) {
    lf_startPass(kSearchSoft);
    return;
  }
  s.running = false;
}

// Advances the search by one stand (or ends a sweep); false when it is over.
bool lf_searchStep() {
  Search& s = g_search;
  if (!s.running) return false;
  if (s.next < g_parkStands.size()) {
    g_currentSweep = &s.sweep;
    try {
      lf_searchStand(g_parkStands[s.next], s.now, s.target, s.kind, s.fit, s.rules, s.sweep);
      ++s.next;
    } catch (const std::exception& e) {
      gf_logLine("{}: day: {}, offset {}: {}", "lf_searchStands", fmt::format("[{},{}]", s.now.day, s.now.slot),
                 s.fit, e.what());
      s.next = g_parkStands.size();
    }
    g_currentSweep = nullptr;
    return true;
  }
  lf_endSweep();
  return s.running;
}

void lf_runSearchToEnd() {
  while (lf_searchStep()) {
  }
}

void lf_finishCalculation(std::int32_t wanted) {
  std::sort(g_staticCandidates.begin(), g_staticCandidates.end(),
            [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit < b.fit; });
  if (static_cast<std::int64_t>(g_staticCandidates.size()) > wanted)
    g_staticCandidates.resize(static_cast<std::size_t>(std::max(wanted, 0)));
  if (g_staticCandidates.empty()) {
    gf_logLine("no parking positions found");
    lf_enableParkingControls();
    return;
  }
  const auto count = static_cast<std::int64_t>(g_staticCandidates.size());
  const auto stands = static_cast<std::int64_t>(g_parkStands.size());
  const std::int64_t percent =
      stands == 0 ? 0 : std::llround(static_cast<double>(count) * 100.0 / static_cast<double>(stands));
  gf_logLine("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", count, percent,
             prm::parking_percentage.value(),
             lf_halfHoursText(static_cast<std::uint32_t>(std::clamp(prm::MAX_FIT.value(), 0, 47))));
  std::sort(g_staticCandidates.begin(), g_staticCandidates.end(),
            [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit > b.fit; });
  lf_disableParkingControls();
}

}  // namespace

DaySlot lf_announceDaySlot() {
  static constexpr std::array<std::string_view, 7> kDayNames{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  const DaySlot now = gf_daySlotNow();
  const std::string_view name = now.day >= 1 && now.day <= 7 ? kDayNames[now.day - 1] : "???";
  gf_logLine("\n{} (utc) It is day {} ({}), {} hours", gf_simNowHms(), now.day, name,
             gf_floatToText(now.slot * 0.5 + 0.5));
  return now;
}

void lf_takeLiveCallsigns() { g_liveCallsigns = g_trafficReader.takeCollectedCallsigns(); }

void lf_excludeReservedAndUserStand() {
  if (!g_reservedStand.empty()) {
    for (Stand& stand : g_parkStands)
      if (stand.name == g_reservedStand) stand.excluded = 1;
  }
  const std::string userStand = gf_userStandName();
  if (!userStand.empty() && userStand != g_reservedStand) {
    for (Stand& stand : g_parkStands)
      if (stand.name == userStand) stand.excluded = 1;
  }
}

bool lf_isOptionInUse(const StandOption& option) { return lf_optionInUse(option); }

bool lf_heardLive(const std::string& callsign) {
  if (callsign.empty()) return false;
  return g_liveCallsigns.contains(callsign) || g_liveCallsigns.contains(callsign + "_");
}

bool lf_staysNextHalfHour(const Stand& stand, const StandOption& option, const DaySlot& now) {
  if (now.slot + 1 < kSlotsPerDay) return lf_hasHalfHour(option, now.slot + 1);
  const std::uint32_t nextDay = now.day >= 7 ? 1 : now.day + 1;
  return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
    return o.id >= 1 && o.day == nextDay && o.airline == option.airline && o.type == option.type && (o.hours & 1U);
  });
}

void lf_beginSearchRealThenSoft(const DaySlot& now, std::int32_t wanted, std::int32_t occupied,
                                std::function<void()> whenDone) {
  g_optionsInUse.clear();
  g_search = Search{};
  g_search.running = true;
  g_search.now = now;
  g_search.wanted = wanted;
  g_search.occupied = occupied;
  g_search.rules = lf_currentRules();
  g_search.whenDone = std::move(whenDone);
  g_realPassFit = 0;
  g_softPassFit = -1;
  lf_startPass(kSearchReal);
}

bool lf_continueSearch(std::chrono::steady_clock::duration budget) {
  if (!g_search.running) return true;
  const auto end = std::chrono::steady_clock::now() + budget;
  while (lf_searchStep()) {
    if (std::chrono::steady_clock::now() >= end) return false;
  }
  // Finished: its continuation may begin the next search.
  std::function<void()> whenDone = std::move(g_search.whenDone);
  g_search.whenDone = nullptr;
  if (whenDone) whenDone();
  return !g_search.running;
}

bool lf_searchRunning() { return g_search.running; }

void lf_cancelSearch() {
  g_search = Search{};
  g_currentSweep = nullptr;
}

void lf_searchRealThenSoft(const DaySlot& now, std::int32_t wanted, std::int32_t occupied) {
  lf_beginSearchRealThenSoft(now, wanted, occupied, nullptr);
  lf_runSearchToEnd();
}

void lf_calcStaticParking() {
  const DaySlot now = lf_announceDaySlot();
  gf_showStatus("Making changes to airport parking parameters is disabled while static parking takes place ...",
                false);
  g_staticCandidates.clear();
  g_liveParked.clear();
  gf_setAverageFit(-1.0);
  gf_setSoftUsed(false);
  lf_takeLiveCallsigns();
  for (Stand& stand : g_parkStands) {
    stand.selected = 0;
    stand.excluded = 0;
    stand.blocked = 0;
  }
  lf_excludeReservedAndUserStand();
  const std::int32_t wanted = lf_wantedStaticCount();
  if (wanted <= 0) {
    lf_finishCalculation(wanted);
    return;
  }
  lf_beginSearchRealThenSoft(now, wanted, 0, [wanted] { lf_finishCalculation(wanted); });
}

void lf_renumberStandOptions(Stand& stand) {
  std::unordered_map<std::uint32_t, std::uint32_t> renumbered;
  std::uint32_t next = 1;
  for (StandOption& option : stand.options) {
    if (option.id != 0) renumbered.emplace(option.id, next);
    option.id = next++;
  }
  for (StandStayTable* stays : {&stand.realStays, &stand.softStays}) {
    for (auto& [hexid, stay] : *stays) {
      const auto it = renumbered.find(stay.optionId);
      // A stay whose option is gone starts afresh at its next update.
      stay.optionId = it == renumbered.end() ? 0 : it->second;
    }
  }
}
