// Each component description of a layout creates its component in a form.
#include "platform/Layout.h"

#include "platform/Forms.h"

#include <text/Utf8Qt.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

void LabelDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& label = form.Create<TLabel>(std::string(name), form.Client());
  label.SetBounds(bounds);
  static_cast<QLabel*>(label.Widget())->setText(text::ToQString(caption));
  if (font) label.SetFont(*font);
  if (color) {
    label.SetColor(*color);
    label.KeepTextReadable(*color);
  }
}

void ButtonDesc::Create(TForm& form, const EventTables& events) const {
  auto& button = form.Create<TButton>(std::string(name), form.Client());
  button.SetBounds(bounds);
  button.Button()->setText(text::ToQString(caption));
  if (font) button.SetFont(*font);
  button.TabOrder = tabOrder;
  if (!onClick.empty()) button.OnClick = events.notify.Bind(onClick, form);
}

void EditDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& edit = form.Create<TEdit>(std::string(name), form.Client());
  edit.SetBounds(bounds);
  edit.TabOrder = tabOrder;
  // The label's text becomes the box's accessible name.
  if (!label.empty())
    static_cast<QLabel*>(form.Component<TLabel>(label).Widget())->setBuddy(edit.Widget());
}

void RichEditDesc::Create(TForm& form, const EventTables& /*events*/) const {
  const auto create = [&]() -> TRichEdit& {
    if (largeLog) return form.Create<TLogRichEdit>(std::string(name), form.Client());
    return form.Create<TPlainRichEdit>(std::string(name), form.Client());
  };
  TRichEdit& edit = create();
  edit.SetBounds(bounds);
  edit.TabOrder = tabOrder;
  if (!accessibleName.empty()) edit.Widget()->setAccessibleName(text::ToQString(accessibleName));
  // An empty box already shows one empty line.
  for (int i = 1; i < initialLines; ++i)
    edit.Lines->Add(AnsiString());
}

void ToolBarDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& bar = form.Create<TToolBar>(std::string(name), form.Client());
  bar.SetBounds({0, 0, form.Client()->width(), height});
  bar.SetColor(color);
  bar.TabOrder = tabOrder;
}

void ToolButtonDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& bar = form.Component<TToolBar>(parent);
  auto& button = form.Create<TToolButton>(std::string(name), bar.Widget(), std::string(caption));
  button.SetBounds(bounds);
  if (!accessibleName.empty()) button.Widget()->setAccessibleName(text::ToQString(accessibleName));
}

void FontDialogDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TFontDialog>(std::string(name), font);
}

void ColorDialogDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TColorDialog>(std::string(name));
}
