#include "airports/static_candidate.h"

std::vector<StaticCandidate> g_staticCandidates;
std::vector<LiveParked> g_liveParked;
