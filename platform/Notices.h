#pragma once

// The component layer of the platform the program is built for.
#if defined(_WIN32)
#include "platform/win32/Notices.h"
#else
#include "platform/qt/Notices.h"
#endif
