#pragma once

#include <QFrame>

class HistoryFinder;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The history's find box, as a desktop text editor's: a field, « Précédent »
// and « Suivant » (Maj+Entrée and Entrée in the field, Maj+F3 and F3), the
// two options, and the result (« 3 sur 17 », « Aucun résultat »), which a
// screen reader hears as the field's description. It lies over the window,
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
};
