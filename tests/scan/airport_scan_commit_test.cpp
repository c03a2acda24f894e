// The scan's commit: the user's own files, commits that fail or throw, and
// record lines that name no plain file.
#include "airport_scan_fixture.h"

TEST_F(AirportScanTest, AUsersOwnFileIsKeptAsideBeforeAGeneratedOneReplacesIt) {
  struct Case {
    const char* name;
    std::string record;
    bool earlierCopy;
    const char* aside;  // where the user's file goes ("": nowhere, it was the scan's)
  };
  const std::vector<Case> cases{
      {"no record", "", false, "airports/my_thirdparty/EGLL.xml.user"},
      {"a record without the name", "my_thirdparty/EDDF.xml\n", false, "airports/my_thirdparty/EGLL.xml.user"},
      {"an earlier copy", "", true, "airports/my_thirdparty/EGLL.xml.user2"},
      {"a name the scan made", "my_thirdparty/EGLL.xml\n", false, ""},
  };
  writeAirport("Community/unknownpkg/EGLL.bgl", "EGLL", 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("airports");
    writeFile(g_myThirdpartyFolder / "EGLL.xml", "the user's own");
    if (!c.record.empty()) writeFile("airports/scanned_airport_files.txt", c.record);
    if (c.earlierCopy) writeFile(g_myThirdpartyFolder / "EGLL.xml.user", "an earlier copy");
    gf_scanAddonAirports();
    EXPECT_EQ(standCount(g_myThirdpartyFolder / "EGLL.xml"), 2u);
    EXPECT_TRUE(recordEntries().contains("my_thirdparty/EGLL.xml"));
    if (c.earlierCopy) {
      EXPECT_EQ(readFile(g_myThirdpartyFolder / "EGLL.xml.user"), "an earlier copy");
    }
    if (std::string(c.aside).empty()) {
      EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EGLL.xml.user"));
      continue;
    }
    EXPECT_EQ(readFile(c.aside), "the user's own");
    EXPECT_THAT(scanLog(), Contains(HasSubstr(std::string("kept as ") + c.aside)));
  }
}

// A file the scan made that the user has changed since is the user's: it
// goes aside before a rescan replaces it or removes it (its add-on gone). One
// nobody touched is replaced or removed without a copy.
TEST_F(AirportScanTest, AFileTheScanMadeThatTheUserChangedIsKeptAside) {
  enum Change { none, replaced, sameSize };
  struct Case {
    const char* name;
    Change change;
    bool addonRemoved;
  };
  const std::vector<Case> cases{
      {"replaced, rescanned", replaced, false},
      {"replaced, add-on removed", replaced, true},
      {"edited to the same size, rescanned", sameSize, false},
      {"untouched, rescanned", none, false},
      {"untouched, add-on removed", none, true},
  };
  const fs::path file = g_myThirdpartyFolder / "EGLL.xml";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("airports");
    writeAirport("Community/unknownpkg/EGLL.bgl", "EGLL", 2);
    gf_scanAddonAirports();
    ASSERT_EQ(standCount(file), 2u);
    std::string users = c.change == replaced ? "the user's own" : readFile(file);
    if (c.change == sameSize) users.back() = users.back() == 'x' ? 'y' : 'x';
    if (c.change != none) writeFile(file, users);
    if (c.addonRemoved)
      fs::remove_all("sim/Community/unknownpkg");
    else
      writeAirport("Community/unknownpkg/EGLL.bgl", "EGLL", 3);
    prm::SCAN_AIRPORTS.set(true);
    gf_scanAddonAirports();
    EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
    EXPECT_EQ(standCount(file), c.addonRemoved ? 0u : 3u);
    EXPECT_EQ(fs::exists(file), !c.addonRemoved);
    EXPECT_EQ(recordEntries().contains("my_thirdparty/EGLL.xml"), !c.addonRemoved);
    if (c.change == none) {
      EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EGLL.xml.user"));
      continue;
    }
    EXPECT_EQ(readFile(g_myThirdpartyFolder / "EGLL.xml.user"), users);
    EXPECT_THAT(scanLog(), Contains(HasSubstr("kept as airports/my_thirdparty/EGLL.xml.user before")));
  }
}

// A file the scan made that cannot be read (held open by another program, no
// permission) may hold the user's changes, and one the user changed may find
// no name free for its copy: it stays, neither replaced nor removed, keeps its
// record entry, and the error line names it instead of a success.
TEST_F(AirportScanTest, AFileTheScanMadeThatCannotBeReadOrKeptAsideStays) {
  const fs::path file = g_myThirdpartyFolder / "EGLL.xml";
  for (const bool unreadable : {false, true}) {
    for (const bool addonRemoved : {false, true}) {
      SCOPED_TRACE(fmt::format("{}, {}", unreadable ? "unreadable" : "changed, no copy name free",
                               addonRemoved ? "add-on removed" : "rescanned"));
      fs::remove_all("airports");
      writeAirport("Community/unknownpkg/EGLL.bgl", "EGLL", 2);
      gf_scanAddonAirports();
      ASSERT_EQ(standCount(file), 2u);
      if (!unreadable) {
        writeFile(file, readFile(file) + "<!-- the user's -->");
        fs::create_directory(g_myThirdpartyFolder / "EGLL.xml.user");
        for (int n = 2; n <= 999; ++n) fs::create_directory(g_myThirdpartyFolder / fmt::format("EGLL.xml.user{}", n));
      }
      const std::string before = readFile(file);
      if (addonRemoved)
        fs::remove_all("sim/Community/unknownpkg");
      else
        writeAirport("Community/unknownpkg/EGLL.bgl", "EGLL", 3);
      prm::SCAN_AIRPORTS.set(true);
      gf_clearError();
      const std::size_t linesBefore = logLines().size();
      {
        Unreadable locked(unreadable ? std::vector<fs::path>{file} : std::vector<fs::path>{});
        if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
        gf_scanAddonAirports();
      }
      EXPECT_EQ(readFile(file), before);
      EXPECT_TRUE(recordEntries().contains("my_thirdparty/EGLL.xml"));
      EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
      EXPECT_THAT(scanLog(), Contains(HasSubstr(unreadable ? "EGLL.xml could not be read to tell whether the user "
                                                             "changed it: it stays"
                                                           : "EGLL.xml changed since the scan made it and could not be "
                                                             "kept aside")));
      EXPECT_THAT(gf_statusSnapshot().error, HasSubstr("Airports scan left EGLL.xml as it was"));
      const std::vector<std::string> lines = logLines();
      EXPECT_EQ(std::count(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end(),
                           "Airports scan successful"),
                0);
    }
  }
}

// While the commit fails at every start (a file it cannot replace), a user's
// file is copied aside once; a file the user has changed since gets a copy
// of its own.
TEST_F(AirportScanTest, AUsersFileIsKeptAsideOnceWhileTheCommitFails) {
  writeAirport("Official/asobo-airport-lfpg/l.bgl", "LFPG", 2);
  writeAirport("Community/unknownpkg/EGLL.bgl", "EGLL", 2);
  writeFile(g_mySimaddonFolder / "LFPG.xml" / "busy", "");
  for (const char* content : {"the user's own", "the user's own", "changed"}) {
    writeFile(g_myThirdpartyFolder / "EGLL.xml", content);
    prm::SCAN_AIRPORTS.set(true);
    gf_scanAddonAirports();
    ASSERT_TRUE(prm::SCAN_AIRPORTS.value());
  }
  EXPECT_EQ(readFile(g_myThirdpartyFolder / "EGLL.xml"), "changed");
  EXPECT_EQ(readFile(g_myThirdpartyFolder / "EGLL.xml.user"), "the user's own");
  EXPECT_EQ(readFile(g_myThirdpartyFolder / "EGLL.xml.user2"), "changed");
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EGLL.xml.user3"));
}

// A commit that throws (the folder "my_simaddon" cannot be listed) is no
// success: the setting stays on and the error is shown.
TEST_F(AirportScanTest, ACommitThatThrowsIsNoSuccess) {
  writeAirport("Community/unknownpkg/EDDF.bgl", "EDDF", 2);
  fs::create_directories(g_mySimaddonFolder);
  {
    Unreadable locked({g_mySimaddonFolder});
    if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
    gf_scanAddonAirports();
  }
  EXPECT_TRUE(prm::SCAN_AIRPORTS.value());
  EXPECT_THAT(gf_statusSnapshot().error, HasSubstr("it runs again at the next start"));
  EXPECT_FALSE(logHasLine("Airports scan successful"));
  EXPECT_EQ(lastScanLine(), "-------------------------- airports scan ends    ----------------------------");
}

// Each move of the scan's files meets a target it cannot replace (a folder of
// that name), in turn; before them, the record that cannot be read.
TEST_F(AirportScanTest, ACommitThatFailsAtAnyStepLeavesEveryAirportAFile) {
  // In the order of the moves: my_simaddon, then my_thirdparty, by name.
  const std::vector<fs::path> targets{g_mySimaddonFolder / "LFPG.xml", g_myThirdpartyFolder / "EDDF.xml",
                                      g_myThirdpartyFolder / "EGLL.txt", g_myThirdpartyFolder / "EGLL.xml"};
  const fs::path record = "airports/scanned_airport_files.txt";
  // EDDF.xml is made by this scan but not by the previous one: the record
  // gains it only once it has moved in.
  const std::string previousRecord = "my_thirdparty/EGLL.txt\nmy_thirdparty/EGLL.xml\nmy_thirdparty/OLD.xml\n";
  writeAirport("Official/asobo-airport-lfpg/l.bgl", "LFPG", 2);
  writeAirport("Community/unknownpkg/EDDF.bgl", "EDDF", 2);
  writeAirport("Community/somepub-egll/EGLL.bgl", "EGLL", 124);
  for (int busy = -1; busy < static_cast<int>(targets.size()); ++busy) {
    SCOPED_TRACE(busy < 0 ? record.string() : targets[static_cast<std::size_t>(busy)].string());
    fs::remove_all("airports");
    for (const fs::path& target : targets) writeFile(target, "previous");
    writeFile(g_myThirdpartyFolder / "OLD.xml", "previous");  // not made again
    writeFile(record, previousRecord);
    const fs::path blocked = busy < 0 ? record : targets[static_cast<std::size_t>(busy)];
    fs::remove(blocked);
    writeFile(blocked / "busy", "");
    gf_clearError();
    prm::SCAN_AIRPORTS.set(true);
    gf_scanAddonAirports();

    for (int i = 0; i < static_cast<int>(targets.size()); ++i) {
      if (i == busy) continue;
      const std::string content = readFile(targets[static_cast<std::size_t>(i)]);
      EXPECT_EQ(content == "previous", i > busy) << targets[static_cast<std::size_t>(i)];
      EXPECT_FALSE(content.empty()) << targets[static_cast<std::size_t>(i)];
    }
    EXPECT_EQ(readFile(g_myThirdpartyFolder / "OLD.xml"), "previous");
    if (busy >= 0) {
      std::set<std::string> expected{"my_thirdparty/EGLL.txt", "my_thirdparty/EGLL.xml", "my_thirdparty/OLD.xml"};
      if (busy > 0) expected.insert("my_simaddon/LFPG.xml");
      if (busy > 1) expected.insert("my_thirdparty/EDDF.xml");
      EXPECT_EQ(recordEntries(), expected);
    }
    EXPECT_EQ(lastScanLine(), "-------------------------- airports scan ends    ----------------------------");
    EXPECT_TRUE(prm::SCAN_AIRPORTS.value());
    EXPECT_THAT(gf_statusSnapshot().error, HasSubstr(blocked.string()));
    EXPECT_THAT(logLines(), Contains(AllOf(HasSubstr("Airports scan could not put its files in place, SCAN_AIRPORTS "
                                                     "stays on: "),
                                           HasSubstr(blocked.string()))));
  }
}

// The record's lines in each form: a size or hash that does not parse keeps
// the line's source and leaves the content unknown, with one log line per entry.
TEST_F(AirportScanTest, RecordLinesOfEachFormGiveTheirSourceAndContent) {
  struct Case {
    const char* lines;
    std::set<std::string> sources;
    std::optional<std::pair<std::uintmax_t, std::uint64_t>> content;
    std::size_t logged;
  };
  const std::vector<Case> cases{
      {"", {}, std::nullopt, 0},
      {"\ts.bgl", {"s.bgl"}, std::nullopt, 0},
      {"\t12\t00000000000000ff\ts.bgl", {"s.bgl"}, std::pair{12u, 0xffu}, 0},
      {"\t12\t00000000000000ff", {}, std::pair{12u, 0xffu}, 0},
      {"\t1x2\t00000000000000ff\ts.bgl", {"s.bgl"}, std::nullopt, 1},
      {"\t12\tdamaged\ts.bgl\nmy_thirdparty/A.xml\t12\tdamaged\tt.bgl", {"s.bgl", "t.bgl"}, std::nullopt, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    openTestLog();
    writeFile("airports/scanned_airport_files.txt", std::string("my_thirdparty/A.xml") + c.lines + "\n");
    ScanRecord::Entries entries;
    std::string failure;
    ASSERT_TRUE(ScanRecord::read(entries, failure));
    const ScanRecord::Entry& entry = entries["my_thirdparty/A.xml"];
    EXPECT_EQ(entry.sources, c.sources);
    EXPECT_EQ(entry.content.has_value(), c.content.has_value());
    if (entry.content && c.content) {
      EXPECT_EQ(entry.content->size, c.content->first);
      EXPECT_EQ(entry.content->hash, c.content->second);
    }
    const std::vector<std::string> log = logLines();
    EXPECT_EQ(static_cast<std::size_t>(std::count_if(log.begin(), log.end(), [](const std::string& l) {
                return l.find("the size or hash of my_thirdparty/A.xml cannot be read") != std::string::npos;
              })),
              c.logged);
  }
}

// Lines of the record that are not a plain file name in "my_thirdparty"
// never make a scan remove a file.
TEST_F(AirportScanTest, RecordLinesThatNameNoPlainFileRemoveNothing) {
  const std::vector<std::pair<std::string, fs::path>> lines{
      {"my_thirdparty/../x.xml", "airports/x.xml"},
      {"my_thirdparty/sub/../../y.xml", "airports/y.xml"},
      {"my_thirdparty//z.xml", "z.xml"},
      {"my_thirdparty/sub/w.xml", "airports/my_thirdparty/sub/w.xml"},
      {"my_thirdparty/..", "airports/keep.xml"},
      {"my_thirdparty/kept", "airports/my_thirdparty/kept/a.xml"},  // a folder is never the scan's
      {"my_simaddon/../v.xml", "airports/v.xml"},
      {"../u.xml", "u.xml"},
  };
  std::string record;
  for (const auto& [line, file] : lines) {
    record += line + "\n";
    writeFile(file, "the user's");
  }
  writeFile("airports/scanned_airport_files.txt", record);
  gf_scanAddonAirports();
  EXPECT_FALSE(prm::SCAN_AIRPORTS.value());
  for (const auto& [line, file] : lines) EXPECT_EQ(readFile(file), "the user's") << line;
  EXPECT_EQ(readFile("airports/scanned_airport_files.txt"), "");
}
