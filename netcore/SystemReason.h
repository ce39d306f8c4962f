#pragma once

#include <string>

// The reason a system call failed, in French whatever the user's locale:
// the reasons that listening and sending can meet are translated; any other
// is given by number, with the system's own words in parentheses (on
// Windows, its French words where it has them).
// `error` is an errno value on Linux, a Winsock (or Win32) error on Windows.
std::string SystemReason(int error);
