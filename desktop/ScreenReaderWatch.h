#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Hears a screen reader that starts after the program. Qt 6.4 asks whether
// one listens only when its AT-SPI bridge starts, at start-up; a user who
// turns Orca on later, with the chat started at login, would hear nothing
// of it. This watches the desktop's accessibility status (org.a11y.Status
// on the session bus) and, when it turns on while Qt's accessibility is
// off, has Qt's bridge connect to the accessibility bus as it would have at
// start-up. Everything it asks of the bus is asynchronous, and it starts
// only once the event loop runs (Start), after the window is shown.
class ScreenReaderWatch : public QObject {
  Q_OBJECT

public:
  // Starts watching at the next turn of the event loop, for the rest of
  // the program; once only.
  static void Start();

private slots:
  void StatusChanged(const QString& interface, const QVariantMap& changed,
                     const QStringList& invalidated);

private:
  ScreenReaderWatch();
  void Consider(const QVariantMap& status);
};
