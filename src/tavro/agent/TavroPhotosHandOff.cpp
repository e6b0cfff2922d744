// The turn loop's view of the photo picker: whether it is up in the app window, whether a goal asks
// for a photo, and the hand-off of a photo to the host.
#include "tavro/agent/TavroAgent.h"
#include "tavro/agent/TavroAgentRun.h"
#include "tavro/agent/TavroOps.h"
#include "tavro/agent/TavroPhotos.h"

namespace tavro {

bool TavroAgent::photoPickerShowing() const { return TavroPhotos::systemPicker(TavroOps::appWindow(surface_)) != nullptr; }

bool TavroAgent::photosWanted(std::string_view goal) { return TavroPhotos::wanted(goal); }

rt::Task<TavroAgent::PhotoHandOff> TavroAgent::handOffPhoto(Life& life) {
    auto picker = TavroPhotos::systemPicker(TavroOps::appWindow(surface_));
    if (!picker) co_return PhotoHandOff{};
    const auto outcome = co_await life.await(TavroPhotos::handle(std::move(picker)));
    switch (outcome.kind()) {
        case TavroPhotos::Outcome::Case::picked: co_return PhotoHandOff{PhotoHandOff::Kind::picked, outcome.text()};
        case TavroPhotos::Outcome::Case::failed: co_return PhotoHandOff{PhotoHandOff::Kind::failed, outcome.text()};
        case TavroPhotos::Outcome::Case::notHandled: break;
    }
    co_return PhotoHandOff{};
}

}  // namespace tavro
