// The main window alone, without a run: the test's thread creates it as the
// program's main function does and is its UI thread. Display values, feed
// states and the engine's lists start empty in every test.
#pragma once

#include <functional>
#include <string>

#include "support/program_fixture.h"

namespace testsupport {

class WindowTest : public ProgramTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the test's log, registers the class and creates the window
  // (WM_CREATE makes the controls). False when the window was not made.
  bool createWindow();
  // The control with this id.
  HWND control(int id) const;
  // Runs work on another thread (as the run thread would) while this
  // thread pumps the window's messages; true when it ended within 10 s.
  bool onOtherThread(const std::function<void()>& work);
  // Paints what is pending and forgets the update region's history.
  void paintNow();
};

// Picks the entry of a drop-down list that shows exactly `text`, as a person
// would; false when there is none.
bool pickComboText(HWND combo, const std::string& text);

// Whether the window shows exactly `text` at (x, y) in `color`: the text is
// drawn into a scratch image with the window's default font, and every
// pixel of its box must be `color` in the window where the scratch drawing
// inked it, and something else where it did not.
bool textShownAt(HWND window, int x, int y, const std::string& text, COLORREF color);
// Whether any pixel of the rectangle has this colour.
bool anyPixel(HWND window, const RECT& rect, COLORREF color);
// Whether every pixel of the rectangle has this colour.
bool allPixels(HWND window, const RECT& rect, COLORREF color);

}  // namespace testsupport
