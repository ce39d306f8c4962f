#include "history/FindBar.h"

#include "history/HistoryFinder.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

FindBar::FindBar(HistoryFinder& finder, QWidget* history)
    : QFrame(history->parentWidget() != nullptr ? history->parentWidget() : history),
      finder_(finder), history_(history), field_(new QLineEdit(this)),
      previous_(new QPushButton(QStringLiteral("Précédent"), this)),
      next_(new QPushButton(QStringLiteral("Suivant"), this)),
      matchCase_(new QCheckBox(QStringLiteral("Respecter la &casse"), this)),
      matchAccents_(new QCheckBox(QStringLiteral("Respecter les &accents"), this)),
      result_(new QLabel(this)), tell_(new QTimer(this)) {
  tell_->setSingleShot(true);
  tell_->setInterval(kTellAfter);
  connect(tell_, &QTimer::timeout, this, [this] {
    if (field_->hasFocus() && !result_->text().isEmpty()) emit ToTell(result_->text());
  });
  setObjectName(QStringLiteral("FindBar"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  field_->setPlaceholderText(QStringLiteral("Rechercher"));
  field_->setAccessibleName(QStringLiteral("Rechercher dans l'historique"));
  field_->setClearButtonEnabled(true);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setSpacing(4);
  grid->addWidget(field_, 0, 0);
  grid->addWidget(previous_, 0, 1);
  grid->addWidget(next_, 0, 2);
  grid->addWidget(matchCase_, 1, 0);
  grid->addWidget(matchAccents_, 1, 1, 1, 2);
  grid->addWidget(result_, 2, 0, 1, 3);
  setTabOrder(field_, previous_);
  setTabOrder(previous_, next_);
  setTabOrder(next_, matchCase_);
  setTabOrder(matchCase_, matchAccents_);

  connect(field_, &QLineEdit::textChanged, &finder_, &HistoryFinder::SetText);
  connect(next_, &QPushButton::clicked, &finder_, &HistoryFinder::Next);
  connect(previous_, &QPushButton::clicked, &finder_, &HistoryFinder::Previous);
  const auto options = [this] {
    finder_.SetOptions(
        {.matchCase = matchCase_->isChecked(), .matchAccents = matchAccents_->isChecked()});
  };
  connect(matchCase_, &QCheckBox::toggled, this, options);
  connect(matchAccents_, &QCheckBox::toggled, this, options);
  connect(&finder_, &HistoryFinder::resultChanged, this, &FindBar::ShowResult);
  field_->installEventFilter(this);
  history_->installEventFilter(this);
  hide();
}

void FindBar::Open() {
  Place();
  const bool opening = isHidden();
  show();
  raise();
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
  // Orca 43 takes the focus into the field without a word (the field's
  // caret moves before its focus is told), so the opening is told.
  if (opening) emit ToTell(field_->accessibleName());
}

void FindBar::Close() {
  hide();
  history_->setFocus(Qt::OtherFocusReason);
}

// Under the history where its parent has room, else over its bottom edge;
// as wide as the history, or as its own contents need.
void FindBar::Place() {
  const QRect box = parentWidget() == history_ ? history_->rect() : history_->geometry();
  const QSize size(std::max(box.width(), sizeHint().width()), sizeHint().height());
  const QWidget* area = parentWidget();
  int y = box.bottom() + 1;
  if (area != nullptr && y + size.height() > area->height()) y = box.bottom() + 1 - size.height();
  setGeometry(QRect(QPoint(box.left(), y), size));
}

void FindBar::ShowResult(const QString& result) {
  result_->setText(result);
  // The field's description, read with the field. Orca 43 cannot say a
  // change of it (Qt 6.4 sends the object where Orca expects the text), so
  // the result is also told once the typing pauses.
  field_->setAccessibleDescription(result);
  if (field_->hasFocus()) tell_->start();
}

// Keys that the buttons and boxes of the bar leave.
void FindBar::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Close();
  } else if (event->key() == Qt::Key_F3) {
    event->modifiers().testFlag(Qt::ShiftModifier) ? finder_.Previous() : finder_.Next();
  } else {
    QFrame::keyPressEvent(event);
  }
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == history_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
    if (isVisible()) Place();
  } else if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F3: shift ? finder_.Previous() : finder_.Next(); return true;
    case Qt::Key_Escape: Close(); return true;
    default: break;
    }
  }
  return QFrame::eventFilter(watched, event);
}
