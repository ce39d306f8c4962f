// Finding text as French users type: a table of words with and without
// their accents and capitals, the scan that picks where to compare against
// comparing everywhere, matches in the history's lines (never across two
// lines, in order, counted), and the find box over a history.
#include <history/FindBar.h>
#include <history/HistoryFind.h>
#include <history/HistoryFinder.h>
#include <history/HistoryView.h>

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <text/Fold.h>

#include <random>

namespace {

using text::FindOptions;

// The text of the first match of `needle` in `haystack`, or "-" for none.
QString FirstMatch(const QString& needle, const QString& haystack, FindOptions options) {
  const QByteArray n = needle.toUtf8();
  const QByteArray h = haystack.toUtf8();
  const text::Needle prepared({n.constData(), static_cast<std::size_t>(n.size())}, options);
  const auto match = prepared.FindIn({h.constData(), static_cast<std::size_t>(h.size())});
  if (!match) return QStringLiteral("-");
  return QString::fromUtf8(h.mid(static_cast<qsizetype>(match->begin),
                                 static_cast<qsizetype>(match->end - match->begin)));
}

} // namespace

class TestFind : public QObject {
  Q_OBJECT

private slots:
  void words_data() {
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("haystack");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("matchAccents");
    QTest::addColumn<QString>("found");
    const QString decomposed = QStringLiteral("l'e\u0301te\u0301 !");
    QTest::newRow("ecole") << "ecole"
                           << "L'École est fermée" << false << false << "École";
    QTest::newRow("reunion") << "reunion"
                             << "RÉUNION à 14 h" << false << false << "RÉUNION";
    QTest::newRow("a quelle heure") << "a quelle heure"
                                    << "À quelle heure ?" << false << false << "À quelle heure";
    QTest::newRow("coeur") << "coeur"
                           << "Mon cœur" << false << false << "cœur";
    QTest::newRow("OEUVRE") << "OEUVRE"
                            << "une Œuvre" << false << false << "Œuvre";
    QTest::newRow("francais") << "francais"
                              << "en Français" << false << false << "Français";
    QTest::newRow("noel naive") << "noel naive"
                                << "Noël naïve" << false << false << "Noël naïve";
    QTest::newRow("strasse") << "strasse"
                             << "Straße" << false << false << "Straße";
    QTest::newRow("decomposed haystack")
        << "ete" << decomposed << false << false << "e\u0301te\u0301";
    QTest::newRow("typed accent, plain text") << "été"
                                              << "ete" << false << false << "ete";
    QTest::newRow("accents count") << "ecole"
                                   << "École" << false << true << "-";
    QTest::newRow("accents count, case not") << "école"
                                             << "ÉCOLE" << false << true << "ÉCOLE";
    QTest::newRow("accents count, decomposed")
        << "été" << decomposed << false << true << "e\u0301te\u0301";
    QTest::newRow("e is not the e of e+acute") << "te" << decomposed << false << true << "-";
    QTest::newRow("case counts") << "ecole"
                                 << "École" << true << false << "-";
    QTest::newRow("case counts, accents not") << "Ecole"
                                              << "École" << true << false << "École";
    QTest::newRow("both count") << "École"
                                << "école École" << true << true << "École";
    QTest::newRow("both count, none") << "école"
                                      << "ÉCOLE" << true << true << "-";
    QTest::newRow("greek") << "σοφία"
                           << "ΣΟΦΊΑ" << false << false << "ΣΟΦΊΑ";
    QTest::newRow("cyrillic") << "привет"
                              << "ПРИВЕТ!" << false << false << "ПРИВЕТ";
    QTest::newRow("emoji") << "😀b"
                           << "a😀b" << false << false << "😀b";
    QTest::newRow("a whole character") << "o"
                                       << "œ" << false << false << "-";
    QTest::newRow("not found") << "lundi"
                               << "mardi" << false << false << "-";
  }
  void words() {
    QFETCH(QString, needle);
    QFETCH(QString, haystack);
    QFETCH(bool, matchCase);
    QFETCH(bool, matchAccents);
    QFETCH(QString, found);
    QCOMPARE(FirstMatch(needle, haystack, FindOptions{matchCase, matchAccents}), found);
  }

  // The scan skips most places; it must skip none where a match begins.
  void scanAgainstEveryPlace() {
    const std::vector<std::string> pieces = {"e", "E", "é", "É", "e\u0301", "œ",    "o", "a",
                                             "à", "ß", "s", " ", "c",       "\xff", "😀", "ö"};
    const std::vector<std::string> needles = {"e", "ee", "oe", "eco", "ss", "a e", "😀", "ée"};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
      std::string haystack;
      for (int i = 0; i < 60; ++i)
        haystack += pieces[random() % pieces.size()];
      for (const std::string& word : needles) {
        for (const FindOptions options :
             {FindOptions{false, false}, FindOptions{true, false}, FindOptions{false, true}}) {
          const text::Needle needle(word, options);
          std::size_t from = 0;
          for (std::size_t at = 0; at < haystack.size(); ++at) {
            const std::size_t length = at >= from ? needle.MatchAt(haystack, at) : 0;
            if (length == 0) continue;
            const auto found = needle.FindIn(haystack, from);
            QVERIFY(found);
            QCOMPARE(found->begin, at);
            from = found->end;
          }
          QVERIFY(!needle.FindIn(haystack, from));
        }
      }
    }
  }

  void inTheHistory() {
    LineStore lines;
    lines.Replace(0, "abc");
    for (const char* line : {"xab", "c", "", "ABC abc", "Écoles"})
      lines.Append(line);
    for (int i = 0; i < 3000; ++i)
      lines.Append(i % 1000 == 999 ? "une école" : "ligne");
    const text::Needle abc("abc", FindOptions{});
    QCOMPARE(FindNext(lines, abc, 0, 0), (Found{0, 0, 3}));
    QCOMPARE(FindNext(lines, abc, 0, 1), (Found{4, 0, 3})); // "xab" + "c" is no match
    QCOMPARE(FindNext(lines, abc, 4, 1), (Found{4, 4, 7}));
    QCOMPARE(FindPrevious(lines, abc, 4, 4), (Found{4, 0, 3}));
    QCOMPARE(FindPrevious(lines, abc, 4, 0), (Found{0, 0, 3}));
    QVERIFY(!FindPrevious(lines, abc, 0, 0));
    QCOMPARE(CountMatches(lines, abc).total, std::size_t{3});
    QCOMPARE(CountMatches(lines, abc, 4, 4).before, std::size_t{2});
    // Across the store's chunks, both ways.
    const text::Needle ecole("ecole", FindOptions{});
    QCOMPARE(CountMatches(lines, ecole).total, std::size_t{4});
    QCOMPARE(FindNext(lines, ecole, 6, 0), (Found{6 + 999, 4, 10}));
    QCOMPARE(FindNext(lines, ecole, 6 + 1000, 0), (Found{6 + 1999, 4, 10}));
    QCOMPARE(FindPrevious(lines, ecole, lines.Count(), 0), (Found{6 + 2999, 4, 10}));
    QCOMPARE(FindPrevious(lines, ecole, 6 + 999, 4), (Found{5, 0, 6}));
    QVERIFY(!FindNext(lines, text::Needle("", FindOptions{}), 0, 0));
  }

  // The find box over a history, driven by its keys: what is selected and
  // what the box says after each script. Steps: t:<typed in the field>,
  // k:<keys in the field>, case, accents (the options), arrive:<line>.
  void box_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("result");
    QTest::newRow("typing finds from the cursor") << "t:reunion"
                                                  << "Réunion" << 1 << "1 sur 3";
    QTest::newRow("Entrée: the next") << "t:reunion|k:Return"
                                      << "reunion" << 2 << "2 sur 3";
    QTest::newRow("round the end") << "t:reunion|k:Return|k:Return|k:Return"
                                   << "Réunion" << 1 << "1 sur 3";
    QTest::newRow("Maj+Entrée: the previous") << "t:reunion|k:Shift+Return"
                                              << "RÉUNION" << 3 << "3 sur 3";
    QTest::newRow("F3 and Maj+F3") << "t:reunion|k:F3|k:F3|k:Shift+F3"
                                   << "reunion" << 2 << "2 sur 3";
    QTest::newRow("typing on keeps the place") << "t:reu|k:Return|t:nion"
                                               << "reunion" << 2 << "2 sur 3";
    QTest::newRow("accents count") << "t:reunion|accents"
                                   << "reunion" << 2 << "1 sur 1";
    QTest::newRow("case counts") << "t:Réunion|case"
                                 << "Réunion" << 1 << "1 sur 1";
    QTest::newRow("nothing found") << "t:lundi"
                                   << "" << 0 << "Aucun résultat";
    QTest::newRow("an arrival is counted") << "t:reunion|arrive:une réunion de plus"
                                           << "Réunion" << 1 << "1 sur 4";
    QTest::newRow("an arrival is found") << "t:reunion|k:Shift+Return|arrive:Réunion bis|k:Return"
                                         << "Réunion" << 4 << "4 sur 4";
  }
  void box() {
    QFETCH(QString, script);
    QFETCH(QString, selected);
    QFETCH(int, line);
    QFETCH(QString, result);
    QWidget window;
    window.resize(400, 300);
    auto* view = new HistoryView(&window);
    view->setGeometry(10, 10, 380, 150);
    view->SetText("Ana a dit :\nRéunion à 10 h\nla reunion est finie\nRÉUNION");
    view->SetCursor({1, 0}); // typing finds from the cursor on
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    FindBar* box = view->FindBox();
    QVERIFY(box != nullptr && box->isVisible());
    auto* field = box->findChild<QLineEdit*>();
    QTRY_VERIFY(field->hasFocus());
    for (const QString& step : script.split(u'|')) {
      const QString argument = step.section(u':', 1);
      if (step.startsWith("t:")) {
        field->insert(argument);
      } else if (step.startsWith("k:")) {
        const QKeySequence keys(argument);
        QTest::keySequence(field, keys);
      } else if (step.startsWith("arrive:")) {
        view->Append(("\n" + argument).toStdString());
        QTest::qWait(HistoryFinder::kRecountEvery + 100);
      } else {
        box->findChildren<QCheckBox*>().at(step == "case" ? 0 : 1)->setChecked(true);
      }
    }
    QCOMPARE(view->Model().SelectedText(), selected);
    if (!selected.isEmpty()) QCOMPARE(static_cast<int>(view->Model().Cursor().line), line);
    QCOMPARE(box->findChildren<QLabel*>().last()->text(), result);
    QCOMPARE(field->accessibleDescription(), result);
    // Échap gives the focus back to the history, the match still selected.
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!box->isVisible());
    QTRY_VERIFY(view->hasFocus());
    QCOMPARE(view->Model().SelectedText(), selected);
  }
};

QTEST_MAIN(TestFind)
#include "test_find.moc"
