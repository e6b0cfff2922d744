// The photo-picker hand-off, local operations, repeat counts and exact steps as this build has
// them: none. Each answers the way a build without them must: no picker is seen, no goal asks for a
// photo, no goal carries a repeat count, and an operation or exact step reports that it is not
// supported here.
#include "tavro/agent/TavroAgent.h"

namespace tavro {

bool TavroAgent::photoPickerShowing() const { return false; }

bool TavroAgent::photosWanted(std::string_view) { return false; }

rt::Task<TavroAgent::PhotoHandOff> TavroAgent::handOffPhoto() { co_return PhotoHandOff{}; }

rt::Task<std::optional<std::string>> TavroAgent::performOp(TavroAction action, TavroScreen) {
    co_return "failed: " + std::string(kindName(action.kind)) + " is not supported here";
}

std::optional<TavroAgent::RepeatGoal> TavroAgent::repeatCount(std::string_view) { return std::nullopt; }

std::vector<TavroPerformedStep> TavroAgent::repeatTail(const std::vector<TavroPerformedStep>&) { return {}; }

rt::Task<void> TavroAgent::repeatSteps(std::vector<TavroPerformedStep>, int) {
    status_.set("failed: repeat counts are not supported here");
    co_return;
}

rt::Task<std::optional<std::string>> TavroAgent::performExact(std::string) {
    co_return "failed: exact steps are not supported here";
}

}  // namespace tavro
