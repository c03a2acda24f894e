#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "app/clock.h"
#include "app/parameters.h"
#include "app/settings.h"
#include "app/version.h"
#include "app/xml.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

pugi::xml_document parametersDoc(const std::string& body) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(("<parameters>" + body + "</parameters>").c_str()));
  return doc;
}

std::string valueDoc(const std::string& value) { return "<parameter name=\"P\" value=\"" + value + "\"/>"; }

// Restores g_simLabel after a test.
class SimLabelGuard {
 public:
  SimLabelGuard() : m_saved(g_simLabel.get()) {}
  ~SimLabelGuard() { g_simLabel.set(m_saved); }

 private:
  std::string m_saved;
};

std::vector<std::pair<std::string, std::string>> metaEntries(const pugi::xml_node& doc) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const pugi::xml_node info : doc.child("meta").children()) {
    EXPECT_STREQ(info.name(), "info");
    EXPECT_STREQ(info.first_attribute().name(), "name");
    EXPECT_STREQ(info.first_attribute().next_attribute().name(), "value");
    entries.emplace_back(info.attribute("name").value(), info.attribute("value").value());
  }
  return entries;
}

}  // namespace

TEST(Xml, BooleanReadingRule) {
  for (const char* yes : {"1", "T", "t", "Y", "y", "true", "True", "yes", "Yes", "10", "tomato"}) {
    const auto doc = parametersDoc(valueDoc(yes));
    EXPECT_TRUE(gf_getParamBool(doc, "P")) << yes;
    EXPECT_TRUE(gf_textToBool(yes)) << yes;
  }
  for (const char* no : {"0", "F", "f", "false", "N", "n", "no", "", " 1", " true", "2", "-1", "on", "x"}) {
    const auto doc = parametersDoc(valueDoc(no));
    EXPECT_FALSE(gf_getParamBool(doc, "P")) << "'" << no << "'";
  }
}

TEST(Xml, FoundFlagIsFalseOnlyWithoutTheElement) {
  const auto doc = parametersDoc("<parameter name=\"NoValue\"/>" + valueDoc("y"));
  bool found = true;
  EXPECT_FALSE(gf_getParamBool(doc, "Missing", found));
  EXPECT_FALSE(found);
  found = true;
  EXPECT_EQ(gf_getParamInt(doc, "Missing", found), 0);
  EXPECT_FALSE(found);
  found = true;
  EXPECT_EQ(gf_getParamString(doc, "Missing", found), "");
  EXPECT_FALSE(found);

  found = false;
  EXPECT_FALSE(gf_getParamBool(doc, "NoValue", found));
  EXPECT_TRUE(found);
  found = false;
  EXPECT_EQ(gf_getParamInt(doc, "NoValue", found), 0);
  EXPECT_TRUE(found);
  found = false;
  EXPECT_EQ(gf_getParamString(doc, "NoValue", found), "");
  EXPECT_TRUE(found);

  found = false;
  EXPECT_TRUE(gf_getParamBool(doc, "P", found));
  EXPECT_TRUE(found);
}

TEST(Xml, ParametersAreFoundOnlyUnderTheRootParameters) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      "<airport><parameters><parameter name=\"A\" value=\"1\"/></parameters></airport>"));
  bool found = true;
  gf_getParamInt(doc, "A", found);
  EXPECT_FALSE(found);

  // Any node of the document will do; the search starts at its root.
  const auto doc2 = parametersDoc("<parameter name=\"A\" value=\"5\"/><parameter name=\"A\" value=\"6\"/>");
  EXPECT_EQ(gf_getParamInt(doc2.child("parameters").first_child(), "A"), 5);  // the first in document order
}

TEST(Xml, NamesAreNeverSplicedIntoTheQuery) {
  const std::vector<std::string> names = {"it's", "say \"hi\"", "a']|//*['", "x]", "both ' and \"", "Zürich"};
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("parameters");
  for (std::size_t i = 0; i < names.size(); ++i) gf_appendParameterNode(root, names[i], std::to_string(i + 1));
  for (std::size_t i = 0; i < names.size(); ++i) {
    bool found = false;
    EXPECT_EQ(gf_getParamInt(doc, names[i], found), static_cast<std::int32_t>(i + 1)) << names[i];
    EXPECT_TRUE(found) << names[i];
  }
  bool found = true;
  gf_getParamString(doc, "a", found);
  EXPECT_FALSE(found);
}

TEST(Xml, IntegerReadingIsClampedToThe32BitRange) {
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"42", 42},
      {"-17", -17},
      {"+5", 5},
      {"007", 7},
      {"12abc", 12},
      {"3.9", 3},
      {" 8", 8},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"0x1F", 0},
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"2147483648", std::numeric_limits<std::int32_t>::max()},
      {"99999999999999999999999999", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-2147483649", std::numeric_limits<std::int32_t>::min()},
      {"-99999999999999999999999999", std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& [text, expected] : cases) {
    const auto doc = parametersDoc(valueDoc(text));
    EXPECT_EQ(gf_getParamInt(doc, "P"), expected) << "'" << text << "'";
  }
}

TEST(Xml, StringsAreReturnedExactly) {
  const auto doc = parametersDoc(valueDoc(" C:\\AI &amp; &lt;more&gt; Zürich "));
  EXPECT_EQ(gf_getParamString(doc, "P"), " C:\\AI & <more> Zürich ");
}

TEST(Xml, AppendParameterNodeWritesNameThenValue) {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("parameters");
  const pugi::xml_node node = gf_appendParameterNode(root, "KEY", "v");
  ASSERT_TRUE(node);
  EXPECT_STREQ(node.name(), "parameter");
  EXPECT_STREQ(node.first_attribute().name(), "name");
  EXPECT_STREQ(node.first_attribute().value(), "KEY");
  EXPECT_STREQ(node.last_attribute().name(), "value");
  EXPECT_STREQ(node.last_attribute().value(), "v");
  EXPECT_EQ(gf_xmlText(doc), "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"KEY\" value=\"v\" />\n</parameters>\n");
  EXPECT_FALSE(gf_appendParameterNode(pugi::xml_node(), "K", "v"));
}

TEST(Xml, SetBoolAttributeAppendsTrueOrFalse) {
  pugi::xml_document doc;
  pugi::xml_node node = doc.append_child("parkpos");
  node.append_attribute("id") = "A1";
  EXPECT_TRUE(lf_setBoolAttribute(node, "cargo", true));
  EXPECT_TRUE(lf_setBoolAttribute(node, "heli", false));
  EXPECT_EQ(gf_xmlText(doc), "<?xml version=\"1.0\"?>\n<parkpos id=\"A1\" cargo=\"true\" heli=\"false\" />\n");
}

TEST(Xml, MetaBlockEntriesInOrder) {
  SimLabelGuard guard;
  gf_setFixedClock(1796628946);  // Mon Dec 07 07:35:46 2026 UTC
  g_simLabel.set("MSFS");
  pugi::xml_document doc;
  EXPECT_NE(gf_writeMetaInfo(doc), 0);
  EXPECT_STREQ(doc.first_child().name(), "meta");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"author", "Skyloom"},
      {"version", gf_programVersion().text()},
      {"date", "2026-12-07"},
      {"copyright", std::string(kCopyrightLine)},
      {"MSFS", "2020"},
  };
  EXPECT_EQ(metaEntries(doc), expected);
}

TEST(Xml, MetaSimulatorEntryRule) {
  SimLabelGuard guard;
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"MSFS", "MSFS", "2020"},    {"MSFS2024", "MSFS", "2024"}, {"P3D", "P3D", "v5/v6"},
      {"msfs", "MSFS", "2024"},    {"", "MSFS", "2024"},         {"MSFS ", "MSFS", "2024"},
      {"p3d", "MSFS", "2024"},
  };
  for (const auto& [label, name, value] : cases) {
    g_simLabel.set(label);
    pugi::xml_document doc;
    ASSERT_NE(gf_writeMetaInfo(doc), 0);
    const auto entries = metaEntries(doc);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries.back(), std::make_pair(name, value)) << "label '" << label << "'";
  }
}

TEST(Xml, MetaInfoRoundTripThroughAFile) {
  SimLabelGuard guard;
  gf_setFixedClock(1767225600);  // 2026-01-01 00:00:00 UTC
  g_simLabel.set("MSFS2024");
  pugi::xml_document doc;
  ASSERT_NE(gf_writeMetaInfo(doc), 0);
  doc.append_child("liveries");
  ASSERT_TRUE(gf_saveXml(doc, workDir() / "meta.xml"));

  pugi::xml_document back;
  ASSERT_TRUE(back.load_file((workDir() / "meta.xml").c_str()));
  prm::author.set("old");
  prm::date.set("old");
  prm::version.set("old");
  EXPECT_TRUE(gf_readMetaInfo(back, prm::author));
  EXPECT_TRUE(gf_readMetaInfo(back, prm::date));
  EXPECT_TRUE(gf_readMetaInfo(back, prm::version));
  EXPECT_EQ(prm::author.value(), "Skyloom");
  EXPECT_EQ(prm::date.value(), "2026-01-01");
  EXPECT_EQ(prm::version.value(), gf_programVersion().text());

  // An absent entry empties the setting.
  StringParameter missing{"publisher", "x", false};
  missing.set("something");
  EXPECT_FALSE(gf_readMetaInfo(back, missing));
  EXPECT_EQ(missing.value(), "");
  pugi::xml_document empty;
  EXPECT_FALSE(gf_readMetaInfo(empty, prm::author));
  EXPECT_EQ(prm::author.value(), "");
  prm::author.resetToDefault();
  prm::date.resetToDefault();
  prm::version.resetToDefault();
}

TEST(Xml, SaveXmlIsAtomicAndLogged) {
  openTestLog();
  const fs::path folder = workDir() / "out";
  fs::create_directories(folder);
  const fs::path target = folder / "LiveriesScanned.xml";
  pugi::xml_document doc;
  doc.append_child("liveries").append_attribute("n") = 1;
  ASSERT_TRUE(gf_saveXml(doc, target));
  doc.child("liveries").attribute("n") = 2;
  ASSERT_TRUE(gf_saveXml(doc, target));
  EXPECT_EQ(readFile(target), "<?xml version=\"1.0\"?>\n<liveries n=\"2\" />\n");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"LiveriesScanned.xml"});
  EXPECT_TRUE(logHasLine("'" + target.string() + "' saved"));
}

TEST(Xml, FailedSaveXmlIsLoggedNotThrown) {
  openTestLog();
  const fs::path target = workDir() / "no such folder" / "x.xml";
  pugi::xml_document doc;
  doc.append_child("x");
  bool ok = true;
  EXPECT_NO_THROW(ok = gf_saveXml(doc, target));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(logHasLine("===> could not save to '" + target.string() + "'"));
  EXPECT_FALSE(fs::exists(workDir() / "no such folder"));

  // A good file is not touched when the new one cannot be written: a folder
  // in the way of the temporary file's rename target.
  const fs::path blocked = workDir() / "blocked.xml";
  fs::create_directories(blocked / "inside");
  EXPECT_FALSE(gf_saveXml(doc, blocked));
  EXPECT_TRUE(fs::is_directory(blocked / "inside"));
  for (const auto& entry : fs::directory_iterator(workDir()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}
