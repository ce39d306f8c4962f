#include "history/HistoryAccessible.h"

#include "history/HistoryView.h"

void AttachAccessibility(HistoryView& /*view*/) {}
