// The user aircraft's position ("Qs121=") and the simulator's time
// ("Qs123=") for RealTraffic over its TCP link, and what the window shows
// when that link breaks or comes back.
#pragma once

#include <cstdint>
#include <string>

#include "simlink/sim_link.h"

// "Qs121=" pitch and bank × 100000, heading (radians, six decimals), altitude
// × 1000, ground velocity × 1000 (the shortest text that reads back the
// same), latitude and longitude in radians (six decimals), then CR LF.
// Whole numbers are written without decimals and never as "-0".
std::string gf_userPosLine(const UserAircraftData& user);

// Sends the user position (the simulator link's last copy of the user
// aircraft, g_userAircraft) while RealTraffic runs on this PC and the position
// is not 0/0. When the link was lost earlier: waits for RealTraffic to
// connect again (nothing is sent in that call, and nothing after an exit
// reason is set). When a send fails: the feed lamps go off, the live traffic
// is taken out (unless the window was closed), the reader state starts
// afresh, and the status line says RealTraffic has gone.
void gf_sendUserPosToRT();

// "Qs123={milliseconds}" with the simulator's time, while connected and for
// a time of 1 s or more after 1970.
void gf_sendSimTimeToRT(std::int64_t seconds);
