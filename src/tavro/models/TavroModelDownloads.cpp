#include "tavro/models/TavroModelDownloads.h"

#include <cxxabi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <typeinfo>

#include "platform/foundation/ByteCountFormatter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/CancellationError.h"
#include "platform/runtime/MainActor.h"
#include "tavro/remote/TavroAnalytics.h"

namespace tavro {

namespace {

std::mutex sharedLock;
std::shared_ptr<TavroModelDownloads>& sharedSlot() {
    static std::shared_ptr<TavroModelDownloads> slot;
    return slot;
}

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

// How a download ended: returned, stopped by cancellation, or failed with an error.
struct Ending {
    enum class Way { returned, cancelled, failed } way = Way::returned;
    std::string description;  // the error's what()
    std::string type;         // the error's dynamic type
};

Ending currentFailure() {
    try {
        throw;
    } catch (const rt::CancellationError&) {
        return {Ending::Way::cancelled, {}, {}};
    } catch (const std::exception& error) {
        return {Ending::Way::failed, error.what(), demangled(typeid(error).name())};
    } catch (...) {
        // A thrown value that is not an exception has no description of its own: its type is it.
        const auto* type = abi::__cxa_current_exception_type();
        const auto name = type ? demangled(type->name()) : std::string("unknown");
        return {Ending::Way::failed, name, name};
    }
}

double clampedProgress(double value) {
    if (std::isnan(value)) return 0.0;
    return std::clamp(value, 0.0, 1.0);
}

// Awaits the host's download and lets the controller (if it still exists) follow its end. A
// download whose task was cancelled but ended anyway (the host's download ignored the stop) sets
// neither phase nor progress: the stop already set the phase, and a later download may be running
// by then. Its end is still logged, and a model that arrived is still announced through onReady.
rt::Task<void> runDownload(std::weak_ptr<TavroModelDownloads> weak, std::shared_ptr<TavroDownloadableModel> model,
                           TavroAnalytics::Fields fields, rt::Instant started,
                           std::weak_ptr<rt::MainActor> actor) {
    // Progress may come from any thread: it only posts the clamped value to the main actor.
    std::function<void(double)> report = [weak, actor](double value) {
        const double fraction = clampedProgress(value);
        if (auto main = actor.lock()) {
            main->post([weak, fraction] {
                if (auto self = weak.lock()) self->progress.set(fraction);
            });
        }
    };
    Ending ending;
    try {
        auto download = model->download(std::move(report));
        co_await std::move(download);
    } catch (...) {
        ending = currentFailure();
    }
    const bool stopped = co_await rt::isCancelled();
    const auto controller = weak.lock();
    const auto owner = stopped ? nullptr : controller;  // whose state this end may change

    switch (ending.way) {
        case Ending::Way::returned: {
            const auto main = actor.lock();
            const auto seconds =
                main ? std::chrono::duration_cast<std::chrono::seconds>(main->now() - started).count() : 0;
            if (owner) {
                owner->progress.set(1.0);
                owner->phase.set(TavroModelDownloads::Phase::ready());
            }
            fields["seconds"] = static_cast<std::int64_t>(seconds);
            TavroAnalytics::log("model_download_done", fields);
            if (controller && controller->onReady) {
                const auto onReady = controller->onReady;  // the callback may replace itself
                onReady();
            }
            break;
        }
        case Ending::Way::cancelled:
            if (owner) owner->phase.set(TavroModelDownloads::Phase::idle());
            break;
        case Ending::Way::failed:
            if (owner) owner->phase.set(TavroModelDownloads::Phase::failed(ending.description));
            fields["error"] = ending.type;
            TavroAnalytics::log("model_download_failed", fields);
            break;
    }
}

}  // namespace

TavroModelDownloads::TavroModelDownloads(Key)
    : queue_(fnd::DispatchQueue::create(std::string(queueLabel))), monitor_(net::PathMonitor::create()) {}

std::shared_ptr<TavroModelDownloads> TavroModelDownloads::shared() {
    std::shared_ptr<TavroModelDownloads> made;
    {
        std::lock_guard lock(sharedLock);
        auto& slot = sharedSlot();
        if (slot) return slot;
        slot = made = std::make_shared<TavroModelDownloads>(Key());
    }
    made->startMonitor();
    return made;
}

void TavroModelDownloads::reset() {
    std::shared_ptr<TavroModelDownloads> leaving;
    {
        std::lock_guard lock(sharedLock);
        leaving = std::exchange(sharedSlot(), nullptr);
    }
    // A download still running keeps its end to itself once no controller is left (it holds the
    // controller weakly); the controller, its monitor and its queue go here, outside the lock.
}

void TavroModelDownloads::startMonitor() {
    // Each path update posts the cellular answer to the main actor; the controller is held weakly.
    monitor_->setUpdateHandler([weak = weak_from_this(), actor = std::weak_ptr(rt::MainActor::shared())](const net::Path& path) {
        const bool cellular = path.isExpensive || path.usesCellular;
        if (auto main = actor.lock()) {
            main->post([weak, cellular] {
                if (auto self = weak.lock()) self->onCellular.set(cellular);
            });
        }
    });
    monitor_->start(queue_);
}

bool TavroModelDownloads::declined() const {
    return fnd::UserDefaults::standard()->boolean(declinedKey).value_or(false);
}

void TavroModelDownloads::setDeclined(bool value) {
    fnd::UserDefaults::standard()->setBoolean(declinedKey, value);
    changes_.set(changes_.value() + 1);
}

fnd::ObserverToken TavroModelDownloads::observeChanges(std::function<void()> observer) {
    return changes_.didSet([observer = std::move(observer)](const std::uint64_t&) { observer(); });
}

std::shared_ptr<TavroDownloadableModel> TavroModelDownloads::candidate(const Models& models) const {
    for (const auto& m : models) {
        if (m && m->isAvailable()) return nullptr;
    }
    for (const auto& m : models) {
        if (m && !dynamic_cast<const TavroDownloadableModel*>(m.get()) && m->isSupportedOnDevice()) return nullptr;
    }
    for (const auto& m : models) {
        auto downloadable = std::dynamic_pointer_cast<TavroDownloadableModel>(m);
        if (downloadable && downloadable->isOffered() && !downloadable->isDownloaded()) return downloadable;
    }
    return nullptr;
}

std::string TavroModelDownloads::percentText() const {
    return std::to_string(static_cast<int>(progress.value() * 100)) + "%";
}

void TavroModelDownloads::offerIfNeeded(const Models& models, bool force) {
    const auto now = phase->kind();
    if (now != Phase::Case::idle && (!force || now == Phase::Case::downloading)) return;
    auto offered = candidate(models);
    if (!offered) return;
    if (!force && declined()) return;
    model_ = offered;
    modelName.set(offered->downloadName());
    sizeText.set(fnd::ByteCountFormatter::file(offered->downloadBytes()));
    phase.set(Phase::asking());
}

void TavroModelDownloads::accept() {
    if (!model_ || phase->kind() == Phase::Case::downloading) return;
    setDeclined(false);
    phase.set(Phase::downloading());
    progress.set(0.0);

    const TavroAnalytics::Fields fields{{"model", model_->analyticsName()},
                                        {"size_mb", model_->downloadBytes() / 1'000'000},
                                        {"cellular", onCellular.value()}};
    TavroAnalytics::log("model_download_start", fields);
    const auto actor = rt::MainActor::shared();
    const auto started = actor->now();
    // An earlier handle is replaced, not cancelled.
    auto download = runDownload(weak_from_this(), model_, fields, started, actor);
    task_ = rt::spawn(std::move(download), actor);
}

void TavroModelDownloads::decline() {
    TavroAnalytics::log("model_download_declined",
                        {{"model", model_ ? model_->analyticsName() : modelName.value()}});
    setDeclined(true);
    phase.set(Phase::idle());
}

void TavroModelDownloads::cancel() {
    if (task_) {
        task_.cancel();
        task_ = {};
    }
    phase.set(Phase::idle());
}

void TavroModelDownloads::dismissFailure() {
    if (phase->kind() == Phase::Case::failed) phase.set(Phase::idle());
}

}  // namespace tavro
