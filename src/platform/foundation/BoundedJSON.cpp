#include "platform/foundation/BoundedJSON.h"

#include <new>

namespace fnd {

namespace {

struct TooDeep {};

}  // namespace

nlohmann::json parseJSON(std::string_view text) {
    using Event = nlohmann::json::parse_event_t;
    // The parser tells each callback how many containers enclose the one that starts; stopping
    // there ends the parse before anything deeper is built.
    const nlohmann::json::parser_callback_t bounded = [](int depth, Event event, nlohmann::json&) {
        if ((event == Event::object_start || event == Event::array_start) && depth >= maxJSONDepth) throw TooDeep{};
        return true;
    };
    try {
        return nlohmann::json::parse(text.begin(), text.end(), bounded, false);
    } catch (const TooDeep&) {
    } catch (const std::bad_alloc&) {
    }
    return nlohmann::json(nlohmann::json::value_t::discarded);
}

}  // namespace fnd
