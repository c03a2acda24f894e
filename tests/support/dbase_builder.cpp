#include "support/dbase_builder.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "support/workdir.h"

namespace testsupport {
namespace {

// The tables in the order they are written.
const char* const kTables[] = {"registrations", "types",          "airlines",       "typefixes", "stockmodels",
                               "publishers",    "simaddons20",    "thirdparties20", "thirdparties24", "similar"};

// ' name="value"' with the value escaped for an attribute.
std::string lf_attr(const char* name, const std::string& value) {
  return fmt::format(" {}=\"{}\"", name, xmlEscape(value));
}

std::string lf_join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

}  // namespace

DbaseBuilder& DbaseBuilder::add(std::string table, std::string xml) {
  m_rows.push_back(Row{std::move(table), std::move(xml)});
  return *this;
}

DbaseBuilder& DbaseBuilder::reg(std::string code, std::string airl, std::string type, std::string opr, bool cargo) {
  return add("registrations", "<reg" + lf_attr("code", code) + lf_attr("airl", airl) + lf_attr("type", type) +
                                  lf_attr("opr", opr) + lf_attr("cargo", cargo ? "true" : "false") + "/>");
}

DbaseBuilder& DbaseBuilder::type(std::string icao, double wingspanMetres, std::string classes) {
  return typeRaw(std::move(icao), fmt::format("{}", wingspanMetres),
                 classes.empty() ? std::nullopt : std::optional<std::string>(std::move(classes)));
}

DbaseBuilder& DbaseBuilder::typeRaw(std::string icao, std::optional<std::string> wingspan,
                                    std::optional<std::string> classes) {
  std::string xml = "<type" + lf_attr("icao", icao);
  if (wingspan) xml += lf_attr("wingspan", *wingspan);
  if (classes) xml += lf_attr("class", *classes);
  return add("types", xml + "/>");
}

DbaseBuilder& DbaseBuilder::airline(std::string icao) { return add("airlines", "<airline" + lf_attr("icao", icao) + "/>"); }

DbaseBuilder& DbaseBuilder::typeFix(std::string wrong, std::string correct) {
  return add("typefixes", "<fix" + lf_attr("wrong", wrong) + lf_attr("correct", correct) + "/>");
}

DbaseBuilder& DbaseBuilder::stockModel(std::string folder, std::string type) {
  return add("stockmodels", "<model" + lf_attr("folder", folder) + lf_attr("type", type) + "/>");
}

DbaseBuilder& DbaseBuilder::publisherGroup(std::vector<std::string> aliases) {
  std::string xml = "<group>";
  for (const std::string& alias : aliases) xml += "<alias" + lf_attr("name", alias) + "/>";
  return add("publishers", xml + "</group>");
}

DbaseBuilder& DbaseBuilder::simaddon20(std::string icao) {
  return add("simaddons20", "<airport" + lf_attr("icao", icao) + "/>");
}

DbaseBuilder& DbaseBuilder::thirdParty20(std::string publisher, std::vector<std::string> items) {
  return add("thirdparties20", "<publisher" + lf_attr("name", publisher) + lf_attr("items", lf_join(items)) + "/>");
}

DbaseBuilder& DbaseBuilder::thirdParty24(std::string publisher, std::vector<std::string> items) {
  return add("thirdparties24", "<publisher" + lf_attr("name", publisher) + lf_attr("items", lf_join(items)) + "/>");
}

DbaseBuilder& DbaseBuilder::similarGroup(std::vector<std::string> types) {
  return add("similar", "<group" + lf_attr("types", lf_join(types)) + "/>");
}

DbaseBuilder& DbaseBuilder::rawIn(std::string table, std::string xml) { return add(std::move(table), std::move(xml)); }

std::string DbaseBuilder::xml() const {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<dbase>\n";
  for (const char* table : kTables) {
    std::string rows;
    for (const Row& row : m_rows) {
      if (row.table == table) rows += "    " + row.xml + "\n";
    }
    if (!rows.empty()) text += fmt::format("  <{0}>\n{1}  </{0}>\n", table, rows);
  }
  // Tables of other names (unknown to the reader) follow in the order first used.
  std::vector<std::string> others;
  for (const Row& row : m_rows) {
    bool known = false;
    for (const char* table : kTables) known = known || row.table == table;
    if (!known && std::find(others.begin(), others.end(), row.table) == others.end()) others.push_back(row.table);
  }
  for (const std::string& table : others) {
    text += "  <" + table + ">\n";
    for (const Row& row : m_rows) {
      if (row.table == table) text += "    " + row.xml + "\n";
    }
    text += "  </" + table + ">\n";
  }
  return text + "</dbase>\n";
}

std::filesystem::path DbaseBuilder::write() const {
  const std::filesystem::path path = std::filesystem::path("input") / "dbase.xml";
  writeFile(path, xml());
  return path;
}

}  // namespace testsupport
