// Settings: named parameter objects persisted in parameters.xml.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

// The base of every named setting. The operations every kind has are virtual,
// so that the whole table of settings (app/settings.h) can be read, saved,
// logged and reset through Parameter pointers.
//
// Saving: every save writes into one process-wide in-memory copy of
// parameters.xml (guarded by the parameters-document mutex) and then replaces
// the file atomically (temporary file in the same folder, renamed over it).
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
  // Writes the current value into parameters.xml; a failure is logged as
  // "Saving '{}' failed" with the file's path (unless a stop is pending) and
  // not thrown; the value in memory stays. Does nothing for a setting that is
  // not stored.
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

// parameters.xml: gf_userDataFolder() / "parameters.xml" (the AppData folder,
// then "Skyloom"). Empty when the AppData folder is unknown.
std::filesystem::path gf_parametersPath();

// Loads parameters.xml into the process-wide parameters document and reads
// every stored setting of the list:
// - a missing file, or one without any element: a fresh document with the
//   root "parameters";
// - a file that does not parse, is too large or unreadable, or whose root is
//   not "parameters": logged as an error line, kept aside as
//   "parameters.xml.bad" (replacing an older one) and replaced by defaults;
// - every key that was missing or whose value had to be clamped is written
//   into the document, and then the file is written back once.
// Returns false when the file could not be used as it was (malformed) or
// writing it back failed; the settings hold usable values in every case.
// app/settings.h has gf_readParameters() for the whole table.
bool gf_readParameterList(const std::vector<Parameter*>& parameters);

// Tests: forgets the in-memory parameters document, so that the next save or
// read starts from the file at the then current path.
void gf_forgetParametersDocument();
