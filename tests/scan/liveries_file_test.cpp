#include "scan/liveries_file.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "app/clock.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/xml.h"
#include "support/livery_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"

namespace fs = std::filesystem;
using testsupport::livery;

namespace {

class LiveriesFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetParametersToDefaults();
    g_simLabel.set("MSFS");
    gf_setFixedClock(1718000000);  // 2024-06-10
    g_scannedLiveries.clear();
    testsupport::openTestLog();
  }
  void TearDown() override {
    g_scannedLiveries.clear();
    g_simLabel.set("MSFS");
  }

  static std::string fileText() { return testsupport::readFile(g_liveriesScannedPath); }

  static void writeFile(const std::string& body) {
    testsupport::writeFile(g_liveriesScannedPath, "<?xml version=\"1.0\"?>\n" + body);
  }

  // The user error of reading the file as it stands.
  static qor::UserErrorException readError() {
    try {
      lf_readLiveriesXml();
    } catch (const qor::UserErrorException& e) {
      return e;
    }
    ADD_FAILURE() << "no user error";
    return qor::UserErrorException(0, "");
  }
};

// A list large enough to be written in slices by helper tasks comes out
// whole and in order, across every slice border, with any number of helpers.
TEST_F(LiveriesFileTest, ALargeListIsWrittenWholeAndInOrderBySeveralHelpers) {
  constexpr std::size_t kCount = 140000;  // above the size that the run thread writes alone
  const std::int32_t tasksBefore = g_maxTasks;
  for (const int helpers : {1, 8}) {
    SCOPED_TRACE(helpers);
    LiveryList list;
    list.reserve(kCount);
    for (std::size_t i = 0; i < kCount; ++i)
      list.push_back(livery("BAW", "A320", "T" + std::to_string(1000000 + i), i % 3 ? "G-X" : "", i % 7 == 0));
    g_scannedLiveries = std::move(list);
    g_maxTasks = helpers;
    ASSERT_TRUE(lf_writeLiveriesScanned());
    const std::string text = fileText();
    std::size_t count = 0;
    for (std::size_t at = text.find("<liv "); at != std::string::npos; at = text.find("<liv ", at + 1)) {
      const std::size_t title = text.find("title=\"", at) + 7;
      ASSERT_EQ(text.compare(title, 8, "T" + std::to_string(1000000 + count)), 0) << count;
      const std::size_t end = text.find('\n', at);
      ASSERT_EQ(text.substr(at, end - at).find("cargo=") != std::string::npos, count % 7 == 0) << count;
      ASSERT_EQ(text.substr(at, end - at).find("atcid=\"G-X\"") != std::string::npos, count % 3 != 0) << count;
      ++count;
    }
    EXPECT_EQ(count, kCount);
  }
  g_maxTasks = tasksBefore;
}

TEST_F(LiveriesFileTest, RoundTripGivesTheSortedListWithRankZero) {
  const LiveryList written{
      livery("BAW", "B772", "British Airways 777 G-VIIA", "G-VIIA", false, 3),
      livery("AAL", "B738", "American 737", "", false, 1),
      livery("FDX", "B763", "FedEx 767", "N101FE", true, 10),
      livery("AAL", "A321", "American A321 \"Astrojet\" & <friends>", "N101NN", false, 2),
  };
  g_scannedLiveries = written;
  lf_writeLiveriesScanned();
  EXPECT_TRUE(testsupport::logHasLine("4 liveries in " + g_liveriesScannedPath.string()));

  g_scannedLiveries.clear();
  lf_readLiveriesXml();
  ASSERT_EQ(g_scannedLiveries.size(), 4u);
  EXPECT_EQ(g_scannedLiveries[0].title, "American A321 \"Astrojet\" & <friends>");
  EXPECT_EQ(g_scannedLiveries[1].title, "American 737");
  EXPECT_EQ(g_scannedLiveries[2], written[0]);
  EXPECT_EQ(g_scannedLiveries[3], written[2]);
  EXPECT_EQ(g_scannedLiveries[0], written[3]);
  EXPECT_EQ(g_scannedLiveries[1], written[1]);
  for (const auto& l : g_scannedLiveries) EXPECT_EQ(l.folderRank, 0u);
  EXPECT_TRUE(testsupport::logHasLine("4 liveries read from " + g_liveriesScannedPath.string()));

  // The meta block of the file is read into the meta settings.
  EXPECT_EQ(prm::date.value(), "2024-06-10");
  EXPECT_FALSE(prm::author.value().empty());
  EXPECT_FALSE(prm::version.value().empty());
}

TEST_F(LiveriesFileTest, AttributesInOrderAndOnlyWhenPresent) {
  g_scannedLiveries = {livery("FDX", "B763", "FedEx 767", "N101FE", true), livery("PVT", "C172", "Cessna")};
  lf_writeLiveriesScanned();
  const std::string text = fileText();
  EXPECT_NE(text.find("<liv airl=\"FDX\" type=\"B763\" cargo=\"true\" title=\"FedEx 767\" atcid=\"N101FE\" />"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<liv airl=\"PVT\" type=\"C172\" title=\"Cessna\" />"), std::string::npos) << text;
  // The meta block comes first, then the liveries; the rank is not stored.
  const auto meta = text.find("<meta>");
  ASSERT_NE(meta, std::string::npos);
  EXPECT_LT(meta, text.find("<liveries>"));
  EXPECT_NE(text.find("name=\"date\" value=\"2024-06-10\""), std::string::npos);
  EXPECT_NE(text.find("name=\"MSFS\" value=\"2020\""), std::string::npos);
  EXPECT_EQ(text.find("rank"), std::string::npos);
}

// The file is written piece by piece; it must be byte for byte what the XML
// library saves for the same document, whatever the texts hold.
TEST_F(LiveriesFileTest, StreamedFileIsWhatTheXmlLibrarySaves) {
  std::string every;
  for (int c = 1; c < 256; ++c) every.push_back(static_cast<char>(c));
  g_scannedLiveries = {livery("A&B", "<T>", "Quote \" and ' & < > Z\xC3\xBCrich", "D-A\"B", true),
                       livery("C\tD", "T\n", every, "\x01\x1F"), livery("X", "Y", "")};
  ASSERT_TRUE(lf_writeLiveriesScanned());
  pugi::xml_document doc;
  gf_writeMetaInfo(doc);
  pugi::xml_node liveries = doc.append_child("liveries");
  for (const LiveryData& l : g_scannedLiveries) {
    pugi::xml_node liv = liveries.append_child("liv");
    liv.append_attribute("airl").set_value(l.airline.c_str());
    liv.append_attribute("type").set_value(l.type.c_str());
    if (l.cargo) liv.append_attribute("cargo").set_value("true");
    liv.append_attribute("title").set_value(l.title.c_str());
    if (!l.registration.empty()) liv.append_attribute("atcid").set_value(l.registration.c_str());
  }
  EXPECT_EQ(fileText(), gf_xmlText(doc));
}

TEST_F(LiveriesFileTest, TwoWritesAreByteIdentical) {
  g_scannedLiveries = {livery("AAL", "B738", "American 737", "N1", false, 1),
                       livery("DLH", "A320", "Lufthansa", "D-AIZA", true, 4)};
  lf_writeLiveriesScanned();
  const std::string first = fileText();
  lf_writeLiveriesScanned();
  EXPECT_EQ(fileText(), first);
  EXPECT_FALSE(first.empty());
}

TEST_F(LiveriesFileTest, EmptyListWritesNothing) {
  testsupport::writeFile(g_liveriesScannedPath, "older scan");
  lf_writeLiveriesScanned();
  EXPECT_EQ(fileText(), "older scan");
  EXPECT_FALSE(testsupport::logContains("liveries in"));
}

TEST_F(LiveriesFileTest, CargoValuesRead) {
  writeFile(
      "<liveries>"
      "<liv airl=\"A\" type=\"T\" title=\"1\" cargo=\"yes\"/>"
      "<liv airl=\"A\" type=\"T\" title=\"2\" cargo=\"1\"/>"
      "<liv airl=\"A\" type=\"T\" title=\"3\" cargo=\"True\"/>"
      "<liv airl=\"A\" type=\"T\" title=\"4\" cargo=\"false\"/>"
      "<liv airl=\"A\" type=\"T\" title=\"5\" cargo=\"0\"/>"
      "<liv airl=\"A\" type=\"T\" title=\"6\" cargo=\"\"/>"
      "<liv airl=\"A\" type=\"T\" title=\"7\"/>"
      "<other airl=\"A\" type=\"T\"/>"
      "</liveries>");
  lf_readLiveriesXml();
  ASSERT_EQ(g_scannedLiveries.size(), 7u);
  const bool expected[] = {true, true, true, false, false, false, false};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(g_scannedLiveries[i].title, std::to_string(i + 1));
    EXPECT_EQ(g_scannedLiveries[i].cargo, expected[i]) << i;
    EXPECT_EQ(g_scannedLiveries[i].registration, "");
  }
}

TEST_F(LiveriesFileTest, MissingOrMalformedFileIs51) {
  g_scannedLiveries = {livery("AAL", "B738", "left over")};
  auto e = readError();
  EXPECT_EQ(e.code(), 51);
  EXPECT_EQ(e.message(), "File " + g_liveriesScannedPath.string() + " not found");
  EXPECT_TRUE(g_scannedLiveries.empty());

  writeFile("<liveries><liv airl=\"A\" type=\"T\" title=\"x\"></liveries>");
  EXPECT_EQ(readError().code(), 51);
}

TEST_F(LiveriesFileTest, MissingRequiredAttributeIs999) {
  struct Case {
    std::string liv;
    std::string attribute;
  };
  const Case cases[] = {
      {"<liv type=\"T\"/>", "airl"},
      {"<liv airl=\"A\" title=\"x\"/>", "type"},
      {"<liv airl=\"A\" type=\"T\" atcid=\"N1\"/>", "title"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.liv);
    writeFile("<liveries><liv airl=\"B\" type=\"T\" title=\"ok\"/>" + c.liv + "</liveries>");
    const auto e = readError();
    EXPECT_EQ(e.code(), 999);
    EXPECT_EQ(e.message(), "Missing required attribute '" + c.attribute + "' in <liv>");
  }
  // Present but empty counts as present.
  writeFile("<liveries><liv airl=\"\" type=\"\" title=\"\"/></liveries>");
  lf_readLiveriesXml();
  EXPECT_EQ(g_scannedLiveries.size(), 1u);
}

TEST_F(LiveriesFileTest, NoLiveriesSectionIs52AndNoLivIs533) {
  writeFile("<meta/><liv airl=\"A\" type=\"T\" title=\"x\"/>");
  EXPECT_EQ(readError().code(), 52);
  EXPECT_EQ(readError().message(), g_liveriesScannedPath.string() + " does not contain a <liveries> section");

  writeFile("<liveries><livery airl=\"A\" type=\"T\" title=\"x\"/></liveries>");
  const auto e = readError();
  EXPECT_EQ(e.code(), 533);
  EXPECT_EQ(e.message(), g_liveriesScannedPath.string() + " does not contain liveries");
  EXPECT_EQ(std::string(e.what()), "533: " + g_liveriesScannedPath.string() + " does not contain liveries");
}

}  // namespace
