// A language model the host ships as a download rather than in the app: the host derives from this
// to tell the library the download's name and size, whether it is on the device already, and how
// to fetch it. Listed among the configured models like any other, it is offered to the user when
// no configured model can answer (TavroModelDownloads).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/runtime/Task.h"
#include "tavro/core/TavroModel.h"

namespace tavro {

class TavroDownloadableModel : public TavroModel {
public:
    // Shown in the offer.
    virtual std::string downloadName() const = 0;
    // The download's size in bytes, for the offer's size text and analytics.
    virtual std::int64_t downloadBytes() const = 0;
    // Whether the model is on the device already.
    virtual bool isDownloaded() const = 0;
    // Fetches the model, reporting its fraction done (normally 0 to 1) from any thread. Throws
    // when the download fails, and rt::CancellationError when its task was cancelled.
    virtual rt::Task<void> download(std::function<void(double)> progress) = 0;
    // Deletes the downloaded files; for the host, the library never calls it. Throws on failure.
    virtual void removeDownload() = 0;
    // False keeps the model out of every offer. Default: true.
    virtual bool isOffered() const;
    // The model's name in analytics. Default: downloadName().
    virtual std::string analyticsName() const;
    // Always Kind::downloadable.
    Kind kind() const final;

protected:
    TavroDownloadableModel() = default;
    TavroDownloadableModel(const TavroDownloadableModel&) = default;
    TavroDownloadableModel& operator=(const TavroDownloadableModel&) = default;
};

}  // namespace tavro
