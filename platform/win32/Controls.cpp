// The controls: adapters over one native control each, set from their
// layout.
#include "platform/win32/Controls.h"

#include "platform/win32/Gdi.h"
#include "platform/win32/Lines.h"
#include "platform/win32/Wide.h"

#include <windows.h>

#include <commctrl.h>
#include <initguid.h> // the accessibility GUIDs, defined here
#include <oleacc.h>
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Each child window has an identifier of its own, in the WM_COMMAND it sends.
int NextId() {
  static int next = 100;
  return next++;
}

HWND Child(const wchar_t* className, std::string_view text, DWORD style, DWORD exStyle,
           HWND parent) {
  const std::wstring wide = win32::Widen(text);
  HWND handle = CreateWindowExW(
      exStyle, className, wide.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(NextId())), GetModuleHandleW(nullptr), nullptr);
  if (handle == nullptr)
    throw Exception("Impossible de créer un contrôle de la fenêtre (classe « " +
                    win32::Narrow(className) + " »).");
  return handle;
}

// A multi-line box takes Tab as a character; here Tab moves the focus, as
// everywhere else in the window, and Ctrl+Tab types it.
LRESULT CALLBACK TabMovesFocus(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR) {
  LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
  if (message == WM_GETDLGCODE && lParam != 0) {
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if ((msg->message == WM_KEYDOWN || msg->message == WM_CHAR) && msg->wParam == VK_TAB &&
        GetKeyState(VK_CONTROL) >= 0)
      code &= ~static_cast<LRESULT>(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
  }
  return code;
}

// A tool bar's background in its own colour, where a flat bar would show
// its parent's.
LRESULT CALLBACK PaintBarBackground(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR colour) {
  if (message == WM_ERASEBKGND) {
    RECT area;
    GetClientRect(hwnd, &area);
    FillRect(reinterpret_cast<HDC>(wParam), &area,
             win32::SystemBrush(static_cast<SysColor>(colour)));
    return TRUE;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

// The RichEdit control's library, loaded once.
void LoadRichEdit() {
  static const HMODULE library = LoadLibraryW(L"msftedit.dll");
  if (library == nullptr)
    throw Exception("Impossible de charger la bibliothèque des zones de texte (msftedit.dll).");
}

// A history holds its whole budget and a message more; a message box, the
// largest datagram.
constexpr LPARAM kMessageBoxLimit = 65536;

} // namespace

// ---- TControl

TControl::TControl(TComponent* owner, std::string name, HWND handle)
    : TComponent(owner, std::move(name)), handle_(handle) {}

void TControl::FontDeleter::operator()(HFONT__* font) const { DeleteObject(font); }

void TControl::SetBounds(const Bounds& bounds) {
  bounds_ = bounds;
  Scale(win32::DpiOf(GetParent(handle_)));
}

void TControl::SetFont(const FontDesc& font) {
  font_ = font;
  Scale(win32::DpiOf(GetParent(handle_)));
}

void TControl::Scale(unsigned dpi) {
  if (font_) {
    fontHandle_.reset(win32::MakeFont(*font_, dpi));
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle_.get()), TRUE);
  }
  Place(dpi);
}

void TControl::Place(unsigned dpi) {
  int width = win32::Scale(bounds_.width, dpi);
  if (AlignTop) {
    RECT client;
    GetClientRect(GetParent(handle_), &client);
    width = client.right;
  }
  SetWindowPos(handle_, nullptr, win32::Scale(bounds_.left, dpi), win32::Scale(bounds_.top, dpi),
               width, win32::Scale(bounds_.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetColor(SysColor color) {
  color_ = color;
  InvalidateRect(handle_, nullptr, TRUE);
}

unsigned long TControl::TextColour() const {
  const COLORREF text = win32::SystemColour(font_ ? font_->color : SysColor::WindowText);
  if (!color_) return text;
  return win32::ReadableTextColour(text, win32::SystemColour(*color_), *color_);
}

void TControl::SetAccessibleName(std::string_view name) {
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&services))))
    return;
  const std::wstring wide = win32::Widen(name);
  services->SetHwndPropStr(handle_, static_cast<DWORD>(OBJID_CLIENT),
                           static_cast<DWORD>(CHILDID_SELF), PROPID_ACC_NAME, wide.c_str());
  services->Release();
}

// ---- Labels, buttons, boxes

TLabel::TLabel(TComponent* owner, std::string name, HWND parent, std::string_view caption)
    : TControl(owner, std::move(name),
               Child(L"STATIC", caption, SS_LEFT | SS_NOPREFIX, 0, parent)) {}

TButton::TButton(TComponent* owner, std::string name, HWND parent, std::string_view caption)
    : TControl(owner, std::move(name),
               Child(L"BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, 0, parent)) {}

AnsiString TCustomEdit::Text() const {
  const int length = GetWindowTextLengthW(Handle());
  std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(Handle(), wide.data(), length + 1);
  wide.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text::Codec::Wire().Encode(win32::Narrow(wide));
}

int TCustomEdit::GetTextLen() const {
  return static_cast<int>(std::min<std::size_t>(Text().size(), INT_MAX));
}

int TCustomEdit::GetTextBuf(char* Buffer, int BufSize) const {
  if (Buffer == nullptr || BufSize <= 0) return 0;
  const AnsiString text = Text();
  const std::size_t copied = std::min(text.size(), static_cast<std::size_t>(BufSize) - 1);
  std::memcpy(Buffer, text.data(), copied);
  Buffer[copied] = '\0';
  return static_cast<int>(copied);
}

TEdit::TEdit(TComponent* owner, std::string name, HWND parent)
    : TCustomEdit(owner, std::move(name),
                  Child(L"EDIT", {}, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, parent)) {}

namespace {

HWND RichEditBox(HWND parent, bool history) {
  LoadRichEdit();
  const DWORD style =
      WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | (history ? WS_VSCROLL : 0);
  HWND box = Child(MSFTEDIT_CLASS, {}, style, WS_EX_CLIENTEDGE, parent);
  // Plain text: what is pasted loses its formatting, as on the wire.
  SendMessageW(box, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
  SendMessageW(box, EM_EXLIMITTEXT, 0, history ? HistoryTextLimit() : kMessageBoxLimit);
  SetWindowSubclass(box, TabMovesFocus, 1, 0);
  return box;
}

} // namespace

TRichEdit::TRichEdit(TComponent* owner, std::string name, HWND parent, bool history)
    : TCustomEdit(owner, std::move(name), RichEditBox(parent, history)),
      lines_(MakeRichEditLines(Handle(), history)), Lines(lines_.get()) {}

// ---- The tool bar

TToolBar::TToolBar(TComponent* owner, std::string name, HWND parent)
    : TControl(owner, std::move(name),
               Child(TOOLBARCLASSNAMEW, {},
                     WS_TABSTOP | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                         CCS_NOPARENTALIGN | CCS_NODIVIDER,
                     0, parent)) {
  SendMessageW(Handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  // Captions become tooltips, and the names a screen reader says.
  SendMessageW(Handle(), TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
  SendMessageW(Handle(), TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  AlignTop = true;
}

void TToolBar::SetBarColor(SysColor color) {
  SetColor(color);
  SetWindowSubclass(Handle(), PaintBarBackground, 1, static_cast<DWORD_PTR>(color));
}

int TToolBar::AddButton(std::string_view accessibleName, const Bounds& bounds) {
  const int command = NextId();
  std::wstring text = win32::Widen(accessibleName);
  TBBUTTON button{};
  button.iBitmap = I_IMAGENONE;
  button.idCommand = command;
  button.fsState = TBSTATE_ENABLED;
  button.fsStyle = BTNS_BUTTON;
  button.iString = reinterpret_cast<INT_PTR>(text.c_str());
  SendMessageW(Handle(), TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
  buttons_.push_back({command, bounds});
  Scale(win32::DpiOf(GetParent(Handle())));
  return command;
}

void TToolBar::Scale(unsigned dpi) {
  TControl::Scale(dpi);
  for (const Button& button : buttons_) {
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_SIZE;
    info.cx = static_cast<WORD>(win32::Scale(button.bounds.width, dpi));
    SendMessageW(Handle(), TB_SETBUTTONINFOW, static_cast<WPARAM>(button.command),
                 reinterpret_cast<LPARAM>(&info));
  }
  if (!buttons_.empty())
    SendMessageW(Handle(), TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(win32::Scale(buttons_.front().bounds.width, dpi),
                            win32::Scale(buttons_.front().bounds.height, dpi)));
}

TToolButton::TToolButton(TComponent* owner, std::string name, TToolBar& bar, std::string caption,
                         std::string_view accessibleName, const Bounds& bounds)
    : TComponent(owner, std::move(name)), caption_(std::move(caption)),
      command_(bar.AddButton(accessibleName.empty() ? caption_ : accessibleName, bounds)) {}
