#include <gtest/gtest.h>

#include "tavro/memory/TavroRecipe.h"
#include "TavroMemoryTestSupport.h"

using namespace tavro;
using tavro::memorytest::element;

namespace {

TavroScreen screenOf(std::vector<TavroElement> elements) {
    return TavroScreen{.location = "Chat", .elements = std::move(elements)};
}

std::optional<std::int64_t> foundId(const TavroTarget& target, const TavroScreen& screen) {
    const auto found = target.find(screen);
    if (!found) return std::nullopt;
    return found->id;
}

}  // namespace

TEST(TavroTargetFind, AKeyNeverCarriesATargetOntoAnElementThatReadsOtherwise) {
    // The learned id now reads "Unsubscribe", beside a separate "Mark as read".
    const TavroTarget markRead{.kind = "button", .label = "Mark as read", .keys = {"primary_action"}};
    EXPECT_EQ(foundId(markRead, screenOf({element(1, "button", "Unsubscribe", {"primary_action"}),
                                          element(2, "button", "Mark as read")})),
              2);
    EXPECT_EQ(foundId(markRead, screenOf({element(1, "button", "Unsubscribe", {"primary_action"})})), std::nullopt);
    // Among the elements that read as the target, a dotted or underscored key found verbatim wins.
    const TavroScreen screen = screenOf({
        element(1, "button", "Send", {"send"}),
        element(2, "button", "Send", {"chat.send"}),
    });
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "Send", .keys = {"chat.send"}}, screen), 2);
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "Send", .keys = {"post_button"}},
                      screenOf({element(1, "button", "Send"), element(2, "button", "Send", {"post_button"})})),
              2);
}

TEST(TavroTargetFind, DottedKeyCountsOnlyVerbatim) {
    // Not verbatim: the label decides before any key is compared in normalised form.
    const TavroScreen screen = screenOf({element(1, "button", "Send"), element(2, "button", "Other", {"Chat.Send"})});
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "Send", .keys = {"chat.send"}}, screen), 1);
}

TEST(TavroTargetFind, LabelMatchesAfterNormalising) {
    const TavroScreen screen = screenOf({element(1, "button", "Cancel"), element(2, "button", "Save & Exit!")});
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "save exit"}, screen), 2);
}

TEST(TavroTargetFind, SeveralSameLabelsTieBrokenByTheKeySet) {
    const TavroScreen screen = screenOf({
        element(1, "button", "Delete", {"row1", "delete"}),
        element(2, "button", "Delete", {"delete", "row2"}),
        element(3, "button", "Delete", {"row3"}),
    });
    // The key set is compared as a set: order does not matter.
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "Delete", .keys = {"row2", "delete"}}, screen), 2);
    // No equal key set: the first of the same label.
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "Delete", .keys = {"row9"}}, screen), 1);
}

TEST(TavroTargetFind, ASharedNormalisedKeyDecidesAmongTheSameLabel) {
    const TavroScreen screen = screenOf({
        element(1, "input", "Text", {"name"}),
        element(2, "input", "Text", {"Message-Field", "body"}),
        element(3, "input", "Message", {"message field"}),
    });
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "Text", .keys = {"message field"}}, screen), 2);
    // A label that no element reads any more finds nothing, whatever the keys share.
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "Note", .keys = {"message field"}}, screen), std::nullopt);
    // Keys that normalise to nothing share nothing.
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "", .keys = {"--", ""}},
                      screenOf({element(1, "input", "", {"!!"})})),
              std::nullopt);
}

TEST(TavroTargetFind, TapKindsStandInForEachOtherButFieldsDoNot) {
    const TavroScreen screen = screenOf({element(1, "input", "Search"), element(2, "link", "Search")});
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "Search"}, screen), 2);
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "Search"}, screen), 1);
    // A kind that is not a tap kind only finds its own kind.
    EXPECT_EQ(foundId(TavroTarget{.kind = "image", .label = "Search"}, screen), std::nullopt);
}

TEST(TavroTargetFind, EmptyLabelDoesNotPickAnyUnlabelledElement) {
    const TavroScreen screen = screenOf({
        element(1, "button", "", {"back"}),
        element(2, "button", "", {"paperplane", "send"}),
    });
    // An icon button known by its key: found by the key, not as "the first unlabelled button".
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "", .keys = {"send"}}, screen), 2);
    EXPECT_EQ(foundId(TavroTarget{.kind = "button", .label = "  ", .keys = {"close"}}, screen), std::nullopt);
}

TEST(TavroTargetFind, EmptyLabelTiesAreBrokenByTheKeySet) {
    const TavroScreen screen = screenOf({
        element(1, "input", "Nickname", {"name"}),
        element(2, "input", "", {"name", "extra"}),
        element(3, "input", "", {"name"}),
    });
    // Among the unlabelled fields the one with exactly the target's keys wins, before any field
    // that merely shares a key.
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "", .keys = {"name"}}, screen), 3);
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "", .keys = {"extra", "name"}}, screen), 2);
    // No unlabelled field with that key set: the shared key decides among the unlabelled ones.
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = "", .keys = {"name", "other"}}, screen), 2);
    // Without keys an unlabelled target names nothing, not even a keyless unlabelled field.
    EXPECT_EQ(foundId(TavroTarget{.kind = "input", .label = ""}, screenOf({element(4, "input", "")})), std::nullopt);
}

TEST(TavroRecipeStepAction, RebuildsKindTextAndTheTargetsIdOnTheNewScreen) {
    const TavroRecipeStep step{.kind = "type",
                               .text = "{1}, {0}!",
                               .submit = true,
                               .target = TavroTarget{.kind = "input", .label = "Message", .screen = "Chat"}};
    const TavroScreen screen = screenOf({element(4, "button", "Send"), element(9, "input", "Message")});
    const auto action = step.action(screen, {"Mia", "hello there"});
    ASSERT_TRUE(action.has_value());
    EXPECT_EQ(*action, (TavroAction{.kind = TavroAction::Kind::type, .id = 9, .text = "hello there, Mia!", .submit = true}));
}

TEST(TavroRecipeStepAction, StepWithoutTargetHasNoId) {
    const auto action = TavroRecipeStep{.kind = "back"}.action(TavroScreen{}, {});
    ASSERT_TRUE(action.has_value());
    EXPECT_EQ(action->kind, TavroAction::Kind::back);
    EXPECT_EQ(action->id, std::nullopt);
}

TEST(TavroRecipeStepAction, GivesNothingWhenItCannotBeRebuilt) {
    const TavroScreen screen = screenOf({element(1, "input", "Message")});
    const TavroTarget message{.kind = "input", .label = "Message"};
    struct Case {
        const char* name;
        TavroRecipeStep step;
        std::vector<std::string> values;
    };
    const std::vector<Case> cases = {
        {"unfilled slot", {.kind = "type", .text = "{1}", .target = message}, {"only one"}},
        {"no values at all", {.kind = "type", .text = "hi {0}", .target = message}, {}},
        {"marker beyond any index", {.kind = "type", .text = "{99999999999999999999}", .target = message}, {"a"}},
        {"missing target", {.kind = "click", .target = TavroTarget{.kind = "button", .label = "Send"}}, {}},
        {"unknown kind", {.kind = "Click"}, {}},
        {"empty kind", {.kind = ""}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.step.action(screen, c.values), std::nullopt) << c.name;
}

TEST(TavroRecipeStepText, EscapedBracesComeBackAsTypedAndAreNeverSlots) {
    const std::vector<std::string> typed = {"{0}", "{{0}}", "a}b{c", "{", "}", "{1} and {x}", "{{{0}}}"};
    for (const std::string& text : typed) {
        EXPECT_EQ(TavroRecipeStep::filled(TavroRecipeStep::escaped(text), {"VALUE"}), text) << text;
    }
    // A marker next to literal braces.
    EXPECT_EQ(TavroRecipeStep::filled("{{{0}}}", {"v"}), "{v}");
    // Values are inserted as they are, not read again for markers.
    EXPECT_EQ(TavroRecipeStep::filled("{0}{1}", {"{1}", "x"}), "{1}x");
    // A lone brace that is not part of a marker stays.
    EXPECT_EQ(TavroRecipeStep::filled("a{b}c{", {}), "a{b}c{");
}

TEST(TavroRecipeStepHolds, AStepWhoseElementAlreadyHoldsItsResultNeedsNothing) {
    auto box = element(1, "checkbox", "Newsletter");
    auto language = element(2, "select", "Language");
    language.options = {"English", "Français"};
    auto size = element(3, "slider", "Text Size");
    auto name = element(4, "input", "Name");
    const TavroRecipeStep tapOn{.kind = "click", .state = "on"};
    const TavroRecipeStep tapped{.kind = "click"};
    const TavroRecipeStep step{.kind = "select"};
    const auto holds = [](const TavroRecipeStep& s, TavroAction a, const TavroElement& e, std::string value) {
        TavroElement shown = e;
        shown.value = std::move(value);
        a.id = shown.id;
        return s.holds(a, TavroScreen{.location = "Settings", .elements = {shown}});
    };
    const TavroAction click{.kind = TavroAction::Kind::click};
    EXPECT_FALSE(holds(tapOn, click, box, "1")) << "a goal that asks no state taps, whatever state the step kept";
    EXPECT_FALSE(holds(tapOn, click, box, "0"));
    EXPECT_FALSE(holds(tapped, click, box, "1")) << "a step stored without its state acts unless the goal says one";
    auto shownOn = box;
    shownOn.value = "1";
    const TavroScreen onScreen{.elements = {shownOn}};
    const TavroAction clickBox{.kind = TavroAction::Kind::click, .id = 1};
    EXPECT_TRUE(tapped.holds(clickBox, onScreen, true));
    EXPECT_FALSE(tapped.holds(clickBox, onScreen, false));
    EXPECT_TRUE(tapOn.holds(clickBox, onScreen, true));
    EXPECT_TRUE(tapOn.holds(clickBox, onScreen, false)) << "the state the step kept comes first";
    EXPECT_TRUE(holds(step, {.kind = TavroAction::Kind::select, .text = "Francais"}, language, "Français"));
    EXPECT_FALSE(holds(step, {.kind = TavroAction::Kind::select, .text = "English"}, language, "Français"));
    EXPECT_TRUE(holds(step, {.kind = TavroAction::Kind::select, .text = "18"}, size, "18"));
    EXPECT_FALSE(holds(step, {.kind = TavroAction::Kind::select, .text = "max"}, size, "24"));
    EXPECT_TRUE(holds(step, {.kind = TavroAction::Kind::type, .text = "Rin"}, name, "Rin"));
    EXPECT_FALSE(holds(step, {.kind = TavroAction::Kind::type, .text = "Rin", .submit = true}, name, "Rin"));
    EXPECT_FALSE(holds(step, {.kind = TavroAction::Kind::type, .text = "Rin"}, name, "Ri"));
    // The screen a navigation opens is already showing.
    EXPECT_TRUE(step.holds({.kind = TavroAction::Kind::navigate, .text = "Settings"}, TavroScreen{.location = "Settings"}));
    EXPECT_FALSE(step.holds({.kind = TavroAction::Kind::navigate, .text = "Shop"}, TavroScreen{.location = "Settings"}));
}
