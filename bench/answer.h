#pragma once

// Timing the window's answer to an event: an event posted, then a marker
// that runs after the repaint the event asks for. Used by 13. (in
// bench_paging) and 14. (in lanchat_bench).
#include <QEvent>
#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <string>

class QKeyEvent;
class TForm1;

namespace bench {

// An event of its own type, noted when it reaches a MarkerSink.
class Marker final : public QEvent {
public:
  explicit Marker(std::size_t at);
  const std::size_t index;
};

// Receives markers on the window's thread; `seen` is called with each.
class MarkerSink final : public QObject {
public:
  explicit MarkerSink(std::function<void(std::size_t)> seen) : seen_(std::move(seen)) {}
  bool event(QEvent* event) override;

private:
  std::function<void(std::size_t)> seen_;
};

// Posts `event` to `target`; once it is handled, posts a marker below the
// priority of a repaint's request (a batch of posted events being handled
// takes what it posts after itself): ms until that marker is handled, the
// event handled and the window repainted.
double Answer(QObject* target, QEvent* event);

QKeyEvent* Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                 const QString& text = {});

// 13. The keys of a paging session sent to a window's history holding
// `lines` copies of `line` (added through its lines), each timed by Answer.
struct Paged {
  double slowest = 0, median = 0;
  long keys = 0, paints = 0; // paints of the history's viewport while they were timed
  bool sound = true;         // Ctrl+End and Ctrl+Home reached the ends
};
Paged Page(TForm1& form, long lines, const std::string& line, long pageKeys, long notches);

} // namespace bench
