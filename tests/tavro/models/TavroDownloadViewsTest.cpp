#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "DownloadTestSupport.h"
#include "platform/ui/HostingView.h"
#include "tavro/core/TavroGold.h"
#include "tavro/models/TavroDownloadCard.h"
#include "tavro/models/TavroDownloadRing.h"

using namespace hostmodel;
using tavro::TavroDownloadCard;
using tavro::TavroDownloadRing;
using tavro::TavroGold;
using views::Kind;

namespace {

constexpr const char* kBodyEnglish =
    "Host 3B, 1.5 GB. It runs entirely on this iPhone and makes Tavro much better at understanding what you ask. "
    "Downloaded once, then it works offline.";

class DownloadViews : public DownloadsTest {
protected:
    void offer() { downloads->offerIfNeeded(models({host}), false); }
    void startDownload() {
        offer();
        downloads->accept();
        actor->runUntilIdle();
    }
    void reportProgress(double fraction) {
        host->report(fraction);
        actor->runUntilIdle();
    }
    views::Node card() const { return TavroDownloadCard{downloads}.body(); }
    views::Node ring() const { return TavroDownloadRing{downloads, 4}.body(); }

    std::shared_ptr<HostModel> host = std::make_shared<HostModel>();
};

const views::Node& child(const views::Node& node, std::size_t index) {
    static const views::Node none;
    EXPECT_LT(index, node.children.size());
    return index < node.children.size() ? node.children[index] : none;
}

}  // namespace

TEST_F(DownloadViews, TheOfferCard) {
    offer();
    const auto tree = card();
    ASSERT_EQ(tree.kind, Kind::vstack);
    EXPECT_EQ(tree.alignment, views::Alignment::leading);
    EXPECT_EQ(tree.spacing, 8.0);
    EXPECT_EQ(tree.padding, (views::Insets{12, 12, 12, 12}));
    ASSERT_NE(tree.backgroundNode(), nullptr);
    EXPECT_EQ(tree.backgroundNode()->kind, Kind::roundedRectangle);
    EXPECT_EQ(tree.backgroundNode()->cornerRadius, 14);
    EXPECT_EQ(tree.backgroundNode()->cornerStyle, views::CornerStyle::continuous);
    EXPECT_EQ(tree.backgroundNode()->fill, views::Paint(views::Color{0.1, 0.1, 0.1, 1}));
    ASSERT_NE(tree.overlayNode(), nullptr);
    EXPECT_EQ(tree.overlayNode()->kind, Kind::roundedRectangle);
    EXPECT_EQ(tree.overlayNode()->cornerRadius, 14);
    EXPECT_EQ(tree.overlayNode()->cornerStyle, views::CornerStyle::continuous);
    EXPECT_EQ(tree.overlayNode()->fill, std::nullopt);
    EXPECT_EQ(tree.overlayNode()->stroke,
              (views::Stroke{views::Color{217.0 / 255, 166.0 / 255, 77.0 / 255, 0.4}, 1, views::LineCap::butt}));

    ASSERT_EQ(tree.children.size(), 3u);
    const auto& title = child(tree, 0);
    EXPECT_EQ(title.kind, Kind::text);
    EXPECT_EQ(title.text, "Download a free on-device model?");
    EXPECT_EQ(title.font, (views::Font{views::TextStyle::subheadline, views::Weight::bold, false}));
    EXPECT_EQ(title.foreground, views::Paint(views::Color::white()));
    const auto& body = child(tree, 1);
    EXPECT_EQ(body.text, kBodyEnglish);
    EXPECT_EQ(body.font, (views::Font{views::TextStyle::caption}));
    EXPECT_EQ(body.foreground, views::Paint(views::SemanticStyle::secondary));

    const auto& buttons = child(tree, 2);
    EXPECT_EQ(buttons.kind, Kind::hstack);
    EXPECT_EQ(buttons.alignment, views::Alignment::center);
    EXPECT_EQ(buttons.spacing, std::nullopt);
    ASSERT_EQ(buttons.children.size(), 2u);
    const auto& accept = child(buttons, 0);
    EXPECT_EQ(accept.kind, Kind::button);
    EXPECT_EQ(accept.accessibility.identifier, "tavro.sdk.download.accept");
    const auto& label = child(accept, 0);
    EXPECT_EQ(label.text, "Download");
    EXPECT_EQ(label.font->weight, views::Weight::bold);
    EXPECT_EQ(label.foreground, views::Paint(views::Color::black()));
    EXPECT_EQ(label.padding, (views::Insets{7, 14, 7, 14}));
    ASSERT_NE(label.backgroundNode(), nullptr);
    EXPECT_EQ(label.backgroundNode()->kind, Kind::capsule);
    EXPECT_EQ(label.backgroundNode()->fill, views::Paint(TavroGold::gradient));
    const auto& notNow = child(buttons, 1);
    EXPECT_EQ(notNow.kind, Kind::button);
    EXPECT_EQ(notNow.accessibility.identifier, "tavro.sdk.download.decline");
    EXPECT_EQ(child(notNow, 0).text, "Not now");
    EXPECT_EQ(notNow.foreground, views::Paint(TavroGold::light));

    // Nothing of the progress or the ring belongs to the offer.
    EXPECT_EQ(views::identifiers(tree), (std::vector<std::string>{"tavro.sdk.download.accept", "tavro.sdk.download.decline"}));
    EXPECT_EQ(ring().kind, Kind::empty);
}

TEST_F(DownloadViews, TheCellularLineIsAddedWithoutAnyOtherChange) {
    offer();
    const TavroDownloadCard view{downloads};
    auto host = ui::HostingView::create([view] { return view.body(); });
    view.observe(*host);
    const auto before = host->root();
    setPath(net::Path{.isExpensive = false, .usesCellular = true});
    const auto after = host->root();
    ASSERT_EQ(after.children.size(), before.children.size() + 1);
    const auto& line = child(after, 2);
    EXPECT_EQ(line.kind, Kind::label);
    EXPECT_EQ(line.text, "You're on cellular data. Wi-Fi is recommended.");
    EXPECT_EQ(line.systemImage, "antenna.radiowaves.left.and.right");
    EXPECT_EQ(line.font, (views::Font{views::TextStyle::caption}));
    EXPECT_EQ(line.foreground, views::Paint(TavroGold::light));
    auto without = after;
    without.children.erase(without.children.begin() + 2);
    EXPECT_EQ(without, before);

    setPath(net::Path{});
    EXPECT_EQ(host->root(), before);
}

TEST_F(DownloadViews, TheOfferInJapanese) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    setPath(net::Path{.isExpensive = true, .usesCellular = false});
    offer();
    EXPECT_EQ(views::texts(card()),
              (std::vector<std::string>{
                  "無料のオンデバイスモデルをダウンロードしますか?",
                  "Host 3B1.5 GB。この iPhone 上だけで動作し、Tavro の理解力が大きく向上します。一度ダウンロードすればオフラインで使えます。",
                  "モバイル通信中です。Wi-Fi を推奨します。", "ダウンロード", "後で"}));
    startDownload();
    EXPECT_EQ(*ring().accessibility.label, "Tavro のモデルをダウンロード中");
    EXPECT_NE(views::findControl(card(), "ダウンロードを停止"), nullptr);
    host->fail(DiskFull());
    actor->runUntilIdle();
    EXPECT_EQ(views::texts(card()), (std::vector<std::string>{"ダウンロード失敗: Not enough free space for the model.", "再試行"}));
}

TEST_F(DownloadViews, TheButtonsCallTheController) {
    offer();
    EXPECT_TRUE(views::press(card(), "tavro.sdk.download.decline"));
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_TRUE(downloads->declined());
    EXPECT_EQ(card().kind, Kind::empty);

    downloads->offerIfNeeded(models({host}), true);
    EXPECT_TRUE(views::press(card(), "tavro.sdk.download.accept"));
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    actor->runUntilIdle();
    EXPECT_EQ(host->calls, 1);
    EXPECT_TRUE(views::press(card(), "Stop download"));
    EXPECT_EQ(*downloads->phase, Phase::idle());
    EXPECT_EQ(card().kind, Kind::empty);
    EXPECT_EQ(ring().kind, Kind::empty);
    EXPECT_FALSE(views::press(ring(), "Stop download"));
}

TEST_F(DownloadViews, ProgressRowAndRingWhileDownloading) {
    startDownload();
    reportProgress(0.004);
    const auto row = card();
    ASSERT_EQ(row.kind, Kind::hstack);
    EXPECT_EQ(row.accessibility.identifier, "tavro.sdk.download.progress");
    EXPECT_EQ(row.alignment, views::Alignment::center);
    EXPECT_EQ(row.spacing, 10.0);
    ASSERT_EQ(row.children.size(), 3u);
    const auto& bar = child(row, 0);
    EXPECT_EQ(bar.kind, Kind::progress);
    EXPECT_EQ(bar.value, 0.004);
    EXPECT_EQ(bar.total, 1.0);
    EXPECT_EQ(bar.tint, TavroGold::light);
    const auto& percent = child(row, 1);
    EXPECT_EQ(percent.text, "0%");
    EXPECT_EQ(percent.font, (views::Font{views::TextStyle::caption, views::Weight::regular, true}));
    EXPECT_EQ(percent.foreground, views::Paint(views::SemanticStyle::secondary));
    const auto& stop = child(row, 2);
    EXPECT_EQ(stop.kind, Kind::button);
    EXPECT_EQ(stop.accessibility.label, "Stop download");
    EXPECT_EQ(child(stop, 0).systemImage, "xmark.circle.fill");
    EXPECT_EQ(child(stop, 0).foreground, views::Paint(views::SemanticStyle::secondary));

    auto tree = ring();
    ASSERT_EQ(tree.kind, Kind::zstack);
    EXPECT_EQ(tree.alignment, views::Alignment::center);
    EXPECT_EQ(tree.padding, (views::Insets{-6, -6, -6, -6}));
    EXPECT_FALSE(tree.hitTesting);
    EXPECT_TRUE(tree.accessibility.childrenIgnored);
    EXPECT_EQ(tree.accessibility.identifier, "tavro.sdk.download.ring");
    EXPECT_EQ(tree.accessibility.label, "Downloading Tavro's model");
    EXPECT_EQ(tree.accessibility.value, "0%");
    ASSERT_EQ(tree.children.size(), 2u);
    const auto& track = child(tree, 0);
    EXPECT_EQ(track.kind, Kind::circle);
    EXPECT_EQ(track.stroke, (views::Stroke{views::Color{0, 0, 0, 0.35}, 4, views::LineCap::butt}));
    EXPECT_EQ(track.trim, (views::Trim{0, 1}));
    const auto& arc = child(tree, 1);
    EXPECT_EQ(arc.kind, Kind::circle);
    EXPECT_EQ(arc.trim, (views::Trim{0, 0.02}));
    EXPECT_EQ(arc.stroke, (views::Stroke{TavroGold::white, 4, views::LineCap::round}));
    EXPECT_EQ(arc.rotation, -90);
    EXPECT_EQ(arc.animation, (views::Animation{views::Curve::easeOut, 0.25}));

    reportProgress(0.999);
    EXPECT_EQ(child(card(), 1).text, "99%");
    tree = ring();
    EXPECT_EQ(tree.accessibility.value, "99%");
    EXPECT_EQ(child(tree, 1).trim, (views::Trim{0, 0.999}));
    EXPECT_EQ((TavroDownloadRing{downloads, 10}.body().padding), (views::Insets{-12, -12, -12, -12}));
}

TEST_F(DownloadViews, AFailureIsOneRowOfTwoLinesAtMostAndRetryDownloadsTheSameModel) {
    startDownload();
    struct Long : std::runtime_error {
        Long() : std::runtime_error("The server closed the connection. The download was not finished. Try again later.") {}
    };
    host->fail(Long());
    actor->runUntilIdle();
    EXPECT_EQ(ring().kind, Kind::empty);
    const auto row = card();
    ASSERT_EQ(row.kind, Kind::hstack);
    EXPECT_EQ(row.alignment, views::Alignment::center);
    EXPECT_EQ(row.spacing, std::nullopt);
    ASSERT_EQ(row.children.size(), 3u);
    const auto& message = child(row, 0);
    EXPECT_EQ(message.text,
              "Download failed: The server closed the connection. The download was not finished. Try again later.");
    EXPECT_EQ(message.font, (views::Font{views::TextStyle::caption}));
    EXPECT_EQ(message.foreground, views::Paint(views::Color::systemRed()));
    EXPECT_EQ(message.lineLimit, 2);
    EXPECT_EQ(child(row, 1).kind, Kind::spacer);
    const auto& retry = child(row, 2);
    EXPECT_EQ(child(retry, 0).text, "Retry");
    EXPECT_EQ(retry.foreground, views::Paint(TavroGold::light));

    EXPECT_TRUE(views::press(row, "Retry"));
    EXPECT_EQ(*downloads->phase, Phase::downloading());
    actor->runUntilIdle();
    EXPECT_EQ(host->calls, 2);
    EXPECT_EQ(downloads->model(), host);
}

TEST_F(DownloadViews, NothingIsShownWhenIdleOrReady) {
    EXPECT_EQ(card().kind, Kind::empty);
    EXPECT_EQ(ring().kind, Kind::empty);
    EXPECT_EQ(TavroDownloadCard{}.body().kind, Kind::empty);
    startDownload();
    const TavroDownloadRing view{downloads, 3};
    auto launcher = ui::HostingView::create([view] { return view.body(); });
    view.observe(*launcher);
    EXPECT_EQ(launcher->root().kind, Kind::zstack);
    host->finish();
    actor->runUntilIdle();
    EXPECT_EQ(*downloads->phase, Phase::ready());
    EXPECT_EQ(card().kind, Kind::empty);
    EXPECT_EQ(launcher->root().kind, Kind::empty);
}
