// XML helpers shared by every file the program reads and writes: the
// parameter elements ("parameter" with "name" and "value"), the meta block,
// and atomic saving.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "app/files.h"

class StringParameter;

// A text that several threads read and write: read as a snapshot, written whole.
class GuardedText {
 public:
  explicit GuardedText(std::string initial) : m_text(std::move(initial)) {}
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;
  std::string get() const {
    std::lock_guard lock(m_mutex);  // a leaf lock: nothing else is taken while held
    return m_text;
  }
  void set(std::string text) {
    std::lock_guard lock(m_mutex);
    m_text = std::move(text);
  }

 private:
  mutable std::mutex m_mutex;
  std::string m_text;
};

// The simulator's label stamped into the meta block: "MSFS" at start; the
// scans and the save of the park airport set it to "MSFS" (MSFS 2020 mode) or
// "MSFS2024" (MSFS 2024 mode) before they write files.
extern GuardedText g_simLabel;

// The reading rules of the program's XML values.
// A boolean is true when its first character is "1", "T", "t", "Y" or "y".
bool gf_textToBool(std::string_view text);
// An integer: optional leading blanks or tabs, an optional sign, then the
// digits up to the first other character, clamped to the 32-bit range; 0 when
// there are no digits.
std::int32_t gf_textToInt32(std::string_view text);

// The element found by "/parameters/parameter[@name='{}']" in the document of
// the given node (the name is passed as an XPath variable, never spliced into
// the query text, so any name is safe). Empty when there is none.
pugi::xml_node gf_findParameterNode(const pugi::xml_node& xml, std::string_view name);

// The "value" of the parameter element of that name, as a bool, an integer or
// a text. found is false only when there is no such element; a missing
// "value" gives false, 0 or "" with found true.
bool gf_getParamBool(const pugi::xml_node& xml, std::string_view name, bool& found);
std::int32_t gf_getParamInt(const pugi::xml_node& xml, std::string_view name, bool& found);
std::string gf_getParamString(const pugi::xml_node& xml, std::string_view name, bool& found);
bool gf_getParamBool(const pugi::xml_node& xml, std::string_view name);
std::int32_t gf_getParamInt(const pugi::xml_node& xml, std::string_view name);
std::string gf_getParamString(const pugi::xml_node& xml, std::string_view name);

// Appends to the element a "parameter" child with the attributes "name" and
// "value", in this order. Returns the new element; empty when it could not be
// appended.
pugi::xml_node gf_appendParameterNode(pugi::xml_node element, std::string_view name, std::string_view value);

// Appends to the node an attribute with the value "true" or "false". Returns
// the attribute; empty when it could not be appended.
pugi::xml_attribute lf_setBoolAttribute(pugi::xml_node node, std::string_view attributeName, bool value);

// The date of writing stamped into the meta block: the UTC date of now as
// "YYYY-MM-DD" (the clock of app/clock.h, so tests can fix it).
std::string gf_metaDateText();

// Appends to a new document a top-level "meta" element with "info" children
// (attributes "name" then "value"), in this order: "author" (the program's
// name), "version" ("{}.{}.{}"), "date" (gf_metaDateText), "copyright" (the
// maker's copyright line), then the simulator entry: "P3D" with "v5/v6" when
// g_simLabel is "P3D", otherwise "MSFS" with "2020" when g_simLabel is exactly
// "MSFS" and "2024" for any other text. Returns non-zero on success, 0 when an
// element or attribute could not be appended.
int gf_writeMetaInfo(pugi::xml_node document);

// The element "/meta/info[@name='{}']" of the document of the given node;
// empty when there is none.
pugi::xml_node gf_findMetaInfo(const pugi::xml_node& document, std::string_view name);
// Finds "/meta/info[@name='{}']" with the setting's name: when found, copies
// its "value" into the setting and returns true; when absent (or the query
// fails), empties the setting and returns false.
bool gf_readMetaInfo(const pugi::xml_node& document, StringParameter& setting);

// The document as text, with the library's default save settings.
std::string gf_xmlText(const pugi::xml_document& document);

// Saves the document to the path atomically (a temporary file in the same
// folder, renamed over the target; a failure leaves the old file as it was)
// and logs "'{}' saved" or, as an error line, "could not save to '{}'".
// Never throws; returns whether the file was written.
bool gf_saveXml(const pugi::xml_document& document, const std::filesystem::path& path);
// The same for a file that is moved to shownPath once written: the log lines
// name shownPath.
bool gf_saveXml(const pugi::xml_document& document, const std::filesystem::path& path,
                const std::filesystem::path& shownPath);

// Loads an XML file read through gf_readUserFile (at most maxBytes) into the
// document (reset first). A file that does not parse, or that has no element
// at all, is corrupt ("{parser's description} at offset {n}"); the document
// is empty after any failure.
FileReadResult gf_loadXmlFile(const std::filesystem::path& path, std::uintmax_t maxBytes,
                              pugi::xml_document& document);

// Bounds what the XML library allocates on this thread while the scope
// lives: once the allocations since the scope began (what is freed meanwhile
// still counts) would pass `bytes`, or once *stop is set, every further
// allocation fails, so that a parse ends as out of memory instead of taking
// what the input asks for, and a close does not wait for a large parse.
// An inner scope bounds alone while it lives; other threads are not bounded.
class XmlMemoryBudget {
 public:
  explicit XmlMemoryBudget(std::size_t bytes, const std::atomic<bool>* stop = nullptr);
  ~XmlMemoryBudget();
  XmlMemoryBudget(const XmlMemoryBudget&) = delete;
  XmlMemoryBudget& operator=(const XmlMemoryBudget&) = delete;
  // Whether an allocation was refused for the bound / for the stop.
  bool exceeded() const { return m_exceeded; }
  bool stopped() const { return m_stopped; }

 private:
  friend void* lf_xmlAllocate(std::size_t size);
  std::size_t m_left;
  const std::atomic<bool>* m_stop;
  bool m_exceeded = false;
  bool m_stopped = false;
  XmlMemoryBudget* m_outer;
};
