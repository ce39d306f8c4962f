#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QDBusPendingCallWatcher;
class QWidget;

// The desktop's notification for messages that arrive while a window is
// not the active one (the freedesktop Notifications service, over the
// session bus). One notification stands for all the messages waiting: later
// ones update it with their count. It stays until it is used or the window
// is activated. Clicking it activates the window (on Wayland with the token
// the server hands over) and closes it; activating the window ends the
// wait. Where no service or no bus runs, nothing shows and nothing waits:
// every call is asynchronous.
//
// GNOME Shell is told apart (asked once, at the first message): it hands no
// token with an action, so there the notification has no "default" action
// and GNOME, on a click, activates the application itself; and GNOME shows
// a window's attention request only as a second banner, so there the
// notification alone stands for it. Everywhere else, AttentionWanted asks
// the window to request attention as well.
class DesktopNotification : public QObject {
  Q_OBJECT

public:
  explicit DesktopNotification(QWidget* window);
  ~DesktopNotification() override;

  // A message came: shows or updates the notification, unless the window
  // is the active one.
  void MessageArrived(const QString& header, const QString& firstLine);

  [[nodiscard]] int Waiting() const { return waiting_; }

signals:
  // The notification does not stand for the window's attention state: the
  // window should ask for attention itself. Sent for each message that
  // waits, once the server is known (or known to be missing).
  void AttentionWanted();

private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnActivationToken(uint id, const QString& token);
  void OnClosed(uint id, uint reason);

private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Schedule();
  void Ask();
  void OnServerInformation(QDBusPendingCallWatcher* call);
  void Send();
  void OnReply(QDBusPendingCallWatcher* call);
  void Reset();

  // What serves the notifications, as far as it matters here.
  enum class Server {
    Unknown, // not asked yet (in this wait, after none ran)
    Asking,
    None,  // none ran when asked: the call may still start one
    Gnome, // GNOME Shell
    Other,
  };

  QPointer<QWidget> window_;
  Server server_ = Server::Unknown;
  uint id_ = 0;     // the notification shown, 0 for none
  int waiting_ = 0; // messages it stands for
  bool sending_ = false;
  bool resend_ = false;                        // a message came while a call was under way
  QElapsedTimer sentAt_;                       // the last call
  QTimer update_;                              // the next update, a second after the last call
  static constexpr qint64 kUpdateEvery = 1000; // ms
  QString header_;
  QString line_;
  QString token_; // the activation token sent with the action
};
