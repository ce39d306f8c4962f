// The lines of a RichEdit box: added at its end without moving what the
// user is reading or selecting, and a history's budget.
#include "platform/win32/Lines.h"

#include "platform/win32/Notices.h"
#include "platform/win32/Wide.h"

#include <text/TextLines.h>

#include <windows.h>

#include <richedit.h>

#include <string>

namespace {

// The history's budget. Wine's RichEdit keeps about 14.5 KiB for each
// message of two short lines (its paragraphs, runs and rows, besides the
// text), and every line added makes the next insertion and redraw slower:
// 20,000 lines (10,000 messages) stay under 150 MiB and keep the box
// answering. The characters bound what long messages cost: 2,000,000 is
// about thirty of the largest a datagram can carry. Windows' own RichEdit
// costs less; one budget for both keeps the program's behaviour the same.
constexpr long kHistoryLines = 20'000;
constexpr long kHistoryChars = 2'000'000;
// The most characters a message adds: its header and its text, together at
// most a datagram, a character per byte. A message adds two lines, more if
// its text has several: the line budget may be passed by those of one.
constexpr long kLargestMessageChars = 65'536;
constexpr long kMessageLines = 2;

long TextLength(HWND edit, DWORD flags) {
  GETTEXTLENGTHEX how{};
  how.flags = flags;
  how.codepage = 1200; // UTF-16
  return static_cast<long>(
      SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
}

// Paragraphs, not the rows they wrap into: counted with CR LF, each
// paragraph break is one character more.
long Paragraphs(HWND edit) {
  return TextLength(edit, GTL_USECRLF | GTL_NUMCHARS) - TextLength(edit, GTL_NUMCHARS) + 1;
}

// What the user was looking at and had selected, kept across an insertion.
struct View {
  CHARRANGE selection{};
  POINT scroll{};
  bool atEnd = false;   // the caret at the end, nothing selected: it follows
  bool atBottom = true; // the last line in view: the view follows
};

View Keep(HWND edit) {
  View view;
  SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&view.selection));
  SendMessageW(edit, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view.scroll));
  const long length = TextLength(edit, GTL_NUMCHARS);
  view.atEnd = view.selection.cpMin == view.selection.cpMax && view.selection.cpMax >= length;
  SCROLLINFO bar{};
  bar.cbSize = sizeof bar;
  bar.fMask = SIF_ALL;
  // At the bottom, the page reaches the range's last unit, or the one
  // before it (past the text's end).
  if (GetScrollInfo(edit, SB_VERT, &bar) && bar.nPage > 0)
    view.atBottom = bar.nPos + static_cast<int>(bar.nPage) >= bar.nMax;
  return view;
}

void Restore(HWND edit, const View& view) {
  if (view.atEnd) {
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  } else {
    CHARRANGE selection = view.selection;
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  }
  if (view.atBottom) {
    SendMessageW(edit, WM_VSCROLL, SB_BOTTOM, 0);
  } else {
    POINT scroll = view.scroll;
    SendMessageW(edit, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
  }
}

// Each line of the text after a paragraph break, in UTF-16.
std::wstring AsParagraphs(const std::string& utf8) {
  std::wstring wide;
  for (const std::string_view line : text::SplitLines(utf8)) {
    wide += L'\r';
    wide += win32::Widen(line);
  }
  return wide;
}

class RichEditLines final : public TStrings {
public:
  RichEditLines(HWND edit, bool history) : edit_(edit), history_(history) {}

  using TStrings::Add;
  void Add(const text::Decoded& text) override {
    BeginUpdate();
    std::wstring lines = AsParagraphs(text.utf8);
    // The first line of an empty box is the one it shows already.
    if (!history_ && TextLength(edit_, GTL_NUMCHARS) == 0 && !lines.empty()) lines.erase(0, 1);
    SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.c_str()));
    EndUpdate();
  }

  // The box is drawn once, after the update, with the user's view back.
  void BeginUpdate() override {
    if (updates_++ > 0) return;
    view_ = Keep(edit_);
    SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
  }
  void EndUpdate() override {
    if (updates_ == 0 || --updates_ > 0) return;
    // Redrawing on first: the box lays its new lines out and sets its
    // scroll range only then.
    SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
    Restore(edit_, view_);
    // The scroll bar too, which is outside the client area.
    RedrawWindow(edit_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
  }

  [[nodiscard]] int Count() const override { return static_cast<int>(Paragraphs(edit_)); }

  // Full when a message more could pass the budget; said once, and room
  // again once the user has made some (Ctrl+A, Suppr).
  [[nodiscard]] bool HasRoom() override {
    if (!history_) return true;
    const bool room = Paragraphs(edit_) + kMessageLines <= kHistoryLines &&
                      TextLength(edit_, GTL_NUMCHARS) + kLargestMessageChars <= kHistoryChars;
    if (!room && !full_) TellHistoryFull(GetAncestor(edit_, GA_ROOT), kHistoryLines, kHistoryChars);
    full_ = !room;
    return room;
  }

private:
  HWND edit_;
  bool history_;
  int updates_ = 0;
  View view_{};
  bool full_ = false;
};

} // namespace

std::unique_ptr<TStrings> MakeRichEditLines(HWND edit, bool history) {
  return std::make_unique<RichEditLines>(edit, history);
}

long HistoryTextLimit() { return kHistoryChars + kLargestMessageChars; }
