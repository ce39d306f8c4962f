// The system colours a layout names, and the contrast of text on them.
#include "platform/qt/Colours.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>

QColor SystemColor(SysColor color) {
  const QPalette palette = QApplication::palette();
  switch (color) {
  case SysColor::BtnFace: return palette.color(QPalette::Button);
  case SysColor::InfoBk: return palette.color(QPalette::ToolTipBase);
  case SysColor::WindowText: return palette.color(QPalette::WindowText);
  // The host has no title bars of its own to match; the palette's light
  // grey is the nearest to the inactive caption's text colour.
  case SysColor::InactiveCaptionText: return palette.color(QPalette::Midlight);
  }
  return palette.color(QPalette::Window);
}

namespace {

double RelativeLuminance(const QColor& color) {
  const auto channel = [](float value) {
    return value <= 0.04045F ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = color.toRgb();
  return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
         0.0722 * channel(rgb.blueF());
}

// The text colour role a palette pairs with a background colour.
QPalette::ColorRole TextRoleFor(SysColor background) {
  switch (background) {
  case SysColor::InfoBk: return QPalette::ToolTipText;
  case SysColor::BtnFace: return QPalette::ButtonText;
  case SysColor::WindowText:
  case SysColor::InactiveCaptionText: break;
  }
  return QPalette::WindowText;
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableTextColour(const QColor& text, const QColor& back, SysColor background) {
  if (ContrastRatio(text, back) >= kReadableContrast) return text;
  const QColor paired = QApplication::palette().color(TextRoleFor(background));
  if (ContrastRatio(paired, back) >= kReadableContrast) return paired;
  return ContrastRatio(Qt::black, back) >= ContrastRatio(Qt::white, back) ? QColor(Qt::black)
                                                                          : QColor(Qt::white);
}
