#pragma once

#include <chat/ArrivalPace.h>

#include <QString>

class QTimer;
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

  // A message arrived, `text` saying it, at the pace of chat::ArrivalPace: said
  // at once if none came in the last second; otherwise counted, and once
  // the second is over the count is said (« 12 nouveaux messages »), or the
  // message itself if it was the only one. Said wherever the focus is, the
  // history included: the history does not tell its arrivals while it has
  // the focus (see history/HistoryAccessible.cpp), so nothing is said twice.
  void Arrived(const QString& text);

private:
  void SayHeld();

  QWidget* window_;
  QWidget* notice_ = nullptr; // made at the first announcement
  chat::ArrivalPace pace_;
  QTimer* timer_ = nullptr; // made at the first message held
  QString lastHeld_;
};
