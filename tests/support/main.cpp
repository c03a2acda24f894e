#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "airports/park_find.h"
#include "app/clock.h"
#include "app/download.h"
#include "app/log.h"
#include "support/workdir.h"

namespace fs = std::filesystem;

// cairo's text drawing goes through fontconfig, which keeps its caches for the
// life of the process; the leak checker would report them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace testsupport {
namespace {
fs::path g_originalDir;
fs::path g_workDir;
}  // namespace

fs::path workDir() { return g_workDir; }
fs::path appDataDir() { return g_workDir / "appdata"; }

void writeFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string xmlEscape(const std::string& value) {
  std::string text;
  text.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '&': text += "&amp;"; break;
      case '<': text += "&lt;"; break;
      case '>': text += "&gt;"; break;
      case '"': text += "&quot;"; break;
      default: text += c;
    }
  }
  return text;
}

namespace {
class WorkDirListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    std::random_device rd;
    g_workDir = fs::temp_directory_path() / ("skyloom-test-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(g_workDir / "appdata");
    fs::create_directories(g_workDir / "localappdata");
    fs::create_directories(g_workDir / "tmp");
    setenv("APPDATA", (g_workDir / "appdata").c_str(), 1);
    setenv("LOCALAPPDATA", (g_workDir / "localappdata").c_str(), 1);
    fs::current_path(g_workDir);
    gf_setFixedClock(std::nullopt);
    // No test reaches the real download server: port 1 on loopback refuses
    // at once. Tests that download start their own server.
    gf_setDownloadServer("http://127.0.0.1:1/");
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    gf_forgetServerFiles();
    gf_closeLog();
    gf_setFixedClock(std::nullopt);
    fs::current_path(g_originalDir);
    std::error_code ec;
    fs::remove_all(g_workDir, ec);
  }
};
}  // namespace
}  // namespace testsupport

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testsupport::g_originalDir = fs::current_path();
  ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::WorkDirListener);
  return RUN_ALL_TESTS();
}
