// The application object: the one QApplication, its French translation,
// start-up checks and messages, the termination signals, and the reporting
// of errors that escape event handlers.
#include "platform/Application.h"

#include "platform/Forms.h"
#include <desktop/ScreenReaderWatch.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

TApplication instance;

// Termination requests (a session ending, kill, Ctrl+C) close the main
// window as its close box would, so that the program ends normally.
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

// From start-up on, since the window shows and the port is bound before
// the event loop runs.
void CatchTermination() {
  if (signalPipe[0] >= 0 || pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaction(signal, &action, nullptr);
}

// Where start-up failed there is no window to close: the requests end the
// program again, even while its error is shown.
void ReleaseTermination() {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    std::signal(signal, SIG_DFL);
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

// Errors that escape event handlers (Dispatch) are shown in the standard
// error box from the start.
TApplication::TApplication() {
  SetDispatchErrorHandler([this](const std::exception_ptr& error) { HandleException(error); });
}

TApplication::~TApplication() {
  // Qt cannot destroy widgets or its application object once main has
  // returned (its own globals are gone by then). Run destroys them; if it
  // did not run to its end, they are left to the end of the process.
  SetDispatchErrorHandler({});
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

bool TApplication::MapsOnShow() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void TApplication::Initialize() {
  if (QApplication::instance() != nullptr) return LoadQtFrench();
  if (!HasDisplay())
    throw Exception("aucun affichage graphique (DISPLAY n'est pas défini) : lancez lanchat dans "
                    "une session graphique.");
  CatchTermination();
  // The program takes nothing on its command line.
  static int argc = 1;
  static char name[] = "lanchat";
  static char* argv[] = {name, nullptr};
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
  LoadQtFrench();
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
  if (mainForm_ == nullptr) mainForm_ = form.get();
  forms_.push_back(std::move(form));
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  std::unique_ptr<QSocketNotifier> notifier;
  CatchTermination();
  // A request that came during start-up waits in the pipe: the window
  // closes as soon as the loop runs.
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
  ScreenReaderWatch::Start();
  QApplication::exec();
  notifier.reset();
  mainForm_ = nullptr;
  forms_.clear();
  ownApp_.reset();
}

void TApplication::ShowException(const Exception* E) {
  if (mainForm_ == nullptr) ReleaseTermination();
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
