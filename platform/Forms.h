#pragma once

#include "platform/Announcer.h"
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

  void Show();
  void Close();
  // A message came: asks for the user's attention through the task bar
  // and with a desktop notification (its header and first line) until the
  // window is activated; when it is active, has the screen reader say it
  // (header and message) unless the focus is in the history. The text is
  // in the wire's code page.
  void Alert(const AnsiString& header, const AnsiString& message);

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
  Attention* attention_ = nullptr;              // made at the first alert
  DesktopNotification* notification_ = nullptr; // made at the first alert
};

class TApplication {
public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Prepares the application, Qt's French translation loaded; throws
  // Exception when there is no display.
  void Initialize();

  // Creates a form; the first one created becomes the main window.
  template <class T> void CreateForm(T*& reference) {
    auto form = std::make_unique<T>(nullptr);
    reference = form.get();
    AddForm(std::move(form));
  }

  // Shows the main window and runs the event loop until it closes; then
  // destroys the forms and all they own.
  void Run();

  // Shows an error's message in the standard error box and waits for the
  // user; without a display, writes it to the standard error stream.
  void ShowException(const Exception* E);

  // Shows an error that escaped an event handler.
  void HandleException(const std::exception_ptr& error);

  [[nodiscard]] TForm* MainForm() const { return mainForm_; }

private:
  static void LoadQtFrench();
  void AddForm(std::unique_ptr<TForm> form);

  std::unique_ptr<QApplication> ownApp_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* mainForm_ = nullptr;
};

extern TApplication* const Application;
