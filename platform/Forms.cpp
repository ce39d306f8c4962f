#include "platform/Forms.h"

#include "platform/Attention.h"
#include "platform/DesktopNotification.h"
#include "platform/FontWarmup.h"

#include <history/HistoryView.h>
#include <text/Codec.h>
#include <text/Utf8.h>

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSocketNotifier>
#include <QTranslator>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

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
    : TComponent(owner, "Form"), window_(std::make_unique<QScrollArea>()), client_(new ClientArea),
      announcer_(client_) {
  window_->setWindowTitle(text::ToQString(desc.caption));
  window_->setFrameShape(QFrame::NoFrame);
  window_->setFocusPolicy(Qt::NoFocus); // the controls take focus, not the window
  window_->setWidgetResizable(true);
  window_->setWidget(client_);
  window_->move(desc.outer.left, desc.outer.top);
  window_->resize(desc.outer.width - kFrameWidth, desc.outer.height - kFrameHeight);
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, SystemColor(desc.color));
  window_->setPalette(palette);
  client_->setFont(MakeFont(desc.font));
  client_->setPalette(palette);
  client_->setAutoFillBackground(true);
  if (desc.iconXpm != nullptr) window_->setWindowIcon(QIcon(QPixmap(desc.iconXpm)));
}

TForm::~TForm() {
  // Components first, while the widgets they adapt still exist.
  DestroyComponents();
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
  std::stable_sort(focusable.begin(), focusable.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder < b->TabOrder; });
  for (std::size_t i = 1; i < focusable.size(); ++i)
    QWidget::setTabOrder(focusable[i - 1]->Widget(), focusable[i]->Widget());
  if (!focusable.empty()) focusable.front()->Widget()->setFocus();
}

void TForm::Show() { window_->show(); }
void TForm::Close() { window_->close(); }
void TForm::Alert(const AnsiString& header, const AnsiString& message) {
  const auto decode = [](const AnsiString& text) {
    return QString::fromStdString(text::Codec::Wire().Decode(text));
  };
  const QString text = decode(message);
  const QRegularExpression lineBreak(QStringLiteral("\\r\\n|\\r|\\n"));
  if (window_->isActiveWindow()) {
    // The screen reader says it wherever the focus is; a focused history
    // already tells its own insertion, which is not said twice.
    if (dynamic_cast<HistoryView*>(QApplication::focusWidget()) == nullptr)
      announcer_.Announce(decode(header) + u' ' +
                          QString(text).replace(lineBreak, QStringLiteral(" ")));
    return;
  }
  if (attention_ == nullptr) attention_ = new Attention(window_.get());
  attention_->Request();
  if (notification_ == nullptr) notification_ = new DesktopNotification(window_.get());
  notification_->MessageArrived(decode(header), text.section(lineBreak, 0, 0));
}

// ---- Component descriptions

namespace {} // namespace

void LabelDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& label = form.Create<TLabel>(std::string(name), form.Client());
  label.SetBounds(bounds);
  static_cast<QLabel*>(label.Widget())->setText(text::ToQString(caption));
  if (font) label.SetFont(*font);
  if (color) {
    label.SetColor(*color);
    label.KeepTextReadable(*color);
  }
}

void ButtonDesc::Create(TForm& form, const EventTables& events) const {
  auto& button = form.Create<TButton>(std::string(name), form.Client());
  button.SetBounds(bounds);
  button.Button()->setText(text::ToQString(caption));
  if (font) button.SetFont(*font);
  button.TabOrder = tabOrder;
  if (!onClick.empty()) button.OnClick = events.notify.Bind(onClick, form);
}

void EditDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& edit = form.Create<TEdit>(std::string(name), form.Client());
  edit.SetBounds(bounds);
  edit.TabOrder = tabOrder;
  // The label's text becomes the box's accessible name.
  if (!label.empty())
    static_cast<QLabel*>(form.Component<TLabel>(label).Widget())->setBuddy(edit.Widget());
}

void RichEditDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& edit = form.Create<TRichEdit>(std::string(name), form.Client(), largeLog);
  edit.SetBounds(bounds);
  edit.TabOrder = tabOrder;
  if (!accessibleName.empty()) edit.Widget()->setAccessibleName(text::ToQString(accessibleName));
  // An empty box already shows one empty line.
  for (int i = 1; i < initialLines; ++i)
    edit.Lines->Add({});
}

void ToolBarDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& bar = form.Create<TToolBar>(std::string(name), form.Client());
  bar.SetBounds({0, 0, form.Client()->width(), height});
  bar.SetColor(color);
  bar.TabOrder = tabOrder;
}

void ToolButtonDesc::Create(TForm& form, const EventTables& /*events*/) const {
  auto& bar = form.Component<TToolBar>(parent);
  auto& button = form.Create<TToolButton>(std::string(name), bar.Widget(), std::string(caption));
  button.SetBounds(bounds);
  if (!accessibleName.empty()) button.Widget()->setAccessibleName(text::ToQString(accessibleName));
}

void FontDialogDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TFontDialog>(std::string(name), font);
}

void ColorDialogDesc::Create(TForm& form, const EventTables& /*events*/) const {
  form.Create<TColorDialog>(std::string(name));
}

// ---- Application

namespace {

TApplication instance;

// Termination requests (a session ending, kill, Ctrl+C) close the main
// window as its close box would, so that the program ends normally.
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

// While the application object connects to the display, Qt's messages are
// held back: a display that cannot be reached or a platform plugin that
// cannot load is a fatal error in Qt, which would abort with English lines.
// The program says it in one French line instead and ends with code 1.
bool startingQt = false;
QtMessageHandler defaultHandler = nullptr;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (!startingQt) {
    if (defaultHandler != nullptr) defaultHandler(type, context, text);
    return;
  }
  // The X11 and Wayland plugins warn that they could not connect before Qt
  // gives up; the line names the displays tried.
  static bool noX11 = false;
  static bool noWayland = false;
  noX11 = noX11 || text.contains(QLatin1String("connect to display"), Qt::CaseInsensitive);
  noWayland = noWayland || text.contains(QLatin1String("wl_display"), Qt::CaseInsensitive);
  if (type != QtFatalMsg) return;
  const QByteArray display = qgetenv("DISPLAY");
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  std::string line;
  if (noX11 || noWayland) {
    std::string displays;
    if (noWayland) displays = "« " + qgetenv("WAYLAND_DISPLAY").toStdString() + " »";
    if (noX11 && (!noWayland || !display.isEmpty()))
      displays += (displays.empty() ? "« " : " ni « ") + display.toStdString() + " »";
    line = "impossible de joindre l'affichage graphique " + displays +
           " : lancez lanchat dans une session graphique.";
  } else {
    line = "impossible de charger le module d'affichage de Qt" +
           (platform.isEmpty() ? std::string() : " « " + platform.toStdString() + " »") +
           " : vérifiez l'installation de Qt et la variable QT_QPA_PLATFORM.";
  }
  std::fprintf(stderr, "lanchat: %s\n", line.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

// Where no session bus runs, the D-Bus library would start one (with
// dbus-launch) the first time Qt asks for it, and leave it running after the
// program ends. The program starts none: it uses the session's own bus when
// there is one, and no bus otherwise.
void NoSessionBusLaunch() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const QByteArray socket = runtime + "/bus";
  if (!runtime.isEmpty() && access(socket.constData(), F_OK) == 0)
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socket);
  else
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

constexpr const char* kDesktopId = "io.github.lanchat.lanchat";

// Qt 6.4 tries X11 first unless the session says it is Wayland's. Where only
// a Wayland display is given, Wayland comes first, X11 second.
void PreferWayland() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
}

bool HasDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  const bool wantsX = platform.isEmpty() || platform.startsWith("xcb");
  const bool wantsWayland = platform.isEmpty() || platform.startsWith("wayland");
  if (!platform.isEmpty() && !wantsX && !wantsWayland) return true; // offscreen, vnc...
  return (wantsX && !qgetenv("DISPLAY").isEmpty()) ||
         (wantsWayland && !qgetenv("WAYLAND_DISPLAY").isEmpty());
}

} // namespace

TApplication* const Application = &instance;

TApplication::TApplication() = default;

TApplication::~TApplication() {
  // Qt cannot destroy widgets or its application object once main has
  // returned (its own globals are gone by then). Run destroys them; if it
  // did not run to its end, they are left to the end of the process.
  for (auto& form : forms_)
    static_cast<void>(form.release());
  static_cast<void>(ownApp_.release());
}

// The interface is French whatever the locale: Qt's own menus, buttons and
// key names too, from Qt's French translation.
void TApplication::LoadQtFrench() {
  static QTranslator qtFrench;
  static const bool loaded = qtFrench.load(QStringLiteral("qtbase_fr"),
                                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                             QCoreApplication::installTranslator(&qtFrench);
  static_cast<void>(loaded);
}

void TApplication::Initialize() {
  if (QApplication::instance() != nullptr) return LoadQtFrench();
  if (!HasDisplay())
    throw Exception("aucun affichage graphique (DISPLAY n'est pas défini) : lancez lanchat dans "
                    "une session graphique.");
  // The program takes nothing on its command line.
  static int argc = 1;
  static char name[] = "lanchat";
  static char* argv[] = {name, nullptr};
  {
    const FontWarmup fonts; // read meanwhile, on another core
    NoSessionBusLaunch();
    PreferWayland();
    // Docks and task bars match the window to its desktop entry by this id:
    // the Wayland app_id, and on X11 the WM_CLASS instance name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
    if (qEnvironmentVariableIsEmpty("RESOURCE_NAME")) qputenv("RESOURCE_NAME", kDesktopId);
    defaultHandler = qInstallMessageHandler(StartupMessageHandler);
    startingQt = true;
    ownApp_ = std::make_unique<QApplication>(argc, argv);
    startingQt = false;
    qInstallMessageHandler(defaultHandler);
  }
  LoadQtFrench();
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
  if (mainForm_ == nullptr) mainForm_ = form.get();
  forms_.push_back(std::move(form));
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  std::unique_ptr<QSocketNotifier> notifier;
  if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
      sigaction(signal, &action, nullptr);
  }
  if (signalPipe[0] >= 0) {
    notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
      char bytes[16];
      while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
      }
      if (mainForm_ != nullptr) mainForm_->Close();
    });
  }
  mainForm_->Show();
  QApplication::exec();
  notifier.reset();
  mainForm_ = nullptr;
  forms_.clear();
  ownApp_.reset();
}

void TApplication::ShowException(const Exception* E) {
  const QString message = E != nullptr ? QString::fromStdString(E->Message()) : QString();
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "lanchat: %s\n", message.toLocal8Bit().constData());
    return;
  }
  QWidget* parent =
      mainForm_ != nullptr && mainForm_->Window()->isVisible() ? mainForm_->Window() : nullptr;
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok,
                  parent);
  box.exec();
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
