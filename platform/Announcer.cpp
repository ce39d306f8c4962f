#include "platform/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace {

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
