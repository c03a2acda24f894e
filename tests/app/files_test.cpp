#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <future>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/entry.h"
#include "app/errors.h"
#include "app/file_stamp.h"
#include "app/files.h"
#include "app/parameters.h"
#include "app/settings.h"
#include "app/utf.h"
#include "app/version.h"
#include "platform/win32/kernel.h"
#include "support/log_reader.h"
#include "support/unreadable.h"
#include "support/workdir.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// "Zürich ÄÖ €" on two lines, in the encodings a text file can have.
const std::string kUtf8Text = "Z\xC3\xBCrich \xC3\x84\xC3\x96 \xE2\x82\xAC\r\nline 2\n";

std::string utf16Bytes(const std::string& utf8, bool little, bool bom) {
  std::u16string w = win32::utf8ToUtf16(utf8);
  if (bom) w.insert(w.begin(), u'\xFEFF');
  std::string out;
  for (char16_t c : w) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out.push_back(little ? lo : hi);
    out.push_back(little ? hi : lo);
  }
  return out;
}

// While it lives, no file of the process grows past `bytes`: a write beyond
// fails as it does on a full disk (the signal such a write raises is ignored
// meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, m_old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = SIG_DFL;
};

}  // namespace

TEST(Charset, DetectsEveryEncodingAndReadsTheSameLines) {
  struct Case { const char* name; std::string bytes; int code; };
  const std::vector<Case> cases = {
      {"ansi.cfg", "Z\xFCrich \xC4\xD6 \x80\r\nline 2\n", kCharsetAnsi},
      {"le.cfg", utf16Bytes(kUtf8Text, true, true), kCharsetUtf16Le},
      {"be.cfg", utf16Bytes(kUtf8Text, false, true), kCharsetUtf16Be},
      {"le-nobom.cfg", utf16Bytes(kUtf8Text, true, false), kCharsetUtf16Le},
      {"bom.cfg", "\xEF\xBB\xBF" + kUtf8Text, kCharsetUtf8Bom},
      {"utf8.cfg", kUtf8Text, kCharsetUtf8},
  };
  for (const auto& c : cases) {
    writeFile(c.name, c.bytes);
    EXPECT_EQ(gf_detectCharset(c.name), c.code) << c.name;
    std::vector<std::string> lines{"kept"};
    ASSERT_TRUE(gf_readTextLines(c.code, c.name, lines)) << c.name;
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "Z\xC3\xBCrich \xC3\x84\xC3\x96 \xE2\x82\xAC", "line 2"}))
        << c.name;
  }
}

// UTF-16 is decoded as the system's converter decodes it without the strict
// flag: pairs joined, an unpaired surrogate as U+FFFD, a leading byte-order
// mark dropped, an odd last byte ignored; ANSI text that is plain ASCII
// stays as it is.
TEST(Charset, Utf16EdgeCasesDecodeAsTheSystemConverterDoes) {
  const std::u16string texts[] = {u"", u"\xFEFF", u"\xFEFF" u"a\xFEFF", u"A\xD83D\xDE00" u"B", u"\xD83D", u"x\xDE00y",
                                  u"\xD83Dz\xD83D", u"\x7F\x80\x7FF\x800\xFFFF"};
  for (const std::u16string& text : texts) {
    std::u16string body = text;
    if (!body.empty() && body.front() == 0xFEFF) body.erase(0, 1);
    std::string expected(body.size() * 4, '\0');
    expected.resize(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, body.data(), static_cast<int>(body.size()),
                                                                     expected.data(), static_cast<int>(expected.size()),
                                                                     nullptr, nullptr)));
    for (const bool little : {true, false}) {
      std::string bytes;
      for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        bytes += little ? std::string{lo, hi} : std::string{hi, lo};
      }
      const int code = little ? kCharsetUtf16Le : kCharsetUtf16Be;
      EXPECT_EQ(gf_textToUtf8(code, bytes), expected) << little;
      EXPECT_EQ(gf_textToUtf8(code, bytes + "\x41"), expected) << "odd byte " << little;
    }
  }
  EXPECT_EQ(gf_textToUtf8(kCharsetAnsi, "plain [fltsim.0]\r\n"), "plain [fltsim.0]\r\n");
  EXPECT_EQ(gf_textToUtf8(kCharsetAnsi, "12345678Z\xFCrich"), "12345678Z\xC3\xBCrich");
}

TEST(Charset, PlainAsciiEmptyMissingAndBinaryFiles) {
  writeFile("ascii.cfg", "[fltsim.0]\ntitle=A\n");
  EXPECT_EQ(gf_detectCharset("ascii.cfg"), kCharsetUtf8);
  writeFile("empty.cfg", "");
  EXPECT_EQ(gf_detectCharset("empty.cfg"), kCharsetNone);
  EXPECT_EQ(gf_detectCharset("missing.cfg"), kCharsetNone);
  writeFile("binary.bgl", std::string("\x01\x02\x00\x00\x00\x10\x00\x00\xFF\x00", 10));
  EXPECT_EQ(gf_detectCharset("binary.bgl"), kCharsetNone);
  // Only the first 1027 bytes decide: a late non-UTF-8 byte does not count.
  writeFile("late.cfg", std::string(1027, 'a') + "\xFC");
  EXPECT_EQ(gf_detectCharset("late.cfg"), kCharsetUtf8);
  // A multi-byte character cut by the end of the sample is still UTF-8.
  writeFile("cut.cfg", std::string(1026, 'a') + "\xC3\xBC");
  EXPECT_EQ(gf_detectCharset("cut.cfg"), kCharsetUtf8);
}

TEST(Charset, UnknownCodeThrowsAndMissingFileFails) {
  writeFile("a.cfg", "x\n");
  try {
    std::vector<std::string> lines;
    gf_readTextLines(5, "a.cfg", lines);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "file a.cfg has unknown charset: 5");
  }
  std::vector<std::string> lines;
  EXPECT_FALSE(gf_readTextLines(kCharsetUtf8, "nothing.cfg", lines));
  EXPECT_TRUE(lines.empty());
}

TEST(Charset, OddUtf16BytesAndLoneSurrogatesDoNotFailTheFile) {
  std::string bytes = utf16Bytes("ab", true, true);
  bytes += std::string("\x00\xD8", 2);  // a high surrogate with nothing after it
  bytes += "z";                          // and half a code unit
  writeFile("odd.cfg", bytes);
  std::vector<std::string> lines;
  ASSERT_TRUE(gf_readTextLines(kCharsetUtf16Le, "odd.cfg", lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"ab\xEF\xBF\xBD"}));
}

TEST(Files, WritersReplaceWholeFilesAtomically) {
  ASSERT_TRUE(gf_writeLines("out.txt", {"a", "b"}));
  EXPECT_EQ(readFile("out.txt"), "a\nb\n");
  ASSERT_TRUE(gf_writeLineList("out.txt", {"c"}));
  EXPECT_EQ(readFile("out.txt"), "c\n");
  ASSERT_TRUE(gf_writeTextFile("out.txt", "d", false));
  EXPECT_EQ(readFile("out.txt"), "d");
  ASSERT_TRUE(gf_writeTextFile("out.txt", "e", true));
  EXPECT_EQ(readFile("out.txt"), "e\n");
  // A target that cannot be written (its folder is missing) fails cleanly.
  EXPECT_FALSE(gf_writeLines("no/such/folder/out.txt", {"x"}));
  // A target that is a folder cannot be replaced: the folder stays, nothing is left beside it.
  std::filesystem::create_directories("taken/inner");
  EXPECT_FALSE(gf_writeTextFile("taken", "x", true));
  EXPECT_TRUE(std::filesystem::is_directory("taken/inner"));
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(workDir()))
    if (e.path().filename().string().find(".tmp") != std::string::npos) ++entries;
  EXPECT_EQ(entries, 0);
  EXPECT_EQ(TextFileLines::read("out.txt", 4), (std::vector<std::string>{"e"}));
  EXPECT_TRUE(TextFileLines::read("missing.txt", 4).empty());
}

TEST(Files, ASaveThatCannotBeWrittenWholeNeverReplacesTheGoodFile) {
  // The writers of user files, each writing more than the disk takes.
  const std::string big(64 * 1024, 'x');
  const fs::path settings = gf_parametersPath();
  const struct {
    const char* what;
    fs::path target;
    std::string good;
    std::function<bool()> save;
  } cases[] = {
      {"whole text", "whole.txt", "good", [&] { return gf_replaceFileAtomically("whole.txt", big); }},
      {"in pieces", "pieces.txt", "good",
       [&] {
         AtomicFileWriter writer("pieces.txt");
         for (int i = 0; i < 4; ++i) writer.write(big);
         return writer.commit();
       }},
      {"a setting", settings, "<parameters><parameter name=\"RANGE\" value=\"10\"/></parameters>", [] {
         prm::lfolder1.setAndSave(std::string(64 * 1024, 'y'));
         return false;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(c.target, c.good);
    gf_forgetParametersDocument();
    bool saved = true;
    {
      const FileSizeLimit diskFull(8 * 1024);
      saved = c.save();
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(c.target), c.good);
    for (const auto& entry : fs::directory_iterator(c.target.parent_path().empty() ? "." : c.target.parent_path()))
      EXPECT_FALSE(gf_isOurTemporaryFileName(entry.path().filename().string())) << entry.path();
  }
  gf_forgetParametersDocument();
}

// A settings file with a comment whose rewrite keeps failing (here the disk
// takes the small copy but not the whole settings): its copy is kept once,
// not again at every start.
TEST(Files, ASettingsFileThatCannotBeReplacedIsCopiedAsideOnceOverManyStarts) {
  const fs::path settings = gf_parametersPath();
  const std::string file = "<parameters><!-- mine --><parameter name=\"RANGE\" value=\"10\"/></parameters>";
  writeFile(settings, file);
  for (int start = 0; start < 3; ++start) {
    gf_forgetParametersDocument();
    const FileSizeLimit diskFull(1024);
    EXPECT_FALSE(gf_readParameters());
  }
  gf_forgetParametersDocument();
  EXPECT_EQ(readFile(settings), file);
  EXPECT_EQ(readFile(settings.string() + ".bad"), file);
  EXPECT_FALSE(fs::exists(settings.string() + ".bad2"));
}

TEST(Files, TheEndOfTheProgramFinishesOrRemovesTheSavesInProgress) {
  // A save on another thread that is half written when the program ends;
  // it goes on when `go` is set. The program's end gives up one that does
  // not finish within its wait.
  const struct {
    bool finishes;
    bool programEnd;  // through the whole end of the program
  } cases[] = {{true, false}, {false, false}, {false, true}};
  for (const auto& [finishes, programEnd] : cases) {
    SCOPED_TRACE(fmt::format("finishes {}, program end {}", finishes, programEnd));
    writeFile("saved.xml", "old");
    std::promise<void> started;
    std::promise<void> go;
    bool committed = true;
    std::thread saver([&] {
      AtomicFileWriter writer("saved.xml");
      writer.write("<half");
      started.set_value();
      go.get_future().wait();
      writer.write(" whole/>");
      committed = writer.commit();
    });
    started.get_future().wait();
    openTestLog();
    if (finishes) go.set_value();  // the end waits for it
    if (programEnd) {
      gf_endProgram(nullptr);
    } else {
      EXPECT_EQ(gf_endSavesInProgress(finishes ? std::chrono::seconds(30) : std::chrono::milliseconds(1)),
                finishes ? 0u : 1u);
    }
    std::size_t temporaryFiles = 0;
    for (const auto& entry : fs::directory_iterator("."))
      if (gf_isOurTemporaryFileName(entry.path().filename().string())) ++temporaryFiles;
    EXPECT_EQ(temporaryFiles, 0u);
    if (!finishes) go.set_value();
    saver.join();
    EXPECT_EQ(committed, finishes);
    EXPECT_EQ(readFile("saved.xml"), finishes ? "<half whole/>" : "old");
    EXPECT_EQ(logContains("A save had not finished at the end: its temporary file 'saved.xml.tmp-skyloom-"),
              !finishes);
  }

  // A temporary file that cannot be removed (on Windows one that its save
  // still holds open) is not reported as removed; the save removes it itself.
  fs::create_directory("locked");
  openTestLog();
  {
    AtomicFileWriter writer("locked/saved.xml");
    writer.write("<half");
    {
      Unreadable locked({"locked"});
      if (!locked.holds()) GTEST_SKIP() << "this system removes files without permissions";
      EXPECT_EQ(gf_endSavesInProgress(std::chrono::milliseconds(0)), 1u);
    }
    EXPECT_FALSE(writer.commit());
  }
  EXPECT_TRUE(logContains("A save had not finished at the end: its temporary file 'locked/saved.xml.tmp-skyloom-"));
  EXPECT_TRUE(logContains("' could not be removed: Permission denied"));
  EXPECT_FALSE(logContains("' is removed"));
  EXPECT_TRUE(fs::is_empty("locked"));
}

TEST(Files, FoldersAndAppData) {
  ASSERT_TRUE(gf_initFolders());
  EXPECT_TRUE(std::filesystem::is_directory("output/info"));
  EXPECT_TRUE(std::filesystem::is_directory("output/errors"));
  EXPECT_EQ(g_liveriesScannedPath, std::filesystem::path("output") / "LiveriesScanned.xml");

  EXPECT_EQ(gf_getAppDataPath(), appDataDir());
  EXPECT_EQ(gf_getLocalAppDataPath(), workDir() / "localappdata");
  EXPECT_EQ(gf_userDataFolder(), appDataDir() / "Skyloom");
  EXPECT_TRUE(std::filesystem::is_directory(appDataDir() / "Skyloom"));

  writeFile("airports/my_thirdparty/EGLL.xml", "<x/>");
  writeFile("airports/my_thirdparty/KJFK.XML", "<x/>");
  writeFile("airports/my_thirdparty/readme.txt", "");
  std::filesystem::create_directories("airports/my_thirdparty/sub.xml.d");
  std::vector<std::string> names{"first"};
  gf_listXmlFiles(names);
  EXPECT_EQ(names, (std::vector<std::string>{"first", "EGLL", "KJFK"}));

  EXPECT_EQ(gf_countSubfolders("airports/my_thirdparty"), 4u);
  EXPECT_EQ(gf_countSubfolders("nowhere"), 0u);
  gf_clearFolder("airports/my_thirdparty");
  EXPECT_EQ(gf_countSubfolders("airports/my_thirdparty"), 0u);
  EXPECT_TRUE(std::filesystem::is_directory("airports/my_thirdparty"));
}

TEST(Files, MissingAppDataIsLogged) {
  openTestLog();
  const char* saved = std::getenv("HOME");
  const std::string home = saved ? saved : "";
  unsetenv("APPDATA");
  unsetenv("HOME");
  EXPECT_TRUE(gf_getAppDataPath().empty());
  setenv("HOME", home.c_str(), 1);
  EXPECT_TRUE(logHasLine("===> Could not find the AppData path"));
}

TEST(Files, ClearingAFileInsteadOfAFolderIsAUserError) {
  writeFile("plain.txt", "x");
  try {
    gf_clearFolder("plain.txt");
    FAIL() << "no exception";
  } catch (const qor::UserErrorException& e) {
    EXPECT_EQ(e.code(), 5);
  }
}

TEST(Errors, UserErrorTextAndVersions) {
  EXPECT_STREQ(qor::UserErrorException(88, "Missing <airports> root in: x").what(),
               "88: Missing <airports> root in: x");
  EXPECT_STREQ(qor::UserErrorException(99, "plain").what(), "plain");
  EXPECT_EQ(VersionData::parse("1.22.3")->text(), "1.22.3");
  EXPECT_LT(*VersionData::parse("1.9.9"), *VersionData::parse("1.10.0"));
  for (const char* bad : {"1.2", "1.2.3.4", "a.b.c", "1..3", "1.2.3 ", "-1.2.3", ""})
    EXPECT_FALSE(VersionData::parse(bad).has_value()) << bad;
}

TEST(Utf, ConversionsRoundTripAndRejectInvalidText) {
  const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x9B\xAB";  // with a plane outside the BMP
  const std::u16string wide = win32::utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 11u);  // the plane takes a surrogate pair
  EXPECT_EQ(win32::utf16ToUtf8(wide), text);
  EXPECT_EQ(win32::utf8ToUtf16(""), u"");
  for (const std::string bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF"}) {
    try {
      win32::utf8ToUtf16(bad);
      ADD_FAILURE() << "accepted invalid UTF-8";
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_EQ(e.errorCode(), ERROR_NO_UNICODE_TRANSLATION);
    }
  }
  EXPECT_THROW(win32::utf16ToUtf8(std::u16string(1, u'\xDC00')), win32::Utf8ConversionException);
  EXPECT_EQ(win32::ansiToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");
}

TEST(Win32Kernel, NamedMutexAdmitsOneHolder) {
  setenv("TMPDIR", (workDir() / "tmp").c_str(), 1);
  HANDLE first = CreateMutexW(nullptr, FALSE, u"Local\\$Skyloom$");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateMutexW(nullptr, FALSE, u"Local\\$Skyloom$");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(second);
  CloseHandle(first);
  HANDLE third = CreateMutexW(nullptr, FALSE, u"Local\\$Skyloom$");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(third);
  unsetenv("TMPDIR");
}

TEST(Files, EntriesAreFoundInAnyLetterCaseAndNamesFromOutsideStayOneComponent) {
  std::filesystem::create_directories("pkg/Community");
  writeFile("pkg/Official2024", "a file");
  EXPECT_EQ(gf_findEntryIgnoringCase("pkg", "Community"), std::filesystem::path("pkg/Community"));
  EXPECT_EQ(gf_findEntryIgnoringCase("pkg", "COMMUNITY"), std::filesystem::path("pkg/Community"));
  EXPECT_EQ(gf_findEntryIgnoringCase("pkg", "official2024"), std::filesystem::path("pkg/Official2024"));
  EXPECT_FALSE(gf_findEntryIgnoringCase("pkg", "Official").has_value());
  EXPECT_FALSE(gf_findEntryIgnoringCase("nowhere", "Community").has_value());
  EXPECT_FALSE(gf_findEntryIgnoringCase("pkg/Official2024", "x").has_value());  // a file in the way
  EXPECT_FALSE(gf_findEntryIgnoringCase("pkg", std::string(300, 'a')).has_value());

  EXPECT_TRUE(gf_isPlainPathComponent("EGLL"));
  EXPECT_TRUE(gf_isPlainPathComponent("Just Flight \xC3\xA9"));
  EXPECT_TRUE(gf_isPlainPathComponent("COM10"));
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "C:", "a*", "a?", "a|b", "a\"b", "<a>", "a\tb", "COM1", "lpt9.xml",
                          "Nul", "aux .txt", "CON"})
    EXPECT_FALSE(gf_isPlainPathComponent(bad)) << bad;
}

TEST(Files, StaleTemporaryFilesOfInterruptedSavesAreRemovedAtStart) {
  gf_initFolders();
  const std::vector<std::pair<fs::path, bool>> files = {
      {"output/LiveriesScanned.xml.tmp-skyloom-1a2b3c-4", true},
      {"output/info/AirportsScanLog.txt.tmp-skyloom-1-0", true},
      {"airports/learned/simaddon/EGLL.xml.tmp-skyloom-ff-2", true},
      {"airports/learned/stock/LSZH.xml.tmp-skyloom-ff-3", true},
      {"airports/learned/thirdparty/Just Flight/EGKK.xml.tmp-skyloom-ff-4", true},
      {"EDDF.xml.0a1b2c3d00002a.download", true},  // an offline-learning check's download
      {appDataDir() / "Skyloom" / "parameters.xml.tmp-skyloom-abc-0", true},
      {"airports/learned/thirdparty/Just Flight/EGKK.xml", false},
      {"airports/learned/stock/notes.download", false},
      {"airports/learned/a/b/c/EGLL.xml.tmp-skyloom-1-5", false},  // deeper than learned files lie
      {"output/LiveriesScanned.xml", false},
      {"output/notes.tmp", false},
      {"output/plan.tmp-1", false},
      {"output/a.tmpzz-1", false},
      {"docs/manual.xml.tmp-skyloom-1-1", false},  // not a folder the program writes into
  };
  for (const auto& [path, stale] : files) writeFile(path, "x");
  // A link to a folder that is not the program's is not followed.
  writeFile("elsewhere/EGLL.xml.tmp-skyloom-1-6", "x");
  fs::create_directory_symlink(fs::absolute("elsewhere"), "airports/learned/thirdparty/linked");
  openTestLog();
  EXPECT_EQ(gf_removeStaleTemporaryFiles(), 7u);
  EXPECT_TRUE(fs::exists("elsewhere/EGLL.xml.tmp-skyloom-1-6"));
  for (const auto& [path, stale] : files) EXPECT_EQ(fs::exists(path), !stale) << path;
  EXPECT_TRUE(logContains("Removed the temporary file 'output/LiveriesScanned.xml.tmp-skyloom-1a2b3c-4'"));
}

TEST(Files, TheStartUpSweepRemovesOnlyTheExactFormsOfTheProgramsTemporaryFiles) {
  gf_initFolders();
  // The name a real save gives its temporary file, as a kill leaves it.
  std::string saveTemporary;
  {
    AtomicFileWriter writer(g_outputInfoFolder / "AirlineModelConversions.txt");
    ASSERT_TRUE(writer.write("partial"));
    for (const auto& entry : fs::directory_iterator(g_outputInfoFolder))
      saveTemporary = entry.path().filename().string();
  }
  ASSERT_FALSE(saveTemporary.empty());
  const std::vector<std::pair<fs::path, bool>> files = {
      {g_outputInfoFolder / saveTemporary, true},
      {"EDDF.xml.0a1b2c3d00002a.download", true},
      {"airports/my_thirdparty.scan/EGLL.xml.tmp-skyloom-1a-3", true},  // a killed airport scan's
      {"airports/my_simaddon.scan/LFPG.txt.tmp-skyloom-1a-4", true},
      // A user's files whose names merely look like those forms.
      {"notes_0123456789abcd.download", false},
      {"notes.0123456789ABCD.download", false},
      {"airports/my_thirdparty/EGLL.xml.0a1b2c3d00002a.download", false},  // no download goes there
      {"airports/my_thirdparty/plan.tmp-skyloom-draft.xml", false},
      {"airports/my_thirdparty/EGLL.xml.tmp-skyloom-1a-2.bak", false},
      {"output/notes.tmp-skyloom-1234567-1", false},
      {"output/notes.tmp-skyloom-1a-", false},
      {"output/.tmp-skyloom-1a-2", false},
      {"output/photo.tmp1-2", false},
      {"airports/learned/stock/a.tmpdead-2024", false},
      {appDataDir() / "Skyloom" / "parameters.xml.tmp9f3e21-12", false},
  };
  for (const auto& [path, stale] : files) writeFile(path, "x");
  EXPECT_EQ(gf_removeStaleTemporaryFiles(), 4u);
  for (const auto& [path, stale] : files) EXPECT_EQ(fs::exists(path), !stale) << path;
}

TEST(Files, ALineOfAFileWhoseSampleLooksUtf8IsReadAsAnsiUnlessTheLineIsUtf8) {
  const std::string ascii(1100, 'a');
  for (const auto& [tail, expected] : std::vector<std::pair<std::string, std::string>>{
           {"\xC3\x98", "\xC3\x98"},                  // UTF-8 throughout
           {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // four bytes
           {"\xD8", "\xC3\x98"},                      // Windows-1252 letters
           {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
           {"\xC3", "\xC3\x83"},                      // a sequence cut at the end
           {"\xC0\xAF", "\xC3\x80\xC2\xAF"},          // an overlong form
           {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate
       }) {
    const std::string text = ascii + tail;
    ASSERT_EQ(gf_charsetOfSample(text), kCharsetUtf8);
    EXPECT_EQ(gf_textToUtf8(kCharsetUtf8, text), ascii + expected) << tail;
  }
}

// Copies kept aside: two files are the same only when every byte is (the
// sizes alone say nothing, and a difference may lie past the first block);
// a copy is found by its bytes; when every name is taken, only a plain file
// gives way, never a folder or a link.
TEST(Files, CopiesKeptAsideAreComparedByTheirBytesAndOnlyPlainFilesGiveWay) {
  const std::string content(70000, 'a');
  std::string late = content;
  late.back() = 'b';
  std::string early = content;
  early.front() = 'b';
  writeFile("user.xml", content);
  for (const auto& [other, same] : {std::pair{content, true}, std::pair{late, false}, std::pair{early, false},
                                    std::pair{content + "a", false}}) {
    SCOPED_TRACE(same);
    writeFile("other.xml", other);
    EXPECT_EQ(gf_sameFileBytes("user.xml", "other.xml"), same);
  }
  // The same size with other bytes is not a copy: the one that holds them is.
  writeFile("user.xml.user", late);
  writeFile("user.xml.user2", early);
  EXPECT_EQ(gf_asideCopyOf("user.xml", ".user"), "");
  EXPECT_EQ(gf_asideCopyHolding("user.xml", ".user", content), "");
  writeFile("user.xml.user3", content);
  EXPECT_EQ(gf_asideCopyOf("user.xml", ".user"), "user.xml.user3");
  EXPECT_EQ(gf_asideCopyHolding("user.xml", ".user", content), "user.xml.user3");
  EXPECT_EQ(gf_asideCopyHolding("user.xml", ".user", late), "user.xml.user");
  EXPECT_EQ(gf_freeAsidePath("user.xml", ".user"), "user.xml.user4");

  // Every name taken: the oldest two are a folder and a link to an old file,
  // which never give way; the oldest plain file does. Without plain files no
  // name can be used.
  const auto name = [](int n) { return fs::path(n == 1 ? "s.xml.bad" : "s.xml.bad" + std::to_string(n)); };
  const auto now = fs::file_time_type::clock::now();
  writeFile("outside.xml", "x");
  fs::last_write_time("outside.xml", now - std::chrono::hours(9000));
  for (const bool plainFiles : {true, false}) {
    SCOPED_TRACE(plainFiles);
    for (int n = 1; n < 1000; ++n) {
      fs::remove_all(name(n));
      if (n == 8 || n == 9) {
        fs::create_symlink(fs::absolute("outside.xml"), name(n));
      } else if (n == 7 || !plainFiles) {
        fs::create_directory(name(n));
        fs::last_write_time(name(n), now - std::chrono::hours(8000));
      } else {
        writeFile(name(n), "earlier");
        fs::last_write_time(name(n), now - std::chrono::hours(n == 500 ? 5000 : n));
      }
    }
    EXPECT_EQ(gf_freeAsidePath("s.xml", ".bad"), plainFiles ? name(500) : fs::path());
  }
}

// A file's stamp is that of its bytes, read in blocks: the same as the stamp
// of the bytes in memory at and around a block's end; a folder is there but
// unreadable, a missing file is not there.
TEST(Files, AFilesStampIsThatOfItsBytesAcrossBlocks) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                 std::size_t{65537}, std::size_t{3 * 65536 + 5}}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 % 251);
    writeFile("stamped", bytes);
    EXPECT_EQ(gf_fileStamp("stamped"), gf_bytesStamp(bytes));
    if (size > 0) {
      bytes.back() ^= 1;  // one bit of the last block
      EXPECT_NE(gf_fileStamp("stamped"), gf_bytesStamp(bytes));
    }
  }
  fs::create_directory("folder");
  const FileStamp folder = gf_fileStamp("folder");
  EXPECT_TRUE(folder.present);
  EXPECT_FALSE(folder.readable);
  EXPECT_EQ(gf_fileStamp("missing"), FileStamp{});
  EXPECT_NE(gf_fileStamp("folder"), gf_bytesStamp(""));
}
