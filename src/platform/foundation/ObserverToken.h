// A subscription handle: destroying it (or calling cancel) ends the subscription. Move-only.
#pragma once

#include <functional>
#include <utility>

namespace fnd {

class ObserverToken {
public:
    ObserverToken() = default;
    explicit ObserverToken(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ObserverToken(ObserverToken&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    ObserverToken& operator=(ObserverToken&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;
    ~ObserverToken() { cancel(); }

    // Ends the subscription; later calls do nothing.
    void cancel() {
        if (auto fn = std::exchange(cancel_, nullptr)) fn();
    }
    bool active() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

}  // namespace fnd
