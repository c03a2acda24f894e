#include "app/log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <mutex>
#include <system_error>
#include <utility>

#include "app/clock.h"
#include "app/runstate.h"
#include "app/version.h"

namespace {

// The log mutex: always the last lock taken.
std::mutex g_logMutex;
std::FILE* g_logFile = nullptr;

void putLineLocked(std::string_view prefix, std::string_view line) {
  if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), g_logFile);
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), g_logFile);
  std::fputc('\n', g_logFile);
}

// When Log.txt cannot be opened or written (a read-only folder, a full disk),
// the log goes on on the standard error output rather than nowhere.
void switchToStderrLocked(std::string_view why) {
  if (g_logFile != nullptr && g_logFile != stderr) std::fclose(g_logFile);
  g_logFile = stderr;
  putLineLocked("===> ", why);
  std::fflush(stderr);
}

void writeLocked(std::string_view prefix, std::string_view line) {
  std::lock_guard lock(g_logMutex);
  if (g_logFile == nullptr) return;
  putLineLocked(prefix, line);
  // Flushed at once: a crash must not lose the lines before it.
  if (std::fflush(g_logFile) != 0 && g_logFile != stderr) {
    const std::string why = fmt::format("Log.txt cannot be written ({}); the log goes on here",
                                        std::generic_category().message(errno));
    switchToStderrLocked(why);
    putLineLocked(prefix, line);
    std::fflush(stderr);
  }
}

}  // namespace

bool gf_openLog(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::lock_guard lock(g_logMutex);
  if (g_logFile != nullptr) {
    std::fclose(g_logFile);
    g_logFile = nullptr;
  }
  const fs::path current = folder / "Log.txt";
  const fs::path previous = folder / "Log_1.txt";
  const fs::path older = folder / "Log_2.txt";
  std::error_code ec;
  // Keep the logs of the two previous runs: Log_1 is the last run, Log_2 the one before.
  if (fs::exists(previous, ec)) fs::rename(previous, older, ec);
  if (fs::exists(current, ec)) fs::rename(current, previous, ec);
  g_logFile = std::fopen(current.c_str(), "wb");
  const int openError = errno;
  const std::string header = fmt::format("{} (utc) {} version {} for {}", gf_timeText(gf_utcNowSeconds()),
                                         kProgramName, gf_programVersion().text(), kSimulatorsText);
  if (g_logFile == nullptr) {
    switchToStderrLocked(fmt::format("'{}' cannot be opened ({}); the log goes on here", current.string(),
                                     std::generic_category().message(openError)));
  }
  putLineLocked({}, header);
  std::fflush(g_logFile);
  return g_logFile != stderr;
}

void gf_closeLog() {
  std::lock_guard lock(g_logMutex);
  if (g_logFile != nullptr && g_logFile != stderr) std::fclose(g_logFile);
  g_logFile = nullptr;
}

bool gf_logIsOpen() {
  std::lock_guard lock(g_logMutex);
  return g_logFile != nullptr;
}

void gf_logText(std::string_view line) { writeLocked({}, line); }
void gf_logErrorText(std::string_view line) { writeLocked("===> ", line); }
void gf_logIndentedText(std::string_view line) { writeLocked("          ", line); }

void gf_logTextUnlessStopping(std::string_view line) {
  if (g_stopRun.load()) return;
  writeLocked({}, line);
}

namespace {

// Every bound of the process, for the end of a run and for the groups.
struct Bounds {
  // Guards the list and every bound's counts and kept line. A leaf lock:
  // released before any line is written.
  std::mutex mutex;
  std::vector<BoundedLogLines*> all;
  // Stamps the left-out lines in the order they came.
  std::uint64_t order = 0;
};

Bounds& lf_bounds() {
  static Bounds bounds;
  return bounds;
}

}  // namespace

BoundedLogLines::BoundedLogLines(std::uint32_t first, std::int64_t periodSeconds, LogGroup group)
    : m_first(first), m_period(periodSeconds), m_group(group) {
  Bounds& bounds = lf_bounds();
  std::lock_guard lock(bounds.mutex);
  bounds.all.push_back(this);
}

BoundedLogLines::~BoundedLogLines() {
  Bounds& bounds = lf_bounds();
  std::lock_guard lock(bounds.mutex);
  std::erase(bounds.all, this);
}

std::optional<BoundedLogLines::LeftOutLine> BoundedLogLines::takeLeftOutLocked(std::int64_t now) {
  if (m_leftOut == 0) return std::nullopt;
  // Its line is written now: the kind's next line waits its period from here.
  m_lastWrittenAt = now;
  return LeftOutLine{m_lastLeftOutOrder, m_lastWriter, std::exchange(m_lastLeftOut, {}), std::exchange(m_leftOut, 0)};
}

void BoundedLogLines::writeInOrder(std::vector<LeftOutLine>& lines) {
  std::ranges::sort(lines, {}, &LeftOutLine::order);
  for (const LeftOutLine& line : lines) {
    line.writer(line.text);
    gf_logLeftOut(line.count - 1);
  }
}

bool BoundedLogLines::log(void (*writer)(std::string_view), std::string text) {
  const std::int64_t now = gf_steadySeconds();
  std::vector<LeftOutLine> earlier;
  std::uint64_t leftOut = 0;
  {
    Bounds& bounds = lf_bounds();
    std::lock_guard lock(bounds.mutex);
    if (m_written >= m_first && now - m_lastWrittenAt < m_period) {
      ++m_leftOut;
      m_lastLeftOut = std::move(text);
      m_lastWriter = writer;
      m_lastLeftOutOrder = ++bounds.order;
      return false;
    }
    if (m_written < m_first) ++m_written;
    m_lastWrittenAt = now;
    leftOut = std::exchange(m_leftOut, 0);
    m_lastLeftOut.clear();
    if (m_group != LogGroup::none) {
      for (BoundedLogLines* other : bounds.all) {
        if (other == this || other->m_group != m_group) continue;
        if (auto line = other->takeLeftOutLocked(now)) earlier.push_back(std::move(*line));
      }
    }
  }
  writeInOrder(earlier);
  writer(text);
  gf_logLeftOut(leftOut);
  return true;
}

void BoundedLogLines::resetLocked() {
  m_written = 0;
  m_leftOut = 0;
  m_lastLeftOut.clear();
}

void gf_logLeftOut(std::uint64_t leftOut) {
  if (leftOut > 0) gf_logIndented("{} more like it were not logged", leftOut);
}

void gf_logLeftOutLines() {
  const std::int64_t now = gf_steadySeconds();
  std::vector<BoundedLogLines::LeftOutLine> lines;
  {
    Bounds& bounds = lf_bounds();
    std::lock_guard lock(bounds.mutex);
    for (BoundedLogLines* bound : bounds.all)
      if (auto line = bound->takeLeftOutLocked(now)) lines.push_back(std::move(*line));
  }
  BoundedLogLines::writeInOrder(lines);
}

void gf_resetLogBounds() {
  Bounds& bounds = lf_bounds();
  std::lock_guard lock(bounds.mutex);
  for (BoundedLogLines* bound : bounds.all) bound->resetLocked();
}

void LockedLines::append(std::string line) {
  std::lock_guard lock(m_mutex);
  m_lines.push_back(std::move(line));
}

std::vector<std::string> LockedLines::snapshot() const {
  std::lock_guard lock(m_mutex);
  return m_lines;
}

void LockedLines::clear() {
  std::lock_guard lock(m_mutex);
  m_lines.clear();
}
