// Log.txt: one line per message, written under one mutex while the file is open.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

// Opens the log in the given folder: the logs of the two previous runs are kept
// as "Log_1.txt" (the last run) and "Log_2.txt" (the one before), then a new
// "Log.txt" starts with the header line. Returns false when it cannot be opened:
// the log then goes to the standard error output, behind a line that says why
// (as it does from the first line that cannot be written to Log.txt).
bool gf_openLog(const std::filesystem::path& folder = ".");
void gf_closeLog();
bool gf_logIsOpen();

// The raw writers: the plain message, behind "===> ", indented by 10 blanks.
void gf_logText(std::string_view line);
void gf_logErrorText(std::string_view line);
void gf_logIndentedText(std::string_view line);
// The plain writer that writes nothing while a stop of the run is pending.
void gf_logTextUnlessStopping(std::string_view line);

template <typename... Args>
void gf_logLine(fmt::format_string<Args...> format, Args&&... args) {
  gf_logText(fmt::format(format, std::forward<Args>(args)...));
}
template <typename... Args>
void gf_logError(fmt::format_string<Args...> format, Args&&... args) {
  gf_logErrorText(fmt::format(format, std::forward<Args>(args)...));
}
template <typename... Args>
void gf_logIndented(fmt::format_string<Args...> format, Args&&... args) {
  gf_logIndentedText(fmt::format(format, std::forward<Args>(args)...));
}
template <typename... Args>
void gf_logLineUnlessStopping(fmt::format_string<Args...> format, Args&&... args) {
  gf_logTextUnlessStopping(fmt::format(format, std::forward<Args>(args)...));
}

// Lines collected in memory for a report file that is written at the end of a
// scan; appended from any thread (its own mutex, a leaf lock: nothing else is
// taken while it is held).
class LockedLines {
 public:
  void append(std::string line);
  std::vector<std::string> snapshot() const;
  void clear();

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
};
