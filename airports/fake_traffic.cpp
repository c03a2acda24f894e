#include "airports/fake_traffic.h"

#include <span>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "airports/stand_options.h"
#include "app/clock.h"
#include "app/random.h"

namespace {

struct FakePair {
  std::string_view airline;
  std::string_view type;
};

constexpr FakePair kHeli[] = {{"PVT", "EC35"}};
constexpr FakePair kCargo[] = {{"FDX", "C208"}, {"FDX", "B752"}, {"FDX", "B763"}, {"UPS", "A306"}, {"DHK", "B763"}};
constexpr FakePair kRamp[] = {{"PVT", "C172"}, {"PVT", "C206"}, {"PVT", "P28A"}, {"PVT", "PC12"}, {"PVT", "C550"},
                              {"PVT", "TBM9"}, {"PVT", "LJ25"}, {"PVT", "GLF6"}, {"PVT", "FA6X"}, {"PVT", "FA8X"},
                              {"PVT", "GLF4"}, {"PVT", "GLF5"}, {"PVT", "LJ60"}, {"PVT", "DHC7"}, {"PVT", "DH8A"},
                              {"PVT", "DH8C"}, {"PVT", "E550"}, {"PVT", "CL30"}, {"PVT", "GA6C"}};
constexpr FakePair kCanada[] = {{"ACA", "B789"}, {"ACA", "B38M"}, {"ROU", "A321"}, {"JZA", "CRJ9"}};
constexpr FakePair kEurope[] = {{"KLM", "B77W"}, {"SAS", "A320"}, {"EZY", "A320"}, {"RYR", "B738"},
                                {"DLH", "A320"}, {"KLM", "B738"}, {"BAW", "A21N"}};
// FFT A320 stands twice: it counts twice in the draw.
constexpr FakePair kUsa[] = {{"UAL", "B77W"}, {"DAL", "B739"}, {"JBU", "BCS3"}, {"FFT", "A320"}, {"UAL", "B78X"},
                             {"UAL", "B738"}, {"AAL", "B738"}, {"SKW", "E75L"}, {"SWA", "B737"}, {"FFT", "A320"}};
constexpr FakePair kJapan[] = {{"ANA", "A20N"}, {"JAL", "A35K"}, {"JAL", "B738"}};
constexpr FakePair kChina[] = {{"CSA", "A320"}, {"CES", "A333"}, {"CES", "A321"}};
constexpr FakePair kAnyOther[] = {{"ZZZ", "B738"}};

struct FakeRow {
  std::span<const FakePair> pairs;
  bool sizeTest;
};

// The first row of the table that applies to the stand.
FakeRow lf_rowFor(const Stand& stand, char region) {
  if (stand.heli != 0) return {kHeli, false};
  if (stand.cargo != 0) return {kCargo, true};
  if (stand.ramp != 0) return {kRamp, true};
  switch (region) {
    case 'C': return {kCanada, true};
    case 'E': return {kEurope, true};
    case 'K': return {kUsa, true};
    case 'R': return {kJapan, true};
    case 'Z': return {kChina, true};
    default: return {kAnyOther, false};
  }
}

}  // namespace

void lf_makeFakeTraffic(std::string_view icao, std::vector<Stand>& stands) {
  const DaySlot now = gf_daySlotNow();
  const std::uint64_t hours = std::uint64_t{1} << now.slot;
  const char region = icao.empty() ? '\0' : icao.front();
  std::uint32_t fakeNumber = 1;
  std::vector<const FakePair*> candidates;
  for (Stand& stand : stands) {
    const FakeRow row = lf_rowFor(stand, region);
    candidates.clear();
    for (const FakePair& pair : row.pairs) {
      if (!row.sizeTest || gf_standFitsHalfSpan(stand, gf_halfWingspan(std::string(pair.type)))) {
        candidates.push_back(&pair);
      }
    }
    if (candidates.empty()) continue;
    const FakePair& chosen = *candidates[gf_randomIndex(candidates.size())];
    StandOption option;
    option.airline = chosen.airline;
    option.type = chosen.type;
    option.registration = fmt::format("REGFAKE{}", fakeNumber);
    option.callsign = fmt::format("FAKE{}", fakeNumber);
    option.hours = hours;
    option.id = gf_nextOptionId(stand.options);
    option.day = now.day;
    option.origin = 1;
    option.real = 0;
    stand.options.push_back(std::move(option));
    ++fakeNumber;
  }
}
