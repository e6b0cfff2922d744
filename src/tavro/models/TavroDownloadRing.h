// The progress ring drawn around the floating launcher while a download runs, so progress stays
// visible with the panel closed: a dark track and a gold arc that grows clockwise from the top,
// just outside the launcher's frame. It takes no touches and reads as one accessibility element
// ("Downloading Tavro's model", "N%"). Nothing is shown outside a download.
#pragma once

#include <memory>

#include "platform/ui/HostingView.h"
#include "platform/views/Node.h"
#include "tavro/models/TavroModelDownloads.h"

namespace tavro {

struct TavroDownloadRing {
    std::shared_ptr<TavroModelDownloads> downloads;
    // The ring's width in points, chosen by the view it decorates.
    double lineWidth = 0;

    views::Node body() const;
    // Makes the host view rebuild the ring whenever the controller's published state changes.
    void observe(ui::HostingView& host) const;
};

}  // namespace tavro
