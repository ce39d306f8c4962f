#pragma once

#include "net/NMUDP.h"
#include <classes/Classes.h>

#include <string_view>

class TForm;

// The description of a window's UDP endpoint in its layout. Creating it
// binds the endpoint's event to the window's handler of that name: the
// endpoint knows nothing of windows.
struct UdpDesc {
  static constexpr bool kDrawsNothing = true;
  std::string_view name{};
  int localPort = 0;
  int remotePort = 0;
  std::string_view remoteHost{};
  int reportLevel = 0;
  std::string_view onDataReceived{};
  TNMUDP::CostFunction cost = nullptr;
  void Create(TForm& form, const EventTables& events) const;
};
