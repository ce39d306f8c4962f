// The desktop notification for messages that arrive while the window is not
// the active one, against a notification server of the test's own on a
// private session bus (the test runs under dbus-run-session).
#include <desktop/DesktopNotification.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

// What a desktop's notification service does, as far as the program uses it.
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
  struct Call {
    QString app;
    uint replaces = 0;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
  };
  QList<Call> calls;
  QList<uint> closed;
  uint lastId = 40;
  QString name = QStringLiteral("test"); // what GetServerInformation says
  int asked = 0;

public slots:
  Q_SCRIPTABLE uint Notify(const QString& app, uint replaces, const QString& /*icon*/,
                           const QString& summary, const QString& body, const QStringList& actions,
                           const QVariantMap& hints, int timeout) {
    calls.append({app, replaces, summary, body, actions, hints, timeout});
    return replaces != 0 ? replaces : ++lastId;
  }
  Q_SCRIPTABLE void CloseNotification(uint id) { closed << id; }
  Q_SCRIPTABLE QString GetServerInformation(QString& vendor, QString& version, QString& protocol) {
    ++asked;
    vendor = QStringLiteral("test");
    version = QStringLiteral("1");
    protocol = QStringLiteral("1.2");
    return name;
  }
};

class TestNotification : public QObject {
  Q_OBJECT

  FakeNotifications server;
  std::unique_ptr<QWidget> window;
  std::unique_ptr<QWidget> other; // the active window while ours waits

  static QDBusConnection Bus() { return QDBusConnection::sessionBus(); }

  void MakeOtherActive() {
    other->show();
    other->activateWindow();
    QTRY_VERIFY(other->isActiveWindow());
    QVERIFY(!window->isActiveWindow());
  }

  void Click(uint id) {
    QDBusMessage signal = QDBusMessage::createSignal(
        "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
    signal << id << QString("default");
    QVERIFY(Bus().send(signal));
  }

private slots:
  void initTestCase() {
    QVERIFY2(Bus().isConnected(), "no session bus: run the test under dbus-run-session");
    QVERIFY(Bus().registerObject("/org/freedesktop/Notifications", &server,
                                 QDBusConnection::ExportScriptableSlots));
    QVERIFY(Bus().registerService("org.freedesktop.Notifications"));
  }

  void init() {
    server.calls.clear();
    server.closed.clear();
    server.name = QStringLiteral("test");
    server.asked = 0;
    window = std::make_unique<QWidget>();
    other = std::make_unique<QWidget>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }

  void cleanup() {
    other.reset();
    window.reset();
  }

  void nothingWhileTheWindowIsActive() {
    DesktopNotification notification(window.get());
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
    notification.MessageArrived("Ana a dit :", "Salut");
    QTest::qWait(200);
    QVERIFY(server.calls.isEmpty());
    QCOMPARE(notification.Waiting(), 0);
  }

  void oneNotificationCountsTheMessagesWaiting() {
    DesktopNotification notification(window.get());
    MakeOtherActive();
    notification.MessageArrived("Ana a dit :", "Salut");
    QTRY_COMPARE(server.calls.size(), 1);
    // Those that come before the service has answered wait for its id.
    notification.MessageArrived("Zoé a dit :", "Ça va ?");
    notification.MessageArrived("Ana a dit :", "Très bien");
    QTRY_COMPARE(server.calls.size(), 2);
    const FakeNotifications::Call first = server.calls[0];
    QCOMPARE(first.app, QString("lanchat"));
    QCOMPARE(first.summary, QString("lanchat"));
    QCOMPARE(first.replaces, 0u);
    QCOMPARE(first.body, QString("Ana a dit :\nSalut"));
    QVERIFY(first.actions.contains("default"));
    QCOMPARE(server.calls[1].replaces, server.lastId);
    QCOMPARE(server.calls[1].body, QString("3 messages en attente\nAna a dit :\nTrès bien"));
    notification.MessageArrived("Léo a dit :", "Moi aussi");
    QTRY_COMPARE(server.calls.size(), 3);
    QCOMPARE(server.calls[2].replaces, server.lastId);
    QCOMPARE(server.calls[2].body, QString("4 messages en attente\nLéo a dit :\nMoi aussi"));
  }

  // A flood brings the notification up to date once a second at most, the
  // last update counting every message.
  void aFloodUpdatesItOnceASecond() {
    DesktopNotification notification(window.get());
    MakeOtherActive();
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    while (clock.elapsed() < 1500) {
      notification.MessageArrived("Ana a dit :", QString::number(++sent));
      QTest::qWait(5);
    }
    QVERIFY2(server.calls.size() <= 3, qPrintable(QString::number(server.calls.size())));
    QTRY_COMPARE(server.calls.last().body,
                 QString("%1 messages en attente\nAna a dit :\n%1").arg(sent));
  }

  // A click on the notification activates the window; once it is active
  // the notification goes, and the next message opens a new one.
  void clickingActivatesTheWindow() {
    DesktopNotification notification(window.get());
    MakeOtherActive();
    notification.MessageArrived("Ana a dit :", "Salut");
    QTRY_COMPARE(server.calls.size(), 1);
    QTest::qWait(50);         // the reply with the id reaches the notification
    Click(server.lastId + 1); // another program's notification: nothing
    QTest::qWait(100);
    QVERIFY(!window->isActiveWindow());
    Click(server.lastId);
    QTRY_VERIFY(window->isActiveWindow());
    QTRY_COMPARE(server.closed, QList<uint>{server.lastId});
    QCOMPARE(notification.Waiting(), 0);
    MakeOtherActive();
    notification.MessageArrived("Zoé a dit :", "Re");
    QTRY_COMPARE(server.calls.size(), 2);
    QCOMPARE(server.calls[1].replaces, 0u);
    QCOMPARE(server.calls[1].body, QString("Zoé a dit :\nRe"));
  }

  // A server may hand an activation token over with the action (Wayland's
  // xdg-activation; taken only there): the click still activates the
  // window, and the notification is closed at once.
  void clickWithATokenClosesTheNotification() {
    DesktopNotification notification(window.get());
    MakeOtherActive();
    notification.MessageArrived("Ana a dit :", "Salut");
    QTRY_COMPARE(server.calls.size(), 1);
    QTest::qWait(50); // the reply with the id reaches the notification
    QDBusMessage token = QDBusMessage::createSignal(
        "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActivationToken");
    token << server.lastId << QString("token-1");
    QVERIFY(Bus().send(token));
    Click(server.lastId);
    QTRY_COMPARE(server.closed, QList<uint>{server.lastId});
    QTRY_VERIFY(window->isActiveWindow());
    QCOMPARE(notification.Waiting(), 0);
    QVERIFY(qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"));
  }

  // The server is asked its name once, at the first message. GNOME Shell
  // gets no "default" action (it then activates the application itself on
  // a click) and stands for the window's attention; other servers get the
  // action, and the window asks for attention too. The notification never
  // expires on its own.
  void whatTheServerIsTold_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("defaultAction");
    QTest::addColumn<int>("attention"); // AttentionWanted, for two messages
    QTest::newRow("GNOME Shell") << "gnome-shell" << false << 0;
    QTest::newRow("Plasma") << "Plasma" << true << 2;
    QTest::newRow("dunst") << "dunst" << true << 2;
  }
  void whatTheServerIsTold() {
    QFETCH(QString, name);
    QFETCH(bool, defaultAction);
    QFETCH(int, attention);
    server.name = name;
    DesktopNotification notification(window.get());
    QSignalSpy attentionWanted(&notification, &DesktopNotification::AttentionWanted);
    MakeOtherActive();
    QTest::qWait(100);
    QCOMPARE(server.asked, 0); // not before a message
    notification.MessageArrived("Ana a dit :", "Salut");
    QTRY_COMPARE(server.calls.size(), 1);
    notification.MessageArrived("Zoé a dit :", "Ça va ?");
    QTRY_COMPARE(server.calls.size(), 2);
    QCOMPARE(server.asked, 1);
    QCOMPARE(attentionWanted.size(), attention);
    for (const FakeNotifications::Call& call : server.calls) {
      QCOMPARE(call.actions.contains("default"), defaultAction);
      QCOMPARE(call.timeout, 0);
      QCOMPARE(call.hints.value("desktop-entry").toString(), QString("io.github.lanchat.lanchat"));
      QCOMPARE(call.hints.value("sender-pid").toLongLong(), QCoreApplication::applicationPid());
    }
    // A later wait asks no more.
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
    MakeOtherActive();
    notification.MessageArrived("Léo a dit :", "Re");
    QTRY_COMPARE(server.calls.size(), 3);
    QCOMPARE(server.asked, 1);
  }

  // No notification service: nothing shows, nothing is reported, and the
  // window asks for attention itself.
  void noServiceNoError() {
    QVERIFY(Bus().unregisterService("org.freedesktop.Notifications"));
    QTest::failOnWarning(QRegularExpression(".*"));
    {
      DesktopNotification notification(window.get());
      MakeOtherActive();
      QSignalSpy attentionWanted(&notification, &DesktopNotification::AttentionWanted);
      notification.MessageArrived("Ana a dit :", "Salut");
      notification.MessageArrived("Ana a dit :", "Encore");
      QTest::qWait(300);
      QCOMPARE(notification.Waiting(), 2);
      QVERIFY(!attentionWanted.isEmpty());
    }
    QVERIFY(server.calls.isEmpty());
    QVERIFY(Bus().registerService("org.freedesktop.Notifications"));
  }
};

QTEST_MAIN(TestNotification)
#include "test_notification.moc"
