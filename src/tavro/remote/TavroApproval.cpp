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
    const std::string words = TavroText::lower(joined);

    if (action.kind != Kind::scroll) {
        if (const auto pack = TavroPacks::current(); pack && pack->approve && TavroText::matches(*pack->approve, words)) return true;
    }
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
