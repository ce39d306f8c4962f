#pragma once

#include <stdexcept>
#include <string>

// The error class of the program: a message for the user, shown in the
// standard error box by the event loop or by the start-up sequence.
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  [[nodiscard]] std::string Message() const { return what(); }
};
