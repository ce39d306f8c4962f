#pragma once

#include "classes/Classes.h"
#include "platform/Layout.h"
#include "platform/qt/Application.h"
#include "platform/qt/Controls.h"
#include <desktop/Announcer.h>

#include <exception>
#include <memory>
#include <variant>

class QApplication;
class QWidget;
class ClientArea;
class Attention;
class DesktopNotification;

// A top-level window whose components all come from its layout. The client
// area shows scroll bars when the window is smaller than its controls need.
class TForm : public TComponent {
public:
  template <class... Descs>
  TForm(TComponent* owner, const FormLayout<Descs...>& layout, const EventTables& events)
      : TForm(owner, layout.form) {
    // What draws nothing comes first, so that a port that cannot be bound
    // stops the start-up before any window shows. The events are bound
    // while the components are made, then forgotten.
    for (const bool drawing : {false, true}) {
      if (drawing) BeforeControls();
      for (const auto& component : layout.components)
        std::visit(
            [&]<class Desc>(const Desc& desc) {
              if (DrawsNothing<Desc> != drawing) desc.Create(*this, events);
            },
            component);
    }
    Loaded();
  }
  ~TForm() override;

  // Shows the window, if hidden; its icon follows on the event loop's next
  // pass.
  void Show();
  void Close();
  // A message came: asks for the user's attention through the task bar
  // and with a desktop notification (its header and first line) until the
  // window is activated; when it is active, has the screen reader say it
  // (header and message) wherever the focus is, the history included, at
  // the pace of Announcer::Arrived.
  void Alert(const text::Decoded& header, const text::Decoded& message);

  [[nodiscard]] QWidget* Window() const;
  [[nodiscard]] QWidget* Client() const;

private:
  TForm(TComponent* owner, const FormDesc& desc);
  // The main window shows before its controls are made, before the scroll
  // area that holds them and before the host's fonts are read for them: the
  // display maps it meanwhile, and it is first painted on the event loop,
  // with all its controls. Then the scroll area and the window's font.
  void BeforeControls();
  // Once every component exists: shows those made after the window, sets
  // the client area's extent, has the find box's results announced, and
  // orders the controls that take the focus by TabOrder, the focus going to
  // the first of them.
  void Loaded();

  std::unique_ptr<QWidget> window_; // holds a scroll area over the client area
  ClientArea* client_;
  Announcer announcer_;
  FontDesc font_;
  const char* const* iconXpm_;                  // set on the window once it is shown
  Attention* attention_ = nullptr;              // made at the first alert
  DesktopNotification* notification_ = nullptr; // made at the first alert
};
