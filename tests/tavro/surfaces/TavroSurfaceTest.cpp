#include <gtest/gtest.h>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/surfaces/TavroSurface.h"

using namespace tavro;

namespace {

// A surface that only knows how to read its screen: the asynchronous reading falls back to it.
class CountingSurface : public TavroSurface {
public:
    std::string surfaceDescription() const override { return "a counter"; }
    std::vector<std::string> routes() const override { return {}; }
    bool systemAlertShowing() const override { return false; }
    rt::Task<void> settle() override { co_return; }
    std::optional<TavroScreen> snapshot() override {
        ++reads;
        if (unreadable) return std::nullopt;
        TavroScreen screen;
        screen.location = "Count " + std::to_string(reads);
        return screen;
    }
    rt::Task<std::optional<std::string>> perform(TavroAction) override { co_return std::nullopt; }
    std::optional<TavroRect> frame(std::int64_t) const override { return std::nullopt; }

    int reads = 0;
    bool unreadable = false;
};

}  // namespace

TEST(TavroSurfaceDefaults, SnapshotAsyncReadsTheScreenThroughSnapshot) {
    auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope(actor);
    auto surface = std::make_shared<CountingSurface>();
    const auto screen = rt::runToEnd(actor, surface->snapshotAsync());
    ASSERT_TRUE(screen.has_value());
    ASSERT_TRUE(screen->has_value());
    EXPECT_EQ((*screen)->location, "Count 1");
    surface->unreadable = true;
    const auto none = rt::runToEnd(actor, surface->snapshotAsync());
    ASSERT_TRUE(none.has_value());
    EXPECT_FALSE(none->has_value());
    EXPECT_EQ(surface->reads, 2);
}
