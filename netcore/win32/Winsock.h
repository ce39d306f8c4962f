#pragma once
// Winsock for netcore and what links it: the headers in the order Windows
// wants them, and its start-up, done once for the program.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace lanchat::win32 {

// Starts Winsock 2.2 the first time it is called; 0, or the error that
// WSAStartup gave (the same each later call). Winsock is cleaned up at exit.
int StartWinsock();

} // namespace lanchat::win32
