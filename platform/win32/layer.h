// Internal joints of the Win32 layer: what the window part, the drawing part
// and the test driver need of each other. Program code does not include it.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/win32/gdi32.h"
#include "platform/win32/user32.h"

namespace win32layer {

// Rectangle arithmetic shared by the window and the drawing parts.
inline bool isEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
inline RECT intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// A region as a list of rectangles that do not overlap: how pending repaints
// and the clip of a paint are kept.
using Region = std::vector<RECT>;
// The smallest rectangle around the region (empty for an empty region).
RECT bounds(const Region& region);
// The region with the rectangle added (only what it did not cover yet).
void addToRegion(Region& region, const RECT& rect);
// The region without the rectangle.
Region subtract(const Region& region, const RECT& rect);
// The part of the region inside the rectangle.
Region intersect(const Region& region, const RECT& rect);
// Whether the point lies in the region.
bool contains(const Region& region, long x, long y);

namespace gdi {

// The size of the default font (DejaVu Sans) in pixels.
constexpr double kSystemFontSize = 13.0;
constexpr double kGuiFontSize = 12.0;

// A new RGB24 image, all black.
cairo_surface_t* createImage(int width, int height);
// A device context that draws into `image` with its logical origin at
// (originX, originY) of the image, clipped to `clip` (image coordinates).
// The context holds its own reference to the image.
HDC createDC(cairo_surface_t* image, int originX, int originY, const RECT& clip);
// The same, clipped to a region (image coordinates).
HDC createDC(cairo_surface_t* image, int originX, int originY, const Region& clip);
bool deleteDC(HDC hdc);
// CLR_INVALID outside the image.
COLORREF readPixel(cairo_surface_t* image, int x, int y);
// The system colours of this layer and their undeletable brushes.
COLORREF systemColor(int index);
HBRUSH systemColorBrush(int index);

}  // namespace gdi

// The image a window draws into and the window's client area within it
// (clipped by its parents and the image). `image` carries a reference that
// the caller releases with cairo_surface_destroy.
struct ImageView {
  cairo_surface_t* image = nullptr;
  RECT area{};
  int originX = 0;  // image position of the window's client point (0, 0)
  int originY = 0;
};
bool windowImage(HWND hwnd, ImageView& view);

// Sends WM_PAINT to every visible window of the calling thread that has an
// update region, parents before their children, until none is left.
void paintPendingWindows();
// The window exists, is visible and it and all its parents are enabled.
bool acceptsInput(HWND hwnd);
// How often BeginPaint or ValidateRect validated the window.
std::uint64_t validationCount(HWND hwnd);
// A user's pick in a drop-down list: selects the entry and notifies the
// parent with CBN_SELCHANGE. False for a bad combo or index.
bool userPicksComboEntry(HWND combo, int index);
// Waits until something arrives for the calling thread (a posted or sent
// message, an invalidation, a quit) or the time is up. True when something
// arrived.
bool waitForMessages(std::chrono::milliseconds timeout);
// Destroys the calling thread's windows and empties its message queue.
void discardThreadWindows();

}  // namespace win32layer
