#include "traffic/live_clear.h"

#include <algorithm>
#include <mutex>

#include "feed/live_updates.h"
#include "simlink/sim_link.h"
#include "traffic/aircraft.h"

void lf_clearLiveTraffic() {
  {
    // Lock order: the SimConnect mutex, then the log mutex (not taken here).
    std::lock_guard lock(g_simConnectMutex);
    for (LiveAircraft& aircraft : g_liveAircraft) {
      if (aircraft.simState == SimState::active && aircraft.objectId != 0) {
        // In the simulator: its object is removed at the next frame.
        g_simRemoveQueue.push_back(aircraft.objectId);
      } else if (aircraft.simState == SimState::adding2sim) {
        // Still waiting to be created: its creation request is withdrawn.
        std::erase_if(g_simCreateQueue,
                      [&](const AddRequest& request) { return request.hexid == aircraft.identity.hexid; });
      }
      aircraft.erase = 1;
    }
  }
  std::erase_if(g_liveAircraft, [](const LiveAircraft& aircraft) { return aircraft.erase != 0; });
  gf_clearLiveUpdates();
}
