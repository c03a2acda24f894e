// One way to read a user's file: every reader refuses a folder, a named pipe,
// a device and an oversized file in place of its file, with a message that
// names the path, and never waits on a pipe.
#include <functional>

#include <fmt/format.h>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "airports/park_file.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/parameters.h"
#include "app/settings.h"
#include "app/xml.h"
#include "support/sparse_file.h"
#include "support/log_reader.h"
#include "support/special_files.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using namespace testsupport;
using ::testing::HasSubstr;

TEST(UserFile, TellsAFileFromEverythingElseThatCanStandInItsPlace) {
  writeFile("ok.txt", "abc");
  writeFile("empty.txt", "");
  writeFile("big.txt", "0123456789A");
  fs::create_directories("folder.xml");
  makeFifo("pipe.xml");
  FifoRescue rescue("pipe.xml");
  struct Case {
    fs::path path;
    FileProblem problem;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"ok.txt", FileProblem::none, ""},
      {"empty.txt", FileProblem::none, ""},
      {"none.xml", FileProblem::missing, "File 'none.xml' not found"},
      {"folder.xml/none.xml", FileProblem::missing, "File 'folder.xml/none.xml' not found"},
      {"ok.txt/none.xml", FileProblem::missing, "File 'ok.txt/none.xml' not found"},
      {"folder.xml", FileProblem::notReadable, "File 'folder.xml' cannot be read: it is a folder"},
      {"pipe.xml", FileProblem::notReadable, "File 'pipe.xml' cannot be read: it is a pipe, not a file"},
      {"/dev/null", FileProblem::notReadable, "File '/dev/null' cannot be read: it is a device, not a file"},
      {"big.txt", FileProblem::corrupt,
       "File 'big.txt' is corrupt: it has 11 bytes, more than the 10 a file of its kind may have"},
  };
  for (const Case& c : cases) {
    std::string content = "old";
    const FileReadResult read = gf_readUserFile(c.path, 10, content);
    EXPECT_EQ(read.problem, c.problem) << c.path;
    EXPECT_EQ(read.message, c.message) << c.path;
    EXPECT_EQ(content, c.path == "ok.txt" ? "abc" : "") << c.path;
  }
  // The text readers go the same way, without waiting on the pipe.
  EXPECT_EQ(gf_detectCharset("pipe.xml"), kCharsetNone);
  EXPECT_TRUE(TextFileLines::read("pipe.xml", 4).empty());
  std::vector<std::string> lines;
  EXPECT_EQ(gf_readTextFile(kCharsetUtf8, "folder.xml", lines).problem, FileProblem::notReadable);
  EXPECT_EQ(gf_readTextFile(kCharsetUtf8, "big.txt", lines, 10).problem, FileProblem::corrupt);
  EXPECT_TRUE(lines.empty());
  // A parse failure of an XML file is "corrupt" as well.
  writeFile("broken.xml", "<a><b></a>");
  pugi::xml_document document;
  const FileReadResult broken = gf_loadXmlFile("broken.xml", 100, document);
  EXPECT_EQ(broken.problem, FileProblem::corrupt);
  EXPECT_THAT(broken.message, HasSubstr("File 'broken.xml' is corrupt: "));
  EXPECT_THAT(broken.detail, HasSubstr(" at offset "));
  EXPECT_FALSE(document.first_child());
}

namespace {

// A reader of one of the program's files, and the error it reports (thrown,
// returned or logged).
struct Reader {
  const char* name;
  fs::path path;
  std::uintmax_t cap;
  std::function<std::string()> read;
};

std::string lf_messageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const qor::UserErrorException& e) {
    return e.message();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}

std::string lf_logText() {
  std::string text;
  for (const std::string& line : logLines()) text += line + "\n";
  return text;
}

std::vector<Reader> lf_readers() {
  return {
      {"parameters.xml", appDataDir() / "Skyloom" / "parameters.xml", kSettingsFileMaxBytes,
       [] {
         gf_resetParametersToDefaults();
         gf_readParameters();
         return lf_logText();
       }},
      {"airport list", "input/airports_msfs.xml", kAirportListMaxBytes,
       [] {
         gf_resetAirportsForTests();
         return lf_messageOf([] { gf_readAirports("airports_msfs.xml"); });
       }},
      {"airport names", "input/airports_msfs_names.xml", kAirportListMaxBytes,
       [] {
         lf_readAirportNames();
         return lf_logText();
       }},
      {"dbase.xml", "input/dbase.xml", kDbaseMaxBytes,
       [] {
         gf_resetDbaseForTests();
         return lf_messageOf([] { gf_readDbase(); });
       }},
      {"park file", "airports/EGLL.xml", kApfMaxFileBytes,
       [] {
         pugi::xml_document document;
         std::string error;
         gf_loadApfDocument("airports/EGLL.xml", document, error);
         return error;
       }},
      {"text file", "input/list.txt", kTextFileMaxBytes,
       [] {
         std::vector<std::string> lines;
         return gf_readTextFile(kCharsetUtf8, "input/list.txt", lines).message;
       }},
  };
}

}  // namespace

TEST(UserFile, EveryReaderRefusesAFolderAPipeAndAnOversizedFileInItsPlace) {
  for (const Reader& reader : lf_readers()) {
    SCOPED_TRACE(reader.name);
    fs::remove_all("input");
    fs::remove_all("airports");
    fs::remove_all(appDataDir() / "Skyloom");

    fs::create_directories(reader.path);
    openTestLog();
    EXPECT_THAT(reader.read(), HasSubstr("it is a folder"));
    EXPECT_TRUE(fs::is_directory(reader.path));  // never moved or replaced
    EXPECT_TRUE(fs::is_empty(reader.path));
    fs::remove(reader.path);

    makeFifo(reader.path);
    {
      FifoRescue rescue(reader.path);
      openTestLog();
      EXPECT_THAT(reader.read(), HasSubstr("it is a pipe, not a file"));
    }
    EXPECT_EQ(fs::status(reader.path).type(), fs::file_type::fifo);
    fs::remove(reader.path);

    writeSparseFile(reader.path, reader.cap + 1);
    openTestLog();
    EXPECT_THAT(reader.read(), HasSubstr(fmt::format("more than the {}", reader.cap)));
  }
  gf_resetParametersToDefaults();
  gf_resetAirportsForTests();
  gf_resetDbaseForTests();
}
