#include "tavro/core/TavroModel.h"

#include <utility>

namespace tavro {

TavroContextBudget TavroModel::budget() const { return TavroContextBudget::large; }

bool TavroModel::wantsJSONInstructions() const { return true; }

rt::Task<std::optional<std::vector<std::string>>> TavroModel::plan(std::string, std::string) {
    co_return std::nullopt;
}

rt::Task<std::optional<std::string>> TavroModel::think(std::string system, std::string user) {
    const auto steps = co_await plan(std::move(system), std::move(user));
    if (!steps) co_return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < steps->size(); ++i) {
        if (i > 0) text += '\n';
        text += (*steps)[i];
    }
    co_return text;
}

bool TavroModel::isSupportedOnDevice() const { return isAvailable(); }

TavroModel::Kind TavroModel::kind() const { return Kind::other; }

}  // namespace tavro
