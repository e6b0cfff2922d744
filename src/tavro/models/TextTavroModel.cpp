#include "tavro/models/TextTavroModel.h"

#include <utility>

namespace tavro {

std::string TextTavroModel::name() const { return name_; }

bool TextTavroModel::isAvailable() const { return available && available(); }

TavroContextBudget TextTavroModel::budget() const { return budget_; }

bool TextTavroModel::isSupportedOnDevice() const { return isAvailable(); }

rt::Task<std::optional<std::string>> TextTavroModel::ask(std::string system, std::string user) {
    if (!generate) co_return std::nullopt;
    // A model never throws to the agent: a generator that fails has given no reply.
    try {
        co_return co_await generate(std::move(system), std::move(user));
    } catch (...) {
    }
    co_return std::nullopt;
}

rt::Task<std::optional<TavroAction>> TextTavroModel::decide(std::string system, std::string user) {
    const auto reply = co_await ask(std::move(system), std::move(user));
    if (!reply) co_return std::nullopt;
    co_return TavroAction::parse(*reply);
}

rt::Task<std::optional<std::vector<std::string>>> TextTavroModel::plan(std::string, std::string) {
    co_return std::nullopt;
}

rt::Task<std::optional<std::string>> TextTavroModel::think(std::string system, std::string user) {
    co_return co_await ask(std::move(system), std::move(user));
}

}  // namespace tavro
