// The notices the window shows beside it, in French: a text and « OK », in
// a small window of their own that does not stop the chat.
#include "platform/win32/Notices.h"

#include "platform/win32/Forms.h"
#include "platform/win32/Gdi.h"
#include "platform/win32/Wide.h"

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kNoticeClass[] = L"lanchat.Notice";
constexpr wchar_t kDialogKeys[] = L"lanchat.DialogKeys";
constexpr wchar_t kNoticeFont[] = L"lanchat.NoticeFont";
constexpr wchar_t kBox[] = L"lanchat.TurnedAway";
constexpr wchar_t kFlood[] = L"lanchat.TurnedAwayFlood";
constexpr int kTextId = 100;

LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_COMMAND:
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
    return 0;
  case WM_CLOSE: DestroyWindow(window); return 0;
  case WM_DESTROY:
    DeleteObject(static_cast<HGDIOBJ>(RemovePropW(window, kNoticeFont)));
    RemovePropW(window, kDialogKeys);
    return 0;
  default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

void RegisterNotice() {
  static const bool registered = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = NoticeProc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    type.lpszClassName = kNoticeClass;
    return RegisterClassExW(&type) != 0;
  }();
  static_cast<void>(registered);
}

// Shows a notice over `owner`, its text wrapped at a reading width.
HWND Notice(const std::wstring& text, HWND owner) {
  RegisterNotice();
  const unsigned dpi = win32::DpiOf(owner);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

  const int margin = win32::Scale(12, dpi);
  const int buttonWidth = win32::Scale(88, dpi);
  const int buttonHeight = win32::Scale(26, dpi);
  RECT textArea{0, 0, win32::Scale(380, dpi), 0};
  HDC screen = GetDC(nullptr);
  const HGDIOBJ before = SelectObject(screen, font);
  DrawTextW(screen, text.c_str(), static_cast<int>(text.size()), &textArea,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(screen, before);
  ReleaseDC(nullptr, screen);
  // Room for a count that grows by a digit or two.
  textArea.bottom += win32::Scale(4, dpi);

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT outer{0, 0, textArea.right + 2 * margin, textArea.bottom + buttonHeight + 3 * margin};
  AdjustWindowRectExForDpi(&outer, style, FALSE, 0, dpi);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  RECT over{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner != nullptr) GetWindowRect(owner, &over);
  const int x = over.left + (over.right - over.left - width) / 2;
  const int y = over.top + (over.bottom - over.top - height) / 2;

  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND window = CreateWindowExW(0, kNoticeClass, L"lanchat", style, x, y, width, height, owner,
                                nullptr, instance, nullptr);
  if (window == nullptr) {
    DeleteObject(font);
    return nullptr;
  }
  SetPropW(window, kNoticeFont, font);
  HWND label =
      CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                      margin, margin, textArea.right, textArea.bottom, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance, nullptr);
  HWND ok = CreateWindowExW(
      0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
      textArea.right + 2 * margin - margin - buttonWidth, textArea.bottom + 2 * margin, buttonWidth,
      buttonHeight, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
  for (HWND child : {label, ok})
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  MarkTakesDialogKeys(window);
  MessageBeep(MB_ICONINFORMATION);
  ShowWindow(window, SW_SHOW);
  SetFocus(ok);
  return window;
}

bool IsNotice(HWND window) {
  wchar_t name[32] = {};
  return window != nullptr && IsWindow(window) && GetClassNameW(window, name, 32) > 0 &&
         std::wstring(name) == kNoticeClass;
}

} // namespace

bool TakesDialogKeys(HWND window) {
  return window != nullptr && GetPropW(window, kDialogKeys) != nullptr;
}

void MarkTakesDialogKeys(HWND window) {
  SetPropW(window, kDialogKeys, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));
}

void ForgetNotices(HWND window) {
  for (const wchar_t* name : {kBox, kFlood, kDialogKeys})
    RemovePropW(window, name);
}

void TellHistoryFull(HWND owner, long lines, long characters) {
  Notice(L"L'historique est plein : il a atteint sa limite de " +
             win32::FrenchNumber(static_cast<std::uint64_t>(lines)) + L" lignes ou " +
             win32::FrenchNumber(static_cast<std::uint64_t>(characters)) +
             L" caractères, et les messages qui arrivent ne s'y ajoutent plus.\n\nPour faire de "
             L"la place, effacez-le : cliquez dans l'historique, puis Ctrl+A et Suppr. Les "
             L"messages s'afficheront de nouveau.",
         owner);
}

// The open notice and the last flood told are kept on the window.
void TellTurnedAway(std::uint64_t flood, std::uint64_t count, TForm& form) {
  HWND window = form.Handle();
  const std::wstring text =
      L"Trafic anormal sur le réseau : " + win32::FrenchNumber(count) +
      (count == 1 ? L" message ignoré" : L" messages ignorés") +
      L".\n\nUn ou plusieurs ordinateurs envoient bien plus de messages qu'une conversation n'en "
      L"produit. lanchat en ignore une partie pour rester utilisable et pour que l'historique "
      L"ne se remplisse pas : les personnes qui bavardaient avant restent affichées.";
  auto* box = static_cast<HWND>(GetPropW(window, kBox));
  const auto told = reinterpret_cast<std::uintptr_t>(GetPropW(window, kFlood));
  if (IsNotice(box) && GetWindow(box, GW_OWNER) == window) {
    SetDlgItemTextW(box, kTextId, text.c_str());
  } else if (told != flood) {
    SetPropW(window, kBox, Notice(text, window));
  }
  SetPropW(window, kFlood, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(flood)));
}
