// The controls: adapters over one widget each, set from their layout.
#include "platform/qt/Controls.h"

#include "platform/qt/Application.h"
#include "platform/qt/Lines.h"
#include "platform/qt/Notices.h"

#include <history/HistoryView.h>
#include <text/Codec.h>

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <limits>

// ---- TControl

TControl::TControl(TComponent* owner, std::string name, QWidget* widget)
    : TComponent(owner, std::move(name)), widget_(widget) {
  widget_->setObjectName(QString::fromStdString(Name()));
}

void TControl::SetBounds(const Bounds& bounds) {
  widget_->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
}

void TControl::SetFont(const FontDesc& font) {
  widget_->setFont(MakeFont(font));
  QPalette palette = widget_->palette();
  const QColor color = SystemColor(font.color);
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::ButtonText, color);
  palette.setColor(QPalette::Text, color);
  widget_->setPalette(palette);
}

void TControl::SetColor(SysColor color) {
  QPalette palette = widget_->palette();
  palette.setColor(QPalette::Window, SystemColor(color));
  widget_->setPalette(palette);
  widget_->setAutoFillBackground(true);
}

void TControl::KeepTextReadable(SysColor background) {
  QPalette palette = widget_->palette();
  const QColor current = palette.color(QPalette::WindowText);
  const QColor back = palette.color(QPalette::Window);
  if (ContrastRatio(current, back) >= kReadableContrast) return;
  const QColor text = ReadableTextColour(current, back, background);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Text, text);
  widget_->setPalette(palette);
}

// ---- TLabel, TButton

TLabel::TLabel(TComponent* owner, std::string name, QWidget* parent)
    : TControl(owner, std::move(name), new QLabel(parent)) {}

TButton::TButton(TComponent* owner, std::string name, QWidget* parent)
    : TControl(owner, std::move(name), new QPushButton(parent)) {
  // Enter as well as Space clicks the focused button; outside a dialog
  // this makes no button the default one.
  Button()->setAutoDefault(true);
  QObject::connect(Button(), &QPushButton::clicked, Button(), [this] {
    Dispatch([this] {
      if (OnClick) OnClick(this);
    });
  });
}

QPushButton* TButton::Button() const { return static_cast<QPushButton*>(Widget()); }

// ---- Text boxes

int TCustomEdit::GetTextLen() const {
  return static_cast<int>(text::Codec::Wire().Encode(Text().toStdString()).size());
}

int TCustomEdit::GetTextBuf(char* Buffer, int BufSize) const {
  if (Buffer == nullptr || BufSize <= 0) return 0;
  const std::string bytes = text::Codec::Wire().Encode(Text().toStdString());
  const auto count = std::min(bytes.size(), static_cast<std::size_t>(BufSize) - 1);
  std::memcpy(Buffer, bytes.data(), count);
  Buffer[count] = '\0';
  return static_cast<int>(count);
}

TEdit::TEdit(TComponent* owner, std::string name, QWidget* parent)
    : TCustomEdit(owner, std::move(name), new QLineEdit(parent)) {
  // A box has no length limit; Qt's line edit stops at 32,767 unless told.
  LineEdit()->setMaxLength(std::numeric_limits<int>::max());
}

QLineEdit* TEdit::LineEdit() const { return static_cast<QLineEdit*>(Widget()); }

QString TEdit::Text() const { return LineEdit()->text(); }

namespace {

// The message box: a text box that refuses a paste or a drop larger than a
// message can carry, and says so, rather than lay it out for minutes.
class MessageEdit final : public QPlainTextEdit {
public:
  using QPlainTextEdit::QPlainTextEdit;

protected:
  void insertFromMimeData(const QMimeData* source) override {
    // The text is read once: on X11 the clipboard's owner may serve it only
    // once, and the clipboard's data go with it.
    const QString text = source->text();
    if (text.isEmpty()) return QPlainTextEdit::insertFromMimeData(source);
    if (text.size() > HistoryView::kMaxPaste) return TellPasteTooLarge(text.size(), this);
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
  }
};

} // namespace

TRichEdit::TRichEdit(TComponent* owner, std::string name, QWidget* widget,
                     std::unique_ptr<TQtStrings> lines)
    : TCustomEdit(owner, std::move(name), widget), lines_(std::move(lines)), Lines(lines_.get()) {}

TPlainRichEdit::TPlainRichEdit(TComponent* owner, std::string name, QWidget* parent)
    : TPlainRichEdit(owner, std::move(name), new MessageEdit(parent)) {}

TPlainRichEdit::TPlainRichEdit(TComponent* owner, std::string name, QPlainTextEdit* edit)
    : TRichEdit(owner, std::move(name), edit, MakeEditLines(edit)), edit_(edit) {
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setTabChangesFocus(true);
}

// The raw text keeps non-breaking spaces, which plain text would turn into
// spaces; its paragraph separators become CR LF on encoding.
QString TPlainRichEdit::Text() const { return edit_->document()->toRawText(); }

TLogRichEdit::TLogRichEdit(TComponent* owner, std::string name, QWidget* parent)
    : TLogRichEdit(owner, std::move(name), new HistoryView(parent)) {}

TLogRichEdit::TLogRichEdit(TComponent* owner, std::string name, HistoryView* view)
    : TRichEdit(owner, std::move(name), view, MakeHistoryLines(view)), view_(view) {
  QObject::connect(view, &HistoryView::HistoryFull, view, [view] { TellHistoryFull(view); });
  QObject::connect(view, &HistoryView::PasteTooLarge, view,
                   [view](qsizetype length) { TellPasteTooLarge(length, view); });
  QObject::connect(view, &HistoryView::UndoLost, view, [view] { TellUndoLost(view); });
  QObject::connect(view, &HistoryView::SelectionTooLarge, view,
                   [view](qint64 bytes) { TellSelectionTooLarge(bytes, view); });
}

QString TLogRichEdit::Text() const { return view_->Model().Text(); }

// ---- Tool bar

TToolBar::TToolBar(TComponent* owner, std::string name, QWidget* parent)
    : TControl(owner, std::move(name), new QWidget(parent)) {
  Widget()->setFocusPolicy(Qt::NoFocus);
  AlignTop = true;
}

TToolButton::TToolButton(TComponent* owner, std::string name, QWidget* parent, std::string caption)
    : TControl(owner, std::move(name), new QToolButton(parent)), caption_(std::move(caption)) {
  auto* button = static_cast<QToolButton*>(Widget());
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
}
