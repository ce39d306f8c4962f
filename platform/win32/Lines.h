#pragma once

#include "platform/win32/Controls.h"

#include <memory>

// The lines of a RichEdit box, added at its end. A history's lines have a
// budget (see Lines.cpp).
std::unique_ptr<TStrings> MakeRichEditLines(HWND edit, bool history);
// The text limit a history is given: its budget and one message more.
long HistoryTextLimit();
