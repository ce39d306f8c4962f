#pragma once

#include "platform/Layout.h"
#include "platform/Strings.h"

#include <classes/Classes.h>
#include <text/Codec.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Windows' handles, declared as <windows.h> declares them, so that the
// window's code does not see <windows.h> and its macros.
struct HWND__;
struct HFONT__;
using HWND = HWND__*;

// A visual component: an adapter over one native control, a child of the
// form's window, which destroys it.
class TControl : public TComponent {
public:
  TControl(TComponent* owner, std::string name, HWND handle);
  [[nodiscard]] HWND Handle() const { return handle_; }
  // Bounds and fonts are given at 96 DPI and kept: Scale places the control
  // again, with its font made again, at the window's DPI.
  void SetBounds(const Bounds& bounds);
  [[nodiscard]] const Bounds& GetBounds() const { return bounds_; }
  void SetFont(const FontDesc& font);
  [[nodiscard]] bool HasFont() const { return font_.has_value(); }
  virtual void Scale(unsigned dpi);
  // Places it again at the window's DPI, without making its font again.
  void Place(unsigned dpi);
  // An opaque background of a system colour; the text kept at 4.5:1 at least
  // on it (see ReadableTextColour).
  void SetColor(SysColor color);
  [[nodiscard]] const std::optional<SysColor>& Color() const { return color_; }
  [[nodiscard]] unsigned long TextColour() const;
  // What a screen reader calls it, where no label names it.
  void SetAccessibleName(std::string_view name);

  int TabOrder = -1;
  bool AlignTop = false;       // along the top edge, as wide as the window
  TControl* NamedBy = nullptr; // the label that names it, just before it

private:
  struct FontDeleter {
    void operator()(HFONT__* font) const;
  };
  HWND handle_;
  Bounds bounds_{};
  std::optional<FontDesc> font_;
  std::unique_ptr<HFONT__, FontDeleter> fontHandle_;
  std::optional<SysColor> color_;
};

class TLabel : public TControl {
public:
  TLabel(TComponent* owner, std::string name, HWND parent, std::string_view caption);
};

class TButton : public TControl {
public:
  TButton(TComponent* owner, std::string name, HWND parent, std::string_view caption);
  TNotifyEvent OnClick;
};

// Text of a box as 8-bit text in the wire's code page: its length in bytes,
// and a copy of at most size - 1 bytes followed by a zero byte. Returns the
// bytes copied.
class TCustomEdit : public TControl {
public:
  using TControl::TControl;
  [[nodiscard]] int GetTextLen() const;
  int GetTextBuf(char* Buffer, int BufSize) const;

private:
  [[nodiscard]] AnsiString Text() const;
};

class TEdit : public TCustomEdit {
public:
  TEdit(TComponent* owner, std::string name, HWND parent);
};

// A native RichEdit box in plain-text mode: the message box, or a history
// (`history`: a scroll bar, a budget, lines added at the end).
class TRichEdit : public TCustomEdit {
  std::unique_ptr<TStrings> lines_; // before Lines, which points at it

public:
  TRichEdit(TComponent* owner, std::string name, HWND parent, bool history);
  TStrings* const Lines;
};

// A flat tool bar; its buttons show no caption, their accessible names
// are their tooltips and what a screen reader says.
class TToolBar : public TControl {
public:
  TToolBar(TComponent* owner, std::string name, HWND parent);
  // Adds a button of the bar's width and height (96 DPI); returns its
  // command.
  int AddButton(std::string_view accessibleName, const Bounds& bounds);
  // Its background in a system colour, where a flat bar shows its parent's.
  void SetBarColor(SysColor color);
  void Scale(unsigned dpi) override;

private:
  struct Button {
    int command;
    Bounds bounds;
  };
  std::vector<Button> buttons_;
};

class TToolButton : public TComponent {
public:
  TToolButton(TComponent* owner, std::string name, TToolBar& bar, std::string caption,
              std::string_view accessibleName, const Bounds& bounds);
  [[nodiscard]] const std::string& Caption() const { return caption_; }
  [[nodiscard]] int Command() const { return command_; }

private:
  std::string caption_;
  int command_;
};

// Dialogs hold their settings; nothing is built unless one is opened.
class TFontDialog : public TComponent {
public:
  TFontDialog(TComponent* owner, std::string name, const FontDesc& font)
      : TComponent(owner, std::move(name)), Font(font) {}
  FontDesc Font;
};

class TColorDialog : public TComponent {
public:
  using TComponent::TComponent;
};
