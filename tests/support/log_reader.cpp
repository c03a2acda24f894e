#include "support/log_reader.h"

#include <algorithm>

#include "app/files.h"
#include "app/log.h"
#include "support/workdir.h"

namespace testsupport {

void openTestLog() { gf_openLog(workDir()); }

std::vector<std::string> logLines() {
  auto lines = TextFileLines::read(workDir() / "Log.txt", 64);
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

bool logHasLine(const std::string& line) {
  const auto lines = logLines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool logContains(const std::string& text) {
  const auto lines = logLines();
  return std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.find(text) != std::string::npos; });
}

}  // namespace testsupport
