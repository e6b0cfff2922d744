#include "tavro/diagnostics/TavroLog.h"

#include <deque>
#include <mutex>

namespace tavro {

namespace {

struct Box {
    std::mutex lock;
    bool recording = false;
    std::deque<std::string> lines;
};

Box& box() {
    static Box instance;
    return instance;
}

}  // namespace

void TavroLog::add(std::string line) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    if (!b.recording) return;
    b.lines.push_back(std::move(line));
    while (b.lines.size() > limit) b.lines.pop_front();
}

bool TavroLog::recording() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.recording;
}

void TavroLog::setRecording(bool on) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.recording = on;
}

std::vector<std::string> TavroLog::lines() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return {b.lines.begin(), b.lines.end()};
}

void TavroLog::clear() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.lines.clear();
}

void TavroLog::reset() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.recording = false;
    b.lines.clear();
}

}  // namespace tavro
