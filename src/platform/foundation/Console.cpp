#include "platform/foundation/Console.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

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
    Console::Handler handler;
};
Box& box() {
    static Box b;
    return b;
}
}  // namespace

namespace {
std::string hex(const char* format, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}
}  // namespace

std::string Console::printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            out += hex("\\x%02x", c);
        } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            out += hex("\\u%04x", static_cast<unsigned char>(text[i + 1]));
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Console::write(std::string_view text) {
    const std::string line = printable(text);
    bool echo = true;
    {
        std::lock_guard guard(box().lock);
        for (const auto& capture : box().captures) {
            std::lock_guard inner(capture->lock);
            capture->lines.emplace_back(line);
            echo = echo && capture->echo;
        }
        if (!echo) return;
        FILE* stream = stdout;
        if (box().handler) {
            // Under the lock, as the write below: one line at a time, and never after the
            // handler was replaced. What the handler throws stays here: the line is someone
            // else's work (a run ending, a call of the host's) that must go on as it would.
            try {
                box().handler(line);
                return;
            } catch (...) {
                stream = stderr;  // not lost, and kept apart from the lines the handler took
            }
        }
        // Under the same lock, so lines from different threads never interleave.
        std::string out(line);
        out.push_back('\n');
        std::fwrite(out.data(), 1, out.size(), stream);
        std::fflush(stream);
    }
}

void Console::setHandler(Handler handler) {
    // The old handler is destroyed outside the lock: whatever it holds may write a line as it goes.
    Handler old;
    std::lock_guard guard(box().lock);
    old = std::exchange(box().handler, std::move(handler));
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
