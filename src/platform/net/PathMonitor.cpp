#include "platform/net/PathMonitor.h"

#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace net {

namespace {

constexpr unsigned long kInterfaceUp = 0x1;  // IFF_UP in the interface's flags

bool isCellularName(std::string_view name) { return name.starts_with("wwan") || name.starts_with("rmnet"); }

bool isUp(const std::filesystem::path& interface) {
    std::ifstream in(interface / "flags");
    std::string text;
    if (!(in >> text)) return false;
    try {
        return (std::stoul(text, nullptr, 16) & kInterfaceUp) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::shared_ptr<PathMonitor> PathMonitor::create() { return std::shared_ptr<PathMonitor>(new PathMonitor()); }

void PathMonitor::setUpdateHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void PathMonitor::start(std::shared_ptr<fnd::DispatchQueue> queue) {
    {
        std::lock_guard lock(mutex_);
        if (queue_ || !queue) return;
        queue_ = queue;
    }
    queue->async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->poll();
    });
}

std::shared_ptr<fnd::DispatchQueue> PathMonitor::queue() const {
    std::lock_guard lock(mutex_);
    return queue_;
}

std::optional<Path> PathMonitor::currentPath() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void PathMonitor::inject(Path path) {
    std::shared_ptr<fnd::DispatchQueue> queue;
    {
        std::lock_guard lock(mutex_);
        injected_ = true;
        queue = queue_;
    }
    if (!queue) return;  // not started: the kernel is no longer read, nothing is delivered yet
    queue->async([weak = weak_from_this(), path] {
        if (auto self = weak.lock()) self->deliver(path);
    });
}

void PathMonitor::poll() {
    std::shared_ptr<fnd::DispatchQueue> queue;
    {
        std::lock_guard lock(mutex_);
        if (injected_) return;
        queue = queue_;
    }
    deliver(readInterfaces());
    queue->asyncAfter(period, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->poll();
    });
}

void PathMonitor::deliver(const Path& path) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        if (current_ == path) return;
        current_ = path;
        handler = handler_;
    }
    if (handler) handler(path);
}

Path PathMonitor::readInterfaces(const std::filesystem::path& root) {
    Path path;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = it->path().filename().string();
        if (isCellularName(name) && isUp(it->path())) path.usesCellular = true;
    }
    return path;
}

}  // namespace net
