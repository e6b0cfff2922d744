// Typing is judged by what the field holds: a field that shows a value without the typed text
// fails the step even while it keeps the focus; a field that shows nothing keeps the focus rule,
// and the exceptions (submit, the field gone, a password field) still pass.
#include <functional>

#include "AgentTestSupport.h"

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
    struct Row {
        std::string name;
        std::string prefilled;
        std::string typed;
        bool submit;
        std::string type;
        std::function<void(TavroScreen&, const TavroAction&)> effect;
        bool verified;
    };
    const std::vector<Row> rows = {
        {"a length limit of 2 keeps 25 of 250", "", "250", false, "",
         [](TavroScreen& s, const TavroAction& a) { holds(s, a.text.substr(0, 2)); }, false},
        {"blocked keys leave the prefilled Bob", "Bob", "Alice", false, "", [](TavroScreen&, const TavroAction&) {},
         false},
        {"a value the app replaced with something else", "", "hello", false, "",
         [](TavroScreen& s, const TavroAction&) { holds(s, "Invalid"); }, false},
        {"a phone mask regroups the digits", "", "5551234567", false, "",
         [](TavroScreen& s, const TavroAction&) { holds(s, "(555) 123-4567"); }, true},
        {"the value holds the text in another case", "", "hello", false, "",
         [](TavroScreen& s, const TavroAction&) { holds(s, "Say HELLO!"); }, true},
        {"a field that shows nothing keeps the focus rule", "", "hello", false, "",
         [](TavroScreen&, const TavroAction&) {}, true},
        {"a field that shows only dots keeps the focus rule", "", "hello", false, "",
         [](TavroScreen& s, const TavroAction&) { holds(s, "•••••"); }, true},
        {"a password field", "", "hunter2", false, "password",
         [](TavroScreen& s, const TavroAction&) { holds(s, "secret"); }, true},
        {"a typed text that submits", "", "250", true, "",
         [](TavroScreen& s, const TavroAction&) { holds(s, "25"); }, true},
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
        const bool toldNoEffect = script->prompts[1].second.find("→ no visible effect") != std::string::npos;
        EXPECT_EQ(toldNoEffect, !row.verified) << row.name << ": the model hears the step had no effect";
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
