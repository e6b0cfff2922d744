#include "tavro/models/AppleIntelligenceModel.h"

#include <limits>
#include <utility>

#include "platform/foundation/Console.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace AppleTavroRuntime {

namespace {

using sysmodel::GeneratedContent;
using sysmodel::GenerationSchema;
using sysmodel::ValueType;

std::optional<std::string> textField(const GeneratedContent& content, const char* key) {
    const auto it = content.find(key);
    if (it == content.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

sysmodel::GenerationOptions greedy() {
    sysmodel::GenerationOptions options;
    options.sampling = sysmodel::GenerationOptions::Sampling::greedy;
    return options;
}

std::optional<TavroAction> action(const Decision& decision) {
    const auto kind = kindFromName(decision.action);
    if (!kind) return std::nullopt;
    TavroAction result;
    result.kind = *kind;
    if (decision.id >= 0) result.id = decision.id;
    result.text = decision.text;
    result.submit = decision.submit;
    result.thought = decision.thought;
    return result;
}

}  // namespace

GenerationSchema Decision::generationSchema() {
    std::vector<std::string> kinds;
    for (const auto kind : allKinds) kinds.emplace_back(kindName(kind));
    return GenerationSchema{
        "Decision",
        std::nullopt,
        {
            {"thought", "One short sentence: what you see and why this is the next action", ValueType::text, {}},
            {"action", "The next action", ValueType::text, std::move(kinds)},
            {"id", "Element id from ELEMENTS, or -1 when the action needs no element", ValueType::integer, {}},
            {"text",
             "Text to type, value to set, route name, up or down for scroll, the question for ask, or the final answer",
             ValueType::text,
             {}},
            {"submit", "true to press Return after typing", ValueType::boolean, {}},
        },
    };
}

std::optional<Decision> Decision::fromContent(const GeneratedContent& content) {
    if (!content.is_object()) return std::nullopt;
    auto thought = textField(content, "thought");
    auto action = textField(content, "action");
    auto text = textField(content, "text");
    const auto id = content.find("id");
    const auto submit = content.find("submit");
    if (!thought || !action || !text || id == content.end() || submit == content.end()) return std::nullopt;
    if (!submit->is_boolean() || !id->is_number_integer()) return std::nullopt;
    // An id beyond the signed range cannot name an element; it is not read as a wrapped number.
    if (id->is_number_unsigned() &&
        id->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    return Decision{std::move(*thought), std::move(*action), id->get<std::int64_t>(), std::move(*text),
                    submit->get<bool>()};
}

GeneratedContent Decision::content() const {
    return GeneratedContent{{"thought", thought}, {"action", action}, {"id", id}, {"text", text}, {"submit", submit}};
}

GenerationSchema Reasoning::generationSchema() {
    return GenerationSchema{
        "Reasoning",
        std::nullopt,
        {
            {"intent", "What the user wants, one short line", ValueType::text, {}},
            {"done", "What will be visible on screen when the goal is complete", ValueType::text, {}},
            {"steps", "Short steps using the exact names on screen, at most 8", ValueType::textList, {}},
            {"ask", "A question to ask before starting when something essential is missing, otherwise empty",
             ValueType::text,
             {}},
        },
    };
}

std::optional<Reasoning> Reasoning::fromContent(const GeneratedContent& content) {
    if (!content.is_object()) return std::nullopt;
    auto intent = textField(content, "intent");
    auto done = textField(content, "done");
    auto ask = textField(content, "ask");
    const auto steps = content.find("steps");
    if (!intent || !done || !ask || steps == content.end() || !steps->is_array()) return std::nullopt;
    Reasoning result{std::move(*intent), std::move(*done), {}, std::move(*ask)};
    for (const auto& step : *steps) {
        if (!step.is_string()) return std::nullopt;
        result.steps.push_back(step.get<std::string>());
    }
    return result;
}

GeneratedContent Reasoning::content() const {
    return GeneratedContent{{"intent", intent}, {"done", done}, {"steps", steps}, {"ask", ask}};
}

rt::Task<std::optional<TavroAction>> decide(std::string system, std::string user) {
    if (!sysmodel::SystemModel::availability().isAvailable()) co_return std::nullopt;
    sysmodel::Session session(std::move(system));
    const auto reply = co_await session.respond<Decision>(std::move(user), true, greedy());
    if (!reply.ok()) {
        fnd::Console::write("[TAVRO_SDK] apple error " + (reply.error ? reply.error->description : std::string()));
        co_return std::nullopt;
    }
    co_return action(*reply.content);
}

rt::Task<std::optional<std::string>> think(std::string system, std::string user) {
    if (!sysmodel::SystemModel::availability().isAvailable()) co_return std::nullopt;
    sysmodel::Session session(std::move(system));
    const auto reply = co_await session.respond<Reasoning>(std::move(user), true, greedy());
    if (!reply.ok()) {
        fnd::Console::write("[TAVRO_SDK] apple think error " + (reply.error ? reply.error->description : std::string()));
        co_return std::nullopt;
    }
    try {
        // Compact, keys in the serialiser's (sorted) order, ill-formed UTF-8 replaced.
        co_return reply.content->content().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (...) {
    }
    co_return std::nullopt;
}

}  // namespace AppleTavroRuntime

namespace {

bool systemCarriesTheModel() {
    return sysmodel::SystemModel::operatingSystemVersion() >= AppleTavroRuntime::firstSupportedVersion;
}

}  // namespace

std::string AppleIntelligenceModel::name() const {
    return L("Apple Intelligence · on-device", "Apple Intelligence · オンデバイス");
}

bool AppleIntelligenceModel::isAvailable() const {
    return systemCarriesTheModel() && sysmodel::SystemModel::availability().isAvailable();
}

TavroContextBudget AppleIntelligenceModel::budget() const { return TavroContextBudget::small; }

bool AppleIntelligenceModel::wantsJSONInstructions() const { return false; }

rt::Task<std::optional<TavroAction>> AppleIntelligenceModel::decide(std::string system, std::string user) {
    if (!systemCarriesTheModel()) co_return std::nullopt;
    co_return co_await AppleTavroRuntime::decide(std::move(system), std::move(user));
}

rt::Task<std::optional<std::string>> AppleIntelligenceModel::think(std::string system, std::string user) {
    if (!systemCarriesTheModel()) co_return std::nullopt;
    co_return co_await AppleTavroRuntime::think(std::move(system), std::move(user));
}

bool AppleIntelligenceModel::isSupportedOnDevice() const {
    if (!systemCarriesTheModel()) return false;
    return sysmodel::SystemModel::availability().reason != sysmodel::UnavailableReason::deviceNotEligible;
}

TavroModel::Kind AppleIntelligenceModel::kind() const { return Kind::platform; }

}  // namespace tavro
