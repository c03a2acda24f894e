// Builders of aircraft.cfg files and package trees, in any of the character
// sets the livery scan reads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

enum class CfgEncoding {
  Utf8,     // no byte order mark
  Utf8Bom,  // EF BB BF first
  Utf16Le,  // FF FE first
  Utf16Be,  // FE FF first
  Ansi,     // Windows-1252; characters it lacks become '?'
};

// UTF-8 text in the given encoding, byte order mark included.
std::string encodeText(const std::string& utf8, CfgEncoding encoding);

// One [fltsim.N] section. Keys left empty are not written; extra lines are
// written after the keys, as they stand.
struct FltsimSection {
  int number = 0;
  std::string title{};
  std::string airline{};       // icao_airline
  std::string atcId{};         // atc_id
  std::string parkingTypes{};  // atc_parking_types
  std::string texture{};       // texture
  std::vector<std::string> extra{};
};

// An aircraft.cfg, line by line; lines end in CR LF.
class AircraftCfgBuilder {
 public:
  // "[General]" with "icao_type_designator = <type>" (no type line when empty).
  AircraftCfgBuilder& general(const std::string& icaoType);
  // A section: its header, then title, icao_airline, atc_id,
  // atc_parking_types, texture (those given, values in quotes), then extra.
  AircraftCfgBuilder& section(const FltsimSection& section);
  // Any line as it stands.
  AircraftCfgBuilder& line(const std::string& text);

  // The file's text (UTF-8).
  std::string text() const;
  // Writes the file (creating its folders) in the encoding; returns the path.
  std::filesystem::path write(const std::filesystem::path& path, CfgEncoding encoding = CfgEncoding::Utf8) const;

 private:
  std::vector<std::string> m_lines;
};

// The lines of a text as the parser gets them (split at LF, CR LF ends dropped).
std::vector<std::string> cfgLines(const std::string& text);

// Makes a texture folder "texture.<name>" below the aircraft.cfg's folder
// ("texture" for an empty name).
void makeTextureFolder(const std::filesystem::path& aircraftCfg, const std::string& name);

}  // namespace testsupport
