// The pace at which arrivals are told to assistive technology, as plain
// code with the time passed in.
#include <chat/ArrivalPace.h>

#include <QtTest>

#include <chrono>

using chat::ArrivalPace;

class TestArrivalPace : public QObject {
  Q_OBJECT

private slots:
  // The pace of arrivals told to assistive technology, as a script of
  // arrivals ("a" and the milliseconds), timers ("t": the count then due)
  // and questions of when the next telling is ("d"), with what each answers.
  void arrivalsToldAtAHumanPace_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one message") << "d0 a0 d0"
                                 << "none now none";
    QTest::newRow("a human pace") << "a0 a1000 a2500 a4000"
                                  << "now now now now";
    QTest::newRow("two in a second") << "a0 a400 d400 t1000 d1000"
                                     << "now held 1000 1 none";
    QTest::newRow("flood") << "a0 a1 a2 a3 t1000 a1001 a1002 t2000 t2500"
                           << "now held held held 3 held held 2 0";
    QTest::newRow("timer early") << "a0 a10 t999 t1000"
                                 << "now held 0 1";
    QTest::newRow("timer late") << "a0 a10 t1700 a2000 d2000 t2700"
                                << "now held 1 held 2700 1";
    // Held arrivals are told first, however late their timer.
    QTest::newRow("timer behind arrivals") << "a0 a10 a1200 t1200"
                                           << "now held held 2";
    QTest::newRow("just after a count") << "a0 a10 t1000 a1500 t2000 a3500"
                                        << "now held 1 held 1 now";
  }

  void arrivalsToldAtAHumanPace() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    const ArrivalPace::Clock::time_point zero{};
    ArrivalPace pace;
    QStringList answers;
    for (const QString& step : script.split(u' ')) {
      const auto at = zero + std::chrono::milliseconds(step.mid(1).toInt());
      if (step[0] == u'a') {
        answers << (pace.Arrive(at) ? "now" : "held");
      } else if (step[0] == u't') {
        answers << QString::number(pace.TakeDue(at));
      } else {
        const auto due = pace.Due();
        answers << (due ? QString::number(
                              std::chrono::duration_cast<std::chrono::milliseconds>(*due - zero)
                                  .count())
                        : QStringLiteral("none"));
      }
    }
    QCOMPARE(answers.join(u' '), expected);
  }
};

QTEST_GUILESS_MAIN(TestArrivalPace)
#include "test_arrival_pace.moc"
