#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/foundation/BoundedJSON.h"

namespace {

std::string nested(int depth, const std::string& inner = "1") {
    return std::string(static_cast<std::size_t>(depth), '[') + inner + std::string(static_cast<std::size_t>(depth), ']');
}

}  // namespace

TEST(BoundedJSON, NestingUpToTheLimitParsesAndOneLevelMoreIsRefused) {
    EXPECT_FALSE(fnd::parseJSON(nested(fnd::maxJSONDepth)).is_discarded());
    EXPECT_TRUE(fnd::parseJSON(nested(fnd::maxJSONDepth + 1)).is_discarded());
    const std::string objects = [] {
        std::string text = "1";
        for (int i = 0; i <= fnd::maxJSONDepth; ++i) text = "{\"k\":" + text + "}";
        return text;
    }();
    EXPECT_TRUE(fnd::parseJSON(objects).is_discarded()) << "objects count as arrays do";
    // Brackets inside texts are only text.
    const auto quoted = fnd::parseJSON("{\"s\":\"" + std::string(1000, '[') + "\"}");
    ASSERT_TRUE(quoted.is_object());
    EXPECT_EQ(quoted["s"].get<std::string>().size(), 1000u);
    EXPECT_TRUE(fnd::parseJSON("{\"a\":").is_discarded());
    EXPECT_TRUE(fnd::parseJSON("").is_discarded());
}

TEST(BoundedJSON, ADepthBombIsRefusedQuicklyWithoutBuildingIt) {
    const std::string bomb = "{\"keep\":\"me\",\"x\":" + nested(400000) + "}";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(fnd::parseJSON(bomb).is_discarded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
