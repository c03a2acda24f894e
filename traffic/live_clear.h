// Taking the live traffic out at once (the RealTraffic link was lost).
#pragma once

// The live traffic leaves the simulator: every active live aircraft is
// removed (removeAircraftFromSim), every one still waiting to be added loses
// its creation request and is erased; queued updates of the feed are
// dropped. Traffic thread only.
void lf_clearLiveTraffic();
