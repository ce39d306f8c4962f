// libFuzzer target for the history's editing model: operations decoded
// from the input (typing and inserting text with every kind of line break,
// surrogate pairs and combining marks; selecting, Backspace, Delete, words,
// replacing, appending lines, undo and redo) run on an EditModel and on a
// plain vector of lines, and the two must agree after every operation. The
// reference keeps the text before each undo step, with lines appended since
// added to it (appends are never undone); undoing everything must give back
// the first text and every appended line.
#include <history/EditModel.h>

#include <QGuiApplication>
#include <QTextBoundaryFinder>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

using Lines = std::vector<QString>;

// Pieces the inserted text is made of.
const QString kPieces[] = {"a",          "b",          "x",          " ",          ",",
                           ".",          "-",          "\r\n",       "\r",         "\n",
                           "\u2028",     "\u2029",     "\u00e9",     "\u0301",     "e\u0301",
                           "\u20ac",     "\U0001F600", "\U0001F1EB", "\U0001F1F7", "\u200d",
                           "\U0001F469", "\U0001D11E"};

bool IsBreak(QChar c) { return c == u'\r' || c == u'\n' || c == u'\u2028' || c == u'\u2029'; }

Lines Split(const QString& text) {
  Lines lines(1);
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!IsBreak(text[i])) {
      lines.back() += text[i];
      continue;
    }
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    lines.emplace_back();
  }
  return lines;
}

QString Join(const Lines& lines) {
  QString text;
  for (std::size_t i = 0; i < lines.size(); ++i)
    text += (i == 0 ? QString() : QStringLiteral("\n")) + lines[i];
  return text;
}

struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  [[nodiscard]] bool More() const { return at < size; }
  unsigned Byte() { return at < size ? data[at++] : 0U; }
  QString Text(unsigned maxPieces) {
    QString text;
    const unsigned pieces = Byte() % (maxPieces + 1);
    for (unsigned i = 0; i < pieces; ++i)
      text += kPieces[Byte() % std::size(kPieces)];
    return text;
  }
};

// The model's behaviour, written out on a vector of lines.
struct Reference {
  Lines lines{QString()};
  TextPos cursor, anchor;
  std::vector<Lines> undo, redo; // the text before each step, and after each undone one
  EditKind lastKind = EditKind::Other;
  TextPos lastEnd; // where the cursor stood after the last step
  bool mergeable = false;

  [[nodiscard]] int Length(std::size_t line) const { return static_cast<int>(lines[line].size()); }
  [[nodiscard]] TextPos Clamp(TextPos pos) const {
    pos.line = std::min(pos.line, lines.size() - 1);
    pos.column = std::clamp(pos.column, 0, Length(pos.line));
    const QString& text = lines[pos.line];
    if (pos.column > 0 && pos.column < text.size() && text[pos.column - 1].isHighSurrogate() &&
        text[pos.column].isLowSurrogate())
      ++pos.column;
    return pos;
  }
  [[nodiscard]] TextPos End() const { return {lines.size() - 1, Length(lines.size() - 1)}; }

  // Replaces [a, b) with text; returns the end of what was put in.
  TextPos Put(TextPos a, TextPos b, const QString& text) {
    const Lines parts = Split(text);
    const QString head = lines[a.line].left(a.column);
    const QString tail = lines[b.line].mid(b.column);
    Lines added = parts;
    added.front().prepend(head);
    added.back().append(tail);
    const auto first = lines.begin() + static_cast<std::ptrdiff_t>(a.line);
    lines.erase(first, first + static_cast<std::ptrdiff_t>(b.line - a.line + 1));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(a.line), added.begin(), added.end());
    const int column = (parts.size() == 1 ? a.column : 0) + static_cast<int>(parts.back().size());
    return {a.line + parts.size() - 1, column};
  }

  // One edit: a new undo step, or part of the last one.
  void Edit(TextPos a, TextPos b, const QString& text, EditKind kind, bool moveCursor = true) {
    a = Clamp(a);
    b = Clamp(b);
    if (b < a) std::swap(a, b);
    if (a == b && text.isEmpty()) return;
    const bool merges = mergeable && kind != EditKind::Other && kind == lastKind &&
                        !(kind == EditKind::Typing && a != b) &&
                        (kind == EditKind::Backspace ? b : a) == lastEnd;
    if (!merges) {
      undo.push_back(lines);
      redo.clear();
    }
    const TextPos end = Put(a, b, text);
    if (moveCursor) {
      cursor = anchor = end;
    } else {
      for (TextPos* pos : {&cursor, &anchor}) {
        if (*pos <= a) continue;
        if (*pos < b) {
          *pos = a;
        } else if (pos->line == b.line) {
          *pos = {end.line, end.column + (pos->column - b.column)};
        } else {
          pos->line = pos->line - b.line + end.line;
        }
      }
    }
    lastKind = kind;
    lastEnd = (kind == EditKind::Backspace || kind == EditKind::Delete) ? a : end;
    mergeable = true;
  }

  [[nodiscard]] std::pair<TextPos, TextPos> Selection() const {
    return {std::min(anchor, cursor), std::max(anchor, cursor)};
  }
};

// The next grapheme boundary after a column, found apart from the model.
int NextGrapheme(const QString& line, int column) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line);
  finder.setPosition(column);
  const qsizetype next = finder.toNextBoundary();
  return next < 0 ? static_cast<int>(line.size()) : static_cast<int>(next);
}

void Compare(const EditModel& model, const Reference& ref) {
  Check(model.LineCount() == ref.lines.size());
  std::size_t units = 0;
  for (std::size_t i = 0; i < ref.lines.size(); ++i) {
    Check(model.Line(i) == ref.lines[i]);
    units += static_cast<std::size_t>(ref.lines[i].size()) + (i == 0 ? 0 : 1);
  }
  Check(model.CharacterCount() == units);
  Check(model.Cursor() == ref.cursor);
  Check(model.Anchor() == ref.anchor);
  Check(model.PosAt(model.Offset(ref.cursor)) == ref.cursor);
}

int Setup() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz_edit";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int ready = Setup();
  (void)ready;
  Input in{data, size};
  EditModel model;
  Reference ref;
  const QString initial = in.Text(12);
  model.SetText(initial);
  ref.lines = Split(initial);
  Lines appended; // every line appended, in order
  Compare(model, ref);

  for (int ops = 0; in.More() && ops < 400; ++ops) {
    const auto [from, to] = ref.Selection();
    switch (in.Byte() % 16) {
    case 0:
    case 1: { // typing
      const QString text = in.Text(3);
      const bool broken = Split(text).size() > 1;
      model.InsertText(text, EditKind::Typing);
      ref.Edit(from, to, text, broken ? EditKind::Other : EditKind::Typing);
      break;
    }
    case 2: { // pasting
      const QString text = in.Text(12);
      model.InsertText(text);
      ref.Edit(from, to, text, EditKind::Other);
      break;
    }
    case 3: { // many lines at once, to cross chunks
      const QString text = QString(QStringLiteral("ab\n")).repeated(in.Byte() * 4);
      model.InsertText(text);
      ref.Edit(from, to, text, EditKind::Other);
      break;
    }
    case 4:
    case 5: { // select, or move the cursor
      const unsigned how = in.Byte();
      auto place = [&] {
        const std::size_t line = in.Byte() % ref.lines.size();
        return ref.Clamp({line, static_cast<int>(in.Byte() % (ref.lines[line].size() + 2))});
      };
      const TextPos a = place(), c = place();
      if (how % 3 == 0) {
        model.Select(a, c);
        ref.anchor = a;
        ref.cursor = c;
      } else {
        model.SetCursor(c, how % 3 == 1);
        ref.cursor = c;
        if (how % 3 == 2) ref.anchor = c;
      }
      break;
    }
    case 6:
      model.SelectAll();
      ref.anchor = {};
      ref.cursor = ref.End();
      break;
    case 7:
      model.DeleteSelection();
      ref.Edit(from, to, {}, EditKind::Other);
      break;
    case 8: { // Backspace
      model.DeletePreviousCharacter();
      const TextPos c = ref.cursor;
      if (from != to) {
        ref.Edit(from, to, {}, EditKind::Other);
      } else if (c.column == 0) {
        if (c.line > 0) ref.Edit({c.line - 1, ref.Length(c.line - 1)}, c, {}, EditKind::Other);
      } else {
        const QString& line = ref.lines[c.line];
        int back = c.column - 1;
        if (back > 0 && line[back].isLowSurrogate() && line[back - 1].isHighSurrogate()) --back;
        ref.Edit({c.line, back}, c, {}, EditKind::Backspace);
      }
      break;
    }
    case 9: { // Delete
      model.DeleteNextCharacter();
      const TextPos c = ref.cursor;
      if (from != to) {
        ref.Edit(from, to, {}, EditKind::Other);
      } else if (c.column == ref.Length(c.line)) {
        if (c.line + 1 < ref.lines.size()) ref.Edit(c, {c.line + 1, 0}, {}, EditKind::Other);
      } else {
        ref.Edit(c, {c.line, NextGrapheme(ref.lines[c.line], c.column)}, {}, EditKind::Delete);
      }
      break;
    }
    case 10: { // words: where a word ends is the model's (tested elsewhere)
      const bool back = in.Byte() % 2 == 0;
      const TextPos c = ref.cursor;
      const TextPos word = back ? model.PreviousWord(c) : model.NextWord(c);
      if (back) {
        model.DeletePreviousWord();
      } else {
        model.DeleteNextWord();
      }
      ref.Edit(from != to ? from : word, from != to ? to : c, {}, EditKind::Other);
      break;
    }
    case 11: { // an edit away from the cursor
      const std::size_t l1 = in.Byte() % ref.lines.size(), l2 = in.Byte() % ref.lines.size();
      const TextPos a = {l1, static_cast<int>(in.Byte() % (ref.lines[l1].size() + 1))};
      const TextPos b = {l2, static_cast<int>(in.Byte() % (ref.lines[l2].size() + 1))};
      const QString text = in.Text(4);
      model.Replace(a, b, text);
      ref.Edit(a, b, text, EditKind::Other, false);
      break;
    }
    case 12: { // a line arrives
      const QString text = in.Text(4);
      model.AppendLine(text);
      const Lines lines = Split(text);
      ref.lines.insert(ref.lines.end(), lines.begin(), lines.end());
      // Every text an undo or a redo goes back to has them too.
      for (auto* stack : {&ref.undo, &ref.redo})
        for (Lines& snapshot : *stack)
          snapshot.insert(snapshot.end(), lines.begin(), lines.end());
      appended.insert(appended.end(), lines.begin(), lines.end());
      break;
    }
    case 13:
    case 14: { // undo, redo
      const bool isUndo = in.Byte() % 3 != 0;
      auto& from_ = isUndo ? ref.undo : ref.redo;
      auto& to_ = isUndo ? ref.redo : ref.undo;
      Check((isUndo ? model.CanUndo() : model.CanRedo()) == !from_.empty());
      if (isUndo) {
        model.Undo();
      } else {
        model.Redo();
      }
      if (!from_.empty()) {
        to_.push_back(ref.lines);
        ref.lines = from_.back();
        from_.pop_back();
        // The cursor lands after the text put back: take the model's, if valid.
        Check(model.Clamp(model.Cursor()) == model.Cursor());
        Check(model.Cursor() == model.Anchor());
        ref.cursor = ref.anchor = model.Cursor();
        ref.mergeable = false;
      }
      break;
    }
    case 15:
      model.BreakMerge();
      ref.mergeable = false;
      break;
    }
    Compare(model, ref);
  }

  // Undoing everything gives back the first text, with every line appended.
  std::size_t steps = 0;
  while (model.CanUndo()) {
    model.Undo();
    ++steps;
  }
  Check(steps == ref.undo.size());
  Lines expected = Split(initial);
  expected.insert(expected.end(), appended.begin(), appended.end());
  Check(model.Text() == Join(expected));
  return 0;
}
