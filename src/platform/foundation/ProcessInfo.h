// The process's launch arguments and environment. The host's main hands its arguments over once
// (setArguments); the environment is read from the process itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fnd {

class ProcessInfo {
public:
    ProcessInfo() = delete;

    // The launch arguments, the program's own name first; empty until the host sets them.
    static std::vector<std::string> arguments();
    static void setArguments(std::vector<std::string> arguments);
    static void setArguments(int argc, const char* const* argv);

    // The environment variable's value, or nothing when it is not set.
    static std::optional<std::string> environment(const std::string& name);

    // Tests: no arguments.
    static void reset();
};

}  // namespace fnd
