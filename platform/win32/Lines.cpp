// The lines of a RichEdit box: added at its end without moving what the
// user is reading or selecting, and a history's budget.
#include "platform/win32/Lines.h"

#include "platform/Controls.h"

#include "platform/win32/Notices.h"
#include "platform/win32/Wide.h"

#include <text/TextLines.h>

#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <chrono>
#include <string>
#include <string_view>

namespace {

// The history's budget. Wine's RichEdit keeps about 14.5 KiB for each
// message of two short lines (its paragraphs, runs and rows, besides the
// text), and every line added makes the next insertion and redraw slower:
// 20,000 lines (10,000 messages) stay under 150 MiB and keep the box
// answering. The characters bound what long messages cost, about 210 bytes
// each in Wine's RichEdit: 1,000,000 is some fifteen of the largest a
// datagram can carry, about 200 MiB. Windows' own RichEdit costs less; one
// budget for both keeps the program's behaviour the same. A line counts as
// 50 characters in what an arrival costs (lanchat::config::kLineBytes), so
// the one budget holds either.
constexpr long kHistoryLines = 20'000;
constexpr long kHistoryChars = 1'000'000;
// The most characters a message adds: its header and its text, together at
// most a datagram, a character per byte. A message adds two lines, more if
// its text has several: the line budget may be passed by those of one.
constexpr long kLargestMessageChars = 65'536;
constexpr long kMessageLines = 2;

// Wine's RichEdit lays a paragraph out again whole whenever it changes, at
// a cost that grows with the square of its length: one line of 65,000
// letters keeps it busy for 40 s, and even a paragraph of any text costs it
// about a millisecond per 60 characters. So a history's line longer than
// this goes in as several paragraphs, cut after a space where there is one
// in its second half, and a long message goes in a few paragraphs at a
// time, each pass of the event loop taking at most kPassTime of it: the
// window keeps answering while a flood's largest messages go in.
constexpr std::size_t kSliceChars = 512;
constexpr auto kPassTime = std::chrono::milliseconds(8);
// The timer that brings the next pass, and the subclass that receives it.
constexpr UINT_PTR kDrainTimer = 0x4C43;
constexpr UINT_PTR kDrainSubclass = 0x4C43;

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

// A line after a paragraph break; a history's long line in slices of at
// most kSliceChars, each after a break of its own.
void AppendParagraphs(std::wstring& out, std::wstring_view line, bool slice) {
  do {
    std::size_t cut = line.size();
    if (slice && cut > kSliceChars) {
      cut = kSliceChars;
      const std::size_t space = line.find_last_of(L' ', kSliceChars - 1);
      if (space != std::wstring_view::npos && space >= kSliceChars / 2)
        cut = space + 1;
      else if (IS_HIGH_SURROGATE(line[cut - 1]))
        --cut;
    }
    out += L'\r';
    out += line.substr(0, cut);
    line.remove_prefix(cut);
  } while (!line.empty());
}

// Each line of the text after a paragraph break, in UTF-16.
std::wstring AsParagraphs(const std::string& utf8, bool slice) {
  std::wstring wide;
  for (const std::string_view line : text::SplitLines(utf8))
    AppendParagraphs(wide, win32::Widen(line), slice);
  return wide;
}

class RichEditLines final : public TStrings {
public:
  RichEditLines(HWND edit, bool history) : edit_(edit), history_(history) {
    if (history_)
      SetWindowSubclass(edit_, Receive, kDrainSubclass, reinterpret_cast<DWORD_PTR>(this));
  }
  RichEditLines(const RichEditLines&) = delete;
  RichEditLines& operator=(const RichEditLines&) = delete;
  ~RichEditLines() override {
    if (history_ && IsWindow(edit_) != FALSE) {
      KillTimer(edit_, kDrainTimer);
      RemoveWindowSubclass(edit_, Receive, kDrainSubclass);
    }
  }

  using TStrings::Add;
  void Add(const text::Decoded& text) override {
    BeginUpdate();
    std::wstring lines = AsParagraphs(text.utf8, history_);
    // The first line of an empty box is the one it shows already.
    if (!history_ && TextLength(edit_, GTL_NUMCHARS) == 0 && !lines.empty()) lines.erase(0, 1);
    // After what is still waiting to go in, so that lines keep their order.
    for (const wchar_t c : lines)
      waitingParagraphs_ += c == L'\r' ? 1 : 0;
    waiting_ += lines;
    Drain();
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

  // The lines still waiting count as the box's.
  [[nodiscard]] int Count() const override {
    return static_cast<int>(Paragraphs(edit_) + waitingParagraphs_);
  }

  // Full when a message more could pass the budget; said once, and room
  // again once the user has made some (Ctrl+A, Suppr).
  [[nodiscard]] bool HasRoom() override {
    if (!history_) return true;
    const long waitingChars = static_cast<long>(waiting_.size() - waitingAt_);
    const bool room =
        Paragraphs(edit_) + waitingParagraphs_ + kMessageLines <= kHistoryLines &&
        TextLength(edit_, GTL_NUMCHARS) + waitingChars + kLargestMessageChars <= kHistoryChars;
    if (!room && !full_) TellHistoryFull(GetAncestor(edit_, GA_ROOT), kHistoryLines, kHistoryChars);
    full_ = !room;
    return room;
  }

private:
  // Puts in what waits, a slice's worth of whole paragraphs at a time, for
  // at most kPassTime; what is left goes in on the timer's next passes,
  // which come once input and painting are done.
  void Drain() {
    const auto start = std::chrono::steady_clock::now();
    while (waitingAt_ < waiting_.size()) {
      // Whole paragraphs, until they make a slice.
      std::size_t end = waitingAt_;
      do {
        const std::size_t next = waiting_.find(L'\r', end + 1);
        end = next == std::wstring::npos ? waiting_.size() : next;
      } while (end < waiting_.size() && end - waitingAt_ < kSliceChars);
      const std::wstring chunk = waiting_.substr(waitingAt_, end - waitingAt_);
      for (const wchar_t c : chunk)
        waitingParagraphs_ -= c == L'\r' ? 1 : 0;
      waitingAt_ = end;
      SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(-1), -1);
      SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(chunk.c_str()));
      if (history_ && std::chrono::steady_clock::now() - start >= kPassTime) break;
    }
    if (waitingAt_ < waiting_.size()) {
      // What went in is let go of once it is most of what is held.
      if (waitingAt_ > waiting_.size() / 2) {
        waiting_.erase(0, waitingAt_);
        waitingAt_ = 0;
      }
      if (!ticking_) ticking_ = SetTimer(edit_, kDrainTimer, USER_TIMER_MINIMUM, nullptr) != 0;
    } else {
      waiting_.clear();
      waitingAt_ = 0;
      if (ticking_) KillTimer(edit_, kDrainTimer);
      ticking_ = false;
    }
  }

  static LRESULT CALLBACK Receive(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR /*id*/, DWORD_PTR self) {
    if (message == WM_TIMER && wParam == kDrainTimer) {
      auto& lines = *reinterpret_cast<RichEditLines*>(self);
      lines.BeginUpdate();
      lines.Drain();
      lines.EndUpdate();
      return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, Receive, kDrainSubclass);
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }

  HWND edit_;
  bool history_;
  int updates_ = 0;
  View view_{};
  bool full_ = false;
  bool ticking_ = false; // the drain's timer is set
  // Paragraphs not in the box yet, each after its break, from waitingAt_.
  std::wstring waiting_;
  std::size_t waitingAt_ = 0;
  long waitingParagraphs_ = 0;
};

} // namespace

std::unique_ptr<TStrings> MakeRichEditLines(HWND edit, bool history) {
  return std::make_unique<RichEditLines>(edit, history);
}

long HistoryTextLimit() { return kHistoryChars + kLargestMessageChars; }

// The characters' budget: an arrival's cost counts at least a byte for each.
std::size_t HistoryBudget() { return kHistoryChars; }
