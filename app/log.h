// Log.txt: one line per message, written under one mutex while the file is open.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

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
