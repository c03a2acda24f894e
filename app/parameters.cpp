#include "app/parameters.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "app/file_stamp.h"
#include "app/files.h"
#include "app/log.h"
#include "app/text.h"
#include "app/utf.h"
#include "app/runstate.h"
#include "app/xml.h"
#include "ui/status_line.h"

namespace fs = std::filesystem;

namespace {

// The process-wide in-memory copy of parameters.xml.
struct ParametersDocument {
  // The parameters-document mutex: taken before a setting's text lock and the
  // log mutex, never with any other lock.
  std::mutex mutex;
  pugi::xml_document document;
  fs::path path;             // the file the document belongs to
  bool loaded = false;       // the document was loaded (or made fresh) for path
  bool protectFile = false;  // a bad file could not be kept aside: never overwrite it
  // Why it is protected, shown again at each save that it keeps from writing.
  std::string protectReason;
  // The file as it was read, while its document left out content that
  // cannot be a setting: kept aside before the first save that drops it.
  std::optional<std::string> droppedFrom;
  // The file as the program last read or wrote it. A save that finds the
  // file otherwise works on the file as it is now, so that what the user
  // changed by hand while the program runs is kept.
  FileStamp seen;
  // Why the file could not be read, for the error line that is shown once
  // the mutex is released; empty when it was read.
  std::string readProblem;
};

// Function-local, so that a save during static initialisation finds it built.
ParametersDocument& lf_store() {
  static ParametersDocument store;
  return store;
}

enum class LoadOutcome { Loaded, Fresh, Replaced };

void lf_makeFresh(ParametersDocument& store) {
  store.document.reset();
  store.document.append_child("parameters");
}

// Whether a text holds nothing but blanks and line ends.
bool lf_isBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The name the file is kept aside under, "<file>.bad" or "<file>.bad2", ...
// beside earlier copies; when every name is taken, the oldest copy gives
// way, so that settings can always be saved. Empty when no name can be used.
fs::path lf_asidePath(const fs::path& path) {
  const fs::path aside = gf_freeAsidePath(path, ".bad");
  std::error_code ec;
  if (!aside.empty() && fs::symlink_status(aside, ec).type() != fs::file_type::not_found)
    gf_logIndented("every name for a copy is taken: the oldest copy, '{}', gives way", aside.string());
  return aside;
}

constexpr std::string_view kSettingsInUse = "the settings in use are";
constexpr std::string_view kDefaultsInUse = "the defaults are used and";

// Loads the file at path into the store (the store's mutex is held). A file
// that cannot be used leaves the error line for the user in readProblem: at
// the start the defaults take its place, at a save (`atSave`) the settings in
// use.
LoadOutcome lf_loadLocked(ParametersDocument& store, const fs::path& path, bool atSave) {
  store.path = path;
  store.loaded = true;
  store.protectFile = false;
  store.protectReason.clear();
  store.droppedFrom.reset();
  store.seen = FileStamp{};
  store.readProblem.clear();
  store.document.reset();
  if (path.empty()) {
    lf_makeFresh(store);
    return LoadOutcome::Fresh;
  }
  std::string content;
  FileReadResult read = gf_readUserFile(path, kSettingsFileMaxBytes, content);
  store.seen = read ? gf_bytesStamp(content) : gf_fileStamp(path);
  if (read.problem == FileProblem::missing) {
    lf_makeFresh(store);
    return LoadOutcome::Fresh;
  }
  if (read.problem == FileProblem::notReadable) {
    // A folder, a pipe or a file we may not read: not ours to move or replace.
    gf_logError("{}", read.message);
    const auto untouched = [&](std::string_view inUse) {
      return fmt::format("The settings file '{}' could not be read ({}); it is left untouched, {} not saved",
                         path.string(), read.detail, inUse);
    };
    store.readProblem = untouched(atSave ? kSettingsInUse : kDefaultsInUse);
    store.protectReason = untouched(kSettingsInUse);
    store.protectFile = true;
    lf_makeFresh(store);
    return LoadOutcome::Replaced;
  }
  std::string problem;
  if (!read) {
    problem = read.message;
  } else {
    // Comments, a DOCTYPE (with its entity definitions) and processing
    // instructions are read too, so that a save that would drop them keeps
    // the file aside first.
    const pugi::xml_parse_result result = store.document.load_buffer(
        content.data(), content.size(),
        pugi::parse_default | pugi::parse_comments | pugi::parse_doctype | pugi::parse_pi | pugi::parse_declaration);
    if (result.status == pugi::status_no_document_element && lf_isBlank(content)) {
      lf_makeFresh(store);  // empty: nothing to lose
      return LoadOutcome::Fresh;
    }
    if (result.status == pugi::status_no_document_element) {
      // Only a declaration: nothing to lose either, the save writes its own;
      // anything else (comments, a DOCTYPE, text, read as a fragment so that
      // it shows) is what the user wrote, kept aside.
      pugi::xml_document probe;
      const pugi::xml_parse_status probed =
          probe.load_buffer(content.data(), content.size(),
                            pugi::parse_default | pugi::parse_fragment | pugi::parse_declaration |
                                pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype)
              .status;
      const bool onlyDeclaration =
          (probed == pugi::status_ok || probed == pugi::status_no_document_element) &&
          std::all_of(probe.children().begin(), probe.children().end(),
                      [](const pugi::xml_node& n) { return n.type() == pugi::node_declaration; });
      if (onlyDeclaration) {
        lf_makeFresh(store);
        return LoadOutcome::Fresh;
      }
      problem = gf_fileCorrupt(path, "it holds no XML element").message;
    } else if (!result) {
      problem = gf_fileCorrupt(path, fmt::format("{} at offset {}", result.description(), result.offset)).message;
    } else if (std::string_view(store.document.document_element().name()) != "parameters") {
      problem = gf_fileCorrupt(path, fmt::format("its root element is '{}', not 'parameters'",
                                                 store.document.document_element().name()))
                    .message;
    }
  }
  if (problem.empty()) {
    store.droppedFrom = std::move(content);  // until it is known whether anything is left out
    return LoadOutcome::Loaded;
  }

  gf_logError("The settings file '{}' could not be used: {}", path.string(), problem);
  // Beside earlier copies: each one may hold what the user wrote.
  const fs::path aside = lf_asidePath(path);
  std::error_code ec = std::make_error_code(std::errc::file_exists);
  if (!aside.empty()) fs::rename(path, aside, ec);
  if (ec) {
    store.protectFile = true;
    const std::string why = aside.empty() ? std::string("no name for a copy is free")
                                          : fmt::format("it could not be kept as '{}' ({})", aside.string(), ec.message());
    const auto untouched = [&](std::string_view inUse) {
      return fmt::format("The settings file '{}' could not be read; {} and it is left untouched, {} not saved",
                         path.string(), why, inUse);
    };
    store.readProblem = untouched(atSave ? kSettingsInUse : kDefaultsInUse);
    store.protectReason = untouched(kSettingsInUse);
  } else {
    store.readProblem = fmt::format("The settings file '{}' could not be read; it is kept as '{}', {}", path.string(),
                                    aside.string(), atSave ? "the settings in use are saved" : "the defaults are used");
  }
  lf_makeFresh(store);
  return LoadOutcome::Replaced;
}

// Whether a parameter element holds more than a setting can: content, or
// attributes other than one "name" and one "value".
bool lf_holdsMoreThanASetting(const pugi::xml_node& node) {
  if (node.first_child()) return true;
  int names = 0;
  int values = 0;
  for (const pugi::xml_attribute attribute : node.attributes()) {
    const std::string_view name = attribute.name();
    if (name == "name")
      ++names;
    else if (name == "value")
      ++values;
    else
      return true;
  }
  return names > 1 || values > 1;
}

// Keeps of a loaded document the parameter elements, each with only its name
// and value, and of several of one name the first: a setting of another
// version of the program stays as it is, and whatever cannot be a setting
// (deeply nested elements, foreign content, comments, repeated names) is
// never carried into the document that every save writes. Returns whether
// anything was left out.
bool lf_keepSettingEntriesLocked(ParametersDocument& store) {
  std::set<std::string_view> seen;
  pugi::xml_document kept;
  pugi::xml_node keptRoot = kept.append_child("parameters");
  const pugi::xml_node root = store.document.document_element();
  bool leftOut = false;
  // The declaration is written anew by every save; whatever else lies
  // outside the root (comments, a DOCTYPE, processing instructions) is not.
  for (const pugi::xml_node node : store.document.children())
    if (node != root && node.type() != pugi::node_declaration) leftOut = true;
  for (const pugi::xml_node node : root.children()) {
    const std::string_view name = node.attribute("name").value();
    const bool wanted = node.type() == pugi::node_element && std::string_view(node.name()) == "parameter" &&
                        node.attribute("name") && seen.insert(name).second;
    if (!wanted) {
      leftOut = true;
      continue;
    }
    gf_appendParameterNode(keptRoot, name, node.attribute("value").value());
    if (lf_holdsMoreThanASetting(node)) leftOut = true;
  }
  store.document.reset(kept);
  if (!leftOut) store.droppedFrom.reset();
  return leftOut;
}

// Makes sure the store holds the document of the current parameters.xml, as
// the file is now: a file changed on disk since it was last read or written
// is read again. When the changed file cannot be used (gone, emptied,
// broken: kept aside as at the start), the settings in use are kept.
void lf_ensureLoadedLocked(ParametersDocument& store) {
  const fs::path path = gf_parametersPath();
  if (!store.loaded || store.path != path) {
    if (lf_loadLocked(store, path, true) == LoadOutcome::Loaded) lf_keepSettingEntriesLocked(store);
  } else if (!path.empty() && gf_fileStamp(path) != store.seen) {
    gf_logLine("The settings file '{}' changed on disk, the save works on it as it is now", path.string());
    pugi::xml_document inUse(std::move(store.document));
    if (lf_loadLocked(store, path, true) == LoadOutcome::Loaded)
      lf_keepSettingEntriesLocked(store);
    else
      store.document = std::move(inUse);
  }
  if (!store.document.child("parameters")) store.document.append_child("parameters");
}

// Sets the value of the key in the document, appending its element when missing.
void lf_setValueLocked(ParametersDocument& store, const std::string& name, const std::string& text) {
  pugi::xml_node root = store.document.child("parameters");
  if (!root) root = store.document.append_child("parameters");
  pugi::xml_node node = gf_findParameterNode(store.document, name);
  if (!node) {
    gf_appendParameterNode(root, name, text);
    return;
  }
  pugi::xml_attribute value = node.attribute("value");
  if (!value) value = node.append_attribute("value");
  value.set_value(text.c_str());
}

// Writes the document over the file, atomically. The first write that drops
// content of the file that cannot be a setting keeps the file as it was read
// aside first, as "<file>.bad" (or "<file>.bad2", ... beside earlier copies,
// the oldest giving way when every name is taken); when that fails, the file
// is left untouched.
bool lf_writeLocked(ParametersDocument& store) {
  if (store.path.empty() || store.protectFile) return false;
  if (store.droppedFrom) {
    // A file whose rewrite failed after its copy was made (read-only, held by
    // another program) is read as it was at the next start: its copy is
    // kept once, not again at every start until the oldest copies give way.
    if (const fs::path kept = gf_asideCopyHolding(store.path, ".bad", *store.droppedFrom); !kept.empty()) {
      gf_logLine("The settings file '{}' is kept as '{}' already", store.path.string(), kept.string());
      store.droppedFrom.reset();
    }
  }
  if (store.droppedFrom) {
    const fs::path aside = lf_asidePath(store.path);
    if (aside.empty() || !gf_replaceFileAtomically(aside, *store.droppedFrom)) {
      gf_logError("The settings file '{}' could not be kept as '{}' before its content that cannot be a setting "
                  "is dropped", store.path.string(), aside.string());
      gf_logIndented("it is left untouched; changed settings are not saved");
      store.protectFile = true;
      store.droppedFrom.reset();
      return false;
    }
    gf_logLine("The settings file '{}' is kept as '{}' before its content that cannot be a setting is dropped",
               store.path.string(), aside.string());
    store.droppedFrom.reset();
  }
  const std::string text = gf_xmlText(store.document);
  if (!gf_replaceFileAtomically(store.path, text)) return false;
  store.seen = gf_bytesStamp(text);
  return true;
}

std::string lf_pathText(const fs::path& path) { return path.empty() ? std::string("parameters.xml") : path.string(); }

void lf_logNotANumber(const std::string& name, const std::string& text, const std::string& defaultText) {
  gf_logError("Setting {}: '{}' is not a number, the default {} is used", name, text, defaultText);
}

// A failed save is shown on the error line, which logs it, so that the user
// knows that a change will not outlast the run (not while a stop is pending:
// the end of a run saves too). Called without the parameters-document mutex.
void lf_reportSaveFailed(const fs::path& path) {
  if (g_stopRun.load()) return;
  gf_showError(fmt::format("Saving '{}' failed", lf_pathText(path)));
}

// After a read or a save (without the parameters-document mutex): a file that
// could not be read is shown on the error line (only logged while a stop is
// pending); a failed write is shown as a failed save, unless the error line
// already says that the file is left untouched.
void lf_reportOutcome(const std::string& readProblem, bool protectedFile, bool written, const fs::path& path) {
  if (!readProblem.empty()) {
    if (g_stopRun.load())
      gf_logIndented("{}", readProblem);
    else
      gf_showError(readProblem);
  }
  if (!written && !(protectedFile && !readProblem.empty())) lf_reportSaveFailed(path);
}

// The save of every kind of setting.
void lf_save(const Parameter& parameter) {
  if (!parameter.stored()) return;
  fs::path path;
  bool ok = false;
  std::string readProblem;
  bool protectedFile = false;
  try {
    ParametersDocument& store = lf_store();
    std::lock_guard lock(store.mutex);  // the parameters-document mutex (before the text lock and the log)
    lf_ensureLoadedLocked(store);
    readProblem = std::exchange(store.readProblem, {});
    // A file left untouched says why again, rather than a bare failed save.
    if (readProblem.empty() && store.protectFile) readProblem = store.protectReason;
    protectedFile = store.protectFile;
    // The value is taken under the document mutex, so that the file always
    // receives the latest value when two threads save the same setting.
    lf_setValueLocked(store, parameter.name(), parameter.valueText());
    path = store.path;
    ok = lf_writeLocked(store);
  } catch (const std::exception& e) {
    gf_logError("save of {}: {}", parameter.name(), e.what());
    ok = false;
  }
  parameter.logValue();
  lf_reportOutcome(readProblem, protectedFile, ok, path);
}

}  // namespace

fs::path gf_parametersPath() {
  const fs::path folder = gf_userDataFolder();
  if (folder.empty()) return {};
  return folder / "parameters.xml";
}

bool gf_readParameterList(const std::vector<Parameter*>& parameters) {
  bool ok = true;
  bool changed = false;
  bool written = true;
  fs::path path;
  std::string readProblem;
  bool protectedFile = false;
  try {
    ParametersDocument& store = lf_store();
    std::lock_guard lock(store.mutex);  // the parameters-document mutex
    path = gf_parametersPath();
    const LoadOutcome outcome = lf_loadLocked(store, path, false);
    readProblem = std::exchange(store.readProblem, {});
    protectedFile = store.protectFile;
    if (outcome == LoadOutcome::Replaced) ok = false;
    if (outcome == LoadOutcome::Fresh) gf_logLine("No settings in '{}' yet, the defaults are written", lf_pathText(path));
    changed = outcome != LoadOutcome::Loaded;
    if (outcome == LoadOutcome::Loaded && lf_keepSettingEntriesLocked(store))
      gf_logLine("Content of '{}' that cannot be a setting is dropped at the next save", path.string());
    // The names the document holds: a setting it lacks takes its default and
    // is appended without being looked for among the elements again.
    std::set<std::string_view> present;
    const pugi::xml_node root = store.document.document_element();
    for (const pugi::xml_node node : root.children("parameter")) present.insert(node.attribute("name").value());
    for (Parameter* parameter : parameters) {
      if (parameter == nullptr || !parameter->stored()) continue;
      if (!present.contains(parameter->name())) {
        parameter->resetToDefault();
        gf_appendParameterNode(root, parameter->name(), parameter->valueText());
        changed = true;
      } else if (!parameter->readValue(store.document)) {
        lf_setValueLocked(store, parameter->name(), parameter->valueText());
        changed = true;
      }
    }
    if (changed) written = lf_writeLocked(store);
  } catch (const std::exception& e) {
    gf_logError("gf_readParameterList: {}", e.what());
    return false;
  }
  lf_reportOutcome(readProblem, protectedFile, written, path);
  return ok && written;
}

void gf_forgetParametersDocument() {
  ParametersDocument& store = lf_store();
  std::lock_guard lock(store.mutex);
  store.document.reset();
  store.path.clear();
  store.loaded = false;
  store.protectFile = false;
  store.protectReason.clear();
  store.droppedFrom.reset();
  store.seen = FileStamp{};
  store.readProblem.clear();
}

// ---------------------------------------------------------------- BoolParameter

BoolParameter::BoolParameter(std::string name, bool defaultValue)
    : Parameter(std::move(name)), m_default(defaultValue), m_value(defaultValue) {}

bool BoolParameter::readValue(const pugi::xml_node& document) {
  bool found = false;
  const bool v = gf_getParamBool(document, name(), found);
  m_value.store(found ? v : m_default);
  return found;
}

void BoolParameter::save() const { lf_save(*this); }

void BoolParameter::setAndSave(bool v) {
  set(v);
  save();
}

std::string BoolParameter::valueText() const { return value() ? "true" : "false"; }

void BoolParameter::logValue() const { gf_logIndented("{:24}: {}", name(), valueText()); }

void BoolParameter::resetToDefault() { m_value.store(m_default); }

// ---------------------------------------------------------------- IntParameter

IntParameter::IntParameter(std::string name, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                           bool stored)
    : Parameter(std::move(name)),
      m_default(defaultValue),
      m_min(std::min(minimum, maximum)),
      m_max(std::max(minimum, maximum)),
      m_stored(stored),
      m_value(defaultValue) {}

void IntParameter::set(std::int32_t v) noexcept { m_value.store(std::clamp(v, m_min, m_max)); }

bool IntParameter::readValue(const pugi::xml_node& document) {
  bool found = false;
  const std::string text = gf_getParamString(document, name(), found);
  if (!found) {
    m_value.store(m_default);
    return false;
  }
  // The XML library's rule reads a text without digits as 0; a setting takes
  // its default then instead of whatever 0 clamps to.
  const std::size_t digit = text.find_first_not_of(" \t+-");
  if (digit == std::string::npos || text[digit] < '0' || text[digit] > '9' ||
      text.find_first_not_of(" \t") + 1 < digit) {
    lf_logNotANumber(name(), text, fmt::format("{}", m_default));
    m_value.store(m_default);
    return false;
  }
  const std::int32_t v = gf_textToInt32(text);
  const std::int32_t clamped = std::clamp(v, m_min, m_max);
  m_value.store(clamped);
  return clamped == v;
}

void IntParameter::save() const { lf_save(*this); }

void IntParameter::setAndSave(std::int32_t v) {
  set(v);
  save();
}

std::string IntParameter::valueText() const { return fmt::format("{}", value()); }

void IntParameter::logValue() const { gf_logIndented("{:24}: {}", name(), value()); }

void IntParameter::resetToDefault() { m_value.store(m_default); }

// ---------------------------------------------------------------- StringParameter

StringParameter::StringParameter(std::string name, std::string defaultValue, bool stored)
    : Parameter(std::move(name)), m_default(defaultValue), m_stored(stored), m_value(std::move(defaultValue)) {}

std::string StringParameter::value() const {
  std::lock_guard lock(m_mutex);  // leaf lock
  return m_value;
}

void StringParameter::set(std::string v) {
  std::lock_guard lock(m_mutex);
  m_value = std::move(v);
}

bool StringParameter::readValue(const pugi::xml_node& document) {
  bool found = false;
  std::string v = gf_getParamString(document, name(), found);
  set(found ? std::move(v) : m_default);
  return found;
}

void StringParameter::save() const { lf_save(*this); }

void StringParameter::setAndSave(std::string v) {
  set(std::move(v));
  save();
}

void StringParameter::logValue() const { gf_logIndented("{:24}: '{}'", name(), value()); }

void StringParameter::resetToDefault() { set(m_default); }

// ---------------------------------------------------------------- FloatParameter

FloatParameter::FloatParameter(std::string name, double defaultValue, double minimum, double maximum, bool stored)
    : Parameter(std::move(name)),
      m_default(defaultValue),
      m_min(std::min(minimum, maximum)),
      m_max(std::max(minimum, maximum)),
      m_stored(stored),
      m_value(defaultValue) {}

void FloatParameter::set(double v) noexcept {
  if (!std::isfinite(v)) return;
  m_value.store(std::clamp(v, m_min, m_max));
}

bool FloatParameter::readValue(const pugi::xml_node& document) {
  bool found = false;
  const std::string text = gf_getParamString(document, name(), found);
  double v = 0.0;
  if (!found || !gf_parseDouble(text, v)) {
    if (found) lf_logNotANumber(name(), text, fmt::format("{}", m_default));
    m_value.store(m_default);
    return false;
  }
  const double clamped = std::clamp(v, m_min, m_max);
  m_value.store(clamped);
  return clamped == v;
}

void FloatParameter::save() const { lf_save(*this); }

void FloatParameter::setAndSave(double v) {
  set(v);
  save();
}

std::string FloatParameter::valueText() const { return fmt::format("{}", value()); }

void FloatParameter::logValue() const { gf_logIndented("{:24}: {}", name(), valueText()); }

void FloatParameter::resetToDefault() { m_value.store(m_default); }

// ---------------------------------------------------------------- settings shown in the window

namespace {

constexpr DWORD kCheckboxStyle = WS_CHILD | WS_VISIBLE | BS_CHECKBOX;          // 0x50000002
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;       // 0x50000001
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER;                // 0x50800000
constexpr DWORD kComboStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;  // 0x50210003
constexpr int kCheckboxSize = 12;
constexpr int kEditHeight = 16;
constexpr int kButtonHeight = 20;

HMENU lf_idAsMenu(std::uint16_t id) { return reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)); }

HINSTANCE lf_instanceOf(const CREATESTRUCTW* creation) { return creation != nullptr ? creation->hInstance : nullptr; }

void lf_setControlText(HWND control, const std::string& utf8) {
  if (control == nullptr) return;
  const std::u16string text = win32::utf8ToUtf16(utf8);
  ::SetWindowTextW(control, text.c_str());
}

// Selects the entry whose text equals `utf8` (compared as the combo does);
// when there is none, inserts it at insertAt() (-1: at the end) and selects it.
template <typename InsertAt>
void lf_selectComboText(HWND combo, const std::string& utf8, InsertAt insertAt) {
  if (combo == nullptr) return;
  const std::u16string text = win32::utf8ToUtf16(utf8);
  const LPARAM textParam = reinterpret_cast<LPARAM>(text.c_str());
  LRESULT index = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), textParam);
  if (index == CB_ERR) {
    const int at = insertAt();
    index = ::SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(static_cast<LONG_PTR>(at)), textParam);
  }
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void lf_addComboEntry(HWND combo, const std::string& utf8) {
  const std::u16string text = win32::utf8ToUtf16(utf8);
  ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

HWND ParameterControl::createEdit(HWND parent, const CREATESTRUCTW* creation, int x, int width, WNDPROC proc) {
  HWND edit = ::CreateWindowExW(0, u"Edit", u"", kEditStyle, x, m_row, width, kEditHeight, parent,
                                lf_idAsMenu(m_controlId), lf_instanceOf(creation), nullptr);
  m_handle.store(edit);
  if (edit == nullptr) return nullptr;
  if (proc != nullptr) {
    // The previous procedure is stored before anything can reach the new one
    // through the field's own thread (this one).
    const LONG_PTR previous = ::GetWindowLongPtrW(edit, GWLP_WNDPROC);
    m_previousProc.store(reinterpret_cast<WNDPROC>(previous));
    ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
  }
  ::EnableWindow(edit, FALSE);
  return edit;
}

HWND CheckBoolParameter::createCheckbox(HWND parent, const CREATESTRUCTW* creation, int x) {
  HWND box = ::CreateWindowExW(0, u"button", u"", kCheckboxStyle, x, row() + 2, kCheckboxSize, kCheckboxSize, parent,
                               lf_idAsMenu(controlId()), lf_instanceOf(creation), nullptr);
  setHandle(box);
  if (box == nullptr) return nullptr;
  ::CheckDlgButton(parent, controlId(), value() ? BST_CHECKED : BST_UNCHECKED);
  ::EnableWindow(box, TRUE);
  return box;
}

void CheckBoolParameter::showValue(HWND control) const {
  if (control == nullptr) return;
  ::SendMessageW(control, BM_SETCHECK, value() ? BST_CHECKED : BST_UNCHECKED, 0);
}

void ControlIntParameter::showValue(HWND control) const { lf_setControlText(control, valueText()); }

void ControlStringParameter::showValue(HWND control) const { lf_setControlText(control, value()); }

std::string ControlFloatParameter::shownText() const { return gf_floatToText(value()); }

void ControlFloatParameter::showValue(HWND control) const { lf_setControlText(control, shownText()); }

HWND gf_createComboControl(ParameterControl& setting, HWND parent, const CREATESTRUCTW* creation, int x, int width,
                           int dropHeight) {
  HWND combo = ::CreateWindowExW(0, u"ComboBox", nullptr, kComboStyle, x, setting.row() - 5, width, dropHeight, parent,
                                 lf_idAsMenu(setting.controlId()), lf_instanceOf(creation), nullptr);
  setting.setHandle(combo);
  if (combo != nullptr) ::EnableWindow(combo, TRUE);
  return combo;
}

void ComboIntParameter::fillChoices(HWND combo) const {
  if (combo == nullptr) return;
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::int32_t choice : m_choices) lf_addComboEntry(combo, fmt::format("{}", choice));
  showValue(combo);
}

void ComboIntParameter::showValue(HWND control) const {
  if (control == nullptr) return;
  const std::string text = fmt::format("{}", value());
  // A value that is not in the list goes before the first larger entry.
  lf_selectComboText(control, text, [control, v = value()] {
    const LRESULT count = ::SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      WCHAR buffer[64]{};
      if (::SendMessageW(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 63) continue;
      if (::SendMessageW(control, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer)) == CB_ERR)
        continue;
      std::int64_t entry = 0;
      if (gf_parseInt(win32::utf16ToUtf8(buffer), entry) && entry > v) return static_cast<int>(i);
    }
    return -1;
  });
}

void ComboStringParameter::fillChoices(HWND combo) const {
  if (combo == nullptr) return;
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string_view choice : m_choices) lf_addComboEntry(combo, std::string(choice));
  showValue(combo);
}

void ComboStringParameter::showValue(HWND control) const {
  lf_selectComboText(control, value(), [] { return -1; });
}

HWND ButtonParameter::createButton(HWND parent, const CREATESTRUCTW* creation, int x, int width) {
  const std::u16string caption = win32::utf8ToUtf16(m_text);
  HWND button = ::CreateWindowExW(0, u"button", caption.c_str(), kButtonStyle, x, row(), width, kButtonHeight, parent,
                                  lf_idAsMenu(controlId()), lf_instanceOf(creation), nullptr);
  setHandle(button);
  if (button != nullptr) ::EnableWindow(button, FALSE);
  return button;
}
