// The adapter through which a host plugs in a text generator of its own (a server model, a local
// runtime): the host gives a name, a budget, an availability test and an asynchronous function
// that answers (system text, user text) with text or nothing; a generator that throws has given
// nothing, and what it threw is kept nowhere. The generator answers both of the agent's questions:
// the plan of a run, asked through think() (the system text begins "You plan how to complete";
// the reply is passed on as it is), and each next step, asked through decide()
// (the reply is read as one JSON action). plan(), the agent's request for bare step labels for the
// panel, answers nothing without asking the generator: the labels then come from the goal itself.
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/Task.h"
#include "tavro/core/TavroModel.h"

namespace tavro {

// A host's text generator: called with the system text and the user text, it must return
// rt::Task<std::optional<std::string>> (a coroutine that co_returns the reply, or nothing), not
// the reply itself.
template <class F>
concept TavroTextGenerator = requires(F& generate, std::string system, std::string user) {
    { generate(std::move(system), std::move(user)) } -> std::convertible_to<rt::Task<std::optional<std::string>>>;
};

class TextTavroModel : public TavroModel {
public:
    using Available = std::function<bool()>;
    using Generate = std::function<rt::Task<std::optional<std::string>>(std::string system, std::string user)>;

    // The generator must return rt::Task<std::optional<std::string>> (see TavroTextGenerator).
    template <TavroTextGenerator G>
    TextTavroModel(std::string name, TavroContextBudget budget, Available isAvailable, G generate)
        : available(std::move(isAvailable)), generate(std::move(generate)), name_(std::move(name)), budget_(budget) {}
    // Without a generator: the model answers nothing.
    TextTavroModel(std::string name, TavroContextBudget budget, Available isAvailable, std::nullptr_t)
        : TextTavroModel(std::move(name), budget, std::move(isAvailable), Generate{}) {}

    // Asked afresh on every isAvailable(); an empty function counts as unavailable.
    Available available;
    // The host's generator; an empty function answers nothing.
    Generate generate;

    std::string name() const override;
    bool isAvailable() const override;
    TavroContextBudget budget() const override;
    rt::Task<std::optional<TavroAction>> decide(std::string system, std::string user) override;
    rt::Task<std::optional<std::vector<std::string>>> plan(std::string system, std::string user) override;
    rt::Task<std::optional<std::string>> think(std::string system, std::string user) override;
    bool isSupportedOnDevice() const override;

private:
    // The generator's reply; nothing when there is no generator or it threw.
    rt::Task<std::optional<std::string>> ask(std::string system, std::string user);

    std::string name_;
    TavroContextBudget budget_;
};

}  // namespace tavro
