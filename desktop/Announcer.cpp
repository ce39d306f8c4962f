#include "desktop/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>

namespace {

using chat::ArrivalPace;

// The object that speaks: no size, no focus, nothing painted; only its
// accessible interface matters.
class Notice final : public QWidget {
public:
  explicit Notice(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Announcer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);
  }
};

class NoticeAccessible final : public QAccessibleWidget {
public:
  explicit NoticeAccessible(QWidget* widget)
      : QAccessibleWidget(widget, QAccessible::Notification) {}
  QString text(QAccessible::Text type) const override {
    if (type == QAccessible::Name) return widget()->accessibleName();
    return QAccessibleWidget::text(type);
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className != QLatin1String("QWidget")) return nullptr;
  auto* notice = dynamic_cast<Notice*>(object);
  return notice != nullptr ? new NoticeAccessible(notice) : nullptr;
}

} // namespace

Announcer::Announcer(QWidget* window) : window_(window) {
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  static_cast<void>(installed);
}

void Announcer::Announce(const QString& text) {
  if (!QAccessible::isActive()) return;
  if (notice_ == nullptr) notice_ = new Notice(window_);
  // Shown again with the new text: each showing is one announcement.
  notice_->hide();
  notice_->setAccessibleName(text);
  notice_->show();
}

void Announcer::Arrived(const QString& text) {
  if (!QAccessible::isActive()) return;
  if (pace_.Arrive(ArrivalPace::Clock::now())) return Announce(text);
  lastHeld_ = text;
  if (timer_ == nullptr) {
    timer_ = new QTimer(window_);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, window_, [this] { SayHeld(); });
  }
  if (timer_->isActive()) return;
  const auto wait =
      std::chrono::ceil<std::chrono::milliseconds>(*pace_.Due() - ArrivalPace::Clock::now());
  timer_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)));
}

void Announcer::SayHeld() {
  const std::size_t count = pace_.TakeDue(ArrivalPace::Clock::now());
  if (count == 0) {
    // Woken a little early: wait for the rest of the second.
    if (pace_.Due()) timer_->start(1);
    return;
  }
  // Said while the window is active, as each message is.
  if (!window_->isActiveWindow()) return;
  Announce(count > 1 ? QStringLiteral("%1 nouveaux messages").arg(count) : lastHeld_);
}
