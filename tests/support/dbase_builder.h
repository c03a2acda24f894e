// A builder of small reference databases ("input/dbase.xml") in the test's
// working folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class DbaseBuilder {
 public:
  // One registration record; cargo is written "true" or "false".
  DbaseBuilder& reg(std::string code, std::string airl, std::string type, std::string opr = "", bool cargo = false);
  // One type with its wingspan in metres and its blank-separated classes
  // ("large heavy buzjet rotorcraft highperf").
  DbaseBuilder& type(std::string icao, double wingspanMetres, std::string classes = "");
  // One type as raw texts; nullopt leaves the attribute out.
  DbaseBuilder& typeRaw(std::string icao, std::optional<std::string> wingspan, std::optional<std::string> classes);
  DbaseBuilder& airline(std::string icao);
  DbaseBuilder& typeFix(std::string wrong, std::string correct);
  DbaseBuilder& stockModel(std::string folder, std::string type);
  // One publisher group; the first alias is the canonical name.
  DbaseBuilder& publisherGroup(std::vector<std::string> aliases);
  DbaseBuilder& simaddon20(std::string icao);
  // One publisher entry of the MSFS 2020 or MSFS 2024 list.
  DbaseBuilder& thirdParty20(std::string publisher, std::vector<std::string> items);
  DbaseBuilder& thirdParty24(std::string publisher, std::vector<std::string> items);
  DbaseBuilder& similarGroup(std::vector<std::string> types);
  // Raw XML appended inside the given table element (for malformed records).
  DbaseBuilder& rawIn(std::string table, std::string xml);

  // The document's text.
  std::string xml() const;
  // Writes "input/dbase.xml"; returns its path.
  std::filesystem::path write() const;

 private:
  struct Row {
    std::string table;
    std::string xml;
  };
  DbaseBuilder& add(std::string table, std::string xml);
  std::vector<Row> m_rows;
};

}  // namespace testsupport
