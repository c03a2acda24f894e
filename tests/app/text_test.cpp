#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/files.h"
#include "app/text.h"
#include "support/log_reader.h"
#include "support/workdir.h"

using namespace testsupport;

TEST(Text, TrimSplitAndQuotes) {
  EXPECT_EQ(gf_trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(gf_trim(" \t\r\n"), "");
  EXPECT_EQ(gf_splitString(" a , ,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(gf_splitString("", ','), (std::vector<std::string>{""}));
  EXPECT_EQ(gf_trimCommaList("A, B ,\tC"), "A,B,C");
  EXPECT_EQ(gf_trimCommaList("A,B"), "A,B");
  EXPECT_EQ(gf_quotedText(R"(title = "Airbus A320" ; x)"), "Airbus A320");
  EXPECT_EQ(gf_quotedText("no quotes"), "no quotes");
  EXPECT_EQ(gf_quotedText(R"(one "quote)"), "");
  EXPECT_EQ(gf_quotedText(R"("")"), "");
}

TEST(Text, PluralFloatAndPercent) {
  EXPECT_EQ(gf_pluralS(1), "");
  EXPECT_EQ(gf_pluralS(-3), "");
  EXPECT_EQ(gf_pluralS(0), "s");
  EXPECT_EQ(gf_pluralS(2), "s");
  EXPECT_EQ(gf_pluralS64(1), "");
  EXPECT_EQ(gf_pluralS64(5000000000LL), "s");
  EXPECT_EQ(gf_floatToText(3.0), "3");
  EXPECT_EQ(gf_floatToText(3.25), "3.2");
  EXPECT_EQ(gf_floatToText(-0.5), "-0.5");
  EXPECT_EQ(gf_percent(1, 3), 33);
  EXPECT_EQ(gf_percent(2, 3), 67);
  EXPECT_EQ(gf_percent(5, 0), 0);
  EXPECT_EQ(gf_percent(5, -2), 0);
  EXPECT_EQ(gf_percent(150, 100), 150);
}

TEST(Text, RoundPercentageCoversItsWholeTable) {
  // Each choice with the inclusive range of inputs that round to it.
  struct Band { int from, to, choice; };
  const Band bands[] = {{-1000, 2, 2}, {3, 3, 3},   {4, 4, 4},    {5, 5, 5},   {6, 6, 6},   {7, 8, 8},
                        {9, 10, 10},   {11, 12, 12}, {13, 14, 14}, {15, 16, 16}, {17, 18, 18}, {19, 22, 20},
                        {23, 27, 25},  {28, 32, 30}, {33, 37, 35}, {38, 44, 40}, {45, 56, 50}, {57, 72, 65},
                        {73, 89, 80},  {90, 1000, 100}};
  for (const auto& b : bands)
    for (int v = b.from; v <= b.to; ++v) EXPECT_EQ(gf_roundPercentage(v), b.choice) << "value " << v;
  EXPECT_EQ(gf_roundPercentage(INT32_MIN), 2);
  EXPECT_EQ(gf_roundPercentage(INT32_MAX), 100);
}

TEST(Text, HalfHourBitsets) {
  EXPECT_EQ(gf_bitset2hours(0), "");
  EXPECT_EQ(gf_bitset2hours((1ULL << 0) | (1ULL << 5) | (1ULL << 47)), "0,5,47");
  // Bits above 47 are not half hours and never appear.
  EXPECT_EQ(gf_bitset2hours(1ULL << 48), "");
  EXPECT_EQ(gf_hours2bitset("", "EGLL"), 0u);
  EXPECT_EQ(gf_hours2bitset("0,5,47", "EGLL"), (1ULL << 0) | (1ULL << 5) | (1ULL << 47));
  for (std::uint64_t bits : {0x1ULL, 0xFFFFFFFFFFFFULL, 0x800000000001ULL, 0x123456789ABULL})
    EXPECT_EQ(gf_hours2bitset(gf_bitset2hours(bits), "x"), bits);
}

TEST(Text, InvalidHoursAreLoggedAndSkipped) {
  openTestLog();
  EXPECT_EQ(gf_hours2bitset("1,48,x,-1,2", "stand 12"), (1ULL << 1) | (1ULL << 2));
  EXPECT_TRUE(logHasLine("===> stand 12 invalid hour '48' in 1,48,x,-1,2"));
  EXPECT_TRUE(logHasLine("===> stand 12 invalid hour 'x' in 1,48,x,-1,2"));
  EXPECT_TRUE(logHasLine("===> stand 12 invalid hour '-1' in 1,48,x,-1,2"));
  EXPECT_EQ(logLines().size(), 3u);
}

TEST(Text, NumberParsingIsStrict) {
  std::int64_t i = 7;
  EXPECT_TRUE(gf_parseInt(" -12 ", i));
  EXPECT_EQ(i, -12);
  EXPECT_TRUE(gf_parseInt("+5", i));
  EXPECT_EQ(i, 5);
  EXPECT_FALSE(gf_parseInt("+-5", i));
  EXPECT_FALSE(gf_parseInt("5x", i));
  EXPECT_FALSE(gf_parseInt("", i));
  double d = 0;
  EXPECT_TRUE(gf_parseDouble("1.5e2", d));
  EXPECT_DOUBLE_EQ(d, 150.0);
  EXPECT_FALSE(gf_parseDouble("nan", d));
  EXPECT_FALSE(gf_parseDouble("inf", d));
  EXPECT_FALSE(gf_parseDouble("1,5", d));
}

#include "app/random.h"
#include "app/settings.h"

TEST(Random, IndexFollowsTheRandomSettingAndTheSeed) {
  prm::RANDOM.set(false);
  gf_seedRng(1);
  EXPECT_EQ(gf_randomIndex(10), 0u);
  prm::RANDOM.set(true);
  EXPECT_EQ(gf_randomIndex(0), 0u);
  EXPECT_EQ(gf_randomIndex(1), 0u);
  // The same seed gives the same choices on this thread.
  gf_seedRng(42);
  std::vector<std::size_t> first;
  for (int i = 0; i < 20; ++i) first.push_back(gf_randomIndex(7));
  gf_seedRng(42);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(gf_randomIndex(7), first[i]);
  // Every index of a small range comes up.
  std::vector<int> seen(3, 0);
  for (int i = 0; i < 300; ++i) ++seen[gf_randomIndex(3)];
  for (int count : seen) EXPECT_GT(count, 0);
  prm::RANDOM.set(prm::RANDOM.defaultValue());
}

TEST(Random, RandomizePercentMovesByExactlyThePercentage) {
  EXPECT_EQ(gf_randomizePercent(200.0, 0.0), 200.0);
  EXPECT_EQ(gf_randomizePercent(200.0, -5.0), 200.0);
  bool up = false, down = false;
  for (int i = 0; i < 64; ++i) {
    const double r = gf_randomizePercent(200.0, 2.5);
    EXPECT_TRUE(r == 205.0 || r == 195.0) << r;
    up |= r == 205.0;
    down |= r == 195.0;
  }
  EXPECT_TRUE(up && down);
}

// Text files as they are read for the scans: the character set of the first
// bytes, then each line as UTF-8. A sample that says UTF-8 leaves every valid
// UTF-8 line as it is and reads only a line that is not UTF-8 as ANSI; a
// sample that says ANSI converts the whole file, whatever byte is its only
// high one and wherever it stands.
TEST(Charset, EachLineOfATextFileReadsAsTheCharacterSetItIsIn) {
  const std::string far(1100, '-');  // past the 1027 bytes of the sample
  struct Case {
    std::string bytes;
    int code;
    std::vector<std::string> lines;
  };
  std::vector<Case> cases = {
      {"St\xC3\xA4" "dte\n" + far + "\nAndr\xE9\r\nK\xC3\xB6ln", kCharsetUtf8,
       {"St\xC3\xA4" "dte", far, "Andr\xC3\xA9", "K\xC3\xB6ln"}},
      {far + "\n\xD8resund\n\xC3\x98resund\n", kCharsetUtf8, {far, "\xC3\x98resund", "\xC3\x98resund"}},
      {"\xEF\xBB\xBFSt\xC3\xA4" "dte\n" + far + "\n\xE9t\xE9", kCharsetUtf8Bom,
       {"St\xC3\xA4" "dte", far, "\xC3\xA9t\xC3\xA9"}},
      {"plain\r\n\x80\r\n", kCharsetAnsi, {"plain", "\xE2\x82\xAC"}},
  };
  // The only high byte last, at every place of an 8-byte word.
  for (std::size_t ascii = 0; ascii <= 17; ++ascii)
    cases.push_back({std::string(ascii, 'a') + "\x80", kCharsetAnsi, {std::string(ascii, 'a') + "\xE2\x82\xAC"}});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string name = fmt::format("text{}.txt", i);
    testsupport::writeFile(name, c.bytes);
    EXPECT_EQ(gf_detectCharset(name), c.code) << i;
    std::vector<std::string> lines;
    ASSERT_TRUE(gf_readTextLines(gf_detectCharset(name), name, lines)) << i;
    EXPECT_EQ(lines, c.lines) << i;
  }
}
