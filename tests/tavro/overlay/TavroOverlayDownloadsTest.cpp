// The overlay shows the shared download controller: the offer card in the panel, the progress
// ring around the launcher.
#include "OverlayTestSupport.h"
#include "platform/foundation/UserDefaults.h"
#include "tavro/models/DownloadTestSupport.h"
#include "tavro/models/TavroModelDownloads.h"

namespace tavro::agenttest {
namespace {

class OverlayDownloads : public OverlayTest {
protected:
    void SetUp() override {
        OverlayTest::SetUp();
        fnd::UserDefaults::resetStandard();
        TavroModelDownloads::reset();
    }
    void TearDown() override {
        TavroModelDownloads::reset();
        fnd::UserDefaults::resetStandard();
        OverlayTest::TearDown();
    }
};

TEST_F(OverlayDownloads, TheCardSitsInThePanelAndTheRingAroundTheLauncher) {
    auto overlay = overlayFor(nullptr);
    const auto downloads = TavroModelDownloads::shared();
    const auto& panel = overlay->panelView();
    const auto& launcher = overlay->launcherView();
    const auto host = std::make_shared<hostmodel::HostModel>();
    overlay->ui().expanded.set(true);
    overlay->setLauncherVisible(true);
    EXPECT_EQ(panel->find("tavro.sdk.download.accept"), nullptr);

    downloads->offerIfNeeded({host}, false);
    actor->runFor(1ms);
    ASSERT_FALSE(panel->texts().empty());
    EXPECT_EQ(panel->texts().front(), "Download a free on-device model?");
    EXPECT_EQ(launcher->find("tavro.sdk.download.ring"), nullptr);

    EXPECT_TRUE(panel->press("tavro.sdk.download.accept"));
    actor->runFor(1ms);
    host->report(0.5);
    actor->runFor(1ms);
    EXPECT_EQ(panel->find("tavro.sdk.download.progress")->children.at(1).text, "50%");
    const auto* ring = launcher->find("tavro.sdk.download.ring");
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->accessibility.value, "50%");
    EXPECT_EQ(ring->padding.top, -5);
    EXPECT_TRUE(launcher->tap()) << "the ring lets the tap through to the launcher";
    EXPECT_FALSE(overlay->ui().expanded.value());

    host->finish();
    actor->runFor(1ms);
    EXPECT_EQ(launcher->find("tavro.sdk.download.ring"), nullptr);
    EXPECT_EQ(panel->find("tavro.sdk.download.progress"), nullptr);
}

}  // namespace
}  // namespace tavro::agenttest
