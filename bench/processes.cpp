// The children the measures run, and the X server the real program runs in.
#include "processes.h"

#include <ui/Form1Layout.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>

namespace bench {

Child Send(const Context& context, long count, double rate, double seconds,
           std::vector<std::string> env) {
  std::vector<std::string> args = {context.Bin("bench_sender"), context.network.broadcast,
                                   context.Port(), std::to_string(count), Format("%.0f", rate)};
  if (seconds > 0) args.push_back(Format("%.1f", seconds));
  return Spawn(std::move(args), std::move(env));
}

// ---- Who runs the program

const Person& OrdinaryUser() {
  static const Person person = [] {
    const char* name = "lanchat-user";
    const passwd* entry = getpwnam(name);
    if (entry == nullptr) {
      std::fprintf(stderr, "no user %s: bench/run.sh makes it\n", name);
      std::exit(1);
    }
    Person made{entry->pw_uid, entry->pw_gid, name, ""};
    char folder[] = "/tmp/lanchat-bench-user.XXXXXX";
    if (mkdtemp(folder) == nullptr || chown(folder, made.uid, made.gid) != 0) {
      std::fprintf(stderr, "could not make a folder for %s\n", name);
      std::exit(1);
    }
    made.home = folder;
    return made;
  }();
  return person;
}

std::string UserCopy(const std::string& program) {
  const Person& person = OrdinaryUser();
  const std::string copy = person.home + "/" + std::filesystem::path(program).filename().string();
  std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
  if (chown(copy.c_str(), person.uid, person.gid) != 0 || chmod(copy.c_str(), 0755) != 0)
    std::abort();
  return copy;
}

AsOrdinaryUser::AsOrdinaryUser() {
  const Person& person = OrdinaryUser();
  if (setegid(person.gid) != 0 || seteuid(person.uid) != 0) std::abort();
}

AsOrdinaryUser::~AsOrdinaryUser() {
  if (seteuid(0) != 0 || setegid(0) != 0) std::abort();
}

long ReceiveLimit() {
  std::ifstream limit("/proc/sys/net/core/rmem_max");
  long bytes = 0;
  limit >> bytes;
  return bytes;
}

bool SetReceiveLimit(long bytes) {
  const char* host = std::getenv("LANCHAT_BENCH_HOST_NET");
  if (host == nullptr) return false;
  Child child = Spawn({"nsenter", std::string("--net=") + host, "sh", "-c",
                       "echo " + std::to_string(bytes) + " > /proc/sys/net/core/rmem_max"});
  return child.Wait() == 0 && ReceiveLimit() == bytes;
}

// ---- The X server

bool Xserver::Start() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-dpi", "96",
           "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  Child reader{pid, fds[0]};
  pollfd p{fds[0], POLLIN, 0};
  if (poll(&p, 1, 10000) <= 0) return false;
  // ":" and the number, in two steps: GCC 12 warns falsely (-Wrestrict) on
  // the string sum here.
  display.assign(1, ':');
  display += reader.ReadLine();
  close(fds[0]);
  connection = xcb_connect(display.c_str(), nullptr);
  if (xcb_connection_has_error(connection)) return false;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection,
                               xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root,
                               XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection);
  return true;
}

xcb_window_t Xserver::WaitMapped(double seconds) {
  const auto start = Clock::now();
  while (Since(start) < seconds) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
      const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
      const xcb_window_t window =
          mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
      std::free(event);
      if (mapped) return window;
    }
    pollfd p{xcb_get_file_descriptor(connection), POLLIN, 0};
    poll(&p, 1, 1);
  }
  return 0;
}

Xserver::~Xserver() {
  if (connection != nullptr) xcb_disconnect(connection);
  if (pid > 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
}

// ---- Programs in it

Started Start(const Context& context, Xserver& x, const std::string& program, bool listens,
              RunAs as) {
  while (xcb_generic_event_t* stale = xcb_poll_for_event(x.connection))
    std::free(stale);
  std::vector<std::string> args = {program};
  std::vector<std::string> env = {"DISPLAY=" + x.display, "QT_QPA_PLATFORM=xcb"};
  if (as == RunAs::User) {
    // In the user's place, with a home and runtime folder of its own.
    const Person& person = OrdinaryUser();
    args = {"setpriv", "--reuid=" + person.name, "--regid=" + person.name, "--init-groups",
            UserCopy(program)};
    env.insert(env.end(), {"HOME=" + person.home, "XDG_RUNTIME_DIR=" + person.home,
                           "USER=" + person.name, "LOGNAME=" + person.name});
  }
  const auto t = Clock::now();
  Started started{Spawn(std::move(args), std::move(env)), 0, 0};
  started.window = x.WaitMapped(20);
  while (listens && !Listening(context.network.port) && Since(t) < 20)
    usleep(200);
  started.seconds = Since(t);
  return started;
}

void Stop(Child& child) {
  kill(child.pid, SIGTERM);
  child.Wait();
}

// ---- Clicks where the layout puts the controls

namespace {

// Where the layout's client coordinates fall in the window xdotool is given.
// That window is the form's own top-level window: Xvfb runs no window
// manager, so nothing reparents it or draws a frame around it (the frame the
// layout's outer size allows for is the host's). The client area fills the
// window from its corner, the window being a scroll area without a frame.
constexpr Point kClientOrigin{0, 0};

} // namespace

Point CentreOf(std::string_view control) {
  std::optional<Bounds> bounds;
  for (const auto& component : kForm1Layout.components)
    std::visit(
        [&](const auto& desc) {
          // Only controls placed on the client area: a tool button's bounds
          // are its bar's.
          if constexpr (
              requires { desc.bounds; } && !requires { desc.parent; })
            if (desc.name == control) bounds = desc.bounds;
        },
        component);
  if (!bounds) {
    std::fprintf(stderr, "no control %.*s in the window's layout\n", int(control.size()),
                 control.data());
    std::abort();
  }
  return {kClientOrigin.x + bounds->left + bounds->width / 2,
          kClientOrigin.y + bounds->top + bounds->height / 2};
}

void Click(const Xserver& x, xcb_window_t window, Point at, std::vector<std::string> keys) {
  std::vector<std::string> args = {"xdotool",
                                   "mousemove",
                                   "--window",
                                   std::to_string(window),
                                   std::to_string(at.x),
                                   std::to_string(at.y),
                                   "click",
                                   "1"};
  if (!keys.empty()) {
    args.emplace_back("key");
    args.insert(args.end(), keys.begin(), keys.end());
  }
  Spawn(std::move(args), {"DISPLAY=" + x.display}).Wait();
}

std::string HistoryText(const Xserver& x, const Started& chat) {
  Click(x, chat.window, CentreOf("RichEdit1"), {"ctrl+a", "ctrl+c"});
  usleep(500000);
  Child paste = Spawn({"xclip", "-o", "-selection", "clipboard"}, {"DISPLAY=" + x.display});
  std::string text = paste.ReadAll();
  paste.Wait();
  return text;
}

double ClickQuitter(const Xserver& x, Started& chat, const std::function<void()>& meanwhile) {
  static const Point quitter = CentreOf("Button2");
  const auto click = Clock::now();
  Click(x, chat.window, quitter);
  int status = 0;
  while (waitpid(chat.child.pid, &status, WNOHANG) == 0 && Since(click) < 10) {
    if (meanwhile) meanwhile();
    usleep(500);
  }
  const double quit = Since(click) * 1000;
  if (Since(click) >= 10) Stop(chat.child);
  return quit;
}

} // namespace bench
