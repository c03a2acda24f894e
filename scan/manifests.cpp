#include "scan/manifests.h"

#include <algorithm>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "app/text.h"
#include "scan/airport_scan.h"

namespace fs = std::filesystem;

namespace {

bool lf_equalsIgnoringCase(std::string_view a, std::string_view b) { return gf_toLower(a) == gf_toLower(b); }

// The folders that hold packages: the search for a package's manifest never
// looks in them or above them.
bool lf_isPackageRoot(const fs::path& folder) {
  const std::string name = folder.filename().string();
  return lf_equalsIgnoringCase(name, "Community") || lf_equalsIgnoringCase(name, "Official") ||
         lf_equalsIgnoringCase(name, "Official2024");
}

// Below Community: the folder two components below it (the package, or the
// package's first folder); empty when the path has no Community component.
fs::path lf_communityCut(const fs::path& path) {
  fs::path cut;
  int after = -1;
  for (const fs::path& part : path) {
    cut /= part;
    if (after >= 0) {
      if (++after == 2) return cut;
    } else if (lf_equalsIgnoringCase(part.string(), "Community")) {
      after = 0;
    }
  }
  return after >= 0 ? cut : fs::path();
}

std::optional<ManifestInfo> lf_readFound(const fs::path& manifest) {
  gf_airportsScanLog(manifest.string() + " found");
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

std::optional<ManifestInfo> lf_searchManifest(const std::string& pathText) {
  try {
    const fs::path path(pathText);
    const fs::path cut = lf_communityCut(path);
    if (!cut.empty() && fs::exists(cut)) {
      if (const fs::path manifest = lf_findManifestFile(cut); !manifest.empty()) return lf_readFound(manifest);
    }
    for (fs::path folder = path.parent_path(); !folder.empty() && !lf_isPackageRoot(folder);
         folder = folder.parent_path()) {
      if (const fs::path manifest = lf_findManifestFile(folder); !manifest.empty()) {
        if (auto info = lf_readFound(manifest)) return info;
      }
      if (folder == folder.parent_path()) break;  // the root of the drive
    }
  } catch (const std::exception& e) {
    gf_airportsScanLog(fmt::format("exception in gf_searchManifest: {}", e.what()));
  }
  return std::nullopt;
}

}  // namespace

ManifestSearchMemo::ManifestSearchMemo() : m_previous(t_manifestMemo) { t_manifestMemo = this; }

ManifestSearchMemo::~ManifestSearchMemo() { t_manifestMemo = m_previous; }

std::optional<ManifestInfo> gf_searchManifest(const std::string& pathText) {
  ManifestSearchMemo* memo = t_manifestMemo;
  if (memo == nullptr) return lf_searchManifest(pathText);
  if (memo->m_path != pathText) {
    memo->m_info = lf_searchManifest(pathText);
    memo->m_path = pathText;
  }
  return memo->m_info;
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
