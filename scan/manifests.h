// Package manifests (manifest.json) and the publisher of a scenery file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

// The keys of a package's manifest.json that the airport scan uses; each ""
// when missing, null, or an empty object or array.
struct ManifestInfo {
  std::string manufacturer;
  std::string creator;
  std::string title;
};

// Who published the package of a scenery file: the canonical name of a
// publisher group of the reference database, "simaddon" for the simulator's
// own airports, or "unknown"; with the manifest's manufacturer and creator
// when the manifest had to be read to decide.
struct AirportPublisher {
  std::string publisher;
  std::string manufacturer;
  std::string creator;
  std::string reserved;
};

// The largest manifest.json that is read.
inline constexpr std::uintmax_t kManifestMaxBytes = std::uintmax_t{1} << 20;

// manifest.json (exact name) directly in the folder; empty when none or when
// the folder is not a directory.
std::filesystem::path lf_findManifestFile(const std::filesystem::path& folder);
// Reads a manifest: absent for a file without any line (empty, or one that
// cannot be opened) or a value that is not an object. Throws for JSON that
// does not parse (a file of empty lines too), a key that is not a text, and a
// file larger than kManifestMaxBytes.
std::optional<ManifestInfo> lf_readManifest(const std::filesystem::path& path);
// The text of the key; "" when it is missing or empty; throws the JSON
// library's type error for any other type.
std::string lf_jsonStringOr(const nlohmann::json& object, std::string_view key);

// The manifest of the package that holds the file: below Community the
// package's own folder first (two folders below Community), then upwards from
// the file's folder. The upward search stops below the Community folder the
// path lies in, below the install's own package roots (gf_simFolderPath of
// Community, Official and Official2024) and at the root of the drive. Never
// throws: errors are written to the scan log ("exception in
// gf_searchManifest: {}") and give no manifest.
std::optional<ManifestInfo> gf_searchManifest(const std::string& path);

// While one lives, gf_searchManifest on its thread answers the path it was
// last asked about from memory, with the same scan-log lines: every airport
// record of a BGL file asks about the same file, and a file of thousands of
// records would otherwise list the package's folders and parse its manifest
// as many times.
class ManifestSearchMemo {
 public:
  ManifestSearchMemo();
  ~ManifestSearchMemo();
  ManifestSearchMemo(const ManifestSearchMemo&) = delete;
  ManifestSearchMemo& operator=(const ManifestSearchMemo&) = delete;

  // What one search found and the lines it writes to the scan log.
  struct Search {
    std::optional<ManifestInfo> info;
    std::vector<std::string> lines;
  };

 private:
  friend std::optional<ManifestInfo> gf_searchManifest(const std::string& path);
  ManifestSearchMemo* m_previous;
  std::optional<std::string> m_path;
  Search m_search;
};

// The publisher of a BGL file: "simaddon" for a path with "microsoft-airport"
// or "asobo-airport" (any case); else a publisher alias in the path; else the
// manifest's manufacturer, then its creator. Writes its reasoning to the scan
// log.
AirportPublisher gf_findAirportPublisher(const std::string& path);
