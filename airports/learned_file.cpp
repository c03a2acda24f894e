#include "airports/learned_file.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "airports/park_file.h"
#include "app/file_stamp.h"
#include "app/files.h"
#include "app/hash.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/xml.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"
#include "ui/window_setters.h"

namespace fs = std::filesystem;

bool lf_sameOptionFields(const StandOption& a, const StandOption& b) {
  return a.day == b.day && a.real == b.real && a.registration == b.registration && a.airline == b.airline &&
         a.type == b.type;
}

bool lf_sameStandOption(const StandOption& option, const StandOption& existing) {
  return lf_sameOptionFields(option, existing) && (option.hours & existing.hours) != 0;
}

namespace {

// A manual stand nearer than this to 0/0 (degrees) has no real position.
constexpr double kNoPosition = 0.0001;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// A boolean parameter of the learned file: applied and shown when present.
void lf_applyBool(const pugi::xml_node& document, std::string_view name, CheckBoolParameter& setting) {
  bool found = false;
  const bool value = gf_getParamBool(document, name, found);
  if (!found) return;
  setting.set(value);
  gf_setTbCheck(setting);
  gf_logIndented("{:24}: {}", name, lf_boolText(value));
}

// "MAX_LIVE": a learned maximum is mapped to the nearest lower choice of the
// combo (-1, "no maximum", to 500).
std::int32_t lf_maxLiveChoice(std::int32_t value) {
  std::int32_t choice = 100;
  if (value == -1) {
    choice = 500;
  } else if (value < 25) {
    choice = 10;
  } else if (value < 50) {
    choice = 25;
  } else if (value < 75) {
    choice = 50;
  } else if (value < 100) {
    choice = 75;
  }
  return std::clamp(choice, 10, 500);
}

void lf_applyMaxLive(const pugi::xml_node& document) {
  bool found = false;
  const std::int32_t value = gf_getParamInt(document, "MAX_LIVE", found);
  if (!found) {
    prm::MAX_LIVE_SEL.setWithoutClamping(-1);  // no maximum, outside the combo's choices
    gf_setTbIntText(prm::MAX_LIVE_SEL);
    return;
  }
  prm::MAX_LIVE_SEL.set(lf_maxLiveChoice(value));
  gf_setTbIntText(prm::MAX_LIVE_SEL);
  gf_logIndented("{:24}: {}", "MAX_LIVE", prm::MAX_LIVE_SEL.value());
}

void lf_applyLateralRange(const pugi::xml_node& document) {
  bool found = false;
  const std::int32_t value = gf_getParamInt(document, "LATERAL_RANGE", found);
  if (!found) return;
  const std::int32_t range = gf_roundPercentage(value);
  prm::RANGE.set(std::clamp(range, 2, 100));
  gf_setTrafficRange(range);
  gf_logIndented("{:24}: {}", "LATERAL_RANGE", range);
  gf_setTbIntText(prm::RANGE);
  // Enabled unless the automatic radius is on, as the checkbox leaves it: a
  // file that gives a radius without AUTO_RANGE leaves the setting on.
  gf_enableRangeCombos(prm::AUTO_RANGE.value());
}

void lf_applyAutoRange(const pugi::xml_node& document) {
  bool found = false;
  const bool on = gf_getParamBool(document, "AUTO_RANGE", found);
  if (!found) return;
  const bool wasOn = prm::AUTO_RANGE.value();
  prm::AUTO_RANGE.set(on);
  gf_setTbCheck(prm::AUTO_RANGE);
  gf_logIndented("{:24}: {}", "AUTO_RANGE", lf_boolText(on));
  // The file is read off the main loop; the radius is measured to the park
  // airports list, which only the run thread may look at: it does so at its
  // next pass.
  gf_enableRangeCombos(on);
  gf_switchAutoRange(wasOn, on, false);
  gf_setTbIntText(prm::RANGE);
}

void lf_applyParkingPercentage(const pugi::xml_node& document) {
  bool found = false;
  const std::int32_t value = gf_getParamInt(document, "parking_percentage", found);
  if (!found) {
    prm::parking_percentage.set(30);
    gf_setTbIntText(prm::parking_percentage);
    return;
  }
  // Taken as the file has it, so that the next save writes it back
  // unchanged: the wanted count is bounded where it is computed.
  prm::parking_percentage.setWithoutClamping(value);
  gf_logIndented("{:24}: {}", "parking_percentage", prm::parking_percentage.value());
  gf_setTbIntText(prm::parking_percentage);
}

void lf_applyMaxFit(const pugi::xml_node& document) {
  bool found = false;
  const std::int32_t value = gf_getParamInt(document, "MAX_FIT", found);
  if (!found) return;
  prm::MAX_FIT.set(std::clamp(value, 0, 47));
  prm::MAX_FIT_FL.set(prm::MAX_FIT.value() * 0.5 + 0.5);
  gf_setTbFloatText(prm::MAX_FIT_FL);
  gf_logIndented("{:24}: {} (max number of half hours, is {} hrs decimal)", "MAX_FIT", prm::MAX_FIT.value(),
                 gf_floatToText(prm::MAX_FIT_FL.value()));
}

// The ten parking settings of the learned file, in their order of applying.
void lf_applySettings(const pugi::xml_node& document) {
  lf_applyBool(document, "LEARN_SOFT", prm::LEARN_SOFT);
  lf_applyMaxLive(document);
  lf_applyLateralRange(document);
  lf_applyAutoRange(document);
  lf_applyBool(document, "PARK_FAKE", prm::PARK_FAKE);
  lf_applyBool(document, "WEEK", prm::WEEK);
  lf_applyBool(document, "PARK_SOFT", prm::PARK_SOFT);
  lf_applyParkingPercentage(document);
  lf_applyBool(document, "INITIAL_LOAD_ONLY", prm::INITIAL_LOAD_ONLY);
  lf_applyMaxFit(document);
}

// The handmade file's stands replace the park file's. The flag is set
// first, so that whatever happens while the stands are read, the next save
// writes a handmade file again. A stand that is not read (refused values, an
// id that came before) is kept for writing back: the stands are the user's.
// True when stands were left out at the stand limit.
bool lf_handmadeMerge(ApfDocument& document, const std::string& handmadeValue, std::vector<Stand>& stands,
                      std::atomic<bool>& handmade, std::vector<std::string>& kept) {
  handmade.store(true);
  stands.clear();
  const bool cut = gf_readApfStands(document, stands, DuplicateStand::skip, &kept);
  gf_logIndented("{:24}: {}", "handmade", handmadeValue);
  return cut;
}

// A learned stand the stand list lacks (the park file no longer names it,
// or refused its values), and a manual stand that is not read, are kept as
// they are and written back at the next save, outside the stand list: once
// the park file names the stand again, its options come back into play. A
// second entry of a stand is merged as well and also written back as it was,
// so that what the first entry said stays in the stand's own element. True
// when the rest of the file was not read (the limits of ApfStandsNotRead).
bool lf_ordinaryMerge(ApfDocument& document, const fs::path& learnedPath, std::vector<Stand>& stands,
                      std::vector<std::string>& kept) {
  const std::string pathText = learnedPath.generic_string();
  // The first stand of each name, by its place in the list (manual stands are
  // appended as they come), and whether an entry of the file was merged into it.
  struct Named {
    std::size_t index = 0;
    bool merged = false;
  };
  std::unordered_map<std::string, Named, Fnv1aHash, std::equal_to<>> byName;
  byName.reserve(stands.size());
  for (std::size_t i = 0; i < stands.size(); ++i) byName.try_emplace(stands[i].name, Named{i, false});
  ApfStandsNotRead notRead(pathText, &kept);
  document.forEachParkpos([&](const pugi::xml_node& parkpos) {
    const std::string id = parkpos.attribute("id").value();
    const auto named = byName.find(id);
    if (gf_textToBool(parkpos.attribute("manual").value())) {
      if (named != byName.end()) {
        if (ApfSkipLines::show()) gf_logError("manually created standid {} already exists in {}", id, pathText);
        return notRead.take(parkpos, id);
      }
      double latitude = 0.0;
      double longitude = 0.0;
      double radius = 0.0;
      gf_readApfDouble(parkpos, "latitude", latitude);
      gf_readApfDouble(parkpos, "longitude", longitude);
      gf_readApfDouble(parkpos, "radius", radius);
      if ((std::fabs(latitude) <= kNoPosition && std::fabs(longitude) <= kNoPosition) || radius == 0.0) {
        if (ApfSkipLines::show()) gf_logError("manually created standid {} misses correct attributes in {}", id, pathText);
        return notRead.take(parkpos, id);
      }
      // Past the limit the learned stands after it are still merged (the
      // file is left as it is at the save).
      if (stands.size() >= kApfMaxStands) return notRead.pastStandLimit(parkpos, id, 0, false);
      if (!lf_readParkpos(parkpos, id, 0, stands)) return notRead.take(parkpos, id);
      stands.back().manual = 1;
      byName.try_emplace(id, Named{stands.size() - 1, true});
      return true;
    }
    if (named == byName.end()) {
      // Past the limit the read ends without the line.
      if (notRead.room() && ApfSkipLines::show()) gf_logLine("learned stand {} in {} not found?", id, pathText);
      return notRead.take(parkpos, id);
    }
    Stand& stand = stands[named->second.index];
    if (!std::exchange(named->second.merged, true)) {
      lf_readLearnedParkpos(std::pair<std::string, pugi::xml_node>{id, parkpos}, stand);
      return true;
    }
    if (!notRead.take(parkpos, id)) return false;
    // The stand's own element keeps the radius its first entry refused.
    const std::string refused = stand.refusedRadius;
    lf_readLearnedParkpos(std::pair<std::string, pugi::xml_node>{id, parkpos}, stand);
    stand.refusedRadius = refused;
    return true;
  });
  return notRead.cut();
}

// Two options are the same learned use of a stand when they have the same
// day, real flag, registration, airline and type and overlapping half hours.
// This table holds a stand's options by those fields, each entry with the
// union of the half hours of the options that share them: a new option is
// the same use as one of them exactly when it overlaps that union. An open
// hash table over the stand's option list, refilled for each merge.
class OptionUses {
 public:
  OptionUses(const std::vector<StandOption>& options, std::size_t incoming) : m_options(options) {
    std::size_t size = 16;
    while (size < 2 * (options.size() + incoming)) size *= 2;
    m_slots.assign(size, Slot{});
    for (std::size_t i = 0; i < options.size(); ++i) add(i);
  }

  // Whether an option with the same fields and an overlapping half hour is there.
  bool known(const StandOption& option) const {
    const Slot& slot = m_slots[find(option, lf_hash(option))];
    return slot.index != 0 && (slot.hours & option.hours) != 0;
  }

  // Takes in the option at this place of the list.
  void add(std::size_t index) {
    const StandOption& option = m_options[index];
    Slot& slot = m_slots[find(option, lf_hash(option))];
    if (slot.index == 0) slot.index = index + 1;
    slot.hours |= option.hours;
  }

 private:
  struct Slot {
    std::size_t index = 0;  // place in the list + 1 of the first option of these fields; 0: free
    std::uint64_t hours = 0;
  };

  static std::size_t lf_hash(const StandOption& option) {
    const Fnv1aHash text;
    std::size_t h = text(option.registration);
    h = h * 31 + text(option.airline);
    h = h * 31 + text(option.type);
    return h * 31 + (static_cast<std::size_t>(option.day) << 1 | option.real);
  }

  // The slot of these fields, or the free slot where they go.
  std::size_t find(const StandOption& option, std::size_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = m_slots[i];
      if (slot.index == 0 || lf_sameOptionFields(m_options[slot.index - 1], option)) return i;
    }
  }

  const std::vector<StandOption>& m_options;
  std::vector<Slot> m_slots;
};

// What the ordinary merge gave each stand, for a save that finds the file
// changed since: the options of origin 0 are those of the learned file (the
// park file's are of origin 1).
void lf_noteLearnedRead(const std::vector<Stand>& stands,
                        std::unordered_map<std::string, LearnedStandRead, Fnv1aHash, std::equal_to<>>& read) {
  for (const Stand& stand : stands) {
    LearnedStandRead given;
    for (const StandOption& option : stand.options)
      if (option.origin == 0) given.optionHours.push_back(option.hours);
    if (!given.optionHours.empty()) read.insert_or_assign(stand.name, std::move(given));
  }
}

}  // namespace

bool lf_readLearnedParkpos(const std::pair<std::string, pugi::xml_node>& learnedStand, Stand& stand) {
  const auto& [id, parkpos] = learnedStand;
  if (stand.name != id) return false;
  if (gf_textToBool(parkpos.attribute("radius_change").value())) {
    double metres = 0.0;
    // A radius that is not a usable size keeps the park file's radius; an
    // absent one is 0.
    if (gf_readApfDouble(parkpos, "radius", metres) && metres >= 0.0 && metres <= kApfMaxRadiusMetres) {
      stand.radius = gf_metresToNm(metres);
      stand.radiusChange = 1;
      stand.refusedRadius.clear();
    } else {
      // Kept out of every distance and size, and written back as it was.
      stand.refusedRadius = parkpos.attribute("radius").value();
      if (ApfSkipLines::show()) gf_logError("learned stand {}: radius '{}' refused", id, stand.refusedRadius);
    }
  }
  if (gf_textToBool(parkpos.attribute("cargo_change").value())) {
    stand.cargo = gf_textToBool(parkpos.attribute("cargo").value()) ? 1 : 0;
    stand.cargoChange = 1;
  }
  std::size_t incoming = 0;
  for (const pugi::xml_node opt : parkpos.children("opt")) {
    (void)opt;
    ++incoming;
  }
  // Room for every option of the element at once (the list grows only here
  // while the file is read), and each read in its place at the end of the list.
  stand.options.reserve(stand.options.size() + incoming);
  OptionUses uses(stand.options, incoming);
  std::uint32_t nextId = gf_nextOptionId(stand.options);
  for (const pugi::xml_node opt : parkpos.children("opt")) {
    StandOption& option = stand.options.emplace_back();
    gf_readOptElement(opt, id, option);
    option.origin = 0;
    if (uses.known(option)) {
      stand.options.pop_back();
      continue;
    }
    option.id = nextId++;
    uses.add(stand.options.size() - 1);
  }
  return true;
}

namespace {

constexpr int kLearnedBackupNames = 100;

// The n-th backup name of a learned file (1: "ICAO0.xml", then "ICAO0_n.xml").
fs::path lf_learnedBackupName(const fs::path& learnedPath, int n) {
  fs::path candidate = learnedPath;
  candidate.replace_filename(learnedPath.stem().string() + (n == 1 ? "0" : fmt::format("0_{}", n)) +
                             learnedPath.extension().string());
  return candidate;
}

}  // namespace

fs::path lf_learnedBackupPath(const fs::path& learnedPath) {
  for (int n = 1; n <= kLearnedBackupNames; ++n) {
    fs::path candidate = lf_learnedBackupName(learnedPath, n);
    std::error_code ec;
    if (!fs::exists(candidate, ec) && !ec) return candidate;
  }
  return {};
}

fs::path lf_keepAside(const fs::path& learnedPath) {
  for (int n = 1; n <= kLearnedBackupNames; ++n) {
    const fs::path candidate = lf_learnedBackupName(learnedPath, n);
    std::error_code ec;
    if (!fs::exists(candidate, ec)) break;
    if (gf_sameFileBytes(learnedPath, candidate)) return {};
  }
  const fs::path backup = lf_learnedBackupPath(learnedPath);
  if (backup.empty()) throw fs::filesystem_error("copy_file", learnedPath, std::make_error_code(std::errc::file_exists));
  std::error_code ec;
  fs::copy_file(learnedPath, backup, fs::copy_options::none, ec);
  if (ec) throw fs::filesystem_error("copy_file", learnedPath, backup, ec);
  return backup;
}

void lf_showKeptAside(const fs::path& learnedPath, const fs::path& backup, std::string_view why) {
  if (backup.empty()) return;
  gf_showStatus(fmt::format("The learned file '{}' {}; a copy of it is kept as '{}'", learnedPath.generic_string(), why,
                            backup.generic_string()),
                true);
}

std::string lf_readLearned(const fs::path& learnedPath, ParkAirport& airport, std::vector<Stand>& stands,
                           std::atomic<bool>& handmade) {
  airport.keptStands.clear();
  try {
    const ApfSkipLines skipLines(learnedPath.generic_string());
    ApfDocument loaded;
    const pugi::xml_document& document = loaded.head();
    std::string error;
    const bool read = loaded.load(learnedPath, error, true);
    // The stamp of the bytes read, so that the save tells a change made since
    // (also one made while they were read); of the file as it is when none were.
    airport.learnedFile = loaded.bytesStamp() ? *loaded.bytesStamp() : gf_fileStamp(learnedPath);
    if (!read) {
      if (loaded.stopped()) return error;
      std::error_code ec;
      const fs::path backup = fs::exists(learnedPath, ec) ? lf_keepAside(learnedPath) : fs::path();
      gf_logLine("{} found, but could not be loaded, saved as *.0.xml: {}", learnedPath.generic_string(), error);
      lf_showKeptAside(learnedPath, backup, "could not be read");
      return {};
    }
    gf_logLine("Read from learned airport file: '{}'", learnedPath.generic_string());
    if (!gf_readMetaInfo(document, prm::author) || !gf_readMetaInfo(document, prm::date) ||
        !gf_readMetaInfo(document, prm::version)) {
      // Not read. A handmade file holds the airport's stands and stays as it
      // is; any other is kept aside and replaced at the next save.
      bool isHandmade = false;
      gf_getParamString(document, "handmade", isHandmade);
      if (isHandmade) return "it lacks one of the meta entries author, date and version, and was not read";
      const fs::path backup = lf_keepAside(learnedPath);
      gf_logLine("{} lacks one of the meta entries author, date and version, not read, saved as *.0.xml",
                 learnedPath.generic_string());
      lf_showKeptAside(learnedPath, backup, "lacks one of the meta entries author, date and version");
      return {};
    }
    const std::string learnedName = gf_getParamString(document, "airport_name");
    if (learnedName != airport.airportName) {
      gf_showStatus(fmt::format("Warning: learned file airport name: '{}' differs from archived file airport name: '{}'",
                                learnedName, airport.airportName),
                    true);
    }
    for (const std::string_view name : kApfSettingNames) {
      bool found = false;
      std::string value = gf_getParamString(document, name, found);
      if (found) airport.learnedSettings.emplace_back(name, std::move(value));
    }
    lf_applySettings(document);
    bool isHandmade = false;
    const std::string handmadeValue = gf_getParamString(document, "handmade", isHandmade);
    bool cut = false;
    if (isHandmade) {
      cut = lf_handmadeMerge(loaded, handmadeValue, stands, handmade, airport.keptStands);
    } else {
      handmade.store(false);
      cut = lf_ordinaryMerge(loaded, learnedPath, stands, airport.keptStands);
      lf_noteLearnedRead(stands, airport.learnedStands);
    }
    if (loaded.stopped() || g_stopRun.load()) return "abandoned for the close";
    return cut ? gf_standLimitReason() : std::string();
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "lf_readLearned", e.what());
    return fmt::format("it was not read whole: {}", e.what());
  }
}
