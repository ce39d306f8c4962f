#pragma once

#include "history/EditModel.h"

#include <QPointer>

class SelectionOffer;

// The X11 primary selection of a history, handed out only when another
// program asks for it: selecting (even the whole of a long history) copies
// nothing in advance. What is offered is a range of the text; lines
// appended at the end leave it valid. Before an edit moves the text, the
// range's text is taken while it is small, and the selection given up when
// it is not, so that clearing a long history keeps no copy of it.
class PrimarySelection {
public:
  explicit PrimarySelection(const EditModel& model) : model_(model) {}
  PrimarySelection(const PrimarySelection&) = delete;
  PrimarySelection& operator=(const PrimarySelection&) = delete;
  ~PrimarySelection();

  // Offers the model's selection, where the platform has a primary one.
  void Offer();
  // To be called before an edit (not an append) changes the text.
  void TextChanging();

  // The most text taken when an edit comes; a larger selection is given up.
  static constexpr qsizetype kKept = 1 << 20;

private:
  const EditModel& model_;
  QPointer<SelectionOffer> offer_; // the clipboard owns it; gone when another program takes over
};
