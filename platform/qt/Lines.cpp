// The two kinds of lines a multi-line box has: a text box's, in its
// document, and a history's, in its line store.
#include "platform/qt/Lines.h"

#include "platform/Controls.h"

#include <history/HistoryView.h>
#include <text/TextLines.h>
#include <text/Utf8Qt.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <string>

namespace {

// The lines of a text box.
class EditLines final : public TQtStrings {
public:
  explicit EditLines(QPlainTextEdit* edit) : edit_(edit) {}

  using TStrings::Add;
  void Add(const text::Decoded& text) override {
    QTextCursor cursor(edit_->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (const std::string_view line : text::SplitLines(text.utf8)) {
      cursor.insertBlock();
      cursor.insertText(text::ToQString(line));
    }
    cursor.endEditBlock();
    // Bring the new last line into view.
    QScrollBar* bar = edit_->verticalScrollBar();
    bar->setValue(bar->maximum());
  }
  // One edit block of the document across the update: one change to tell.
  void BeginUpdate() override {
    if (updates_++ == 0) QTextCursor(edit_->document()).beginEditBlock();
  }
  void EndUpdate() override {
    if (updates_ > 0 && --updates_ == 0) QTextCursor(edit_->document()).endEditBlock();
  }
  [[nodiscard]] int Count() const override { return edit_->document()->blockCount(); }
  [[nodiscard]] QStringList ToStringList() const override {
    QStringList lines;
    for (QTextBlock block = edit_->document()->begin(); block.isValid(); block = block.next())
      lines << block.text();
    return lines;
  }

private:
  QPlainTextEdit* edit_;
  int updates_ = 0;
};

// The lines of a history.
class HistoryLines final : public TQtStrings {
public:
  explicit HistoryLines(HistoryView* view) : view_(view) {}

  // The lines of one Add, or of one update, go in as one insertion, as
  // UTF-8: the history cuts them at their breaks.
  using TStrings::Add;
  void Add(const text::Decoded& text) override {
    pending_ += '\n';
    pending_ += text.utf8;
    if (updates_ == 0) Flush();
  }
  void BeginUpdate() override { ++updates_; }
  void EndUpdate() override {
    if (updates_ > 0 && --updates_ == 0) Flush();
  }
  [[nodiscard]] int Count() const override { return static_cast<int>(view_->Model().LineCount()); }
  [[nodiscard]] bool HasRoom() override { return view_->HasRoom(); }
  [[nodiscard]] QStringList ToStringList() const override {
    QStringList lines;
    for (std::size_t i = 0; i < view_->Model().LineCount(); ++i)
      lines << view_->Model().Line(i);
    return lines;
  }

private:
  void Flush() {
    if (!pending_.empty()) view_->Append(pending_);
    pending_.clear();
  }

  HistoryView* view_;
  std::string pending_; // kept, with its room, from one arrival to the next
  int updates_ = 0;
};

} // namespace

std::unique_ptr<TQtStrings> MakeEditLines(QPlainTextEdit* edit) {
  return std::make_unique<EditLines>(edit);
}

std::unique_ptr<TQtStrings> MakeHistoryLines(HistoryView* view) {
  return std::make_unique<HistoryLines>(view);
}

std::size_t HistoryBudget() { return EditModel::kBudget; }
