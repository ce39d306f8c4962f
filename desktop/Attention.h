#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Asks for the user's attention to a window that is not the active one,
// until it is activated: Qt's request (the task bar's attention state,
// _NET_WM_STATE_DEMANDS_ATTENTION on X11), and on X11 also the urgency flag
// of WM_HINTS, which tiling window managers and older panels read instead;
// on Wayland, a request to be activated, which compositors that take it
// turn into their attention state. All are cleared when the window is
// activated.
class Attention : public QObject {
public:
  explicit Attention(QWidget* window);
  void Request();

private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void SetUrgency(bool urgent);

  QPointer<QWidget> window_;
  bool urgent_ = false;
  bool requested_ = false; // since the window was last activated
};
