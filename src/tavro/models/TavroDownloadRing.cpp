#include "tavro/models/TavroDownloadRing.h"

#include <algorithm>
#include <string>

#include "tavro/core/TavroGold.h"
#include "tavro/core/TavroText.h"

namespace tavro {

using namespace views;

Node TavroDownloadRing::body() const {
    if (!downloads || downloads->phase->kind() != TavroModelDownloads::Phase::Case::downloading) return Empty();
    const double progress = downloads->progress.value();
    // A sliver shows at once, before the first progress report.
    const double arc = std::max(progress, 0.02);
    return ZStack({Circle() | stroke(Color::black(0.35), lineWidth, LineCap::butt),
                   Circle() | trim(0, arc) | stroke(TavroGold::white, lineWidth, LineCap::round) | rotation(-90) |
                       animation(Curve::easeOut, 0.25)},
                  Alignment::center) |
           padding(-(lineWidth + 2)) | hitTesting(false) | accessibilityChildrenIgnored() |
           accessibilityLabel(L("Downloading Tavro's model", "Tavro のモデルをダウンロード中")) |
           accessibilityValue(downloads->percentText()) |
           identifier("tavro.sdk.download.ring");
}

void TavroDownloadRing::observe(ui::HostingView& host) const {
    if (!downloads) return;
    host.observe(downloads->phase);
    host.observe(downloads->progress);
}

}  // namespace tavro
