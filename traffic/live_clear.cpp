#include "traffic/live_clear.h"

#include <algorithm>

#include "feed/live_updates.h"
#include "traffic/aircraft.h"

void lf_clearLiveTraffic() {
  // Every live aircraft is marked and then erased; the simulator's objects
  // go with their records (the removal queue of the simulator link takes the
  // active ones once it stands).
  for (LiveAircraft& aircraft : g_liveAircraft) aircraft.erase = 1;
  std::erase_if(g_liveAircraft, [](const LiveAircraft& aircraft) { return aircraft.erase != 0; });
  gf_clearLiveUpdates();
}
