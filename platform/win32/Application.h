#pragma once

#include <classes/Dispatch.h>
#include <classes/Exception.h>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class TForm;

class TApplication {
public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Prepares the common controls; throws Exception when there is no
  // desktop to show a window on.
  void Initialize();

  // Creates a form; the first one created becomes the main window.
  template <class T> void CreateForm(T*& reference) {
    auto form = std::make_unique<T>(nullptr);
    reference = form.get();
    AdoptForm(std::move(form));
  }

  // Shows the main window and runs the event loop until it closes; then
  // destroys the forms and all they own.
  void Run();

  // Shows an error's message in the standard error box and waits for the
  // user; without a desktop, writes it to the standard error stream.
  void ShowException(const Exception* E);

  // Shows an error that escaped an event handler.
  void HandleException(const std::exception_ptr& error);

  [[nodiscard]] TForm* MainForm() const { return mainForm_; }

private:
  void AdoptForm(std::unique_ptr<TForm> form);

  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* mainForm_ = nullptr;
};

extern TApplication* const Application;
