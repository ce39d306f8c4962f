#include "history/HistoryAccessible.h"

#include "history/FindBar.h"
#include "history/HistoryView.h"

#include <chat/ArrivalPace.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontInfo>
#include <QTextBoundaryFinder>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

using chat::ArrivalPace;

const QString kName = QStringLiteral("Historique des messages");

int ToInt(std::size_t value) {
  return static_cast<int>(std::min<std::size_t>(value, std::numeric_limits<int>::max()));
}

static_assert(kAccessibleTextLimit <= static_cast<int>(TextChange::kHead));

// At most kAccessibleTextLimit units of a text, a surrogate pair never cut.
QString Head(QString text) {
  if (text.size() > kAccessibleTextLimit) text.truncate(kAccessibleTextLimit);
  if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
  return text;
}

enum class Side { Before, At, After };

// The edges of the items (characters, words and the runs between them,
// sentences) of a string: where Qt's text boundaries start or end an item,
// and the string's two ends.
std::vector<int> ItemEdges(QTextBoundaryFinder::BoundaryType type, const QString& text) {
  std::vector<int> edges{0};
  QTextBoundaryFinder finder(type, text);
  const auto items = QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem;
  for (qsizetype at = finder.toNextBoundary(); at > 0 && at < text.size();
       at = finder.toNextBoundary())
    if (finder.boundaryReasons() & items) edges.push_back(static_cast<int>(at));
  if (text.size() > 0) edges.push_back(static_cast<int>(text.size()));
  return edges;
}

// The item before, at or after `offset` in a string with the given edges,
// as indexes of its first and last edge; nothing if there is none.
std::optional<std::pair<std::size_t, std::size_t>> ItemAround(const std::vector<int>& edges,
                                                              Side side, int offset) {
  const int size = edges.back();
  // The item holding the offset starts at edge i (the end: past the last).
  const auto upper = std::upper_bound(edges.begin(), edges.end(), offset);
  std::size_t i = static_cast<std::size_t>(upper - edges.begin()) - 1;
  if (offset >= size) i = edges.size() - 1;
  switch (side) {
  case Side::Before:
    if (i == 0) return std::nullopt;
    return std::pair{i - 1, i};
  case Side::At:
    if (offset >= size) return std::nullopt;
    return std::pair{i, i + 1};
  case Side::After:
    if (i + 2 >= edges.size()) return std::nullopt;
    return std::pair{i + 1, i + 2};
  }
  return std::nullopt;
}

// The history as an editable text. Offsets are the model's: UTF-16 units,
// a line break counting one. Only the lines asked about are read.
class HistoryAccessible : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface {
public:
  explicit HistoryAccessible(HistoryView* view)
      : QAccessibleWidget(view, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface)
      return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    state.editable = true;
    state.focusable = true;
    state.selectableText = true;
    return state;
  }

  QString text(QAccessible::Text type) const override {
    if (type == QAccessible::Value) return text(0, characterCount());
    QString text = QAccessibleWidget::text(type);
    if (type == QAccessible::Name && text.isEmpty()) text = kName;
    return text;
  }

  // The viewport and the hidden scroll bars are the view's own business:
  // to assistive technology the text is all there is.
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  // ---- Text
  int characterCount() const override { return ToInt(Model().CharacterCount()); }

  QString text(int startOffset, int endOffset) const override {
    if (endOffset < startOffset) std::swap(startOffset, endOffset);
    startOffset = std::max(startOffset, 0);
    endOffset = startOffset + std::min(endOffset - startOffset, kAccessibleTextLimit);
    return Head(Model().TextBetween(PosAt(startOffset), PosAt(endOffset)));
  }

  int cursorPosition() const override { return OffsetOf(Model().Cursor()); }
  void setCursorPosition(int position) override { View()->SetCursor(PosAt(position)); }

  int selectionCount() const override { return Model().HasSelection() ? 1 : 0; }

  void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !Model().HasSelection()) return;
    const auto [start, end] = Model().Selection();
    *startOffset = OffsetOf(start);
    *endOffset = OffsetOf(end);
  }

  // The model holds one selection: adding one replaces it.
  void addSelection(int startOffset, int endOffset) override {
    setSelection(0, startOffset, endOffset);
  }

  void removeSelection(int selectionIndex) override {
    if (selectionIndex == 0) View()->SetCursor(Model().Cursor());
  }

  void setSelection(int selectionIndex, int startOffset, int endOffset) override {
    if (selectionIndex != 0) return;
    View()->Select(PosAt(startOffset), PosAt(endOffset));
  }

  QRect characterRect(int offset) const override {
    const QRect rect = View()->CharacterRect(PosAt(offset));
    if (rect.isEmpty()) return {};
    return {View()->viewport()->mapToGlobal(rect.topLeft()), rect.size()};
  }

  int offsetAtPoint(const QPoint& point) const override {
    const QPoint local = View()->viewport()->mapFromGlobal(point);
    if (!View()->viewport()->rect().contains(local)) return -1;
    return OffsetOf(View()->PositionAt(local));
  }

  // Moves the cursor to the start of the range.
  void scrollToSubstring(int startIndex, int /*endIndex*/) override {
    View()->SetCursor(PosAt(startIndex));
    View()->EnsureCursorVisible();
  }

  // One font for the whole text.
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    const int count = characterCount();
    if (offset == -2) offset = cursorPosition();
    if (offset < 0 || offset > count) {
      *startOffset = *endOffset = -1;
      return {};
    }
    *startOffset = 0;
    *endOffset = count;
    const QFontInfo font(View()->font());
    return QStringLiteral("font-family:\"%1\";font-size:%2pt;font-weight:%3;")
        .arg(font.family())
        .arg(font.pointSize())
        .arg(font.bold() ? 700 : 400);
  }

  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                           int* endOffset) const override {
    return Around(Side::Before, offset, type, startOffset, endOffset);
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                       int* endOffset) const override {
    return Around(Side::At, offset, type, startOffset, endOffset);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                          int* endOffset) const override {
    return Around(Side::After, offset, type, startOffset, endOffset);
  }

  // ---- Editing, each one step of the model's undo
  void deleteText(int startOffset, int endOffset) override {
    View()->Replace(PosAt(startOffset), PosAt(endOffset), {});
  }
  void insertText(int offset, const QString& text) override {
    const TextPos at = PosAt(offset);
    View()->Replace(at, at, text);
  }
  void replaceText(int startOffset, int endOffset, const QString& text) override {
    View()->Replace(PosAt(startOffset), PosAt(endOffset), text);
  }

private:
  [[nodiscard]] HistoryView* View() const { return static_cast<HistoryView*>(widget()); }
  [[nodiscard]] const EditModel& Model() const { return View()->Model(); }

  [[nodiscard]] TextPos PosAt(int offset) const {
    return Model().PosAt(static_cast<std::size_t>(std::max(offset, 0)));
  }
  [[nodiscard]] int OffsetOf(TextPos pos) const { return ToInt(Model().Offset(pos)); }

  // The item of the given kind before, at or after an offset. Lines are the
  // model's lines, each with its line break; characters, words and
  // sentences follow Qt's rules, which never join across a line break, so
  // they are looked for in the lines around the offset, more of them only
  // when an item reaches the edge of those read.
  QString Around(Side side, int offset, QAccessible::TextBoundaryType type, int* startOffset,
                 int* endOffset) const {
    *startOffset = *endOffset = -1;
    const int count = characterCount();
    if (offset == -2) offset = cursorPosition();
    if (offset == -1) offset = count;
    if (count == 0 || offset < 0 || offset > count) return {};
    if (type == QAccessible::NoBoundary) {
      if (side != Side::At) return {};
      QString text = this->text(0, count);
      *startOffset = 0;
      *endOffset = static_cast<int>(text.size());
      return text;
    }
    if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary)
      return LineAround(side, offset, startOffset, endOffset);

    QTextBoundaryFinder::BoundaryType finderType = QTextBoundaryFinder::Grapheme;
    if (type == QAccessible::WordBoundary) finderType = QTextBoundaryFinder::Word;
    if (type == QAccessible::SentenceBoundary) finderType = QTextBoundaryFinder::Sentence;
    return FinderItemAround(side, offset, finderType, startOffset, endOffset);
  }

  // The character, word or sentence before, at or after an offset, looked
  // for in twice as many lines around it each time an item reaches the edge
  // of the lines read.
  QString FinderItemAround(Side side, int offset, QTextBoundaryFinder::BoundaryType finderType,
                           int* startOffset, int* endOffset) const {
    const EditModel& model = Model();
    const std::size_t lastLine = model.LineCount() - 1;
    const std::size_t line = model.PosAt(static_cast<std::size_t>(offset)).line;
    for (std::size_t span = 1;; span *= 2) {
      const std::size_t first = line - std::min(line, span);
      const std::size_t last = std::min(lastLine, line + span);
      const bool open = first > 0;
      const bool more = last < lastLine;
      // With the line break on each side that has more text, every edge
      // inside is an edge of the whole text; the two ends are only if the
      // text ends there.
      QString text = model.TextBetween({first, 0}, {last, model.LineLength(last)});
      if (open) text.prepend(QLatin1Char('\n'));
      if (more) text.append(QLatin1Char('\n'));
      const int base = OffsetOf({first, 0}) - (open ? 1 : 0);
      const std::vector<int> edges = ItemEdges(finderType, text);
      const auto item = ItemAround(edges, side, offset - base);
      const bool start = item ? item->first == 0 : side == Side::Before;
      const bool end = item ? item->second == edges.size() - 1 : side == Side::After;
      if ((start && open) || (end && more)) continue;
      if (!item) return {};
      *startOffset = base + edges[item->first];
      *endOffset = base + edges[item->second];
      return text.mid(edges[item->first], edges[item->second] - edges[item->first]);
    }
  }

  QString LineAround(Side side, int offset, int* startOffset, int* endOffset) const {
    const EditModel& model = Model();
    const int count = characterCount();
    std::size_t line = model.PosAt(static_cast<std::size_t>(offset)).line;
    if (side == Side::Before) {
      if (offset == 0 || line == 0) return {};
      --line;
    } else if (side == Side::After) {
      if (offset >= count || line + 1 >= model.LineCount()) return {};
      ++line;
    }
    const bool last = line + 1 >= model.LineCount();
    *startOffset = OffsetOf({line, 0});
    *endOffset = last ? count : OffsetOf({line + 1, 0});
    QString text = model.Line(line);
    if (!last) text += QLatin1Char('\n');
    return text;
  }
};

// Qt asks by the name of each class of the object, its own first. The find
// box is a panel: as a QFrame it would be a frame, which Orca takes for a
// window of its own, inactive, and so says nothing of the focus in it.
QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String(FindBar::staticMetaObject.className()))
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping,
                                 QStringLiteral("Rechercher"));
  if (className != QLatin1String(HistoryView::staticMetaObject.className())) return nullptr;
  return new HistoryAccessible(static_cast<HistoryView*>(object));
}

// What assistive technology was last told, to tell it only what moved.
struct Reported {
  TextPos cursor;
  std::pair<TextPos, TextPos> selection;
};

// Appended lines not told yet, at the pace of ArrivalPace: one insertion
// from where the first of them went, the text of them all.
struct HeldLines {
  ArrivalPace pace;
  int position = -1;
  QString text;
  int cursor = -1; // where the cursor was when the last of them came
  QTimer* timer = nullptr;
};

// Arrivals are told as insertions only while the history does not have the
// focus. With the focus, Orca 43 says an insertion only when its last key
// gives it a cause (Tab, a Ctrl shortcut, a middle click: onTextInserted in
// its default script), a key the program may never see (Orca keeps its own
// commands from it); the window announces each arrival wherever the focus
// is (desktop/Announcer.h), so an insertion told as well would be said
// twice after those keys and not at all after others. Unfocused, Orca does
// not say the insertion; other readers keep up with the text. Appended at
// the end, an arrival moves neither the cursor nor any offset before it.
void TellInserted(HistoryView& view, int position, const QString& text, int cursor) {
  if (view.hasFocus()) return;
  QAccessibleTextInsertEvent event(&view, position, Head(text));
  // An appended line leaves the cursor where it was.
  if (cursor >= 0) event.setCursorPosition(cursor);
  QAccessible::updateAccessibility(&event);
}

// Tells the lines held as one insertion; `cursor`: where the cursor is.
void TellHeld(HistoryView& view, HeldLines& held, int cursor) {
  if (held.text.isEmpty()) return;
  const QString text = std::exchange(held.text, {});
  if (QAccessible::isActive()) TellInserted(view, held.position, text, cursor);
}

// Has the timer fire when the held lines are due.
void Schedule(HeldLines& held) {
  const auto due = held.pace.Due();
  if (!due || held.timer->isActive()) return;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - ArrivalPace::Clock::now());
  held.timer->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)));
}

int CursorOffset(const HistoryView& view) {
  return static_cast<int>(view.Model().Offset(view.Model().Cursor()));
}

// An arrival: told at once after a quiet second, else held and told with
// those that follow it.
void TellArrival(HistoryView& view, HeldLines& held, int position, const QString& inserted) {
  const int cursor = CursorOffset(view);
  if (held.pace.Arrive(ArrivalPace::Clock::now())) {
    TellInserted(view, position, inserted, cursor);
    return;
  }
  if (held.text.isEmpty()) held.position = position;
  held.text += inserted;
  held.cursor = cursor;
  Schedule(held);
}

void TellChange(HistoryView& view, HeldLines& held, const TextChange& change) {
  if (!QAccessible::isActive()) {
    held.text.clear();
    return;
  }
  const int position = static_cast<int>(change.offset);
  QString inserted = change.Inserted();
  // The model breaks lines at CR LF, CR and the Unicode separators; tell
  // the text as it now stands.
  if (inserted.contains(QLatin1Char('\r')) || inserted.contains(QChar(0x2028)) ||
      inserted.contains(QChar(0x2029)))
    inserted = view.Model().TextBetween(
        change.from,
        std::min(change.insertedEnd, view.Model().PosAt(change.offset + kAccessibleTextLimit)));
  // A change of any size is told, as a text box tells it. Qt's AT-SPI
  // bridge (6.4) takes an event's length from its text and sends nothing
  // for an empty text: a large change is told by its head (Head), the text
  // a request for that range is handed, and the length sent is the head's.
  if (change.removed.isEmpty() && inserted.isEmpty()) return;
  if (change.appended && change.removed.isEmpty())
    return TellArrival(view, held, position, inserted);
  // An edit: the lines held are told before it, so that its offsets
  // follow theirs.
  TellHeld(view, held, held.cursor);
  if (change.removed.isEmpty()) {
    QAccessibleTextInsertEvent event(&view, position, Head(inserted));
    QAccessible::updateAccessibility(&event);
  } else if (inserted.isEmpty()) {
    QAccessibleTextRemoveEvent event(&view, position, Head(change.removed));
    QAccessible::updateAccessibility(&event);
  } else {
    QAccessibleTextUpdateEvent event(&view, position, Head(change.removed), Head(inserted));
    QAccessible::updateAccessibility(&event);
  }
}

} // namespace

void AttachAccessibility(HistoryView& view, EditModel& model) {
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  static_cast<void>(installed);
  // The name comes from the interface (see text()): setting it on the
  // widget would make Qt build the interface now, listened to or not.

  auto held = std::make_shared<HeldLines>();
  held->timer = new QTimer(&view);
  held->timer->setSingleShot(true);
  held->timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(held->timer, &QTimer::timeout, &view, [&view, held] {
    if (held->pace.TakeDue(ArrivalPace::Clock::now()) == 0) return Schedule(*held);
    TellHeld(view, *held, CursorOffset(view));
  });

  model.OnChange([&view, held](const TextChange& change) { TellChange(view, *held, change); });

  auto reported = std::make_shared<Reported>();
  model.OnCursor([&model, &view, reported] {
    const TextPos cursor = model.Cursor();
    const auto selection =
        model.HasSelection() ? model.Selection() : std::pair<TextPos, TextPos>{cursor, cursor};
    const Reported before = std::exchange(*reported, {cursor, selection});
    if (!QAccessible::isActive()) return;
    const int at = static_cast<int>(model.Offset(cursor));
    if (selection != before.selection &&
        (model.HasSelection() || before.selection.first != before.selection.second)) {
      QAccessibleTextSelectionEvent event(&view, static_cast<int>(model.Offset(selection.first)),
                                          static_cast<int>(model.Offset(selection.second)));
      event.setCursorPosition(at);
      QAccessible::updateAccessibility(&event);
    }
    if (cursor != before.cursor) {
      QAccessibleTextCursorEvent event(&view, at);
      QAccessible::updateAccessibility(&event);
    }
  });
}
