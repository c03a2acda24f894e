// Finding, fetching and reading a park airport: alias files, the learned
// file's path, quality factors, fake traffic, the nearest stand at a
// destination, and the whole read with its errors.
#include "airports/park_read_fixture.h"

using namespace parkreadtest;


// ---------------------------------------------------------------- finding park files

TEST_F(ParkReadTest, AliasFilesComeFirstAndAreCutAfterXml) {
  writeFile("airports/my_thirdparty/EGLL.txt", "airports/my_thirdparty/EGLL_v2.xml   # newer stands\r\nignored\n");
  writeFile("airports/my_thirdparty/EGLL.xml", "<x/>");
  writeFile("airports/my_simaddon/EGLL.txt", "airports/my_simaddon/other.xml\n");
  writeFile("airports/my_simaddon/EGLL.xml", "<x/>");
  EXPECT_EQ(gf_findApfFile("EGLL"), "airports/my_thirdparty/EGLL_v2.xml");

  // An alias without ".xml" is passed over; so is one that leaves the
  // airports folder.
  struct Case {
    std::string alias;
    std::string found;
  };
  const Case cases[] = {
      {"no file named here\n", "airports/my_thirdparty/EGLL.xml"},
      {"../../etc/passwd.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"/etc/x.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"\\etc\\x.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"C:\\Windows\\x.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"archive/thirdparty/Pub/EGLL.xml\n", "archive/thirdparty/Pub/EGLL.xml"},
  };
  for (const Case& c : cases) {
    writeFile("airports/my_thirdparty/EGLL.txt", c.alias);
    EXPECT_EQ(gf_findApfFile("EGLL"), c.found) << c.alias;
  }
  EXPECT_TRUE(logContains("lies outside the airports folder"));

  fs::remove("airports/my_thirdparty/EGLL.txt");
  fs::remove("airports/my_thirdparty/EGLL.xml");
  EXPECT_EQ(gf_findApfFile("EGLL"), "airports/my_simaddon/other.xml");
  fs::remove("airports/my_simaddon/EGLL.txt");
  EXPECT_EQ(gf_findApfFile("EGLL"), "airports/my_simaddon/EGLL.xml");

  // Existence alone makes a file available, even an alias that names nothing.
  writeFile("airports/my_simaddon/EGKK.txt", "nothing");
  EXPECT_TRUE(gf_ensureStockApf("EGKK"));
  EXPECT_FALSE(gf_ensureStockApf("LFPG"));  // and the server refuses
  EXPECT_EQ(gf_findApfFile("../EGLL"), "");
}

TEST_F(ParkReadTest, StockFilesComeFromTheServerOncePerRunAndMissesForAMinute) {
  fs::create_directories("server/MSFS/archive/stock");
  parkFile().write("server/MSFS/archive/stock/EGLL.xml");
  testsupport::HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());
  g_isMsfs2020 = false;  // stock files come from "MSFS/" in either mode
  EXPECT_TRUE(gf_ensureStockApf("EGLL"));
  EXPECT_EQ(gf_findApfFile("EGLL"), "archive/stock/EGLL.xml");
  g_isMsfs2020 = true;

  // A miss is remembered for a minute, then the server is asked again.
  EXPECT_FALSE(gf_ensureStockApf("EGKK"));
  parkFile().write("server/MSFS/archive/stock/EGKK.xml");
  gf_advanceSteadyClock(30);
  EXPECT_FALSE(gf_ensureStockApf("EGKK"));
  gf_advanceSteadyClock(30);
  EXPECT_TRUE(gf_ensureStockApf("EGKK"));

  testsupport::RawSocketServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  gf_setDownloadServer(missing.baseUrl());
  EXPECT_FALSE(gf_ensureStockApf("LFPG"));
  EXPECT_EQ(gf_findApfFile("LFPG"), "");
  EXPECT_EQ(missing.acceptedCount(), 1);

  // A thread that must not wait is told "not there yet" while the download runs.
  testsupport::RawSocketServer silent;
  gf_setDownloadServer(silent.baseUrl());
  DownloadLimits limits = gf_downloadLimits();
  limits.lowSpeedTime = std::chrono::seconds(2);
  gf_setDownloadLimits(limits);
  testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", 50.0 + north(1500.0), 8.0),
                                 testsupport::AirportEntry::at("EDDG", 50.0 + north(1000.0), 8.0)},
                                "airports_msfs.xml");
  gf_resetAirportsForTests();
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  parkFile().parkpos(ParkposEntry::at("1", 50.0 + north(900.0), 8.0)).write("airports/my_thirdparty/EDDG.xml");
  bool undecided = false;
  {
    ServerFetchWithoutWaiting noWait;
    EXPECT_FALSE(gf_ensureStockApf("EDDF"));
    EXPECT_TRUE(gf_apfFetchPending("EDDF"));
    // The choice between two close airports waits for the neighbour's file.
    EXPECT_EQ(gf_findClosestAirport(LatLon{50.0, 8.0}, &undecided)->icao, "EDDG");
    EXPECT_TRUE(undecided);
  }
  EXPECT_EQ(gf_findClosestAirport(LatLon{50.0, 8.0}, &undecided)->icao, "EDDG");  // the download ended
  EXPECT_FALSE(undecided);
  gf_resetAirportsForTests();
  gf_forgetServerFiles();
  gf_setDownloadLimits(DownloadLimits{});
}

TEST_F(ParkReadTest, LearnedPathsFollowTheParkFilesLocation) {
  struct Case {
    std::string apf;
    std::string publisher;
    fs::path learned;
  };
  const fs::path learned = fs::path("airports") / "learned";
  const Case cases[] = {
      {"archive/stock/EGLL.xml", "", learned / "stock" / "EGLL.xml"},
      {"archive/thirdparty/Sim%20Studio/EGLL.xml", "", learned / "thirdparty" / "Sim Studio" / "EGLL.xml"},
      {"airports/my_thirdparty/EGLL.xml", "Orbx", learned / "thirdparty" / "Orbx" / "EGLL.xml"},
      {"airports/my_thirdparty2024/EGLL.xml", "Orbx", learned / "thirdparty" / "Orbx" / "EGLL.xml"},
      {"airports/my_simaddon/EGLL.xml", "simaddon", learned / "simaddon" / "EGLL.xml"},
      {"airports/my_thirdparty/EGLL.xml", "", learned / "thirdparty" / "EGLL.xml"},
      {"C:/elsewhere/EGLL.xml", "", "C:/elsewhere/EGLL.xml"},
      {"", "", ""},
      {"airports/my_thirdparty/EGLL.xml", "../..", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(lf_learnedPathFor(c.apf, c.publisher), c.learned) << c.apf;
}

// ---------------------------------------------------------------- quality factors

TEST_F(ParkReadTest, QualityFactorsAreTheMeanStandScore) {
  const std::uint64_t fourHalfHours = 0b1111;
  struct Case {
    std::vector<Stand> stands;
    std::pair<std::int32_t, std::int32_t> factors;
  };
  std::vector<Case> cases;
  cases.push_back({{}, {-1, -1}});
  cases.push_back({{standWith({})}, {-1, -1}});
  cases.push_back({{standWith({opt(0, 3, fourHalfHours)})}, {0, 0}});
  cases.push_back({{standWith({opt(1, 3, fourHalfHours)})}, {63, 0}});           // 10128 x 0.00625
  cases.push_back({{standWith({opt(1, 3, fourHalfHours)}), standWith({})}, {32, 0}});
  // Weekdays 0 and 8 count as options and half hours, not as days: one more
  // day would give 64 (10000 + 20 + 48 or 10000 + 20 + 100 + 48).
  const std::uint64_t twentyFour = (std::uint64_t{1} << 24) - 1;
  cases.push_back({{standWith({opt(1, 0, twentyFour)})}, {63, 0}});
  cases.push_back({{standWith({opt(1, 8, twentyFour, 0)})}, {0, 63}});
  cases.push_back({{standWith({opt(1, 7, twentyFour, 0)})}, {0, 64}});
  // The count adds 20 per option up to 4000: 199 options give 10000 + 3980,
  // 200 and 300 give 14000 (300 would give 16000, 100, without the cap).
  for (const auto& [count, factor] : {std::pair{199, 87}, std::pair{200, 88}, std::pair{300, 88}}) {
    std::vector<StandOption> many;
    for (int i = 1; i <= count; ++i) many.push_back(opt(static_cast<std::uint32_t>(i), 0, 0));
    cases.push_back({{standWith(std::move(many))}, {factor, 0}});
  }
  for (const Case& c : cases) EXPECT_EQ(gf_computeQualityFactors(c.stands), c.factors) << c.stands.size();
}

// ---------------------------------------------------------------- fake traffic

TEST_F(ParkReadTest, FakeTrafficSuitsTheStandAndTheRegion) {
  testsupport::DbaseBuilder().type("B738", 35.8).type("EC35", 10.2).type("C172", 11.0).type("KLMX", 1.0)
      .type("B77W", 64.8).type("A320", 35.8).type("B739", 35.8).write();
  gf_resetDbaseForTests();
  gf_readDbase();
  gf_setFixedClock(kMonday1410);
  prm::RANDOM.set(false);

  const auto stand = [](double radiusMetres, bool heli = false, std::vector<StandOption> options = {}) {
    return Stand("S", std::move(options), StandPosition{1.0, 1.0, 0.0}, radiusMetres, 1, 1, heli ? 0 : 1);
  };
  std::vector<Stand> stands{stand(100.0, true), stand(19.0), stand(5.0), stand(20.0, false, {opt(7, 2, 1)})};
  lf_makeFakeTraffic("EGLL", stands);
  ASSERT_EQ(stands[0].options.size(), 1u);
  EXPECT_EQ(stands[0].options[0].type, "EC35");  // a helipad, whatever its size
  EXPECT_EQ(stands[0].options[0].callsign, "FAKE1");
  EXPECT_EQ(stands[0].options[0].day, 1u);
  EXPECT_EQ(stands[0].options[0].hours, std::uint64_t{1} << 28);
  EXPECT_EQ(stands[0].options[0].origin, 1u);
  EXPECT_EQ(stands[0].options[0].real, 0u);
  ASSERT_EQ(stands[1].options.size(), 1u);
  EXPECT_EQ(stands[1].options[0].airline + " " + stands[1].options[0].type, "SAS A320");  // first fitting of row 5
  EXPECT_EQ(stands[1].options[0].registration, "REGFAKE2");
  EXPECT_TRUE(stands[2].options.empty());  // too small for every airliner: no number used
  ASSERT_EQ(stands[3].options.size(), 2u);
  EXPECT_EQ(stands[3].options[1].id, 8u);
  EXPECT_EQ(stands[3].options[1].callsign, "FAKE3");

  std::vector<Stand> other{stand(5.0)};
  lf_makeFakeTraffic("LFPG", other);  // no size test outside the listed regions
  ASSERT_EQ(other[0].options.size(), 1u);
  EXPECT_EQ(other[0].options[0].airline + " " + other[0].options[0].type, "ZZZ B738");
  gf_resetDbaseForTests();
}

// ---------------------------------------------------------------- nearest stand at a destination

TEST_F(ParkReadTest, NearestStandOfADestinationsParkFile) {
  const LatLon user{51.0, -0.4};
  std::string name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("EGLL", user, name), kNoStandDistanceNm);
  EXPECT_EQ(name, "kept");

  parkFile()
      .parkpos(ParkposEntry::at("far", 51.0 + north(0.3 * 1852.0), -0.4))
      .parkpos(ParkposEntry::at("A1", 51.0 + north(0.1 * 1852.0), -0.4))
      .parkpos(ParkposEntry::at("A2", 51.0 - north(0.1 * 1852.0), -0.4))
      .write("airports/my_thirdparty/EGLL.xml");
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGLL", user, name), 0.1, 1e-4);
  EXPECT_EQ(name, "A1");  // the first of two at the same distance

  // A stand exactly 100 nm away is not taken; no position is 0/0.
  parkFile().parkpos(ParkposEntry::idOnly("zero")).write("airports/my_thirdparty/EGKK.xml");
  name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("EGKK", LatLon{0.0, 100.0 / 60.0}, name), kNoStandDistanceNm);
  EXPECT_EQ(name, "kept");
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGKK", LatLon{0.0, 1.0 / 60.0}, name), 1.0, 1e-6);
  EXPECT_EQ(name, "zero");

  // From the server: fetched into "airport.xml" and removed again; a file
  // that is not XML stays; a failed download is logged with its address.
  fs::create_directories("server/MSFS/archive/stock");
  parkFile().parkpos(ParkposEntry::at("B7", 51.0, -0.4)).write("server/MSFS/archive/stock/EGLC.xml");
  writeFile("server/MSFS/archive/stock/EGSS.xml", "<meta><info");
  testsupport::HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGLC", user, name), 0.0, 1e-9);
  EXPECT_EQ(name, "B7");
  EXPECT_FALSE(fs::exists("airport.xml"));
  EXPECT_EQ(gf_readDestApfForClosestStand("EGSS", user, name), kNoStandDistanceNm);
  EXPECT_TRUE(fs::exists("airport.xml"));
  EXPECT_EQ(lf_resolveApfPath("archive/thirdparty/X/LFPG.xml", "t.xml"),
            fmt::format("failed to download: '{}MSFS/archive/thirdparty/X/LFPG.xml'", server.baseUrl()));
  EXPECT_TRUE(logHasLine(fmt::format("failed to download: '{}MSFS/archive/thirdparty/X/LFPG.xml'", server.baseUrl())));
}

TEST_F(ParkReadTest, ANeighboursStandElevenMetresAwayWinsTheNearestAirport) {
  const LatLon user{51.0, -0.4};
  testsupport::writeAirportList({testsupport::AirportEntry::at("EGLL", 51.0 + north(1000.0), -0.4),
                                 testsupport::AirportEntry::at("EGKA", 51.0 + north(1500.0), -0.4)},
                                "airports_msfs.xml");
  gf_resetAirportsForTests();
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  parkFile().parkpos(ParkposEntry::at("101", 51.0 + north(300.0), -0.4)).write("airports/my_thirdparty/EGLL.xml");
  parkFile().parkpos(ParkposEntry::at("7", 51.0 + north(11.0), -0.4)).write("airports/my_thirdparty/EGKA.xml");
  const AirportRec* found = gf_findClosestAirport(user);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->icao, "EGKA");
  EXPECT_TRUE(logHasLine("Airport EGLL is closest, but stand 7 at neighbouring airport EGKA is closer at 11 meters ..."));
  gf_resetAirportsForTests();
}

// ---------------------------------------------------------------- reading the park airport

TEST_F(ParkReadTest, ReadErrorsLeaveTheAirportAsItWas) {
  parkFile().dropMetaInfo("date").parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/A.xml");
  writeFile("airports/my_thirdparty/B.xml", "<meta><info");
  ParkFileBuilder noAltitude;
  noAltitude.param("airport_name", "x").parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/C.xml");
  parkFile().parkpos(ParkposEntry::idOnly("7")).parkpos(ParkposEntry::at("7", 51.0, -0.4))
      .write("airports/my_thirdparty/D.xml");

  struct Case {
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {"", "gf_readApf: xml is empty"},
      {"airports/my_thirdparty/A.xml", "airports/my_thirdparty/A.xml: refused to load (copyright)"},
      {"airports/my_thirdparty/B.xml", "airports/my_thirdparty/B.xml: could not load file: airports/my_thirdparty/B.xml: "
                                       "Error parsing start element tag at offset 10"},
      {"archive/stock/NONE.xml", "failed to download: 'http://127.0.0.1:1/MSFS/archive/stock/NONE.xml'"},
  };
  g_parkApf.airportName = "before";
  for (const Case& c : cases) {
    EXPECT_EQ(read(c.path), c.error);
    EXPECT_TRUE(g_parkStands.empty());
  }
  for (const auto& [file, code] : {std::pair{"C", 65}, std::pair{"D", 94}}) {
    try {
      read(fmt::format("airports/my_thirdparty/{}.xml", file));
      ADD_FAILURE() << file;
    } catch (const qor::UserErrorException& e) {
      EXPECT_EQ(e.code(), code);
    }
    EXPECT_TRUE(g_parkStands.empty());
    EXPECT_EQ(g_parkApf.airportName, "before");
  }
  g_parkApf.icao.clear();
  EXPECT_EQ(read("airports/my_thirdparty/A.xml"), "gf_readApf: no park airport set");
}

TEST_F(ParkReadTest, StandsGetIdsAndTheirOverlappingNeighbours) {
  const double thirtyMetres = north(30.0);
  parkFile("Heathrow", 83)
      .param("Qf_real", "71")
      .parkpos(ParkposEntry::at("A", 51.0, -0.4, 0.0, 20.0))
      .parkpos(ParkposEntry::at("B", 51.0 + thirtyMetres, -0.4, 0.0, 20.0))
      .parkpos(ParkposEntry::at("C", 51.1, -0.4, 0.0, 16.0))
      .parkpos(ParkposEntry::at("D", 51.1 + thirtyMetres, -0.4, 0.0, 16.0))
      .write("airports/my_thirdparty/EGLL.xml");
  prm::parking_percentage.set(70);
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  ASSERT_EQ(g_parkStands.size(), 4u);
  EXPECT_EQ(g_parkStands[3].id, 4u);
  EXPECT_THAT(g_parkStands[0].adjacent, ElementsAre(2u));
  EXPECT_THAT(g_parkStands[1].adjacent, ElementsAre(1u));
  EXPECT_TRUE(g_parkStands[2].adjacent.empty());
  // Without a learned file: the file's factors, and 30 % parking.
  EXPECT_EQ(m_factors, (std::pair<std::int32_t, std::int32_t>{71, -1}));
  EXPECT_EQ(prm::parking_percentage.value(), 30);
  EXPECT_EQ(g_parkApf.airportName, "Heathrow");
  EXPECT_EQ(g_parkApf.altitude, 83);
  EXPECT_EQ(g_referenceElevation.get().feet, 83.0);
  EXPECT_TRUE(g_referenceElevation.get().valid);
  EXPECT_TRUE(logHasLine(fmt::format("{:24}: {}", "num_parkpos", 4)));

  parkFile().write("airports/my_thirdparty/EMTY.xml");
  g_parkStands.clear();
  EXPECT_EQ(read("airports/my_thirdparty/EMTY.xml"), "no stands found");
}

TEST_F(ParkReadTest, AdjacencyIsThatOfEveryPairWhereverTheStandsAre) {
  // Every pair compared: what the adjacency must give.
  const auto everyPair = [](std::vector<Stand> stands) {
    std::vector<std::vector<std::uint32_t>> lists;
    for (const Stand& a : stands) {
      std::vector<std::uint32_t>& list = lists.emplace_back();
      for (const Stand& b : stands) {
        const double d = gf_distanceNm(LatLon{a.latitude, a.longitude}, LatLon{b.latitude, b.longitude});
        if (a.id != b.id && d * 1.1 < a.radius + b.radius) list.push_back(b.id);
      }
    }
    return lists;
  };
  struct Layout {
    const char* name;
    double latitude;
    double longitude;
    double spacingMetres;
    int count;
  } layouts[] = {
      {"one spot", 50.0, 8.5, 0.0, 150},          {"apron rows", 50.0, 8.5, 25.0, 400},
      {"near the pole", 89.9995, 0.0, 15.0, 200}, {"across the date line", -17.0, 179.9995, 20.0, 200},
      {"sparse", 10.0, 10.0, 400.0, 100},
  };
  std::mt19937 rng(3);
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    std::vector<Stand> stands;
    for (int i = 0; i < layout.count; ++i) {
      const double north = (i / 20) * layout.spacingMetres / 1852.0 / 60.0;
      const double east = (i % 20) * layout.spacingMetres / 1852.0 / 60.0 / std::cos(layout.latitude * kDegToRad);
      // Mostly small stands, now and then a very large one.
      const double radius = i % 37 == 5 ? 900.0 : 5.0 + static_cast<double>(rng() % 400) / 10.0;
      const double longitude = std::remainder(layout.longitude + east, 360.0);
      stands.emplace_back(fmt::format("S{}", i), std::vector<StandOption>{},
                          StandPosition{layout.latitude + north, longitude, 0.0}, radius, 1, 1, 1);
      stands.back().id = static_cast<std::uint32_t>(i + 1);
    }
    const auto expected = everyPair(stands);
    ASSERT_TRUE(lf_linkAdjacentStands(stands));
    for (std::size_t i = 0; i < stands.size(); ++i) ASSERT_EQ(stands[i].adjacent, expected[i]) << stands[i].name;
  }

  // A close ends it early.
  std::vector<Stand> two{standWith({}), standWith({})};
  two[1].id = 2;
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(lf_linkAdjacentStands(two, &stop));
}

TEST_F(ParkReadTest, AParkFileKeepsAtMostItsStandLimitAndACloseAbandonsTheRead) {
  ParkFileBuilder builder = parkFile();
  const std::size_t count = kApfMaxStands + 2;
  for (std::size_t i = 0; i < count; ++i) {
    builder.parkpos(ParkposEntry::at(fmt::format("P{}", i), 50.0 + static_cast<double>(i / 100) * 0.01,
                                     8.0 + static_cast<double>(i % 100) * 0.01));
  }
  builder.write("airports/my_thirdparty/EGLL.xml");
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  EXPECT_EQ(g_parkStands.size(), kApfMaxStands);
  EXPECT_EQ(g_parkStands.back().name, fmt::format("P{}", kApfMaxStands - 1));
  EXPECT_TRUE(logContains(fmt::format("more than {} stands, stand P{} and the stands after it are ignored",
                                      kApfMaxStands, kApfMaxStands)));

  g_parkStands.clear();
  g_stopRun = true;
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "gf_readApf: abandoned for the close");
  g_stopRun = false;
  EXPECT_TRUE(g_parkStands.empty());
}

TEST_F(ParkReadTest, AReadLogsTheFirstSkippedStandsAndStopsPastTheSkipLimit) {
  const auto outside = [](std::size_t i) { return ParkposEntry::at(fmt::format("X{}", i), 999, 1); };
  const auto badHours = [](std::size_t i) {
    return ParkposEntry::at(fmt::format("X{}", i), 51.0 + i * 0.001, 1).opt(ParkOptEntry::of("R", "AAA", "A320", "1", "99"));
  };
  const auto lacking = [](std::size_t) { return ParkposEntry::idOnly("zz"); };
  const std::size_t past = kApfMaxSkippedStands + 1;
  struct Case {
    const char* name;
    bool learned;  // the entries are in the learned file, else in the park file
    std::size_t count;
    std::function<ParkposEntry(std::size_t)> entry;
    const char* line;
    std::size_t skipped;  // lines about skipped entries, shown or counted
  } cases[] = {
      {"park stands outside the world", false, 300, outside, "skipped, invalid latitude", 300},
      {"invalid hours", false, 300, badHours, "invalid hour '99'", 300},
      {"learned stands the park file lacks", true, 300, lacking, "learned stand zz in", 300},
      {"more park stands skipped than the limit", false, past, outside, "skipped, invalid latitude", past},
      {"more learned stands lacking than the limit", true, past, lacking, "learned stand zz in", past - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ParkFileBuilder park = parkFile();
    park.parkpos(ParkposEntry::at("1", 51.0, -0.4));
    ParkFileBuilder learned = parkFile();
    for (std::size_t i = 0; i < c.count; ++i) (c.learned ? learned : park).parkpos(c.entry(i));
    park.parkpos(ParkposEntry::at("LATE", 50.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
    learned.write("airports/learned/thirdparty/simaddon/EGLL.xml");
    testsupport::openTestLog();
    g_parkStands.clear();
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    std::size_t shown = 0;
    for (const std::string& line : testsupport::logLines()) shown += line.find(c.line) != std::string::npos;
    EXPECT_EQ(shown, kApfSkipLinesShown);
    EXPECT_TRUE(logContains(fmt::format("{} more lines about skipped stands and values are not shown",
                                        c.skipped - kApfSkipLinesShown)));
    // Past the limit the rest of the file is not read, and a learned file
    // read in part is left as it is.
    const bool whole = c.count < past;
    EXPECT_EQ(g_parkStands.back().name == "LATE", whole || c.learned);
    EXPECT_EQ(g_parkApf.keepLearnedFile.empty(), whole || !c.learned);
  }
}
