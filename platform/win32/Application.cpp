// The application object: start-up checks, the event loop, and the
// reporting of errors that escape event handlers.
#include "platform/win32/Application.h"

#include "platform/win32/Forms.h"
#include "platform/win32/Notices.h"
#include "platform/win32/Wide.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

namespace {

TApplication instance;

// A desktop the user sees: a service or a task without a session has
// none, and a message box there would wait for ever, unseen.
bool HasDesktop() {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr || GetDesktopWindow() == nullptr) return false;
  USEROBJECTFLAGS flags{};
  if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) != 0 &&
      (flags.dwFlags & WSF_VISIBLE) == 0)
    return false;
  return true;
}

// One line on the standard error stream: in the console's own characters,
// or in UTF-8 where it goes to a file or a pipe.
void WriteError(const std::wstring& message) {
  HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
  const std::wstring line = L"lanchat: " + message + L"\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(stream, &mode) != 0) {
    WriteConsoleW(stream, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  const std::string utf8 = win32::Narrow(line);
  WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

TApplication* const Application = &instance;

// Errors that escape event handlers (Dispatch) are shown in the standard
// error box from the start.
TApplication::TApplication() {
  SetDispatchErrorHandler([this](const std::exception_ptr& error) { HandleException(error); });
}

TApplication::~TApplication() {
  SetDispatchErrorHandler({});
  mainForm_ = nullptr;
  forms_.clear();
}

void TApplication::Initialize() {
  if (!HasDesktop())
    throw Exception("aucun bureau où afficher la fenêtre : lancez lanchat dans une session "
                    "Windows ouverte.");
  // The manifest says it already; a copy of the program without it is
  // sharp at every scale too.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
  // RichEdit's drag and drop and the accessibility services are OLE's.
  if (FAILED(OleInitialize(nullptr)))
    throw Exception("Impossible d'initialiser OLE pour les zones de texte.");
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
  if (mainForm_ == nullptr) mainForm_ = form.get();
  forms_.push_back(std::move(form));
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  mainForm_->Show();
  // The network's work comes as messages to a window of its own; the
  // program's windows get Tab, Entrée and Échap as dialog boxes do.
  // Posted messages come before input and painting in GetMessageW's
  // order: the user's keys, clicks and the window's painting are taken
  // first, so that a flood of arrivals never freezes the window.
  MSG message;
  for (;;) {
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_PAINT) == 0 &&
        GetMessageW(&message, nullptr, 0, 0) <= 0)
      break;
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (TakesDialogKeys(root) && IsDialogMessageW(root, &message) != 0) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  mainForm_ = nullptr;
  forms_.clear();
}

void TApplication::ShowException(const Exception* E) {
  const std::wstring message = win32::Widen(E != nullptr ? E->Message() : std::string());
  if (!HasDesktop()) return WriteError(message);
  HWND owner = mainForm_ != nullptr && mainForm_->Handle() != nullptr &&
                       IsWindowVisible(mainForm_->Handle()) != 0
                   ? mainForm_->Handle()
                   : nullptr;
  MessageBoxW(owner, message.c_str(), L"lanchat", MB_OK | MB_ICONERROR);
}

void TApplication::HandleException(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    ShowException(&e);
  } catch (const std::exception& e) {
    const Exception wrapped(e.what());
    ShowException(&wrapped);
  } catch (...) {
    const Exception empty("");
    ShowException(&empty);
  }
}
