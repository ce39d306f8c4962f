// The pieces of the lines: where a long line is cut, each piece's layout,
// and stepping from piece to piece and from row to row.
#include "history/HistoryLayout.h"

#include <QTextBoundaryFinder>
#include <QTextOption>

#include <algorithm>

namespace {

// Pieces and lines kept beyond those on screen before they are let go.
constexpr std::size_t kKeptPieces = 64;
constexpr std::size_t kKeptCuts = 4096;

// Where a piece ending near `at` ends: at the last place before it where a
// row may break (within a quarter of a piece), else between the two
// characters nearest before it. Only the text around `at` is read, so each
// cut is found alone.
int CutNear(const QString& text, int at) {
  const int from = std::max(0, at - HistoryLayout::kPieceLength / 4);
  const int to = std::min(static_cast<int>(text.size()), at + 16);
  QTextBoundaryFinder rows(QTextBoundaryFinder::Line, text.constData() + from, to - from);
  rows.setPosition(at - from);
  if (!rows.isAtBoundary()) rows.toPreviousBoundary();
  if (rows.position() > 0) return from + static_cast<int>(rows.position());
  const int near = std::max(0, at - 64);
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text.constData() + near, to - near);
  characters.setPosition(at - near);
  if (!characters.isAtBoundary()) characters.toPreviousBoundary();
  if (characters.position() > 0) return near + static_cast<int>(characters.position());
  // One character longer than that: cut it, but not inside a surrogate pair.
  return text.at(at).isLowSurrogate() ? at + 1 : at;
}

} // namespace

HistoryLayout::LineCuts HistoryLayout::MakeCuts(std::size_t line) const {
  const int length = model_.LineLength(line);
  if (length <= kPieceLength) return {{0, length}, {}};
  const QString text = model_.Line(line);
  LineCuts cuts{{0}, {0}};
  for (int at = kPieceLength; at < length; at += kPieceLength)
    if (const int cut = CutNear(text, at); cut > cuts.units.back() && cut < length)
      cuts.units.push_back(cut);
  cuts.units.push_back(length);
  // The same places in the line's UTF-8, so that a piece is read alone.
  std::size_t bytes = 0;
  for (std::size_t i = 1, unit = 0; i < cuts.units.size(); ++i) {
    for (; unit < static_cast<std::size_t>(cuts.units[i]); ++unit) {
      const char16_t c = text.at(static_cast<qsizetype>(unit)).unicode();
      bytes += c < 0x80 ? 1U : c < 0x800 || QChar::isSurrogate(c) ? 2U : 3U;
    }
    cuts.bytes.push_back(bytes);
  }
  return cuts;
}

const HistoryLayout::LineCuts& HistoryLayout::FindCuts(std::size_t line) const {
  auto found = cuts_.find(line);
  if (found == cuts_.end()) found = cuts_.emplace(line, MakeCuts(line)).first;
  return found->second;
}

const std::vector<int>& HistoryLayout::Cuts(std::size_t line) const { return FindCuts(line).units; }

int HistoryLayout::PieceCount(std::size_t line) const {
  return static_cast<int>(Cuts(line).size()) - 1;
}

bool HistoryLayout::LastPiece(PieceKey key) const { return key.piece + 1 == PieceCount(key.line); }

int HistoryLayout::PieceOf(std::size_t line, int column) const {
  const std::vector<int>& cuts = Cuts(line);
  const auto after = std::upper_bound(cuts.begin() + 1, cuts.end() - 1, column);
  return static_cast<int>(after - cuts.begin()) - 1;
}

HistoryLayout::RowPos HistoryLayout::RowOf(TextPos pos) const {
  const PieceKey key{pos.line, PieceOf(pos.line, pos.column)};
  const LayoutPtr layout = Find(key);
  const int row = layout->lineForTextPosition(pos.column - PieceStart(key)).lineNumber();
  return {key.line, key.piece, std::max(0, row)};
}

HistoryLayout::LayoutPtr HistoryLayout::MakeLayout(PieceKey key) const {
  const int start = PieceStart(key);
  const LineCuts& cuts = FindCuts(key.line);
  QString text;
  const std::string_view utf8 = model_.Utf8Line(key.line);
  if (cuts.bytes.empty()) {
    text = model_.Line(key.line);
  } else if (cuts.bytes.back() == utf8.size()) {
    const auto piece = static_cast<std::size_t>(key.piece);
    text = QString::fromUtf8(
        utf8.substr(cuts.bytes[piece], cuts.bytes[piece + 1] - cuts.bytes[piece]));
  } else { // not the UTF-8 it was cut from: read the whole line
    text = model_.Line(key.line).mid(start, PieceEnd(key) - start);
  }
  auto layout = std::make_shared<QTextLayout>(text, font_);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout->setTextOption(option);
  layout->setCacheEnabled(true);
  const TextPos cursor = model_.Cursor();
  if (!preedit_.isEmpty() && key.line == cursor.line &&
      key.piece == PieceOf(cursor.line, cursor.column)) {
    // The pre-edit text shows inside the line, in the formats the input
    // method asks for.
    layout->setPreeditArea(cursor.column - start, preedit_);
    QList<QTextLayout::FormatRange> formats = preeditFormats_;
    for (QTextLayout::FormatRange& range : formats)
      range.start += cursor.column - start;
    layout->setFormats(formats);
  }
  layout->beginLayout();
  qreal y = 0;
  for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
    row.setLeadingIncluded(true);
    row.setLineWidth(TextWidth());
    row.setPosition(QPointF(kMargin, y));
    y += row.height();
  }
  layout->endLayout();
  return layout;
}

HistoryLayout::LayoutPtr HistoryLayout::Find(PieceKey key) const {
  if (const auto kept = layouts_.find(key); kept != layouts_.end()) return kept->second;
  // The pieces handed out live on with their holders.
  if (layouts_.size() >= onScreen_ + kKeptPieces) layouts_.clear();
  return layouts_[key] = MakeLayout(key);
}

void HistoryLayout::Forget() {
  layouts_.clear();
  onScreen_ = 0;
  cuts_.clear();
}

void HistoryLayout::KeepOnly(const std::vector<PieceKey>& keys) {
  std::map<PieceKey, LayoutPtr> kept;
  for (const PieceKey& key : keys)
    kept[key] = Find(key);
  layouts_ = std::move(kept);
  onScreen_ = layouts_.size();
  if (cuts_.size() > kKeptCuts) {
    std::map<std::size_t, LineCuts> lines;
    for (const PieceKey& key : keys)
      lines.emplace(key.line, FindCuts(key.line));
    cuts_ = std::move(lines);
  }
}

int HistoryLayout::Rows(PieceKey key) const { return std::max(1, Find(key)->lineCount()); }

qreal HistoryLayout::Height(PieceKey key) const {
  const LayoutPtr layout = Find(key);
  if (layout->lineCount() == 0) return RowHeight();
  const QTextLine last = layout->lineAt(layout->lineCount() - 1);
  return last.y() + last.height();
}

HistoryLayout::PieceKey HistoryLayout::LastKey() const {
  const std::size_t line = model_.LineCount() - 1;
  return {line, PieceCount(line) - 1};
}

bool HistoryLayout::Next(PieceKey& key) const {
  if (key.piece + 1 < PieceCount(key.line)) {
    ++key.piece;
  } else if (key.line + 1 < model_.LineCount()) {
    ++key.line;
    key.piece = 0;
  } else {
    return false;
  }
  return true;
}

bool HistoryLayout::Previous(PieceKey& key) const {
  if (key.piece > 0) {
    --key.piece;
  } else if (key.line > 0) {
    --key.line;
    key.piece = PieceCount(key.line) - 1;
  } else {
    return false;
  }
  return true;
}

bool HistoryLayout::Next(RowPos& pos) const {
  PieceKey key{pos.line, pos.piece};
  if (pos.row + 1 < Rows(key)) {
    ++pos.row;
    return true;
  }
  if (!Next(key)) return false;
  pos = {key.line, key.piece, 0};
  return true;
}

bool HistoryLayout::Previous(RowPos& pos) const {
  if (pos.row > 0) {
    --pos.row;
    return true;
  }
  PieceKey key{pos.line, pos.piece};
  if (!Previous(key)) return false;
  pos = {key.line, key.piece, Rows(key) - 1};
  return true;
}
