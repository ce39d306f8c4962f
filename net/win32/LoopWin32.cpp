// The event loop's seam over Win32: a message-only window (HWND_MESSAGE)
// made on the thread that makes the context. Post hands it a heap copy of
// the task in a message of its own (freed there, or at once if the window
// is gone); After arms a window timer that runs its task once.
#include "net/Loop.h"

#include <classes/Dispatch.h>

#include <windows.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

constexpr UINT kRunTask = WM_APP + 0x4C43; // "LC"
constexpr const wchar_t* kClassName = L"lanchat.LoopContext";

using Task = std::function<void()>;

LRESULT CALLBACK LoopProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

ATOM RegisterLoopClass() {
  static const ATOM atom = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = LoopProcedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = kClassName;
    return RegisterClassExW(&type);
  }();
  return atom;
}

// What the window's procedure reaches through the window.
struct LoopState {
  HWND window = nullptr;
  std::map<UINT_PTR, Task> timers;
  UINT_PTR nextTimer = 1;

  void Timer(UINT_PTR id) {
    KillTimer(window, id);
    const auto found = timers.find(id);
    if (found == timers.end()) return;
    const Task task = std::move(found->second);
    timers.erase(found);
    Dispatch(task);
  }
};

LRESULT CALLBACK LoopProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunTask) {
    // The task's errors are the application's to show; none goes through
    // the system's frames.
    const std::unique_ptr<Task> task(reinterpret_cast<Task*>(lParam)); // NOLINT: sent as a number
    Dispatch(*task);
    return 0;
  }
  if (message == WM_TIMER) {
    auto* impl = reinterpret_cast<LoopState*>( // NOLINT: stored as a number
        GetWindowLongPtrW(window, GWLP_USERDATA));
    if (impl != nullptr) impl->Timer(wParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

struct LoopContext::Impl : LoopState {};

LoopContext::LoopContext() : d_(std::make_unique<Impl>()) {
  if (RegisterLoopClass() == 0)
    throw std::runtime_error("Impossible de préparer la boucle d'événements (RegisterClassExW).");
  d_->window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (d_->window == nullptr)
    throw std::runtime_error("Impossible de préparer la boucle d'événements (CreateWindowExW).");
  SetWindowLongPtrW(d_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<LoopState*>(d_.get())));
}

LoopContext::~LoopContext() {
  // What was posted and has not run is dropped, its memory freed.
  MSG message;
  while (PeekMessageW(&message, d_->window, kRunTask, kRunTask, PM_REMOVE) != 0)
    delete reinterpret_cast<Task*>(message.lParam); // NOLINT: sent as a number
  for (const auto& [id, task] : d_->timers)
    KillTimer(d_->window, id);
  SetWindowLongPtrW(d_->window, GWLP_USERDATA, 0);
  DestroyWindow(d_->window);
}

void LoopContext::Post(std::function<void()> task) {
  auto held = std::make_unique<Task>(std::move(task));
  if (PostMessageW(d_->window, kRunTask, 0, reinterpret_cast<LPARAM>(held.get())) != 0)
    static_cast<void>(held.release()); // the window's now
}

void LoopContext::After(int milliseconds, std::function<void()> task) {
  const UINT_PTR id = d_->nextTimer++;
  d_->timers.emplace(id, std::move(task));
  if (SetTimer(d_->window, id, static_cast<UINT>(milliseconds < 0 ? 0 : milliseconds), nullptr) == 0)
    d_->timers.erase(id);
}
