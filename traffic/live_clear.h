// Taking the live traffic out at once (the RealTraffic link was lost).
#pragma once

// Every live aircraft leaves the simulator and the live list: an active one
// is queued for removal, the creation request of one still being added is
// withdrawn; queued updates of the feed are dropped with them. A creation
// already sent and not yet answered is left to the simulator link, which
// removes objects it cannot pair. Traffic thread only.
void lf_clearLiveTraffic();
