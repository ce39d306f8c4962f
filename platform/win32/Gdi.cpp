#include "platform/win32/Gdi.h"

#include "platform/win32/Wide.h"

#include <algorithm>
#include <cmath>

namespace win32 {

namespace {

int Index(SysColor color) {
  switch (color) {
  case SysColor::BtnFace: return COLOR_BTNFACE;
  case SysColor::InfoBk: return COLOR_INFOBK;
  case SysColor::WindowText: return COLOR_WINDOWTEXT;
  case SysColor::InactiveCaptionText: return COLOR_INACTIVECAPTIONTEXT;
  }
  return COLOR_BTNFACE;
}

double Luminance(COLORREF colour) {
  const auto channel = [](BYTE value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) +
         0.0722 * channel(GetBValue(colour));
}

} // namespace

COLORREF SystemColour(SysColor color) { return GetSysColor(Index(color)); }
HBRUSH SystemBrush(SysColor color) { return GetSysColorBrush(Index(color)); }

double ContrastRatio(COLORREF a, COLORREF b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

COLORREF ReadableTextColour(COLORREF text, COLORREF back, SysColor background) {
  if (ContrastRatio(text, back) >= kReadableContrast) return text;
  if (background == SysColor::InfoBk) {
    const COLORREF info = GetSysColor(COLOR_INFOTEXT);
    if (ContrastRatio(info, back) >= kReadableContrast) return info;
  }
  const COLORREF black = RGB(0, 0, 0);
  const COLORREF white = RGB(255, 255, 255);
  return ContrastRatio(black, back) >= ContrastRatio(white, back) ? black : white;
}

int Scale(int value, unsigned dpi) { return MulDiv(value, static_cast<int>(dpi), kLayoutDpi); }

unsigned DpiOf(HWND window) {
  const UINT dpi = window != nullptr ? GetDpiForWindow(window) : 0;
  return dpi != 0 ? dpi : kLayoutDpi;
}

HFONT MakeFont(const FontDesc& desc, unsigned dpi) {
  const std::wstring face = Widen(desc.name);
  return CreateFontW(Scale(desc.height, dpi), 0, 0, 0, desc.bold ? FW_BOLD : FW_NORMAL, FALSE,
                     FALSE, FALSE, desc.charset == Charset::Ansi ? ANSI_CHARSET : DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

} // namespace win32
