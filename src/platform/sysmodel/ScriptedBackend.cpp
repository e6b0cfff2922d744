#include "platform/sysmodel/ScriptedBackend.h"

namespace sysmodel {

ScriptedBackend::ScriptedBackend(Availability availability) : availability_(availability) {}

void ScriptedBackend::setAvailability(Availability availability) {
    std::lock_guard lock(mutex_);
    availability_ = availability;
}

void ScriptedBackend::answer(std::string json) {
    std::lock_guard lock(mutex_);
    script_.emplace_back(std::move(json));
}

void ScriptedBackend::fail(GenerationError error) {
    std::lock_guard lock(mutex_);
    script_.emplace_back(std::move(error));
}

std::vector<Request> ScriptedBackend::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

Availability ScriptedBackend::availability() const {
    std::lock_guard lock(mutex_);
    return availability_;
}

rt::Task<Answer> ScriptedBackend::respond(Request request) {
    Answer next = GenerationError{GenerationError::Kind::decodingFailure, "No scripted answer is left"};
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
        if (!script_.empty()) {
            next = std::move(script_.front());
            script_.pop_front();
        }
    }
    co_return next;
}

}  // namespace sysmodel
