// The controls of the main window: one per setting shown (app/settings.h)
// plus the three push buttons, made on WM_CREATE; the procedures that catch
// Enter in the edit fields; and what a run does to the controls when it
// starts, when its main loop starts and when it is reset.
#pragma once

#include <cstdint>
#include <vector>

#include "app/parameters.h"
#include "platform/win32/user32.h"

// The three push buttons (text, control id, y).
extern ButtonParameter g_unblockButton;      // "Unblock"
extern ButtonParameter g_rereadButton;       // "Re-read"
extern ButtonParameter g_flushStaticButton;  // "Flush static"

enum class ControlKind { Checkbox, Edit, Combo, Button };
// Which procedure handles Enter in an edit field.
enum class EnterProc { None, String, Integer, Float };

// One control of the window: its setting (or button), kind, x, width,
// drop-down height (combos) and Enter procedure (edit fields).
struct ControlPlace {
  ParameterControl* setting;
  ControlKind kind;
  int x;
  int width;
  int dropHeight;
  EnterProc enter;
};

// The 42 controls in creation order.
const std::vector<ControlPlace>& gf_controlPlaces();
// The control place of a control id; nullptr when no control has it.
const ControlPlace* gf_controlPlaceById(int id);

// WM_CREATE: creates every control in order with the window's creation
// parameters, then invalidates the settings panel (0,112)-(880,392).
void lf_createControls(HWND hwnd, const CREATESTRUCTW* creation);

// The Enter procedures of the edit fields: every message but Enter
// (WM_CHAR 13) goes to the field's previous procedure; Enter clears the
// status line and runs the field's command, and the field never sees it.
LRESULT CALLBACK lf_stringEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK lf_intEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK lf_floatEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The control part of a run's start checks (called on the run thread once
// the settings are read): sets g_isMsfs2020 from SIM_CHOICE; fills every
// combo box with its choices and selects the current value; writes every
// checkbox and edit field from its setting; enables CALLSIGN_OBJECTIDS only
// for MSFS 2020, AI_PACKAGE_SELECTOR only while LIG_AUTOMATIC is on, RANGE
// only while AUTO_RANGE is off and AR_ABOVE_HEIGHT only while it is on.
void gf_prepareControlsForRun();

// Enables (when the main loop starts) or disables (at the run reset) every
// edit field and push button.
void gf_enableRunControls(bool enable);

// Enables or disables the control with this id in the main window; logs
// "GetDlgItem failed for ID {}" when there is none.
void gf_enableControl(int id, bool enable);
// The RANGE combo takes picks only while AUTO_RANGE is off, the Ah combo
// (AR_ABOVE_HEIGHT) only while it is on: set after the checkbox and after a
// learned file switched AUTO_RANGE.
void gf_enableRangeCombos(bool autoRange);
