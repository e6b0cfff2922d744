#include <gtest/gtest.h>

#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroScreen.h"

using namespace tavro;

TEST(TavroValues, KindTextRoundTripsInOrderAndIsCaseSensitive) {
    std::string joined;
    for (auto kind : allKinds) {
        EXPECT_EQ(kindFromName(kindName(kind)), kind);
        joined += std::string(kindName(kind)) + " ";
    }
    EXPECT_EQ(joined,
              "click type select scroll swipe longPress navigate back ask done fail openWeb copy paste saveImage share ");
    EXPECT_EQ(kindFromName("openWeb"), TavroAction::Kind::openWeb);
    EXPECT_EQ(kindFromName("openweb"), std::nullopt);
    EXPECT_EQ(kindFromName("OpenWeb"), std::nullopt);
    EXPECT_EQ(kindFromName(""), std::nullopt);
    EXPECT_EQ(kindFromName("click "), std::nullopt);
}

TEST(TavroValues, ElementLookupTakesTheFirstWithTheId) {
    TavroScreen screen;
    screen.elements = {TavroElement{.id = 3, .label = "first"}, TavroElement{.id = 3, .label = "second"}};
    ASSERT_NE(screen.element(3), nullptr);
    EXPECT_EQ(screen.element(3)->label, "first");
    EXPECT_EQ(screen.element(4), nullptr);
}
