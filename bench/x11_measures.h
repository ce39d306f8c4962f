#pragma once

// The figures read in a real X server (Xvfb): 4. start-up, 5. resident
// memory, 6. "Quitter" during a flood, 8. a long flood, 9. the worst flood,
// 10. many sources.
#include "figures.h"

namespace bench {

void InXserver(Context& context);

} // namespace bench
