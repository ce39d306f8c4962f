#pragma once

#include "platform/qt/Controls.h"

#include <memory>

class HistoryView;
class QPlainTextEdit;

// The lines of a text box, kept in its document.
std::unique_ptr<TQtStrings> MakeEditLines(QPlainTextEdit* edit);
// The lines of a history, kept in its line store.
std::unique_ptr<TQtStrings> MakeHistoryLines(HistoryView* view);
