#pragma once

#include <QtGlobal>

#include <cstdint>

class HistoryView;
class QWidget;
class TForm;

// What the window tells the user beside it, in French, without stopping it:
// each notice is a box that is not modal, near the window of `near`
// (or over the form's window).

// A paste larger than a message can carry was refused.
void TellPasteTooLarge(qsizetype length, QWidget* near);
// The history is full: messages are turned away until it is cleared.
void TellHistoryFull(HistoryView* view);
// An edit too large to undo was made; the edits before it cannot be undone either.
void TellUndoLost(QWidget* near);
// A copy or a selection asked for was too large to hand out.
void TellSelectionTooLarge(qint64 bytes, QWidget* near);
// Messages are being turned away for their rate: one box per flood, its
// count kept up to date while it is open; once closed, it stays closed
// until the next flood.
void TellTurnedAway(std::uint64_t flood, std::uint64_t count, TForm& form);
