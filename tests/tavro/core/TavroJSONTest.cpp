#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tavro/core/TavroJSON.h"

namespace J = tavro::TavroJSON;
using nlohmann::json;

TEST(JSONText, CompactWithSortedKeysAndPlainSlashes) {
    const json v = {{"zeta", 1}, {"alpha", {{"b", true}, {"a", nullptr}}}, {"url", "https://x.example/a/b"}};
    EXPECT_EQ(J::text(v), R"({"alpha":{"a":null,"b":true},"url":"https://x.example/a/b","zeta":1})");
}

TEST(JSONText, BareValuesAreTheirOwnText) {
    EXPECT_EQ(J::text(json(3)), "3");
    EXPECT_EQ(J::text(json("a/\"b\"")), R"("a/\"b\"")");
    EXPECT_EQ(J::text(json(true)), "true");
    EXPECT_EQ(J::text(json(nullptr)), "null");
    EXPECT_EQ(J::text(json::array({1, "二", 2.5})), R"([1,"二",2.5])");
}

TEST(JSONText, UnwritableValuesGiveNull) {
    EXPECT_EQ(J::text(json(json::value_t::discarded)), "null");
    json deep = json::array();
    for (int i = 0; i < J::maxDepth + 5; ++i) deep = json::array({std::move(deep)});
    EXPECT_EQ(J::text(deep), "null");
    EXPECT_EQ(J::text(json(std::numeric_limits<double>::quiet_NaN())), "null");
}

TEST(JSONText, IllFormedUtf8IsReplacedNotThrown) {
    EXPECT_EQ(J::text(json{{"k", std::string("a\xff" "b")}}), "{\"k\":\"a\uFFFDb\"}");
}

TEST(JSONDictionary, ObjectsParseEverythingElseIsNothing) {
    const auto d = J::dictionary(R"({"$tavro":{"cmd":"run"},"n":2})");
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ((*d)["$tavro"]["cmd"], "run");
    EXPECT_EQ((*d)["n"], 2);
    for (const std::string bad : {"[1,2]", "\"text\"", "3", "null", "", "{", "{\"a\":}", "not json",
                                  "{\"a\":1} trailing", "{\"a\":\"\xff\"}"})
        EXPECT_EQ(J::dictionary(bad), std::nullopt) << bad;
}

TEST(JSONDictionary, HostileNestingIsRefused) {
    const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_EQ(J::dictionary(deep), std::nullopt);
    const std::string ok = "{\"a\":" + std::string(50, '[') + std::string(50, ']') + "}";
    EXPECT_TRUE(J::dictionary(ok).has_value());
    EXPECT_TRUE(J::dictionary(R"({"s":"[[[[{{{{\"]]"})").has_value());
}

TEST(JSONDictionary, RoundTripsThroughText) {
    const std::string text = R"({"a":[1,2,{"b":"c/d"}],"e":"日本"})";
    const auto d = J::dictionary(text);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(J::text(*d), text);
}
