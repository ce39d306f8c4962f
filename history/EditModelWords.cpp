// The editing model's steps by grapheme and by word, and the word under a
// place: where a text layout puts them.
#include "history/EditModel.h"

#include <QTextLayout>

namespace {

// Characters that end a word for word-wise movement, as Qt's text engine
// counts them, besides white space.
bool IsWordSeparator(QChar c) {
  static constexpr std::u16string_view kSeparators = u".,?!@#$:;-<>[]()}{=/+%&^*'\"`~|\\";
  return kSeparators.find(c.unicode()) != std::u16string_view::npos;
}

int Length(const QString& text) { return static_cast<int>(text.size()); }

} // namespace

// One step by grapheme or by word, as a text layout takes it; a line's end
// and the next line's start are one step apart.
TextPos EditModel::Move(TextPos pos, bool forward, int mode) const {
  pos = Clamp(pos);
  const QString text = Line(pos.line);
  const auto skip = static_cast<QTextLayout::CursorMode>(mode);
  if (forward) {
    if (pos.column >= Length(text))
      return pos.line + 1 < store_.Count() ? TextPos{pos.line + 1, 0} : pos;
    return {pos.line, QTextLayout(text).nextCursorPosition(pos.column, skip)};
  }
  if (pos.column == 0) return pos.line > 0 ? TextPos{pos.line - 1, LineLength(pos.line - 1)} : pos;
  return {pos.line, QTextLayout(text).previousCursorPosition(pos.column, skip)};
}

TextPos EditModel::NextCharacter(TextPos pos) const {
  return Move(pos, true, QTextLayout::SkipCharacters);
}
TextPos EditModel::PreviousCharacter(TextPos pos) const {
  return Move(pos, false, QTextLayout::SkipCharacters);
}
TextPos EditModel::NextWord(TextPos pos) const { return Move(pos, true, QTextLayout::SkipWords); }
TextPos EditModel::PreviousWord(TextPos pos) const {
  return Move(pos, false, QTextLayout::SkipWords);
}

std::pair<TextPos, TextPos> EditModel::WordAt(TextPos pos) const {
  pos = Clamp(pos);
  const QString text = Line(pos.line);
  const int length = Length(text);
  auto separator = [&](int i) { return IsWordSeparator(text.at(i)); };
  auto space = [&](int i) { return text.at(i).isSpace(); };
  // The start: the word-wise step back from just after the place, as a
  // text box finds the start of the word under the cursor.
  int start = pos.column;
  if (start > 0 && !(start == length && (space(start - 1) || separator(start - 1)))) {
    const QTextLayout layout(text);
    start =
        layout.previousCursorPosition(start < length ? start + 1 : start, QTextLayout::SkipWords);
  }
  // The end: past a run of separators, or past the word's letters.
  int end = start;
  if (end < length && separator(end)) {
    while (end < length && separator(end))
      ++end;
  } else {
    while (end < length && !space(end) && !separator(end))
      ++end;
  }
  return {{pos.line, start}, {pos.line, end}};
}

bool EditModel::IsCursorPosition(TextPos pos) const {
  if (pos.column <= 0 || pos.column >= LineLength(pos.line)) return true;
  const QTextLayout layout(Line(pos.line));
  return layout.isValidCursorPosition(pos.column);
}
