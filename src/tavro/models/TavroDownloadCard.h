// The card in the panel that carries the whole conversation about the downloadable model: the
// offer with "Download" and "Not now", the progress bar with a stop button while it downloads,
// and the failure with "Retry". It shows the state of the download controller and keeps none of
// its own; nothing is shown while the controller is idle or the model is ready.
#pragma once

#include <memory>

#include "platform/ui/HostingView.h"
#include "platform/views/Node.h"
#include "tavro/models/TavroModelDownloads.h"

namespace tavro {

struct TavroDownloadCard {
    std::shared_ptr<TavroModelDownloads> downloads;

    views::Node body() const;
    // Makes the host view rebuild the card whenever the controller's published state changes.
    void observe(ui::HostingView& host) const;
};

}  // namespace tavro
