#pragma once

#include "history/EditModel.h"

#include <lanchat/BuildConfig.h>

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string_view>

class FindBar;
class HistoryFinder;
class QMenu;

// The view of an EditModel: an editable multi-line box made for a long,
// growing log. Only the lines on screen are laid out, so appending costs the
// same at ten lines or a million. It lays out, paints and edits as a
// QPlainTextEdit with wrapping at the widget's width and no scroll bars:
// same margins, same rows, same keys, mouse, clipboard and context menu.
// The rows are a HistoryLayout's, what is on screen a HistoryViewport's,
// the input a HistoryControl's; the view paints, passes its events to the
// control and repaints what the control asks for.
//
// Reading position: while the last line is in view, an appended line brings
// itself into view; scrolled back, the view stays where the user left it.
//
// What the user should be told (the history full, a paste too large, an
// edit that cannot be undone) the view signals; its owner says it.
//
// Its parts are its own, as a Qt text box keeps its private part: callers
// read the model, and change the text through the view.
class HistoryView : public QAbstractScrollArea {
  Q_OBJECT

public:
  explicit HistoryView(QWidget* parent = nullptr, std::size_t capacity = EditModel::kCapacity,
                       std::size_t budget = EditModel::kBudget);
  ~HistoryView() override;

  // Whether a message may still be added. When the history is full it
  // turns messages away, counts them, and signals HistoryFull once (until
  // there is room again).
  [[nodiscard]] bool HasRoom();
  [[nodiscard]] std::uint64_t Refused() const;

  // The text, the cursor and the selection, to read.
  [[nodiscard]] const EditModel& Model() const;

  // Adds UTF-8 text at the end as one insertion (one change, one event for
  // assistive technology), each line after a line break: "\nAna a dit
  // :\nSalut" adds two lines. Followed into view only if the view was
  // already showing the last line. The way arrivals come in: no QString is
  // made for a line until it is shown.
  void Append(std::string_view utf8);
  // The same for a line, or for several, that a caller holds as QStrings.
  void AppendLine(const QString& line);
  void AppendLines(const QStringList& lines) { AppendLine(lines.join(u'\n')); }

  // Edits, as the model makes them (EditModel): the whole text replaced
  // (forgetting undo), the cursor moved or the text between `anchor` and
  // `cursor` selected, text put in place of the selection, or between two
  // places, the selection deleted, the last edit undone.
  void SetText(const QString& text);
  void SetCursor(TextPos to);
  void Select(TextPos anchor, TextPos cursor);
  void SelectAll();
  void InsertText(const QString& text);
  void Replace(TextPos from, TextPos to, const QString& text);
  void DeleteSelection();
  void Undo();

  // Index of the first line with a row on screen, and of the last.
  [[nodiscard]] int FirstVisibleLine() const;
  [[nodiscard]] int LastVisibleLine() const;
  // Whether the view shows the end of the text (and so follows new lines).
  [[nodiscard]] bool Following() const;
  // Scrolls as little as needed to show the cursor's row.
  void EnsureCursorVisible();

  // Geometry, in viewport coordinates.
  [[nodiscard]] QRect CursorRect() const;
  [[nodiscard]] QRect CharacterRect(TextPos pos) const;
  [[nodiscard]] TextPos PositionAt(QPoint point) const;

  [[nodiscard]] QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

  // The most text a paste may bring; a larger one is refused and signalled
  // by PasteTooLarge, and the clipboard keeps the text.
  static constexpr auto kMaxPaste = static_cast<qsizetype>(lanchat::config::kMaxDatagramSize);

  // The context menu a right click opens; the caller owns it.
  QMenu* CreateStandardContextMenu();

  // Opens the find box (Ctrl+F), its field focused.
  void OpenFind();
  // What is looked for, the match and the count (HistoryFinder), to read.
  [[nodiscard]] const HistoryFinder& Finder() const;
  // The find box; null until it is first opened.
  [[nodiscard]] FindBar* FindBox() const;

signals:
  // The history is full: messages are turned away until it is cleared.
  void HistoryFull();
  // A paste of `length` characters was refused: more than kMaxPaste.
  void PasteTooLarge(qsizetype length);
  // A selection of `bytes` (UTF-8) was not handed out to the clipboard or
  // to another program: more than PrimarySelection::kMaxHandedOut.
  void SelectionTooLarge(qint64 bytes);
  // An edit larger than the undo budget was made: it cannot be undone, nor
  // can anything before it.
  void UndoLost();
  // The find box's result, for a screen reader to say (FindBar::ToTell).
  void FindResult(const QString& result);

protected:
  // The input goes to the control (HistoryControl::ProcessEvent): from
  // here the keys (after Tab has had its say), input methods, focus and the
  // keyboard's context menu; from the viewport the mouse, the wheel and
  // its context menu.
  bool event(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  struct Impl; // the model, its layout, viewport, control and finder
  std::unique_ptr<Impl> d_;
};
