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
#include <sstream>
#include <string>
#include <string_view>
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

Started Start(const Context& context, Xserver& x, const std::string& program, bool listens);
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

// Clicks "Quitter" and waits for the process to end, calling `meanwhile`
// while it waits; ms, and the process ended by force after 10 s.
double ClickQuitter(const Xserver& x, Started& chat, const std::function<void()>& meanwhile = {});

} // namespace bench
