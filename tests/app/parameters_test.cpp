#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "app/parameters.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/xml.h"
#include "ui/status_line.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

fs::path userFolder() { return appDataDir() / "Skyloom"; }
fs::path parametersFile() { return userFolder() / "parameters.xml"; }

// A parameters.xml with one element per (name, value).
std::string parametersXml(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string xml = "<?xml version=\"1.0\"?>\n<parameters>\n";
  for (const auto& [name, value] : entries) xml += "  <parameter name=\"" + name + "\" value=\"" + value + "\" />\n";
  return xml + "</parameters>\n";
}

// Every stored setting with its current value, as the program writes them.
std::vector<std::pair<std::string, std::string>> allStoredEntries() {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const Parameter* p : gf_allParameters())
    if (p->stored()) entries.emplace_back(p->name(), p->valueText());
  return entries;
}

pugi::xml_document loadFile(const fs::path& path) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(path.c_str())) << path;
  return doc;
}

// The value stored in the file for a key; "<missing>" when there is no element.
std::string storedValue(const std::string& key) {
  const pugi::xml_document doc = loadFile(parametersFile());
  bool found = false;
  std::string value = gf_getParamString(doc, key, found);
  return found ? value : "<missing>";
}

int countElements(const std::string& key) {
  const pugi::xml_document doc = loadFile(parametersFile());
  int n = 0;
  for (const pugi::xml_node node : doc.child("parameters").children("parameter"))
    if (key == node.attribute("name").value()) ++n;
  return n;
}

std::vector<std::string> folderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Parameters : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetParametersToDefaults();
    g_stopRun = false;
  }
  void TearDown() override { gf_resetParametersToDefaults(); }
};

}  // namespace

TEST_F(Parameters, TableHoldsEveryKeyOnceWithItsOwnName) {
  const auto& all = gf_allParameters();
  std::set<std::string> names;
  for (const Parameter* p : all) EXPECT_TRUE(names.insert(p->name()).second) << "duplicate " << p->name();
  const std::vector<std::string> keys = {
      "AIRP_HEIGHT", "AIRP_RANGE", "AI_PACKAGE_SELECTOR", "ALL_INSTALL_PATH", "ALWAYS_ON_TOP", "AR_ABOVE_HEIGHT",
      "AUTO_RANGE", "BLOCK_CALLSIGN", "CALLSIGN_2_OBJECTID", "CALLSIGN_OBJECTIDS", "COLLISION_LIVE_PARKED_GND",
      "COLLISION_USER_AIR", "COLLISION_USER_GND", "CUSTOM_PARKING_PERCENTAGE", "DESTINATION", "GUID_CHANGES",
      "HALVARD", "HELICOPTERS", "HIGH_PERF_AIRCRAFT", "INITIAL_LOAD_ONLY", "LEARN_SOFT", "LIGHT_AIRCRAFT",
      "LIG_AUTOMATIC", "LIG_PRIORITIZE", "LOG", "MAIN_WINDOW_X", "MAIN_WINDOW_Y", "MATCHING_DEPTH", "MAX_FIT",
      "MAX_FIT_FL", "MAX_LIVE_SEL", "MAX_PARK_SEL", "MSFS_2024_INSTALL_PATH", "MSFS_INSTALL_PATH",
      "MYSIMADDON24_VERSION", "NAV_LIGHTS_WHILE_PARKED", "PARK_FAKE", "PARK_SOFT", "PORT_NUMBER", "RANDOM", "RANGE",
      "SCAN_AIRPORTS", "SCAN_LIVERIES", "SIM_CHOICE", "STRAIGHT_PBS_ONLY", "SUPPRESS_STUB", "WEEK", "lfolder0",
      "lfolder1", "lfolder2", "lfolder3", "lfolder4", "lfolder5", "lfolder6", "lfolder7", "lfolder8", "lfolder9",
      "parking_percentage", "author", "date", "version"};
  EXPECT_EQ(all.size(), keys.size());
  for (const std::string& key : keys) EXPECT_NE(gf_findParameter(key), nullptr) << key;
  EXPECT_EQ(gf_findParameter("LATERAL_RANGE"), nullptr);
  EXPECT_EQ(gf_findParameter("MAX_LIVE"), nullptr);
  EXPECT_EQ(gf_findParameter("RANDOM"), &prm::RANDOM);
  EXPECT_EQ(prm::lfolder7.name(), "lfolder7");
}

TEST_F(Parameters, MissingFileGivesDefaultsAndIsWritten) {
  ASSERT_FALSE(fs::exists(parametersFile()));
  openTestLog();
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_EQ(prm::PORT_NUMBER.value(), "10747");
  ASSERT_TRUE(fs::exists(parametersFile()));

  const pugi::xml_document doc = loadFile(parametersFile());
  const pugi::xml_node root = doc.document_element();
  EXPECT_STREQ(root.name(), "parameters");
  std::size_t elements = 0;
  for (const pugi::xml_node node : root.children()) {
    ++elements;
    EXPECT_STREQ(node.name(), "parameter");
    // Attributes "name" then "value", nothing else.
    EXPECT_STREQ(node.first_attribute().name(), "name");
    EXPECT_STREQ(node.first_attribute().next_attribute().name(), "value");
    EXPECT_FALSE(node.first_attribute().next_attribute().next_attribute());
  }
  EXPECT_EQ(elements, allStoredEntries().size());
  EXPECT_EQ(storedValue("SUPPRESS_STUB"), "true");
  EXPECT_EQ(storedValue("LOG"), "false");
  EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "400");
  EXPECT_EQ(storedValue("PORT_NUMBER"), "10747");
  EXPECT_EQ(storedValue("lfolder0"), "");
  for (const char* key : {"parking_percentage", "MAX_FIT_FL", "author", "date", "version"})
    EXPECT_EQ(storedValue(key), "<missing>") << key;
  EXPECT_EQ(folderEntries(userFolder()), std::vector<std::string>{"parameters.xml"});
}

TEST_F(Parameters, StoredValuesAreReadAndAnUnchangedFileIsNotRewritten) {
  auto entries = allStoredEntries();
  for (auto& [name, value] : entries) {
    if (name == "RANGE") value = "10";
    if (name == "LOG") value = "Yes";
    if (name == "SUPPRESS_STUB") value = "0";
    if (name == "lfolder3") value = "C:\\AI &amp; more\\Zürich";
    if (name == "MAX_FIT") value = "14";
  }
  const std::string text = "<!-- written by hand -->\n" + parametersXml(entries);
  writeFile(parametersFile(), text);
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 10);
  EXPECT_TRUE(prm::LOG.value());
  EXPECT_FALSE(prm::SUPPRESS_STUB.value());
  EXPECT_EQ(prm::lfolder3.value(), "C:\\AI & more\\Zürich");
  EXPECT_EQ(prm::MAX_FIT.value(), 14);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 7.5);
  EXPECT_EQ(readFile(parametersFile()), text);  // nothing missing or clamped: untouched
}

TEST_F(Parameters, MissingRootGivesAFreshDocument) {
  // An empty file has no root at all: a fresh document, nothing to keep.
  writeFile(parametersFile(), "<?xml version=\"1.0\"?>\n");
  EXPECT_TRUE(gf_readParameters());
  EXPECT_STREQ(loadFile(parametersFile()).document_element().name(), "parameters");
  EXPECT_EQ(storedValue("RANGE"), "40");
  EXPECT_FALSE(fs::exists(userFolder() / "parameters.xml.bad"));

  // Another root: its content is not ours to read, but it is kept aside.
  gf_resetParametersToDefaults();
  const std::string other = "<settings><parameter name=\"RANGE\" value=\"10\"/></settings>";
  writeFile(parametersFile(), other);
  openTestLog();
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_STREQ(loadFile(parametersFile()).document_element().name(), "parameters");
  EXPECT_EQ(storedValue("RANGE"), "40");
  EXPECT_EQ(readFile(userFolder() / "parameters.xml.bad"), other);
  EXPECT_TRUE(logContains("its root element is 'settings', not 'parameters'"));
}

TEST_F(Parameters, MissingKeyTakesItsDefaultAndIsWrittenBack) {
  auto entries = allStoredEntries();
  std::erase_if(entries, [](const auto& e) { return e.first == "MAX_LIVE_SEL" || e.first == "SUPPRESS_STUB"; });
  for (auto& [name, value] : entries)
    if (name == "RANGE") value = "10";
  writeFile(parametersFile(), parametersXml(entries));
  prm::MAX_LIVE_SEL.set(100);
  prm::SUPPRESS_STUB.set(false);

  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::MAX_LIVE_SEL.value(), 500);
  EXPECT_TRUE(prm::SUPPRESS_STUB.value());
  EXPECT_EQ(prm::RANGE.value(), 10);
  EXPECT_EQ(storedValue("MAX_LIVE_SEL"), "500");
  EXPECT_EQ(storedValue("SUPPRESS_STUB"), "true");
  EXPECT_EQ(storedValue("RANGE"), "10");  // present values stay as they were
  EXPECT_EQ(countElements("MAX_LIVE_SEL"), 1);
  EXPECT_EQ(folderEntries(userFolder()), std::vector<std::string>{"parameters.xml"});
}

TEST_F(Parameters, OutOfRangeValuesAreClampedAndWrittenBack) {
  auto entries = allStoredEntries();
  for (auto& [name, value] : entries) {
    if (name == "MAX_FIT") value = "99";
    if (name == "RANGE") value = "1";
    if (name == "MAIN_WINDOW_X") value = "-40000";
    if (name == "MAIN_WINDOW_Y") value = "99999999999";  // beyond 32 bits as well
    if (name == "AIRP_RANGE") value = "25";
  }
  writeFile(parametersFile(), parametersXml(entries));
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::MAX_FIT.value(), 47);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 24.0);
  EXPECT_EQ(prm::RANGE.value(), 2);
  EXPECT_EQ(prm::MAIN_WINDOW_X.value(), -30000);
  EXPECT_EQ(prm::MAIN_WINDOW_Y.value(), 30000);
  EXPECT_EQ(prm::AIRP_RANGE.value(), 25);
  EXPECT_EQ(storedValue("MAX_FIT"), "47");
  EXPECT_EQ(storedValue("RANGE"), "2");
  EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "-30000");
  EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "30000");
  EXPECT_EQ(storedValue("AIRP_RANGE"), "25");
}

TEST_F(Parameters, MalformedFileIsKeptAsideReplacedByDefaultsAndShown) {
  // A hand edit that left out an attribute's closing quote.
  const std::string broken = "<parameters><parameter name=\"RANGE value=\"10\"/></parameters>";
  writeFile(parametersFile(), broken);
  gf_clearError();
  openTestLog();
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_EQ(readFile(userFolder() / "parameters.xml.bad"), broken);
  EXPECT_EQ(storedValue("RANGE"), "40");
  const std::string where = parametersFile().string();
  EXPECT_TRUE(logContains("===> The settings file '" + where + "' could not be used: "));
  EXPECT_EQ(gf_statusSnapshot().error,
            "The settings file '" + where + "' could not be read; it is kept as '" + where + ".bad', the defaults are used");
  gf_clearError();
}

// A save after parameters.xml was edited by hand while the program runs
// works on the file as it is now: a click, the close (a stop pending), the
// window position; an edit that breaks the file is kept aside first.
TEST_F(Parameters, ASaveAfterAnEditOnDiskKeepsTheEdit) {
  const std::string where = parametersFile().string();
  struct Case {
    const char* what;
    bool stopping;
    std::function<void()> save;
    std::vector<std::pair<std::string, std::string>> stored;  // after the save
  };
  const std::vector<Case> cases = {
      {"a click", false, [] { prm::RANGE.setAndSave(20); }, {{"RANGE", "20"}}},
      {"the close", true,
       [] {
         prm::DESTINATION.setAndSave("");
         prm::BLOCK_CALLSIGN.setAndSave("");
       },
       {{"DESTINATION", ""}, {"BLOCK_CALLSIGN", ""}, {"RANGE", "10"}}},
      {"the window position", false, [] { prm::MAIN_WINDOW_X.setAndSave(123); }, {{"MAIN_WINDOW_X", "123"}}},
  };
  for (const Case& c : cases) {
    for (const bool breaks : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (breaks ? ", broken" : ""));
      gf_resetParametersToDefaults();
      gf_clearError();
      fs::remove_all(userFolder());
      auto entries = allStoredEntries();
      for (auto& [name, value] : entries) {
        if (name == "RANGE") value = "10";
        if (name == "DESTINATION") value = "EDDF";
      }
      writeFile(parametersFile(), parametersXml(entries));
      ASSERT_TRUE(gf_readParameters());
      prm::DESTINATION.set("KJFK");
      // The user's edit of settings only the file holds.
      for (auto& [name, value] : entries) {
        if (name == "lfolder0") value = "D:\\liveries";
        if (name == "PORT_NUMBER") value = "10800";
        if (name == "MSFS_INSTALL_PATH") value = "E:\\Community";
      }
      std::string edited = parametersXml(entries);
      if (breaks) edited.replace(edited.find("\"PORT_NUMBER\""), 13, "\"PORT_NUMBER");
      writeFile(parametersFile(), edited);
      openTestLog();
      g_stopRun = c.stopping;
      c.save();
      g_stopRun = false;
      for (const auto& [name, value] : c.stored) EXPECT_EQ(storedValue(name), value) << name;
      if (!breaks) {
        EXPECT_EQ(storedValue("lfolder0"), "D:\\liveries");
        EXPECT_EQ(storedValue("PORT_NUMBER"), "10800");
        EXPECT_EQ(storedValue("MSFS_INSTALL_PATH"), "E:\\Community");
        EXPECT_FALSE(fs::exists(userFolder() / "parameters.xml.bad"));
        EXPECT_EQ(gf_statusSnapshot().error, "");
        // The program's own write is no edit: the next save does not read the file again.
        EXPECT_TRUE(logContains("changed on disk"));
        openTestLog();
        c.save();
        EXPECT_FALSE(logContains("changed on disk"));
        continue;
      }
      // The broken file is kept aside, named on the error line (in the log
      // while a stop is pending), and the settings in use are written.
      EXPECT_EQ(readFile(userFolder() / "parameters.xml.bad"), edited);
      EXPECT_EQ(storedValue("PORT_NUMBER"), "10747");
      const std::string line =
          "The settings file '" + where + "' could not be read; it is kept as '" + where +
          ".bad', the settings in use are saved";
      EXPECT_EQ(gf_statusSnapshot().error, c.stopping ? "" : line);
      EXPECT_TRUE(logContains(line));
    }
  }
  gf_clearError();
}

TEST_F(Parameters, ReadValueOfEachKind) {
  pugi::xml_document doc;
  doc.load_string(parametersXml({{"I", "12"}, {"B", "t"}, {"S", "text"}, {"F", "7.25"}, {"Fbad", "7,25"},
                                 {"Iclamp", "-3"}})
                      .c_str());
  IntParameter i{"I", 5, 0, 20};
  IntParameter iMissing{"Imissing", 5, 0, 20};
  IntParameter iClamp{"Iclamp", 5, 0, 20};
  BoolParameter b{"B", false};
  BoolParameter bMissing{"Bmissing", true};
  StringParameter s{"S", "default"};
  StringParameter sMissing{"Smissing", "default"};
  FloatParameter f{"F", 1.0, 0.5, 24.0};
  FloatParameter fBad{"Fbad", 1.0, 0.5, 24.0};
  iMissing.set(9);
  EXPECT_TRUE(i.readValue(doc));
  EXPECT_EQ(i.value(), 12);
  EXPECT_FALSE(iMissing.readValue(doc));
  EXPECT_EQ(iMissing.value(), 5);
  EXPECT_FALSE(iClamp.readValue(doc));
  EXPECT_EQ(iClamp.value(), 0);
  EXPECT_TRUE(b.readValue(doc));
  EXPECT_TRUE(b.value());
  EXPECT_FALSE(bMissing.readValue(doc));
  EXPECT_TRUE(bMissing.value());
  EXPECT_TRUE(s.readValue(doc));
  EXPECT_EQ(s.value(), "text");
  EXPECT_FALSE(sMissing.readValue(doc));
  EXPECT_EQ(sMissing.value(), "default");
  EXPECT_TRUE(f.readValue(doc));
  EXPECT_DOUBLE_EQ(f.value(), 7.25);
  EXPECT_FALSE(fBad.readValue(doc));  // the decimal point is always "."
  EXPECT_DOUBLE_EQ(fBad.value(), 1.0);
}

TEST_F(Parameters, SetClampsAndSetWithoutClampingDoesNot) {
  prm::MAX_FIT.set(60);
  EXPECT_EQ(prm::MAX_FIT.value(), 47);
  prm::MAX_LIVE_SEL.setWithoutClamping(-1);  // "no maximum" from a learned file
  EXPECT_EQ(prm::MAX_LIVE_SEL.value(), -1);
  prm::MAX_FIT_FL.set(30.0);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 24.0);
  prm::MAX_FIT_FL.set(std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 24.0);
}

TEST_F(Parameters, SaveUpdatesTheOneElementOrAppendsIt) {
  ASSERT_TRUE(gf_readParameters());
  prm::RANGE.setAndSave(25);
  prm::RANGE.setAndSave(30);
  EXPECT_EQ(storedValue("RANGE"), "30");
  EXPECT_EQ(countElements("RANGE"), 1);
  prm::ALWAYS_ON_TOP.setAndSave(true);
  EXPECT_EQ(storedValue("ALWAYS_ON_TOP"), "true");
  prm::ALWAYS_ON_TOP.setAndSave(false);
  EXPECT_EQ(storedValue("ALWAYS_ON_TOP"), "false");
  prm::DESTINATION.setAndSave("EDDF \"<&>'");
  EXPECT_EQ(storedValue("DESTINATION"), "EDDF \"<&>'");

  // A key that the file does not have yet is appended, name before value.
  IntParameter extra{"it's [a] \"key\"", 3, 0, 10};
  extra.setAndSave(7);
  EXPECT_EQ(storedValue("it's [a] \"key\""), "7");
  const pugi::xml_document doc = loadFile(parametersFile());
  const pugi::xml_node last = doc.child("parameters").last_child();
  EXPECT_STREQ(last.first_attribute().name(), "name");
  EXPECT_STREQ(last.first_attribute().next_attribute().name(), "value");

  // The next read takes the saved values.
  gf_resetParametersToDefaults();
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 30);
  EXPECT_EQ(prm::DESTINATION.value(), "EDDF \"<&>'");
}

TEST_F(Parameters, SaveBeforeAnyReadKeepsTheOtherValuesOfTheFile) {
  auto entries = allStoredEntries();
  for (auto& [name, value] : entries)
    if (name == "MAIN_WINDOW_Y") value = "123";
  writeFile(parametersFile(), parametersXml(entries));
  prm::MAIN_WINDOW_X.setAndSave(777);
  EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "777");
  EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "123");
}

TEST_F(Parameters, SettingsThatAreNotStoredAreNeverWritten) {
  ASSERT_TRUE(gf_readParameters());
  prm::parking_percentage.setAndSave(55);
  prm::author.setAndSave("someone");
  prm::MAX_FIT_FL.setAndSave(7.5);
  EXPECT_EQ(prm::parking_percentage.value(), 55);
  EXPECT_EQ(storedValue("parking_percentage"), "<missing>");
  EXPECT_EQ(storedValue("author"), "<missing>");
  EXPECT_EQ(storedValue("MAX_FIT_FL"), "<missing>");
  // And a value of them in the file is not read either.
  auto entries = allStoredEntries();
  entries.emplace_back("parking_percentage", "80");
  writeFile(parametersFile(), parametersXml(entries));
  gf_resetParametersToDefaults();
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::parking_percentage.value(), 30);
}

TEST_F(Parameters, FailedSaveIsLoggedAndTheValueStaysInMemory) {
  // A file where the folder "Skyloom" should be: the folder cannot be made,
  // whatever the permissions (the tests run as root).
  writeFile(userFolder(), "not a folder");
  openTestLog();
  EXPECT_NO_THROW(prm::RANGE.setAndSave(25));
  EXPECT_EQ(prm::RANGE.value(), 25);
  EXPECT_NO_THROW(prm::LOG.setAndSave(true));
  EXPECT_TRUE(prm::LOG.value());
  EXPECT_NO_THROW(prm::lfolder1.setAndSave("D:\\liveries"));
  EXPECT_EQ(prm::lfolder1.value(), "D:\\liveries");
  // One line for each failed save, the one of the error line.
  const std::vector<std::string> lines = logLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Error Saving '" + parametersFile().string() + "' failed"), 3);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("Saving '") != l.npos; }),
            3);
  EXPECT_TRUE(logHasLine("          RANGE                   : 25"));
  EXPECT_EQ(readFile(userFolder()), "not a folder");

  // A read then keeps the defaults and says the write-back failed.
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 40);
}

TEST_F(Parameters, FailedSaveIsNotLoggedWhileAStopIsPending) {
  writeFile(userFolder(), "not a folder");
  openTestLog();
  g_stopRun = true;
  prm::RANGE.setAndSave(25);
  g_stopRun = false;
  EXPECT_FALSE(logContains("Saving '"));
  EXPECT_EQ(prm::RANGE.value(), 25);
}

TEST_F(Parameters, AtomicReplacementLeavesNoTemporaryFiles) {
  ASSERT_TRUE(gf_readParameters());
  for (int i = 0; i < 20; ++i) prm::MAX_PARK_SEL.setAndSave(10 + i);
  EXPECT_EQ(folderEntries(userFolder()), std::vector<std::string>{"parameters.xml"});
  EXPECT_EQ(storedValue("MAX_PARK_SEL"), "29");
}

TEST_F(Parameters, ConcurrentSavesAllReachTheFile) {
  ASSERT_TRUE(gf_readParameters());
  std::vector<std::thread> threads;
  threads.emplace_back([] { for (int i = 0; i <= 30; ++i) prm::AIRP_RANGE.setAndSave(i); });
  threads.emplace_back([] { for (int i = 0; i < 30; ++i) prm::WEEK.setAndSave(i % 2 == 0); });
  threads.emplace_back([] { for (int i = 0; i < 30; ++i) prm::BLOCK_CALLSIGN.setAndSave("CS" + std::to_string(i)); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(storedValue("AIRP_RANGE"), "30");
  EXPECT_EQ(storedValue("WEEK"), "false");
  EXPECT_EQ(storedValue("BLOCK_CALLSIGN"), "CS29");
  EXPECT_EQ(countElements("AIRP_RANGE"), 1);
  EXPECT_EQ(folderEntries(userFolder()), std::vector<std::string>{"parameters.xml"});
}

TEST_F(Parameters, LogParametersWritesEveryKeyAndValue) {
  prm::DESTINATION.set("KJFK");
  openTestLog();
  gf_logParameters();
  const auto lines = logLines();
  EXPECT_EQ(lines.size(), gf_allParameters().size());
  EXPECT_TRUE(logHasLine("          SUPPRESS_STUB           : true"));
  EXPECT_TRUE(logHasLine("          MAIN_WINDOW_X           : 400"));
  EXPECT_TRUE(logHasLine("          DESTINATION             : 'KJFK'"));
  EXPECT_TRUE(logHasLine("          MAX_FIT_FL              : 24"));
}

TEST_F(Parameters, TheWindowPositionReaderClampsAFileReadDirectly) {
  // The window reads the two position settings from a document of its own.
  pugi::xml_document doc;
  doc.load_string(parametersXml({{"MAIN_WINDOW_X", "-30001"}, {"MAIN_WINDOW_Y", "55"}}).c_str());
  EXPECT_FALSE(prm::MAIN_WINDOW_X.readValue(doc));
  EXPECT_EQ(prm::MAIN_WINDOW_X.value(), -30000);
  EXPECT_TRUE(prm::MAIN_WINDOW_Y.readValue(doc));
  EXPECT_EQ(prm::MAIN_WINDOW_Y.value(), 55);
}

TEST_F(Parameters, NonNumericValuesTakeTheDefaultWithALogLine) {
  auto entries = allStoredEntries();
  for (auto& [name, value] : entries) {
    if (name == "RANGE") value = "abc";
    if (name == "MAX_FIT") value = "";
    if (name == "AIRP_RANGE") value = " 12km";  // leading digits still read, as the XML library does
  }
  writeFile(parametersFile(), parametersXml(entries));
  openTestLog();
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), prm::RANGE.defaultValue());  // not its minimum
  EXPECT_EQ(prm::MAX_FIT.value(), prm::MAX_FIT.defaultValue());
  EXPECT_EQ(prm::AIRP_RANGE.value(), 12);
  EXPECT_TRUE(logContains("===> Setting RANGE: 'abc' is not a number, the default 40 is used"));
  EXPECT_TRUE(logContains("===> Setting MAX_FIT: '' is not a number, the default 47 is used"));
  EXPECT_EQ(storedValue("RANGE"), "40");
}

TEST_F(Parameters, JunkIsKeptAsideAndOnlySettingEntriesAreCarriedIntoSaves) {
  // Random bytes without any element are kept aside like a broken file.
  const std::string junk = "\x9c\x01 RANGE=10 \xff\xfe garbage";
  writeFile(parametersFile(), junk);
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(readFile(userFolder() / "parameters.xml.bad"), junk);
  EXPECT_EQ(storedValue("RANGE"), "40");

  // Deep nesting and foreign elements beside the settings: the settings are
  // read, and a save writes the setting entries only.
  gf_resetParametersToDefaults();
  std::string nested;
  for (int i = 0; i < 20000; ++i) nested += "<x>";
  for (int i = 0; i < 20000; ++i) nested += "</x>";
  auto entries = allStoredEntries();
  for (auto& [name, value] : entries)
    if (name == "RANGE") value = "10";
  std::string text = parametersXml(entries);
  text.insert(text.find("<parameters>") + 12,
              nested + "<parameter name=\"UNKNOWN\" value=\"1\"/><parameter name=\"LOG\" value=\"true\">" + nested +
                  "</parameter>");
  writeFile(parametersFile(), text);
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(prm::RANGE.value(), 10);
  EXPECT_TRUE(prm::LOG.value());  // the first element of a key counts
  prm::RANGE.setAndSave(20);
  const pugi::xml_document doc = loadFile(parametersFile());
  std::size_t elements = 0;
  for (const pugi::xml_node node : doc.child("parameters").children()) {
    ++elements;
    EXPECT_STREQ(node.name(), "parameter");
    EXPECT_FALSE(node.first_child());
  }
  EXPECT_EQ(elements, allStoredEntries().size() + 1);
  EXPECT_EQ(storedValue("RANGE"), "20");
  EXPECT_EQ(storedValue("LOG"), "true");
  EXPECT_EQ(storedValue("UNKNOWN"), "1");
}

TEST_F(Parameters, ContentThatCannotBeASettingIsKeptAsideOnceBeforeTheFirstSaveDropsIt) {
  const fs::path aside = userFolder() / "parameters.xml.bad";
  const std::string foreign = "<window x=\"1\"/>";
  // Every setting and a foreign element; nothing needs writing back at the
  // read, so the first save is a setting the user changes. Then the same
  // with a setting missing, which the read itself writes back.
  for (const bool complete : {true, false}) {
    SCOPED_TRACE(complete);
    gf_resetParametersToDefaults();
    std::error_code ec;
    fs::remove(aside, ec);
    auto entries = allStoredEntries();
    if (!complete) entries.pop_back();
    std::string original = parametersXml(entries);
    original.insert(original.find("</parameters>"), foreign);
    writeFile(parametersFile(), original);
    openTestLog();
    EXPECT_TRUE(gf_readParameters());
    EXPECT_EQ(fs::exists(aside), !complete);
    prm::RANGE.setAndSave(20);
    EXPECT_EQ(readFile(aside), original);
    EXPECT_EQ(readFile(parametersFile()).find("window"), std::string::npos);
    EXPECT_TRUE(logContains("The settings file '" + parametersFile().string() + "' is kept as '" + aside.string() +
                            "' before its content that cannot be a setting is dropped"));
    // Kept once: later saves leave the copy alone.
    fs::remove(aside);
    prm::RANGE.setAndSave(30);
    EXPECT_FALSE(fs::exists(aside));
  }

  // A file with only settings is never copied.
  gf_resetParametersToDefaults();
  writeFile(parametersFile(), parametersXml(allStoredEntries()));
  EXPECT_TRUE(gf_readParameters());
  prm::RANGE.setAndSave(20);
  EXPECT_FALSE(fs::exists(aside));
}

TEST_F(Parameters, MarkupOutsideTheSettingsIsKeptAsideBeforeTheFirstSaveDropsIt) {
  const fs::path aside = userFolder() / "parameters.xml.bad";
  const std::string settings = "<parameters><parameter name=\"RANGE\" value=\"10\"/></parameters>\n";
  // The whole file; whether it is kept aside at the first save.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + settings, false},
      {"<!-- written by hand -->\n" + settings, true},
      {settings + "<!-- after the settings -->\n", true},
      {"<!DOCTYPE parameters [\n<!ENTITY mine \"value\">\n<!-- note -->\n]>\n" + settings, true},
      {"<?editor layout=\"wide\"?>\n" + settings, true},
      {"<parameters><?editor keep?><parameter name=\"RANGE\" value=\"10\"/></parameters>", true},
      {"<?xml version=\"1.0\"?>\n<!-- only a note, no settings yet -->\n", true},
  };
  for (const auto& [file, keptAside] : cases) {
    SCOPED_TRACE(file);
    gf_resetParametersToDefaults();
    fs::remove_all(userFolder());
    writeFile(parametersFile(), file);
    gf_readParameters();
    prm::LOG.setAndSave(true);
    EXPECT_EQ(storedValue("LOG"), "true");
    EXPECT_EQ(fs::exists(aside) ? readFile(aside) : "<none>", keptAside ? file : "<none>");
  }
}

TEST_F(Parameters, WhenEveryNameForACopyIsTakenTheOldestGivesWayAndAFileNoCopyCanBeMadeOfStays) {
  const fs::path aside = userFolder() / "parameters.xml.bad";
  const auto copyName = [&aside](int n) { return n == 1 ? aside : fs::path(aside.string() + std::to_string(n)); };
  // The copy that gives way: ".bad500", written longest ago.
  constexpr int kOldest = 500;
  struct Case {
    const char* what;
    std::string file;
    bool copiesAreFolders;  // no name can take a copy at all
  };
  std::string withComment = parametersXml({{"RANGE", "10"}});
  withComment.insert(withComment.find("</parameters>"), "<!-- mine -->");
  const std::vector<Case> cases = {
      {"a comment that the save drops", withComment, false},
      {"a file that cannot be read", "<parameters><parameter", false},
      {"a file that cannot be read, no copy possible", "<parameters><parameter", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetParametersToDefaults();
    gf_clearError();
    fs::remove_all(userFolder());
    writeFile(parametersFile(), c.file);
    const auto now = fs::file_time_type::clock::now();
    for (int n = 1; n < 1000; ++n) {
      if (c.copiesAreFolders) {
        fs::create_directories(copyName(n));
        continue;
      }
      writeFile(copyName(n), "earlier");
      fs::last_write_time(copyName(n), now - std::chrono::hours(n == kOldest ? 5000 : n));
    }
    openTestLog();
    gf_readParameters();
    prm::LOG.setAndSave(true);
    if (c.copiesAreFolders) {
      // Never replaced by defaults without a copy; a save it keeps from
      // writing shows why again.
      EXPECT_EQ(readFile(parametersFile()), c.file);
      EXPECT_EQ(gf_statusSnapshot().error, "The settings file '" + parametersFile().string() +
                                               "' could not be read; no name for a copy is free and it is left "
                                               "untouched, the settings in use are not saved");
      continue;
    }
    EXPECT_EQ(readFile(copyName(kOldest)), c.file);
    EXPECT_EQ(readFile(copyName(1)), "earlier");
    EXPECT_EQ(readFile(copyName(999)), "earlier");
    EXPECT_EQ(storedValue("LOG"), "true");
    // A file that cannot be read is shown with the name of its copy.
    const std::string shown = "The settings file '" + parametersFile().string() + "' could not be read; it is kept as '" +
                              copyName(kOldest).string() + "', the defaults are used";
    EXPECT_EQ(gf_statusSnapshot().error, c.file == withComment ? "" : shown);
    EXPECT_TRUE(logContains("the oldest copy, '" + copyName(kOldest).string() + "', gives way"));
  }
  gf_clearError();
}

TEST_F(Parameters, EntriesOfUnknownSettingsStayAndCopiesKeptAsideAreNeverReplaced) {
  // What a save keeps of each file beside the settings, and whether the file
  // is first kept aside for what it drops.
  struct Case {
    const char* what;
    std::string extra;  // inserted before </parameters>
    std::vector<std::pair<std::string, std::string>> stored;  // after the save
    bool keptAside;
  };
  const std::vector<Case> cases = {
      {"a setting of another version", R"(<parameter name="OLD_SETTING" value="keepme"/>)",
       {{"OLD_SETTING", "keepme"}, {"RANGE", "20"}}, false},
      {"one without a value", R"(<parameter name="OLD_FLAG"/>)", {{"OLD_FLAG", ""}}, false},
      {"a foreign attribute", R"(<parameter name="OLD" value="1" unit="nm"/>)", {{"OLD", "1"}}, true},
      {"nested content", R"(<parameter name="OLD" value="1"><x/></parameter>)", {{"OLD", "1"}}, true},
      {"a repeated name", R"(<parameter name="OLD" value="1"/><parameter name="OLD" value="2"/>)", {{"OLD", "1"}},
       true},
      {"a foreign element", R"(<window x="1"/>)", {{"window", "<missing>"}}, true},
      {"text", "loose words", {{"RANGE", "20"}}, true},
      {"a comment", "<!-- mine -->", {{"RANGE", "20"}}, true},
  };
  const fs::path aside = userFolder() / "parameters.xml.bad";
  std::vector<std::string> asideCopies;  // of every case so far, in order
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetParametersToDefaults();
    std::string original = parametersXml(allStoredEntries());
    original.insert(original.find("</parameters>"), c.extra);
    writeFile(parametersFile(), original);
    EXPECT_TRUE(gf_readParameters());
    prm::RANGE.setAndSave(20);
    for (const auto& [name, value] : c.stored) EXPECT_EQ(storedValue(name), value) << name;
    if (c.keptAside) asideCopies.push_back(original);
    for (std::size_t i = 0; i < asideCopies.size(); ++i)
      EXPECT_EQ(readFile(i == 0 ? aside : fs::path(aside.string() + std::to_string(i + 1))), asideCopies[i]) << i;
    EXPECT_FALSE(fs::exists(aside.string() + std::to_string(asideCopies.size() + 1)));
  }

  // A file that cannot be read goes aside under the next free name too.
  gf_resetParametersToDefaults();
  writeFile(parametersFile(), "<parameters><parameter");
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(readFile(aside.string() + std::to_string(asideCopies.size() + 1)), "<parameters><parameter");
  EXPECT_EQ(readFile(aside), asideCopies.front());
}

// A copy that holds the settings file is one with the same bytes: an earlier
// copy of the same size with other bytes does not hold it.
TEST_F(Parameters, AnEarlierCopyHoldsTheSettingsFileOnlyWithTheSameBytes) {
  const fs::path aside = userFolder() / "parameters.xml.bad";
  std::string file = parametersXml({{"RANGE", "10"}});
  file.insert(file.find("</parameters>"), "<!-- mine -->");
  std::string sameSize = file;
  sameSize[sameSize.find("mine")] = 'h';
  for (const auto& [earlier, copiedAgain] : {std::pair{file, false}, std::pair{sameSize, true}}) {
    SCOPED_TRACE(copiedAgain);
    gf_resetParametersToDefaults();
    fs::remove_all(userFolder());
    writeFile(parametersFile(), file);
    writeFile(aside, earlier);
    gf_readParameters();
    prm::LOG.setAndSave(true);
    EXPECT_EQ(readFile(aside), earlier);
    EXPECT_EQ(fs::exists(aside.string() + "2") ? readFile(aside.string() + "2") : "<none>",
              copiedAgain ? file : "<none>");
    EXPECT_EQ(storedValue("LOG"), "true");
  }
}
