#pragma once

#include "platform/Layout.h"

#include <QFont>
#include <QStringList>

#include <string_view>

// The faces that may stand for a font, the named one first.
QStringList FontCandidates(std::string_view name);
// The font a layout describes, in the first of its faces the host has.
QFont MakeFont(const FontDesc& desc);
