#include "platform/Forms.h"

#include <desktop/Attention.h>
#include <desktop/DesktopNotification.h>
#include <history/HistoryView.h>

#include <text/Codec.h>
#include <text/TextLines.h>
#include <text/Utf8Qt.h>

#include <QAccessible>
#include <QCloseEvent>
#include <QIcon>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

// The client area: controls sit at fixed positions; those aligned to the
// top stretch to its width when it is resized.
class ClientArea : public QWidget {
public:
  using QWidget::QWidget;
  std::vector<TControl*> alignedTop;

protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    for (TControl* control : alignedTop)
      control->Widget()->setGeometry(0, 0, width(), control->Widget()->height());
  }
};

namespace {

// The outer size of the window includes a frame of 4 pixels on each side and
// a 19-pixel title bar; the host draws its own decorations around the client.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 27;

} // namespace

TForm::TForm(TComponent* owner, const FormDesc& desc)
    : TComponent(owner, "Form"), window_(std::make_unique<QWidget>()), client_(new ClientArea),
      announcer_(client_), font_(desc.font), iconXpm_(desc.iconXpm) {
  window_->setWindowTitle(text::ToQString(desc.caption));
  window_->move(desc.outer.left, desc.outer.top);
  window_->resize(desc.outer.width - kFrameWidth, desc.outer.height - kFrameHeight);
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, SystemColor(desc.color));
  window_->setPalette(palette);
  client_->setPalette(palette);
  client_->setAutoFillBackground(true);
}

TForm::~TForm() {
  // Components first, while the widgets they adapt still exist.
  DestroyComponents();
}

void TForm::BeforeControls() {
  if (Application->CreatingMainForm()) Show();
  auto* area = new QScrollArea;
  area->setFrameShape(QFrame::NoFrame);
  area->setFocusPolicy(Qt::NoFocus); // the controls take focus, not the area
  area->setWidgetResizable(true);
  area->setWidget(client_);
  auto* fill = new QVBoxLayout(window_.get());
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(area);
  if (window_->isVisible()) area->show();
  client_->setFont(MakeFont(font_));
}

QWidget* TForm::Window() const { return window_.get(); }
QWidget* TForm::Client() const { return client_; }

void TForm::Loaded() {
  std::vector<TControl*> focusable;
  int right = 0;
  int bottom = 0;
  for (const auto& component : Components()) {
    auto* control = dynamic_cast<TControl*>(component.get());
    if (control == nullptr) continue;
    // A control made after the window showed is shown with it.
    QWidget* widget = control->Widget();
    if (window_->isVisible() && widget->parentWidget() == client_ &&
        !widget->testAttribute(Qt::WA_WState_ExplicitShowHide))
      widget->show();
    if (control->AlignTop) {
      client_->alignedTop.push_back(control);
    } else if (control->Widget()->parentWidget() == client_) {
      right = std::max(right, control->Widget()->geometry().right() + 1);
      bottom = std::max(bottom, control->Widget()->geometry().bottom() + 1);
    }
    if (control->TabOrder >= 0 && control->Widget()->focusPolicy() != Qt::NoFocus)
      focusable.push_back(control);
  }
  client_->setMinimumSize(right, bottom);
  // The find box's results are said wherever a screen reader is.
  for (HistoryView* history : client_->findChildren<HistoryView*>())
    QObject::connect(history, &HistoryView::FindResult, history,
                     [this](const QString& result) { announcer_.Announce(result); });
  std::stable_sort(focusable.begin(), focusable.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder < b->TabOrder; });
  for (std::size_t i = 1; i < focusable.size(); ++i)
    QWidget::setTabOrder(focusable[i - 1]->Widget(), focusable[i]->Widget());
  if (!focusable.empty()) focusable.front()->Widget()->setFocus();
}

void TForm::Show() {
  if (window_->isVisible()) return;
  window_->show();
  // The icon is read from its pixmap once the window is on its way to the
  // screen: the window shows sooner, and the task bar takes the icon when
  // it comes.
  if (iconXpm_ == nullptr || !window_->windowIcon().isNull()) return;
  QMetaObject::invokeMethod(
      window_.get(), [this] { window_->setWindowIcon(QIcon(QPixmap(iconXpm_))); },
      Qt::QueuedConnection);
}
void TForm::Close() { window_->close(); }
void TForm::Alert(const text::Decoded& header, const text::Decoded& message) {
  const auto qtext = [](const text::Decoded& text) { return text::ToQString(text.utf8); };
  if (window_->isActiveWindow()) {
    // The screen reader says it wherever the focus is, at a human pace (see
    // Announcer::Arrived). With no screen reader listening, nothing is
    // worked out.
    if (QAccessible::isActive())
      announcer_.Arrived(qtext(header) + u' ' +
                         text::ToQString(text::JoinLines(message.utf8, " ")));
    return;
  }
  if (notification_ == nullptr) {
    // The window asks for attention itself unless the notification stands
    // for it (see DesktopNotification).
    attention_ = new Attention(window_.get());
    notification_ = new DesktopNotification(window_.get());
    QObject::connect(notification_, &DesktopNotification::AttentionWanted, attention_,
                     &Attention::Request);
  }
  notification_->MessageArrived(qtext(header), text::ToQString(text::FirstLine(message.utf8)));
}
