#pragma once

#include <classes/Dispatch.h>
#include <classes/Exception.h>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QApplication;
class TForm;

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
    const CreatingForm creating(creatingMain_, mainForm_ == nullptr && MapsOnShow());
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
  // True while CreateForm makes the first form, the main window, where a
  // window maps when shown (X11): it shows as soon as it exists, before its
  // controls are made. A Wayland window maps only with its first frame, so
  // there it shows once built, in Run.
  [[nodiscard]] bool CreatingMainForm() const { return creatingMain_; }

private:
  struct CreatingForm {
    CreatingForm(bool& flag, bool value) : flag_(flag) { flag_ = value; }
    ~CreatingForm() { flag_ = false; }
    CreatingForm(const CreatingForm&) = delete;
    CreatingForm& operator=(const CreatingForm&) = delete;
    bool& flag_;
  };
  static void LoadQtFrench();
  static bool MapsOnShow();
  void AddForm(std::unique_ptr<TForm> form);

  std::unique_ptr<QApplication> ownApp_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* mainForm_ = nullptr;
  bool creatingMain_ = false;
};

extern TApplication* const Application;
