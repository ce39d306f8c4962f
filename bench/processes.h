#pragma once

// The children the measures run and what /proc says of them and of the
// chat's port: bench_sender, an X server (Xvfb) of the benchmark's own, the
// real program in it, and xdotool clicking in its window where the
// window's layout puts the controls.
#include "figures.h"
#include "measure.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline long RssOf(pid_t pid) {
  std::ifstream status("/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) +
                       "/status");
  std::string key;
  long kb = 0;
  while (status >> key)
    if (key == "VmRSS:") {
      status >> kb;
      break;
    }
  return kb * 1024;
}

// The sockets bound to `port`, from /proc/net/udp: the kernel's drops on
// each (the last column).
inline std::vector<long> UdpSocketsOn(int port) {
  std::ifstream udp("/proc/net/udp");
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  std::vector<long> drops;
  std::string line;
  std::getline(udp, line); // header
  while (std::getline(udp, line)) {
    std::istringstream fields(line);
    std::vector<std::string> field;
    for (std::string f; fields >> f;)
      field.push_back(f);
    if (field.size() < 2) continue;
    const std::string& local = field[1];
    if (local.size() > 5 && local.compare(local.size() - 5, 5, hex) == 0)
      drops.push_back(std::atol(field.back().c_str()));
  }
  return drops;
}

inline bool Listening(int port) { return !UdpSocketsOn(port).empty(); }

// The kernel's drops on every socket bound to `port`.
inline long DropsOn(int port) {
  long drops = 0;
  for (const long each : UdpSocketsOn(port))
    drops += each;
  return drops;
}

// Runs a program; its standard output goes to a pipe the caller may read.
struct Child {
  pid_t pid = -1;
  int out = -1;
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    if (out >= 0) close(out);
    return status;
  }
  std::string ReadAll() const {
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }
  // Reads what the program writes until it ends, and reaps it. A process it
  // left behind (a daemon of a session) may hold the pipe open for ever:
  // its end, not the pipe's, ends the reading.
  std::string ReadUntilExit() {
    std::string text;
    char buffer[4096];
    bool ended = false;
    for (;;) {
      pollfd p{out, POLLIN, 0};
      if (poll(&p, 1, ended ? 0 : 100) > 0) {
        const ssize_t n = read(out, buffer, sizeof buffer);
        if (n <= 0) break; // the pipe closed
        text.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (ended) break; // nothing more waits after the end
      ended = waitpid(pid, nullptr, WNOHANG) == pid;
    }
    if (!ended) waitpid(pid, nullptr, 0);
    close(out);
    out = -1;
    pid = -1;
    return text;
  }
  std::string ReadLine() const {
    std::string line;
    char c;
    while (read(out, &c, 1) == 1 && c != '\n')
      line += c;
    return line;
  }
};

inline Child Spawn(std::vector<std::string> args, std::vector<std::string> env = {}) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::abort();
  Child child;
  child.pid = fork();
  if (child.pid == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    close(pipeFds[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    for (const auto& e : env)
      putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (auto& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  child.out = pipeFds[0];
  return child;
}

// bench_sender: COUNT chat datagrams to the chat's address and port at RATE
// a second (0: full speed), for at most SECONDS if given.
Child Send(const Context& context, long count, double rate, double seconds = 0,
           std::vector<std::string> env = {});

// ---- Who runs the program, and the receive buffer the system grants it

// The ordinary user the program runs as, as people run it (bench/run.sh
// makes it): a folder of its own for its home and runtime files.
struct Person {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name, home;
};
// The benchmark's ordinary user; ends the run with a message if there is none.
const Person& OrdinaryUser();
// A copy of `program` in the user's folder, which the user can run whatever
// folder the build is in.
std::string UserCopy(const std::string& program);

// While it lives, this process acts as the ordinary user: the sockets it
// opens are granted what the user's are (the privileged SO_RCVBUFFORCE is
// refused, a receive buffer is held to net.core.rmem_max), and so are those
// of the programs it starts.
class AsOrdinaryUser {
public:
  AsOrdinaryUser();
  ~AsOrdinaryUser();
  AsOrdinaryUser(const AsOrdinaryUser&) = delete;
  AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
};

// net.core.rmem_max: the largest receive buffer an ordinary user's socket is
// granted. It belongs to the host, not to the benchmark's network namespace;
// it is set through the host's namespace, which bench/run.sh hands over
// (LANCHAT_BENCH_HOST_NET). False when it cannot be set.
long ReceiveLimit();
bool SetReceiveLimit(long bytes);
inline constexpr long kDebianReceiveLimit = 212992;    // a fresh Debian 12's
inline constexpr long kPackageReceiveLimit = 33554432; // what the Debian package sets

enum class RunAs { User, Root };

// An Xvfb of 1024x768 at 96 dpi, and a connection to it that sees every
// top-level window mapped.
struct Xserver {
  pid_t pid = -1;
  std::string display;
  xcb_connection_t* connection = nullptr;

  Xserver() = default;
  Xserver(const Xserver&) = delete;
  Xserver& operator=(const Xserver&) = delete;
  ~Xserver();

  bool Start();
  // Waits for a top-level window to be mapped; returns its id, or 0.
  xcb_window_t WaitMapped(double seconds);
};

// A program started in the X server: how long until its window was mapped
// (and, for the chat, its port bound), and that window.
struct Started {
  Child child;
  double seconds = 0;
  xcb_window_t window = 0;
};

// Started as the ordinary user unless said otherwise.
Started Start(const Context& context, Xserver& x, const std::string& program, bool listens,
              RunAs as = RunAs::User);
void Stop(Child& child);

// A point in the chat's window, in the window's own coordinates.
struct Point {
  int x = 0;
  int y = 0;
};

// The centre of a control of the chat's window, from its bounds in the
// window's layout (kForm1Layout), e.g. "Button2" ("Quitter").
Point CentreOf(std::string_view control);

// A left click (xdotool) at `at` in the window, then `keys` pressed, if any;
// returns once xdotool has done.
void Click(const Xserver& x, xcb_window_t window, Point at, std::vector<std::string> keys = {});

// The history's text, copied as a user would: a click in it, Ctrl+A, Ctrl+C,
// then read with xclip.
std::string HistoryText(const Xserver& x, const Started& chat);

// Clicks "Quitter" and waits for the process to end, calling `meanwhile`
// while it waits; ms, and the process ended by force after 10 s.
double ClickQuitter(const Xserver& x, Started& chat, const std::function<void()>& meanwhile = {});

} // namespace bench
