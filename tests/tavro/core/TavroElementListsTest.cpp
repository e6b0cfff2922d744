#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/core/TavroText.h"

using tavro::TavroElement;
using tavro::TavroScreen;
using tavro::TavroStringList;
using Strings = std::vector<std::string>;

// Screens of a thousand elements are copied twice a turn: the lists most elements leave empty
// (options, swipe actions) together take no more room in an element than one vector would.
TEST(ElementLists, RarelyFilledListsTakeTheRoomOfOneVector) {
    const auto lists = sizeof(TavroElement::options) + sizeof(TavroElement::leadingActions) +
                       sizeof(TavroElement::trailingActions);
    EXPECT_LE(lists, sizeof(std::vector<std::string>));
}

TEST(ElementLists, ACopyHoldsTheSameStringsAndStandsApart) {
    TavroElement row{
        .kind = "cell", .label = "Tuli", .leadingActions = {"Pin"}, .trailingActions = {"Archive", "Delete"}};
    TavroElement copy = row;
    EXPECT_EQ(copy, row);
    copy.trailingActions.push_back("Flag");
    copy.leadingActions = {};
    EXPECT_EQ(row.trailingActions, (Strings{"Archive", "Delete"}));
    EXPECT_EQ(row.leadingActions, Strings{"Pin"});
    EXPECT_EQ(copy.trailingActions, (Strings{"Archive", "Delete", "Flag"}));
    EXPECT_TRUE(copy.leadingActions.empty());

    // Assigning a list over another replaces its strings, an empty one as well; itself keeps them.
    row.trailingActions = copy.trailingActions;
    EXPECT_EQ(row.trailingActions.size(), 3u);
    row.trailingActions = copy.leadingActions;
    EXPECT_TRUE(row.trailingActions.empty());
    const TavroStringList& same = copy.trailingActions;
    copy.trailingActions = same;
    EXPECT_EQ(copy.trailingActions[2], "Flag");
}

// Verification tells a changed screen by comparing readings: lists with the same strings are equal
// however they were made, and empty ones whatever they once held.
TEST(ElementLists, ListsCompareByTheirStrings) {
    TavroStringList grown;
    grown.push_back("S");
    grown.push_back("M");
    const TavroStringList emptied = Strings{};
    struct Case {
        TavroStringList a;
        TavroStringList b;
        bool equal;
    } cases[] = {
        {{}, {}, true},
        {{}, emptied, true},
        {{"S", "M"}, grown, true},
        {Strings{"S", "M"}, grown, true},
        {{"S"}, grown, false},
        {{"M", "S"}, grown, false},
        {{}, {"S"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.size() << " and " << c.b.size() << " strings";
        TavroScreen one, two;
        one.elements.push_back(TavroElement{.id = 1, .kind = "select", .options = c.a});
        two.elements.push_back(TavroElement{.id = 1, .kind = "select", .options = c.b});
        EXPECT_EQ(TavroScreen(one) == two, c.equal);
    }
}

TEST(ElementLists, AListReadsAsAVectorWhereOneIsTaken) {
    const TavroElement size{.kind = "select", .options = {"Small", "Medium", "Large"}};
    EXPECT_EQ(tavro::TavroText::option("medium", size.options), std::optional<std::size_t>{1});
    std::string joined;
    for (const auto& option : size.options) joined += option + "|";
    EXPECT_EQ(joined, "Small|Medium|Large|");
    const TavroElement none{.kind = "select"};
    for (const auto& option : none.options) ADD_FAILURE() << "an empty list yields " << option;
    EXPECT_EQ(tavro::TavroText::option("medium", none.options), std::nullopt);
}
