// The top-level window: its class, its procedure (clicks, colours, focus,
// DPI changes) and its tab order.
#include "platform/win32/Forms.h"

#include "platform/win32/Gdi.h"
#include "platform/win32/Notices.h"
#include "platform/win32/Wide.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

constexpr wchar_t kFormClass[] = L"lanchat.Form";

// The program's icon, from its resources (app/lanchat.rc).
constexpr wchar_t kIconName[] = L"LANCHAT";

template <class T> T* ControlOf(const TForm& form, HWND handle) {
  for (const auto& component : form.Components())
    if (auto* control = dynamic_cast<T*>(component.get()); control && control->Handle() == handle)
      return control;
  return nullptr;
}

void Click(TButton& button) {
  Dispatch([&button] {
    if (button.OnClick) button.OnClick(&button);
  });
}

bool IsClass(HWND window, const wchar_t* name) {
  wchar_t actual[64] = {};
  return GetClassNameW(window, actual, 64) > 0 && lstrcmpiW(actual, name) == 0;
}

} // namespace

struct FormProcedure {
  static LRESULT CALLBACK Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      form->handle_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    // No error may cross the system's frames: each one is shown.
    try {
      return Message(*form, window, message, wParam, lParam);
    } catch (...) {
      Application->HandleException(std::current_exception());
      return 0;
    }
  }

  static LRESULT Message(TForm& form, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: return Command(form, LOWORD(wParam), HIWORD(wParam), lParam);
    case WM_CTLCOLORSTATIC: {
      auto* control = ControlOf<TControl>(form, reinterpret_cast<HWND>(lParam));
      if (control == nullptr || !control->Color()) break;
      auto* dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, win32::SystemColour(*control->Color()));
      SetTextColor(dc, static_cast<COLORREF>(control->TextColour()));
      return reinterpret_cast<LRESULT>(win32::SystemBrush(*control->Color()));
    }
    case WM_ERASEBKGND: {
      RECT area;
      GetClientRect(window, &area);
      FillRect(reinterpret_cast<HDC>(wParam), &area, win32::SystemBrush(form.color_));
      return 1;
    }
    case WM_SIZE:
      for (const auto& component : form.Components())
        if (auto* control = dynamic_cast<TControl*>(component.get()); control && control->AlignTop)
          control->Place(win32::DpiOf(window));
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      for (const auto& component : form.Components())
        if (auto* control = dynamic_cast<TControl*>(component.get()))
          control->Scale(HIWORD(wParam));
      return 0;
    }
    // The focus comes back to the control that had it.
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus)) form.focus_ = focus;
      } else if (form.focus_ != nullptr && IsWindow(form.focus_)) {
        SetFocus(form.focus_);
      }
      return 0;
    case WM_SETFOCUS:
      if (form.focus_ != nullptr && IsWindow(form.focus_)) SetFocus(form.focus_);
      return 0;
    // Tab and Maj+Tab, as the event loop's dialog keys ask for them.
    case WM_NEXTDLGCTL: {
      HWND next = LOWORD(lParam) != 0 ? reinterpret_cast<HWND>(wParam)
                                      : GetNextDlgTabItem(window, GetFocus(), wParam != 0);
      if (next == nullptr) return 0;
      SetFocus(next);
      if (IsClass(next, L"Edit")) SendMessageW(next, EM_SETSEL, 0, -1);
      return 0;
    }
    case WM_DESTROY:
      ForgetNotices(window);
      if (Application->MainForm() == &form) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      form.handle_ = nullptr;
      break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  static LRESULT Command(TForm& form, WORD id, WORD code, LPARAM lParam) {
    // Entrée on a button clicks it, as Espace does.
    if (id == IDOK && lParam == 0) {
      if (auto* button = ControlOf<TButton>(form, GetFocus())) Click(*button);
      return 0;
    }
    if (code == BN_CLICKED)
      if (auto* button = ControlOf<TButton>(form, reinterpret_cast<HWND>(lParam))) Click(*button);
    return 0;
  }
};

namespace {

void RegisterForm() {
  static const bool registered = [] {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = FormProcedure::Handle;
    type.hInstance = instance;
    type.hIcon = static_cast<HICON>(
        LoadImageW(instance, kIconName, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    type.hIconSm = static_cast<HICON>(LoadImageW(instance, kIconName, IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = kFormClass;
    return RegisterClassExW(&type) != 0;
  }();
  if (!registered) throw Exception("Impossible d'enregistrer la classe de la fenêtre.");
}

} // namespace

TForm::TForm(TComponent* owner, const FormDesc& desc)
    : TComponent(owner, "Form"), font_(desc.font), color_(desc.color) {
  RegisterForm();
  const std::wstring caption = win32::Widen(desc.caption);
  CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, caption.c_str(),
                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, desc.outer.left, desc.outer.top,
                  desc.outer.width, desc.outer.height, nullptr, nullptr, GetModuleHandleW(nullptr),
                  this);
  if (handle_ == nullptr) throw Exception("Impossible de créer la fenêtre.");
  // The layout is at 96 DPI; the window takes the scale of its screen.
  const unsigned dpi = win32::DpiOf(handle_);
  if (dpi != win32::kLayoutDpi)
    SetWindowPos(handle_, nullptr, win32::Scale(desc.outer.left, dpi),
                 win32::Scale(desc.outer.top, dpi), win32::Scale(desc.outer.width, dpi),
                 win32::Scale(desc.outer.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  MarkTakesDialogKeys(handle_);
}

TForm::~TForm() {
  // Components first, while their windows exist; then the window.
  DestroyComponents();
  if (handle_ != nullptr) DestroyWindow(handle_);
}

void TForm::Loaded() {
  std::vector<TControl*> focusable;
  for (const auto& component : Components()) {
    auto* control = dynamic_cast<TControl*>(component.get());
    if (control == nullptr) continue;
    if (!control->HasFont()) control->SetFont(font_);
    if (control->TabOrder >= 0) focusable.push_back(control);
  }
  // The tab order is the order of the windows; a label comes just before
  // the box it names, which takes its text as its accessible name.
  std::stable_sort(focusable.begin(), focusable.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder < b->TabOrder; });
  HWND after = HWND_TOP;
  const auto place = [&after](HWND window) {
    SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = window;
  };
  for (TControl* control : focusable) {
    if (control->NamedBy != nullptr) place(control->NamedBy->Handle());
    place(control->Handle());
  }
  if (!focusable.empty()) focus_ = focusable.front()->Handle();
}

void TForm::Show() {
  if (handle_ == nullptr || IsWindowVisible(handle_)) return;
  ShowWindow(handle_, SW_SHOWDEFAULT);
  UpdateWindow(handle_);
  if (focus_ != nullptr) SetFocus(focus_);
}

void TForm::Close() {
  if (handle_ != nullptr) PostMessageW(handle_, WM_CLOSE, 0, 0);
}

void TForm::Alert(const text::Decoded& /*header*/, const text::Decoded& /*message*/) {
  if (handle_ == nullptr || GetForegroundWindow() == handle_) return;
  FLASHWINFO flash{};
  flash.cbSize = sizeof flash;
  flash.hwnd = handle_;
  flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
  FlashWindowEx(&flash);
}
