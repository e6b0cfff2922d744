#include <gtest/gtest.h>

#include "DownloadTestSupport.h"
#include "platform/ui/HostingView.h"
#include "tavro/core/TavroGold.h"
#include "tavro/models/TavroDownloadCard.h"
#include "tavro/models/TavroDownloadRing.h"

using namespace hostmodel;
using namespace views;
using tavro::TavroGold;

namespace {

class DownloadViews : public DownloadsTest {
protected:
    Node card() const { return tavro::TavroDownloadCard{downloads}.body(); }
    Node ring(double width = 4) const { return tavro::TavroDownloadRing{downloads, width}.body(); }
};

const Node& at(const Node& node, std::size_t i) {
    static const Node none;
    EXPECT_LT(i, node.children.size());
    return i < node.children.size() ? node.children[i] : none;
}

}  // namespace

TEST_F(DownloadViews, TheOfferCard) {
    offer();
    const auto tree = card();
    EXPECT_EQ(ring().kind, Kind::empty);
    EXPECT_EQ(tree.kind, Kind::vstack);
    EXPECT_EQ(tree.alignment, Alignment::leading);
    EXPECT_EQ(tree.spacing, 8.0);
    EXPECT_EQ(tree.padding, (Insets{12, 12, 12, 12}));
    const Node shape = RoundedRectangle(14, CornerStyle::continuous);
    EXPECT_EQ(*tree.backgroundNode(), shape | fill(Color{0.1, 0.1, 0.1, 1}));
    EXPECT_EQ(*tree.overlayNode(), shape | stroke(Color{217.0 / 255, 166.0 / 255, 77.0 / 255, 0.4}, 1));
    ASSERT_EQ(tree.children.size(), 3u);
    EXPECT_EQ(at(tree, 0), Text("Download a free on-device model?") | font(TextStyle::subheadline, Weight::bold) |
                               foreground(Color::white()));
    EXPECT_EQ(at(tree, 1), Text("Host 3B, 1.5 GB. It runs entirely on this iPhone and makes Tavro much better at "
                                "understanding what you ask. Downloaded once, then it works offline.") |
                               font(TextStyle::caption) | foreground(SemanticStyle::secondary));
    const auto& buttons = at(tree, 2);
    EXPECT_EQ(buttons.kind, Kind::hstack);
    EXPECT_EQ(buttons.alignment, Alignment::center);
    EXPECT_EQ(buttons.spacing, std::nullopt);
    EXPECT_EQ(at(buttons, 0).accessibility.identifier, "tavro.sdk.download.accept");
    EXPECT_EQ(at(at(buttons, 0), 0), Text("Download") | fontWeight(Weight::bold) | foreground(Color::black()) |
                                         padding(Insets{7, 14, 7, 14}) | background(Capsule() | fill(TavroGold::gradient)));
    EXPECT_EQ(at(buttons, 1).accessibility.identifier, "tavro.sdk.download.decline");
    EXPECT_EQ(at(at(buttons, 1), 0).text, "Not now");
    EXPECT_EQ(at(buttons, 1).foreground, Paint(TavroGold::light));
}

TEST_F(DownloadViews, TheCellularLineIsAddedWithoutAnyOtherChange) {
    offer();
    const tavro::TavroDownloadCard view{downloads};
    auto shown = ui::HostingView::create([view] { return view.body(); });
    view.observe(*shown);
    const auto before = shown->root();
    setPath({.isExpensive = false, .usesCellular = true});
    auto after = shown->root();
    ASSERT_EQ(after.children.size(), 4u);
    EXPECT_EQ(at(after, 2), Label("You're on cellular data. Wi-Fi is recommended.", "antenna.radiowaves.left.and.right") |
                                font(TextStyle::caption) | foreground(TavroGold::light));
    after.children.erase(after.children.begin() + 2);
    EXPECT_EQ(after, before);
}

TEST_F(DownloadViews, EveryTextInJapanese) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    setPath({.isExpensive = true, .usesCellular = false});
    offer();
    EXPECT_EQ(texts(card()), (std::vector<std::string>{
                                 "無料のオンデバイスモデルをダウンロードしますか?",
                                 "Host 3B1.5 GB。この iPhone 上だけで動作し、Tavro の理解力が大きく向上します。"
                                 "一度ダウンロードすればオフラインで使えます。",
                                 "モバイル通信中です。Wi-Fi を推奨します。", "ダウンロード", "後で"}));
    startDownload();
    EXPECT_EQ(ring().accessibility.label, "Tavro のモデルをダウンロード中");
    EXPECT_NE(findControl(card(), "ダウンロードを停止"), nullptr);
    step([&] { host->fail(DiskFull()); });
    EXPECT_EQ(texts(card()), (std::vector<std::string>{"ダウンロード失敗: Not enough free space for the model.", "再試行"}));
}

TEST_F(DownloadViews, TheProgressRowAndTheRing) {
    startDownload();
    step([&] { host->report(0.004); });
    const auto row = card();
    EXPECT_EQ(row.kind, Kind::hstack);
    EXPECT_EQ(row.accessibility.identifier, "tavro.sdk.download.progress");
    EXPECT_EQ(row.spacing, 10.0);
    ASSERT_EQ(row.children.size(), 3u);
    EXPECT_EQ(at(row, 0), ProgressView(0.004, 1) | tint(TavroGold::light));
    EXPECT_EQ(at(row, 1), Text("0%") | font(TextStyle::caption) | monospacedDigit() | foreground(SemanticStyle::secondary));
    EXPECT_EQ(at(at(row, 2), 0), Image("xmark.circle.fill") | foreground(SemanticStyle::secondary));
    EXPECT_EQ(at(row, 2).accessibility.label, "Stop download");

    auto tree = ring();
    EXPECT_EQ(tree.kind, Kind::zstack);
    EXPECT_EQ(tree.padding, (Insets{-6, -6, -6, -6}));
    EXPECT_FALSE(tree.hitTesting);
    EXPECT_EQ(tree.accessibility, (Accessibility{"tavro.sdk.download.ring", "Downloading Tavro's model", "0%", true}));
    ASSERT_EQ(tree.children.size(), 2u);
    EXPECT_EQ(at(tree, 0), Circle() | stroke(Color::black(0.35), 4, LineCap::butt));
    EXPECT_EQ(at(tree, 1), Circle() | trim(0, 0.02) | stroke(TavroGold::white, 4, LineCap::round) | rotation(-90) |
                               animation(Curve::easeOut, 0.25));

    step([&] { host->report(0.999); });
    EXPECT_EQ(at(card(), 1).text, "99%");
    tree = ring(10);
    EXPECT_EQ(tree.accessibility.value, "99%");
    EXPECT_EQ(at(tree, 1).trim, (Trim{0, 0.999}));
    EXPECT_EQ(tree.padding, (Insets{-12, -12, -12, -12}));
}

TEST_F(DownloadViews, AFailureRowOfAtMostTwoLines) {
    startDownload();
    step([&] { host->fail(std::runtime_error("The server closed the connection. Nothing was saved. Try later.")); });
    EXPECT_EQ(ring().kind, Kind::empty);
    const auto row = card();
    EXPECT_EQ(row.kind, Kind::hstack);
    EXPECT_EQ(row.spacing, std::nullopt);
    ASSERT_EQ(row.children.size(), 3u);
    EXPECT_EQ(at(row, 0), Text("Download failed: The server closed the connection. Nothing was saved. Try later.") |
                              font(TextStyle::caption) | foreground(Color::systemRed()) | lineLimit(2));
    EXPECT_EQ(at(row, 1).kind, Kind::spacer);
    EXPECT_EQ(at(at(row, 2), 0).text, "Retry");
    EXPECT_EQ(at(row, 2).foreground, Paint(TavroGold::light));
}

TEST_F(DownloadViews, TheButtonsCallTheControllerAndNothingShowsWhenIdleOrReady) {
    offer();
    EXPECT_TRUE(press(card(), "tavro.sdk.download.decline"));
    EXPECT_TRUE(downloads->declined());
    EXPECT_EQ(card().kind, Kind::empty);
    offer(true);
    EXPECT_TRUE(press(card(), "tavro.sdk.download.accept"));
    actor->runUntilIdle();
    EXPECT_TRUE(press(card(), "Stop download"));
    EXPECT_EQ(card().kind, Kind::empty);
    EXPECT_EQ(ring().kind, Kind::empty);

    downloads->accept();
    actor->runUntilIdle();
    step([&] { host->fail(DiskFull()); });
    EXPECT_TRUE(press(card(), "Retry"));
    actor->runUntilIdle();
    EXPECT_EQ(host->calls, 3) << "Retry downloads the same model again";

    const tavro::TavroDownloadRing view{downloads, 3};
    auto launcher = ui::HostingView::create([view] { return view.body(); });
    view.observe(*launcher);
    EXPECT_EQ(launcher->root().kind, Kind::zstack);
    step([&] { host->finish(); });
    EXPECT_EQ(card().kind, Kind::empty);
    EXPECT_EQ(launcher->root().kind, Kind::empty);
}
