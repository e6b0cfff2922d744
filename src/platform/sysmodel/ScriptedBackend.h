// A backend for the device model that answers from a script: each request takes the next queued
// answer (a record as JSON text, or an error) and is kept for inspection. With the script empty it
// answers a decoding failure. Its availability is set by whoever drives it.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "platform/sysmodel/SystemModel.h"

namespace sysmodel {

class ScriptedBackend : public Backend {
public:
    explicit ScriptedBackend(Availability availability = Availability::available());

    void setAvailability(Availability availability);
    void answer(std::string json);
    void fail(GenerationError error);

    // Every request received so far, oldest first.
    std::vector<Request> requests() const;

    Availability availability() const override;
    rt::Task<Answer> respond(Request request) override;

private:
    mutable std::mutex mutex_;
    Availability availability_;
    std::deque<Answer> script_;
    std::vector<Request> requests_;
};

}  // namespace sysmodel
