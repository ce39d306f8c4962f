// The label "pseudo" on the offscreen platform under light and dark
// palettes: its text keeps a contrast of 4.5:1 at least with its background.
#include <ui/Form1.h>

#include <QApplication>
#include <QPalette>
#include <QtTest>

class TestLabelContrast : public QObject {
  Q_OBJECT

private slots:
  // "pseudo" reads at 4.5:1 at least on any palette, in the layout's own
  // colours wherever they read.
  void labelReadableOnEveryPalette_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<bool>("layoutColours");
    QTest::newRow("light") << QApplication::palette() << true;
    // As Qt's GTK theme gives it under Adwaita dark: white window text,
    // the tooltip still pale yellow with black text.
    QPalette dark(QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    dark.setColor(QPalette::ToolTipText, Qt::black);
    QTest::newRow("dark") << dark << false;
    // A theme whose tooltip text does not read on its tooltip base either.
    QPalette grey = dark;
    grey.setColor(QPalette::ToolTipBase, QColor(0x60, 0x60, 0x60));
    grey.setColor(QPalette::ToolTipText, QColor(0x50, 0x50, 0x50));
    QTest::newRow("dark, tooltip text unreadable") << grey << false;
  }
  void labelReadableOnEveryPalette() {
    QFETCH(QPalette, palette);
    QFETCH(bool, layoutColours);
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(palette);
    const TForm1 form(nullptr);
    const QPalette shown = form.Label1->Widget()->palette();
    QApplication::setPalette(saved);
    const QColor text = shown.color(QPalette::WindowText);
    const QColor back = shown.color(QPalette::Window);
    const double ratio = ContrastRatio(text, back);
    qInfo("\"pseudo\": %s on %s, %.2f:1", qPrintable(text.name()), qPrintable(back.name()), ratio);
    QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
    QCOMPARE(back, palette.color(QPalette::ToolTipBase)); // the background stays
    if (layoutColours) QCOMPARE(text, palette.color(QPalette::WindowText));
  }
};

QTEST_MAIN(TestLabelContrast)
#include "test_label_contrast.moc"
