// What the QA recorders (the QA log and the network log) share: items kept only while recording
// is on, the newest `Limit` of them, under one lock, so that any thread may add.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace tavro {

template <class T, std::size_t Limit>
class TavroQARecorder {
public:
    void add(T item) {
        std::lock_guard guard(lock_);
        if (!recording_) return;
        items_.push_back(std::move(item));
        while (items_.size() > Limit) items_.pop_front();
    }
    bool recording() const {
        std::lock_guard guard(lock_);
        return recording_;
    }
    void setRecording(bool on) {
        std::lock_guard guard(lock_);
        recording_ = on;
    }
    std::vector<T> items() const {
        std::lock_guard guard(lock_);
        return {items_.begin(), items_.end()};
    }
    void clear() {
        std::lock_guard guard(lock_);
        items_.clear();
    }
    void reset() {
        std::lock_guard guard(lock_);
        recording_ = false;
        items_.clear();
    }

private:
    mutable std::mutex lock_;
    bool recording_ = false;
    std::deque<T> items_;
};

}  // namespace tavro
