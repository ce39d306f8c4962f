#pragma once

#include "platform/Layout.h"
#include "platform/win32/Application.h"
#include "platform/win32/Controls.h"

#include <classes/Classes.h>
#include <text/Codec.h>

#include <variant>

// A top-level window whose components all come from its layout, placed at
// the DPI of the screen it is on.
class TForm : public TComponent {
public:
  template <class... Descs>
  TForm(TComponent* owner, const FormLayout<Descs...>& layout, const EventTables& events)
      : TForm(owner, layout.form) {
    // What draws nothing comes first, so that a port that cannot be bound
    // stops the start-up before any control is made. The events are bound
    // while the components are made, then forgotten.
    for (const bool drawing : {false, true})
      for (const auto& component : layout.components)
        std::visit(
            [&]<class Desc>(const Desc& desc) {
              if (DrawsNothing<Desc> != drawing) desc.Create(*this, events);
            },
            component);
    Loaded();
  }
  ~TForm() override;

  void Show();
  // Closes the window once the event loop has the message; the main
  // window's closing ends the loop.
  void Close();
  // A message came: when the window is not the active one, its task-bar
  // button flashes until it is.
  void Alert(const text::Decoded& header, const text::Decoded& message);

  [[nodiscard]] HWND Handle() const { return handle_; }

private:
  friend struct FormProcedure;
  TForm(TComponent* owner, const FormDesc& desc);
  // Fonts, tab order and first focus, once every component exists.
  void Loaded();

  HWND handle_ = nullptr;
  FontDesc font_;
  SysColor color_;
  HWND focus_ = nullptr; // the control that has the focus while the window is active
};
