// Taking the live traffic out at once (the RealTraffic link was lost).
#pragma once

// Every live aircraft leaves the simulator and the live list; queued
// updates of the feed are dropped with them. Traffic thread only.
void lf_clearLiveTraffic();
