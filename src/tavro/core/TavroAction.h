// One step to perform on a screen: what to do (the kind), on which element, with which argument.
// Models, the rules engine and replayed recipes produce actions; the agent checks, describes,
// approves and performs them. `parse` reads an action out of a model's free-text reply,
// `validate` checks and repairs one against the screen it is meant for, and `describe` writes it
// as one short sentence for people.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

struct TavroScreen;

struct TavroAction {
    enum class Kind {
        click,
        type,
        select,
        scroll,
        swipe,
        longPress,
        navigate,
        back,
        ask,
        done,
        fail,
        openWeb,
        copy,
        paste,
        saveImage,
        share,
    };

    Kind kind = Kind::click;
    std::optional<std::int64_t> id;
    std::string text;
    bool submit = false;
    std::string thought;

    bool operator==(const TavroAction&) const = default;

    // Kinds a surface carries out on the screen's controls: click, type, select, scroll, swipe,
    // longPress, navigate and back.
    bool isSurfaceAction() const;
    // Kinds the agent carries out itself, beside the screen: copy, paste, saveImage and share.
    bool isLocalOperation() const;

    // Reads one action from a model's reply: an object in the form the system prompt teaches,
    // possibly fenced, wrapped in prose, with kind words in other forms and numbers as text.
    // Any problem gives nothing; never throws.
    static std::optional<TavroAction> parse(std::string_view reply);

    struct Validation;

    // Checks a proposed action against the screen it is meant for and the app's route names,
    // repairing what can be repaired without guessing; otherwise refuses it with a one-line hint.
    static Validation validate(const TavroAction& action, const TavroScreen& on, const std::vector<std::string>& routes);

    // One short sentence for people, in the user's language. `screen` may be nullptr.
    std::string describe(const TavroScreen* screen) const;
};

// What `validate` gives: exactly one of the two is present, the (possibly corrected) action or a
// hint for the model.
struct TavroAction::Validation {
    std::optional<TavroAction> action;
    std::optional<std::string> hint;

    bool operator==(const Validation&) const = default;
};

// Every kind, in the fixed order above.
inline constexpr std::array<TavroAction::Kind, 16> allKinds = {
    TavroAction::Kind::click,    TavroAction::Kind::type,      TavroAction::Kind::select,  TavroAction::Kind::scroll,
    TavroAction::Kind::swipe,    TavroAction::Kind::longPress, TavroAction::Kind::navigate, TavroAction::Kind::back,
    TavroAction::Kind::ask,      TavroAction::Kind::done,      TavroAction::Kind::fail,    TavroAction::Kind::openWeb,
    TavroAction::Kind::copy,     TavroAction::Kind::paste,     TavroAction::Kind::saveImage, TavroAction::Kind::share,
};

// The text form of a kind: its name exactly ("longPress", "openWeb").
std::string_view kindName(TavroAction::Kind kind);
// The kind whose text form is exactly this text (letter case must match); nothing otherwise.
std::optional<TavroAction::Kind> kindFromName(std::string_view name);

}  // namespace tavro
