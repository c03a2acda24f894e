// A builder of airport park files (and learned files, which share the
// format) in the test's working folder. The text is put together by hand,
// attribute by attribute, so tests can write exactly the bytes they need:
// missing or malformed attributes, odd element orders, stray elements.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

namespace testsupport {

// Attributes in the order they are written; values are escaped on output.
using XmlAttributes = std::vector<std::pair<std::string, std::string>>;

// An element's attributes: set replaces a value where it stands or appends
// the attribute; drop removes it.
template <typename Self>
struct AttributeList {
  XmlAttributes attributes;
  Self& set(std::string name, std::string value) {
    for (auto& [n, v] : attributes) {
      if (n == name) {
        v = std::move(value);
        return static_cast<Self&>(*this);
      }
    }
    attributes.emplace_back(std::move(name), std::move(value));
    return static_cast<Self&>(*this);
  }
  Self& drop(std::string_view name) {
    std::erase_if(attributes, [&](const auto& a) { return a.first == name; });
    return static_cast<Self&>(*this);
  }
};

// One "opt" element.
struct ParkOptEntry : AttributeList<ParkOptEntry> {
  // The attributes as the writer orders them: "reg", "airl", "type", "soft"
  // (only when soft), "day", "hh", "cs" (only when not empty).
  static ParkOptEntry of(std::string reg, std::string airline, std::string type, std::string day, std::string hh,
                         std::string cs = "", bool soft = false);
};

// One "parkpos" element with its options.
struct ParkposEntry : AttributeList<ParkposEntry> {
  std::vector<ParkOptEntry> options;
  ParkposEntry& opt(ParkOptEntry option) {
    options.push_back(std::move(option));
    return *this;
  }
  // A complete stand: "id", "latitude" and "longitude" ("{:.6f}"), "heading"
  // and "radius" ("{:.1f}", degrees and metres), "cargo", "ramp".
  static ParkposEntry at(std::string id, double latitude, double longitude, double headingDegrees = 0.0,
                         double radiusMetres = 20.0, bool cargo = false, bool ramp = false);
  // A stand with its "id" only (add what the test needs with set).
  static ParkposEntry idOnly(std::string id);
};

class ParkFileBuilder {
 public:
  // A meta block with "author", "version" and "date"; no parameters, no stands.
  ParkFileBuilder();

  // Replaces the value of a meta "info" entry, or appends the entry.
  ParkFileBuilder& metaInfo(std::string name, std::string value);
  ParkFileBuilder& dropMetaInfo(std::string_view name);
  // Appends a "parameter" element.
  ParkFileBuilder& param(std::string name, std::string value);
  // The usual parameters of a park file: "airport_name", "publisher", "altitude".
  ParkFileBuilder& airport(std::string name, std::string publisher, int altitudeFeet);
  ParkFileBuilder& parkpos(ParkposEntry stand);
  // Raw text written after the three elements (a second "parkpositions", junk).
  ParkFileBuilder& trailing(std::string text);
  // Leaves out the XML declaration line.
  ParkFileBuilder& withoutDeclaration();

  // The whole file's text.
  std::string xml() const;
  // Writes the file (creating its folders), relative to the working folder
  // unless absolute; returns the path written.
  std::filesystem::path write(const std::filesystem::path& path) const;

 private:
  struct Meta : AttributeList<Meta> {};
  bool m_declaration = true;
  Meta m_meta;
  XmlAttributes m_parameters;
  std::vector<ParkposEntry> m_stands;
  std::string m_trailing;
};

// A park or learned file loaded whole by the program's own loader; a load
// that fails is a test failure (and an empty document).
pugi::xml_document loadApf(const std::filesystem::path& path);

}  // namespace testsupport
