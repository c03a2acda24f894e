#include "traffic/live_clear.h"

#include <algorithm>

#include "feed/live_updates.h"
#include "traffic/aircraft.h"
#include "traffic/removals.h"

void lf_clearLiveTraffic() {
  for (LiveAircraft& aircraft : g_liveAircraft) {
    if (aircraft.simState == SimState::active) {
      removeAircraftFromSim(aircraft);
    } else if (aircraft.simState == SimState::adding2sim) {
      lf_removeFromAddingStack(g_liveAddRequests, aircraft);
      aircraft.erase = 1;
    }
  }
  std::erase_if(g_liveAircraft, [](const LiveAircraft& aircraft) { return aircraft.erase != 0; });
  gf_clearLiveUpdates();
}
