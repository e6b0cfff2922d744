// The one controller of the downloadable-model offer: when no configured model can answer, it
// offers the first downloadable model that is not on the device yet, downloads it with progress,
// remembers a refusal in the user defaults, reports analytics and tells the agent (through
// onReady) to pick its engine again once the model is there. The offer card and the progress ring
// show its published state.
//
// One shared instance, used on the main actor; published state changes only there. The model's
// progress callback and the network path monitor call in from other threads and only post work to
// the main actor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/Published.h"
#include "platform/net/PathMonitor.h"
#include "platform/runtime/Task.h"
#include "tavro/core/TavroModel.h"
#include "tavro/models/TavroDownloadableModel.h"

namespace tavro {

class TavroModelDownloads : public std::enable_shared_from_this<TavroModelDownloads> {
public:
    // Where the offer and the download stand.
    class Phase {
    public:
        enum class Case {
            failed,       // the download failed; the text is the error's description
            idle,         // nothing shown
            asking,       // the offer is up
            downloading,  // a download runs
            ready,        // the model has been downloaded
        };
        static Phase failed(std::string text) { return Phase(Case::failed, std::move(text)); }
        static Phase idle() { return Phase(Case::idle); }
        static Phase asking() { return Phase(Case::asking); }
        static Phase downloading() { return Phase(Case::downloading); }
        static Phase ready() { return Phase(Case::ready); }

        Case kind() const { return kind_; }
        // The failure's text; empty for the other cases.
        const std::string& text() const { return text_; }
        bool operator==(const Phase&) const = default;

    private:
        explicit Phase(Case kind, std::string text = {}) : kind_(kind), text_(std::move(text)) {}
        Case kind_;
        std::string text_;
    };

    using Models = std::vector<std::shared_ptr<TavroModel>>;

    // The user-defaults key of the refusal.
    static constexpr std::string_view declinedKey = "tavro.sdk.download.declined";
    // The label of the queue the network path monitor reports on.
    static constexpr std::string_view queueLabel = "tavro.sdk.download.net";

    // The process-wide controller, made on first use; it starts its path monitor then.
    static std::shared_ptr<TavroModelDownloads> shared();
    // Tests: the next shared() makes a new controller (over the same user defaults).
    static void reset();

    // ---- Published state (the card and the ring follow it; only the controller sets it) ----
    fnd::Published<Phase> phase{Phase::idle()};
    // The download's fraction done, 0 to 1.
    fnd::Published<double> progress{0.0};
    // The current network path is cellular or expensive.
    fnd::Published<bool> onCellular{false};
    // The offered model's download name and size text.
    fnd::Published<std::string> modelName;
    fnd::Published<std::string> sizeText;

    // Called once a download finishes; the facade sets it so the agent picks its engine again.
    std::function<void()> onReady;

    // The progress as the whole percent the card and the ring show (truncated): "42%".
    std::string percentText() const;

    // The offered model; stays set after a refusal or a failure.
    const std::shared_ptr<TavroDownloadableModel>& model() const { return model_; }
    // Watches the network path for the cellular warning; runs for the controller's life.
    const std::shared_ptr<net::PathMonitor>& monitor() const { return monitor_; }

    // The user refused the offer (stored in the standard user defaults; false when absent).
    bool declined() const;
    // Stores the refusal, then announces a change of the controller to its observers.
    void setDeclined(bool value);
    // Called after each announced change that no published member carries (a write of declined).
    [[nodiscard]] fnd::ObserverToken observeChanges(std::function<void()> observer);

    // The downloadable model to offer: nothing when a model is available, or when a model that is
    // not downloadable is supported on the device; else the first downloadable model that is
    // offered and not downloaded, in list order.
    std::shared_ptr<TavroDownloadableModel> candidate(const Models& models) const;
    // Puts the offer up when it is due. Unforced, it only acts while idle and not refused; forced,
    // it acts in every phase but downloading, refused or not.
    void offerIfNeeded(const Models& models, bool force);
    // Starts downloading the offered model ("Download", "Retry"). Nothing without a model or while
    // a download runs.
    void accept();
    // Refuses the offer ("Not now"); the refusal is remembered until the next accept.
    void decline();
    // Stops the running download; the phase is idle at once. Should the host's download end
    // anyway, its end sets no phase but is still logged, and a model that arrived calls onReady.
    void cancel();
    // Clears a failure.
    void dismissFailure();

    // Only shared() can make one: the key is private.
    class Key {
        friend class TavroModelDownloads;
        Key() = default;
    };
    explicit TavroModelDownloads(Key);
    TavroModelDownloads(const TavroModelDownloads&) = delete;
    TavroModelDownloads& operator=(const TavroModelDownloads&) = delete;

private:
    void startMonitor();

    std::shared_ptr<TavroDownloadableModel> model_;
    rt::TaskHandle<void> task_;
    const std::shared_ptr<fnd::DispatchQueue> queue_;
    const std::shared_ptr<net::PathMonitor> monitor_;
    fnd::Published<std::uint64_t> changes_{0};
};

}  // namespace tavro
