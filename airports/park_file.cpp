// Writing park files: the generated files of the add-on airport scan and the
// learned file of the park airport.
#include "airports/park_file.h"

#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/xml.h"

std::atomic<bool> g_apfHandmade{false};

namespace {

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// Appends an attribute; a failure (out of memory) ends the writing.
void lf_attribute(pugi::xml_node node, const char* name, const std::string& value) {
  pugi::xml_attribute attribute = node.append_attribute(name);
  if (!attribute || !attribute.set_value(value.c_str())) {
    throw std::runtime_error(fmt::format("could not append attribute {}", name));
  }
}

void lf_boolAttribute(pugi::xml_node node, const char* name, bool value) {
  if (!lf_setBoolAttribute(node, name, value)) {
    throw std::runtime_error(fmt::format("could not append attribute {}", name));
  }
}

void lf_parameter(pugi::xml_node parameters, std::string_view name, const std::string& value) {
  if (!gf_appendParameterNode(parameters, name, value)) {
    throw std::runtime_error(fmt::format("could not append parameter {}", name));
  }
}

// Position, heading, radius, kind and the manual mark of a stand.
void lf_writeFullStand(pugi::xml_node parkpos, const Stand& stand) {
  lf_attribute(parkpos, "latitude", fmt::format("{:.6f}", stand.latitude));
  lf_attribute(parkpos, "longitude", fmt::format("{:.6f}", stand.longitude));
  lf_attribute(parkpos, "heading", fmt::format("{:.1f}", gf_radToDeg(stand.heading)));
  lf_attribute(parkpos, "radius", fmt::format("{:.1f}", gf_nmToMetres(stand.radius)));
  if (stand.heli != 0) {
    lf_attribute(parkpos, "heli", "true");
  } else {
    lf_boolAttribute(parkpos, "cargo", stand.cargo != 0);
  }
  lf_boolAttribute(parkpos, "ramp", stand.ramp != 0);
  if (stand.manual != 0) lf_attribute(parkpos, "manual", "true");
}

// The options in play, in list order.
void lf_writeOptions(pugi::xml_node parkpos, const Stand& stand) {
  for (const StandOption& option : stand.options) {
    if (option.id != 0) gf_appendOptElement(parkpos, option);
  }
}

void lf_writeParkpos(pugi::xml_node parkpositions, const Stand& stand, ApfMode mode, bool handmade) {
  pugi::xml_node parkpos = parkpositions.append_child("parkpos");
  if (!parkpos) throw std::runtime_error("could not append parkpos");
  lf_attribute(parkpos, "id", stand.name);
  if (mode == ApfMode::generated) {
    lf_writeFullStand(parkpos, stand);
    return;
  }
  // A handmade file replaces the park file's stands when it is read, so every
  // stand of it needs its whole description; a stand written with only its
  // changed radius or cargo flag would be dropped (no position) on the next read.
  if (stand.manual != 0 || handmade) {
    lf_writeFullStand(parkpos, stand);
  } else if (stand.radiusChange != 0 || stand.cargoChange != 0 || !stand.refusedRadius.empty()) {
    // A refused radius is what the stand's own learned entry said; a radius
    // changed besides it came from a second entry, which is written back
    // as it was.
    if (!stand.refusedRadius.empty()) {
      lf_attribute(parkpos, "radius_change", "true");
      lf_attribute(parkpos, "radius", stand.refusedRadius);
    } else if (stand.radiusChange != 0) {
      lf_attribute(parkpos, "radius_change", "true");
      lf_attribute(parkpos, "radius", fmt::format("{:.1f}", gf_nmToMetres(stand.radius)));
    }
    if (stand.cargoChange != 0) {
      lf_attribute(parkpos, "cargo_change", "true");
      lf_boolAttribute(parkpos, "cargo", stand.cargo != 0);
    }
  }
  lf_writeOptions(parkpos, stand);
}

}  // namespace

void gf_appendOptElement(pugi::xml_node parkpos, const StandOption& option) {
  pugi::xml_node opt = parkpos.append_child("opt");
  if (!opt) throw std::runtime_error("could not append opt");
  lf_attribute(opt, "reg", option.registration);
  // A registration the reference database knows is written alone: the reader
  // takes airline and type from the database.
  if (option.registration.empty() || gf_findRegcode(option.registration) == nullptr) {
    lf_attribute(opt, "airl", option.airline);
    lf_attribute(opt, "type", option.type);
  }
  if (option.real == 0) lf_attribute(opt, "soft", "true");
  lf_attribute(opt, "day", fmt::format("{}", option.day));
  lf_attribute(opt, "hh", gf_bitset2hours(option.hours));
  if (!option.callsign.empty()) {
    lf_attribute(opt, "cs", option.callsign2.empty() ? option.callsign
                                                     : fmt::format("{}:{}", option.callsign, option.callsign2));
  }
}

void gf_appendLearnedParkpos(pugi::xml_node parkpositions, const Stand& stand) {
  lf_writeParkpos(parkpositions, stand, ApfMode::learned, false);
}

const std::array<const Parameter*, 10>& gf_apfSettings() {
  static const std::array<const Parameter*, 10> settings{
      &prm::RANGE,        &prm::AUTO_RANGE, &prm::WEEK,         &prm::PARK_FAKE,  &prm::PARK_SOFT,
      &prm::parking_percentage, &prm::INITIAL_LOAD_ONLY, &prm::MAX_FIT, &prm::MAX_LIVE_SEL, &prm::LEARN_SOFT};
  return settings;
}

std::vector<std::pair<std::string_view, std::string>> gf_learnedSettingTexts() {
  std::vector<std::pair<std::string_view, std::string>> texts;
  for (std::size_t i = 0; i < kApfSettingNames.size(); ++i) {
    const Parameter& setting = *gf_apfSettings()[i];
    if (&setting == &prm::MAX_LIVE_SEL && prm::MAX_LIVE_SEL.value() == kApfDefaultMaxLive) continue;
    texts.emplace_back(kApfSettingNames[i], setting.valueText());
  }
  return texts;
}

bool lf_writeApfParameters(pugi::xml_node document, const ParkAirport& airport, ApfMode mode, bool handmade) {
  pugi::xml_node parameters = document.append_child("parameters");
  if (!parameters) return false;
  try {
    lf_parameter(parameters, "airport_name", airport.airportName);
    lf_parameter(parameters, "publisher", airport.publisher);
    if (handmade) lf_parameter(parameters, "handmade", "true");
    if (mode == ApfMode::generated || handmade) lf_parameter(parameters, "altitude", fmt::format("{}", airport.altitude));
    lf_parameter(parameters, "num_parkpos", fmt::format("{}", airport.stands.size()));
    if (handmade) {
      lf_parameter(parameters, "Qf_real", fmt::format("{}", airport.qfReal));
      lf_parameter(parameters, "Qf_soft", fmt::format("{}", airport.qfSoft));
    }
    if (airport.publisher == kUnknownPublisher) {
      lf_parameter(parameters, "BGLpath", airport.bglPath);
      lf_parameter(parameters, "manufacturer", airport.manufacturer);
      lf_parameter(parameters, "creator", airport.creator);
    }
    if (mode == ApfMode::learned) {
      for (const auto& [name, value] : gf_learnedSettingTexts()) lf_parameter(parameters, name, value);
    }
  } catch (const std::exception& e) {
    gf_logError("lf_writeApfParameters: {}", e.what());
    return false;
  }
  return true;
}

bool gf_writeApf(const ParkAirport& airport, const std::filesystem::path& path, ApfMode mode) {
  // One reading of the flag, so the parameters and the stands agree.
  return gf_writeApf(airport, path, mode, g_apfHandmade.load());
}

namespace {

bool lf_writeApf(const ParkAirport& airport, const std::filesystem::path& path, const std::filesystem::path& shownPath,
                 ApfMode mode, bool handmadeFlag) {
  try {
    const bool handmade = mode == ApfMode::learned && handmadeFlag;
    pugi::xml_document document;
    if (gf_writeMetaInfo(document) == 0) {
      gf_logError("gf_writeApf: could not write the meta block of '{}'", shownPath.string());
      return false;
    }
    if (!lf_writeApfParameters(document, airport, mode, handmade)) {
      gf_logError("gf_writeApf: could not write the parameters of '{}'", shownPath.string());
      return false;
    }
    pugi::xml_node parkpositions = document.append_child("parkpositions");
    if (!parkpositions) throw std::runtime_error("could not append parkpositions");
    for (const Stand& stand : airport.stands) lf_writeParkpos(parkpositions, stand, mode, handmade);
    if (mode == ApfMode::learned) {
      for (const std::string& kept : airport.keptStands) {
        if (!parkpositions.append_buffer(kept.data(), kept.size())) throw std::runtime_error("could not append a kept stand");
      }
    }
    return gf_saveXml(document, path, shownPath);
  } catch (const std::exception& e) {
    gf_logError("gf_writeApf: {}", e.what());
    return false;
  }
}

}  // namespace

bool gf_writeApf(const ParkAirport& airport, const std::filesystem::path& path, ApfMode mode, bool handmadeFlag) {
  return lf_writeApf(airport, path, path, mode, handmadeFlag);
}

bool gf_writeGeneratedApf(const ParkAirport& airport, const std::filesystem::path& path,
                          const std::filesystem::path& shownPath) {
  return lf_writeApf(airport, path, shownPath, ApfMode::generated, false);
}

std::string gf_formatQualityFactors(const std::pair<std::int32_t, std::int32_t>& factors) {
  const auto [real, soft] = factors;
  if (real < 0 && soft < 0) return "  ";
  if (real < 45) return fmt::format("{:2}/{:2}", real, soft);
  return fmt::format("{:2}", real);
}
