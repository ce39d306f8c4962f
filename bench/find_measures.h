#pragma once

// 18. Finding text in a full history: the find box's search against
// std::search over a copy of the text, on the chat's window (offscreen) in
// this process.
#include "figures.h"

namespace bench {

void FindInFullHistory(Context& context);

} // namespace bench
