#pragma once

// The children the measures run: bench_sender, an X server (Xvfb) of the
// benchmark's own, the real program in it, and xdotool clicking in its
// window where the window's layout puts the controls.
#include "bench_process.h"
#include "figures.h"

#include <xcb/xcb.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

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
