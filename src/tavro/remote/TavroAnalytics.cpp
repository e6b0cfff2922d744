#include "tavro/remote/TavroAnalytics.h"

#include <ctime>
#include <mutex>

#include "platform/objc/Runtime.h"
#include "tavro/core/TavroModel.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroPack.h"

namespace tavro {

namespace {

constexpr std::size_t nameLimit = 40;
constexpr std::size_t textLimit = 100;

// Sends an event to the host's analytics class, when the host has one.
void firebase(const std::string& event, const TavroAnalytics::Parameters& parameters);

struct Box {
    std::mutex lock;
    bool enabled = true;
    TavroAnalytics::Sink sink = firebase;
};

Box& box() {
    static Box instance;
    return instance;
}

std::string dateText(TavroAnalytics::Value::Date date) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[64];
    const auto length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return std::string(buffer, length);
}

std::optional<TavroAnalytics::Parameter> jsonParameter(const nlohmann::json& value) {
    using Parameter = TavroAnalytics::Parameter;
    switch (value.type()) {
    case nlohmann::json::value_t::null:
    case nlohmann::json::value_t::discarded:
        return std::nullopt;
    case nlohmann::json::value_t::boolean:
        return Parameter(std::int64_t(value.get<bool>() ? 1 : 0));
    case nlohmann::json::value_t::number_integer:
        return Parameter(value.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
        const auto v = value.get<std::uint64_t>();
        if (v <= static_cast<std::uint64_t>(INT64_MAX)) return Parameter(static_cast<std::int64_t>(v));
        return Parameter(TavroText::prefix(std::to_string(v), textLimit));
    }
    case nlohmann::json::value_t::number_float:
        return Parameter(value.get<double>());
    case nlohmann::json::value_t::string:
        return Parameter(TavroText::prefix(value.get_ref<const std::string&>(), textLimit));
    default:
        return Parameter(TavroText::prefix(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), textLimit));
    }
}

std::optional<TavroAnalytics::Parameter> parameter(const TavroAnalytics::Value& value) {
    using Parameter = TavroAnalytics::Parameter;
    return std::visit(
        [](const auto& v) -> std::optional<Parameter> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return std::nullopt;
            } else if constexpr (std::is_same_v<T, bool>) {
                return Parameter(std::int64_t(v ? 1 : 0));
            } else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::int64_t>) {
                return Parameter(static_cast<std::int64_t>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return Parameter(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return Parameter(TavroText::prefix(v, textLimit));
            } else if constexpr (std::is_same_v<T, TavroAnalytics::Value::Date>) {
                return Parameter(TavroText::prefix(dateText(v), textLimit));
            } else {
                return jsonParameter(v);
            }
        },
        value.storage());
}

void firebase(const std::string& event, const TavroAnalytics::Parameters& parameters) {
    const auto analytics = objc::Runtime::classNamed("FIRAnalytics");
    constexpr std::string_view selector = "logEventWithName:parameters:";
    if (!analytics || !analytics->respondsTo(selector)) return;
    nlohmann::json dictionary = nlohmann::json::object();
    for (const auto& entry : parameters) {
        std::visit([&](const auto& v) { dictionary[entry.first] = v; }, entry.second);
    }
    analytics->send(selector, {objc::Value(event), objc::Value(std::move(dictionary))});
}

}  // namespace

bool TavroAnalytics::enabled() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.enabled;
}

void TavroAnalytics::setEnabled(bool enabled) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.enabled = enabled;
}

TavroAnalytics::Sink TavroAnalytics::sink() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.sink;
}

void TavroAnalytics::setSink(Sink sink) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.sink = std::move(sink);
}

void TavroAnalytics::log(std::string_view event, const Fields& fields) {
    if (!enabled()) return;
    const Sink target = sink();
    if (!target) return;

    Parameters parameters;
    for (const auto& [name, value] : fields) {
        auto converted = parameter(value);
        if (!converted) continue;
        parameters[TavroText::prefix(name, nameLimit)] = std::move(*converted);
    }
    parameters["tavro_sdk"] = std::string("1.0.0");
    if (const auto pack = TavroPacks::current()) parameters["tavro_pack"] = std::int64_t(pack->version);
    target(TavroText::prefix("tavro_" + std::string(event), nameLimit), parameters);
}

std::string TavroAnalytics::engine(const TavroModel* model) {
    if (!model) return "rules";
    switch (model->kind()) {
        case TavroModel::Kind::platform: return "apple";
        case TavroModel::Kind::downloadable: return "local";
        case TavroModel::Kind::other: break;
    }
    return "model";
}

std::string TavroAnalytics::reason(std::string_view text) {
    const std::string lowered = TavroText::lower(text);
    const auto has = [&](std::string_view word) { return lowered.find(word) != std::string::npos; };
    if (has("memory")) return "low_memory";
    if (has("damaged") || has("missing") || has("bytes")) return "bad_file";
    if (has("background")) return "background";
    if (has("stopped") || has("cancel")) return "stopped";
    if (has("mlx") || has("metal") || has("gpu")) return "gpu";
    return "other";
}

void TavroAnalytics::reset() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.enabled = true;
    b.sink = firebase;
}

}  // namespace tavro
