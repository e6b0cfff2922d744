#include "tavro/remote/TavroApproval.h"

#include <string>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/core/TavroText.h"
#include "tavro/remote/TavroPack.h"

namespace tavro {

namespace {

constexpr const char* payOrDeletePattern =
    "\\b(buy|purchase|pay|payment|checkout|check out|place (your )?order|order now|complete (purchase|order)|"
    "confirm (and )?pay|subscribe|donate|transfer|send money|delete|remove|erase|discard|"
    "cancel (my )?(account|subscription|order|membership)|close account|reset all|send|post|reply|share|upload|"
    "attach|submit|publish|forward|tweet)\\b|購入|支払|決済|注文を確定|注文する|削除|退会|解約|送信|投稿|返信|共有|"
    "アップロード|添付";

constexpr const char* cardPattern =
    "(card number|credit card|debit card|cc-number|cc-csc|cvv|cvc|security code|cardholder|card holder|"
    "カード番号|セキュリティコード)";

constexpr const char* messagePattern =
    "(message|chat|comment|reply|post|caption|tweet|status|note to|メッセージ|コメント|返信|投稿)";

// Whether the action picks one of the element's options (a select by its option's text, or a tap or
// typing that a control with options turns into picking one).
bool choosesOption(const TavroAction& action, const TavroElement& element) {
    using Kind = TavroAction::Kind;
    if (action.text.empty()) return false;
    if (action.kind == Kind::select) return true;
    return (action.kind == Kind::click || action.kind == Kind::type) && (element.kind == "select" || !element.options.empty());
}

// The option's words: the text the action gives, and every option that text may pick (the
// surfaces also pick an option by a part of its name).
void addChosenOption(const TavroAction& action, const TavroElement& element, std::string& joined) {
    joined += ' ';
    joined += action.text;
    const std::string wanted = TavroText::norm(action.text);
    for (const auto& option : element.options) {
        const std::string name = TavroText::norm(option);
        if (name.empty()) continue;
        const bool picks = wanted.empty() || name.find(wanted) != std::string::npos ||
                           wanted.find(name) != std::string::npos || TavroText::match(action.text, {option});
        if (picks) {
            joined += ' ';
            joined += option;
        }
    }
}

// The titles of the actions a sideways swipe runs on the element: a row's trailing actions for a
// finger moving left, its leading ones for a finger moving right.
const std::vector<std::string>* swipedActions(const TavroAction& action, const TavroElement& element) {
    const std::string text = TavroText::lower(action.text);
    if (text.find("left") != std::string::npos) return &element.trailingActions.items();
    if (text.find("right") != std::string::npos) return &element.leadingActions.items();
    return nullptr;
}

}  // namespace

std::string_view payOrDeleteWords() { return payOrDeletePattern; }

bool needsApproval(TavroApproval policy, const TavroAction& action, const TavroScreen& on) {
    switch (policy) {
        case TavroApproval::everyStep:
            return true;
        case TavroApproval::never:
            return false;
        case TavroApproval::deleteOrPay:
            return isDeleteOrPay(action, on);
    }
    return true;
}

bool isDeleteOrPay(const TavroAction& action, const TavroScreen& screen) {
    using Kind = TavroAction::Kind;
    if (action.kind == Kind::share) return true;
    if (!action.id) return false;
    const TavroElement* element = screen.element(*action.id);
    if (element == nullptr) return false;

    std::string joined = element->label;
    for (const auto& key : element->keys) {
        joined += ' ';
        joined += key;
    }
    // What the step does counts with the element's words: the option it picks, or the row action
    // a swipe runs (a full swipe performs it, as a tap on it would).
    const bool choosing = choosesOption(action, *element);
    if (choosing) addChosenOption(action, *element, joined);
    const std::vector<std::string>* swiped = action.kind == Kind::swipe ? swipedActions(action, *element) : nullptr;
    if (swiped) {
        for (const auto& title : *swiped) {
            joined += ' ';
            joined += title;
        }
    }
    const std::string words = TavroText::lower(joined);

    if (action.kind != Kind::scroll) {
        if (const auto pack = TavroPacks::current(); pack && pack->approve && TavroText::matches(*pack->approve, words)) return true;
    }
    if ((choosing || (swiped && !swiped->empty())) && TavroText::matches(payOrDeletePattern, words)) return true;
    switch (action.kind) {
        case Kind::click:
        case Kind::select:
            return TavroText::matches(payOrDeletePattern, words);
        case Kind::type:
            if (TavroText::matches(cardPattern, words)) return true;
            return action.submit && TavroText::matches(messagePattern, words) && element->type != "search";
        default:
            return false;
    }
}

}  // namespace tavro
