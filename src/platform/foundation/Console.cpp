#include "platform/foundation/Console.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace fnd {

struct Console::Capture::State {
    mutable std::mutex lock;
    std::vector<std::string> lines;
    bool echo = true;
};

namespace {
struct Box {
    std::mutex lock;
    std::vector<std::shared_ptr<Console::Capture::State>> captures;
};
Box& box() {
    static Box b;
    return b;
}
}  // namespace

void Console::write(std::string_view line) {
    bool echo = true;
    {
        std::lock_guard guard(box().lock);
        for (const auto& capture : box().captures) {
            std::lock_guard inner(capture->lock);
            capture->lines.emplace_back(line);
            echo = echo && capture->echo;
        }
        if (echo) {
            // Under the same lock, so lines from different threads never interleave.
            std::string out(line);
            out.push_back('\n');
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
        }
    }
}

Console::Capture::Capture(bool echo) : state_(std::make_shared<State>()) {
    state_->echo = echo;
    std::lock_guard guard(box().lock);
    box().captures.push_back(state_);
}

Console::Capture::~Capture() {
    std::lock_guard guard(box().lock);
    std::erase(box().captures, state_);
}

std::vector<std::string> Console::Capture::lines() const {
    std::lock_guard guard(state_->lock);
    return state_->lines;
}

bool Console::Capture::contains(std::string_view text) const {
    std::lock_guard guard(state_->lock);
    return std::any_of(state_->lines.begin(), state_->lines.end(),
                       [text](const std::string& l) { return l.find(text) != std::string::npos; });
}

void Console::Capture::clear() {
    std::lock_guard guard(state_->lock);
    state_->lines.clear();
}

void Console::reset() {
    std::lock_guard guard(box().lock);
    box().captures.clear();
}

}  // namespace fnd
