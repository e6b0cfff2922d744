#include "platform/foundation/ProcessInfo.h"

#include <cstdlib>
#include <mutex>

namespace fnd {

namespace {
struct Box {
    std::mutex lock;
    std::vector<std::string> arguments;
};
Box& box() {
    static Box b;
    return b;
}
}  // namespace

std::vector<std::string> ProcessInfo::arguments() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.arguments;
}

void ProcessInfo::setArguments(std::vector<std::string> arguments) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.arguments = std::move(arguments);
}

void ProcessInfo::setArguments(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv && argv[i]; ++i) arguments.emplace_back(argv[i]);
    setArguments(std::move(arguments));
}

std::optional<std::string> ProcessInfo::environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

void ProcessInfo::reset() { setArguments(std::vector<std::string>{}); }

}  // namespace fnd
