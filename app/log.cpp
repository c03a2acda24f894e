#include "app/log.h"

#include <cstdio>
#include <mutex>
#include <system_error>

#include "app/clock.h"
#include "app/runstate.h"
#include "app/version.h"

namespace {

// The log mutex: always the last lock taken.
std::mutex g_logMutex;
std::FILE* g_logFile = nullptr;

void writeLocked(std::string_view prefix, std::string_view line) {
  std::lock_guard lock(g_logMutex);
  if (g_logFile == nullptr) return;
  if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), g_logFile);
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), g_logFile);
  std::fputc('\n', g_logFile);
  std::fflush(g_logFile);  // a crash must not lose the lines before it
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
  if (g_logFile == nullptr) return false;
  const std::string header = fmt::format("{} (utc) {} version {} for {}", gf_timeText(gf_utcNowSeconds()),
                                         kProgramName, gf_programVersion().text(), kSimulatorsText);
  std::fwrite(header.data(), 1, header.size(), g_logFile);
  std::fputc('\n', g_logFile);
  std::fflush(g_logFile);
  return true;
}

void gf_closeLog() {
  std::lock_guard lock(g_logMutex);
  if (g_logFile != nullptr) {
    std::fclose(g_logFile);
    g_logFile = nullptr;
  }
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
