// What the window's checkboxes, combo boxes and push buttons do. Each command
// changes its setting, saves it at once, tells the user on the status line
// and applies its effect: at once, through a request that the run thread
// takes up (app/requests.h), or by restarting the run.
//
// The handlers run on the UI thread and never walk the aircraft or stand
// lists of the run thread: what needs those lists (the nav lights, the live
// maximum, the automatic radius, emptying the livery tables) is handed over
// as a request and carried out by gf_takeWindowRequests on the run thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32/user32.h"

// Requests of the command handlers that only the run thread carries out.
extern std::atomic<bool> g_navLightsRequest;      // NAV_LIGHTS_WHILE_PARKED changed
extern std::atomic<bool> g_maxLiveRequest;        // MAX_LIVE_SEL changed: enforce it
extern std::atomic<bool> g_autoRangeRequest;      // recompute the automatic radius
// A rescan or a simulator switch asked for empty livery tables: the next run
// start empties them before its livery scan (never during a hand-over).
extern std::atomic<bool> g_clearLiveriesRequest;

// WM_COMMAND: buttons, then checkboxes, then combo boxes; true when one
// handled the command. Otherwise the settings panel is invalidated and false
// is returned. Exceptions are logged ("lf_HandleWMCOMMAND exception ...").
bool lf_HandleWMCOMMAND(HWND hwnd, WPARAM wParam);
bool lf_handleButtons(HWND hwnd, WPARAM wParam);
bool lf_handleCheckbox(HWND hwnd, WORD id);
bool lf_handleComboBox(HWND hwnd, WPARAM wParam);

// Empties the livery files and tables for the other simulator, switches both
// scans on and restarts the run after 3 s. Throws filesystem_error when
// LiveriesScanned.xml exists but cannot be removed.
void lf_switchSimulator(bool toMsfs2020);
// "Unblock": BLOCK_CALLSIGN emptied and saved, live aircraft of that
// callsign shown again.
void lf_unblockCallsign();

// Run thread, once a second: carries out the requests above.
void gf_takeWindowRequests();
