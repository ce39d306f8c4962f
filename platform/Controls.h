#pragma once

// The component layer of the platform the program is built for.
#if defined(_WIN32)
#include "platform/win32/Controls.h"
#else
#include "platform/qt/Controls.h"
#endif

#include <cstddef>

// What a history holds before it turns messages away, in the bytes of text
// an arrival's cost counts: the network's allowances keep a flood's burst
// to a part of it.
std::size_t HistoryBudget();
