#pragma once

#include "platform/Layout.h"

#include <QColor>

// The colour of the palette that stands for a system colour of a layout.
QColor SystemColor(SysColor color);
// The contrast ratio of two colours as WCAG defines it, from 1 (the same
// luminance) to 21 (black on white). Text reads well from 4.5.
double ContrastRatio(const QColor& a, const QColor& b);
constexpr double kReadableContrast = 4.5;
// A text colour that reads at kReadableContrast at least on `back`, the colour of the
// system colour `background`: `text` where it reads; else the palette's text
// colour made for that background (tooltip text on a tooltip background);
// else black or white, whichever reads better.
QColor ReadableTextColour(const QColor& text, const QColor& back, SysColor background);
