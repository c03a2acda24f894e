#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "app/log.h"
#include "app/runstate.h"
#include "support/log_reader.h"
#include "support/workdir.h"

using namespace testsupport;

TEST(Log, HeaderAndPrefixes) {
  gf_setFixedClock(1796628946);  // Mon Dec 07 07:35:46 2026 UTC
  openTestLog();
  gf_logLine("plain {}", 1);
  gf_logError("bad {} and {}", "x", 2.5);
  gf_logIndented("detail");
  gf_closeLog();
  const std::string text = readFile(workDir() / "Log.txt");
  EXPECT_EQ(text,
            "Mon Dec 07 07:35:46 2026 (utc) Skyloom version 1.0.0 for MSFS 2020/2024\n"
            "plain 1\n"
            "===> bad x and 2.5\n"
            "          detail\n");
}

TEST(Log, NothingIsWrittenWhileClosed) {
  gf_logLine("lost");
  EXPECT_FALSE(gf_logIsOpen());
  EXPECT_FALSE(std::filesystem::exists(workDir() / "Log.txt"));
}

TEST(Log, RotationKeepsExactlyTwoPreviousRuns) {
  for (int run = 1; run <= 4; ++run) {
    openTestLog();
    gf_logLine("run {}", run);
    gf_closeLog();
  }
  const auto lastLine = [](const std::string& file) {
    const std::string text = readFile(workDir() / file);
    const auto start = text.rfind('\n', text.size() - 2);
    return text.substr(start + 1, text.size() - start - 2);
  };
  EXPECT_EQ(lastLine("Log.txt"), "run 4");
  EXPECT_EQ(lastLine("Log_1.txt"), "run 3");
  EXPECT_EQ(lastLine("Log_2.txt"), "run 2");
  int logFiles = 0;
  for (const auto& e : std::filesystem::directory_iterator(workDir()))
    if (e.path().filename().string().rfind("Log", 0) == 0) ++logFiles;
  EXPECT_EQ(logFiles, 3);
}

TEST(Log, StopPendingSilencesOnlyTheStatusVariant) {
  openTestLog();
  g_stopRun = true;
  gf_logLineUnlessStopping("suppressed");
  gf_logLine("kept");
  g_stopRun = false;
  gf_logLineUnlessStopping("shown");
  EXPECT_FALSE(logHasLine("suppressed"));
  EXPECT_TRUE(logHasLine("kept"));
  EXPECT_TRUE(logHasLine("shown"));
}

TEST(Log, ConcurrentWritersNeverInterleaveWithinALine) {
  openTestLog();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) gf_logLine("thread {} line {} {}", t, i, std::string(40, 'a' + t));
    });
  for (auto& th : threads) th.join();
  const auto lines = logLines();
  ASSERT_EQ(lines.size(), 800u);
  const std::regex shape(R"(thread (\d) line \d+ ([a-d])\2{39})");
  for (const auto& l : lines) EXPECT_TRUE(std::regex_match(l, shape)) << l;
}

TEST(Log, ALogThatCannotBeOpenedOrWrittenGoesToStandardError) {
  struct Case {
    const char* name;
    std::filesystem::path folder;
    std::string notice;
  };
  // A full disk: Log.txt is the full device, and the previous logs cannot be
  // rotated out of its way (folders that are not empty).
  const std::filesystem::path full = workDir() / "full";
  for (const char* kept : {"Log_1.txt/x", "Log_2.txt/x"}) std::filesystem::create_directories(full / kept);
  std::filesystem::create_symlink("/dev/full", full / "Log.txt");
  const std::vector<Case> cases = {
      {"missing folder", workDir() / "no" / "such",
       "===> '" + (workDir() / "no" / "such" / "Log.txt").string() +
           "' cannot be opened (No such file or directory); the log goes on here\n"},
      {"full disk", full, "===> Log.txt cannot be written (No space left on device); the log goes on here\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    gf_openLog(c.folder);
    gf_logLine("a line");
    gf_logError("an error");
    EXPECT_TRUE(gf_logIsOpen()) << c.name;
    gf_closeLog();
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_NE(text.find(c.notice), std::string::npos) << c.name << ": " << text;
    EXPECT_NE(text.find("a line\n===> an error\n"), std::string::npos) << c.name << ": " << text;
  }
}

TEST(Log, BoundedLinesAreTheFirstFewThenOneAMinuteWithHowManyWereLeftOut) {
  openTestLog();
  BoundedLogLines bound(3, 60);
  const auto flood = [&bound](int lines) {
    for (int i = 0; i < lines; ++i) gf_logBounded(bound, gf_logErrorText, "peer line {}", i);
  };
  flood(100);
  gf_advanceSteadyClock(60);
  flood(50);
  gf_resetLogBounds();  // a new run
  flood(2);
  EXPECT_EQ(logLines(), (std::vector<std::string>{"===> peer line 0", "===> peer line 1", "===> peer line 2",
                                                   "===> peer line 0", "          97 more like it were not logged",
                                                   "===> peer line 0", "===> peer line 1"}));
}

TEST(Log, BoundedCountsStartAfreshAndTheEndOfARunWritesWhatWasLeftOutInTheOrderItCame) {
  openTestLog();
  BoundedLogLines single(1, 60);
  BoundedLogLines up(1, 60, LogGroup{7});
  BoundedLogLines down(1, 60, LogGroup{7});
  const auto bad = [&single](int n) { gf_logBounded(single, gf_logErrorText, "bad {}", n); };
  const auto link = [](BoundedLogLines& bound, const char* what, int n) {
    gf_logBounded(bound, gf_logText, "{} {}", what, n);
  };
  bad(1);
  bad(2);
  bad(3);
  gf_advanceSteadyClock(60);
  bad(4);  // with the two before it
  bad(5);
  gf_advanceSteadyClock(60);
  bad(6);  // with the one since the last count, not three
  // A group stays in order: the left-out line of one kind comes before the
  // next line of another that is written.
  link(up, "up", 1);
  link(down, "down", 1);
  link(up, "up", 2);
  link(down, "down", 2);
  link(up, "up", 3);
  gf_advanceSteadyClock(60);
  link(down, "down", 3);
  bad(7);
  link(up, "up", 4);
  link(down, "down", 4);
  link(up, "up", 5);
  gf_logLeftOutLines();
  gf_logLeftOutLines();  // nothing is left out twice
  const std::string more = "          1 more like it were not logged";
  EXPECT_EQ(logLines(),
            (std::vector<std::string>{"===> bad 1", "===> bad 4", "          2 more like it were not logged",
                                      "===> bad 6", more, "up 1", "down 1", "up 3", more, "down 3", more, "===> bad 7",
                                      "down 4", "up 5", more}));
}
