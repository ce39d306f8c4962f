#include "desktop/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QVariantMap>
#include <QWidget>

#include <algorithm>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

} // namespace

DesktopNotification::DesktopNotification(QWidget* window) : QObject(window), window_(window) {
  update_.setSingleShot(true);
  connect(&update_, &QTimer::timeout, this, &DesktopNotification::Schedule);
  window->installEventFilter(this);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
              SLOT(OnActionInvoked(uint, QString)));
  bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
              SLOT(OnClosed(uint, uint)));
  bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
              SLOT(OnActivationToken(uint, QString)));
}

DesktopNotification::~DesktopNotification() = default;

void DesktopNotification::MessageArrived(const QString& header, const QString& firstLine) {
  if (window_ == nullptr || window_->isActiveWindow()) return;
  ++waiting_;
  header_ = header;
  line_ = firstLine;
  resend_ = true;
  if (server_ == Server::Unknown)
    Ask();
  else if (server_ == Server::None || server_ == Server::Other)
    emit AttentionWanted();
  Schedule();
}

// Shows the messages waiting now, or as soon as the call under way has been
// answered; an update follows the last one by a second at least, so that a
// flood does not keep the notification server redrawing it.
void DesktopNotification::Schedule() {
  if (server_ == Server::Asking || sending_ || update_.isActive() || !resend_) return;
  const qint64 wait = sentAt_.isValid() ? kUpdateEvery - sentAt_.elapsed() : 0;
  if (wait > 0) {
    update_.start(static_cast<int>(wait));
    return;
  }
  Send();
}

// Which server runs now, without starting one, so that the answer comes
// at once. Its name is all that is read: GNOME Shell says "gnome-shell".
void DesktopNotification::Ask() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    server_ = Server::None;
    emit AttentionWanted();
    return;
  }
  server_ = Server::Asking;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                     QStringLiteral("GetServerInformation"));
  call.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          &DesktopNotification::OnServerInformation);
}

void DesktopNotification::OnServerInformation(QDBusPendingCallWatcher* call) {
  call->deleteLater();
  const QDBusPendingReply<QString, QString, QString, QString> reply = *call;
  if (reply.isError())
    server_ = Server::None; // the notification sent may still start one
  else
    server_ = reply.argumentAt<0>() == QLatin1String("gnome-shell") ? Server::Gnome : Server::Other;
  if (server_ != Server::Gnome && waiting_ > 0) emit AttentionWanted();
  Schedule();
}

void DesktopNotification::Send() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  const QString body =
      waiting_ == 1
          ? header_ + u'\n' + line_
          : QStringLiteral("%1 messages en attente\n%2\n%3").arg(waiting_).arg(header_, line_);
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  // The pid lets GNOME find the window even where the desktop entry is not
  // installed.
  const QVariantMap hints = {
      {QStringLiteral("desktop-entry"), QStringLiteral("io.github.lanchat.lanchat")},
      {QStringLiteral("category"), QStringLiteral("im.received")},
      {QStringLiteral("sender-pid"), QCoreApplication::applicationPid()}};
  // Without a "default" action, GNOME activates the application itself on
  // a click; elsewhere the action comes back, with a token where the
  // server gives one.
  const QStringList actions =
      server_ == Server::Gnome ? QStringList{}
                               : QStringList{QStringLiteral("default"), QStringLiteral("Ouvrir")};
  // It never expires: it stays until used, or until the window is
  // activated and closes it (Plasma would otherwise drop it and its action
  // after a few seconds).
  constexpr int kNeverExpires = 0;
  call << QStringLiteral("lanchat") << id_ << QStringLiteral("lanchat") << QStringLiteral("lanchat")
       << body << actions << hints << kNeverExpires;
  resend_ = false;
  sending_ = true;
  sentAt_.start();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotification::OnReply);
}

void DesktopNotification::OnReply(QDBusPendingCallWatcher* call) {
  call->deleteLater();
  sending_ = false;
  const QDBusPendingReply<uint> reply = *call;
  if (reply.isError()) {
    resend_ = false; // no service: nothing shows, and that is all
    if (server_ == Server::Gnome && waiting_ > 0) emit AttentionWanted();
    return;
  }
  if (waiting_ == 0) {
    // The window was activated meanwhile: the notification has no more use.
    const uint shown = reply.value();
    QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                       QStringLiteral("CloseNotification"))
        << shown);
    return;
  }
  id_ = reply.value();
  Schedule(); // messages that came meanwhile
}

// Servers that follow version 1.2 of the protocol send, just before the
// action, a token that lets the window take the focus on Wayland.
void DesktopNotification::OnActivationToken(uint id, const QString& token) {
  if (id == id_ && id_ != 0) token_ = token;
}

// The user has seen it: the window comes up, the notification goes, even
// where the compositor refuses the focus.
void DesktopNotification::OnActionInvoked(uint id, const QString& action) {
  if (id != id_ || id_ == 0 || window_ == nullptr || action != QLatin1String("default")) return;
  // Qt's Wayland plugin activates with the token found there, and then
  // removes it.
  if (!token_.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    qputenv("XDG_ACTIVATION_TOKEN", token_.toUtf8());
  token_.clear();
  window_->showNormal();
  window_->raise();
  window_->activateWindow();
  Reset();
}

void DesktopNotification::OnClosed(uint id, uint /*reason*/) {
  if (id != id_) return;
  id_ = 0; // a later message opens a new one
  token_.clear();
}

bool DesktopNotification::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::WindowActivate) Reset();
  return QObject::eventFilter(watched, event);
}

// The window is active: the messages are seen, the notification goes.
void DesktopNotification::Reset() {
  waiting_ = 0;
  resend_ = false;
  update_.stop();
  if (server_ == Server::None) server_ = Server::Unknown; // one may run by the next message
  if (id_ != 0 && QDBusConnection::sessionBus().isConnected())
    QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                       QStringLiteral("CloseNotification"))
        << id_);
  id_ = 0;
}
