#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/net/PathMonitor.h"

using net::Path;
using net::PathMonitor;

namespace {

// A directory shaped like the kernel's interface list: one folder per interface with its flags.
class InterfaceList : public ::testing::Test {
protected:
    void SetUp() override { root = fnd::AppDirectories::useFreshTemporaryRoot() / "net"; }
    void TearDown() override { fnd::AppDirectories::reset(); }

    void add(const std::string& name, const std::string& flags) {
        std::filesystem::create_directories(root / name);
        std::ofstream(root / name / "flags") << flags << "\n";
    }

    std::filesystem::path root;
};

}  // namespace

TEST_F(InterfaceList, AnUpWwanOrRmnetInterfaceIsCellular) {
    add("lo", "0x9");
    add("eth0", "0x1003");
    EXPECT_EQ(PathMonitor::readInterfaces(root), Path{});
    add("wwan0", "0x1003");
    EXPECT_EQ(PathMonitor::readInterfaces(root), (Path{.isExpensive = false, .usesCellular = true}));

    std::filesystem::remove_all(root / "wwan0");
    add("rmnet_data0", "0x1043");
    EXPECT_TRUE(PathMonitor::readInterfaces(root).usesCellular);
}

TEST_F(InterfaceList, DownUnreadableOrOtherInterfacesAreNotCellular) {
    add("wwan0", "0x1002");         // down
    add("rmnet1", "garbage");       // unreadable flags
    std::filesystem::create_directories(root / "wwan1");  // no flags at all
    add("wlan0", "0x1003");         // up, but not a cellular name
    add("mywwan0", "0x1003");       // the name must begin with the prefix
    EXPECT_FALSE(PathMonitor::readInterfaces(root).usesCellular);
    EXPECT_EQ(PathMonitor::readInterfaces(root / "missing"), Path{});
}

TEST(PathMonitorUpdates, DeliversTheFirstPathThenOnlyChangesOnItsQueue) {
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
    {
        std::lock_guard guard(lock);
        ASSERT_EQ(seen.size(), 1u);  // the kernel's path, whatever it is here
    }
    const Path cellular{.isExpensive = true, .usesCellular = true};
    monitor->inject(cellular);
    monitor->inject(cellular);
    monitor->inject(Path{});
    queue->sync([] {});
    std::lock_guard guard(lock);
    EXPECT_TRUE(onQueue);
    // Injected paths replace the kernel's: the repeat is not delivered, the change back is.
    ASSERT_EQ(seen.size(), seen.front() == cellular ? 2u : 3u);
    EXPECT_EQ(seen.back(), Path{});
    EXPECT_EQ(seen[seen.size() - 2], cellular);
    EXPECT_EQ(monitor->currentPath(), Path{});
}
