// The GDI subset that Skyloom draws with: solid brushes and pens, rectangle
// fills, pixel lines, text, text and background colours. A device context
// draws into the image of its top-level window (see user32.h); the image is
// a cairo RGB24 surface the size of the window's client area.
//
// Drawing follows GDI's pixel rules: FillRect fills exactly the pixels
// [left,right) x [top,bottom); LineTo draws a one-pixel line from the current
// position up to, but not including, the end point; TextOutW puts the top-left
// corner of the text cell at (x, y). Nothing is antialiased, so every pixel is
// either the drawing colour or untouched (text included).
#pragma once

#include "platform/win32/windef.h"

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr int DC_BRUSH = 18;
constexpr int DC_PEN = 19;

HBRUSH CreateSolidBrush(COLORREF color);
// Only PS_SOLID and PS_NULL; a width of 0 or 1 draws one pixel wide.
HPEN CreatePen(int style, int width, COLORREF color);
HGDIOBJ GetStockObject(int object);
// Selects a brush, pen or font into the context; returns the previous
// object of that kind, or nullptr when the context or the object is unknown.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Stock objects are never deleted (returns TRUE, as GDI does).
BOOL DeleteObject(HGDIOBJ object);

// brush may also be a system colour index + 1, as in (HBRUSH)(COLOR_WINDOW + 1).
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous);
BOOL LineTo(HDC hdc, int x, int y);
// length is the count of UTF-16 units of text (not NUL-terminated).
BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int length);
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, SIZE* size);

// Each setter returns the previous value (CLR_INVALID or 0 on a bad context).
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
// The colour of the DC_BRUSH stock brush in this context (white at first).
COLORREF SetDCBrushColor(HDC hdc, COLORREF color);
