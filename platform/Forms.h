#pragma once

#include "platform/Announcer.h"
#include "platform/Application.h"
#include "platform/Classes.h"
#include "platform/Controls.h"
#include "platform/Layout.h"

#include <exception>
#include <memory>
#include <variant>

class QApplication;
class QScrollArea;
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
    // The events are bound while the components are made, then forgotten.
    for (const auto& component : layout.components)
      std::visit([&](const auto& desc) { desc.Create(*this, events); }, component);
    Loaded();
  }
  ~TForm() override;

  // Shows the window; its icon follows on the event loop's next pass.
  void Show();
  void Close();
  // A message came: asks for the user's attention through the task bar
  // and with a desktop notification (its header and first line) until the
  // window is activated; when it is active, has the screen reader say it
  // (header and message) unless the focus is in the history.
  void Alert(const text::Decoded& header, const text::Decoded& message);

  [[nodiscard]] QWidget* Window() const;
  [[nodiscard]] QWidget* Client() const;

private:
  TForm(TComponent* owner, const FormDesc& desc);
  // Tab order, first focus and the client area's extent, once every
  // component exists.
  void Loaded();

  std::unique_ptr<QScrollArea> window_;
  ClientArea* client_;
  Announcer announcer_;
  const char* const* iconXpm_;                  // set on the window once it is shown
  Attention* attention_ = nullptr;              // made at the first alert
  DesktopNotification* notification_ = nullptr; // made at the first alert
};
