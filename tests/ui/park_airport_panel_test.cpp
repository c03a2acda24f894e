// The whole road of a park airport's file: its stock park file fetched from
// the download server, read with its learned file merged in, its quality
// factors computed, and the airport panel of the window showing the result.
#include <gtest/gtest.h>

#include "airports/park_find.h"
#include "airports/park_read.h"
#include "app/download.h"
#include "app/files.h"
#include "app/settings.h"
#include "support/http_server.h"
#include "support/park_file_builder.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/window_fixture.h"

using namespace testsupport;
namespace drv = win32layer::testdriver;

class ParkAirportPanelTest : public WindowTest {};

TEST_F(ParkAirportPanelTest, AStockFileFromTheServerFillsTheAirportPanel) {
  ASSERT_TRUE(createWindow());
  gf_initFolders();
  ParkFileBuilder stock;
  stock.airport("Hamburg", "stock", 53);
  for (int i = 0; i < 12; ++i) {
    stock.parkpos(ParkposEntry::at(std::to_string(i + 1), 53.63 + i * 0.001, 9.99)
                      .opt(ParkOptEntry::of("D-AIBA", "DLH", "A320", "1", "10,11,12", "DLH1")));
  }
  stock.write("server/MSFS/archive/stock/EDDH.xml");
  ParkFileBuilder learned;
  learned.airport("Hamburg", "stock", 53)
      .param("parking_percentage", "40")
      .parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("D-AIBB", "DLH", "A320", "2", "20", "DLH2")));
  learned.write("airports/learned/stock/EDDH.xml");
  HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());

  g_parkApf = ParkAirport{};
  g_parkApf.icao = "EDDH";
  const std::string path = gf_findApfFile("EDDH");
  ASSERT_EQ(path, "archive/stock/EDDH.xml");
  std::pair<std::int32_t, std::int32_t> factors{0, 0};
  ASSERT_EQ(gf_readApf(path, g_parkApf, factors, g_parkStands), "");
  EXPECT_EQ(g_parkStands.size(), 12u);
  EXPECT_EQ(g_parkStands[0].options.size(), 2u);
  EXPECT_EQ(prm::parking_percentage.value(), 40);
  EXPECT_EQ(factors, (std::pair<std::int32_t, std::int32_t>{63, 0}));  // the learned option lifts stand 1

  gf_setParkAirportName("EDDH (HAM)", true);
  InvalidateRect(window(), nullptr, TRUE);
  EXPECT_TRUE(textShownAt(window(), 5, 399, "EDDH (HAM)", kLime));
  EXPECT_TRUE(textShownAt(window(), 430, 399, "qf: 63", kLime));
  EXPECT_TRUE(textShownAt(window(), 5, 427, "# stands:  12", kLime));
  ASSERT_TRUE(drv::saveScreenshot(window(), "park_airport.png"));
  g_parkStands.clear();
  g_parkApf = ParkAirport{};
}
