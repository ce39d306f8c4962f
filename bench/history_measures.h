#pragma once

// The figures on what the history holds and how it answers: 12. how fast a
// flood fills it, 13. paging over long lines, 14. clearing a long history
// and undoing it (in the benchmark's process), 15. the primary selection of
// a full history read by another program (in Xvfb); 16. Orca's delay to
// speak a key after a flood.
#include "figures.h"

namespace bench {

void FillTime(Context& context);
void PagingLongLines(Context& context);
void ClearAndUndo(Context& context);
void PrimaryOfFullHistory(Context& context);
void ScreenReader(Context& context);

} // namespace bench
