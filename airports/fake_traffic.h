// Made-up stand use for a park airport that has learned little: every
// suitable stand gets one soft option for the current weekday and half hour,
// with an aircraft that suits the stand's kind, size and region.
#pragma once

#include <string_view>
#include <vector>

#include "airports/stands.h"

// Appends at most one fake option to each stand (see the candidate table in
// fake_traffic.cpp). Only the ICAO's first character is used.
void lf_makeFakeTraffic(std::string_view icao, std::vector<Stand>& stands);
