#pragma once

#include <exception>
#include <functional>

// Runs an event handler; an error it raises is handed to the handler of
// errors that the application installed (the standard error box), never
// passed on to the event loop. Until one is installed, the error's message
// is written to the standard error stream.
void Dispatch(const std::function<void()>& handler);

// Installs what Dispatch does with an error that escaped a handler; an empty
// function puts the default back. Called by the application at start-up, on
// the thread of the event loop.
void SetDispatchErrorHandler(std::function<void(std::exception_ptr)> onError);
