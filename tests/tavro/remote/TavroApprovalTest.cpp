#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/remote/TavroApproval.h"
#include "tavro/remote/TavroPack.h"

using namespace tavro;
using Kind = TavroAction::Kind;

namespace {

TavroScreen screenWith(TavroElement element) {
    element.id = 1;
    element.inView = true;
    TavroScreen screen{.location = "Screen"};
    screen.elements = {std::move(element)};
    return screen;
}

TavroAction act(Kind kind, std::optional<std::int64_t> id = 1, bool submit = false) {
    return TavroAction{.kind = kind, .id = id, .text = "x", .submit = submit};
}

struct ApprovalCase {
    const char* name;
    TavroAction action;
    TavroElement element;
    bool expected;
};

}  // namespace

TEST(TavroApprovalPolicy, EveryStepAndNeverIgnoreTheTarget) {
    const TavroScreen screen = screenWith(TavroElement{.kind = "button", .label = "Delete account"});
    for (const Kind kind : allKinds) {
        const TavroAction action = act(kind);
        EXPECT_TRUE(needsApproval(TavroApproval::everyStep, action, screen)) << kindName(kind);
        EXPECT_FALSE(needsApproval(TavroApproval::never, action, screen)) << kindName(kind);
        EXPECT_EQ(needsApproval(TavroApproval::deleteOrPay, action, screen), isDeleteOrPay(action, screen))
            << kindName(kind);
    }
}

TEST(TavroApprovalPolicy, DeleteOrPayReadsTheTargetsWords) {
    const std::vector<ApprovalCase> cases = {
        {"delete account", act(Kind::click), {.kind = "button", .label = "Delete account"}, true},
        {"undelete is not a word match", act(Kind::click), {.kind = "button", .label = "Undelete"}, false},
        {"japanese delete", act(Kind::click), {.kind = "button", .label = "削除する"}, true},
        {"send", act(Kind::click), {.kind = "button", .label = "Send"}, true},
        {"sender is not send", act(Kind::click), {.kind = "button", .label = "Sender"}, false},
        {"upper case words", act(Kind::click), {.kind = "button", .label = "PLACE YOUR ORDER"}, true},
        {"check out with a blank", act(Kind::click), {.kind = "button", .label = "Check out now"}, true},
        {"cancel subscription", act(Kind::click), {.kind = "button", .label = "Cancel my subscription"}, true},
        {"cancel alone", act(Kind::click), {.kind = "button", .label = "Cancel"}, false},
        {"word in keys", act(Kind::click), {.kind = "button", .label = "Go", .keys = {"checkout_button"}}, false},
        {"key with a word", act(Kind::click), {.kind = "button", .label = "Go", .keys = {"pay-now"}}, true},
        {"select on a pay plan", act(Kind::select), {.kind = "select", .label = "Payment"}, true},
        {"plain button", act(Kind::click), {.kind = "button", .label = "Settings"}, false},
        {"message with submit", act(Kind::type, 1, true), {.kind = "input", .label = "Message"}, true},
        {"message without submit", act(Kind::type, 1, false), {.kind = "input", .label = "Message"}, false},
        {"search field exempt", act(Kind::type, 1, true), {.kind = "input", .type = "search", .label = "Search messages"},
         false},
        {"search type is exact", act(Kind::type, 1, true), {.kind = "input", .type = "Search", .label = "Message"}, true},
        {"card key", act(Kind::type, 1, false), {.kind = "input", .label = "", .keys = {"cc-number"}}, true},
        {"card key with submit", act(Kind::type, 1, true), {.kind = "input", .label = "", .keys = {"cc-number"}}, true},
        {"card in search field", act(Kind::type, 1, false), {.kind = "input", .type = "search", .label = "CVV"}, true},
        {"japanese card", act(Kind::type), {.kind = "input", .label = "カード番号"}, true},
        {"type name", act(Kind::type, 1, true), {.kind = "input", .label = "Name"}, false},
        {"typing into a send button is not a click", act(Kind::type), {.kind = "button", .label = "Send"}, false},
        {"swipe on delete row", act(Kind::swipe), {.kind = "cell", .label = "Delete"}, false},
        {"long press on delete row", act(Kind::longPress), {.kind = "cell", .label = "Delete"}, false},
        {"share anywhere", act(Kind::share, std::nullopt), {.kind = "button", .label = "Nothing"}, true},
        {"share off screen", act(Kind::share, 42), {.kind = "button", .label = "Nothing"}, true},
        {"id not on screen", act(Kind::click, 42), {.kind = "button", .label = "Delete"}, false},
        {"no id", act(Kind::click, std::nullopt), {.kind = "button", .label = "Delete"}, false},
    };
    for (const auto& c : cases) {
        const TavroScreen screen = screenWith(c.element);
        EXPECT_EQ(isDeleteOrPay(c.action, screen), c.expected) << c.name;
        EXPECT_EQ(needsApproval(TavroApproval::deleteOrPay, c.action, screen), c.expected) << c.name;
    }
}

// The option a step picks and the row action a swipe runs count with the element's words.
TEST(TavroApprovalPolicy, WhatTheStepDoesCountsWithTheElementsWords) {
    const auto with = [](Kind kind, std::string text) { return TavroAction{.kind = kind, .id = 1, .text = std::move(text)}; };
    const TavroElement bulk{.kind = "select", .label = "Bulk action", .options = {"Archive", "Delete all messages"}};
    const TavroElement row{.kind = "cell", .label = "Tuli", .leadingActions = {"Pin"}, .trailingActions = {"Delete"}};
    const std::vector<ApprovalCase> cases = {
        {"option by its name", with(Kind::select, "Delete all messages"), bulk, true},
        {"option by a part of its name", with(Kind::select, "all messages"), bulk, true},
        {"harmless option", with(Kind::select, "Archive"), bulk, false},
        {"a tap that picks an option", with(Kind::click, "Delete all messages"), bulk, true},
        {"typing that picks an option", with(Kind::type, "delete all messages"), bulk, true},
        {"japanese option", with(Kind::select, "すべて削除"), {.kind = "select", .label = "操作", .options = {"すべて削除"}}, true},
        {"swipe left runs the trailing delete", with(Kind::swipe, "left"), row, true},
        {"swipe right runs the leading pin", with(Kind::swipe, "right"), row, false},
        {"swipe up runs no row action", with(Kind::swipe, "up"), row, false},
        {"swipe on a row without actions", with(Kind::swipe, "left"), {.kind = "cell", .label = "Delete"}, false},
        {"a tap on the row is not its swipe", with(Kind::click, ""), row, false},
    };
    for (const auto& c : cases) EXPECT_EQ(isDeleteOrPay(c.action, screenWith(c.element)), c.expected) << c.name;
}

TEST(TavroApprovalPolicy, FirstElementWithTheIdDecides) {
    TavroScreen screen;
    screen.elements = {TavroElement{.id = 1, .kind = "button", .label = "Open"},
                       TavroElement{.id = 1, .kind = "button", .label = "Delete"}};
    EXPECT_FALSE(isDeleteOrPay(act(Kind::click), screen));
}

TEST(TavroApprovalPolicy, NeverStillSkipsShare) {
    const TavroScreen screen = screenWith(TavroElement{.kind = "button", .label = "Share"});
    EXPECT_FALSE(needsApproval(TavroApproval::never, act(Kind::share), screen));
}

class TavroApprovalPack : public ::testing::Test {
protected:
    void SetUp() override { TavroPacks::reset(); }
    void TearDown() override { TavroPacks::reset(); }

    static void usePattern(std::optional<std::string> pattern) {
        TavroPack pack;
        pack.version = 1;
        pack.approve = std::move(pattern);
        TavroPacks::setCurrent(pack);
    }
};

TEST_F(TavroApprovalPack, PackPatternAddsWordsForEveryKindButScroll) {
    const TavroScreen deleteRow = screenWith(TavroElement{.kind = "cell", .label = "Delete", .keys = {"row_7"}});
    const TavroScreen archive = screenWith(TavroElement{.kind = "button", .label = "Archive all"});
    EXPECT_FALSE(isDeleteOrPay(act(Kind::swipe), deleteRow));
    EXPECT_FALSE(isDeleteOrPay(act(Kind::click), archive));

    usePattern("delete|archive");
    EXPECT_TRUE(isDeleteOrPay(act(Kind::swipe), deleteRow));
    EXPECT_TRUE(isDeleteOrPay(act(Kind::longPress), deleteRow));
    EXPECT_TRUE(isDeleteOrPay(act(Kind::copy), deleteRow));
    EXPECT_TRUE(isDeleteOrPay(act(Kind::click), archive));
    EXPECT_TRUE(needsApproval(TavroApproval::deleteOrPay, act(Kind::type), archive));
    EXPECT_FALSE(isDeleteOrPay(act(Kind::scroll), deleteRow));
    // The pack looks at the target too: a missing element needs nothing.
    EXPECT_FALSE(isDeleteOrPay(act(Kind::swipe, 42), deleteRow));
    EXPECT_FALSE(needsApproval(TavroApproval::never, act(Kind::swipe), deleteRow));
}

TEST_F(TavroApprovalPack, PackPatternSeesLowerCasedLabelAndKeys) {
    usePattern("row_7$");
    EXPECT_TRUE(isDeleteOrPay(act(Kind::swipe), screenWith(TavroElement{.kind = "cell", .label = "X", .keys = {"ROW_7"}})));
    EXPECT_FALSE(isDeleteOrPay(act(Kind::swipe), screenWith(TavroElement{.kind = "cell", .label = "row_7 x"})));
}

TEST_F(TavroApprovalPack, PackWithoutPatternChangesNothing) {
    usePattern(std::nullopt);
    EXPECT_FALSE(isDeleteOrPay(act(Kind::swipe), screenWith(TavroElement{.kind = "cell", .label = "Delete"})));
    EXPECT_TRUE(isDeleteOrPay(act(Kind::click), screenWith(TavroElement{.kind = "button", .label = "Delete"})));
}

// A step is judged by everything it reaches: a paste as typing the same text, a word typed into a
// switch as a tap, the options the surface says its text picks, the button a submission presses,
// the words the control draws beside its name.
TEST(TavroApprovalPolicy, WhatTheSurfaceSaysAStepReachesCounts) {
    const auto with = [](Kind kind, std::string text, bool submit = false) {
        return TavroAction{.kind = kind, .id = 1, .text = std::move(text), .submit = submit};
    };
    struct ReachCase {
        const char* name;
        TavroAction action;
        TavroElement element;
        TavroReach reach;
        bool expected;
    };
    const TavroElement card{.kind = "input", .label = "Card number"};
    const TavroElement message{.kind = "input", .label = "Message"};
    const TavroElement erase{.kind = "checkbox", .label = "Erase my data"};
    const TavroElement plan{.kind = "select", .label = "Plan", .options = {"Monthly", "Cancel my membership"}};
    const TavroElement search{.kind = "input", .type = "search", .label = "Search"};
    const TavroElement next{.kind = "button", .label = "Next"};
    const std::vector<ReachCase> cases = {
        {"a paste into a card field", with(Kind::paste, "4242424242424242"), card, {}, true},
        {"a paste that sends a message", with(Kind::paste, "hi", true), message, {}, true},
        {"a paste that only drafts a message", with(Kind::paste, "hi"), message, {}, false},
        {"a paste of on into a deleting switch", with(Kind::paste, "on"), erase, {}, true},
        {"typing on into a deleting switch", with(Kind::type, "on"), erase, {}, true},
        {"choosing on for a deleting switch", with(Kind::select, "on"), erase, {}, true},
        {"a paste that picks a cancelling option", with(Kind::paste, "Cancel my membership"), plan, {}, true},
        {"an option picked by its hidden value", with(Kind::select, "Gold"), plan, {.picks = {"Cancel my membership"}}, true},
        {"a harmless option picked by value", with(Kind::select, "m1"), plan, {.picks = {"Monthly"}}, false},
        {"a search that presses a buying button", with(Kind::type, "lamp", true), search, {.submits = {"Buy now"}}, true},
        {"a search that presses a search button", with(Kind::type, "lamp", true), search, {.submits = {"Go"}}, false},
        {"typing without submitting presses nothing", with(Kind::type, "lamp"), search, {.submits = {"Buy now"}}, false},
        {"a tap on a control that draws paying words", with(Kind::click, ""), next, {.shows = {"Pay $500 now"}}, true},
        {"a tap on a control that draws its name", with(Kind::click, ""), next, {.shows = {"Next page"}}, false},
        {"a long press is never asked", with(Kind::longPress, ""), next, {.shows = {"Pay $500 now"}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isDeleteOrPay(c.action, screenWith(c.element), c.reach), c.expected) << c.name;
    }
}

// Only the action a swipe runs counts (the first of that side), not the row's own label; typing
// into a field with options is judged by the pay and delete words only when it picks one.
TEST(TavroApprovalPolicy, OnlyWhatTheStepRunsMakesItRisky) {
    const auto with = [](Kind kind, std::string text) { return TavroAction{.kind = kind, .id = 1, .text = std::move(text)}; };
    const TavroElement deleteRow{.kind = "cell", .label = "Delete old backups", .trailingActions = {"Archive"}};
    const TavroElement twoActions{.kind = "cell", .label = "Mika", .trailingActions = {"Archive", "Delete"}};
    const TavroElement reason{.kind = "input", .label = "Delete reason", .options = {"Too expensive", "Remove data"}};
    const TavroElement leaving{.kind = "input", .label = "Reason", .options = {"Too expensive", "Remove data"}};
    const std::vector<ApprovalCase> cases = {
        {"a swipe running archive on a delete row", with(Kind::swipe, "left"), deleteRow, false},
        {"a swipe runs only the first trailing action", with(Kind::swipe, "left"), twoActions, false},
        {"typing that picks no option", with(Kind::type, "moving away"), reason, false},
        {"typing that picks an option is a choice", with(Kind::type, "Too expensive"), reason, true},
        {"typing that picks a removing option", with(Kind::type, "Remove data"), leaving, true},
        {"typing that picks a harmless option", with(Kind::type, "Too expensive"), leaving, false},
    };
    for (const auto& c : cases) EXPECT_EQ(isDeleteOrPay(c.action, screenWith(c.element)), c.expected) << c.name;
}

// What the gate compares at the press: the same step on the same element reaches the same words;
// a renamed swipe action, another picked option or another default button does not.
TEST(TavroApprovalPolicy, ReachWordsChangeWithWhatTheStepWouldRun) {
    TavroElement row{.id = 1, .kind = "cell", .label = "Tuli", .trailingActions = {"Delete"}};
    const TavroAction swipe{.kind = Kind::swipe, .id = 1, .text = "left"};
    const TavroReachWords approved = reachWords(swipe, row, {});
    EXPECT_EQ(reachWords(swipe, row, {}), approved);
    row.trailingActions = {"Delete all chats"};
    EXPECT_NE(reachWords(swipe, row, {}), approved);

    const TavroElement field{.id = 1, .kind = "input", .label = "Promo code"};
    const TavroAction submit{.kind = Kind::type, .id = 1, .text = "SAVE", .submit = true};
    EXPECT_NE(reachWords(submit, field, {.submits = {"Apply"}}), reachWords(submit, field, {.submits = {"Place order"}}));
    EXPECT_EQ(reachedKind(TavroAction{.kind = Kind::paste}, field), Kind::type);
}
