// The error a task's work throws when it stops because its task was cancelled. Awaiting code that
// must tell a stop from a failure catches it first.
#pragma once

#include <exception>

namespace rt {

struct CancellationError : std::exception {
    const char* what() const noexcept override { return "The task was cancelled."; }
};

}  // namespace rt
