// The main window on the offscreen platform: its layout, focus, keyboard,
// tool bar, resizing, quitting, and errors shown by the event loop.
#include "Support.h"

#include <lanchat/BuildConfig.h>
#include <ui/Form1.h>

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <history/HistoryView.h>
#include <history/PrimarySelection.h>

namespace {

// A form of its own, to check how layouts bind events.
class TTestForm : public TForm {
public:
  template <class Layout>
  TTestForm(const Layout& layout, const EventTables& events) : TForm(nullptr, layout, events) {}
  void Click(TObject*) { ++clicks; }
  void Received(TComponent*, int, AnsiString, int) {}
  int clicks = 0;
};

const EventTables kTestEvents = {.notify = {Handler("Click", &TTestForm::Click)},
                                 .dataReceived = {Handler("Received", &TTestForm::Received)}};

QWidget* W(TControl* control) { return control->Widget(); }

} // namespace

class TestForm : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;

  // The widgets of the two boxes: the layout makes RichEdit1 a history and
  // RichEdit2 a text box.
  [[nodiscard]] HistoryView* History() const {
    return form->Component<TLogRichEdit>("RichEdit1").Log();
  }
  [[nodiscard]] QPlainTextEdit* MessageBox() const {
    return form->Component<TPlainRichEdit>("RichEdit2").TextEdit();
  }

private slots:
  void init() {
    form = std::make_unique<TForm1>(nullptr);
    form->Show();
    QVERIFY(QTest::qWaitForWindowActive(form->Window()));
  }
  void cleanup() { form.reset(); }

  void layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    // name, left, top, width, height, caption, font
    QTest::newRow("Label1") << "Label1" << QRect(16, 136, 67, 30) << "pseudo"
                            << "Comic Sans MS" << 21 << true;
    QTest::newRow("Button1") << "Button1" << QRect(464, 184, 113, 25) << "Envoyer"
                             << "Comic Sans MS" << 21 << true;
    QTest::newRow("Edit2") << "Edit2" << QRect(96, 144, 121, 21) << ""
                           << "MS Sans Serif" << 11 << false;
    QTest::newRow("Button2") << "Button2" << QRect(528, 368, 121, 41) << "Quitter"
                             << "MS Sans Serif" << 21 << false;
    QTest::newRow("RichEdit1") << "RichEdit1" << QRect(88, 232, 377, 201) << ""
                               << "MS Sans Serif" << 11 << false;
    QTest::newRow("RichEdit2") << "RichEdit2" << QRect(96, 192, 337, 25) << ""
                               << "MS Sans Serif" << 11 << false;
    QTest::newRow("ToolButton1") << "ToolButton1" << QRect(0, 0, 105, 25) << ""
                                 << "MS Sans Serif" << 11 << false;
    QTest::newRow("ToolButton2") << "ToolButton2" << QRect(105, 0, 105, 25) << ""
                                 << "MS Sans Serif" << 11 << false;
    QTest::newRow("ToolButton3") << "ToolButton3" << QRect(210, 0, 105, 25) << ""
                                 << "MS Sans Serif" << 11 << false;
  }
  void layout() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    auto* widget = form->Window()->findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->geometry(), geometry);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget)) shown = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) shown = button->text();
    QCOMPARE(shown, caption);
    // The named face where the host has it, else its nearest equivalent.
    QVERIFY2(FontCandidates(family.toStdString()).contains(widget->font().families().value(0)),
             qPrintable(widget->font().families().value(0)));
    QCOMPARE(widget->font().families().size(), 1);
    QCOMPARE(widget->font().pixelSize(), pixelSize);
    QCOMPARE(widget->font().bold(), bold);
  }

  void window() {
    QCOMPARE(form->Window()->windowTitle(), QString("Form1"));
    QCOMPARE(form->Window()->pos(), QPoint(192, 8));
    // 699 x 586 outside, less the frame it was designed with.
    QCOMPARE(form->Window()->size(), QSize(691, 559));
    // The icon follows the window once it is shown.
    QTRY_COMPARE(form->Window()->windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(form->ToolButton1->Caption(), "FontDialog_rec");
    QCOMPARE(form->ToolButton2->Caption(), "FontDialog_env");
    QCOMPARE(form->ToolButton3->Caption(), "ColorDialog");
    QCOMPARE(form->FontDialog1->Font.name, "MS Sans Serif");
    QCOMPARE(form->NMUDP1->LocalPort, 2000);
    QCOMPARE(form->NMUDP1->RemotePort, 2000);
    QCOMPARE(form->NMUDP1->RemoteHost, std::string(lanchat::config::kBroadcastAddress));
    QCOMPARE(form->NMUDP1->ReportLevel, 1);
    QCOMPARE(form->Label1->Widget()->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::ToolTipBase));
    QVERIFY(form->Label1->Widget()->autoFillBackground());
  }

  void startsEmpty() {
    QCOMPARE(form->Edit2->LineEdit()->text(), QString());
    QCOMPARE(form->RichEdit2->Lines->ToStringList(), QStringList{""});
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), QStringList{""});
    QCOMPARE(form->RichEdit1->GetTextLen(), 0);
  }

  void messageBoxSettings() {
    QPlainTextEdit* edit = MessageBox();
    QCOMPARE(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(edit->tabChangesFocus());
    QVERIFY(History() != nullptr);
    QCOMPARE(History()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(History()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  }

  void focusStartsOnEnvoyer() { QCOMPARE(QApplication::focusWidget(), W(form->Button1)); }

  // Enter and Space on the focused "Envoyer" send at once: with empty boxes,
  // the 9-byte datagram.
  void enterAndSpaceClickTheFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
  }
  void enterAndSpaceClickTheFocusedButton() {
    QFETCH(int, key);
    UdpSniffer sniffer;
    QVERIFY(sniffer.ok());
    QTest::keyClick(W(form->Button1), Qt::Key(key));
    QCOMPARE(sniffer.Receive(), QByteArray(" a dit :\0", 9));
  }

  void tabOrder() {
    const QList<QWidget*> expected = {W(form->Edit2), W(form->Button2), W(form->RichEdit1),
                                      W(form->RichEdit2), W(form->Button1)};
    for (QWidget* next : expected) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), QStringList{""});
    QCOMPARE(form->RichEdit2->Lines->ToStringList(), QStringList{""});
  }

  // A focused button shows as the one Enter clicks; none is default otherwise.
  void noDefaultButton() {
    form->Edit2->LineEdit()->setFocus();
    QVERIFY(!form->Button1->Button()->isDefault());
    QVERIFY(!form->Button2->Button()->isDefault());
  }

  void toolBarButtonsChangeNothing() {
    UdpSniffer sniffer;
    ErrorBoxWatcher boxes;
    form->Edit2->LineEdit()->setText("Ana");
    for (TToolButton* button : {form->ToolButton1, form->ToolButton2, form->ToolButton3}) {
      QTest::mouseClick(W(button), Qt::LeftButton);
      QCOMPARE(static_cast<QToolButton*>(W(button))->text(), QString());
    }
    QCOMPARE(QApplication::focusWidget(), W(form->Button1));
    QCOMPARE(form->Edit2->LineEdit()->text(), QString("Ana"));
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), QStringList{""});
    QVERIFY(!sniffer.Receive(100));
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(W(form->ToolBar1)->focusPolicy(), Qt::NoFocus);
  }

  void textTypedIntoTheHistoryStays() {
    HistoryView* history = History();
    history->setFocus();
    QTest::keyClicks(history, "note perso");
    form->RichEdit1->Lines->Add("Ana a dit :");
    form->RichEdit1->Lines->Add("Salut");
    QCOMPARE(form->RichEdit1->Lines->ToStringList(),
             (QStringList{"note perso", "Ana a dit :", "Salut"}));
  }

  // The history is an ordinary editable box: keys edit it, the clipboard
  // works, and clearing it leaves one empty line for the next messages.
  void editingTheHistory_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>(
        "keys"); // letters typed; | = Enter, < = Backspace, ^ = Home, $ = End, - = Up
    QTest::addColumn<QStringList>("after");
    QTest::newRow("typing at the end") << QStringList{"", "Ana a dit :", "Salut"} << "$!"
                                       << QStringList{"", "Ana a dit :", "Salut!"};
    QTest::newRow("Enter splits a line")
        << QStringList{"", "Salut"} << "^ab|" << QStringList{"", "ab", "Salut"};
    QTest::newRow("Backspace joins lines")
        << QStringList{"", "un", "deux"} << "^<" << QStringList{"", "undeux"};
    QTest::newRow("Up then type") << QStringList{"", "un", "deux"} << "^-x"
                                  << QStringList{"", "xun", "deux"};
  }
  void editingTheHistory() {
    QFETCH(QStringList, before);
    QFETCH(QString, keys);
    QFETCH(QStringList, after);
    HistoryView* history = History();
    for (qsizetype i = 1; i < before.size(); ++i)
      form->RichEdit1->Lines->Add(before[i].toStdString());
    history->setFocus();
    QTest::keyClick(history, Qt::Key_End, Qt::ControlModifier); // to the end of the text
    for (const QChar key : keys) {
      switch (key.unicode()) {
      case '|': QTest::keyClick(history, Qt::Key_Return); break;
      case '<': QTest::keyClick(history, Qt::Key_Backspace); break;
      case '^': QTest::keyClick(history, Qt::Key_Home); break;
      case '$': QTest::keyClick(history, Qt::Key_End); break;
      case '-': QTest::keyClick(history, Qt::Key_Up); break;
      default: QTest::keyClicks(history, QString(key));
      }
    }
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), after);
  }

  void historyClipboardAndClearing() {
    HistoryView* history = History();
    form->RichEdit1->Lines->Add("Ana a dit :");
    form->RichEdit1->Lines->Add("Salut");
    history->setFocus();
    QTest::keyClick(history, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(history, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString("\nAna a dit :\nSalut"));
    QTest::keyClick(history, Qt::Key_Delete);
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), QStringList{""});
    QApplication::clipboard()->setText("collé\nici");
    QTest::keyClick(history, Qt::Key_V, Qt::ControlModifier);
    form->RichEdit1->Lines->Add("Bob a dit :");
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), (QStringList{"collé", "ici", "Bob a dit :"}));
  }

  // A selection larger than what the history hands out is neither copied
  // nor cut: the clipboard keeps what it had, and the user is told once.
  void hugeCopies_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("lines"); // of 1,000 characters
    QTest::addColumn<bool>("copied");
    const int over = static_cast<int>(PrimarySelection::kMaxHandedOut / 1000) + 1;
    QTest::newRow("Ctrl+C, 16 MiB and more") << int(Qt::Key_C) << over << false;
    QTest::newRow("Ctrl+X, 16 MiB and more") << int(Qt::Key_X) << over << false;
    QTest::newRow("Ctrl+C, 7 MB") << int(Qt::Key_C) << 7000 << true;
  }
  void hugeCopies() {
    QFETCH(int, key);
    QFETCH(int, lines);
    QFETCH(bool, copied);
    HistoryView* history = History();
    const QString line(1000, u'x');
    for (int i = 0; i < lines; ++i)
      history->AppendLine(line);
    const QString before = history->Model().Text();
    QApplication::clipboard()->setText("avant");
    history->setFocus();
    QTest::keyClick(history, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(history, static_cast<Qt::Key>(key), Qt::ControlModifier);
    QCoreApplication::processEvents();
    QList<QMessageBox*> notices;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* found = qobject_cast<QMessageBox*>(widget); found != nullptr && found->isVisible())
        notices << found;
    if (copied) {
      QCOMPARE(QApplication::clipboard()->text(), before);
      QCOMPARE(notices.size(), 0);
      return;
    }
    QCOMPARE(QApplication::clipboard()->text(), QString("avant"));
    QCOMPARE(history->Model().Text(), before);
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0]->text().startsWith("La sélection compte 16,0 Mo de texte") &&
                 notices[0]->text().contains("(16 Mo au plus)") &&
                 notices[0]->text().contains("Rien n'a été copié"),
             qPrintable(notices[0]->text()));
    QVERIFY(!notices[0]->isModal());
    notices[0]->close();
  }

  // A paste larger than a message can carry is refused at once in either
  // box, the user told why, the clipboard kept; a paste that fits goes in.
  void hugePastes_data() {
    QTest::addColumn<bool>("history");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pasted");
    const QString manyLines = QString("une ligne de texte collé\n").repeated(400000);
    for (const bool history : {true, false}) {
      const char* box = history ? "history" : "message box";
      QTest::addRow("%s, one 10 MB line", box) << history << QString(10'000'000, u'x') << false;
      QTest::addRow("%s, 10 MB of lines", box) << history << manyLines << false;
      QTest::addRow("%s, 65,507 characters", box) << history << QString(65507, u'y') << true;
    }
  }
  void hugePastes() {
    QFETCH(bool, history);
    QFETCH(QString, text);
    QFETCH(bool, pasted);
    QWidget* box = history ? static_cast<QWidget*>(History()) : W(form->RichEdit2);
    QApplication::clipboard()->setText(text);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    const QString inBox = history ? History()->Model().Text() : MessageBox()->toPlainText();
    QMessageBox* notice = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* found = qobject_cast<QMessageBox*>(widget); found != nullptr && found->isVisible())
        notice = found;
    if (pasted) {
      QCOMPARE(inBox, text);
      QCOMPARE(notice, nullptr);
    } else {
      QCOMPARE(inBox, QString());
      QVERIFY(notice != nullptr);
      QVERIFY2(notice->text().contains("Rien n'a été collé") &&
                   notice->text().contains(QLocale(QLocale::French).toString(65507)),
               qPrintable(notice->text()));
      QVERIFY(!notice->isModal());
      notice->close();
      QCOMPARE(QApplication::clipboard()->text(), text);
    }
  }

  // What the history signals, the window says beside it in French, without
  // stopping it: the history full (how to make room), an edit that cannot
  // be undone.
  void historyNoticesInFrench() {
    HistoryView* history = History();
    const auto notice = [] {
      QMessageBox* found = nullptr;
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
          found = box;
      return found;
    };
    const QLocale french(QLocale::French);
    emit history->HistoryFull();
    QMessageBox* box = notice();
    QVERIFY(box != nullptr);
    QVERIFY2(box->text().startsWith("L'historique est plein") &&
                 box->text().contains(french.toString(qulonglong(EditModel::kCapacity)) +
                                      " lignes ou 128 Mo") &&
                 box->text().contains("Ctrl+A et Suppr"),
             qPrintable(box->text()));
    QVERIFY(!box->isModal());
    box->close();
    emit history->UndoLost();
    box = notice();
    QVERIFY(box != nullptr);
    QVERIFY2(box->text().startsWith("Cette modification ne pourra pas être annulée") &&
                 box->text().contains("plus de 16 Mo de texte"),
             qPrintable(box->text()));
    QVERIFY(!box->isModal());
    box->close();
  }

  void clickingPlacesTheCursor() {
    HistoryView* history = History();
    form->RichEdit1->Lines->Add("premier");
    QTest::mouseClick(history, Qt::LeftButton, {}, QPoint(history->width() - 10, 8));
    QTest::keyClicks(history, "X");
    QCOMPARE(form->RichEdit1->Lines->ToStringList(), (QStringList{"X", "premier"}));
  }

  void linesArePlainTextAndSplitAtBreaks() {
    form->RichEdit1->Lines->Add("<b>gras</b> {\\rtf1 \\b x} <a href=\"http://x\">lien</a>");
    form->RichEdit1->Lines->Add("un\r\ndeux\rtrois\nquatre");
    QCOMPARE(form->RichEdit1->Lines->ToStringList(),
             (QStringList{"", "<b>gras</b> {\\rtf1 \\b x} <a href=\"http://x\">lien</a>", "un",
                          "deux", "trois", "quatre"}));
  }

  // New lines show while the last line is in view; scrolled back, the view
  // stays where the user left it, and scrolling down again follows anew.
  void newLinesFollowOnlyAtTheBottom() {
    HistoryView* history = History();
    for (int i = 0; i < 100; ++i)
      form->RichEdit1->Lines->Add(std::to_string(i));
    QCOMPARE(history->LastVisibleLine(), 100);
    QVERIFY(history->FirstVisibleLine() > 80);
    const auto wheel = [&](int steps) {
      QWheelEvent event(QPointF(10, 10), history->mapToGlobal(QPointF(10, 10)), {},
                        QPoint(0, 120 * steps), Qt::NoButton, {}, Qt::NoScrollPhase, false);
      QApplication::sendEvent(history->viewport(), &event);
    };
    wheel(20);
    const int first = history->FirstVisibleLine();
    QVERIFY(history->LastVisibleLine() < 100);
    form->RichEdit1->Lines->Add("nouveau");
    QCOMPARE(history->FirstVisibleLine(), first);
    wheel(-40);
    QCOMPARE(history->LastVisibleLine(), 101);
    form->RichEdit1->Lines->Add("suivant");
    QCOMPARE(history->LastVisibleLine(), 102);
  }

  void longLinesWrapAtTheBoxWidth() {
    HistoryView* history = History();
    form->RichEdit1->Lines->Add(std::string(2000, 'x'));
    // One line too long for the box: shown wrapped, so the line before it is
    // pushed out of view.
    QCOMPARE(history->LastVisibleLine(), 1);
    QCOMPARE(history->FirstVisibleLine(), 1);
  }

  void resizingMovesNothingButTheToolBar() {
    QList<QRect> before;
    const QList<TControl*> fixed = {form->Label1,  form->Button1,   form->Edit2,
                                    form->Button2, form->RichEdit1, form->RichEdit2};
    for (TControl* control : fixed)
      before << W(control)->geometry();
    auto* area = form->Window()->findChild<QScrollArea*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(area != nullptr);
    form->Window()->resize(1000, 700);
    QTRY_COMPARE(W(form->ToolBar1)->width(), form->Client()->width());
    QCOMPARE(form->Client()->width(), 1000);
    for (int i = 0; i < fixed.size(); ++i)
      QCOMPARE(W(fixed[i])->geometry(), before[i]);
    QVERIFY(!area->horizontalScrollBar()->isVisible());
    form->Window()->resize(300, 200);
    QTRY_VERIFY(area->horizontalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->isVisible());
    for (int i = 0; i < fixed.size(); ++i)
      QCOMPARE(W(fixed[i])->geometry(), before[i]);
  }

  void anErrorInAHandlerIsShownAndTheWindowGoesOn() {
    ErrorBoxWatcher boxes;
    int clicks = 0;
    form->Button1->OnClick = [&](TObject*) {
      if (++clicks == 1) throw Exception("Erreur de test");
      throw 42; // not an error object: an empty message
    };
    QTest::mouseClick(W(form->Button1), Qt::LeftButton);
    QTRY_COMPARE(boxes.texts, QStringList{"Erreur de test"});
    QTest::mouseClick(W(form->Button1), Qt::LeftButton);
    QTRY_COMPARE(boxes.texts, (QStringList{"Erreur de test", ""}));
    // Still usable: typing and quitting work.
    form->Edit2->LineEdit()->setFocus();
    QTest::keyClicks(form->Edit2->LineEdit(), "Zoe");
    QCOMPARE(form->Edit2->LineEdit()->text(), QString("Zoe"));
    QTest::mouseClick(W(form->Button2), Qt::LeftButton);
    QTRY_VERIFY(!form->Window()->isVisible());
  }

  void unknownOrMismatchedHandlersFailAtCreation_data() {
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown name") << "Nowhere"
                                  << "inconnu";
    // A handler of another kind of event is not in the clicks' table (and
    // a method of the wrong signature does not compile in it).
    QTest::newRow("another event's handler") << "Received"
                                             << "inconnu";
  }
  void unknownOrMismatchedHandlersFailAtCreation() {
    QFETCH(QString, handler);
    QFETCH(QString, message);
    const std::string name = handler.toStdString();
    const FormLayout<ButtonDesc> layout{.form = {.caption = "T"},
                                        .components = {ButtonDesc{.name = "B", .onClick = name}}};
    try {
      TTestForm test(layout, kTestEvents);
      QFAIL("no exception");
    } catch (const Exception& e) {
      QVERIFY2(QString::fromStdString(e.Message()).contains(message), e.what());
    }
  }

  void handlersBindByName() {
    const FormLayout<ButtonDesc> layout{
        .form = {.caption = "T"}, .components = {ButtonDesc{.name = "B", .onClick = "Click"}}};
    TTestForm test(layout, kTestEvents);
    test.Component<TButton>("B").Button()->click();
    QCOMPARE(test.clicks, 1);
  }
};

// Counts the windows shown while it exists.
class ShowWatcher : public QObject {
public:
  explicit ShowWatcher(int& shown) : shown_(shown) { qApp->installEventFilter(this); }

protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show && object->isWidgetType() &&
        static_cast<QWidget*>(object)->isWindow())
      ++shown_;
    return false;
  }

private:
  int& shown_;
};

// The start-up sequence, driven in this process: the loop ends when the
// window closes, and the window with all it owns is destroyed.
class TestStartup : public QObject {
  Q_OBJECT

private slots:
  void runEndsWhenTheWindowCloses_data() {
    QTest::addColumn<bool>("quitButton");
    QTest::newRow("Quitter") << true;
    QTest::newRow("close box") << false;
  }
  void runEndsWhenTheWindowCloses() {
    QFETCH(bool, quitButton);
    Application->Initialize();
    Application->CreateForm(Form1);
    QPointer<QWidget> window = Form1->Window();
    // The main window is shown as soon as it exists, its controls with it.
    QVERIFY(window->isVisible());
    QVERIFY(W(Form1->RichEdit2)->isVisible() && W(Form1->ToolButton3)->isVisible());
    QTimer::singleShot(50, [&] {
      if (quitButton)
        QTest::mouseClick(W(Form1->Button2), Qt::LeftButton);
      else
        window->close();
    });
    Application->Run();
    QVERIFY(window.isNull());
    QCOMPARE(Application->MainForm(), nullptr);
  }

  // Qt's own menus speak French: the message box's context menu, and the
  // history's, which reads the same and then offers to find.
  void contextMenusInFrench() {
    Application->Initialize();
    QPlainTextEdit message;
    HistoryView history;
    const QStringList expected = {"&Annuler", "&Rétablir", "Co&uper",          "Cop&ier",
                                  "Co&ller",  "Supprimer", "Tout sélectionner"};
    const auto words = [](QMenu* menu) {
      QStringList list;
      for (QAction* action : menu->actions())
        if (!action->isSeparator()) list << action->text().section(u'\t', 0, 0);
      delete menu;
      return list;
    };
    const QStringList messageMenu = words(message.createStandardContextMenu());
    QCOMPARE(messageMenu, expected);
    QCOMPARE(words(history.CreateStandardContextMenu()), expected + QStringList{"Rechercher…"});
  }

  void aPortHeldWithoutSharingFailsCreation() {
    TForm1* created = nullptr;
    // The port is refused before any window shows.
    int shown = 0;
    ShowWatcher watcher(shown);
    {
      const UdpSocket holder({.port = 2000});
      QVERIFY2(holder.ok(), holder.Failure().c_str());
      try {
        Application->CreateForm(created);
        QFAIL("no exception");
      } catch (const Exception& e) {
        const QString message = QString::fromStdString(e.Message());
        QVERIFY2(message.contains("port UDP 2000") && message.contains("adresse déjà utilisée"),
                 e.what());
      }
    }
    QCOMPARE(created, nullptr);
    QCOMPARE(Application->MainForm(), nullptr);
    QCOMPARE(shown, 0);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TestForm form;
  TestStartup startup;
  return QTest::qExec(&form, argc, argv) | QTest::qExec(&startup, argc, argv);
}

#include "test_form.moc"
