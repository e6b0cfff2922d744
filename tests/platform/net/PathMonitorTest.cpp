#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/net/PathMonitor.h"

using net::Path;
using net::PathMonitor;

TEST(PathMonitor, AnUpInterfaceNamedWwanOrRmnetIsCellular) {
    const auto root = fnd::AppDirectories::useFreshTemporaryRoot() / "net";
    const auto add = [&](const std::string& name, const std::string& flags) {
        std::filesystem::create_directories(root / name);
        if (!flags.empty()) std::ofstream(root / name / "flags") << flags << "\n";
    };
    add("lo", "0x9");
    add("eth0", "0x1003");
    add("wwan0", "0x1002");    // down
    add("rmnet1", "garbage");  // unreadable flags
    add("wwan1", "");          // no flags at all
    add("mywwan0", "0x1003");  // the name must begin with the prefix
    EXPECT_EQ(PathMonitor::readInterfaces(root), Path{});
    EXPECT_EQ(PathMonitor::readInterfaces(root / "missing"), Path{});
    add("rmnet_data0", "0x1043");
    EXPECT_EQ(PathMonitor::readInterfaces(root), (Path{.isExpensive = false, .usesCellular = true}));
    fnd::AppDirectories::reset();
}

TEST(PathMonitor, DeliversTheFirstPathThenOnlyChangesOnItsQueue) {
    const auto queue = fnd::DispatchQueue::create("tests.path");
    const auto monitor = PathMonitor::create();
    std::mutex lock;
    std::vector<Path> seen;
    bool onQueue = true;
    monitor->setUpdateHandler([&](const Path& path) {
        std::lock_guard guard(lock);
        seen.push_back(path);
        onQueue = onQueue && queue->isCurrent();
    });
    monitor->start(queue);
    monitor->start(fnd::DispatchQueue::create("tests.other"));  // a second start does nothing
    queue->sync([] {});
    const Path cellular{.isExpensive = true, .usesCellular = true};
    monitor->inject(cellular);
    monitor->inject(cellular);
    monitor->inject(Path{});
    queue->sync([] {});
    std::lock_guard guard(lock);
    EXPECT_TRUE(onQueue);
    // First the kernel's path (whatever it is here), then only the injected changes.
    ASSERT_EQ(seen.size(), seen.front() == cellular ? 2u : 3u);
    EXPECT_EQ(seen[seen.size() - 2], cellular);
    EXPECT_EQ(seen.back(), Path{});
    EXPECT_EQ(monitor->currentPath(), Path{});
    EXPECT_EQ(monitor->queue(), queue);
}
