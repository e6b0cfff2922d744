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

using Kind = TavroAction::Kind;

// A control that holds on or off: typing, pasting or choosing a word into it taps it.
bool isSwitch(const TavroElement& element) { return element.kind == "checkbox" || element.kind == "switch"; }

// The options of the element that the action's text may pick by their shown text (the surfaces also
// pick an option by a part of its name).
void addPickedOptions(const std::string& text, const TavroElement& element, std::vector<const std::string*>& out) {
    const std::string wanted = TavroText::norm(text);
    if (wanted.empty()) return;
    for (const auto& option : element.options) {
        const std::string name = TavroText::norm(option);
        if (name.empty()) continue;
        if (name.find(wanted) != std::string::npos || wanted.find(name) != std::string::npos ||
            TavroText::match(text, {option})) {
            out.push_back(&option);
        }
    }
}

// The title of the action a sideways swipe runs on the element: the first of a row's trailing
// actions for a finger moving left, of its leading ones for a finger moving right.
const std::string* swipedAction(const TavroAction& action, const TavroElement& element) {
    const std::string text = TavroText::lower(action.text);
    const std::vector<std::string>* side = nullptr;
    if (text.find("left") != std::string::npos) side = &element.trailingActions.items();
    else if (text.find("right") != std::string::npos) side = &element.leadingActions.items();
    return side && !side->empty() ? &side->front() : nullptr;
}

void append(std::string& joined, const std::string& words) {
    if (words.empty()) return;
    if (!joined.empty()) joined += ' ';
    joined += words;
}

void append(std::string& joined, const std::vector<std::string>& words) {
    for (const auto& w : words) append(joined, w);
}

// The policy on everything a step reaches.
bool judge(bool scrolls, const TavroReachWords& words, bool submits, bool searchField) {
    if (!scrolls) {
        if (const auto pack = TavroPacks::current(); pack && pack->approve) {
            for (const std::string* part : {&words.name, &words.picks, &words.presses}) {
                if (!part->empty() && TavroText::matches(*pack->approve, *part)) return true;
            }
        }
    }
    // What the step picks or presses beyond its element: a chosen option (with the control's name),
    // the row action a swipe runs, the button a submission presses.
    if (words.picksOption && TavroText::matches(payOrDeletePattern, words.name + ' ' + words.picks)) return true;
    if (!words.presses.empty() && TavroText::matches(payOrDeletePattern, words.presses)) return true;
    switch (words.kind) {
        case Kind::click:
        case Kind::select:
            return TavroText::matches(payOrDeletePattern, words.name);
        case Kind::type:
            if (TavroText::matches(cardPattern, words.name)) return true;
            return submits && TavroText::matches(messagePattern, words.name) && !searchField;
        default:
            return false;
    }
}

}  // namespace

TavroAction::Kind reachedKind(const TavroAction& action, const TavroElement& element) {
    Kind kind = action.kind == Kind::paste ? Kind::type : action.kind;
    if ((kind == Kind::type || kind == Kind::select) && isSwitch(element)) return Kind::click;
    if (kind == Kind::type && (element.kind == "select" || element.kind == "slider")) return Kind::select;
    return kind;
}

TavroReachWords reachWords(const TavroAction& action, const TavroElement& element, const TavroReach& reach) {
    TavroReachWords out;
    out.kind = reachedKind(action, element);
    std::string name = element.label;
    append(name, element.keys);
    append(name, reach.shows);

    // The options the step's text picks: a choice, a tap with a text on a control with options, or
    // typing that such a control turns into picking one. Typing that picks none is typing.
    std::vector<const std::string*> picked;
    const bool withOptions = element.kind == "select" || !element.options.empty();
    const bool choosing = !action.text.empty() &&
                          (out.kind == Kind::select || ((out.kind == Kind::click || out.kind == Kind::type) && withOptions));
    if (choosing) addPickedOptions(action.text, element, picked);
    std::string picks;
    for (const auto* option : picked) append(picks, *option);
    append(picks, reach.picks);
    if (out.kind == Kind::select && picks.empty()) append(picks, action.text);
    out.picksOption = !picks.empty() && (out.kind == Kind::select || !picked.empty() || !reach.picks.empty());

    std::string presses;
    if (out.kind == Kind::swipe) {
        if (const std::string* runs = swipedAction(action, element)) append(presses, *runs);
    }
    if (out.kind == Kind::type && action.submit) append(presses, reach.submits);

    out.name = TavroText::lower(name);
    out.picks = TavroText::lower(picks);
    out.presses = TavroText::lower(presses);
    return out;
}

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

bool isDeleteOrPay(const TavroAction& action, const TavroScreen& screen) { return isDeleteOrPay(action, screen, {}); }

bool isDeleteOrPay(const TavroAction& action, const TavroScreen& screen, const TavroReach& reach) {
    if (action.kind == Kind::share) return true;
    if (!action.id) return false;
    const TavroElement* element = screen.element(*action.id);
    if (element == nullptr) return false;
    return isDeleteOrPay(action, *element, reachWords(action, *element, reach));
}

bool isDeleteOrPay(const TavroAction& action, const TavroElement& element, const TavroReachWords& words) {
    if (action.kind == Kind::share) return true;
    return judge(action.kind == Kind::scroll, words, action.submit, element.type == "search");
}

}  // namespace tavro
