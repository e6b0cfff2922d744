// Watches the device's network path: whether the current path is expensive and whether it uses
// the cellular interface. The update handler is called on the monitor's queue with the first path
// after start() and then with every path that differs from the last one delivered.
//
// On Linux the path is read from the kernel's list of network interfaces (/sys/class/net): an
// interface whose name begins "wwan" or "rmnet" and whose flags say it is up counts as cellular.
// The kernel does not say which interface carries the traffic or whether a link is metered, so a
// path is never expensive, and a cellular interface that is up counts even when another one
// carries the traffic. The list is read again every period.
//
// Tests hand the monitor paths of their own with inject(); from then on the kernel is not read.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/DispatchQueue.h"

namespace net {

struct Path {
    // The path costs the user money per byte (metered).
    bool isExpensive = false;
    // The path uses a cellular (mobile data) interface.
    bool usesCellular = false;

    bool operator==(const Path&) const = default;
};

class PathMonitor : public std::enable_shared_from_this<PathMonitor> {
public:
    using Handler = std::function<void(const Path&)>;

    static constexpr std::chrono::seconds period{2};

    static std::shared_ptr<PathMonitor> create();
    PathMonitor(const PathMonitor&) = delete;
    PathMonitor& operator=(const PathMonitor&) = delete;

    // Called on the monitor's queue; set it before start().
    void setUpdateHandler(Handler handler);

    // Starts reading the path on the queue. Later calls do nothing. The monitor keeps the queue.
    void start(std::shared_ptr<fnd::DispatchQueue> queue);

    // The queue given to start(), nothing before.
    std::shared_ptr<fnd::DispatchQueue> queue() const;

    // The last path delivered, nothing before the first.
    std::optional<Path> currentPath() const;

    // Delivers a path of the caller's as if the network had changed (through the queue, in order
    // with the monitor's own work), and stops reading the kernel.
    void inject(Path path);

    // The path the interface list under root describes (the kernel's is /sys/class/net). A list
    // that cannot be read describes a path without cellular.
    static Path readInterfaces(const std::filesystem::path& root = "/sys/class/net");

private:
    PathMonitor() = default;
    void poll();
    void deliver(const Path& path);

    mutable std::mutex mutex_;
    Handler handler_;
    std::shared_ptr<fnd::DispatchQueue> queue_;
    std::optional<Path> current_;
    bool injected_ = false;
};

}  // namespace net
