#pragma once

#include "history/EditModel.h"

#include <QMimeData>
#include <QPointer>

#include <cstddef>
#include <functional>
#include <optional>

// The primary selection's data: a range of a model's text, read when
// asked, as UTF-8 (what X11 sends) or as a QString. A range too large to
// hand out gives nothing, and `tooLarge` is told its size once.
class SelectionOffer : public QMimeData {
public:
  using TooLarge = std::function<void(std::size_t)>;
  SelectionOffer(const EditModel& model, TextPos a, TextPos b, TooLarge tooLarge)
      : model_(&model), a_(a), b_(b), tooLarge_(std::move(tooLarge)) {}

  [[nodiscard]] QStringList formats() const override;
  [[nodiscard]] bool hasFormat(const QString& mimeType) const override;

  // Takes the range's text now; false when it is too long to keep.
  bool Keep();
  // The model goes away: only what was kept remains, and no one is told.
  void Forget();
  // Whether it offers that range of the model's text as it stands.
  [[nodiscard]] bool Offers(TextPos a, TextPos b) const {
    return model_ != nullptr && !kept_ && a == a_ && b == b_;
  }

protected:
  [[nodiscard]] QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
  const EditModel* model_;
  TextPos a_;
  TextPos b_;
  std::optional<QByteArray> kept_;
  TooLarge tooLarge_;
  mutable bool told_ = false;
};

// The X11 primary selection of a history, handed out only when another
// program asks for it: selecting (even the whole of a long history) copies
// nothing in advance. What is offered is a range of the text; lines
// appended at the end leave it valid. Before an edit moves the text, the
// range's text is taken while it is small, and the selection given up when
// it is not, so that clearing a long history keeps no copy of it.
class PrimarySelection {
public:
  // `tooLarge` is told the size of a selection refused for its size, once
  // per selection offered.
  PrimarySelection(const EditModel& model, SelectionOffer::TooLarge tooLarge)
      : model_(model), tooLarge_(std::move(tooLarge)) {}
  PrimarySelection(const PrimarySelection&) = delete;
  PrimarySelection& operator=(const PrimarySelection&) = delete;
  ~PrimarySelection();

  // Offers the model's selection, where the platform has a primary one.
  void Offer();
  // To be called before an edit (not an append) changes the text.
  void TextChanging();

  // The most text taken when an edit comes; a larger selection is given up.
  static constexpr std::size_t kKept = 1 << 20;
  // What a history hands out, to the clipboard or as the primary
  // selection: at most this many bytes of UTF-8 text (lines joined by
  // "\n"), built straight from the store when asked, so that the
  // program's memory stays within what it states whatever is selected. A
  // larger selection is refused and the user told.
  static constexpr std::size_t kMaxHandedOut = 16 << 20;

private:
  const EditModel& model_;
  SelectionOffer::TooLarge tooLarge_;
  QPointer<SelectionOffer> offer_; // the clipboard owns it; gone when another program takes over
};
