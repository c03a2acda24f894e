// Drawing on the window image, the controls' look, and PNG screenshots.
#include <gtest/gtest.h>

#include <cairo.h>

#include <string>

#include "platform/win32/gdi32.h"
#include "platform/win32/testdriver.h"
#include "platform/win32/user32.h"
#include "tests/platform/win32_fixture.h"

// fontconfig (under cairo's text drawing) keeps its configuration and font
// patterns for the whole process in a form the leak checker cannot follow;
// they are not leaks of this program.

namespace {

using namespace win32test;
namespace drv = win32layer::testdriver;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kLime = RGB(50, 205, 50);
constexpr COLORREF kLightBlue = RGB(153, 204, 255);

class Win32Gdi : public Win32Fixture {
 protected:
  // A shown, fully painted window and a context on its client area.
  void SetUp() override {
    Win32Fixture::SetUp();
    window = mainWindow();
    drv::pumpUntilIdle();
    hdc = GetDC(window);
  }
  void TearDown() override {
    ReleaseDC(window, hdc);
    Win32Fixture::TearDown();
  }
  int count(COLORREF color, int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += drv::pixel(window, x, y) == color;
    return n;
  }
  HWND window = nullptr;
  HDC hdc = nullptr;
};

class Win32Screenshot : public Win32Fixture {};

TEST_F(Win32Gdi, FillRectCoversExactlyItsPixels) {
  EXPECT_EQ(drv::pixel(window, 10, 10), kBlack);  // the class brush erased it
  HBRUSH red = CreateSolidBrush(kRed);
  const RECT r{5, 6, 9, 8};
  ASSERT_TRUE(FillRect(hdc, &r, red));
  EXPECT_EQ(count(kRed, 0, 0, 20, 20), 4 * 2);
  EXPECT_EQ(drv::pixel(window, 5, 6), kRed);
  EXPECT_EQ(drv::pixel(window, 8, 7), kRed);
  EXPECT_EQ(drv::pixel(window, 9, 7), kBlack);
  EXPECT_EQ(drv::pixel(window, 8, 8), kBlack);
  EXPECT_EQ(drv::pixel(window, 4, 6), kBlack);
  // A rectangle past the client area is clipped; an empty one fills nothing.
  const RECT wide{860, 470, 900, 600};
  FillRect(hdc, &wide, red);
  EXPECT_EQ(drv::pixel(window, 863, 476), kRed);
  EXPECT_EQ(drv::pixel(window, 864, 476), CLR_INVALID);
  const RECT empty{30, 30, 30, 40};
  FillRect(hdc, &empty, red);
  EXPECT_EQ(drv::pixel(window, 30, 30), kBlack);
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_FALSE(DeleteObject(red));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock objects stay
  EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
}

TEST_F(Win32Gdi, LinesLeaveOutTheirEndPoint) {
  HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  const HGDIOBJ old = SelectObject(hdc, white);
  EXPECT_EQ(old, GetStockObject(BLACK_PEN));  // the default pen
  MoveToEx(hdc, 2, 2, nullptr);
  ASSERT_TRUE(LineTo(hdc, 10, 2));
  EXPECT_EQ(count(RGB(255, 255, 255), 0, 0, 20, 20), 8);
  EXPECT_EQ(drv::pixel(window, 2, 2), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window, 9, 2), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window, 10, 2), kBlack);
  // The line goes on from where the last one ended.
  LineTo(hdc, 10, 6);
  EXPECT_EQ(drv::pixel(window, 10, 2), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window, 10, 5), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window, 10, 6), kBlack);
  POINT previous{};
  MoveToEx(hdc, 20, 20, &previous);
  EXPECT_EQ(previous.x, 10);
  EXPECT_EQ(previous.y, 6);
  LineTo(hdc, 25, 25);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(drv::pixel(window, 20 + i, 20 + i), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window, 25, 25), kBlack);
  EXPECT_EQ(SelectObject(hdc, old), white);
  DeleteObject(white);
}

TEST_F(Win32Gdi, TextOutDrawsInTextColourWithOpaqueOrTransparentBackground) {
  EXPECT_EQ(SetTextColor(hdc, kYellow), kBlack);
  EXPECT_EQ(SetTextColor(hdc, kYellow), kYellow);
  EXPECT_EQ(SetBkColor(hdc, kLightBlue), RGB(255, 255, 255));
  EXPECT_EQ(SetBkMode(hdc, OPAQUE), OPAQUE);
  const std::u16string text = u"Skyloom";
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32W(hdc, text.data(), static_cast<int>(text.size()), &size));
  EXPECT_GT(size.cx, 30);
  EXPECT_GE(size.cy, 13);
  EXPECT_LE(size.cy, 20);  // fits a 28-pixel strip

  ASSERT_TRUE(TextOutW(hdc, 100, 50, text.data(), static_cast<int>(text.size())));
  const int box = size.cx * size.cy;
  const int ink = count(kYellow, 100, 50, 100 + size.cx, 50 + size.cy);
  const int paper = count(kLightBlue, 100, 50, 100 + size.cx, 50 + size.cy);
  EXPECT_GT(ink, 30);
  EXPECT_EQ(ink + paper, box);  // no antialiased in-between colours
  EXPECT_EQ(drv::pixel(window, 100, 50), kLightBlue);  // top-left of the cell
  EXPECT_EQ(drv::pixel(window, 100 + size.cx, 50), kBlack);
  EXPECT_EQ(drv::pixel(window, 100, 50 + size.cy), kBlack);

  EXPECT_EQ(SetBkMode(hdc, TRANSPARENT), OPAQUE);
  SetTextColor(hdc, kLime);
  TextOutW(hdc, 100, 100, text.data(), static_cast<int>(text.size()));
  const int lime = count(kLime, 100, 100, 100 + size.cx, 100 + size.cy);
  EXPECT_EQ(lime, ink);  // same glyphs, same pixels
  EXPECT_EQ(lime + count(kBlack, 100, 100, 100 + size.cx, 100 + size.cy), box);
  EXPECT_EQ(count(kLime, 0, 90, 100, 130) + count(kLime, 100 + size.cx, 90, 300, 130), 0);
}

TEST_F(Win32Gdi, PaintIsClippedToTheUpdateRegion) {
  const RECT strip{0, 448, 880, 476};
  HBRUSH lime = CreateSolidBrush(kLime);
  recorder.paint = [&](HWND h, HDC dc, const PAINTSTRUCT&) {
    RECT all{};
    GetClientRect(h, &all);
    FillRect(dc, &all, lime);
  };
  InvalidateRect(window, &strip, FALSE);
  drv::pumpUntilIdle();
  EXPECT_EQ(drv::pixel(window, 10, 448), kLime);
  EXPECT_EQ(drv::pixel(window, 863, 475), kLime);
  EXPECT_EQ(drv::pixel(window, 10, 447), kBlack);
  EXPECT_EQ(drv::pixel(window, 10, 476), kBlack);
  recorder.paint = nullptr;
  DeleteObject(lime);
}

TEST_F(Win32Screenshot, ControlsAreDrawnOverTheParentAndThePngReadsBack) {
  HBRUSH blue = CreateSolidBrush(kLightBlue);
  recorder.paint = [&](HWND, HDC dc, const PAINTSTRUCT&) {
    const RECT panel{0, 112, 880, 392};
    FillRect(dc, &panel, blue);
  };
  HWND h = mainWindow();
  HWND on = child(h, u"button", BS_CHECKBOX, 1, 5, 149, 12, 12);
  HWND off = child(h, u"button", BS_CHECKBOX, 2, 217, 149, 12, 12);
  HWND greyed = child(h, u"button", BS_CHECKBOX, 3, 450, 149, 12, 12);
  HWND edit = child(h, u"Edit", WS_BORDER, 4, 217, 259, 100, 16);
  HWND combo = child(h, u"ComboBox", WS_VSCROLL | CBS_DROPDOWNLIST, 5, 217, 226, 50, 200);
  HWND button = child(h, u"button", BS_DEFPUSHBUTTON, 6, 758, 341, 90, 20, u"Re-read");
  SendMessageW(on, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(greyed, BM_SETCHECK, BST_CHECKED, 0);
  EnableWindow(greyed, FALSE);
  SetWindowTextW(edit, u"KLM1234");
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"40"));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  EnableWindow(button, FALSE);

  // The tick's corner of a 12-pixel box lies at (5, 8) of the box.
  EXPECT_EQ(drv::pixel(on, 5, 8), kBlack);
  EXPECT_EQ(drv::pixel(off, 5, 8), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(greyed, 5, 8), GetSysColor(COLOR_GRAYTEXT));
  EXPECT_EQ(drv::pixel(h, 20, 155), kLightBlue);  // the parent's panel beside the box
  EXPECT_EQ(drv::pixel(h, 5 + 5, 149 + 8), kBlack);               // the same tick, in parent coordinates
  EXPECT_EQ(drv::pixel(edit, 0, 0), RGB(122, 122, 122));          // border
  int editInk = 0, buttonGrey = 0, comboInk = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 1; x < 99; ++x) editInk += drv::pixel(edit, x, y) == kBlack;
  for (int y = 1; y < 19; ++y)
    for (int x = 1; x < 89; ++x) buttonGrey += drv::pixel(button, x, y) == GetSysColor(COLOR_GRAYTEXT);
  for (int y = 1; y < 20; ++y)
    for (int x = 1; x < 30; ++x) comboInk += drv::pixel(combo, x, y) == kBlack;
  EXPECT_GT(editInk, 20);
  EXPECT_GT(buttonGrey, 20);  // a disabled caption is grey
  EXPECT_GT(comboInk, 10);    // the selected entry is shown

  const std::string path = "window.png";
  ASSERT_TRUE(drv::saveScreenshot(h, path));
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(png), 864);
  EXPECT_EQ(cairo_image_surface_get_height(png), 477);
  const unsigned char* data = cairo_image_surface_get_data(png);
  const int stride = cairo_image_surface_get_stride(png);
  auto at = [&](int x, int y) {
    const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  };
  int differences = 0;
  for (int y = 0; y < 477; y += 3)
    for (int x = 0; x < 864; x += 3) differences += at(x, y) != drv::pixel(h, x, y);
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(at(10, 157), kBlack);
  EXPECT_EQ(at(100, 200), kLightBlue);
  EXPECT_EQ(at(100, 50), kBlack);
  cairo_surface_destroy(png);

  // A child's screenshot is its own rectangle.
  ASSERT_TRUE(drv::saveScreenshot(edit, "edit.png"));
  png = cairo_image_surface_create_from_png("edit.png");
  EXPECT_EQ(cairo_image_surface_get_width(png), 100);
  EXPECT_EQ(cairo_image_surface_get_height(png), 16);
  cairo_surface_destroy(png);
  recorder.paint = nullptr;
  DeleteObject(blue);
}

TEST_F(Win32Screenshot, HidingAControlShowsTheParentBeneath) {
  HBRUSH blue = CreateSolidBrush(kLightBlue);
  recorder.paint = [&](HWND, HDC dc, const PAINTSTRUCT& ps) { FillRect(dc, &ps.rcPaint, blue); };
  HWND h = mainWindow();
  HWND button = child(h, u"button", BS_PUSHBUTTON, 6, 100, 100, 60, 20, u"Unblock");
  EXPECT_NE(drv::pixel(h, 130, 110), kLightBlue);
  ShowWindow(button, SW_HIDE);
  EXPECT_EQ(drv::pixel(h, 130, 110), kLightBlue);
  EXPECT_FALSE(drv::click(button));
  recorder.paint = nullptr;
  DeleteObject(blue);
}

TEST_F(Win32Screenshot, TheParentPaintsItsUpdateRegionOnlyAndNeverOverItsControls) {
  // The parent fills its whole client area at every paint, as a window that
  // ignores the update rectangle does; the layer must clip that paint.
  HBRUSH fill = CreateSolidBrush(kLightBlue);
  recorder.paint = [&](HWND hwnd, HDC dc, const PAINTSTRUCT&) {
    RECT all{};
    GetClientRect(hwnd, &all);
    FillRect(dc, &all, fill);
  };
  HWND h = mainWindow();
  HWND box = child(h, u"button", BS_CHECKBOX, 1, 5, 149, 12, 12);
  HWND edit = child(h, u"Edit", WS_BORDER, 4, 217, 259, 100, 16);
  SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
  SetWindowTextW(edit, u"KLM1234");
  drv::pumpUntilIdle();
  const auto editInk = [&] {
    int ink = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 1; x < 99; ++x) ink += drv::pixel(edit, x, y) == kBlack;
    return ink;
  };
  const int ink = editInk();
  ASSERT_GT(ink, 20);
  const auto controlsIntact = [&] {
    return drv::pixel(h, 5 + 5, 149 + 8) == kBlack && drv::pixel(edit, 0, 0) == RGB(122, 122, 122) &&
           editInk() == ink;
  };
  DeleteObject(fill);
  fill = CreateSolidBrush(kLime);

  // Two separate regions before one paint (the header and the statistics):
  // the band between them, with its controls, is not painted over.
  const RECT header{0, 28, 880, 112};
  const RECT statistics{0, 393, 880, 448};
  InvalidateRect(h, &header, TRUE);
  InvalidateRect(h, &statistics, TRUE);
  RECT pending{};
  ASSERT_TRUE(GetUpdateRect(h, &pending, FALSE));
  EXPECT_EQ(pending.top, 28);  // rcPaint is the bounding rectangle, as on Windows
  EXPECT_EQ(pending.bottom, 448);
  drv::pumpUntilIdle();
  EXPECT_EQ(drv::pixel(h, 100, 50), kLime);
  EXPECT_EQ(drv::pixel(h, 100, 400), kLime);
  EXPECT_EQ(drv::pixel(h, 100, 200), kLightBlue);
  EXPECT_TRUE(controlsIntact());

  // A region over the controls: the parent paints around them.
  const RECT band{0, 112, 880, 392};
  InvalidateRect(h, &band, TRUE);
  drv::pumpUntilIdle();
  EXPECT_EQ(drv::pixel(h, 100, 200), kLime);
  EXPECT_EQ(drv::pixel(h, 20, 155), kLime);  // beside the box
  EXPECT_TRUE(controlsIntact());

  // Invalidating only the parent repaints its controls too: drawn over
  // without clipping, they come back at the next paint.
  HDC dc = GetDC(h);
  const RECT all{0, 0, 880, 480};
  HBRUSH red = CreateSolidBrush(kRed);
  FillRect(dc, &all, red);
  ReleaseDC(h, dc);
  ASSERT_FALSE(controlsIntact());
  InvalidateRect(h, nullptr, TRUE);
  drv::pumpUntilIdle();
  EXPECT_TRUE(controlsIntact());
  EXPECT_EQ(drv::pixel(h, 20, 155), kLime);
  recorder.paint = nullptr;
  DeleteObject(red);
  DeleteObject(fill);
}

}  // namespace
