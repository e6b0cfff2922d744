#include "tavro/models/TavroDownloadCard.h"

#include <string>
#include <utility>
#include <vector>

#include "tavro/core/TavroGold.h"
#include "tavro/core/TavroText.h"

namespace tavro {

using namespace views;

namespace {

Node offer(const std::shared_ptr<TavroModelDownloads>& d) {
    const auto& name = d->modelName.value();
    const auto& size = d->sizeText.value();
    std::vector<Node> rows;
    rows.push_back(Text(L("Download a free on-device model?", "無料のオンデバイスモデルをダウンロードしますか?")) |
                   font(TextStyle::subheadline, Weight::bold) | foreground(Color::white()));
    rows.push_back(Text(L(name + ", " + size +
                              ". It runs entirely on this iPhone and makes Tavro much better at understanding what "
                              "you ask. Downloaded once, then it works offline.",
                          name + size +
                              "。この iPhone 上だけで動作し、Tavro の理解力が大きく向上します。一度ダウンロードすればオフラインで使えます。")) |
                   font(TextStyle::caption) | foreground(SemanticStyle::secondary));
    if (d->onCellular.value()) {
        rows.push_back(Label(L("You're on cellular data. Wi-Fi is recommended.", "モバイル通信中です。Wi-Fi を推奨します。"),
                             "antenna.radiowaves.left.and.right") |
                       font(TextStyle::caption) | foreground(TavroGold::light));
    }
    const std::weak_ptr<TavroModelDownloads> weak = d;
    auto accept = Button(Text(L("Download", "ダウンロード")) | fontWeight(Weight::bold) | foreground(Color::black()) |
                             padding(14, Edge::horizontal) | padding(7, Edge::vertical) |
                             background(Capsule() | fill(TavroGold::gradient)),
                         [weak] {
                             if (auto c = weak.lock()) c->accept();
                         }) |
                  identifier("tavro.sdk.download.accept");
    auto notNow = Button(L("Not now", "後で"),
                         [weak] {
                             if (auto c = weak.lock()) c->decline();
                         }) |
                  foreground(TavroGold::light) | identifier("tavro.sdk.download.decline");
    rows.push_back(HStack({std::move(accept), std::move(notNow)}, Alignment::center));

    return VStack(std::move(rows), Alignment::leading, 8) | padding(12) |
           background(RoundedRectangle(14, CornerStyle::continuous) | fill(Color::white(0.1))) |
           overlay(RoundedRectangle(14, CornerStyle::continuous) | stroke(TavroGold::dark.withOpacity(0.4), 1));
}

Node downloading(const std::shared_ptr<TavroModelDownloads>& d) {
    const double progress = d->progress.value();
    const std::weak_ptr<TavroModelDownloads> weak = d;
    return HStack({ProgressView(progress, 1.0) | tint(TavroGold::light),
                   Text(d->percentText()) |
                       font(Font{TextStyle::caption, Weight::regular, true}) | foreground(SemanticStyle::secondary),
                   Button(Image("xmark.circle.fill") | foreground(SemanticStyle::secondary),
                          [weak] {
                              if (auto c = weak.lock()) c->cancel();
                          }) |
                       accessibilityLabel(L("Stop download", "ダウンロードを停止"))},
                  Alignment::center, 10) |
           identifier("tavro.sdk.download.progress");
}

Node failure(const std::shared_ptr<TavroModelDownloads>& d, const std::string& text) {
    const std::weak_ptr<TavroModelDownloads> weak = d;
    return HStack({Text(L("Download failed: " + text, "ダウンロード失敗: " + text)) | font(TextStyle::caption) |
                       foreground(Color::systemRed()) | lineLimit(2),
                   Spacer(),
                   Button(L("Retry", "再試行"),
                          [weak] {
                              if (auto c = weak.lock()) c->accept();
                          }) |
                       foreground(TavroGold::light)},
                  Alignment::center);
}

}  // namespace

Node TavroDownloadCard::body() const {
    if (!downloads) return Empty();
    const auto& phase = downloads->phase.value();
    switch (phase.kind()) {
        case TavroModelDownloads::Phase::Case::asking:
            return offer(downloads);
        case TavroModelDownloads::Phase::Case::downloading:
            return downloading(downloads);
        case TavroModelDownloads::Phase::Case::failed:
            return failure(downloads, phase.text());
        case TavroModelDownloads::Phase::Case::idle:
        case TavroModelDownloads::Phase::Case::ready:
            break;
    }
    return Empty();
}

void TavroDownloadCard::observe(ui::HostingView& host) const {
    if (!downloads) return;
    host.observe(downloads->phase);
    host.observe(downloads->progress);
    host.observe(downloads->onCellular);
    host.observe(downloads->modelName);
    host.observe(downloads->sizeText);
}

}  // namespace tavro
