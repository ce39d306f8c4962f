#pragma once

// The program's icon, as XPM rows.
extern const char* const kLanchatIcon[];
