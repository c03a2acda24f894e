#include "scan/manifests.h"

#include <algorithm>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "app/text.h"
#include "scan/airport_scan.h"
#include "scan/sim_paths.h"

namespace fs = std::filesystem;

namespace {

bool lf_equalsIgnoringCase(std::string_view a, std::string_view b) { return gf_toLower(a) == gf_toLower(b); }

// A folder as compared with the folders where the upward search ends.
std::string lf_folderKey(const fs::path& folder) {
  std::string key = gf_toLower(folder.lexically_normal().generic_string());
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

// Where a path lies below a Community folder: that folder (the path up to its
// first component named Community, in any case) and the folder two
// components below it (the package, or the package's first folder; the
// whole path when it ends sooner). Both empty for a path without Community.
struct CommunityPlace {
  fs::path community;
  fs::path cut;
};
CommunityPlace lf_communityPlace(const fs::path& path) {
  CommunityPlace place;
  fs::path prefix;
  int after = -1;
  for (const fs::path& part : path) {
    prefix /= part;
    if (after >= 0) {
      if (++after == 2) break;
    } else if (lf_equalsIgnoringCase(part.string(), g_communityFolderName)) {
      place.community = prefix;
      after = 0;
    }
  }
  if (after >= 0) place.cut = prefix;
  return place;
}

// The folders the upward search never looks in or above: the install's own
// package roots and the Community folder the path lies in. A package's own
// folder of such a name (scenery/official) is searched like any other.
std::vector<std::string> lf_searchEnds(const fs::path& community) {
  std::vector<std::string> ends;
  if (!community.empty()) ends.push_back(lf_folderKey(community));
  for (const std::string& root : {g_communityFolderName, g_officialFolderName, g_official2024FolderName})
    ends.push_back(lf_folderKey(gf_simFolderPath(root)));
  return ends;
}

std::optional<ManifestInfo> lf_readFound(const fs::path& manifest, std::vector<std::string>& lines) {
  lines.push_back(manifest.string() + " found");
  return lf_readManifest(manifest);
}

}  // namespace

fs::path lf_findManifestFile(const fs::path& folder) {
  if (!fs::is_directory(folder)) return {};
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().stem() == "manifest" && entry.path().extension() == ".json")
      return entry.path();
  }
  return {};
}

std::string lf_jsonStringOr(const nlohmann::json& object, std::string_view key) {
  const auto it = object.find(key);
  if (it == object.end() || it->empty()) return {};
  return it->get<std::string>();
}

std::optional<ManifestInfo> lf_readManifest(const fs::path& path) {
  std::string text;
  const FileReadResult read = gf_readUserFile(path, kManifestMaxBytes, text);
  // A file that cannot be opened has no lines, as an empty one: no manifest.
  if (read.problem == FileProblem::missing || read.problem == FileProblem::notReadable) return std::nullopt;
  if (!read) throw std::runtime_error(read.message);
  if (text.empty()) return std::nullopt;
  // The lines are joined without their line ends (a file of empty lines
  // gives an empty text, which is no JSON).
  std::erase(text, '\n');
  std::erase(text, '\r');
  const nlohmann::json json = nlohmann::json::parse(text);
  if (!json.is_object()) return std::nullopt;
  return ManifestInfo{lf_jsonStringOr(json, "manufacturer"), lf_jsonStringOr(json, "creator"),
                      lf_jsonStringOr(json, "title")};
}

namespace {

thread_local ManifestSearchMemo* t_manifestMemo = nullptr;

// The search, with the scan-log lines it gives.
ManifestSearchMemo::Search lf_searchManifest(const std::string& pathText) {
  ManifestSearchMemo::Search search;
  try {
    const fs::path path(pathText);
    const CommunityPlace place = lf_communityPlace(path);
    if (!place.cut.empty() && fs::exists(place.cut)) {
      if (const fs::path manifest = lf_findManifestFile(place.cut); !manifest.empty()) {
        search.info = lf_readFound(manifest, search.lines);
        return search;
      }
    }
    const std::vector<std::string> ends = lf_searchEnds(place.community);
    for (fs::path folder = path.parent_path(); !folder.empty(); folder = folder.parent_path()) {
      if (std::find(ends.begin(), ends.end(), lf_folderKey(folder)) != ends.end()) break;
      if (const fs::path manifest = lf_findManifestFile(folder); !manifest.empty()) {
        search.info = lf_readFound(manifest, search.lines);
        if (search.info) return search;
      }
      if (folder == folder.parent_path()) break;  // the root of the drive
    }
  } catch (const std::exception& e) {
    search.lines.push_back(fmt::format("exception in gf_searchManifest: {}", e.what()));
    search.info.reset();
  }
  return search;
}

}  // namespace

ManifestSearchMemo::ManifestSearchMemo() : m_previous(t_manifestMemo) { t_manifestMemo = this; }

ManifestSearchMemo::~ManifestSearchMemo() { t_manifestMemo = m_previous; }

std::optional<ManifestInfo> gf_searchManifest(const std::string& pathText) {
  ManifestSearchMemo* memo = t_manifestMemo;
  ManifestSearchMemo::Search fresh;
  const ManifestSearchMemo::Search* search = &fresh;
  if (memo == nullptr) {
    fresh = lf_searchManifest(pathText);
  } else {
    if (memo->m_path != pathText) {
      memo->m_search = lf_searchManifest(pathText);
      memo->m_path = pathText;
    }
    search = &memo->m_search;
  }
  // Every search that is asked gives its lines, also one answered from memory.
  for (const std::string& line : search->lines) gf_airportsScanLog(line);
  return search->info;
}

AirportPublisher gf_findAirportPublisher(const std::string& path) {
  gf_airportsScanLog(fmt::format("\nTry find publisher in: {}", path));
  AirportPublisher result{std::string(kUnknownPublisher), {}, {}, {}};
  const std::string lower = gf_toLower(path);
  if (lower.find("microsoft-airport") != std::string::npos || lower.find("asobo-airport") != std::string::npos) {
    result.publisher = "simaddon";
    gf_airportsScanLog(fmt::format("from filename => publisher {}", result.publisher));
    return result;
  }
  if (std::string p = gf_findPublisher(path); p != kUnknownPublisher) {
    gf_airportsScanLog(fmt::format("publisher '{}' found", p));
    result.publisher = std::move(p);
    return result;
  }
  const std::optional<ManifestInfo> manifest = gf_searchManifest(path);
  if (!manifest) {
    gf_airportsScanLog(fmt::format("{}No publisher found", "===> "));
    return result;
  }
  // The manifest's names go with the airport, so a generated file of an
  // unknown publisher still says whose scenery it is.
  result.manufacturer = manifest->manufacturer;
  result.creator = manifest->creator;
  if (!manifest->manufacturer.empty()) {
    if (std::string p = gf_findPublisher(manifest->manufacturer); p != kUnknownPublisher) {
      gf_airportsScanLog(fmt::format("from manifest.json: manufacturer '{}' => publisher '{}'", manifest->manufacturer, p));
      result.publisher = std::move(p);
      return result;
    }
  }
  if (!manifest->creator.empty()) {
    if (std::string p = gf_findPublisher(manifest->creator); p != kUnknownPublisher) {
      gf_airportsScanLog(fmt::format("from manifest.json: creator '{}' => publisher '{}'", manifest->creator, p));
      result.publisher = std::move(p);
      return result;
    }
  }
  gf_airportsScanLog(fmt::format("no valid info found in manifest about publisher, manufacturer:'{}', creator:'{}' {}",
                                 manifest->manufacturer, manifest->creator, path));
  return result;
}
