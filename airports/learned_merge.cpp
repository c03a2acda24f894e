#include "airports/learned_merge.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/learned_file.h"
#include "airports/park_file.h"
#include "app/files.h"
#include "app/hash.h"
#include "app/text.h"
#include "app/xml.h"

namespace fs = std::filesystem;

namespace {

void lf_setAttribute(pugi::xml_node node, const char* name, const std::string& value) {
  pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) attribute = node.append_attribute(name);
  if (!attribute || !attribute.set_value(value.c_str()))
    throw std::runtime_error(fmt::format("could not set attribute {}", name));
}

// An option in play and its half hours learned since the file was read: all of
// them for an option learned since, those added to it for one the file gave.
struct LearnedSince {
  const StandOption* option = nullptr;
  std::uint64_t hours = 0;
};

std::vector<LearnedSince> lf_optionsSince(const Stand& stand, const LearnedStandRead* read) {
  std::vector<LearnedSince> since;
  std::size_t fromFile = 0;  // options of origin 0 passed, the file's first
  for (const StandOption& option : stand.options) {
    if (option.origin != 0) continue;
    std::uint64_t hours = option.hours;
    if (read != nullptr && fromFile < read->optionHours.size()) hours &= ~read->optionHours[fromFile];
    ++fromFile;
    if (option.id != 0 && hours != 0) since.push_back(LearnedSince{&option, hours});
  }
  return since;
}

// The options learned that the element lacks, with the half hours learned; an
// option of the same use (half hours in common with the option as it is now)
// gets those it lacks.
void lf_layOptions(pugi::xml_node parkpos, const Stand& stand, const std::vector<LearnedSince>& learned) {
  std::vector<std::pair<StandOption, pugi::xml_node>> held;
  for (const pugi::xml_node opt : parkpos.children("opt")) {
    StandOption option;
    gf_readOptElement(opt, stand.name, option);
    held.emplace_back(std::move(option), opt);
  }
  for (const auto& [option, hours] : learned) {
    auto same = held.begin();
    for (; same != held.end(); ++same)
      if (lf_sameStandOption(*option, same->first)) break;
    if (same == held.end()) {
      StandOption added = *option;
      added.hours = hours;
      gf_appendOptElement(parkpos, added);
      held.emplace_back(std::move(added), parkpos.last_child());
    } else if ((hours & ~same->first.hours) != 0) {
      same->first.hours |= hours;
      lf_setAttribute(same->second, "hh", gf_bitset2hours(same->first.hours));
    }
  }
}

// A stand the file has no element for: one with what was learned on it since
// the read, unless that is nothing. Its manual flag and its radius and cargo
// changes came from the file, which no longer has them: the user took them out.
void lf_appendSince(pugi::xml_node parkpositions, const Stand& stand, const std::vector<LearnedSince>& learned) {
  if (stand.manual != 0 || learned.empty()) return;
  Stand since = stand;
  since.options.clear();
  for (const auto& [option, hours] : learned) {
    since.options.push_back(*option);
    since.options.back().hours = hours;
  }
  since.radiusChange = 0;
  since.refusedRadius.clear();
  since.cargoChange = 0;
  gf_appendLearnedParkpos(parkpositions, since);
}

// Why the file is not one the merge writes into (and what then becomes of
// it); empty when it is. A handmade file is the user's whatever it lacks.
std::string lf_notOrdinary(const pugi::xml_document& document, LearnedMerge& kind) {
  bool handmade = false;
  gf_getParamString(document, "handmade", handmade);
  kind = LearnedMerge::leftAlone;
  if (handmade) return "it is a handmade file";
  kind = LearnedMerge::notLearned;
  for (const char* name : {"author", "date", "version"}) {
    if (!gf_findMetaInfo(document, name)) return "it lacks one of the meta entries author, date and version";
  }
  return "";
}

// An ordinary learned file that holds nothing: the meta block and the
// airport's parameters as any save writes them, without parking settings or
// stands. A deleted file is taken as this, so that the deletion holds for all
// that was read from it.
void lf_emptyLearnedDocument(pugi::xml_document& document, const ParkAirport& learned) {
  document.reset();
  if (gf_writeMetaInfo(document) == 0 || !lf_writeApfParameters(document, learned, ApfMode::learned, false))
    throw std::runtime_error("could not write the meta block and parameters");
  for (const std::string_view name : kApfSettingNames) {
    const pugi::xml_node node = gf_findParameterNode(document, name);
    if (node) node.parent().remove_child(node);
  }
}

// A parking setting the user left as it was read in the file takes the value
// in force, as any save writes it; one the user changed, added or removed
// there stays as the file has it. A deleted file (`fileGone`) took every
// setting with it, except one changed in the window since the read: that one
// was set since, and is written.
void lf_layParameters(pugi::xml_document& document, const ParkAirport& learned, bool fileGone) {
  pugi::xml_node parameters = document.child("parameters");
  if (!parameters) parameters = document.insert_child_before("parameters", document.child("parkpositions"));
  if (!parameters) throw std::runtime_error("could not append parameters");
  const auto inForce = gf_learnedSettingTexts();
  for (const std::string_view name : kApfSettingNames) {
    const pugi::xml_node node = gf_findParameterNode(document, name);
    std::optional<std::string> now;
    if (node) now = node.attribute("value").value();
    std::optional<std::string> read;
    for (const auto& [readName, value] : learned.learnedSettings)
      if (readName == name) read = value;
    const auto value = std::find_if(inForce.begin(), inForce.end(), [&](const auto& s) { return s.first == name; });
    const std::optional<std::string> force =
        value == inForce.end() ? std::nullopt : std::optional<std::string>(value->second);
    if (now != read && (!fileGone || force == read)) continue;
    if (!force) {
      if (node) node.parent().remove_child(node);
    } else if (node) {
      lf_setAttribute(node, "value", *force);
    } else if (!gf_appendParameterNode(parameters, name, *force)) {
      throw std::runtime_error(fmt::format("could not append parameter {}", name));
    }
  }
}

}  // namespace

LearnedMerge gf_mergeIntoLearnedFile(const fs::path& path, const ParkAirport& learned, std::string& why) {
  try {
    pugi::xml_document document;
    LearnedMerge done = LearnedMerge::merged;
    {
      // Bounded as a park file read as one tree.
      std::error_code ec;
      const std::uintmax_t size = fs::file_size(path, ec);
      const XmlMemoryBudget budget(gf_apfTreeBudget(ec ? 0 : static_cast<std::size_t>(size)));
      const FileReadResult loaded = gf_loadXmlFile(path, gf_apfMaxFileBytes(), document);
      if (loaded.problem == FileProblem::missing) {
        done = LearnedMerge::intoNew;
      } else if (!loaded) {
        why = loaded.message;
        return loaded.problem == FileProblem::corrupt ? LearnedMerge::notLearned : LearnedMerge::leftAlone;
      }
    }
    if (done == LearnedMerge::intoNew) {
      lf_emptyLearnedDocument(document, learned);
    } else {
      LearnedMerge kind = LearnedMerge::leftAlone;
      why = lf_notOrdinary(document, kind);
      if (!why.empty()) return kind;
    }
    pugi::xml_node parkpositions = document.child("parkpositions");
    if (!parkpositions) parkpositions = document.append_child("parkpositions");
    if (!parkpositions) throw std::runtime_error("could not append parkpositions");
    lf_layParameters(document, learned, done == LearnedMerge::intoNew);

    // The first element of each id of each kind (not manual, manual), as the
    // read merges into it: a manual element of a stand's id does not hide
    // the stand's own element after it.
    std::unordered_map<std::string, pugi::xml_node, Fnv1aHash, std::equal_to<>> elements[2];
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
      const bool manual = gf_textToBool(parkpos.attribute("manual").value());
      elements[manual ? 1 : 0].try_emplace(parkpos.attribute("id").value(), parkpos);
    }
    for (const Stand& stand : learned.stands) {
      const auto given = learned.learnedStands.find(stand.name);
      const LearnedStandRead* read = given == learned.learnedStands.end() ? nullptr : &given->second;
      const std::vector<LearnedSince> since = lf_optionsSince(stand, read);
      const auto& ofKind = elements[stand.manual != 0 ? 1 : 0];
      const auto found = ofKind.find(stand.name);
      if (found == ofKind.end()) {
        lf_appendSince(parkpositions, stand, since);
        continue;
      }
      lf_layOptions(found->second, stand, since);
    }
    if (!gf_saveXml(document, path)) {
      why = "it could not be written";
      return LearnedMerge::leftAlone;
    }
    return done;
  } catch (const std::exception& e) {
    why = e.what();
    return LearnedMerge::leftAlone;
  }
}
