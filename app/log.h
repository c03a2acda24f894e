// Log.txt: one line per message, written under one mutex while the file is open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
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

// The group of a kind of bounded line; none unless given.
enum class LogGroup : int { none = 0 };

// A bound on lines that what others send can cause (a peer's connections,
// lines and datagrams): of one kind of line, the first `first` (five unless
// given) are written, then at most one every `periodSeconds` (a minute unless
// given) of the steady clock, followed by how many were left out since the
// one before. So a peer that floods the program grows the log by a few lines
// a minute at most.
//
// The last line left out is kept, so that the end of a run can still write
// it with its count (gf_logLeftOutLines): the log ends on what last happened.
// Kinds that tell one story (the same `group`) stay in the order they
// happened: before a line of the group is written, the last left-out line of
// each other kind of the group is written, with its count.
//
// Any thread; one mutex for all bounds, a leaf lock released before a line
// is written.
class BoundedLogLines {
 public:
  static constexpr std::uint32_t kFirst = 5;
  static constexpr std::int64_t kPeriodSeconds = 60;
  explicit BoundedLogLines(std::uint32_t first = kFirst, std::int64_t periodSeconds = kPeriodSeconds,
                           LogGroup group = LogGroup::none);
  explicit BoundedLogLines(LogGroup group) : BoundedLogLines(kFirst, kPeriodSeconds, group) {}
  ~BoundedLogLines();
  BoundedLogLines(const BoundedLogLines&) = delete;
  BoundedLogLines& operator=(const BoundedLogLines&) = delete;
  // Writes the line with `writer` when the bound lets it through, followed by
  // how many were left out since the last one written; else keeps it as the
  // last one left out. True when it was written.
  bool log(void (*writer)(std::string_view), std::string text);
 private:
  friend void gf_logLeftOutLines();
  friend void gf_resetLogBounds();
  // The first lines are written again (the start of a run); what was left
  // out is forgotten. The bounds' mutex is held.
  void resetLocked();
  struct LeftOutLine {
    std::uint64_t order;
    void (*writer)(std::string_view);
    std::string text;
    std::uint64_t count;
  };
  // Takes the last line left out, if any, as written at `now`; the caller
  // holds the bounds' mutex.
  std::optional<LeftOutLine> takeLeftOutLocked(std::int64_t now);
  // Writes taken lines in the order they came, each with its count.
  static void writeInOrder(std::vector<LeftOutLine>& lines);

  std::uint32_t m_first;
  std::int64_t m_period;
  LogGroup m_group;
  std::uint32_t m_written = 0;
  std::uint64_t m_leftOut = 0;
  std::int64_t m_lastWrittenAt = 0;
  // The last line left out, its writer, and when it came among all left-out lines.
  std::string m_lastLeftOut;
  void (*m_lastWriter)(std::string_view) = nullptr;
  std::uint64_t m_lastLeftOutOrder = 0;
};

// The indented line after a bounded line: "{} more like it were not logged".
void gf_logLeftOut(std::uint64_t leftOut);

// The end of a run: every kind of bounded line that left lines out writes
// its last line left out and how many more were, in the order they came, and
// starts its count afresh.
void gf_logLeftOutLines();
// The start of a run: every kind of bounded line writes its first lines
// again (BoundedLogLines::reset of each). Only a run's start resets them: a
// lost link does not, so a peer cannot renew its lines by dropping it.
void gf_resetLogBounds();

// A line under a bound, written by one of the raw writers above (gf_logText,
// gf_logErrorText).
template <typename... Args>
void gf_logBounded(BoundedLogLines& bound, void (*writer)(std::string_view), fmt::format_string<Args...> format,
                   Args&&... args) {
  bound.log(writer, fmt::format(format, std::forward<Args>(args)...));
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
