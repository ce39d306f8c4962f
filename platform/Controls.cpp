#include "platform/Controls.h"

#include "platform/Forms.h"

#include <history/HistoryView.h>
#include <text/Codec.h>
#include <text/TextLines.h>
#include <text/Utf8.h>

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

QColor SystemColor(SysColor color) {
  const QPalette palette = QApplication::palette();
  switch (color) {
  case SysColor::BtnFace: return palette.color(QPalette::Button);
  case SysColor::InfoBk: return palette.color(QPalette::ToolTipBase);
  case SysColor::WindowText: return palette.color(QPalette::WindowText);
  // The host has no title bars of its own to match; the palette's light
  // grey is the nearest to the inactive caption's text colour.
  case SysColor::InactiveCaptionText: return palette.color(QPalette::Midlight);
  }
  return palette.color(QPalette::Window);
}

namespace {

double RelativeLuminance(const QColor& color) {
  const auto channel = [](float value) {
    return value <= 0.04045F ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = color.toRgb();
  return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
         0.0722 * channel(rgb.blueF());
}

// The text colour role a palette pairs with a background colour.
QPalette::ColorRole TextRoleFor(SysColor background) {
  switch (background) {
  case SysColor::InfoBk: return QPalette::ToolTipText;
  case SysColor::BtnFace: return QPalette::ButtonText;
  case SysColor::WindowText:
  case SysColor::InactiveCaptionText: break;
  }
  return QPalette::WindowText;
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QStringList FontCandidates(std::string_view name) {
  // The named face first, then its nearest equivalents on Linux hosts.
  QStringList families{text::ToQString(name)};
  if (name == "Comic Sans MS")
    families << "Comic Neue"
             << "Comic Relief";
  else
    families << "Microsoft Sans Serif"
             << "DejaVu Sans"
             << "Liberation Sans";
  return families;
}

QFont MakeFont(const FontDesc& desc) {
  QFont font;
  font.setStyleHint(desc.name == "Comic Sans MS" ? QFont::Cursive : QFont::SansSerif);
  // Only the first face the host has: asking for missing ones makes every
  // lookup search the host's fallbacks, which slows start-up. The list of
  // the host's faces is read once; looking a name up in it is cheap, unlike
  // QFontDatabase::hasFamily.
  static const QStringList hostFamilies = QFontDatabase::families();
  const QStringList candidates = FontCandidates(desc.name);
  const auto found = std::find_if(candidates.begin(), candidates.end(), [](const QString& family) {
    return hostFamilies.contains(family);
  });
  font.setFamilies({found != candidates.end() ? *found : candidates.front()});
  font.setPixelSize(std::abs(desc.height));
  font.setBold(desc.bold);
  return font;
}

void Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    Application->HandleException(std::current_exception());
  }
}

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
  constexpr double kReadable = 4.5;
  QPalette palette = widget_->palette();
  const QColor back = palette.color(QPalette::Window);
  if (ContrastRatio(palette.color(QPalette::WindowText), back) >= kReadable) return;
  QColor text = QApplication::palette().color(TextRoleFor(background));
  if (ContrastRatio(text, back) < kReadable)
    text = ContrastRatio(Qt::black, back) >= ContrastRatio(Qt::white, back) ? QColor(Qt::black)
                                                                            : QColor(Qt::white);
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

// Tells the user something beside the window, without stopping it.
QMessageBox* Notice(const QString& text, QWidget* near) {
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("lanchat"), text,
                              QMessageBox::Ok, near != nullptr ? near->window() : nullptr);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
  return box;
}

// A paste larger than a message can carry is refused in either box; the
// clipboard keeps the text.
void TellPasteTooLarge(qsizetype length, QWidget* near) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("Le texte à coller compte %1 caractères : c'est plus qu'un message peut "
                        "en porter (%2 octets). Rien n'a été collé ; le texte reste dans le "
                        "presse-papiers.")
             .arg(french.toString(static_cast<qlonglong>(length)),
                  french.toString(static_cast<qlonglong>(HistoryView::kMaxPaste))),
         near);
}

// The history turns messages away until it is cleared. Told beside the
// window, without stopping it: messages go on being counted while the box
// is open.
void TellHistoryFull(HistoryView* view) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("L'historique est plein : il a atteint sa limite de %1 lignes ou %2 Mo "
                        "de texte, et les messages qui arrivent ne s'y ajoutent plus.\n\nPour "
                        "faire de la place, effacez-le : cliquez dans l'historique, puis "
                        "Ctrl+A et Suppr. Les messages s'afficheront de nouveau.")
             .arg(french.toString(static_cast<qulonglong>(view->Model().Capacity())),
                  french.toString(static_cast<qulonglong>(view->Model().Budget() >> 20))),
         view);
}

} // namespace

void TellTurnedAway(std::uint64_t flood, std::uint64_t count, QWidget* near) {
  QWidget* window = near->window();
  const char* const told = "lanchatTurnedAwayFlood";
  const QString text =
      QStringLiteral("Trafic anormal sur le réseau : %1 %2.\n\nUn ou plusieurs ordinateurs "
                     "envoient bien plus de messages qu'une conversation n'en produit. lanchat "
                     "en ignore une partie pour rester utilisable et pour que l'historique ne "
                     "se remplisse pas : les personnes qui bavardaient avant restent "
                     "affichées.")
          .arg(QLocale(QLocale::French).toString(static_cast<qulonglong>(count)),
               count == 1 ? QStringLiteral("message ignoré") : QStringLiteral("messages ignorés"));
  auto* box =
      window->findChild<QMessageBox*>(QStringLiteral("TurnedAway"), Qt::FindDirectChildrenOnly);
  if (box != nullptr) {
    box->setText(text);
  } else if (window->property(told).toULongLong() != flood) {
    Notice(text, window)->setObjectName(QStringLiteral("TurnedAway"));
  }
  window->setProperty(told, static_cast<qulonglong>(flood));
}

namespace {

// Said once per such edit, beside the window: the deletion stands.
void TellUndoLost(QWidget* near) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("Cette modification ne pourra pas être annulée : elle porte sur plus de "
                        "%1 Mo de texte, ce que l'annulation ne garde pas. Les modifications "
                        "précédentes ne peuvent plus être annulées non plus.")
             .arg(french.toString(static_cast<qulonglong>(EditModel::kUndoBytes >> 20))),
         near);
}

// Said once per copy refused, and once per selection another program asked
// for: nothing was handed out.
void TellSelectionTooLarge(qint64 bytes, QWidget* near) {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("La sélection compte %1 Mo de texte : c'est plus que lanchat en remet au "
                        "presse-papiers ou à un autre programme (%2 Mo au plus), pour que sa "
                        "mémoire reste dans ses limites quelle que soit la taille de "
                        "l'historique. Rien n'a été copié ; sélectionnez une partie plus petite.")
             .arg(french.toString(static_cast<double>(bytes) / (1 << 20), 'f', 1),
                  french.toString(static_cast<qulonglong>(PrimarySelection::kMaxHandedOut >> 20))),
         near);
}

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

// The lines of a text box.
class EditLines final : public TStrings {
public:
  explicit EditLines(QPlainTextEdit* edit) : edit_(edit) {}

  using TStrings::Add;
  void Add(const text::Decoded& text) override {
    QTextCursor cursor(edit_->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (const std::string_view line : text::SplitLines(text.utf8)) {
      cursor.insertBlock();
      cursor.insertText(text::ToQString(line));
    }
    cursor.endEditBlock();
    // Bring the new last line into view.
    QScrollBar* bar = edit_->verticalScrollBar();
    bar->setValue(bar->maximum());
  }
  // One edit block of the document across the update: one change to tell.
  void BeginUpdate() override {
    if (updates_++ == 0) QTextCursor(edit_->document()).beginEditBlock();
  }
  void EndUpdate() override {
    if (updates_ > 0 && --updates_ == 0) QTextCursor(edit_->document()).endEditBlock();
  }
  [[nodiscard]] int Count() const override { return edit_->document()->blockCount(); }
  [[nodiscard]] QStringList ToStringList() const override {
    QStringList lines;
    for (QTextBlock block = edit_->document()->begin(); block.isValid(); block = block.next())
      lines << block.text();
    return lines;
  }

private:
  QPlainTextEdit* edit_;
  int updates_ = 0;
};

// The lines of a history.
class HistoryLines final : public TStrings {
public:
  explicit HistoryLines(HistoryView* view) : view_(view) {}

  // The lines of one Add, or of one update, go in as one insertion, as
  // UTF-8: the history cuts them at their breaks.
  using TStrings::Add;
  void Add(const text::Decoded& text) override {
    pending_ += '\n';
    pending_ += text.utf8;
    if (updates_ == 0) Flush();
  }
  void BeginUpdate() override { ++updates_; }
  void EndUpdate() override {
    if (updates_ > 0 && --updates_ == 0) Flush();
  }
  [[nodiscard]] int Count() const override { return static_cast<int>(view_->Model().LineCount()); }
  [[nodiscard]] bool HasRoom() override { return view_->HasRoom(); }
  [[nodiscard]] QStringList ToStringList() const override {
    QStringList lines;
    for (std::size_t i = 0; i < view_->Model().LineCount(); ++i)
      lines << view_->Model().Line(i);
    return lines;
  }

private:
  void Flush() {
    if (!pending_.empty()) view_->Append(pending_);
    pending_.clear();
  }

  HistoryView* view_;
  std::string pending_; // kept, with its room, from one arrival to the next
  int updates_ = 0;
};

} // namespace

TRichEdit::TRichEdit(TComponent* owner, std::string name, QWidget* widget,
                     std::unique_ptr<TStrings> lines)
    : TCustomEdit(owner, std::move(name), widget), lines_(std::move(lines)), Lines(lines_.get()) {}

TPlainRichEdit::TPlainRichEdit(TComponent* owner, std::string name, QWidget* parent)
    : TPlainRichEdit(owner, std::move(name), new MessageEdit(parent)) {}

TPlainRichEdit::TPlainRichEdit(TComponent* owner, std::string name, QPlainTextEdit* edit)
    : TRichEdit(owner, std::move(name), edit, std::make_unique<EditLines>(edit)), edit_(edit) {
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
    : TRichEdit(owner, std::move(name), view, std::make_unique<HistoryLines>(view)), view_(view) {
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
