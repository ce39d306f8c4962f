// The notices the window shows beside it, in French.
#include "platform/qt/Notices.h"

#include "platform/qt/Forms.h"

#include <history/EditModel.h>
#include <history/HistoryView.h>
#include <history/PrimarySelection.h>

#include <QLocale>
#include <QMessageBox>
#include <QVariant>

namespace {

// Tells the user something beside the window, without stopping it.
QMessageBox* Notice(const QString& text, QWidget* near) {
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("lanchat"), text,
                              QMessageBox::Ok, near != nullptr ? near->window() : nullptr);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
  return box;
}

} // namespace

// A paste larger than a message can carry is refused in either box; the
// clipboard keeps the text.
void TellPasteTooLarge(qsizetype length, QWidget* near) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("Le texte à coller compte %1 caractères : c'est plus qu'un message peut "
                        "en porter (%2 octets). Rien n'a été collé ; le texte reste dans le "
                        "presse-papiers.")
             .arg(french.toString(static_cast<qlonglong>(length)),
                  french.toString(static_cast<qlonglong>(HistoryView::kMaxPaste))),
         near);
}

// The history turns messages away until it is cleared. Told beside the
// window, without stopping it: messages go on being counted while the box
// is open.
void TellHistoryFull(HistoryView* view) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("L'historique est plein : il a atteint sa limite de %1 lignes ou %2 Mo "
                        "de texte, et les messages qui arrivent ne s'y ajoutent plus.\n\nPour "
                        "faire de la place, effacez-le : cliquez dans l'historique, puis "
                        "Ctrl+A et Suppr. Les messages s'afficheront de nouveau.")
             .arg(french.toString(static_cast<qulonglong>(view->Model().Capacity())),
                  french.toString(static_cast<qulonglong>(view->Model().Budget() >> 20))),
         view);
}

void TellTurnedAway(std::uint64_t flood, std::uint64_t count, TForm& form) {
  QWidget* window = form.Window();
  const char* const told = "lanchatTurnedAwayFlood";
  const QString text =
      QStringLiteral("Trafic anormal sur le réseau : %1 %2.\n\nUn ou plusieurs ordinateurs "
                     "envoient bien plus de messages qu'une conversation n'en produit. lanchat "
                     "en ignore une partie pour rester utilisable et pour que l'historique ne "
                     "se remplisse pas : les personnes qui bavardaient avant restent "
                     "affichées.")
          .arg(QLocale(QLocale::French).toString(static_cast<qulonglong>(count)),
               count == 1 ? QStringLiteral("message ignoré") : QStringLiteral("messages ignorés"));
  auto* box =
      window->findChild<QMessageBox*>(QStringLiteral("TurnedAway"), Qt::FindDirectChildrenOnly);
  if (box != nullptr) {
    box->setText(text);
  } else if (window->property(told).toULongLong() != flood) {
    Notice(text, window)->setObjectName(QStringLiteral("TurnedAway"));
  }
  window->setProperty(told, static_cast<qulonglong>(flood));
}

// Said once per such edit, beside the window: the deletion stands.
void TellUndoLost(QWidget* near) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("Cette modification ne pourra pas être annulée : elle porte sur plus de "
                        "%1 Mo de texte, ce que l'annulation ne garde pas. Les modifications "
                        "précédentes ne peuvent plus être annulées non plus.")
             .arg(french.toString(static_cast<qulonglong>(EditModel::kUndoBytes >> 20))),
         near);
}

// Said once per copy refused, and once per selection another program asked
// for: nothing was handed out.
void TellSelectionTooLarge(qint64 bytes, QWidget* near) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("La sélection compte %1 Mo de texte : c'est plus que lanchat en remet au "
                        "presse-papiers ou à un autre programme (%2 Mo au plus), pour que sa "
                        "mémoire reste dans ses limites quelle que soit la taille de "
                        "l'historique. Rien n'a été copié ; sélectionnez une partie plus petite.")
             .arg(french.toString(static_cast<double>(bytes) / (1 << 20), 'f', 1),
                  french.toString(static_cast<qulonglong>(PrimarySelection::kMaxHandedOut >> 20))),
         near);
}
