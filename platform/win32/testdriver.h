// Uses windows as a person would: clicks, picks, types, closes, and looks at
// the result pixel by pixel or as a PNG screenshot. Input goes through the
// same window procedures as real input (subclassing sees it); a hidden or
// disabled control (or one inside a disabled parent) takes none, and the
// call then returns false.
//
// Call these on the thread that owns the windows (the thread that created
// them), as a person's input arrives on the UI thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/win32/user32.h"

namespace win32layer::testdriver {

// A left click in the middle of the control: a button or checkbox notifies
// its parent with BN_CLICKED (a BS_CHECKBOX does not tick itself); an edit
// field takes the focus with the caret at the end of its text.
bool click(HWND control);

// Picks an entry of a drop-down list: it becomes the selection and the
// parent receives CBN_SELCHANGE. False for an index outside the list.
bool pickComboEntry(HWND combo, int index);

// Types UTF-8 text into a field: focuses it (caret at the end) when it does
// not have the focus, then sends one WM_CHAR per UTF-16 unit through the
// field's current window procedure. "\b" is a backspace. Characters after
// the field became disabled are not delivered. Text that is not valid UTF-8
// throws win32::Utf8ConversionException.
bool typeText(HWND edit, std::string_view utf8);
// WM_CHAR 13.
bool pressEnter(HWND edit);
// Deletes the field's text with backspaces from its end.
bool clearText(HWND edit);

// The title bar's close button (WM_SYSCOMMAND SC_CLOSE, which the default
// window procedure turns into WM_CLOSE). False without a close button.
bool pressCloseButton(HWND window);
// The taskbar's minimise and restore.
bool minimize(HWND window);
bool restore(HWND window);

struct PumpResult {
  std::size_t dispatched = 0;  // messages dispatched, WM_PAINT included
  bool quit = false;           // WM_QUIT was reached (and taken off the queue)
  int exitCode = 0;            // its exit code
};
// Dispatches the calling thread's messages and pending paints until none is
// left or WM_QUIT is reached; never blocks.
PumpResult pumpUntilIdle();
// Pumps (waiting for messages, including those other threads send or post)
// until `done` returns true or the time is up. True when done.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The colour of a client pixel of the window (a child's pixel is read from
// its top-level image) after every pending paint; CLR_INVALID outside.
COLORREF pixel(HWND window, int x, int y);
// Paints what is pending and writes the window's client area as a PNG.
bool saveScreenshot(HWND window, const std::filesystem::path& path);

// The window's text as UTF-8 (a drop-down list: its selected entry).
std::string windowText(HWND window);

// Destroys every window of the calling thread and empties its queue, so
// that the next test starts clean.
void resetThread();

}  // namespace win32layer::testdriver
