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
// ones update it with their count. Clicking it activates the window (on
// Wayland with the token the server hands over) and closes it; activating
// the window ends the wait. Where no service or no bus runs,
// nothing shows and nothing waits: every call is asynchronous.
class DesktopNotification : public QObject {
  Q_OBJECT

public:
  explicit DesktopNotification(QWidget* window);
  ~DesktopNotification() override;

  // A message came: shows or updates the notification, unless the window
  // is the active one.
  void MessageArrived(const QString& header, const QString& firstLine);

  [[nodiscard]] int Waiting() const { return waiting_; }

private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnActivationToken(uint id, const QString& token);
  void OnClosed(uint id, uint reason);

private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Schedule();
  void Send();
  void OnReply(QDBusPendingCallWatcher* call);
  void Reset();

  QPointer<QWidget> window_;
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
