#include "history/PrimarySelection.h"

#include <QClipboard>
#include <QGuiApplication>

QStringList SelectionOffer::formats() const { return {QStringLiteral("text/plain")}; }

bool SelectionOffer::hasFormat(const QString& mimeType) const {
  return mimeType == QLatin1String("text/plain");
}

bool SelectionOffer::Keep() {
  if (model_ == nullptr || kept_) return true;
  if (model_->Utf8Size(a_, b_) > PrimarySelection::kKept) return false;
  kept_ = model_->Utf8Between(a_, b_);
  return true;
}

void SelectionOffer::Forget() {
  model_ = nullptr;
  tooLarge_ = nullptr;
}

QVariant SelectionOffer::retrieveData(const QString& mimeType, QMetaType type) const {
  if (mimeType != QLatin1String("text/plain")) return QMimeData::retrieveData(mimeType, type);
  QByteArray text;
  if (kept_) {
    text = *kept_;
  } else if (model_ != nullptr) {
    // Counted chunk by chunk before anything is read.
    const std::size_t size = model_->Utf8Size(a_, b_);
    if (size > PrimarySelection::kMaxHandedOut) {
      if (!told_ && tooLarge_) tooLarge_(size);
      told_ = true;
      return {};
    }
    text = model_->Utf8Between(a_, b_);
  }
  // UTF-8 as it is for another program; a QString only when one is asked.
  if (type.id() == QMetaType::QString) return QString::fromUtf8(text);
  return text;
}

PrimarySelection::~PrimarySelection() {
  // The clipboard may outlive the history: it keeps what it can.
  SelectionOffer* const offer = offer_.data();
  if (offer == nullptr) return;
  const bool kept = offer->Keep();
  offer->Forget();
  if (!kept) QGuiApplication::clipboard()->clear(QClipboard::Selection);
}

void PrimarySelection::Offer() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard->supportsSelection() || !model_.HasSelection()) return;
  const auto [a, b] = model_.Selection();
  // The same selection again keeps its offer, and what the user was told.
  if (const SelectionOffer* offer = offer_.data(); offer != nullptr && offer->Offers(a, b)) return;
  auto* offer = new SelectionOffer(model_, a, b, tooLarge_);
  clipboard->setMimeData(offer, QClipboard::Selection);
  offer_ = offer;
}

void PrimarySelection::TextChanging() {
  SelectionOffer* const offer = offer_.data();
  if (offer != nullptr && !offer->Keep())
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
}
