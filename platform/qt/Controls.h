#pragma once

#include "classes/Classes.h"
#include "platform/Layout.h"
#include "platform/Strings.h"
#include "platform/qt/Colours.h"
#include "platform/qt/Fonts.h"

#include <text/Codec.h>

#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;
class HistoryView;

// A visual component: an adapter over one widget, which its parent widget owns.
class TControl : public TComponent {
public:
  TControl(TComponent* owner, std::string name, QWidget* widget);
  [[nodiscard]] QWidget* Widget() const { return widget_; }
  void SetBounds(const Bounds& bounds);
  void SetFont(const FontDesc& font);
  void SetColor(SysColor color);
  // Keeps the text at 4.5:1 at least on the background set by SetColor:
  // the layout's text colour where it reads; else the palette's text colour
  // made for that background (tooltip text on a tooltip background); else
  // black or white, whichever reads better.
  void KeepTextReadable(SysColor background);

  int TabOrder = -1;
  bool AlignTop = false;

private:
  QWidget* widget_;
};

class TLabel : public TControl {
public:
  TLabel(TComponent* owner, std::string name, QWidget* parent);
};

class TButton : public TControl {
public:
  TButton(TComponent* owner, std::string name, QWidget* parent);
  [[nodiscard]] QPushButton* Button() const;
  TNotifyEvent OnClick;
};

// Text of a box as 8-bit text: its length in bytes, and a copy of at most
// size - 1 bytes followed by a zero byte. Returns the bytes copied.
class TCustomEdit : public TControl {
public:
  using TControl::TControl;
  [[nodiscard]] int GetTextLen() const;
  int GetTextBuf(char* Buffer, int BufSize) const;

protected:
  [[nodiscard]] virtual QString Text() const = 0;
};

class TEdit : public TCustomEdit {
public:
  TEdit(TComponent* owner, std::string name, QWidget* parent);
  [[nodiscard]] QLineEdit* LineEdit() const;

protected:
  [[nodiscard]] QString Text() const override;
};

// On Linux the lines can also be read back as they show, as Qt strings.
class TQtStrings : public TStrings {
public:
  [[nodiscard]] virtual QStringList ToStringList() const = 0;
};

// A multi-line box: its lines, and its text as 8-bit text. Two kinds, each
// over its own widget: TPlainRichEdit, a text box, and TLogRichEdit, a
// history made for a long, growing log. The window's code sees either as a
// TRichEdit; the layout says which one each box is.
class TRichEdit : public TCustomEdit {
  std::unique_ptr<TQtStrings> lines_; // before Lines, which points at it

public:
  TQtStrings* const Lines;

protected:
  TRichEdit(TComponent* owner, std::string name, QWidget* widget,
            std::unique_ptr<TQtStrings> lines);
};

// A QPlainTextEdit: the message box.
class TPlainRichEdit final : public TRichEdit {
public:
  TPlainRichEdit(TComponent* owner, std::string name, QWidget* parent);
  [[nodiscard]] QPlainTextEdit* TextEdit() const { return edit_; }

protected:
  [[nodiscard]] QString Text() const override;

private:
  TPlainRichEdit(TComponent* owner, std::string name, QPlainTextEdit* edit);
  QPlainTextEdit* edit_;
};

// A HistoryView, its lines kept compactly. What it signals to the user (the
// history full, a paste too large, an edit that cannot be undone) is said
// here, beside the window, in French.
class TLogRichEdit final : public TRichEdit {
public:
  TLogRichEdit(TComponent* owner, std::string name, QWidget* parent);
  [[nodiscard]] HistoryView* Log() const { return view_; }

protected:
  [[nodiscard]] QString Text() const override;

private:
  TLogRichEdit(TComponent* owner, std::string name, HistoryView* view);
  HistoryView* view_;
};

class TToolBar : public TControl {
public:
  TToolBar(TComponent* owner, std::string name, QWidget* parent);
};

class TToolButton : public TControl {
public:
  TToolButton(TComponent* owner, std::string name, QWidget* parent, std::string caption);
  [[nodiscard]] const std::string& Caption() const { return caption_; }

private:
  std::string caption_;
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
