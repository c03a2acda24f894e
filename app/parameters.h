// Settings: named parameter objects persisted in parameters.xml.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "platform/win32/user32.h"

// The base of every named setting. The operations every kind has are virtual,
// so that the whole table of settings (app/settings.h) can be read, saved,
// logged and reset through Parameter pointers.
//
// Saving: every save writes into one process-wide in-memory copy of
// parameters.xml (guarded by the parameters-document mutex) and then replaces
// the file atomically (temporary file in the same folder, renamed over it).
// When the file changed on disk since the program last read or wrote it (an
// edit by hand while the program runs), the copy is first read again from
// the file as it is now, so the edit stays; a changed file that cannot be
// used is kept aside as at the start (shown on the error line) and the
// settings in use are written.
// Lock order: the parameters-document mutex, then a setting's own text lock
// (a leaf lock, held only to copy or assign the text), then the log mutex;
// never with any other lock.
class Parameter {
 public:
  explicit Parameter(std::string name) : m_name(std::move(name)) {}
  virtual ~Parameter() = default;
  Parameter(const Parameter&) = delete;
  Parameter& operator=(const Parameter&) = delete;
  const std::string& name() const noexcept { return m_name; }

  // Reads the key from a loaded parameters document (any node of it); returns
  // false when the file should be rewritten (key missing: the value is the
  // default then; or the value had to be clamped).
  virtual bool readValue(const pugi::xml_node& document) = 0;
  // Writes the current value into parameters.xml; a failure is shown on the
  // error line as "Saving '{}' failed" with the file's path (logged with
  // "Error " before it; not while a stop is pending), not thrown; the value
  // in memory stays. Does nothing for a setting that is not stored.
  virtual void save() const = 0;
  // One log line "{:24}: {}" (indented) with the key and the current value.
  virtual void logValue() const = 0;
  // The current value as written into parameters.xml ("true"/"false", "{}").
  virtual std::string valueText() const = 0;
  // Back to the default value (start-up state; tests).
  virtual void resetToDefault() = 0;
  // Whether the setting lives in parameters.xml.
  virtual bool stored() const noexcept { return true; }

 private:
  std::string m_name;
};

// An on/off setting.
class BoolParameter : public Parameter {
 public:
  BoolParameter(std::string name, bool defaultValue);
  bool value() const noexcept { return m_value.load(); }
  bool defaultValue() const noexcept { return m_default; }
  void set(bool v) noexcept { m_value.store(v); }
  // Reads the key from a loaded parameters document; false when the key is
  // missing (the value is the default then) and the file should be rewritten.
  bool readValue(const pugi::xml_node& document) override;
  // Writes the value into parameters.xml; a failure is logged, not thrown.
  void save() const override;
  void setAndSave(bool v);
  void logValue() const override;
  std::string valueText() const override;
  void resetToDefault() override;

 private:
  bool m_default;
  std::atomic<bool> m_value;
};

// A whole-number setting with a range; reading clamps to the range.
class IntParameter : public Parameter {
 public:
  // stored false: a setting that is not kept in parameters.xml (parking_percentage).
  IntParameter(std::string name, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
               bool stored = true);
  std::int32_t value() const noexcept { return m_value.load(); }
  std::int32_t defaultValue() const noexcept { return m_default; }
  std::int32_t minimum() const noexcept { return m_min; }
  std::int32_t maximum() const noexcept { return m_max; }
  // Sets the value clamped to the range.
  void set(std::int32_t v) noexcept;
  // Sets the value as it is, outside the range too: for the few values that
  // the learned park files set unclamped (parking_percentage, and
  // MAX_LIVE_SEL -1 for "no maximum"). A later set() or
  // readValue() clamps again.
  void setWithoutClamping(std::int32_t v) noexcept { m_value.store(v); }
  // Reads and clamps; false when the key was missing or its value had to be
  // clamped, so that the file should be rewritten.
  bool readValue(const pugi::xml_node& document) override;
  void save() const override;
  void setAndSave(std::int32_t v);
  void logValue() const override;
  std::string valueText() const override;
  void resetToDefault() override;
  bool stored() const noexcept override { return m_stored; }

 private:
  std::int32_t m_default, m_min, m_max;
  bool m_stored;
  std::atomic<std::int32_t> m_value;
};

// A text setting (UTF-8). Read and written under its own lock, so any thread
// may read it while the window changes it.
class StringParameter : public Parameter {
 public:
  StringParameter(std::string name, std::string defaultValue, bool stored = true);
  std::string value() const;
  const std::string& defaultValue() const noexcept { return m_default; }
  void set(std::string v);
  // Whether the setting lives in parameters.xml (the meta settings do not).
  bool stored() const noexcept override { return m_stored; }
  bool readValue(const pugi::xml_node& document) override;
  void save() const override;
  void setAndSave(std::string v);
  void logValue() const override;
  std::string valueText() const override { return value(); }
  void resetToDefault() override;

 private:
  std::string m_default;
  bool m_stored;
  mutable std::mutex m_mutex;
  std::string m_value;
};

// A decimal setting with a range (MAX_FIT_FL, the hours form of MAX_FIT).
// Numbers are read with std::from_chars and written with fmt, independent of
// the C locale. Non-finite values are never taken.
class FloatParameter : public Parameter {
 public:
  FloatParameter(std::string name, double defaultValue, double minimum, double maximum, bool stored = true);
  double value() const noexcept { return m_value.load(); }
  double defaultValue() const noexcept { return m_default; }
  double minimum() const noexcept { return m_min; }
  double maximum() const noexcept { return m_max; }
  // Sets the value clamped to the range; a non-finite value is ignored.
  void set(double v) noexcept;
  // Missing key or a text that is not one finite number: the default (false);
  // a value out of range is clamped (false).
  bool readValue(const pugi::xml_node& document) override;
  void save() const override;
  void setAndSave(double v);
  void logValue() const override;
  std::string valueText() const override;  // "{}" (shortest exact form)
  void resetToDefault() override;
  bool stored() const noexcept override { return m_stored; }

 private:
  double m_default, m_min, m_max;
  bool m_stored;
  std::atomic<double> m_value;
};

// ---------------------------------------------------------------- settings shown in the window
//
// ParameterControl is the second base of every setting that the main window
// shows as a control: the control id, the row (its y position in the
// window), the control's window handle and, for edit fields, the window
// procedure that was replaced when the field was subclassed. The handle and
// the procedure are set on the UI thread when the window is created and read
// by any thread (atomics).
//
// showValue writes the setting's current value into a control of its kind
// (the tick of a checkbox, the text of an edit field, the selected entry of a
// combo box). SetWindowTextW never waits for the UI thread; BM_SETCHECK and
// the combo messages are sent, so a thread other than the UI thread waits
// until the UI thread has handled them, as on Windows.
class ParameterControl {
 public:
  ParameterControl(std::uint16_t controlId, std::int32_t row) noexcept : m_controlId(controlId), m_row(row) {}
  virtual ~ParameterControl() = default;
  ParameterControl(const ParameterControl&) = delete;
  ParameterControl& operator=(const ParameterControl&) = delete;

  std::uint16_t controlId() const noexcept { return m_controlId; }
  std::int32_t row() const noexcept { return m_row; }
  HWND handle() const noexcept { return m_handle.load(); }
  void setHandle(HWND hwnd) noexcept { m_handle.store(hwnd); }
  WNDPROC previousProc() const noexcept { return m_previousProc.load(); }
  void setPreviousProc(WNDPROC proc) noexcept { m_previousProc.store(proc); }

  // The edit field of the setting: "Edit", WS_CHILD | WS_VISIBLE | WS_BORDER,
  // width x 16 at (x, row), empty; `proc` becomes its window procedure (the
  // previous one is kept in the object) and the field is disabled. Returns
  // the field, nullptr when it could not be created.
  HWND createEdit(HWND parent, const CREATESTRUCTW* creation, int x, int width, WNDPROC proc);

  // Writes the current value into the control (see above). Does nothing for
  // a null control. Throws win32::Utf8ConversionException for a text that is
  // not valid UTF-8.
  virtual void showValue(HWND control) const = 0;

 private:
  std::uint16_t m_controlId;
  std::int32_t m_row;
  std::atomic<HWND> m_handle{nullptr};
  std::atomic<WNDPROC> m_previousProc{nullptr};
};

// An on/off setting shown as a plain checkbox (BS_CHECKBOX: the program sets
// the tick itself).
class CheckBoolParameter : public BoolParameter, public ParameterControl {
 public:
  CheckBoolParameter(std::string name, bool defaultValue, std::uint16_t controlId, std::int32_t row)
      : BoolParameter(std::move(name), defaultValue), ParameterControl(controlId, row) {}
  // "button", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 12 x 12 at (x, row + 2),
  // no caption; ticked when the setting is on; enabled.
  HWND createCheckbox(HWND parent, const CREATESTRUCTW* creation, int x);
  // BM_SETCHECK with the current value.
  void showValue(HWND control) const override;
};

// A whole-number setting shown in an edit field (parking_percentage).
class ControlIntParameter : public IntParameter, public ParameterControl {
 public:
  ControlIntParameter(std::string name, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                      bool stored, std::uint16_t controlId, std::int32_t row)
      : IntParameter(std::move(name), defaultValue, minimum, maximum, stored), ParameterControl(controlId, row) {}
  // The value as decimal text.
  void showValue(HWND control) const override;
};

// A text setting shown in an edit field.
class ControlStringParameter : public StringParameter, public ParameterControl {
 public:
  ControlStringParameter(std::string name, std::string defaultValue, bool stored, std::uint16_t controlId,
                         std::int32_t row)
      : StringParameter(std::move(name), std::move(defaultValue), stored), ParameterControl(controlId, row) {}
  void showValue(HWND control) const override;
};

// A decimal setting shown in an edit field (MAX_FIT_FL): one decimal when
// the value has a fraction, else none ("7.5", "24").
class ControlFloatParameter : public FloatParameter, public ParameterControl {
 public:
  ControlFloatParameter(std::string name, double defaultValue, double minimum, double maximum, bool stored,
                        std::uint16_t controlId, std::int32_t row)
      : FloatParameter(std::move(name), defaultValue, minimum, maximum, stored), ParameterControl(controlId, row) {}
  void showValue(HWND control) const override;
  // The value as the field shows it.
  std::string shownText() const;
};

// The drop-down list of a combo setting: "ComboBox", WS_CHILD | WS_VISIBLE | WS_TABSTOP |
// WS_VSCROLL | CBS_DROPDOWNLIST, width x dropHeight at (x, row - 5), empty
// and enabled. Shared by the two combo kinds.
HWND gf_createComboControl(ParameterControl& setting, HWND parent, const CREATESTRUCTW* creation, int x, int width,
                           int dropHeight);

// A whole-number setting chosen from a drop-down list of numbers.
class ComboIntParameter : public IntParameter, public ParameterControl {
 public:
  ComboIntParameter(std::string name, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                    bool stored, std::uint16_t controlId, std::int32_t row, std::span<const std::int32_t> choices)
      : IntParameter(std::move(name), defaultValue, minimum, maximum, stored),
        ParameterControl(controlId, row),
        m_choices(choices) {}
  // The choices in combo order.
  std::span<const std::int32_t> choices() const noexcept { return m_choices; }
  HWND createCombo(HWND parent, const CREATESTRUCTW* creation, int x, int width, int dropHeight) {
    return gf_createComboControl(*this, parent, creation, x, width, dropHeight);
  }
  // Empties the list, adds every choice and selects the current value.
  void fillChoices(HWND combo) const;
  // Selects the entry of the current value. A value that is not among the
  // choices (a hand-edited file, a learned file's value) is inserted in
  // numeric order, so the combo always shows the value in force.
  void showValue(HWND control) const override;

 private:
  std::span<const std::int32_t> m_choices;
};

// A text setting chosen from a drop-down list of texts.
class ComboStringParameter : public StringParameter, public ParameterControl {
 public:
  ComboStringParameter(std::string name, std::string defaultValue, bool stored, std::uint16_t controlId,
                       std::int32_t row, std::span<const std::string_view> choices)
      : StringParameter(std::move(name), std::move(defaultValue), stored),
        ParameterControl(controlId, row),
        m_choices(choices) {}
  std::span<const std::string_view> choices() const noexcept { return m_choices; }
  HWND createCombo(HWND parent, const CREATESTRUCTW* creation, int x, int width, int dropHeight) {
    return gf_createComboControl(*this, parent, creation, x, width, dropHeight);
  }
  void fillChoices(HWND combo) const;
  // Selects the entry of the current value; a value that is not among the
  // choices is appended to the list and selected.
  void showValue(HWND control) const override;

 private:
  std::span<const std::string_view> m_choices;
};

// A push button of the window: not a stored setting, only a text, a control
// id and its y position (the row).
class ButtonParameter : public ParameterControl {
 public:
  ButtonParameter(std::string text, std::uint16_t controlId, std::int32_t y)
      : ParameterControl(controlId, y), m_text(std::move(text)) {}
  const std::string& text() const noexcept { return m_text; }
  // "button", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, width x 20 at
  // (x, y), captioned with the text; disabled.
  HWND createButton(HWND parent, const CREATESTRUCTW* creation, int x, int width);
  // A button shows no value.
  void showValue(HWND) const override {}

 private:
  std::string m_text;
};

// parameters.xml: gf_userDataFolder() / "parameters.xml" (the AppData folder,
// then "Skyloom"). Empty when the AppData folder is unknown.
std::filesystem::path gf_parametersPath();

// Loads parameters.xml into the process-wide parameters document and reads
// every stored setting of the list:
// - a missing file, or one without any element: a fresh document with the
//   root "parameters";
// - a file that does not parse, is too large or unreadable, or whose root is
//   not "parameters": shown on the error line ("The settings file '{}' could
//   not be read; it is kept as '{}', the defaults are used"), kept aside as
//   "parameters.xml.bad" ("parameters.xml.bad2", ... beside older copies;
//   when all 999 names are taken, the oldest copy gives way) and replaced by
//   defaults; a file that cannot be kept aside is never replaced;
// - entries of settings the program does not know stay in the file; content
//   that cannot be a setting (comments, a DOCTYPE, processing instructions,
//   foreign elements) is kept aside the same way before the first save drops
//   it;
// - every key that was missing or whose value had to be clamped is written
//   into the document, and then the file is written back once.
// Returns false when the file could not be used as it was (malformed) or
// writing it back failed; the settings hold usable values in every case.
// app/settings.h has gf_readParameters() for the whole table.
bool gf_readParameterList(const std::vector<Parameter*>& parameters);

// Tests: forgets the in-memory parameters document, so that the next save or
// read starts from the file at the then current path.
void gf_forgetParametersDocument();
