// The learned file of a park airport: its merge over the park file, its
// settings, what is kept aside or written back, and when it is left as it is.
#include <chrono>

#include "airports/park_read_fixture.h"

using namespace parkreadtest;

// ---------------------------------------------------------------- learned files

TEST_F(ParkReadTest, LearnedOptionsStandsRadiiAndCargoMerge) {
  // The park file's publisher names the learned file's folder.
  parkFile("Heathrow", 83, "Pub")
      .parkpos(ParkposEntry::at("1", 51.0, -0.4)
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "10,11", "BAW1"))
                   .opt(ParkOptEntry::of("G-ABCE", "BAW", "A320", "1", "10", "BAW2")))
      .parkpos(ParkposEntry::at("2", 51.001, -0.4))
      .write("airports/my_thirdparty/EGLL.xml");
  ParkFileBuilder learned = parkFile();
  learned
      .parkpos(ParkposEntry::idOnly("1")
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "11,12", "OTHER"))  // overlaps: dropped
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "30", "BAW1"))     // disjoint: added, id 3
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "30,31", "BAW1"))  // equal to the one before
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "2", "30", "BAW1", true))   // id 4
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "", "30", "BAW1").drop("day")))  // day 0, id 5
      .parkpos(ParkposEntry::idOnly("2").set("radius_change", "true").set("radius", "100.0").set("cargo_change", "1")
                   .set("cargo", "true"))
      .parkpos(ParkposEntry::at("M1", 51.002, -0.4).set("manual", "true"))
      .parkpos(ParkposEntry::at("M1", 51.003, -0.4).set("manual", "true"))            // same id twice
      .parkpos(ParkposEntry::at("1", 51.004, -0.4).set("manual", "true"))             // a park-file id
      .parkpos(ParkposEntry::at("M2", 0.00005, -0.00005).set("manual", "true"))       // no position
      .parkpos(ParkposEntry::at("M4", 51.005, -0.4, 0.0, 0.0).set("manual", "true"))  // no radius
      .parkpos(ParkposEntry::at("M3", 0.0002, 0.0).set("manual", "true"))
      .parkpos(ParkposEntry::idOnly("gone"));
  learned.write("airports/learned/thirdparty/Pub/EGLL.xml");

  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  ASSERT_EQ(g_parkStands.size(), 4u);
  const Stand& one = g_parkStands[0];
  ASSERT_EQ(one.options.size(), 5u);
  EXPECT_EQ(one.options[4].day, 0u);
  EXPECT_EQ(one.options[2].id, 3u);
  EXPECT_EQ(one.options[2].origin, 0u);
  EXPECT_EQ(one.options[3].id, 4u);
  EXPECT_EQ(one.options[3].real, 0u);
  EXPECT_DOUBLE_EQ(g_parkStands[1].radius, 100.0 * kMetresToNm);
  EXPECT_EQ(g_parkStands[1].cargo, 1);
  EXPECT_EQ(g_parkStands[1].cargoChange, 1);
  EXPECT_EQ(g_parkStands[2].name, "M1");
  EXPECT_EQ(g_parkStands[2].manual, 1);
  EXPECT_EQ(g_parkStands[3].name, "M3");
  EXPECT_TRUE(logContains("manually created standid M1 already exists in"));
  EXPECT_TRUE(logContains("manually created standid 1 already exists in"));
  EXPECT_TRUE(logContains("manually created standid M2 misses correct attributes in"));
  EXPECT_TRUE(logContains("manually created standid M4 misses correct attributes in"));
  EXPECT_TRUE(logContains("learned stand gone in airports/learned/thirdparty/Pub/EGLL.xml not found?"));
  EXPECT_FALSE(g_apfHandmade);
}

TEST_F(ParkReadTest, AHandmadeFileReplacesTheStandsWhateverItsValue) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  for (const std::string value : {"true", "false"}) {
    parkFile().param("handmade", value).parkpos(ParkposEntry::at("H1", 51.0, -0.4))
        .parkpos(ParkposEntry::at("H2", 51.001, -0.4)).write("airports/learned/thirdparty/simaddon/EGLL.xml");
    g_parkStands.clear();
    EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "") << value;
    ASSERT_EQ(g_parkStands.size(), 2u);
    EXPECT_EQ(g_parkStands[0].name, "H1");
    EXPECT_TRUE(g_apfHandmade);
  }
  EXPECT_TRUE(logHasLine("A handmade airport file overruled the archived file!"));

  // A stand twice in a handmade file: only the repeat is skipped, and what
  // was learned is saved into a handmade file again, the repeat written back
  // as it was.
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  parkFile().param("handmade", "1").parkpos(ParkposEntry::at("H1", 51.0, -0.4))
      .parkpos(ParkposEntry::at("H2", 51.001, -0.4)).parkpos(ParkposEntry::at("H1", 51.002, -0.4))
      .parkpos(ParkposEntry::at("H3", 51.003, -0.4)).write(learnedPath);
  g_parkStands.clear();
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  std::vector<std::string> names;
  for (const Stand& s : g_parkStands) names.push_back(s.name);
  EXPECT_THAT(names, ElementsAre("H1", "H2", "H3"));
  EXPECT_TRUE(g_apfHandmade);
  EXPECT_TRUE(logHasLine("===> Parking position H1 appears more than once? (skipped)"));

  ASSERT_TRUE(learnAndSave());
  const pugi::xml_document saved = testsupport::loadApf(learnedPath);
  EXPECT_EQ(gf_getParamString(saved, "handmade"), "true");
  names.clear();
  for (const pugi::xml_node p : saved.child("parkpositions").children("parkpos")) names.push_back(p.attribute("id").value());
  EXPECT_THAT(names, ElementsAre("H1", "H2", "H3", "H1"));
}

TEST_F(ParkReadTest, AParkFileWithoutPublisherLearnsInTheThirdpartyFolder) {
  ParkFileBuilder park;
  park.param("airport_name", "Heathrow").param("altitude", "83").parkpos(ParkposEntry::at("1", 51.0, -0.4));
  park.write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/EGLL.xml";
  parkFile().param("parking_percentage", "55").write(learnedPath);
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  EXPECT_EQ(prm::parking_percentage.value(), 55);

  g_parkApfPath = "airports/my_thirdparty/EGLL.xml";
  g_parkStands[0].options.push_back(opt(1, 2, 1));
  g_learnedUpdates.store(1);
  EXPECT_TRUE(lf_saveStandFile(std::move(g_parkStands)));
  g_parkApfPath.clear();
  EXPECT_THAT(testsupport::readFile(learnedPath), HasSubstr("<parkpos id=\"1\">"));
}

TEST_F(ParkReadTest, LearnedSettingsMapToTheirChoices) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  const auto readWith = [&](std::vector<std::pair<std::string, std::string>> params) {
    ParkFileBuilder learned = parkFile();
    for (auto& [name, value] : params) learned.param(name, value);
    learned.write(learnedPath);
    g_parkStands.clear();
    read("airports/my_thirdparty/EGLL.xml");
  };
  const std::pair<int, int> maxLive[] = {{-1, 500}, {10, 10}, {24, 10}, {25, 25}, {60, 50}, {99, 75}, {100, 100}, {300, 100}};
  for (const auto& [value, setting] : maxLive) {
    readWith({{"MAX_LIVE", std::to_string(value)}});
    EXPECT_EQ(prm::MAX_LIVE_SEL.value(), setting) << value;
  }
  readWith({});
  EXPECT_EQ(prm::MAX_LIVE_SEL.value(), -1);
  EXPECT_EQ(prm::parking_percentage.value(), 30);

  readWith({{"LATERAL_RANGE", "37"}, {"MAX_FIT", "60"}, {"parking_percentage", "150"}});
  EXPECT_EQ(prm::RANGE.value(), 35);
  EXPECT_EQ(g_rangeMeters.load(), 35 * 1852);
  EXPECT_EQ(prm::MAX_FIT.value(), 47);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 24.0);
  EXPECT_EQ(prm::parking_percentage.value(), 150);  // as the file has it
  readWith({{"LATERAL_RANGE", "38"}, {"MAX_FIT", "3"}, {"WEEK", "yes"}, {"PARK_SOFT", "false"}});
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 2.0);
  EXPECT_TRUE(prm::WEEK.value());
  EXPECT_FALSE(prm::PARK_SOFT.value());

  // A learned file that does not load changes nothing and is kept aside,
  // never over an earlier copy.
  writeFile(learnedPath, "<meta><info name=");
  writeFile("airports/learned/thirdparty/simaddon/EGLL0.xml", "earlier");
  readWith({});
  writeFile(learnedPath, "<meta><info name=");
  g_parkStands.clear();
  read("airports/my_thirdparty/EGLL.xml");
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_EQ(testsupport::readFile("airports/learned/thirdparty/simaddon/EGLL0.xml"), "earlier");
  EXPECT_EQ(testsupport::readFile("airports/learned/thirdparty/simaddon/EGLL0_2.xml"), "<meta><info name=");
  EXPECT_TRUE(logContains("EGLL.xml found, but could not be loaded, saved as *.0.xml"));
  EXPECT_FALSE(logContains("===> airports/learned/thirdparty/simaddon/EGLL.xml found"));  // not an error line
}

TEST_F(ParkReadTest, LearnedEntriesTheGuardsRefuseStayOutOfTheAirportAndAreWrittenBack) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  struct Case {
    const char* name;
    bool handmade;
    ParkposEntry entry;
    const char* attribute;  // written back with the value it had
    const char* value;
  } cases[] = {
      {"a manual stand of radius 1200", false, ParkposEntry::at("M1", 51.001, -0.4, 0, 1200).set("manual", "true"),
       "radius", "1200.0"},
      {"a manual stand outside the world", false, ParkposEntry::at("M2", 91.0, -0.4).set("manual", "true"), "latitude",
       "91.000000"},
      {"a manual stand without radius", false, ParkposEntry::at("M3", 51.0, -0.4, 0, 0).set("manual", "true"), "radius",
       "0.0"},
      {"a negative radius in a handmade file", true, ParkposEntry::at("H1", 51.0, -0.4, 0, -5), "radius", "-5.0"},
      {"a placeholder in a handmade file", true, ParkposEntry::at("H2", 0, 0), "latitude", "0.000000"},
      {"a radius change to 1500", false, ParkposEntry::idOnly("1").set("radius_change", "true").set("radius", "1500"),
       "radius", "1500"},
      {"a negative radius change", false, ParkposEntry::idOnly("1").set("radius_change", "true").set("radius", "-3"),
       "radius", "-3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = c.entry.attributes.front().second;
    ParkFileBuilder learned = parkFile();
    if (c.handmade) learned.param("handmade", "true").parkpos(ParkposEntry::at("HOK", 51.0, -0.4));
    learned.parkpos(c.entry).write(learnedPath);
    g_parkStands.clear();
    g_apfHandmade = false;
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    // Out of every distance and size: not a stand, nor a radius.
    ASSERT_EQ(g_parkStands.size(), 1u);
    EXPECT_EQ(g_parkStands[0].name, c.handmade ? "HOK" : "1");
    EXPECT_DOUBLE_EQ(gf_nmToMetres(g_parkStands[0].radius), 20.0);

    ASSERT_TRUE(learnAndSave());
    const pugi::xml_document saved = testsupport::loadApf(learnedPath);
    const pugi::xml_node back = saved.child("parkpositions").find_child_by_attribute("parkpos", "id", id.c_str());
    EXPECT_EQ(std::string(back.attribute(c.attribute).value()), c.value);
    if (id == "1") {
      EXPECT_EQ(std::string(back.attribute("radius_change").value()), "true");
    }
  }
}

TEST_F(ParkReadTest, ALearnedFileThatCannotBeReadNorKeptAsideIsNotSavedOver) {
  parkFile("Heathrow", 83, "Pub").parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/Pub/EGLL.xml";
  for (const bool unreadable : {true, false}) {
    SCOPED_TRACE(unreadable ? "without read permission" : "a link to a device");
    fs::remove_all(learnedPath.parent_path());
    if (unreadable) {
      parkFile().parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30", "BAW1")))
          .write(learnedPath);
      testsupport::Unreadable locked({learnedPath});
      if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
      EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    } else {
      fs::create_directories(learnedPath.parent_path());
      fs::create_symlink("/dev/zero", learnedPath);
      EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    }
    const std::string before = unreadable ? testsupport::readFile(learnedPath) : "";
    g_parkApfPath = "airports/my_thirdparty/EGLL.xml";
    g_learnedUpdates.store(1);
    lf_saveStandFile(std::move(g_parkStands));
    g_parkApfPath.clear();
    if (unreadable)
      EXPECT_EQ(testsupport::readFile(learnedPath), before);
    else
      EXPECT_TRUE(fs::is_symlink(learnedPath));
    EXPECT_TRUE(logContains("the learned file 'airports/learned/thirdparty/Pub/EGLL.xml' of EGLL is left as it is, "
                            "nothing saved: it was not read whole: "));
  }
}


TEST_F(ParkReadTest, ALearnedFileIsLeftAsItIsOnlyWhenItHoldsMoreThanWasRead) {
  const auto manyStands = [](ParkFileBuilder builder, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      builder.parkpos(ParkposEntry::at(fmt::format("P{}", i), 50.0 + static_cast<double>(i / 100) * 0.01,
                                       8.0 + static_cast<double>(i % 100) * 0.01));
    }
    return builder;
  };
  const std::string last = fmt::format("P{}", kApfMaxStands);
  const ParkOptEntry learnedOpt = ParkOptEntry::of("D-AIAA", "DLH", "A320", "1", "20");
  const std::string lacksMeta = "it lacks one of the meta entries author, date and version, and was not read";
  struct Case {
    const char* name;
    ParkFileBuilder park;
    std::optional<ParkFileBuilder> learned;
    std::string kept;  // why the file is left as it is; "" when it is saved
    bool aside = false;  // the file is copied aside before it is saved over
    const char* merged = nullptr;  // a stand whose learned option is in play after the read
  } cases[] = {
      {"options of a stand beyond the park file's limit, written back", manyStands(parkFile(), kApfMaxStands + 1),
       parkFile().parkpos(ParkposEntry::idOnly(last).opt(learnedOpt)), ""},
      {"a handmade file beyond the limit", manyStands(parkFile(), 1),
       manyStands(parkFile().param("handmade", "true"), kApfMaxStands + 1), gf_standLimitReason()},
      {"a manual stand beyond the limit, the learned stands after it merged", manyStands(parkFile(), kApfMaxStands),
       parkFile().parkpos(ParkposEntry::at("M1", 51.0, -0.4).set("manual", "true"))
           .parkpos(ParkposEntry::idOnly("P1").opt(learnedOpt)),
       gf_standLimitReason(), false, "P1"},
      {"a manual stand past the limit that is refused anyway", manyStands(parkFile(), kApfMaxStands),
       parkFile().parkpos(ParkposEntry::at("M1", 91.0, -0.4).set("manual", "true")), ""},
      {"a placeholder past a handmade file's limit", manyStands(parkFile(), 1),
       manyStands(parkFile().param("handmade", "true"), kApfMaxStands).parkpos(ParkposEntry::at("Z", 0, 0)), ""},
      {"a handmade file without its version entry", manyStands(parkFile(), 1),
       parkFile().param("handmade", "true").dropMetaInfo("version").parkpos(ParkposEntry::at("H1", 51.0, -0.4)),
       lacksMeta},
      {"an ordinary file without its date entry", manyStands(parkFile(), 1),
       parkFile().dropMetaInfo("date").parkpos(ParkposEntry::idOnly("P0").opt(learnedOpt)), "", true},
      {"a handmade file within the limit replaces a cut park file", manyStands(parkFile(), kApfMaxStands + 1),
       parkFile().param("handmade", "true").parkpos(ParkposEntry::at("H1", 51.0, -0.4)), ""},
      {"a cut park file without a learned file", manyStands(parkFile(), kApfMaxStands + 1), std::nullopt, ""},
      {"a cut park file whose learned file was merged whole", manyStands(parkFile(), kApfMaxStands + 1),
       parkFile().parkpos(ParkposEntry::idOnly("P1").opt(learnedOpt)), ""},
      {"a placeholder past the park file's limit", manyStands(parkFile(), kApfMaxStands).parkpos(ParkposEntry::at("Z", 0, 0)),
       parkFile().parkpos(ParkposEntry::idOnly("gone").opt(learnedOpt)), ""},
      {"a repeat past a handmade file's limit", manyStands(parkFile(), 1),
       manyStands(parkFile().param("handmade", "true"), kApfMaxStands).parkpos(ParkposEntry::at("P0", 51.0, -0.4)), ""},
  };
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  const fs::path asidePath = "airports/learned/thirdparty/simaddon/EGLL0.xml";
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.park.write("airports/my_thirdparty/EGLL.xml");
    fs::remove(learnedPath);
    if (c.learned) c.learned->write(learnedPath);
    const std::string before = c.learned ? testsupport::readFile(learnedPath) : "";
    g_parkStands.clear();
    g_apfHandmade = false;
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    if (c.merged != nullptr) {
      const auto stand = std::find_if(g_parkStands.begin(), g_parkStands.end(),
                                      [&](const Stand& s) { return s.name == c.merged; });
      ASSERT_NE(stand, g_parkStands.end());
      EXPECT_THAT(stand->options, Contains(::testing::Field(&StandOption::registration, "D-AIAA")));
    }
    EXPECT_EQ(fs::exists(asidePath), c.aside);
    if (c.aside) {
      EXPECT_EQ(testsupport::readFile(asidePath), before);
      // A second read before any save keeps no second copy.
      g_parkStands.clear();
      ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
      EXPECT_FALSE(fs::exists("airports/learned/thirdparty/simaddon/EGLL0_2.xml"));
    }
    fs::remove(asidePath);

    gf_clearStatus();
    // A skipped save is no success, and says so on the status line.
    EXPECT_EQ(learnAndSave(), c.kept.empty());
    EXPECT_EQ(g_learnedUpdates.load(), 0u);
    EXPECT_EQ(testsupport::readFile(learnedPath) == before, !c.kept.empty());
    const std::string skipped =
        fmt::format("the learned file '{}' of EGLL is left as it is, nothing saved: {}", learnedPath.string(), c.kept);
    EXPECT_EQ(logContains(skipped), !c.kept.empty());
    EXPECT_EQ(gf_statusSnapshot().status.find(skipped) != std::string::npos, !c.kept.empty());
    testsupport::openTestLog();
  }
}

TEST_F(ParkReadTest, ALearnedStandTheParkFileLacksIsWrittenBackAndComesBackWithTheStand) {
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  const ParkposEntry fixed = ParkposEntry::at("A1", 51.001, -0.4);
  struct Case {
    const char* name;
    ParkposEntry park;  // the park file's entry for the learned stand "A1" at the first read
  } cases[] = {
      {"the stand renamed", ParkposEntry::at("A 1", 51.001, -0.4)},
      {"a negative radius typed", ParkposEntry(fixed).set("radius", "-20")},
      {"a radius of 2000 typed", ParkposEntry(fixed).set("radius", "2000")},
      {"a radius too large for a number", ParkposEntry(fixed).set("radius", "1e999")},
      {"a latitude outside the world", ParkposEntry(fixed).set("latitude", "95")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    parkFile().parkpos(ParkposEntry::at("OK", 51.0, -0.4)).parkpos(c.park).write("airports/my_thirdparty/EGLL.xml");
    parkFile()
        .parkpos(ParkposEntry::idOnly("A1").opt(ParkOptEntry::of("G-LRND", "BAW", "A320", "3", "30", "BAW7")))
        .write(learnedPath);
    testsupport::openTestLog();
    g_parkStands.clear();
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    EXPECT_TRUE(logContains("learned stand A1 in airports/learned/thirdparty/simaddon/EGLL.xml not found?"));
    ASSERT_TRUE(learnAndSave());
    const pugi::xml_document saved = testsupport::loadApf(learnedPath);
    const pugi::xml_node back = saved.child("parkpositions").find_child_by_attribute("parkpos", "id", "A1");
    EXPECT_EQ(std::string(back.child("opt").attribute("reg").value()), "G-LRND");

    // The park file names the stand again: its learning is in play.
    parkFile().parkpos(ParkposEntry::at("OK", 51.0, -0.4)).parkpos(fixed).write("airports/my_thirdparty/EGLL.xml");
    g_parkStands.clear();
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    ASSERT_EQ(g_parkStands.size(), 2u);
    const std::vector<StandOption>& options = g_parkStands[1].options;
    EXPECT_EQ(options.size(), 1u);
    EXPECT_TRUE(!options.empty() && options[0].registration == "G-LRND" && options[0].origin == 0);
  }
}

TEST_F(ParkReadTest, EveryRadiusOfTwoEntriesOfAStandIsWrittenBack) {
  parkFile().parkpos(ParkposEntry::at("OK", 51.0, -0.4)).parkpos(ParkposEntry::at("1", 51.001, -0.4))
      .write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  struct Case {
    const char* first;
    const char* second;
    double metres;                    // the stand's radius in force
    std::vector<std::string> saved;  // the radii of the stand's elements in the saved file
  } cases[] = {
      {"1500", "7", 7.0, {"1500", "7"}},
      {"7", "1500", 7.0, {"7.0", "1500"}},
      {"1500", "-3", 20.0, {"1500", "-3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("{} then {}", c.first, c.second));
    const auto entry = [](const char* radius, const char* registration) {
      return ParkposEntry::idOnly("1").set("radius_change", "true").set("radius", radius)
          .opt(ParkOptEntry::of(registration, "BAW", "A320", "3", "30"));
    };
    parkFile().parkpos(entry(c.first, "G-FRST")).parkpos(entry(c.second, "G-SCND")).write(learnedPath);
    // Twice: what is written back reads back the same.
    for (int cycle = 0; cycle < 2; ++cycle) {
      g_parkStands.clear();
      ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
      ASSERT_EQ(g_parkStands.size(), 2u);
      EXPECT_NEAR(gf_nmToMetres(g_parkStands[1].radius), c.metres, 1e-9);
      EXPECT_EQ(g_parkStands[1].options.size(), 2u);
      ASSERT_TRUE(learnAndSave());
      const pugi::xml_document saved = testsupport::loadApf(learnedPath);
      std::vector<std::string> radii;
      for (const pugi::xml_node p : saved.child("parkpositions").children("parkpos"))
        if (std::string(p.attribute("id").value()) == "1") radii.push_back(p.attribute("radius").value());
      EXPECT_EQ(radii, c.saved) << cycle;
    }
  }
}

TEST_F(ParkReadTest, ALearnedFileKeptAsideIsCopiedOnceAndShownOnceNamingTheCopy) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path folder = "airports/learned/thirdparty/simaddon";
  ParkFileBuilder large = parkFile();
  for (int i = 0; i < 100; ++i) large.parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "30")));
  struct Case {
    const char* name;
    std::string text;
    std::uintmax_t readLimit;  // 0: the program's own
  } cases[] = {
      {"over the read limit", large.xml(), 4096},
      {"without its date entry", parkFile().dropMetaInfo("date").xml(), 0},
      {"not XML", "<meta><info name=", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder);
    writeFile(folder / "EGLL.xml", c.text);
    gf_setApfMaxFileBytesForTests(c.readLimit);
    for (int n = 0; n < 3; ++n) {
      gf_clearStatus();
      g_parkStands.clear();
      ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
      EXPECT_EQ(gf_statusSnapshot().status.find((folder / "EGLL0.xml").string()) != std::string::npos, n == 0) << n;
    }
    gf_setApfMaxFileBytesForTests(0);
    EXPECT_EQ(testsupport::readFile(folder / "EGLL0.xml"), c.text);
    EXPECT_FALSE(fs::exists(folder / "EGLL0_2.xml"));
  }
}

// A learned file the user changes or writes while its airport is loaded is
// theirs: the save merges what was learned into an ordinary one and leaves a
// handmade one as it is, saving what was learned beside it. A file whose bytes
// did not change is saved as always.
TEST_F(ParkReadTest, ALearnedFileChangedWhileLoadedIsKeptAndWhatWasLearnedGoesIntoItOrBesideIt) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).parkpos(ParkposEntry::at("2", 51.001, -0.4))
      .write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  const fs::path beside = "airports/learned/thirdparty/simaddon/EGLL.xml.learned";
  const std::string atLoad =
      parkFile().parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30"))).xml();
  const std::string edited =
      parkFile()
          .parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30")))
          .parkpos(ParkposEntry::idOnly("2").set("radius_change", "true").set("radius", "55.0"))
          .parkpos(ParkposEntry::at("M1", 51.002, -0.4).set("manual", "true"))
          .param("parking_percentage", "55")
          .xml();
  // What the user takes out of the file while loaded stays out: an option, a
  // radius change, a manual stand, a stand the read could not place.
  const std::string full =
      parkFile()
          .parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30"))
                       .opt(ParkOptEntry::of("G-DELD", "BAW", "A320", "1", "20")))
          .parkpos(ParkposEntry::idOnly("2").set("radius_change", "true").set("radius", "55.0"))
          .parkpos(ParkposEntry::at("M1", 51.002, -0.4).set("manual", "true"))
          .parkpos(ParkposEntry::idOnly("gone"))
          .xml();
  const std::string handmade = parkFile().param("handmade", "true").parkpos(ParkposEntry::at("H1", 51.0, -0.4)).xml();
  // An interrupted copy: kept aside, and all that was read and learned saved.
  const std::string cutShort = atLoad.substr(0, atLoad.size() / 2);
  // Deleted: only what was learned or set in the window since the read is
  // saved in its place (WEEK, read as "false").
  const std::string deleted = "(deleted)";
  const std::string withWeek =
      parkFile().param("WEEK", "false")
          .parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30"))).xml();
  const fs::path aside = "airports/learned/thirdparty/simaddon/EGLL0.xml";
  // A manual element refused for a park file's id comes before the stand's own.
  const std::string manualFirst =
      parkFile().parkpos(ParkposEntry::at("1", 51.002, -0.4).set("manual", "true"))
          .parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30"))).xml();
  struct Case {
    const char* name;
    std::optional<std::string> atRead;  // the learned file when the airport is read
    std::optional<std::string> written;  // what the user writes into it while the airport is loaded
    std::vector<std::string> standsAfter;     // the stands of the next read
    std::vector<std::string> optionsOfFirst;  // the registrations of its first stand
    bool besideIt;                            // what was learned is saved beside the file
    const char* percentage;                   // the saved file's parking percentage
  } cases[] = {
      {"a manual stand and a radius edited", atLoad, edited, {"1", "2", "M1"}, {"G-OLDD", "G-ABCD"}, false, "55"},
      {"an ordinary file written", std::nullopt, edited, {"1", "2", "M1"}, {"G-OLDD", "G-ABCD"}, false, "55"},
      {"a handmade file written", atLoad, handmade, {"H1"}, {}, true, nullptr},
      {"an option, a radius, a manual and a kept stand taken out", full, atLoad, {"1", "2"}, {"G-OLDD", "G-ABCD"}, false,
       "30"},
      {"a file only touched", atLoad, atLoad, {"1", "2"}, {"G-OLDD", "G-ABCD"}, false, "30"},
      {"an unchanged file", atLoad, std::nullopt, {"1", "2"}, {"G-OLDD", "G-ABCD"}, false, "30"},
      {"cut short", atLoad, cutShort, {"1", "2"}, {"G-OLDD", "G-ABCD"}, false, "30"},
      {"deleted", withWeek, deleted, {"1", "2"}, {"G-OLDD", "G-ABCD"}, false, "30"},
      {"a manual element of a stand's id before its own", manualFirst, manualFirst + "\n", {"1", "2"},
       {"G-OLDD", "G-ABCD"}, false, "30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(learnedPath.parent_path());
    if (c.atRead) writeFile(learnedPath, *c.atRead);
    g_parkStands.clear();
    prm::WEEK.set(false);
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    prm::WEEK.set(true);  // changed in the window meanwhile
    g_apfChanged = true;
    if (c.written == deleted) {
      fs::remove(learnedPath);
    } else if (c.written) {
      writeFile(learnedPath, *c.written);
      fs::last_write_time(learnedPath, fs::last_write_time(learnedPath) + std::chrono::seconds(5));
    }
    // Learned meanwhile: G-OLDD in half hour 31 too, and G-ABCD on stand "1".
    if (c.atRead) g_parkStands[0].options.at(0).hours |= std::uint64_t{1} << 31;
    gf_clearStatus();
    testsupport::openTestLog();
    ASSERT_TRUE(learnAndSave());
    // Written over as always only when its bytes are those read, or once a
    // copy of a file cut short is kept aside.
    EXPECT_EQ(logContains("EGLL.xml' saved with 1 update and one or more parameter changes"),
              c.written == std::nullopt || c.written == c.atRead || c.written == cutShort);
    EXPECT_EQ(fs::exists(aside) ? testsupport::readFile(aside) : "", c.written == cutShort ? cutShort : "");
    EXPECT_EQ(fs::exists(beside), c.besideIt);
    EXPECT_EQ(gf_statusSnapshot().status.find(beside.string()) != std::string::npos, c.besideIt);
    if (c.besideIt) {
      EXPECT_EQ(testsupport::readFile(learnedPath), *c.written);
      EXPECT_THAT(testsupport::readFile(beside), HasSubstr("G-ABCD"));
    } else {
      // A setting the user wrote into the file stays; one changed in the
      // window goes in.
      const pugi::xml_document saved = testsupport::loadApf(learnedPath);
      EXPECT_EQ(gf_getParamString(saved, "parking_percentage"), c.percentage);
      EXPECT_EQ(gf_getParamString(saved, "WEEK"), "true");
      // What was learned on stand "1" went into its one element.
      int ownElements = 0;
      for (const pugi::xml_node p : saved.child("parkpositions").children("parkpos"))
        ownElements += std::string(p.attribute("id").value()) == "1" && !p.attribute("manual");
      EXPECT_EQ(ownElements, 1);
    }
    g_parkStands.clear();
    g_apfHandmade = false;
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    std::vector<std::string> names;
    for (const Stand& s : g_parkStands) names.push_back(s.name);
    EXPECT_EQ(names, c.standsAfter);
    std::vector<std::string> registrations;
    if (!c.besideIt)
      for (const StandOption& o : g_parkStands[0].options) registrations.push_back(o.registration);
    EXPECT_EQ(registrations, c.optionsOfFirst);
    if (!c.besideIt) {
      // Of a deleted file only the half hour learned since is left.
      EXPECT_EQ(g_parkStands[0].options.at(0).hours,
                std::uint64_t{c.written == deleted ? 2u : c.atRead ? 3u : 1u} << 30);
    }
    if (names.size() > 1) {
      EXPECT_NEAR(gf_nmToMetres(g_parkStands[1].radius), c.written == edited ? 55.0 : 20.0, 1e-9);
    }
    EXPECT_FALSE(logContains("learned stand gone"));
  }
}
