// Timing the window's answer to an event, and 13.'s paging session.
#include "answer.h"

#include "measure.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

namespace bench {

namespace {

const auto kMarkerType = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

Marker::Marker(std::size_t at) : QEvent(kMarkerType), index(at) {}

bool MarkerSink::event(QEvent* event) {
  if (event->type() != kMarkerType) return QObject::event(event);
  seen_(static_cast<Marker*>(event)->index);
  return true;
}

double Answer(QObject* target, QEvent* event) {
  int seen = 0;
  MarkerSink sink([&](std::size_t) { ++seen; });
  const auto t = Clock::now();
  QCoreApplication::postEvent(target, event);
  QCoreApplication::postEvent(&sink, new Marker(0), Qt::LowEventPriority - 1);
  for (int posted = 1; seen < 2;) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (seen == posted && posted++ == 1)
      QCoreApplication::postEvent(&sink, new Marker(0), Qt::LowEventPriority - 1);
  }
  return Since(t) * 1000;
}

QKeyEvent* Press(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  return new QKeyEvent(QEvent::KeyPress, key, modifiers, text);
}

namespace {

// Counts the paints of a widget.
class PaintCounter final : public QObject {
public:
  explicit PaintCounter(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
  ~PaintCounter() override { widget_->removeEventFilter(this); }
  PaintCounter(const PaintCounter&) = delete;
  PaintCounter& operator=(const PaintCounter&) = delete;
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  long paints = 0;

private:
  QWidget* widget_;
};

} // namespace

Paged Page(TForm1& form, long lines, const std::string& line, long pageKeys, long notches) {
  for (long i = 0; i < lines; ++i)
    form.RichEdit1->Lines->Add(line);
  Pump(0.2);
  HistoryView* view = form.Component<TLogRichEdit>("RichEdit1").Log();
  const EditModel& model = view->Model();
  view->setFocus();
  Pump(0.05);
  Paged paged;
  const PaintCounter painted(view->viewport());
  std::vector<double> times;
  const auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    times.push_back(Answer(view, Press(key, modifiers)));
  };
  const auto wheel = [&](int count, int angle) {
    QWidget* viewport = view->viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    for (int i = 0; i < count; ++i)
      times.push_back(Answer(viewport, new QWheelEvent(at, viewport->mapToGlobal(at), QPoint(),
                                                       QPoint(0, angle), Qt::NoButton,
                                                       Qt::NoModifier, Qt::NoScrollPhase, false)));
  };
  const auto atStart = [&] { paged.sound = paged.sound && model.Cursor().line == 0; };
  const auto atEnd = [&] {
    paged.sound = paged.sound && model.Cursor().line + 1 == model.LineCount();
  };
  press(Qt::Key_Home, Qt::ControlModifier);
  atStart();
  for (long i = 0; i < pageKeys; ++i)
    press(Qt::Key_PageDown);
  press(Qt::Key_End, Qt::ControlModifier);
  atEnd();
  for (long i = 0; i < pageKeys; ++i)
    press(Qt::Key_PageUp);
  press(Qt::Key_Home, Qt::ControlModifier);
  atStart();
  wheel(int(notches), -120);
  press(Qt::Key_End, Qt::ControlModifier);
  atEnd();
  wheel(int(notches), 120);
  paged.keys = static_cast<long>(times.size());
  paged.paints = painted.paints;
  paged.slowest = *std::max_element(times.begin(), times.end());
  paged.median = Median(times);
  return paged;
}

} // namespace bench
