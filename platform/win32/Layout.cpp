// Each component description of a layout creates its component in a form,
// as a native control of its window.
#include "platform/Layout.h"

#include "platform/win32/Forms.h"

#include <string>

void LabelDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& label = form.Create<TLabel>(std::string(name), form.Handle(), caption);
  label.SetBounds(bounds);
  if (font) label.SetFont(*font);
  if (color) label.SetColor(*color);
}

void ButtonDesc::Create(TForm& form, const EventTables& events) const {
  auto& button = form.Create<TButton>(std::string(name), form.Handle(), caption);
  button.SetBounds(bounds);
  if (font) button.SetFont(*font);
  button.TabOrder = tabOrder;
  if (!onClick.empty()) button.OnClick = events.notify.Bind(onClick, form);
}

void EditDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& edit = form.Create<TEdit>(std::string(name), form.Handle());
  edit.SetBounds(bounds);
  edit.TabOrder = tabOrder;
  // The label's text becomes the box's accessible name.
  if (!label.empty()) edit.NamedBy = &form.Component<TLabel>(label);
}

void RichEditDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& edit = form.Create<TRichEdit>(std::string(name), form.Handle(), largeLog);
  edit.SetBounds(bounds);
  edit.TabOrder = tabOrder;
  if (!accessibleName.empty()) edit.SetAccessibleName(accessibleName);
  // An empty box already shows one empty line.
  for (int i = 1; i < initialLines; ++i)
    edit.Lines->Add(AnsiString());
}

void ToolBarDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& bar = form.Create<TToolBar>(std::string(name), form.Handle());
  bar.SetBounds({0, 0, 0, height});
  bar.SetBarColor(color);
  bar.TabOrder = tabOrder;
}

void ToolButtonDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TToolButton>(std::string(name), form.Component<TToolBar>(parent),
                           std::string(caption), accessibleName, bounds);
}

void FontDialogDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TFontDialog>(std::string(name), font);
}

void ColorDialogDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TColorDialog>(std::string(name));
}
