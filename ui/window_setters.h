// The setters through which the rest of the program changes what the main
// window shows, the live counters, the wait for the first traffic, and the
// two run signals for a lost reader and a lost simulator. Callable from any
// thread: they reach the window only through SetWindowTextW, the control
// messages of the setting kinds, and InvalidateRect.
#pragma once

#include <chrono>
#include <string_view>

#include "app/parameters.h"

// A reader's error restarts the run after this many seconds.
inline constexpr int kReaderStoppedRestartSeconds = 15;

// The setting's current value into its control, found by its id under the
// window handle the window procedure recorded; the settings panel is
// invalidated. When no control has the id: "GetDlgItem failed for ID {}" is
// logged and nothing changes. An integer combo selects the value's entry
// (combos have no text of their own); an entry inserted for a value outside
// the choices stays only while that value is in force.
void gf_setTbIntText(const ControlIntParameter& setting);
void gf_setTbIntText(const ComboIntParameter& setting);
// One decimal when the value has a fraction, else none.
void gf_setTbFloatText(const ControlFloatParameter& setting);
void gf_setTbStringText(const ControlStringParameter& setting);
void gf_setTbStringText(const ComboStringParameter& setting);
// The tick of a checkbox shows the setting's value.
void gf_setTbCheck(const CheckBoolParameter& setting);
// The control's text becomes empty (same look-up and log line).
void gf_clearControlText(int id);

// Once a second (run thread): recounts the active live aircraft (active and
// not parked), the parked live aircraft (parked, active, on the ground) and
// the static aircraft in the simulator (active or being removed), and
// invalidates only the panel whose counts changed: the header for the
// active count, the statistics for the parked counts.
void lf_refreshLiveCounters();

// Waits for the first traffic report (g_firstTrafficTime not 0): `steps`
// sleeps of `step` (15 s in all by default). Logs "No traffic in this
// region?" when none came. Returns early, without the log line, when the
// run is stopped or the window closed. True when traffic arrived.
bool lf_waitForFirstTraffic(int steps = 150, std::chrono::milliseconds step = std::chrono::milliseconds(100));

// A reader thread ended with an error: shows and logs "The {} has stopped
// with error: {}"; unless a stop is already pending, stops the run with
// "READER ERROR" and a restart after 15 s.
void gf_readerStopped(std::string_view readerName, std::string_view error);

// The simulator link lost the simulator: unless a stop is pending, logs
// "{} Flight Simulator no longer connected, {} will stop ..." and stops the
// run with "SIM WAS CLOSED" (no restart).
void gf_simGone();
