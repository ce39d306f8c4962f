#include "classes/Dispatch.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace {

// A function's own static, so that an application object made before main
// (during static initialisation) may install its handler already.
std::function<void(std::exception_ptr)>& ErrorHandler() {
  static std::function<void(std::exception_ptr)> handler;
  return handler;
}

void WriteToStandardError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lanchat: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "lanchat: erreur inconnue\n");
  }
  std::fflush(stderr);
}

} // namespace

void SetDispatchErrorHandler(std::function<void(std::exception_ptr)> onError) {
  ErrorHandler() = std::move(onError);
}

void Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    if (const auto& onError = ErrorHandler())
      onError(std::current_exception());
    else
      WriteToStandardError(std::current_exception());
  }
}
