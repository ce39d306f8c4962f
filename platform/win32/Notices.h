#pragma once

#include <cstdint>

struct HWND__;
using HWND = HWND__*;
class TForm;

// What the window tells the user beside it, in French, without stopping it:
// each notice is a small window that is not modal, over the window `owner`.

// The history is full: messages are turned away until it is cleared.
void TellHistoryFull(HWND owner, long lines, long characters);
// Messages are being turned away for their rate: one notice per flood, its
// count kept up to date while it is open; once closed, it stays closed
// until the next flood.
void TellTurnedAway(std::uint64_t flood, std::uint64_t count, TForm& form);

// Windows of the program that take Tab, Entrée and Échap as a dialog box
// does: the event loop hands them their keys.
bool TakesDialogKeys(HWND window);
void MarkTakesDialogKeys(HWND window);
// What the notices kept on a window, taken off before it is destroyed.
void ForgetNotices(HWND window);
