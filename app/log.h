// Log.txt: one line per message, written under one mutex while the file is open.
#pragma once

#include <cstdint>
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

// A bound on lines that what others send can cause (a peer's connections,
// lines and datagrams): of one kind of line, the first `first` (five unless
// given) are written, then at most one every `periodSeconds` (a minute unless
// given) of the steady clock, followed by how many were left out since the
// one before. So a peer that floods the program grows the log by a few lines
// a minute at most. Any thread; its mutex is a leaf lock, released before
// the line is written.
class BoundedLogLines {
 public:
  explicit BoundedLogLines(std::uint32_t first = 5, std::int64_t periodSeconds = 60) noexcept
      : m_first(first), m_period(periodSeconds) {}
  BoundedLogLines(const BoundedLogLines&) = delete;
  BoundedLogLines& operator=(const BoundedLogLines&) = delete;
  // Whether a line of this kind is written now; when it is, `leftOut` says
  // how many were not written since the last one that was.
  bool admit(std::uint64_t& leftOut);
  // The first lines are written again (the start of a run).
  void reset();

 private:
  std::mutex m_mutex;
  std::uint32_t m_first;
  std::int64_t m_period;
  std::uint32_t m_written = 0;
  std::uint64_t m_leftOut = 0;
  std::int64_t m_lastWrittenAt = 0;
};

// The indented line after a bounded line: "{} more like it were not logged".
void gf_logLeftOut(std::uint64_t leftOut);

// A line under a bound, written by one of the raw writers above (gf_logText,
// gf_logErrorText); the text is only made when it is written.
template <typename... Args>
void gf_logBounded(BoundedLogLines& bound, void (*writer)(std::string_view), fmt::format_string<Args...> format,
                   Args&&... args) {
  std::uint64_t leftOut = 0;
  if (!bound.admit(leftOut)) return;
  writer(fmt::format(format, std::forward<Args>(args)...));
  gf_logLeftOut(leftOut);
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
