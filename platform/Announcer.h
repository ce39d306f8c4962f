#pragma once

#include <QString>

class QWidget;

// Speaks a text to the screen reader wherever the focus is in the window,
// after what it is saying. The means is a notification object, shown with
// the text as its name: Orca 43, the screen reader of Debian 12, reads a
// notification when it shows, queued after its current speech, while it
// has no listener for AT-SPI announcements (and Qt 6.4 no event for them).
// Nothing is built or sent while no assistive technology listens.
class Announcer {
public:
  explicit Announcer(QWidget* window);
  void Announce(const QString& text);

private:
  QWidget* window_;
  QWidget* notice_ = nullptr; // made at the first announcement
};
