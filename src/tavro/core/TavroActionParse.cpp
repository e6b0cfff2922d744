// Reading an action out of a model's reply. Forgiving about form (fences, prose around the object,
// other kind words, numbers as text), strict about meaning: an unknown kind gives nothing.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>

#include <nlohmann/json.hpp>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "platform/foundation/BoundedJSON.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroText.h"

namespace tavro {

namespace {

using Kind = TavroAction::Kind;
using nlohmann::json;

// Other words models use for the kinds, keyed by the normalised word (lower case, "_" for blanks).
const std::unordered_map<std::string_view, Kind>& aliases() {
    static const std::unordered_map<std::string_view, Kind> table{
        {"tap", Kind::click},
        {"press", Kind::click},
        {"activate", Kind::click},
        {"toggle", Kind::click},
        {"check", Kind::click},
        {"fill", Kind::type},
        {"input", Kind::type},
        {"enter", Kind::type},
        {"write", Kind::type},
        {"set", Kind::type},
        {"choose", Kind::select},
        {"pick", Kind::select},
        {"adjust", Kind::select},
        {"goto", Kind::navigate},
        {"go_to", Kind::navigate},
        {"open", Kind::navigate},
        {"route", Kind::navigate},
        {"question", Kind::ask},
        {"ask_user", Kind::ask},
        {"fling", Kind::swipe},
        {"slide", Kind::swipe},
        {"drag", Kind::swipe},
        {"long_press", Kind::longPress},
        {"longpress", Kind::longPress},
        {"hold", Kind::longPress},
        {"press_and_hold", Kind::longPress},
        {"browser", Kind::openWeb},
        {"open_web", Kind::openWeb},
        {"web", Kind::openWeb},
        {"google", Kind::openWeb},
        {"copy_text", Kind::copy},
        {"paste_text", Kind::paste},
        {"save_to_photos", Kind::saveImage},
        {"save_photo", Kind::saveImage},
        {"save_image", Kind::saveImage},
        {"share_sheet", Kind::share},
        {"finish", Kind::done},
        {"answer", Kind::done},
        {"complete", Kind::done},
        {"stop", Kind::fail},
        {"error", Kind::fail},
    };
    return table;
}

// The kinds by their names in lower case ("longpress", "openweb").
const std::unordered_map<std::string, Kind>& lowerCaseNames() {
    static const std::unordered_map<std::string, Kind> table = [] {
        std::unordered_map<std::string, Kind> names;
        for (const Kind kind : allKinds) names.emplace(TavroText::lower(kindName(kind)), kind);
        return names;
    }();
    return table;
}

// Blanks (spaces, tabs and other horizontal white space, not line breaks) trimmed from both ends.
std::string trimBlanks(std::string_view text) {
    std::size_t begin = text.size();
    std::size_t end = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t at = i;
        UChar32 c = 0;
        U8_NEXT(text.data(), i, text.size(), c);
        if (c >= 0 && u_isblank(c)) continue;
        if (begin == text.size()) begin = at;
        end = i;
    }
    return begin < end ? std::string(text.substr(begin, end - begin)) : std::string();
}

// Every occurrence of `what` removed, left to right.
std::string removeAll(std::string_view text, std::string_view what) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, from)) {
        out.append(text.substr(from, at - from));
        from = at + what.size();
    }
    out.append(text.substr(from));
    return out;
}

// True when arrays and objects nest deeper than `limit` anywhere (strings are skipped).
std::optional<Kind> kindOf(const json& object) {
    const auto found = object.find("action");
    const std::string raw = (found != object.end() && found->is_string()) ? found->get<std::string>() : std::string();
    std::string word = trimBlanks(TavroText::lower(raw));
    for (auto& c : word) {
        if (c == ' ') c = '_';
    }
    const auto& names = lowerCaseNames();
    if (const auto named = names.find(word); named != names.end()) return named->second;
    const auto& table = aliases();
    if (const auto alias = table.find(word); alias != table.end()) return alias->second;
    return std::nullopt;
}

// The numeric characters of a text read as a plain decimal number; nothing when none are left,
// when one is not an ASCII digit, or when the number does not fit in 64 bits.
std::optional<std::int64_t> idFromText(std::string_view text) {
    std::int64_t value = 0;
    bool any = false;
    std::size_t i = 0;
    while (i < text.size()) {
        UChar32 c = 0;
        U8_NEXT(text.data(), i, text.size(), c);
        if (c < 0 || (U_GET_GC_MASK(c) & U_GC_N_MASK) == 0) continue;
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = static_cast<int>(c - '0');
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        any = true;
    }
    if (!any) return std::nullopt;
    return value;
}

// A JSON number's integer value, cut toward zero; true and false count as 1 and 0.
// Negative values (the whole screen is -1) and values beyond 64 bits mean no id.
std::optional<std::int64_t> idFromNumber(const json& v) {
    if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) {
        const auto n = v.get<std::int64_t>();
        if (n < 0) return std::nullopt;
        return n;
    }
    if (v.is_number_float()) {
        const double d = std::trunc(v.get<double>());
        // 2^63 is the first value that does not fit.
        if (!std::isfinite(d) || d < 0 || d >= 9223372036854775808.0) return std::nullopt;
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::optional<std::int64_t> idOf(const json& object) {
    const auto found = object.find("id");
    if (found == object.end()) return std::nullopt;
    const json& v = *found;
    if (!v.is_string()) return idFromNumber(v);
    const std::string& text = v.get_ref<const std::string&>();
    // A text that is itself a number ("-1", "3.9") means that number: keeping only its digits
    // would turn the whole screen into element 1, or 3.9 into 39.
    const std::string trimmed = TavroText::trim(text);
    if (!trimmed.empty() && (trimmed[0] == '-' || (trimmed[0] >= '0' && trimmed[0] <= '9'))) {
        const json number = json::parse(trimmed, nullptr, /*allow_exceptions=*/false);
        if (number.is_number()) return idFromNumber(number);
    }
    return idFromText(text);
}

std::string textOf(const json& object) {
    for (const char* key : {"text", "value", "answer", "route"}) {
        const auto found = object.find(key);
        if (found != object.end() && found->is_string()) return found->get<std::string>();
    }
    return {};
}

bool submitOf(const json& object) {
    const auto found = object.find("submit");
    if (found == object.end()) return false;
    const json& v = *found;
    if (v.is_boolean()) return v.get<bool>();
    if (v.is_number()) return v.get<double>() == 1.0;
    if (v.is_string()) return TavroText::lower(v.get_ref<const std::string&>()) == "true";
    return false;
}

std::string thoughtOf(const json& object) {
    const auto found = object.find("thought");
    return (found != object.end() && found->is_string()) ? found->get<std::string>() : std::string();
}

std::optional<TavroAction> parseReply(std::string_view reply) {
    const std::string unfenced = removeAll(removeAll(reply, "```json"), "```");
    // Only an object is accepted, so the text must hold a "{" with a "}" after it; trimming the
    // ends first would change nothing in what is read.
    const std::size_t open = unfenced.find('{');
    const std::size_t close = unfenced.rfind('}');
    if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
    const std::string_view body = std::string_view(unfenced).substr(open, close - open + 1);
    const json object = fnd::parseJSON(body);
    if (!object.is_object()) return std::nullopt;

    const auto kind = kindOf(object);
    if (!kind) return std::nullopt;
    return TavroAction{
        .kind = *kind,
        .id = idOf(object),
        .text = textOf(object),
        .submit = submitOf(object),
        .thought = thoughtOf(object),
    };
}

}  // namespace

std::optional<TavroAction> TavroAction::parse(std::string_view reply) {
    try {
        return parseReply(reply);
    } catch (...) {
        // Out of memory on a huge reply, or anything else unforeseen: no action from this reply.
        return std::nullopt;
    }
}

}  // namespace tavro
