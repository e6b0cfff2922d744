// The overlay shows the shared download controller: the offer card in the panel, the progress
// ring around the launcher.
#include "OverlayTestSupport.h"
#include "platform/foundation/UserDefaults.h"
#include "tavro/models/DownloadTestSupport.h"

namespace tavro::agenttest {
namespace {

using OverlayDownloads = OverlayTest;

TEST_F(OverlayDownloads, TheCardSitsInThePanelAndTheRingAroundTheLauncher) {
    fnd::UserDefaults::resetStandard();
    TavroModelDownloads::reset();
    auto overlay = overlayFor(nullptr);
    const auto downloads = TavroModelDownloads::shared();
    const auto& panel = overlay->panelView();
    const auto& launcher = overlay->launcherView();
    const auto host = std::make_shared<hostmodel::HostModel>();
    overlay->ui().expanded.set(true);
    overlay->setLauncherVisible(true);

    downloads->offerIfNeeded({host}, false);
    actor->runFor(1ms);
    EXPECT_EQ(panel->texts().at(0), "Download a free on-device model?");
    EXPECT_TRUE(panel->press("tavro.sdk.download.accept"));
    actor->runFor(1ms);
    host->report(0.5);
    actor->runFor(1ms);
    EXPECT_EQ(panel->find("tavro.sdk.download.progress")->children.at(1).text, "50%");
    ASSERT_NE(launcher->find("tavro.sdk.download.ring"), nullptr);
    EXPECT_EQ(launcher->find("tavro.sdk.download.ring")->accessibility.value, "50%");
    EXPECT_TRUE(launcher->tap()) << "the ring lets the tap through to the launcher";
    EXPECT_FALSE(overlay->ui().expanded.value());

    host->finish();
    actor->runFor(1ms);
    EXPECT_EQ(launcher->find("tavro.sdk.download.ring"), nullptr);
    TavroModelDownloads::reset();
    fnd::UserDefaults::resetStandard();
}

}  // namespace
}  // namespace tavro::agenttest
