#pragma once

// What the layer's sources share about Windows' drawing: the system colours
// of a layout, its fonts, and the scale of a screen. Included by the
// layer's sources only: the window's code never sees <windows.h>.
#include "platform/Layout.h"

#include <windows.h>

namespace win32 {

COLORREF SystemColour(SysColor color);
HBRUSH SystemBrush(SysColor color);

// The contrast ratio of two colours as WCAG defines it, from 1 (the same
// luminance) to 21 (black on white). Text reads well from 4.5.
double ContrastRatio(COLORREF a, COLORREF b);
constexpr double kReadableContrast = 4.5;
// A text colour that reads on `back`, the colour of the system colour
// `background`: `text` where it reads; else the system's text colour made
// for that background (tooltip text on a tooltip background); else black
// or white, whichever reads better.
COLORREF ReadableTextColour(COLORREF text, COLORREF back, SysColor background);

// Layouts are in pixels of a 96-DPI screen.
constexpr unsigned kLayoutDpi = 96;
int Scale(int value, unsigned dpi);
unsigned DpiOf(HWND window);

// A layout's font at a screen's DPI; its height, negative, is the
// character height in pixels at 96 DPI.
HFONT MakeFont(const FontDesc& desc, unsigned dpi);

} // namespace win32
