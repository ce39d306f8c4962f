// The event loop's seam over Qt: a QObject living on the thread that made
// the context receives the queued calls and owns the timers, so that
// destroying it drops whatever is still pending.
#include "net/Loop.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

struct LoopContext::Impl {
  QObject context;
};

LoopContext::LoopContext() : d_(std::make_unique<Impl>()) {}

LoopContext::~LoopContext() = default;

void LoopContext::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(&d_->context, std::move(task), Qt::QueuedConnection);
}

void LoopContext::After(int milliseconds, std::function<void()> task) {
  QTimer::singleShot(milliseconds, &d_->context, std::move(task));
}
