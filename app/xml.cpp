#include "app/xml.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <limits>

#include <fmt/format.h>

#include "app/clock.h"
#include "app/files.h"
#include "app/log.h"
#include "app/parameters.h"
#include "app/version.h"

GuardedText g_simLabel{"MSFS"};

namespace {

// The first element `child` with the attribute name="<name>" under the
// document's root element when that is `root` (what the query
// "/root/child[@name = $name]" selects); an empty node when there is none.
pugi::xml_node lf_selectByName(const pugi::xml_node& xml, const char* root, const char* child, std::string_view name) {
  if (!xml) return {};
  for (const pugi::xml_node top : xml.root().children(root))
    for (const pugi::xml_node node : top.children(child))
      if (const pugi::xml_attribute attribute = node.attribute("name"); attribute && attribute.value() == name)
        return node;
  return {};
}

// Collects the serialised document.
struct StringWriter final : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
};

}  // namespace

bool gf_textToBool(std::string_view text) {
  if (text.empty()) return false;
  switch (text.front()) {
    case '1':
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      return true;
    default:
      return false;
  }
}

std::int32_t gf_textToInt32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude, stopping to grow once it is beyond the range.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

pugi::xml_node gf_findParameterNode(const pugi::xml_node& xml, std::string_view name) {
  return lf_selectByName(xml, "parameters", "parameter", name);
}

bool gf_getParamBool(const pugi::xml_node& xml, std::string_view name, bool& found) {
  const pugi::xml_node node = gf_findParameterNode(xml, name);
  found = static_cast<bool>(node);
  return found && gf_textToBool(node.attribute("value").value());
}

std::int32_t gf_getParamInt(const pugi::xml_node& xml, std::string_view name, bool& found) {
  const pugi::xml_node node = gf_findParameterNode(xml, name);
  found = static_cast<bool>(node);
  return found ? gf_textToInt32(node.attribute("value").value()) : 0;
}

std::string gf_getParamString(const pugi::xml_node& xml, std::string_view name, bool& found) {
  const pugi::xml_node node = gf_findParameterNode(xml, name);
  found = static_cast<bool>(node);
  return found ? std::string(node.attribute("value").value()) : std::string();
}

bool gf_getParamBool(const pugi::xml_node& xml, std::string_view name) {
  bool found = false;
  return gf_getParamBool(xml, name, found);
}

std::int32_t gf_getParamInt(const pugi::xml_node& xml, std::string_view name) {
  bool found = false;
  return gf_getParamInt(xml, name, found);
}

std::string gf_getParamString(const pugi::xml_node& xml, std::string_view name) {
  bool found = false;
  return gf_getParamString(xml, name, found);
}

pugi::xml_node gf_appendParameterNode(pugi::xml_node element, std::string_view name, std::string_view value) {
  pugi::xml_node node = element.append_child("parameter");
  if (!node) return {};
  pugi::xml_attribute nameAttribute = node.append_attribute("name");
  pugi::xml_attribute valueAttribute = node.append_attribute("value");
  if (!nameAttribute || !valueAttribute || !nameAttribute.set_value(std::string(name).c_str()) ||
      !valueAttribute.set_value(std::string(value).c_str())) {
    element.remove_child(node);
    return {};
  }
  return node;
}

pugi::xml_attribute lf_setBoolAttribute(pugi::xml_node node, std::string_view attributeName, bool value) {
  pugi::xml_attribute attribute = node.append_attribute(std::string(attributeName).c_str());
  if (!attribute || !attribute.set_value(value ? "true" : "false")) return {};
  return attribute;
}

std::string gf_metaDateText() {
  using namespace std::chrono;
  const sys_days day = floor<days>(sys_seconds{seconds{gf_utcNowSeconds()}});
  const year_month_day ymd{day};
  return fmt::format("{:04}-{:02}-{:02}", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                     static_cast<unsigned>(ymd.day()));
}

int gf_writeMetaInfo(pugi::xml_node document) {
  pugi::xml_node meta = document.append_child("meta");
  if (!meta) return 0;
  const std::string label = g_simLabel.get();
  std::string simName = "MSFS";
  std::string simValue = label == "MSFS" ? "2020" : "2024";
  if (label == "P3D") {
    simName = "P3D";
    simValue = "v5/v6";
  }
  const std::pair<std::string, std::string> entries[] = {
      {"author", std::string(kProgramName)},
      {"version", gf_programVersion().text()},
      {"date", gf_metaDateText()},
      {"copyright", std::string(kCopyrightLine)},
      {simName, simValue},
  };
  for (const auto& [name, value] : entries) {
    pugi::xml_node info = meta.append_child("info");
    if (!info) return 0;
    pugi::xml_attribute nameAttribute = info.append_attribute("name");
    pugi::xml_attribute valueAttribute = info.append_attribute("value");
    if (!nameAttribute || !valueAttribute || !nameAttribute.set_value(name.c_str()) ||
        !valueAttribute.set_value(value.c_str())) {
      return 0;
    }
  }
  return 1;
}

pugi::xml_node gf_findMetaInfo(const pugi::xml_node& document, std::string_view name) {
  return lf_selectByName(document, "meta", "info", name);
}

bool gf_readMetaInfo(const pugi::xml_node& document, StringParameter& setting) {
  const pugi::xml_node info = gf_findMetaInfo(document, setting.name());
  if (!info) {
    setting.set(std::string());
    return false;
  }
  setting.set(info.attribute("value").value());
  return true;
}

std::string gf_xmlText(const pugi::xml_document& document) {
  StringWriter writer;
  document.save(writer);
  return std::move(writer.text);
}

bool gf_saveXml(const pugi::xml_document& document, const std::filesystem::path& path) {
  return gf_saveXml(document, path, path);
}

bool gf_saveXml(const pugi::xml_document& document, const std::filesystem::path& path,
                const std::filesystem::path& shownPath) {
  bool ok = false;
  try {
    ok = gf_replaceFileAtomically(path, gf_xmlText(document));
  } catch (const std::exception& e) {
    gf_logError("gf_saveXml: {}", e.what());
    ok = false;
  }
  if (ok) {
    gf_logLine("'{}' saved", shownPath.string());
  } else {
    gf_logError("could not save to '{}'", shownPath.string());
  }
  return ok;
}

FileReadResult gf_loadXmlFile(const std::filesystem::path& path, std::uintmax_t maxBytes,
                              pugi::xml_document& document) {
  document.reset();
  std::string content;
  FileReadResult read = gf_readUserFile(path, maxBytes, content);
  if (!read) return read;
  const pugi::xml_parse_result parsed = document.load_buffer(content.data(), content.size());
  if (!parsed) {
    document.reset();
    return gf_fileCorrupt(path, fmt::format("{} at offset {}", parsed.description(), parsed.offset));
  }
  return read;
}

namespace {
thread_local XmlMemoryBudget* t_xmlBudget = nullptr;
}  // namespace

void* lf_xmlAllocate(std::size_t size) {
  if (XmlMemoryBudget* budget = t_xmlBudget) {
    if (budget->m_stop != nullptr && budget->m_stop->load(std::memory_order_relaxed)) {
      budget->m_stopped = true;
      return nullptr;
    }
    if (size > budget->m_left) {
      budget->m_exceeded = true;
      return nullptr;
    }
    budget->m_left -= size;
  }
  return std::malloc(size);
}

namespace {

void lf_xmlDeallocate(void* pointer) { std::free(pointer); }

// The library's allocation goes through the budget from the start of the
// process, before any thread is started; malloc and free as before when no
// budget is in force.
[[maybe_unused]] const bool g_xmlAllocationSet = [] {
  pugi::set_memory_management_functions(lf_xmlAllocate, lf_xmlDeallocate);
  return true;
}();

}  // namespace

XmlMemoryBudget::XmlMemoryBudget(std::size_t bytes, const std::atomic<bool>* stop)
    : m_left(bytes), m_stop(stop), m_outer(t_xmlBudget) {
  t_xmlBudget = this;
}

XmlMemoryBudget::~XmlMemoryBudget() { t_xmlBudget = m_outer; }
