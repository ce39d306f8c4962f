#pragma once

#include "history/EditModel.h"
#include "history/HistoryFind.h"

#include <text/Fold.h>

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// The search in a history, apart from any widget: what is looked for, with
// which options, the match selected and how many there are. Each match is
// selected with the history's own selection, so that Ctrl+C copies it and a
// screen reader reads it. Typing searches from where the last match began,
// so that a longer text keeps the same place; Next and Previous go round
// the end of the history.
//
// The count is taken again when the history changes (an arrival, an edit),
// at most once a second. It is taken a few milliseconds at a time, between
// other events, so that the window answers keys meanwhile however many
// matches there are (a single letter matches millions of times in a full
// history); the result shows once it is whole. The memory a search takes: the needle and its tables
// (8 KiB), plus what the text compares as, for each set of options used
// (about 140 KiB each, kept for the program's life).
class HistoryFinder : public QObject {
  Q_OBJECT

public:
  explicit HistoryFinder(EditModel& model, QObject* parent = nullptr);

  void SetText(const QString& text);
  void SetOptions(text::FindOptions options);
  [[nodiscard]] const QString& Text() const { return text_; }
  [[nodiscard]] text::FindOptions Options() const { return options_; }
  void Next();
  void Previous();

  // « 3 sur 17 », « Aucun résultat », or nothing while nothing is looked for.
  [[nodiscard]] QString Result() const;

  static constexpr int kRecountEvery = 1000; // ms
  static constexpr int kCountSlice = 20;     // ms of counting per turn of the event loop

signals:
  // A match was selected: the view brings it into view.
  void matchSelected();
  // What Result() says has changed.
  void resultChanged(const QString& result);

private:
  enum class From { Here, After, Before };
  void Search(From from);
  void Select(const Found& found);
  void Recount();
  void CountSome();
  [[nodiscard]] TextPos ToPos(std::size_t line, std::size_t byte) const;
  [[nodiscard]] std::size_t ToByte(TextPos pos) const;

  EditModel& model_;
  QString text_;
  text::FindOptions options_;
  std::optional<text::Needle> needle_;
  std::optional<Found> current_;
  Tally tally_;
  Tally counting_;            // the count being taken
  std::size_t nextChunk_ = 0; // where it goes on
  QTimer recount_;
  QTimer slice_;
};
