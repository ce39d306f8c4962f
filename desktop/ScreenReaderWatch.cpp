#include "desktop/ScreenReaderWatch.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

// Qt's AT-SPI bridge, and the object that connects it to the bus, reached
// as the sender of its connection (see WakeBridge).
#include <private/qguiapplication_p.h>
#include <private/qobject_p.h>
#include <private/qobject_p_p.h>
#include <private/qspiaccessiblebridge_p.h>
#include <qpa/qplatformintegration.h>

namespace {

const QString kService = QStringLiteral("org.a11y.Bus");
const QString kPath = QStringLiteral("/org/a11y/bus");
const QString kStatus = QStringLiteral("org.a11y.Status");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// Qt 6.4's AT-SPI bridge (QSpiAccessibleBridge, src/gui/accessible/linux in
// qtbase) is turned on by a DBusConnection object, which reads
// org.a11y.Status once, when it is made. On X11 it also connects to the
// accessibility bus whose address the root window carries, but tells the
// bridge before the bridge listens: the bridge stays off, its bus
// connected. Elsewhere (Wayland) the bus is connected only if a reader
// listened at start-up. QAccessible::setActive(true) alone marks the bridge
// on with nothing registered on the bus.
// - Bus connected: the bridge is told, as it should have been; it then
//   registers the program with the screen reader.
// - Not connected: the DBusConnection object is asked to read the status
//   again (two short calls that wait, once), which does what it does at
//   start-up: it fetches the bus's address (asynchronously), connects and
//   tells the bridge. The object is reached as the sender of the bridge's
//   one connection.
// With another Qt where these are not found, nothing is done.
void WakeBridge() {
  QPlatformIntegration* integration = QGuiApplicationPrivate::platformIntegration();
  auto* bridge = integration != nullptr
                     ? dynamic_cast<QSpiAccessibleBridge*>(integration->accessibility())
                     : nullptr;
  if (bridge == nullptr) return; // not AT-SPI (offscreen)
  if (bridge->dBusConnection().isConnected()) return bridge->enabledChanged(true);
  const QObjectPrivate::ConnectionData* connections =
      QObjectPrivate::get(bridge)->connections.loadAcquire();
  if (connections == nullptr) return;
  for (const QObjectPrivate::Connection* c = connections->senders; c != nullptr; c = c->next) {
    QObject* sender = c->sender;
    if (sender != nullptr && sender->inherits("DBusConnection") &&
        sender->metaObject()->indexOfSlot("serviceRegistered()") >= 0) {
      QMetaObject::invokeMethod(sender, "serviceRegistered", Qt::QueuedConnection);
      return;
    }
  }
}

} // namespace

void ScreenReaderWatch::Start() {
  static bool started = false;
  if (started) return;
  started = true;
  QTimer::singleShot(0, QCoreApplication::instance(), [] { new ScreenReaderWatch(); });
}

ScreenReaderWatch::ScreenReaderWatch() : QObject(QCoreApplication::instance()) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  // From any sender: naming the service would have Qt look its owner up,
  // a call that waits for its answer.
  bus.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
              SLOT(StatusChanged(QString, QVariantMap, QStringList)));
  // A reader that started before the watch began.
  QDBusMessage getAll =
      QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("GetAll"));
  getAll << kStatus;
  auto* call = new QDBusPendingCallWatcher(bus.asyncCall(getAll), this);
  connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
    done->deleteLater();
    const QDBusPendingReply<QVariantMap> reply = *done;
    if (reply.isValid()) Consider(reply.value());
  });
}

void ScreenReaderWatch::StatusChanged(const QString& interface, const QVariantMap& changed,
                                      const QStringList& /*invalidated*/) {
  if (interface == kStatus) Consider(changed);
}

// Orca 43 sets IsEnabled; other readers ScreenReaderEnabled.
void ScreenReaderWatch::Consider(const QVariantMap& status) {
  const bool on = status.value(QStringLiteral("IsEnabled")).toBool() ||
                  status.value(QStringLiteral("ScreenReaderEnabled")).toBool();
  if (on && !QAccessible::isActive()) WakeBridge();
}
