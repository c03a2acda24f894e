#include "airport_scan_fixture.h"

#include <tuple>

TEST_F(AirportScanTest, FiltersAndRoots) {
  for (const char* ext : {".bgl", ".BGL"}) EXPECT_TRUE(lf_isBglFile(ext));
  for (const char* ext : {".Bgl", ".bGL", ".bgl2", ""}) EXPECT_FALSE(lf_isBglFile(ext));
  EXPECT_FALSE(lf_isExcludedScanPath("sim/Community/Aircraft-Parking/scenery"));
  EXPECT_TRUE(lf_isExcludedScanPath("sim/Community/my-aircraft-parking"));
  EXPECT_TRUE(lf_isExcludedScanPath("sim/Official/fs-base-x"));
  EXPECT_FALSE(lf_isExcludedScanPath(std::string(249, 'x')));
  EXPECT_TRUE(lf_isExcludedScanPath(std::string(250, 'x')));
  EXPECT_EQ(lf_airportScanRoots(), (std::vector<std::string>{"sim/Official", "sim/Community"}));
  g_isMsfs2020 = false;
  EXPECT_EQ(lf_airportScanRoots(), (std::vector<std::string>{"sim/Community"}));
}

TEST_F(AirportScanTest, PublisherFromPathOrManifest) {
  const auto publisher = [](const std::string& path) { return gf_findAirportPublisher(path).publisher; };
  EXPECT_EQ(publisher("sim/Community/MICROSOFT-AIRPORT-egll/a.bgl"), "simaddon");
  EXPECT_EQ(publisher("sim/Community/somepub-egll/a.bgl"), "Some Publisher");

  // The manifest two levels up is found by the upward search; its names go with the airport.
  writeFile("sim/Community/pkga/manifest.json", R"({"manufacturer": null, "creator": "FlyTampa", "title": "t"})");
  const AirportPublisher a = gf_findAirportPublisher("sim/Community/pkga/scenery/global/a.bgl");
  EXPECT_EQ(a.publisher, "FlyTampa");
  EXPECT_EQ(a.creator, "FlyTampa");
  // One folder deeper: the cut is the package itself.
  writeFile("sim/Community/group/pkgb/manifest.json", R"({"manufacturer": "Some Publisher"})");
  EXPECT_EQ(publisher("sim/Community/group/pkgb/a.bgl"), "Some Publisher");
  // A manifest in other letter case is not one; the search stops below Community.
  writeFile("sim/Community/pkgc/Manifest.json", R"({"creator": "FlyTampa"})");
  writeFile("sim/Community/manifest.json", R"({"creator": "FlyTampa"})");
  EXPECT_EQ(publisher("sim/Community/pkgc/a.bgl"), "unknown");
  writeFile("sim/Community/pkgd/manifest.json", R"({"creator": 5})");
  EXPECT_EQ(publisher("sim/Community/pkgd/a.bgl"), "unknown");
  writeFile("sim/Community/pkge/manifest.json", std::string(kManifestMaxBytes + 1, ' '));
  EXPECT_EQ(publisher("sim/Community/pkge/a.bgl"), "unknown");
  writeFile("sim/Community/pkgf/manifest.json", R"({"creator": "Nobody"})");
  EXPECT_EQ(publisher("sim/Community/pkgf/a.bgl"), "unknown");
  // A folder of a package named like a package root is searched; the
  // install's own roots are not.
  writeFile("sim/Community/pkgi/manifest.json", R"({"creator": "FlyTampa"})");
  EXPECT_EQ(publisher("sim/Community/pkgi/scenery/official/a.bgl"), "FlyTampa");
  writeFile("sim/Community/pkgj/manifest.json", R"({"creator": "FlyTampa"})");
  EXPECT_EQ(publisher("sim/Community/pkgj/scenery/Community/a.bgl"), "FlyTampa");
  writeFile("sim/Official/manifest.json", R"({"creator": "FlyTampa"})");
  EXPECT_EQ(publisher("sim/Official/pkg/scenery/a.bgl"), "unknown");
  // A package in another Community folder: the search stops at that folder.
  writeFile("addons/Community/manifest.json", R"({"creator": "FlyTampa"})");
  writeFile("addons/manifest.json", R"({"creator": "FlyTampa"})");
  EXPECT_EQ(publisher("addons/Community/pkgk/a.bgl"), "unknown");

  const std::vector<std::string> log = gf_airportScanLogLines();
  EXPECT_THAT(log, Contains("from filename => publisher simaddon"));
  EXPECT_THAT(log, Contains("publisher 'Some Publisher' found"));
  EXPECT_THAT(log, Contains("sim/Community/pkga/manifest.json found"));
  EXPECT_THAT(log, Contains("from manifest.json: creator 'FlyTampa' => publisher 'FlyTampa'"));
  EXPECT_THAT(log, Contains("from manifest.json: manufacturer 'Some Publisher' => publisher 'Some Publisher'"));
  EXPECT_THAT(log, Contains("===> No publisher found"));
  EXPECT_THAT(log, Contains(HasSubstr("exception in gf_searchManifest: [json.exception.type_error")));
  EXPECT_THAT(log, Contains(HasSubstr("more than the 1048576 a file of its kind may have")));
  EXPECT_THAT(log, Contains("no valid info found in manifest about publisher, manufacturer:'', creator:'Nobody' "
                            "sim/Community/pkgf/a.bgl"));
  EXPECT_THAT(log, Not(Contains("sim/Community/manifest.json found")));

  // Searches answered from memory (the airport records of one BGL file)
  // give the same lines, each in its airport's block.
  {
    const ManifestSearchMemo memo;
    EXPECT_EQ(publisher("sim/Community/pkga/scenery/global/a.bgl"), "FlyTampa");
    fs::remove("sim/Community/pkga/manifest.json");
    EXPECT_EQ(publisher("sim/Community/pkga/scenery/global/a.bgl"), "FlyTampa");
  }
  EXPECT_EQ(std::ranges::count(gf_airportScanLogLines(), std::string("sim/Community/pkga/manifest.json found")), 3);

  // A manifest of empty lines is no JSON; one that cannot be opened has no
  // lines, and the upward search goes on.
  writeFile("sim/Community/pkgg/manifest.json", "\n\n");
  EXPECT_EQ(publisher("sim/Community/pkgg/a.bgl"), "unknown");
  EXPECT_THAT(gf_airportScanLogLines(), Contains(HasSubstr("exception in gf_searchManifest: [json.exception.parse_error")));
  writeFile("sim/Community/pkgh/manifest.json", R"({"creator": "FlyTampa"})");
  writeFile("sim/Community/pkgh/scenery/global/manifest.json", R"({"creator": "Nobody"})");
  Unreadable locked({"sim/Community/pkgh/scenery/global/manifest.json"});
  if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
  EXPECT_EQ(publisher("sim/Community/pkgh/scenery/global/a.bgl"), "FlyTampa");
}

TEST_F(AirportScanTest, CompleteScanLinksGeneratesAndReplacesWhatThePreviousScanMade) {
  writeFile("airports/my_simaddon/OLD.xml", "emptied in MSFS 2020 mode");
  writeFile("airports/my_thirdparty/OLD.xml", "made by the previous scan");
  writeFile("airports/scanned_airport_files.txt", "my_thirdparty/OLD.xml\n");
  writeFile("airports/my_thirdparty/USER.xml", "the user's own");
  writeAirport("Community/somepub-egll/scenery/EGLL.bgl", "EGLL", 124);     // archived with 123
  writeAirport("Community/somepub-egkk/EGKK.BGL", "EGKK", 1);               // item without a number
  writeAirport("Community/somepub-egl1/e.bgl", "EGL1", 123);                // archived with 123: nothing generated
  writeAirport("Official/asobo-airport-kjfk/k.bgl", "KJFK", 3);             // simaddon, archived
  writeAirport("Official/asobo-airport-lfpg/l.bgl", "LFPG", 1, 1);           // simaddon, not archived
  writeAirport("Community/unknownpkg/scenery/EDDF.bgl", "EDDF", 12, 3);     // no publisher
  writeAirport("Community/somepub-x/APX12345.Bgl", "LFPO", 2);              // extension not read
  writeAirport("Community/somepub-x/AFCAD Updates/a.bgl", "LFPB", 2);       // skip word
  writeAirport("Community/my-aircraft-parking/a.bgl", "LFOB", 2);           // excluded folder
  // What a killed scan left in the folders it stages its files in.
  writeFile("airports/my_thirdparty.scan/ZZZZ.xml", "left by a killed scan");
  writeFile("airports/my_simaddon.scan/ZZZZ.txt", "left by a killed scan");
  gf_airportScanStep();

  const fs::path third = g_myThirdpartyFolder;
  EXPECT_FALSE(fs::exists(third / "OLD.xml"));
  EXPECT_EQ(readFile(third / "USER.xml"), "the user's own");
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "OLD.xml"));
  // Each file the scan made, with what it holds and the BGL file it came from.
  EXPECT_EQ(readFile("airports/scanned_airport_files.txt"),
            std::string("my_simaddon/KJFK.txt\tsim/Official/asobo-airport-kjfk/k.bgl\n") +
                "my_simaddon/LFPG.xml\tsim/Official/asobo-airport-lfpg/l.bgl\n" +
                recordLine("my_thirdparty/EDDF.xml", "sim/Community/unknownpkg/scenery/EDDF.bgl") +
                recordLine("my_thirdparty/EGKK.txt", "sim/Community/somepub-egkk/EGKK.BGL") +
                recordLine("my_thirdparty/EGKK.xml", "sim/Community/somepub-egkk/EGKK.BGL") +
                recordLine("my_thirdparty/EGL1.txt", "sim/Community/somepub-egl1/e.bgl") +
                recordLine("my_thirdparty/EGLL.txt", "sim/Community/somepub-egll/scenery/EGLL.bgl") +
                recordLine("my_thirdparty/EGLL.xml", "sim/Community/somepub-egll/scenery/EGLL.bgl"));
  EXPECT_FALSE(fs::exists(third / "ZZZZ.xml"));
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "ZZZZ.txt"));
  EXPECT_EQ(readFile(third / "EGLL.txt"), "archive/thirdparty/Some%20Publisher/EGLL.xml\n");
  EXPECT_TRUE(fs::exists(third / "EGLL.xml"));
  EXPECT_EQ(readFile(third / "EGKK.txt"), "archive/thirdparty/Some%20Publisher/EGKK.xml\n");
  EXPECT_TRUE(fs::exists(third / "EGKK.xml"));
  EXPECT_TRUE(fs::exists(third / "EGL1.txt"));
  EXPECT_FALSE(fs::exists(third / "EGL1.xml"));
  EXPECT_EQ(readFile(g_mySimaddonFolder / "KJFK.txt"), "archive/simaddon/KJFK.xml\n");
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "KJFK.xml"));
  EXPECT_TRUE(fs::exists(g_mySimaddonFolder / "LFPG.xml"));
  EXPECT_THAT(readFile(third / "EDDF.xml"), HasSubstr("<parameter name=\"BGLpath\" value=\"sim/Community/unknownpkg"));
  for (const char* icao : {"LFPO", "LFPB", "LFOB"}) EXPECT_FALSE(fs::exists(third / (std::string(icao) + ".xml")));
  EXPECT_FALSE(fs::exists("airports/my_thirdparty.scan"));

  const std::vector<std::string> log = scanLog();
  EXPECT_THAT(log, Contains("thirdparty airport EGLL linked to archive/thirdparty/Some%20Publisher/EGLL.xml"));
  EXPECT_THAT(log, Contains("===> EGLL has 124 parkpos while archived one has 123"));
  EXPECT_THAT(log, Not(Contains(HasSubstr("EGL1 has"))));
  EXPECT_THAT(log, Contains("===> EGKK has 1 parkpos while archived one has 0"));
  EXPECT_THAT(log, Contains("Generated EGKK.xml: 1 position"));
  EXPECT_THAT(log, Contains("simaddon airport KJFK linked to archive/simaddon/KJFK.xml"));
  EXPECT_THAT(log, Contains("LFPG does not exist as simaddon"));
  EXPECT_THAT(log, Not(Contains(HasSubstr("LFPG has"))));
  EXPECT_THAT(log, Contains("Generated LFPG.xml: 1 position, of which 1 helipad"));
  EXPECT_THAT(log, Contains("Generated EDDF.xml: 12 positions, of which 3 helipads"));
  EXPECT_TRUE(logHasLine("===> Some Publisher EGKK EGKK invalid number"));
  EXPECT_TRUE(logHasLine("Airports scan successful"));
  EXPECT_TRUE(logHasLine("'airports/my_thirdparty/EDDF.xml' saved"));
  EXPECT_TRUE(logHasLine("All your third party airports are done, no off line learning needed."));
  EXPECT_FALSE(fs::exists(g_tbloFolderName));
  EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
  EXPECT_TRUE(g_airportFilesWritten.load());
  EXPECT_EQ(g_runningTasks.load(), 0);

  const DisplaySnapshot d = gf_displaySnapshot();
  EXPECT_EQ(d.simaddonCount, 2);
  EXPECT_EQ(d.thirdpartyCount, 7);  // EGLL, EGKK, EDDF, USER .xml; EGLL, EGKK, EGL1 .txt
}

TEST_F(AirportScanTest, Msfs2024ModeWalksCommunityOnlyAndGuessesUnidentifiedAirports) {
  g_isMsfs2020 = false;
  writeFile("airports/my_simaddon/PKG.xml", "from the package");
  writeAirport("Official/asobo-airport-kjfk/k.bgl", "KJFK", 3);
  writeAirport("Community/somepub-egll/EGLL.bgl", "EGLL", 10);  // linked: finished without stands
  BglBuilder().unidentifiedSection({{.icao = "EDDF", .parking = gates(2)}}).write("sim/Community/microsoft-airport-x/lfpg.bgl");
  BglBuilder().unidentifiedSection({}).write("sim/Community/pkg-kjfk-y/scenery/abc.bgl");
  writeFile("sim/Community/titled/manifest.json", R"({"title": "eddf frankfurt"})");
  BglBuilder().unidentifiedSection({}).write("sim/Community/titled/scenery/abc.bgl");
  gf_scanAddonAirports();

  EXPECT_EQ(readFile(g_mySimaddonFolder / "PKG.xml"), "from the package");
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "KJFK.txt"));
  EXPECT_EQ(readFile(g_myThirdpartyFolder / "EGLL.txt"), "archive/thirdparty/Some%20Publisher/EGLL.xml\n");
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EGLL.xml"));
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "EDDF.xml"));
  const std::vector<std::string> log = scanLog();
  EXPECT_THAT(log, Not(Contains(HasSubstr("EGLL has"))));
  EXPECT_THAT(log, Contains(HasSubstr("==> Not recognised airport sim/Community/microsoft-airport-x/lfpg.bgl")));
  EXPECT_THAT(log, Contains("Not recognised airport has ICAO code 'LFPG' as BGL stem"));
  EXPECT_THAT(log, Contains("LFPG does not exist as simaddon"));
  EXPECT_THAT(log, Contains("Not recognised airport has ICAO 'KJFK' in BGL path 'sim/Community/pkg-kjfk-y/scenery/abc.bgl'"));
  EXPECT_THAT(log, Contains("Not recognised airport has ICAO 'EDDF' in title 'eddf frankfurt' of manifest"));
}

TEST_F(AirportScanTest, NothingFoundMissingRootsAndStoppedScans) {
  prm::MSFS_INSTALL_PATH.set("nosim");
  gf_scanAddonAirports();
  EXPECT_TRUE(logHasLine("nosim/Official does not exist, skipped!"));
  EXPECT_TRUE(logHasLine("nosim/Community does not exist, skipped!"));
  EXPECT_EQ(gf_statusSnapshot().status, "Warning: Scan has not found any add-on airports");
  EXPECT_FALSE(logHasLine("Airports scan successful"));
  EXPECT_TRUE(fs::exists(g_airportsScanLogPath));
  EXPECT_TRUE(logContains("airports scan ends"));
  EXPECT_FALSE(prm::SCAN_AIRPORTS.value());

  // A later scan that finds nothing still counts the files written earlier.
  g_airportFilesWritten = true;
  gf_scanAddonAirports();
  EXPECT_TRUE(logHasLine("Airports scan successful"));

  // A stopped scan keeps the previous files and the setting on.
  prm::MSFS_INSTALL_PATH.set("sim");
  prm::SCAN_AIRPORTS.set(true);
  writeFile("airports/my_thirdparty/EGLL.xml", "previous");
  writeAirport("Community/somepub-egll/EGLL.bgl", "EGLL", 200);
  g_stopRun = true;
  gf_scanAddonAirports();
  EXPECT_EQ(readFile("airports/my_thirdparty/EGLL.xml"), "previous");
  EXPECT_TRUE(prm::SCAN_AIRPORTS.value());
  EXPECT_TRUE(logHasLine("Airports scan stopped, the previous airport files are kept"));
}

TEST_F(AirportScanTest, DamagedFilesAreLinkedAndReadAsFarAsTheyAreSound) {
  // A parking count beyond its entries, whose airport record holds bytes
  // that read as one more entry; an intact airport behind it.
  BglAirportSpec crowded{.icao = "EGLL", .parking = gates(2), .parkingCount = 3, .paddingBytes = 56};
  BglBuilder().airportSection({crowded, {.icao = "LFPG", .parking = gates(1)}}).write("sim/Community/unknownpkg/a.bgl");
  // An airport record too short for sub-records, and one cut by the end of its file.
  BglBuilder().airportSection({{.icao = "EGKK", .recordSize = 0x30}}).write("sim/Community/somepub-egkk/short.bgl");
  const std::string cut = BglBuilder().airportSection({{.icao = "EGL1", .parking = gates(3)}}).bytes();
  writeFile("sim/Community/somepub-egl1/cut.bgl", cut.substr(0, cut.size() - 60));
  // Each airport record of a file gives lines of its own: thousands of them give a bounded number.
  BglBuilder()
      .airportSection(std::vector<BglAirportSpec>(kAirportScanMaxLinesPerFile, {.icao = "ZZZZ"}))
      .write("sim/Community/unknownpkg/many.bgl");
  // A manifest that does not parse.
  writeFile("sim/Community/unknownpkg/manifest.json", "{");
  // A code that Windows keeps for a device names no file.
  BglBuilder().airportSection({{.icao = "COM1", .parking = gates(1)}}).write("sim/Community/unknownpkg/com.bgl");
  gf_scanAddonAirports();

  pugi::xml_document egll;
  std::string error;
  ASSERT_TRUE(gf_loadApfDocument(g_myThirdpartyFolder / "EGLL.xml", egll, error)) << error;
  EXPECT_EQ(egll.child("parkpositions").select_nodes("parkpos").size(), 2u);
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "LFPG.xml"));
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EGKK.txt"));
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EGL1.txt"));
  const std::vector<std::string> log = scanLog();
  EXPECT_THAT(log, Contains("Skipped position with radius 0.0 m in sim/Community/unknownpkg/a.bgl"));
  EXPECT_THAT(log, Contains("Try find publisher in: sim/Community/somepub-egkk/short.bgl"));
  EXPECT_TRUE(logHasLine("===> Exception in lf_processBGLfile: sim/Community/somepub-egl1/cut.bgl"));
  EXPECT_FALSE(logContains("Exception in lf_processBGLfile: sim/Community/unknownpkg"));
  EXPECT_THAT(log, Contains("===> ICAO 'COM1' cannot name a file, airport skipped in sim/Community/unknownpkg/com.bgl"));
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "COM1.xml"));
  EXPECT_LT(log.size(), 2 * kAirportScanMaxLinesPerFile);
  EXPECT_THAT(log, Contains(::testing::MatchesRegex(
                       "===> sim/Community/unknownpkg/many.bgl: [0-9]+ more scan-log lines of this file are not shown")));
}

// A scan that could not read a part keeps the previous files that part may
// have made (known by the source the record gives, or by nothing better
// known for names of older records) and removes the others; it ends, commits
// what the other parts gave and switches the setting off, saying on the
// status line what it could not read.
TEST_F(AirportScanTest, AScanThatCouldNotReadEverythingKeepsOnlyWhatThatPartMade) {
  struct Case {
    const char* name;
    std::vector<fs::path> unreadable;
    const char* missingRoot;
    bool previous;        // a previous scan's files are there
    bool kept;            // those of unknown source stay
    bool officialKept;    // the one made from the Official folder stays
    std::string line;     // in a line of the scan log
    std::string part;     // named on the status line ("": no error)
    bool listable = false;  // the unreadable folders can be listed, their entries not looked at
  };
  const std::vector<Case> cases{
      {"a package folder cannot be listed", {"sim/Community/locked"}, nullptr, true, true, false,
       "===>  airports search skipped folder sim/Community/locked, its airports are missing: Permission denied",
       "sim/Community/locked"},
      {"a BGL file cannot be opened", {"sim/Community/unknownpkg/b.bgl"}, nullptr, true, true, false,
       "===>  airports search skipped file sim/Community/unknownpkg/b.bgl, its airports are missing: Permission denied",
       "sim/Community/unknownpkg/b.bgl"},
      {"the first root does not exist", {}, "sim/Official", true, true, true, "Generated LFPG.xml: 2 positions",
       "sim/Official"},
      {"the first root cannot be listed", {"sim/Official"}, nullptr, true, true, true,
       "===>  airports search in folder sim/Official aborted because of iterator problem", "sim/Official"},
      {"nothing to keep", {"sim/Community/locked"}, nullptr, false, false, false, "Generated LFPG.xml: 2 positions", ""},
      {"a package folder can be listed but not entered", {"sim/Community/locked"}, nullptr, true, true, false,
       "===>  airports search skipped file sim/Community/locked/a.bgl, its airports are missing: Permission denied",
       "sim/Community/locked/a.bgl", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("airports");
    fs::remove_all("sim");
    fs::create_directories("sim/Official");
    gf_clearError();
    prm::SCAN_AIRPORTS.set(true);
    if (c.previous) {
      for (const char* file : {"my_thirdparty/OLD.xml", "my_simaddon/KJFK.xml", "my_thirdparty/GONE.xml",
                               "my_simaddon/KOFF.xml"})
        writeFile(fs::path("airports") / file, "previous");
      writeFile("airports/scanned_airport_files.txt",
                "my_thirdparty/OLD.xml\nmy_thirdparty/GONE.xml\tsim/Community/removedpkg/g.bgl\n"
                "my_simaddon/KOFF.xml\tsim/Official/asobo-airport-koff/k.bgl\n");
    }
    writeAirport("Community/locked/a.bgl", "EDDF", 2);
    writeAirport("Community/unknownpkg/a.bgl", "LFPG", 2);
    writeAirport("Community/unknownpkg/b.bgl", "EGLL", 2);
    if (c.missingRoot != nullptr) fs::remove_all(c.missingRoot);
    const auto successes = [] {
      const std::vector<std::string> lines = logLines();
      return std::count(lines.begin(), lines.end(), "Airports scan successful");
    };
    const auto successesBefore = successes();
    {
      Unreadable locked(c.unreadable);
      if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
      for (const fs::path& path : c.unreadable)
        if (c.listable) fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      gf_scanAddonAirports();
    }
    EXPECT_THAT(scanLog(), Contains("Generated LFPG.xml: 2 positions"));  // the second root is walked
    EXPECT_THAT(scanLog(), Contains(HasSubstr(c.line)));
    EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "LFPG.xml"));
    EXPECT_EQ(fs::exists(g_myThirdpartyFolder / "OLD.xml"), c.kept);
    EXPECT_EQ(fs::exists(g_mySimaddonFolder / "KJFK.xml"), c.kept);
    EXPECT_EQ(fs::exists(g_mySimaddonFolder / "KOFF.xml"), c.officialKept);
    EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "GONE.xml"));  // its source is gone from a root that was read
    EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
    EXPECT_EQ(successes() - successesBefore, c.part.empty() ? 1 : 0);  // no success after an error
    const std::string error = gf_statusSnapshot().error;
    if (c.part.empty()) {
      EXPECT_EQ(error, "");
    } else {
      // The status line names the part by its last name; the scan log has its path.
      EXPECT_THAT(error, HasSubstr("could not read " + fs::path(c.part).filename().string() + ":"));
      EXPECT_THAT(error, HasSubstr("keep their files; tick \"Scan for addon airports\" to scan again"));
    }
    const std::set<std::string> record = recordEntries();
    EXPECT_TRUE(record.contains("my_thirdparty/LFPG.xml"));
    EXPECT_EQ(record.contains("my_thirdparty/OLD.xml"), c.kept);
    EXPECT_EQ(record.contains("my_simaddon/KOFF.xml"), c.officialKept);
    EXPECT_FALSE(record.contains("my_thirdparty/GONE.xml"));
    EXPECT_EQ(lastScanLine(), "-------------------------- airports scan ends    ----------------------------");
  }
  EXPECT_TRUE(logHasLine("===> airports search skipped folder sim/Community/locked: Permission denied"));
  EXPECT_TRUE(logContains("===> airports search skipped file sim/Community/unknownpkg/b.bgl: Permission denied"));
  EXPECT_TRUE(logContains("===> airports search could not walk sim/Official to its end"));
}

// A BGL file the scan did not read whole counts as not read: the airports
// it held keep their previous files, and only an airport without one gets
// what could be read.
TEST_F(AirportScanTest, AFileNotReadWholeNeverReplacesAPreviousFile) {
  const std::string whole = BglBuilder().otherSection(0x65, 8).airportSection({{.icao = "LMML", .parking = gates(78)}}).bytes();
  const fs::path bgl = "sim/Community/unknownpkg/LMML.bgl";
  const auto sparse = [&] { writeSparseFile(bgl, kBglMaxFileBytes + 1, whole); };
  struct Case {
    const char* name;
    std::function<void()> damage;
    bool previous;          // a complete scan made LMML.xml before
    std::size_t stands;     // in LMML.xml afterwards (0: none)
    bool unread = true;     // the file counts as not read whole
  };
  const auto cut = [&](std::size_t bytes) { return [&, bytes] { writeFile(bgl, whole.substr(0, bytes)); }; };
  const std::vector<Case> cases{
      {"cut inside its parking entries", cut(whole.size() - 60 * 56), true, 78},
      {"cut inside its section table", cut(80), true, 78},
      {"cut inside its header", cut(40), true, 78},
      {"cut before its header says what it is", cut(4), true, 78},
      {"left empty", cut(0), true, 78},
      {"larger than the cap", sparse, true, 78},
      {"cut, with no previous file", cut(whole.size() - 60 * 56), false, 18},
      {"a small file that is no BGL file", [&] { writeFile(bgl, std::string(40, 'x')); }, true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("airports");
    fs::remove_all("sim");
    fs::create_directories("sim/Official");
    writeAirport("Community/unknownpkg/EDDF.bgl", "EDDF", 2);
    if (c.previous) {
      writeFile(bgl, whole);
      gf_scanAddonAirports();
      ASSERT_EQ(standCount(g_myThirdpartyFolder / "LMML.xml"), 78u);
    }
    c.damage();
    writeAirport("Community/unknownpkg/EDDF.bgl", "EDDF", 3);
    gf_clearError();
    prm::SCAN_AIRPORTS.set(true);
    gf_scanAddonAirports();
    EXPECT_EQ(standCount(g_myThirdpartyFolder / "LMML.xml"), c.stands);
    EXPECT_EQ(standCount(g_myThirdpartyFolder / "EDDF.xml"), 3u);
    EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
    EXPECT_EQ(recordEntries().contains("my_thirdparty/LMML.xml"), c.stands > 0);
    const std::string error = gf_statusSnapshot().error;
    if (c.previous && c.unread) {
      EXPECT_THAT(error, HasSubstr("could not read " + bgl.filename().string() + ": its airports keep their files"));
      EXPECT_THAT(scanLog(), Contains("===> my_thirdparty/LMML.xml keeps its previous file: " + bgl.string() +
                                      " could not be read whole"));
    } else {
      EXPECT_EQ(error, "");
    }
    const std::vector<std::string> log = scanLog();
    EXPECT_EQ(std::ranges::any_of(log, [&](const std::string& l) { return l.starts_with("===>") && l.find(bgl.string()) != std::string::npos; }),
              c.unread);
    EXPECT_EQ(lastScanLine(), "-------------------------- airports scan ends    ----------------------------");
  }
}

// A BGL file over the read limit that holds no airport section (a large
// model library) is passed over as any file without airports: no error, and
// the files of removed scenery go, also those an older record names alone.
TEST_F(AirportScanTest, ALargeFileWithoutAirportsIsPassedOver) {
  writeAirport("Community/unknownpkg/EDDF.bgl", "EDDF", 2);
  writeAirport("Community/removedpkg/LFPG.bgl", "LFPG", 2);
  gf_scanAddonAirports();
  ASSERT_TRUE(fs::exists(g_myThirdpartyFolder / "LFPG.xml"));
  writeFile("airports/scanned_airport_files.txt", "my_thirdparty/EDDF.xml\nmy_thirdparty/LFPG.xml\n");
  fs::remove_all("sim/Community/removedpkg");
  const fs::path models = "sim/Official/asobo-modellib/modelLib.BGL";
  writeSparseFile(models, kBglMaxFileBytes + 1, BglBuilder().otherSection(0x2B, 8).otherSection(0x65, 8).bytes());
  gf_clearError();
  prm::SCAN_AIRPORTS.set(true);
  gf_scanAddonAirports();
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "LFPG.xml"));
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EDDF.xml"));
  EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
  EXPECT_EQ(gf_statusSnapshot().error, "");
  EXPECT_FALSE(logContains("modelLib.BGL"));
  EXPECT_THAT(scanLog(), Not(Contains(HasSubstr("modelLib.BGL"))));
}

// The offline-learning check reads the park file that stays: where a BGL
// file not read whole leaves an airport its previous file, "TBLO" gets a copy
// of that file, not of what could be read, and the file stays in place, also
// for an airport linked to the archive by a ".txt" (whose own generated file
// the check removes).
TEST_F(AirportScanTest, TheOfflineLearningCheckReadsTheFileThatStays) {
  HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());
  for (const auto& [icao, package, linked] : {std::tuple{"LMML", "somepub-lmml", false}, {"EGKK", "somepub-egkk", true}}) {
    SCOPED_TRACE(icao);
    fs::remove_all("airports");
    const std::string xml = fmt::format("{}.xml", icao);
    const fs::path stock = fs::path("server/MSFS/archive/stock") / xml;
    // The linked airport is no candidate at first, so that its park file stays.
    if (!linked) writeFile(stock, stockFile(param("Qf_soft", "0") + param("RT_traffic_week", "27")));
    const std::string whole = BglBuilder().otherSection(0x65, 8).airportSection({{.icao = icao, .parking = gates(78)}}).bytes();
    const fs::path bgl = fs::path("sim/Community") / package / "a.bgl";
    writeFile(bgl, whole);
    prm::SCAN_AIRPORTS.set(true);
    gf_scanAddonAirports();
    ASSERT_EQ(standCount(g_myThirdpartyFolder / xml), 78u);
    if (!linked) {
      ASSERT_EQ(standCount(fs::path(g_tbloFolderName) / xml), 78u);
    }
    writeFile(stock, stockFile(param("Qf_soft", "0") + param("RT_traffic_week", "27")));
    writeFile(bgl, whole.substr(0, whole.size() - 60 * 56));
    prm::SCAN_AIRPORTS.set(true);
    gf_scanAddonAirports();
    EXPECT_EQ(fs::exists(g_myThirdpartyFolder / fmt::format("{}.txt", icao)), linked);
    EXPECT_EQ(standCount(g_myThirdpartyFolder / xml), 78u);
    EXPECT_EQ(standCount(fs::path(g_tbloFolderName) / xml), 78u);
  }
}

// The task's own read: whatever keeps it from reading the whole file makes
// the file a part the scan could not read.
TEST_F(AirportScanTest, ATaskThatCannotReadItsFileWholeCountsItUnread) {
  const std::string bytes = BglBuilder().airportSection({{.icao = "EDDF", .parking = gates(3)}}).bytes();
  writeFile("bgl/whole.bgl", bytes);
  writeFile("bgl/cut.bgl", bytes.substr(0, bytes.size() - 20));
  writeFile("bgl/locked.bgl", bytes);
  writeSparseFile("bgl/large.bgl", kBglMaxFileBytes + 1);
  ScanOutput output;
  {
    Unreadable locked({"bgl/locked.bgl"});
    if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
    for (const char* file : {"bgl/whole.bgl", "bgl/cut.bgl", "bgl/locked.bgl", "bgl/large.bgl", "bgl/gone.bgl"})
      lf_processBGLfile(file);
  }
  std::set<std::string> unread;
  for (const ScanSources::Part& part : output.sources().unreadParts()) unread.insert(part.path);
  EXPECT_EQ(unread, (std::set<std::string>{"bgl/cut.bgl", "bgl/locked.bgl", "bgl/large.bgl", "bgl/gone.bgl"}));
  EXPECT_TRUE(output.sources().wasReadWhole(lf_pathKey("bgl/whole.bgl")));
  writeFile("previous/EDDF.xml", "the previous file");
  EXPECT_TRUE(output.sources().previousFileStays("my_thirdparty/EDDF.xml", "previous/EDDF.xml"));
  EXPECT_FALSE(output.sources().previousFileStays("my_thirdparty/EDDF.xml", "previous/none.xml"));
}

// A user's own park file of a name the scan makes, which no scan made, is
// kept aside (never over an earlier copy) before the generated one replaces it.
TEST_F(AirportScanTest, ACloseDuringTheOfflineLearningCheckKeepsThePreviousFiles) {
  writeFile("airports/my_thirdparty/EDDF.xml", "previous");
  writeFile("airports/scanned_airport_files.txt", "my_thirdparty/EDDF.xml\n");
  writeFile(fs::path(g_tbloFolderName) / "EGKK.xml", "from the last check");
  writeAirport("Community/unknownpkg/a.bgl", "EDDF", 3);
  writeAirport("Community/unknownpkg/b.bgl", "LFPG", 3);
  RawSocketServer silent;  // accepts and never answers
  gf_setDownloadServer(silent.baseUrl());
  const DownloadLimits limits = gf_downloadLimits();
  DownloadLimits slow = limits;
  slow.lowSpeedTime = std::chrono::seconds(30);  // a bound: the close must not wait for it
  gf_setDownloadLimits(slow);
  bool generatedBeforeTheClose = false;
  std::string status;
  std::thread closer([&] {
    while (silent.acceptedCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    generatedBeforeTheClose = fs::exists("airports/my_thirdparty.scan/EDDF.xml") &&
                              fs::exists("airports/my_thirdparty.scan/LFPG.xml");
    status = gf_statusSnapshot().status;
    g_windowClosed = true;
  });
  gf_scanAddonAirports();
  closer.join();
  gf_setDownloadLimits(limits);
  g_windowClosed = false;

  EXPECT_TRUE(generatedBeforeTheClose);
  EXPECT_EQ(status, "Offline learning check of EDDF (1 of 2) ...");
  EXPECT_EQ(readFile(g_myThirdpartyFolder / "EDDF.xml"), "previous");
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "LFPG.xml"));
  EXPECT_EQ(readFile("airports/scanned_airport_files.txt"), "my_thirdparty/EDDF.xml\n");
  EXPECT_EQ(readFile(fs::path(g_tbloFolderName) / "EGKK.xml"), "from the last check");
  EXPECT_EQ(gf_countSubfolders(g_tbloFolderName), 1u);
  EXPECT_TRUE(prm::SCAN_AIRPORTS.value());
  EXPECT_FALSE(logContains("archive/stock/LFPG.xml"));  // the next airport is not asked about
  EXPECT_TRUE(logContains("failed: Callback aborted"));  // the download in progress ends at once
  EXPECT_TRUE(logHasLine("Airports scan stopped, the previous airport files are kept"));
}

TEST_F(AirportScanTest, TwoTasksGeneratingOneAirportLeaveOneWholeFile) {
  ParkAirport airport;
  airport.icao = "EGLL";
  airport.publisher = "Some Publisher";
  for (int i = 0; i < 300; ++i) airport.stands.emplace_back(fmt::format("g{}", i), std::vector<StandOption>{},
                                                           StandPosition{51.0 + i * 1e-4, -0.4, 1.0}, 20.0, 1, 1, 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([airport]() mutable {
      for (int i = 0; i < 5; ++i) lf_generateAirportFile(airport, 1);
    });
  for (auto& thread : threads) thread.join();
  pugi::xml_document document;
  std::string error;
  ASSERT_TRUE(gf_loadApfDocument(g_myThirdpartyFolder / "EGLL.xml", document, error)) << error;
  EXPECT_EQ(document.child("parkpositions").select_nodes("parkpos").size(), 300u);
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(g_myThirdpartyFolder)) entries += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(entries, 1u);  // no temporary file left behind
}

TEST_F(AirportScanTest, OfflineLearningCandidatesAndTheTbloFolder) {
  const auto stock = [](const std::string& icao, const std::string& content) {
    writeFile(fs::path("server/MSFS/archive/stock") / (icao + ".xml"), content);
  };
  stock("AAAA", stockFile(param("Qf_soft", "0") + param("RT_traffic_week", "27")));
  stock("BBBB", stockFile(param("Qf_soft", "0") + param("RT_traffic_week", "26")));
  stock("CCCC", stockFile(param("RT_traffic_week", "40")));
  stock("DDDD", stockFile(param("Qf_real", "80")));
  stock("FFFF", "<parameters><parameter");
  stock("KMCI", stockFile(param("Qf_real", "80") + param("RT_traffic_week", "30")));
  stock("GGGG", stockFile(param("Qf_real", "80") + param("RT_traffic_week", "30")));
  HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());

  EXPECT_TRUE(gf_checkOfflineLearningCandidate("AAAA"));
  for (const char* icao : {"BBBB", "CCCC", "DDDD", "EEEE", "FFFF"}) EXPECT_FALSE(gf_checkOfflineLearningCandidate(icao));
  EXPECT_TRUE(logHasLine("===> BBBB not suitable for offline learning"));
  EXPECT_TRUE(logHasLine("===> Failed to download EEEE.xml"));
  EXPECT_FALSE(logHasLine("===> EEEE not suitable for offline learning"));
  EXPECT_TRUE(logHasLine("===> Failed to load FFFF.xml"));
  EXPECT_TRUE(logHasLine("===> FFFF not suitable for offline learning"));
  EXPECT_FALSE(fs::exists("FFFF.xml"));
  EXPECT_FALSE(fs::exists("AAAA.xml"));

  const auto apf = [](const std::string& name, const std::string& parameters) {
    writeFile(g_myThirdpartyFolder / name, stockFile(parameters));
    return g_myThirdpartyFolder / name;
  };
  EXPECT_EQ(gf_readApfManufacturer(apf("p1.xml", param("publisher", "X"))), "");
  EXPECT_EQ(gf_readApfManufacturer(apf("p2.xml", param("publisher", "Unknown"))), "");
  EXPECT_EQ(gf_readApfManufacturer(apf("p3.xml", param("publisher", "unknown") + param("manufacturer", "abc"))),
            "manufacturer=abc, creator=");
  EXPECT_EQ(gf_readApfManufacturer(apf("p4.xml", param("publisher", "unknown") + param("creator", "abcd"))), "");
  EXPECT_EQ(gf_readApfManufacturer(apf("p5.xml", "")), "manufacturer=, creator=");
  EXPECT_EQ(gf_readApfManufacturer("nofile.xml"), "'nofile.xml' not found)");

  fs::remove_all(g_myThirdpartyFolder);
  apf("AAAA.xml", param("publisher", "Some Publisher"));
  writeFile(g_myThirdpartyFolder / "AAAA.txt", "archive/thirdparty/Some%20Publisher/AAAA.xml\n");
  apf("KMCI.xml", param("publisher", "TropicalSim"));
  apf("GGGG.xml", param("publisher", "unknown"));
  writeFile(fs::path(g_tbloFolderName) / "ZZZZ.xml", "from the last check");
  lf_collectTbloAirports({"AAAA", "KMCI", "GGGG"});
  EXPECT_FALSE(fs::exists(fs::path(g_tbloFolderName) / "ZZZZ.xml"));
  EXPECT_TRUE(fs::exists(fs::path(g_tbloFolderName) / "AAAA.xml"));
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "AAAA.xml"));
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "AAAA.txt"));
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "KMCI.xml"));
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "GGGG.xml"));
  EXPECT_EQ(g_tbloCount.load(), 1);
  EXPECT_TRUE(logContains("AAAA copied to TBLO/AAAA.xml"));
  EXPECT_TRUE(logContains("please zip the folder"));
}
