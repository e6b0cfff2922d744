// Comparing two screen readings: what counts as a change after an action.
#include <gtest/gtest.h>

#include <functional>

#include "tavro/agent/TavroAgent.h"

namespace tavro {
namespace {

TavroScreen base() {
    TavroScreen s{.location = "Settings", .title = "Settings", .text = "General"};
    for (int i = 1; i <= 45; ++i) {
        s.elements.push_back(TavroElement{.id = i, .kind = "button", .label = "Row " + std::to_string(i)});
    }
    return s;
}

TEST(ScreenChange, WhatCounts) {
    struct Row {
        const char* name;
        std::function<void(TavroScreen&)> edit;
        bool changed;
    };
    const std::vector<Row> rows = {
        {"nothing", [](TavroScreen&) {}, false},
        {"location", [](TavroScreen& s) { s.location = "Profile"; }, true},
        {"title", [](TavroScreen& s) { s.title = "Other"; }, true},
        {"element count", [](TavroScreen& s) { s.elements.pop_back(); }, true},
        {"keyboard", [](TavroScreen& s) { s.keyboardVisible = true; }, true},
        {"label of the 40th element", [](TavroScreen& s) { s.elements[39].label = "x"; }, true},
        {"label of the 41st element", [](TavroScreen& s) { s.elements[40].label = "x"; }, false},
        {"value", [](TavroScreen& s) { s.elements[3].value = "1"; }, true},
        {"focus", [](TavroScreen& s) { s.elements[0].focused = true; }, true},
        {"text", [](TavroScreen& s) { s.text = "General Privacy"; }, true},
        {"a frame only", [](TavroScreen& s) { s.elements[0].frame.y = 99; }, false},
        {"a kind only", [](TavroScreen& s) { s.elements[0].kind = "cell"; }, false},
        {"human check", [](TavroScreen& s) { s.humanCheck = true; }, false},
        {"system alert", [](TavroScreen& s) { s.systemAlert = true; }, false},
    };
    for (const auto& row : rows) {
        auto after = base();
        row.edit(after);
        EXPECT_EQ(TavroAgent::changed(base(), after), row.changed) << row.name;
        EXPECT_EQ(TavroAgent::changed(after, base()), row.changed) << row.name << " (reversed)";
    }
}

TEST(StepKey, JoinsLocationKindIdAndText) {
    const TavroScreen s{.location = "Settings"};
    EXPECT_EQ(TavroAgent::keyOf(TavroAction{.kind = TavroAction::Kind::click, .id = 7}, s), "Settings|click|7|");
    EXPECT_EQ(TavroAgent::keyOf(TavroAction{.kind = TavroAction::Kind::longPress, .text = "x"}, s),
              "Settings|longPress|-1|x");
}

}  // namespace
}  // namespace tavro
