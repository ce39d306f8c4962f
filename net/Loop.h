#pragma once

#include <functional>
#include <memory>

// The seam between the endpoint and the event loop of the thread that made
// it: work posted from any thread runs there, in order, and a timer's work
// runs there once. Whatever is still pending when the context goes is
// dropped, never run. Qt's event loop on Linux (net/qt/LoopQt.cpp), a
// message-only window's on Windows (net/win32/LoopWin32.cpp).
class LoopContext {
public:
  // Made on the thread whose event loop runs what is posted.
  LoopContext();
  // On that thread too.
  ~LoopContext();
  LoopContext(const LoopContext&) = delete;
  LoopContext& operator=(const LoopContext&) = delete;

  // Runs `task` on the loop's thread after the events already waiting. May
  // be called from any thread.
  void Post(std::function<void()> task);
  // Runs `task` once on the loop's thread, `milliseconds` from now. Called
  // on the loop's thread.
  void After(int milliseconds, std::function<void()> task);

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
