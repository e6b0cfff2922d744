// Typing is judged by what the field holds: a field that shows a value other than the typed text
// (another number, sign or text) fails the step even while it keeps the focus, and the models hear
// what it holds; a field that shows nothing keeps the focus rule, and the exceptions (submit, the
// field gone, a password field) still pass.
#include <functional>

#include "AgentTestSupport.h"
#include "platform/ui/Pasteboard.h"

namespace tavro::agenttest {
namespace {

class AgentTypedValue : public AgentTest {};

// A payment form with one field, Amount (id 1), prefilled with `value`. Typing focuses it and then
// lets `effect` decide what the field holds.
std::shared_ptr<FakeSurface> amountForm(std::string value, std::function<void(TavroScreen&, const TavroAction&)> effect,
                                        std::string type = "") {
    auto surface = std::make_shared<FakeSurface>();
    surface->screen = TavroScreen{.location = "Pay",
                                  .title = "Pay",
                                  .elements = {element(1, "input", "Amount", std::move(value)), element(2, "button", "Save")}};
    surface->screen.elements[0].type = std::move(type);
    surface->onPerform = [effect](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
        if (a.kind != TavroAction::Kind::type || a.id != 1) return std::nullopt;
        s.elements[0].focused = true;
        effect(s, a);
        return std::nullopt;
    };
    return surface;
}

void holds(TavroScreen& s, std::string value) { s.elements[0].value = std::move(value); }

TEST_F(AgentTypedValue, TheStepPassesOnlyWhenTheShownValueHoldsTheText) {
    using Effect = std::function<void(TavroScreen&, const TavroAction&)>;
    const auto shows = [](std::string value) -> Effect {
        return [value](TavroScreen& s, const TavroAction&) { holds(s, value); };
    };
    const Effect nothing = [](TavroScreen&, const TavroAction&) {};
    struct Row {
        std::string name;
        std::string prefilled;
        std::string typed;
        bool submit;
        std::string type;
        Effect effect;
        bool verified;
        std::string told = {};  // what the models hear of a step that failed
    };
    const std::string card = "4111111111114242";
    const std::vector<Row> rows = {
        {"a length limit of 2 keeps 25 of 250", "", "250", false, "",
         [](TavroScreen& s, const TavroAction& a) { holds(s, a.text.substr(0, 2)); }, false,
         "Amount holds “25”, not “250”"},
        {"blocked keys leave the prefilled Bob", "Bob", "Alice", false, "", nothing, false,
         "Amount holds “Bob”, not “Alice”"},
        {"a value the app replaced with something else", "", "hello", false, "", shows("Invalid"), false},
        {"a page that appends a zero", "", "250", false, "", shows("2500"), false, "Amount holds “2500”, not “250”"},
        {"a prefilled 1250 whose keys are blocked", "1250", "25", false, "", nothing, false},
        {"the point dropped", "", "2.50", false, "", shows("250"), false, "Amount holds “250”, not “2.50”"},
        {"the sign dropped", "", "-40", false, "", shows("40"), false},
        {"another card's end", "", card, false, "", shows("•••• 1111"), false},
        {"a phone mask regroups the digits", "", "5551234567", false, "", shows("(555) 123-4567"), true},
        {"a currency format", "", "1234", false, "", shows("$1,234.00"), true},
        {"digit grouping", "", "1234", false, "", shows("1,234"), true},
        {"another letter case", "", "ada", false, "", shows("Ada"), true},
        {"bullets, then the card's end", "", card, false, "", shows("•••• 4242"), true},
        {"asterisks, then the card's end", "", card, false, "", shows("************4242"), true},
        {"the value holds the text in another case", "", "hello", false, "", shows("Say HELLO!"), true},
        {"a field that shows nothing keeps the focus rule", "", "hello", false, "", nothing, true},
        {"a field that shows only dots keeps the focus rule", "", "hello", false, "", shows("•••••"), true},
        {"a password field", "", "hunter2", false, "password", shows("secret"), true},
        {"a typed text that submits", "", "250", true, "", shows("25"), true},
        {"the field gone after typing", "", "250", false, "",
         [](TavroScreen& s, const TavroAction&) { s.elements.erase(s.elements.begin()); }, true},
    };
    for (const auto& row : rows) {
        auto surface = amountForm(row.prefilled, row.effect, row.type);
        auto script = std::make_shared<Script>();
        script->replies = {reply("type", 1, row.typed, row.submit), reply("fail", std::nullopt, "end")};
        auto agent = makeAgent(surface, unattended({scriptedModel("M", script)}));
        const auto report = runGoal(agent, "cheer up my friend");
        ASSERT_EQ(surface->count(TavroAction::Kind::type), 1) << row.name;
        ASSERT_FALSE(report.steps.empty()) << row.name;
        EXPECT_EQ(report.steps[0].ok, row.verified) << row.name;
        ASSERT_GE(script->prompts.size(), 2u) << row.name;
        const std::string& seen = script->prompts[1].second;
        EXPECT_EQ(seen.find("→ ok") != std::string::npos, row.verified)
            << row.name << ": the model hears whether the step took effect\n" << seen;
        if (!row.told.empty()) {
            EXPECT_NE(seen.find("→ " + row.told), std::string::npos) << row.name << "\n" << seen;
        }
    }
}

TEST_F(AgentTypedValue, ARulesRunWhoseFieldCutTheTextIsNotDone) {
    // The rules engine types 250 into a field that keeps two characters: the run must not end "Done".
    auto surface = amountForm("", [](TavroScreen& s, const TavroAction& a) { holds(s, a.text.substr(0, 2)); });
    auto agent = makeAgent(surface, unattended());
    const auto report = runGoal(agent, "type 250 into Amount");
    ASSERT_EQ(surface->count(TavroAction::Kind::type), 1) << report.stepsText();
    EXPECT_FALSE(report.ok) << report.status;
    EXPECT_EQ(surface->screen.elements[0].value, "25");
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps[0].ok);

    // The same field taking the whole text is done.
    auto fits = amountForm("", [](TavroScreen& s, const TavroAction& a) { holds(s, a.text); });
    auto second = makeAgent(fits, unattended());
    EXPECT_TRUE(runGoal(second, "type 250 into Amount").ok);
}

}  // namespace
}  // namespace tavro::agenttest

namespace tavro::agenttest {
namespace {

TEST_F(AgentTypedValue, APasteIsJudgedAsTypingWhatWasOnThePasteboard) {
    // Amount keeps two characters: pasting 250 leaves 25, and the run is not done.
    ui::Pasteboard::resetGeneral();
    ui::Pasteboard::general()->setString("250");
    auto cut = amountForm("", [](TavroScreen& s, const TavroAction& a) { holds(s, a.text.substr(0, 2)); });
    const auto report = runGoal(makeAgent(cut, unattended()), "paste into Amount");
    EXPECT_FALSE(report.ok) << report.stepsText();
    EXPECT_NE(report.status.find("Amount holds “25”, not “250”"), std::string::npos) << report.status;
    ASSERT_FALSE(report.steps.empty());
    EXPECT_FALSE(report.steps[0].ok);

    // A field that takes the whole text is pasted into.
    auto fits = amountForm("", [](TavroScreen& s, const TavroAction& a) { holds(s, a.text); });
    EXPECT_TRUE(runGoal(makeAgent(fits, unattended()), "paste into Amount").ok);
    ui::Pasteboard::resetGeneral();
}

}  // namespace
}  // namespace tavro::agenttest

namespace tavro::agenttest {
namespace {

TEST_F(AgentTypedValue, ASliderHoldsTheNumberAskedNotOneThatContainsIt) {
    // A slider from 10 to 100 clamps 1 to 10: "10" holds the digit 1 but not the number.
    for (const auto& [asked, verified] : std::vector<std::pair<std::string, bool>>{{"1", false}, {"10", true}}) {
        auto surface = std::make_shared<FakeSurface>();
        surface->screen = TavroScreen{.location = "Sound", .title = "Sound", .elements = {element(1, "slider", "Volume", "50")}};
        surface->onPerform = [](const TavroAction& a, TavroScreen& s) -> std::optional<std::string> {
            if (a.kind == TavroAction::Kind::select && a.id == 1) s.elements[0].value = "10";
            return std::nullopt;
        };
        auto script = std::make_shared<Script>();
        script->replies = {reply("select", 1, asked), reply("fail", std::nullopt, "end")};
        const auto report = runGoal(makeAgent(surface, unattended({scriptedModel("M", script)})), "quieter");
        ASSERT_FALSE(report.steps.empty()) << asked;
        EXPECT_EQ(report.steps[0].ok, verified) << asked;
        ASSERT_GE(script->prompts.size(), 2u) << asked;
        if (!verified) {
            EXPECT_NE(script->prompts[1].second.find("Volume holds “10”, not “1”"), std::string::npos)
                << script->prompts[1].second;
        }
    }
}

}  // namespace
}  // namespace tavro::agenttest
