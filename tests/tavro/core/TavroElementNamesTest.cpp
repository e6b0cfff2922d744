#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavro/core/TavroElement.h"

using tavro::TavroElement;
using Names = std::vector<std::string>;

namespace {

TavroElement element(std::string label, Names keys) {
    TavroElement e;
    e.kind = "button";
    e.label = std::move(label);
    e.keys = std::move(keys);
    return e;
}

}  // namespace

TEST(ElementNames, BlankLabelAndEmptyKeysAreDropped) {
    EXPECT_EQ(element("  ", {"", "Save-Button"}).names(), Names{"savebutton"});
}

TEST(ElementNames, LabelComesFirstThenKeysInOrder) {
    EXPECT_EQ(element("Dark Mode", {"settings.darkMode", "toggle_2"}).names(),
              (Names{"darkmode", "settingsdarkmode", "toggle2"}));
}

TEST(ElementNames, KeepsDuplicatesAndScriptsAsTheyNormalise) {
    EXPECT_EQ(element("設定 (2)", {"設定2", "⭐️"}).names(), (Names{"設定2", "設定2"}));
    EXPECT_TRUE(element("", {}).names().empty());
}
