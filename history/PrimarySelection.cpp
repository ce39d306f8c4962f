#include "history/PrimarySelection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <optional>

// The primary selection's data: a range of a model's text, read when asked.
class SelectionOffer : public QMimeData {
public:
  SelectionOffer(const EditModel& model, TextPos a, TextPos b) : model_(&model), a_(a), b_(b) {}

  [[nodiscard]] QStringList formats() const override { return {QStringLiteral("text/plain")}; }
  [[nodiscard]] bool hasFormat(const QString& mimeType) const override {
    return mimeType == QLatin1String("text/plain");
  }

  // Takes the range's text now; false when it is too long to keep.
  bool Keep() {
    if (model_ == nullptr || kept_) return true;
    if (model_->Offset(b_) - model_->Offset(a_) > static_cast<std::size_t>(PrimarySelection::kKept))
      return false;
    kept_ = model_->TextBetween(a_, b_);
    return true;
  }
  void Forget() { model_ = nullptr; }

protected:
  [[nodiscard]] QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
    if (mimeType != QLatin1String("text/plain")) return QMimeData::retrieveData(mimeType, type);
    if (kept_) return *kept_;
    return model_ != nullptr ? model_->TextBetween(a_, b_) : QString();
  }

private:
  const EditModel* model_;
  TextPos a_;
  TextPos b_;
  std::optional<QString> kept_;
};

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
  auto* offer = new SelectionOffer(model_, a, b);
  clipboard->setMimeData(offer, QClipboard::Selection);
  offer_ = offer;
}

void PrimarySelection::TextChanging() {
  SelectionOffer* const offer = offer_.data();
  if (offer != nullptr && !offer->Keep())
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
}
