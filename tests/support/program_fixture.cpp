#include "support/program_fixture.h"

#include <cstdlib>
#include <thread>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "app/entry.h"
#include "app/parameters.h"
#include "app/run_thread.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "platform/simconnect/sim_world.h"
#include "simlink/sim_link.h"
#include "support/workdir.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace testsupport {

namespace drv = win32layer::testdriver;

void ProgramTest::SetUp() {
  // The single-instance lock lives in the test's own temporary folder.
  setenv("TMPDIR", (workDir() / "tmp").c_str(), 1);
  gf_resetParametersToDefaults();
  gf_resetAirportsForTests();
  gf_resetDbaseForTests();
  g_windowClosed = false;
  gf_resetStopRequest();
  gf_clearError();
  gf_clearStatus();
  gf_resetStatusClock();
  g_mainWindowHandle = nullptr;
  simsim::g_secondMs = 20;  // seconds pass quickly in tests
  // Readers on ports the system picks (tests run side by side), short waits.
  g_feedStart = FeedStart{0, 0, std::chrono::milliseconds(20), 2};
  simsim::world().reset();
  gf_resetSimLinkForTests();
}

void ProgramTest::TearDown() {
  // A run still going is closed as the user would, and waited for.
  if (g_runThreadsAlive.load() > 0) {
    g_windowClosed = true;
    gf_requestStop(ExitReason::UserClosedSim);
    for (int i = 0; i < 500 && g_runThreadsAlive.load() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  drv::resetThread();
  ::UnregisterClassW(u"Skyloom", nullptr);
  gf_endProgram(m_mutex);
  m_mutex = nullptr;
  g_mainWindowHandle = nullptr;
  gf_resetSimLinkForTests();
  simsim::world().reset();
  simsim::g_secondMs = 1000;
  g_windowClosed = false;
  gf_resetStopRequest();
  gf_clearError();
  gf_clearStatus();
  gf_resetParametersToDefaults();
  gf_resetAirportsForTests();
  gf_resetDbaseForTests();
  unsetenv("TMPDIR");
}

void ProgramTest::installProgramFolder() {
  std::filesystem::create_directories("docs");
  // The simulator's packages where the Steam edition keeps them.
  std::filesystem::create_directories(appDataDir() / "Microsoft Flight Simulator" / "Packages" / "Community");
  std::filesystem::create_directories(appDataDir() / "Microsoft Flight Simulator" / "Packages" / "Official");
  // One AI traffic package with one livery.
  writeFile(appDataDir() / "Microsoft Flight Simulator" / "Packages" / "Community" / "aig-aitraffic-oci-test" /
                "A320" / "aircraft.cfg",
            "[General]\r\nicao_type_designator = \"A320\"\r\n"
            "[fltsim.0]\r\ntitle = \"A320 British Airways\"\r\nicao_airline = \"BAW\"\r\n");
  writeFile("input/dbase.xml",
            "<dbase>\n"
            "  <registrations><reg code=\"G-EUUA\" airl=\"BAW\" type=\"A320\"/></registrations>\n"
            "  <types><type icao=\"A320\" wingspan=\"35.8\" class=\"large\"/></types>\n"
            "  <airlines><airline icao=\"BAW\"/></airlines>\n"
            "</dbase>\n");
  writeFile("input/airports_msfs.xml",
            "<airports>\n"
            "  <airport code=\"EGLL\" iata=\"LHR\" lat=\"51.4775\" lon=\"-0.461389\" alt=\"83\"/>\n"
            "  <airport code=\"LSZH\" iata=\"ZRH\" lat=\"47.464722\" lon=\"8.549167\" alt=\"1416\"/>\n"
            "</airports>\n");
}

int ProgramTest::start() { return gf_startProgram(m_mutex); }

bool ProgramTest::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    const auto result = drv::pumpUntilIdle();
    if (result.quit) m_quit = true;
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

bool ProgramTest::pumpUntilQuit(std::chrono::milliseconds timeout) {
  return pumpUntil([this] { return m_quit && g_runThreadsAlive.load() == 0; }, timeout);
}

HWND ProgramTest::window() const { return g_mainWindowHandle.load(); }

}  // namespace testsupport
