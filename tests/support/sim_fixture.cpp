#include "support/sim_fixture.h"

#include <cmath>
#include <thread>

#include "app/runstate.h"
#include "simlink/sim_link.h"
#include "ui/display_state.h"

namespace testsupport {

void SimLinkTest::SetUp() {
  simsim::g_secondMs = 20;
  sim().reset();
  gf_resetSimLinkForTests();
  gf_resetDisplayState();
  gf_resetStopRequest();
  gf_startSimClient();
  ASSERT_TRUE(waitFor([] { return g_simRunning.load(); }));
}

void SimLinkTest::TearDown() {
  gf_resetSimLinkForTests();
  sim().reset();
  simsim::g_secondMs = 1000;
  gf_resetStopRequest();
  gf_resetDisplayState();
}

bool SimLinkTest::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

bool SimLinkTest::waitForUserPosition(double latitude, double longitude) {
  return waitFor([&] {
    const LatLon p = gf_userPosition();
    return std::abs(p.latitude - latitude) < 1e-9 && std::abs(p.longitude - longitude) < 1e-9;
  });
}

}  // namespace testsupport
