#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/park_file.h"
#include "app/files.h"
#include "app/runstate.h"
#include "scan/airport_scan.h"
#include "scan/archive_links.h"
#include "support/dbase_builder.h"
#include "support/workdir.h"

namespace {

// Scan tasks link their airports at the same time: the lines of one link stay
// together in the scan log, and every alias file is written.
TEST(ArchiveLinksTest, TwoTasksLinkingAtOnceKeepEachLinksLinesTogether) {
  constexpr int kPerTask = 40;
  gf_initFolders();
  gf_resetDbaseForTests();
  std::vector<std::string> items;
  for (int i = 0; i < 2 * kPerTask; ++i) items.push_back(fmt::format("T{:03}", i));
  testsupport::DbaseBuilder().publisherGroup({"Some Publisher", "somepub"}).thirdParty20("Some Publisher", items).write();
  gf_readDbase();
  g_isMsfs2020 = true;

  const auto linkAll = [](int first) {
    for (int i = first; i < first + kPerTask; ++i) {
      ParkAirport airport;
      airport.icao = fmt::format("T{:03}", i);
      std::int32_t archivedCount = 0;
      EXPECT_TRUE(lf_linkToArchive(airport, archivedCount,
                                   fmt::format("sim/Community/somepub-{0}/scenery/{0}.bgl", airport.icao)));
    }
  };
  std::thread task(linkAll, kPerTask);
  linkAll(0);
  task.join();

  const std::vector<std::string> log = gf_airportScanLogLines();
  int links = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (!log[i].starts_with("\nTry find publisher in: sim/Community/somepub-")) continue;
    const std::string icao = log[i].substr(log[i].size() - 8, 4);
    ASSERT_LT(i + 2, log.size());
    EXPECT_EQ(log[i + 1], "publisher 'Some Publisher' found");
    EXPECT_EQ(log[i + 2],
              fmt::format("thirdparty airport {0} linked to archive/thirdparty/Some%20Publisher/{0}.xml", icao));
    EXPECT_EQ(testsupport::readFile(g_myThirdpartyFolder / (icao + ".txt")),
              fmt::format("archive/thirdparty/Some%20Publisher/{}.xml\n", icao));
    ++links;
  }
  EXPECT_EQ(links, 2 * kPerTask);
  gf_resetDbaseForTests();
}

}  // namespace
