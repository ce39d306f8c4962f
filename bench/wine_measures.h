#pragma once
// 19.: the Windows build's lanchat.exe under Wine (bench/wine_measures.py),
// beside the Linux build's readings of the same run.
#include "figures.h"

namespace bench {

void UnderWine(Context& context);

} // namespace bench
