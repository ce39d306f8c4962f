#pragma once

#include <QFrame>

class HistoryFinder;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The history's find box, as a desktop text editor's: a field, « Précédent »
// and « Suivant » (Maj+Entrée and Entrée in the field, Maj+F3 and F3), the
// two options, and the result (« 3 sur 17 », « Aucun résultat »), the
// field's description, which it also gives to be told (ToTell). It lies
// over the window,
// just under the history where there is room (else over the history's
// bottom edge), and moves no control. Échap closes it and gives the focus
// back to the history.
class FindBar : public QFrame {
  Q_OBJECT

public:
  FindBar(HistoryFinder& finder, QWidget* history);

  // Shows it and puts the focus in the field, its text selected.
  void Open();
  // Hides it; the history takes the focus back.
  void Close();

  // How long the result waits, unchanged, before it is told.
  static constexpr int kTellAfter = 400; // ms

signals:
  // What a screen reader should say: that the box opened, and the result
  // (« 3 sur 17 », « Aucun résultat ») once it has stayed the same for
  // kTellAfter with the focus in the field, not at each key typed.
  void ToTell(const QString& text);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void Place();
  void ShowResult(const QString& result);

  HistoryFinder& finder_;
  QWidget* history_;
  QLineEdit* field_;
  QPushButton* previous_;
  QPushButton* next_;
  QCheckBox* matchCase_;
  QCheckBox* matchAccents_;
  QLabel* result_;
  QTimer* tell_;
};
