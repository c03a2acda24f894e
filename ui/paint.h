// Painting the main window: every value is read afresh on each paint.
#pragma once

#include "platform/win32/gdi32.h"

void gf_paintWindow(HDC hdc);
// The status strip at the bottom: lime with the status text, red with the error text.
void lf_paintStatusStrip(HDC hdc);
