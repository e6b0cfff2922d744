#include "tavro/memory/TavroMemory.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <numeric>
#include <stdexcept>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/BoundedJSON.h"
#include "platform/foundation/Console.h"
#include "tavro/core/TavroText.h"
#include "tavro/diagnostics/TavroDebug.h"

namespace tavro {

namespace {

using Clock = std::chrono::system_clock;
using Json = nlohmann::json;
using CodePoints = std::vector<UChar32>;

// Stands for one run of white space in a folded literal; no code point has this value.
constexpr UChar32 whiteRun = -1;

// ---- Code points ----

// The code points of valid UTF-8, with the byte offset of each (and the text's size at the end).
void decode(std::string_view text, CodePoints& points, std::vector<std::size_t>* offsets) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), std::numeric_limits<std::int32_t>::max()));
    std::int32_t i = 0;
    while (i < length) {
        if (offsets) offsets->push_back(static_cast<std::size_t>(i));
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        points.push_back(c < 0 ? 0xFFFD : c);
    }
    if (offsets) offsets->push_back(static_cast<std::size_t>(i));
}

std::string encode(const CodePoints& points, std::size_t from, std::size_t to) {
    std::string out;
    out.reserve(to - from);
    for (std::size_t i = from; i < to; ++i) {
        char buffer[U8_MAX_LENGTH];
        std::int32_t n = 0;
        UBool error = false;
        U8_APPEND(reinterpret_cast<std::uint8_t*>(buffer), n, U8_MAX_LENGTH, points[i], error);
        if (!error) out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

UChar32 fold(UChar32 c) { return u_foldCase(c, U_FOLD_CASE_DEFAULT); }
bool isWhite(UChar32 c) { return u_isUWhiteSpace(c); }
bool isWordCharacter(UChar32 c) { return u_isalnum(c) || u_charType(c) == U_NON_SPACING_MARK; }

// ---- Templates ----

// "{index}". Built by appending: GCC 12 warns falsely about `"{" + std::string` here.
std::string slotMarker(std::size_t index) {
    std::string marker(1, '{');
    marker.append(std::to_string(index));
    marker.push_back('}');
    return marker;
}

// One part of a template: literal text, or a slot.
struct Part {
    bool slot = false;
    std::size_t index = 0;
    std::string literal;
};

// Reads a stored template: "{{" and "}}" are literal braces, "{digits}" is a slot, any other
// brace is literal.
std::vector<Part> parseTemplate(std::string_view stored) {
    std::vector<Part> parts;
    auto literal = [&parts]() -> std::string& {
        if (parts.empty() || parts.back().slot) parts.push_back(Part{});
        return parts.back().literal;
    };
    std::size_t i = 0;
    while (i < stored.size()) {
        const char c = stored[i];
        if ((c == '{' || c == '}') && i + 1 < stored.size() && stored[i + 1] == c) {
            literal() += c;
            i += 2;
            continue;
        }
        if (c == '{') {
            std::size_t end = i + 1;
            while (end < stored.size() && stored[end] >= '0' && stored[end] <= '9') ++end;
            const std::size_t digits = end - i - 1;
            if (digits > 0 && digits <= 9 && end < stored.size() && stored[end] == '}') {
                std::size_t index = 0;
                for (std::size_t j = i + 1; j < end; ++j) index = index * 10 + static_cast<std::size_t>(stored[j] - '0');
                parts.push_back(Part{.slot = true, .index = index});
                i = end + 1;
                continue;
            }
        }
        literal() += c;
        ++i;
    }
    return parts;
}

std::string storeTemplate(const std::vector<Part>& parts) {
    std::string out;
    for (const Part& part : parts) {
        out += part.slot ? slotMarker(part.index) : TavroRecipeStep::escaped(part.literal);
    }
    return out;
}

// A template ready for matching: literals as case-folded code points with each run of white
// space as one `whiteRun`.
struct Piece {
    bool slot = false;
    std::size_t index = 0;
    CodePoints units;
};

struct Pattern {
    std::vector<Piece> pieces;
    std::size_t slotCount = 0;  // highest slot index + 1
    std::size_t markers = 0;    // slot markers in the template
    bool hasSlots = false;
    std::string norm;  // of the whole literal text, for templates without slots
    std::string key;   // identity of the template: normalised literals and slot markers
    // A template that would match every goal (only slots and punctuation) or no goal is never used.
    bool usable = false;
};

CodePoints foldedUnits(std::string_view text) {
    CodePoints points;
    decode(text, points, nullptr);
    CodePoints units;
    units.reserve(points.size());
    for (const UChar32 c : points) {
        if (isWhite(c)) {
            if (units.empty() || units.back() != whiteRun) units.push_back(whiteRun);
        } else {
            units.push_back(fold(c));
        }
    }
    return units;
}

Pattern compile(std::string_view stored) {
    Pattern pattern;
    bool meaningfulLiteral = false;
    std::string literalText;
    for (Part& part : parseTemplate(stored)) {
        if (part.slot) {
            pattern.hasSlots = true;
            pattern.slotCount = std::max(pattern.slotCount, part.index + 1);
            ++pattern.markers;
            pattern.key.push_back('\x01');
            pattern.key.append(std::to_string(part.index));
            pattern.key.push_back('\x02');
            pattern.pieces.push_back(Piece{.slot = true, .index = part.index});
        } else {
            const std::string norm = TavroText::norm(part.literal);
            if (!norm.empty()) meaningfulLiteral = true;
            pattern.key += norm;
            literalText += part.literal;
            pattern.pieces.push_back(Piece{.units = foldedUnits(part.literal)});
        }
    }
    pattern.norm = TavroText::norm(literalText);
    pattern.usable = pattern.hasSlots ? meaningfulLiteral : !pattern.norm.empty();
    return pattern;
}

// ---- Matching a goal ----

struct PreparedGoal {
    std::string text;                  // trimmed, valid UTF-8
    CodePoints folded;                 // per code point
    std::vector<std::uint8_t> white;   // per code point
    std::vector<std::size_t> offsets;  // byte offset per code point, and the size at the end
    std::vector<std::size_t> nextNonWhite;  // first non-white index at or after each position
    std::optional<std::string> norm;   // computed when first needed

    explicit PreparedGoal(std::string_view goal) : text(TavroText::trim(TavroText::repaired(goal))) {
        CodePoints points;
        decode(text, points, &offsets);
        const std::size_t n = points.size();
        folded.resize(n);
        white.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            white[i] = isWhite(points[i]);
            folded[i] = white[i] ? whiteRun : fold(points[i]);
        }
        nextNonWhite.resize(n + 1);
        nextNonWhite[n] = n;
        for (std::size_t i = n; i-- > 0;) nextNonWhite[i] = white[i] ? nextNonWhite[i + 1] : i;
    }

    std::size_t size() const { return folded.size(); }

    const std::string& normalised() {
        if (!norm) norm = TavroText::norm(text);
        return *norm;
    }
};

constexpr std::size_t noMatch = std::numeric_limits<std::size_t>::max();
constexpr std::size_t maxReach = std::size_t{1} << 26;

// Where the literal ends when it matches at `at`, else `noMatch`. A run of white space in the
// literal takes the whole run of white space in the goal.
std::size_t matchLiteral(const CodePoints& units, const PreparedGoal& goal, std::size_t at) {
    const std::size_t n = goal.size();
    std::size_t p = at;
    for (const UChar32 unit : units) {
        if (p >= n) return noMatch;
        if (unit == whiteRun) {
            if (!goal.white[p]) return noMatch;
            while (p < n && goal.white[p]) ++p;
        } else {
            if (goal.folded[p] != unit) return noMatch;
            ++p;
        }
    }
    return p;
}

// Whether the literal can end exactly at the end of the goal (a quick test that rejects most
// templates before the full match).
bool literalCanEnd(const CodePoints& units, const PreparedGoal& goal) {
    std::size_t p = goal.size();
    for (std::size_t i = units.size(); i-- > 0;) {
        if (p == 0) return false;
        if (units[i] == whiteRun) {
            if (!goal.white[p - 1]) return false;
            while (p > 0 && goal.white[p - 1]) --p;
        } else {
            if (goal.folded[p - 1] != units[i]) return false;
            --p;
        }
    }
    return true;
}

// Matches a template with slots against the whole goal. Slots take the shortest text that lets
// the rest match, and each must hold more than white space. Reachability is worked out from the
// end of the goal backwards, so the time is linear in the goal per piece, whatever the goal.
struct Scratch {
    std::vector<std::uint8_t> reach;
    std::vector<std::uint8_t> anyFrom;
};

std::optional<std::vector<std::string>> matchSlots(const Pattern& pattern, const PreparedGoal& goal, Scratch& scratch) {
    const auto& pieces = pattern.pieces;
    const std::size_t n = goal.size();
    const std::size_t k = pieces.size();
    if (k == 0) return std::nullopt;
    if (!pieces.front().slot && matchLiteral(pieces.front().units, goal, 0) == noMatch) return std::nullopt;
    if (!pieces.back().slot && !literalCanEnd(pieces.back().units, goal)) return std::nullopt;

    // reach[i * (n + 1) + p]: pieces i.. match goal[p..n). A template and a goal both so long
    // that the table would not fit in a few tens of megabytes are taken as not matching.
    const std::size_t width = n + 1;
    if (k + 1 > maxReach / width) return std::nullopt;
    std::vector<std::uint8_t>& reach = scratch.reach;
    std::vector<std::uint8_t>& anyFrom = scratch.anyFrom;
    reach.assign((k + 1) * width, 0);
    anyFrom.assign(width + 1, 0);
    reach[k * width + n] = 1;
    for (std::size_t i = k; i-- > 0;) {
        const std::uint8_t* next = &reach[(i + 1) * width];
        std::uint8_t* here = &reach[i * width];
        if (pieces[i].slot) {
            anyFrom[width] = 0;
            for (std::size_t e = width; e-- > 0;) anyFrom[e] = next[e] || anyFrom[e + 1];
            for (std::size_t p = 0; p <= n; ++p) {
                const std::size_t first = goal.nextNonWhite[p];
                here[p] = first < n && anyFrom[first + 1];
            }
        } else {
            for (std::size_t p = 0; p <= n; ++p) {
                const std::size_t end = matchLiteral(pieces[i].units, goal, p);
                here[p] = end != noMatch && next[end];
            }
        }
    }
    if (!reach[0]) return std::nullopt;

    std::vector<std::string> values(pattern.slotCount);
    std::vector<std::uint8_t> filled(pattern.slotCount, 0);
    std::size_t p = 0;
    for (std::size_t i = 0; i < k; ++i) {
        if (!pieces[i].slot) {
            p = matchLiteral(pieces[i].units, goal, p);
            continue;
        }
        const std::uint8_t* next = &reach[(i + 1) * width];
        std::size_t e = goal.nextNonWhite[p] + 1;
        while (!next[e]) ++e;
        if (!filled[pieces[i].index]) {
            const std::size_t from = goal.offsets[p];
            values[pieces[i].index] = TavroText::trim(std::string_view(goal.text).substr(from, goal.offsets[e] - from));
            filled[pieces[i].index] = 1;
        }
        p = e;
    }
    return values;
}

// ---- Dates ----

// Any time of the years 0000 to 9999 (what the text form can carry); others are clamped to them.
std::string isoDate(TavroRecipe::Time time) {
    using namespace std::chrono;
    constexpr auto first = sys_days{year{0} / January / 1};
    constexpr auto last = sys_days{year{9999} / December / 31} + days{1} - milliseconds{1};
    const auto ms = std::clamp(time, TavroRecipe::Time{first}, TavroRecipe::Time{last});
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss clock{ms - day};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return buffer;
}

// Reads "YYYY-MM-DDTHH:MM:SS" with an optional fraction (kept to the millisecond) and a final "Z".
std::optional<TavroRecipe::Time> parseIsoDate(std::string_view text) {
    using namespace std::chrono;
    auto number = [&text](std::size_t at, std::size_t length) -> std::optional<int> {
        if (at + length > text.size()) return std::nullopt;
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const auto y = number(0, 4), mo = number(5, 2), d = number(8, 2), h = number(11, 2), mi = number(14, 2),
               s = number(17, 2);
    if (!y || !mo || !d || !h || !mi || !s || *h > 23 || *mi > 59 || *s > 60) return std::nullopt;
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
    if (!date.ok()) return std::nullopt;
    std::size_t i = 19;
    milliseconds fraction{0};
    if (text[i] == '.') {
        ++i;
        std::int64_t scale = 100;
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            fraction += milliseconds{(text[i] - '0') * scale};
            scale /= 10;
            ++i;
        }
        if (i == start) return std::nullopt;
    }
    if (i + 1 != text.size() || text[i] != 'Z') return std::nullopt;
    return TavroRecipe::Time{sys_days{date}} + hours{*h} + minutes{*mi} + seconds{*s} + fraction;
}

// ---- JSON ----

Json targetJson(const TavroTarget& target) {
    return Json{{"kind", target.kind}, {"label", target.label}, {"keys", target.keys}, {"screen", target.screen}};
}

Json recipeJson(const TavroRecipe& recipe) {
    Json steps = Json::array();
    for (const TavroRecipeStep& step : recipe.steps) {
        Json item{{"kind", step.kind}, {"text", step.text}, {"submit", step.submit}};
        if (step.target) item["target"] = targetJson(*step.target);
        if (!step.state.empty()) item["state"] = step.state;
        steps.push_back(std::move(item));
    }
    return Json{{"id", recipe.id.text()},
                {"goal", recipe.goal},
                {"template", recipe.template_},
                {"steps", std::move(steps)},
                {"runs", recipe.runs},
                {"created", isoDate(recipe.created)},
                {"lastUsed", isoDate(recipe.lastUsed)}};
}

std::string text(const Json& object, const char* name) {
    const Json& value = object.at(name);
    if (!value.is_string()) throw std::runtime_error(std::string(name) + " is not a text");
    return value.get<std::string>();
}

std::vector<std::string> texts(const Json& object, const char* name) {
    const Json& value = object.at(name);
    if (!value.is_array()) throw std::runtime_error(std::string(name) + " is not a list");
    std::vector<std::string> out;
    for (const Json& item : value) {
        if (!item.is_string()) throw std::runtime_error(std::string(name) + " holds a non-text");
        out.push_back(item.get<std::string>());
    }
    return out;
}

TavroRecipe::Time date(const Json& object, const char* name) {
    const auto time = parseIsoDate(text(object, name));
    if (!time) throw std::runtime_error(std::string(name) + " is not a date");
    return *time;
}

TavroRecipe recipeFromJson(const Json& object) {
    if (!object.is_object()) throw std::runtime_error("recipe is not an object");
    TavroRecipe recipe;
    const auto id = fnd::Uuid::parse(text(object, "id"));
    if (!id) throw std::runtime_error("id is not a UUID");
    recipe.id = *id;
    recipe.goal = text(object, "goal");
    recipe.template_ = text(object, "template");
    const Json& runs = object.at("runs");
    if (!runs.is_number_integer()) throw std::runtime_error("runs is not an integer");
    // A count beyond the signed range is read as the largest count, not wrapped.
    recipe.runs = runs.is_number_unsigned() && runs.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)
                      ? std::numeric_limits<std::int64_t>::max()
                      : runs.get<std::int64_t>();
    recipe.created = date(object, "created");
    recipe.lastUsed = date(object, "lastUsed");
    const Json& steps = object.at("steps");
    if (!steps.is_array()) throw std::runtime_error("steps is not a list");
    for (const Json& item : steps) {
        if (!item.is_object()) throw std::runtime_error("step is not an object");
        TavroRecipeStep step{.kind = text(item, "kind"), .text = text(item, "text")};
        const Json& submit = item.at("submit");
        if (!submit.is_boolean()) throw std::runtime_error("submit is not a Boolean");
        step.submit = submit.get<bool>();
        // Kept only by recipes learned since a checkbox's state was kept; older ones have none.
        if (const auto state = item.find("state"); state != item.end() && state->is_string()) step.state = *state;
        if (const auto target = item.find("target"); target != item.end() && !target->is_null()) {
            if (!target->is_object()) throw std::runtime_error("target is not an object");
            step.target = TavroTarget{.kind = text(*target, "kind"),
                                      .label = text(*target, "label"),
                                      .keys = texts(*target, "keys"),
                                      .screen = text(*target, "screen")};
        }
        recipe.steps.push_back(std::move(step));
    }
    return recipe;
}

// ---- Files ----

// ---- Learning ----

bool slotKind(TavroAction::Kind kind) {
    using K = TavroAction::Kind;
    return kind == K::type || kind == K::select || kind == K::copy || kind == K::paste;
}

// A template being built: literal code points and slots.
struct Draft {
    bool slot = false;
    std::size_t index = 0;
    CodePoints points;
};

// Turns the first occurrence of `wanted` (case-insensitive) in a literal of the draft into a
// slot; an occurrence that stands as whole words is preferred. False when there is none.
bool carveSlot(std::vector<Draft>& drafts, const CodePoints& wanted, std::size_t index) {
    const std::size_t length = wanted.size();
    std::size_t foundPart = noMatch, foundAt = 0;
    bool foundWhole = false;
    for (std::size_t part = 0; part < drafts.size() && !foundWhole; ++part) {
        if (drafts[part].slot) continue;
        const CodePoints& points = drafts[part].points;
        if (points.size() < length) continue;
        for (std::size_t at = 0; at + length <= points.size(); ++at) {
            bool same = true;
            for (std::size_t j = 0; j < length && same; ++j) same = fold(points[at + j]) == wanted[j];
            if (!same) continue;
            const bool wordBefore = at > 0 && isWordCharacter(points[at - 1]) && isWordCharacter(points[at]);
            const bool wordAfter = at + length < points.size() && isWordCharacter(points[at + length]) &&
                                   isWordCharacter(points[at + length - 1]);
            if (!wordBefore && !wordAfter) {
                foundPart = part;
                foundAt = at;
                foundWhole = true;
                break;
            }
            if (foundPart == noMatch) {
                foundPart = part;
                foundAt = at;
            }
        }
    }
    if (foundPart == noMatch) return false;
    Draft& found = drafts[foundPart];
    Draft before{.points = CodePoints(found.points.begin(), found.points.begin() + static_cast<std::ptrdiff_t>(foundAt))};
    Draft after{.points = CodePoints(found.points.begin() + static_cast<std::ptrdiff_t>(foundAt + length), found.points.end())};
    std::vector<Draft> replacement;
    if (!before.points.empty()) replacement.push_back(std::move(before));
    replacement.push_back(Draft{.slot = true, .index = index});
    if (!after.points.empty()) replacement.push_back(std::move(after));
    drafts.erase(drafts.begin() + static_cast<std::ptrdiff_t>(foundPart));
    drafts.insert(drafts.begin() + static_cast<std::ptrdiff_t>(foundPart), replacement.begin(), replacement.end());
    return true;
}

struct Generalised {
    std::string template_;
    std::vector<TavroRecipeStep> steps;
};

Generalised generalise(const std::string& goal, const std::vector<TavroPerformedStep>& performed, bool withSlots) {
    std::vector<Draft> drafts(1);
    decode(goal, drafts[0].points, nullptr);
    std::vector<CodePoints> slotTexts;  // folded, by slot index
    Generalised result;
    for (const TavroPerformedStep& done : performed) {
        TavroRecipeStep step{.kind = std::string(kindName(done.action.kind)), .submit = done.action.submit};
        const std::string original = TavroText::repaired(done.action.text);
        step.text = TavroRecipeStep::escaped(original);
        const std::string trimmed = TavroText::trim(original);
        if (withSlots && slotKind(done.action.kind) && !trimmed.empty()) {
            CodePoints wanted;
            decode(trimmed, wanted, nullptr);
            for (UChar32& c : wanted) c = fold(c);
            auto known = std::find(slotTexts.begin(), slotTexts.end(), wanted);
            if (known != slotTexts.end()) {
                step.text = slotMarker(static_cast<std::size_t>(known - slotTexts.begin()));
            } else if (carveSlot(drafts, wanted, slotTexts.size())) {
                step.text = slotMarker(slotTexts.size());
                slotTexts.push_back(std::move(wanted));
            }
        }
        if (done.element) {
            step.target = TavroTarget{.kind = TavroText::repaired(done.element->kind),
                                      .label = TavroText::repaired(done.element->label),
                                      .keys = {},
                                      .screen = TavroText::repaired(done.location)};
            for (const std::string& key : done.element->keys) step.target->keys.push_back(TavroText::repaired(key));
            // A tap on a checkbox turned it over: what it was left in is what a replay must leave.
            if (done.action.kind == TavroAction::Kind::click && done.element->kind == "checkbox")
                step.state = done.element->isOn() ? "off" : "on";
        }
        result.steps.push_back(std::move(step));
    }
    std::vector<Part> parts;
    for (const Draft& draft : drafts) {
        parts.push_back(draft.slot ? Part{.slot = true, .index = draft.index}
                                   : Part{.literal = encode(draft.points, 0, draft.points.size())});
    }
    result.template_ = storeTemplate(parts);
    return result;
}

}  // namespace

struct TavroMemory::Entry {
    TavroRecipe recipe;
    Pattern pattern;
};

namespace {

std::int64_t plus(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

// Whether every slot marker of the recipe (in its template and in its steps' texts) names one of
// the template's own slots: a learned template numbers its n slots 0 to n - 1.
bool slotsWithinTemplate(const TavroRecipe& recipe, const Pattern& pattern) {
    if (pattern.slotCount > pattern.markers) return false;
    for (const TavroRecipeStep& step : recipe.steps) {
        for (const Part& part : parseTemplate(step.text)) {
            if (part.slot && part.index >= pattern.markers) return false;
        }
        // More digits than a marker may hold leaves the step unfillable.
        std::vector<std::string> values(pattern.markers);
        if (!TavroRecipeStep::filled(step.text, values)) return false;
    }
    return true;
}

}  // namespace

TavroMemory::TavroMemory(std::filesystem::path file) : file_(file), store_(std::move(file)) {
    const std::lock_guard lock(mutex_);
    store_.load([this](std::string_view bytes) { return read(bytes); });
}

TavroMemory::~TavroMemory() = default;

std::filesystem::path TavroMemory::defaultURL() {
    return fnd::AppDirectories::applicationSupport() / "TavroSDK" / "recipes.json";
}

bool TavroMemory::read(std::string_view bytes) {
    try {
        const Json list = fnd::parseJSON(bytes);
        if (!list.is_array()) return false;
        std::vector<Entry> loaded;
        loaded.reserve(list.size());
        bool dropped = false;
        for (const Json& item : list) {
            TavroRecipe recipe = recipeFromJson(item);
            Pattern pattern = compile(recipe.template_);
            if (!slotsWithinTemplate(recipe, pattern)) {
                dropped = true;
                continue;
            }
            loaded.push_back(Entry{std::move(recipe), std::move(pattern)});
        }
        // What was learned before the file could be read goes on top of it.
        for (Entry& entry : entries_) absorb(loaded, std::move(entry), false);
        evict(loaded, noMatch);
        entries_ = std::move(loaded);
        if (dropped) store_.keepCopy(bytes);
        return true;
    } catch (...) {
        return false;
    }
}

std::size_t TavroMemory::absorb(std::vector<Entry>& into, Entry entry, bool oneMoreRun) {
    const auto same = std::find_if(into.begin(), into.end(),
                                   [&entry](const Entry& kept) { return kept.pattern.key == entry.pattern.key; });
    if (same == into.end()) {
        into.push_back(std::move(entry));
        return into.size() - 1;
    }
    TavroRecipe& kept = same->recipe;
    kept.steps = std::move(entry.recipe.steps);
    kept.runs = plus(kept.runs, oneMoreRun ? 1 : entry.recipe.runs);
    kept.lastUsed = std::max(kept.lastUsed, entry.recipe.lastUsed);
    return static_cast<std::size_t>(same - into.begin());
}

void TavroMemory::evict(std::vector<Entry>& entries, std::size_t kept) {
    // Beyond the limit the least used recipe goes, the one used longest ago first; never the one
    // just learned, which could otherwise never earn a second run.
    while (entries.size() > maxRecipes) {
        std::size_t victim = noMatch;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i == kept) continue;
            if (victim == noMatch) {
                victim = i;
                continue;
            }
            const TavroRecipe& a = entries[i].recipe;
            const TavroRecipe& b = entries[victim].recipe;
            if (a.runs < b.runs || (a.runs == b.runs && a.lastUsed < b.lastUsed)) victim = i;
        }
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(victim));
        if (kept != noMatch && victim < kept) --kept;
    }
}

std::optional<std::string> TavroMemory::save() {
    const bool saved = store_.save(
        [this] {
            Json list = Json::array();
            for (const Entry& entry : entries_) list.push_back(recipeJson(entry.recipe));
            return list.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
        },
        [this](std::string_view bytes) { return read(bytes); });
    if (saved) return std::nullopt;
    return store_.lastError();
}

void TavroMemory::reportUnsaved(const std::optional<std::string>& error) {
    // Saving is best effort: the recipes stay in memory and the next save writes them all.
    if (!error) return;
    const std::string line = "recipes not saved (" + *error + "); kept until the next save";
    // The host hears it whether or not the activity log is on.
    fnd::Console::write("[TAVRO_SDK] " + line);
    TavroDebug::logFromAnyThread("learn", line, false);
}

TavroRecipe::Time TavroMemory::now() {
    return std::chrono::floor<std::chrono::milliseconds>(Clock::now());
}

std::optional<std::pair<TavroRecipe, std::vector<std::string>>> TavroMemory::recall(
    std::string_view goal, const std::function<bool(const std::string&)>& accepts) const {
    PreparedGoal prepared(goal);
    if (prepared.size() == 0) return std::nullopt;
    const std::lock_guard lock(mutex_);
    std::vector<std::size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return entries_[a].recipe.runs > entries_[b].recipe.runs;
    });
    Scratch scratch;
    for (const std::size_t i : order) {
        const Entry& entry = entries_[i];
        if (!entry.pattern.usable) continue;
        if (!entry.pattern.hasSlots) {
            if (prepared.normalised() == entry.pattern.norm) return std::pair{entry.recipe, std::vector<std::string>{}};
            continue;
        }
        auto values = matchSlots(entry.pattern, prepared, scratch);
        if (values && accepts && !std::all_of(values->begin(), values->end(), accepts)) continue;
        if (values) return std::pair{entry.recipe, std::move(*values)};
    }
    return std::nullopt;
}

bool TavroMemory::learn(std::string_view goal, const std::vector<TavroPerformedStep>& steps) {
    const std::string trimmed = TavroText::trim(TavroText::repaired(goal));
    if (steps.empty() || TavroText::norm(trimmed).empty()) return false;

    Generalised learned = generalise(trimmed, steps, true);
    Pattern pattern = compile(learned.template_);
    if (pattern.hasSlots && !pattern.usable) {
        // Slots and punctuation alone would match any goal: keep the texts as they were typed
        // and recall the recipe only for this goal.
        learned = generalise(trimmed, steps, false);
        pattern = compile(learned.template_);
    }

    std::optional<std::string> unsaved;
    {
        const std::lock_guard lock(mutex_);
        const auto stamp = now();
        TavroRecipe recipe{.id = fnd::Uuid::random(),
                           .goal = trimmed,
                           .template_ = std::move(learned.template_),
                           .steps = std::move(learned.steps),
                           .runs = 1,
                           .created = stamp,
                           .lastUsed = stamp};
        const std::size_t kept = absorb(entries_, Entry{std::move(recipe), std::move(pattern)}, true);
        evict(entries_, kept);
        unsaved = save();
    }
    reportUnsaved(unsaved);
    return !unsaved;
}

void TavroMemory::reinforce(const fnd::Uuid& id) {
    std::optional<std::string> unsaved;
    {
        const std::lock_guard lock(mutex_);
        const auto found = std::find_if(entries_.begin(), entries_.end(),
                                        [&id](const Entry& entry) { return entry.recipe.id == id; });
        if (found == entries_.end()) return;
        found->recipe.runs = plus(found->recipe.runs, 1);
        found->recipe.lastUsed = now();
        unsaved = save();
    }
    reportUnsaved(unsaved);
}

std::vector<TavroRecipe> TavroMemory::recipes() const {
    const std::lock_guard lock(mutex_);
    std::vector<TavroRecipe> out;
    out.reserve(entries_.size());
    for (const Entry& entry : entries_) out.push_back(entry.recipe);
    return out;
}

void TavroMemory::setBeforeRenameForTesting(std::function<void(const std::filesystem::path&)> hook) {
    const std::lock_guard lock(mutex_);
    store_.setBeforeRename(std::move(hook));
}

}  // namespace tavro
