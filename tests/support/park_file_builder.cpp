#include "support/park_file_builder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/park_file.h"

#include "support/workdir.h"

namespace testsupport {
namespace {


std::string lf_attributes(const XmlAttributes& attributes) {
  std::string text;
  for (const auto& [name, value] : attributes) text += fmt::format(" {}=\"{}\"", name, xmlEscape(value));
  return text;
}

}  // namespace

ParkOptEntry ParkOptEntry::of(std::string reg, std::string airline, std::string type, std::string day,
                              std::string hh, std::string cs, bool soft) {
  ParkOptEntry entry;
  entry.set("reg", std::move(reg)).set("airl", std::move(airline)).set("type", std::move(type));
  if (soft) entry.set("soft", "true");
  entry.set("day", std::move(day)).set("hh", std::move(hh));
  if (!cs.empty()) entry.set("cs", std::move(cs));
  return entry;
}

ParkposEntry ParkposEntry::at(std::string id, double latitude, double longitude, double headingDegrees,
                              double radiusMetres, bool cargo, bool ramp) {
  ParkposEntry entry = idOnly(std::move(id));
  entry.set("latitude", fmt::format("{:.6f}", latitude))
      .set("longitude", fmt::format("{:.6f}", longitude))
      .set("heading", fmt::format("{:.1f}", headingDegrees))
      .set("radius", fmt::format("{:.1f}", radiusMetres))
      .set("cargo", cargo ? "true" : "false")
      .set("ramp", ramp ? "true" : "false");
  return entry;
}

ParkposEntry ParkposEntry::idOnly(std::string id) {
  ParkposEntry entry;
  entry.set("id", std::move(id));
  return entry;
}

ParkFileBuilder::ParkFileBuilder() {
  metaInfo("author", "Skyloom");
  metaInfo("version", "1.0.0");
  metaInfo("date", "2026-01-05");
}

ParkFileBuilder& ParkFileBuilder::metaInfo(std::string name, std::string value) {
  m_meta.set(std::move(name), std::move(value));
  return *this;
}

ParkFileBuilder& ParkFileBuilder::dropMetaInfo(std::string_view name) {
  m_meta.drop(name);
  return *this;
}

ParkFileBuilder& ParkFileBuilder::param(std::string name, std::string value) {
  m_parameters.emplace_back(std::move(name), std::move(value));
  return *this;
}

ParkFileBuilder& ParkFileBuilder::airport(std::string name, std::string publisher, int altitudeFeet) {
  return param("airport_name", std::move(name))
      .param("publisher", std::move(publisher))
      .param("altitude", fmt::format("{}", altitudeFeet));
}

ParkFileBuilder& ParkFileBuilder::parkpos(ParkposEntry stand) {
  m_stands.push_back(std::move(stand));
  return *this;
}

ParkFileBuilder& ParkFileBuilder::trailing(std::string text) {
  m_trailing += text;
  return *this;
}

ParkFileBuilder& ParkFileBuilder::withoutDeclaration() {
  m_declaration = false;
  return *this;
}

std::string ParkFileBuilder::xml() const {
  std::string text;
  if (m_declaration) text += "<?xml version=\"1.0\"?>\n";
  text += "<meta>\n";
  for (const auto& [name, value] : m_meta.attributes) {
    text += fmt::format("\t<info{} />\n", lf_attributes({{"name", name}, {"value", value}}));
  }
  text += "</meta>\n<parameters>\n";
  for (const auto& [name, value] : m_parameters) {
    text += fmt::format("\t<parameter{} />\n", lf_attributes({{"name", name}, {"value", value}}));
  }
  text += "</parameters>\n<parkpositions>\n";
  for (const ParkposEntry& stand : m_stands) {
    if (stand.options.empty()) {
      text += fmt::format("\t<parkpos{} />\n", lf_attributes(stand.attributes));
      continue;
    }
    text += fmt::format("\t<parkpos{}>\n", lf_attributes(stand.attributes));
    for (const ParkOptEntry& option : stand.options) {
      text += fmt::format("\t\t<opt{} />\n", lf_attributes(option.attributes));
    }
    text += "\t</parkpos>\n";
  }
  text += "</parkpositions>\n";
  text += m_trailing;
  return text;
}

std::filesystem::path ParkFileBuilder::write(const std::filesystem::path& path) const {
  writeFile(path, xml());
  return path;
}

pugi::xml_document loadApf(const std::filesystem::path& path) {
  pugi::xml_document document;
  std::string error;
  EXPECT_TRUE(gf_loadApfDocument(path, document, error)) << error;
  return document;
}

}  // namespace testsupport
