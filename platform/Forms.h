#pragma once

// The component layer of the platform the program is built for.
#if defined(_WIN32)
#include "platform/win32/Forms.h"
#else
#include "platform/qt/Forms.h"
#endif
