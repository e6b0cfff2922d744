#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/PreferredLanguages.h"
#include "tavro/core/TavroFieldValue.h"

namespace {

using tavro::TavroFieldValue::compare;
using Shows = tavro::TavroFieldValue::Shows;
using tavro::TavroElement;

struct Row {
    std::string shown;
    std::string asked;
    Shows expected;
};

void check(const std::vector<Row>& rows) {
    for (const auto& row : rows) {
        EXPECT_EQ(compare(row.shown, row.asked), row.expected) << "“" << row.shown << "” for “" << row.asked << "”";
    }
}

TEST(TavroFieldValue, AFieldThatReformatsTheTextStillHoldsIt) {
    check({
        {"(555) 123-4567", "5551234567", Shows::asked},
        {"$1,234.00", "1234", Shows::asked},
        {"1,234", "1234", Shows::asked},
        {"Ada", "ada", Shows::asked},
        {"•••• 4242", "4111111111114242", Shows::asked},
        {"**** **** **** 4242", "4111 1111 1111 4242", Shows::asked},
        {"4242 4242 4242 4242", "4242424242424242", Shows::asked},
        {"-$40.00", "-40", Shows::asked},
        {"Total: -40 °C", "-40", Shows::asked},
        {"2.5", "2.50", Shows::asked},
        {"Say HELLO!", "hello", Shows::asked},
        {"rin@example.org", "rin@example.org", Shows::asked},
        {"007", "007", Shows::asked},
    });
}

TEST(TavroFieldValue, AnotherNumberSignOrTextIsNotWhatWasTyped) {
    check({
        {"2500", "250", Shows::other},
        {"1250", "25", Shows::other},
        {"25", "250", Shows::other},
        {"250", "2.50", Shows::other},
        {"40", "-40", Shows::other},
        {"-40", "40", Shows::other},
        {"Bob", "Alice", Shows::other},
        {"•••• 1111", "4111111111114242", Shows::other},
        {"Apt 2500", "Apt 250", Shows::other},
        {"7", "007", Shows::other},
    });
}

TEST(TavroFieldValue, ANumberIsReadInTheFormatTheFieldShowsAndTextAsWholeWords) {
    check({
        // A decimal comma: followed by one or two digits at the end, or with points grouping.
        {"2,50 €", "2.50", Shows::asked},
        {"2,50", "2.50", Shows::asked},
        {"€ 2,5", "2,50", Shows::asked},
        {"10,00 €", "10", Shows::asked},
        {"1.234,00", "1234", Shows::asked},
        {"1.234,56 €", "1234.56", Shows::asked},
        {"1 234,00 €", "1234", Shows::asked},
        {"1,234.50", "1234,50", Shows::asked},
        {"1.234", "1234", Shows::asked},
        {"1.234.567", "1234567", Shows::asked},
        // A cents mask reads the digits typed as cents: not the number typed.
        {"2,50 €", "250", Shows::other},
        {"10,00 €", "1000", Shows::other},
        {"25,00 €", "2500", Shows::other},
        {"1,5", "15", Shows::other},
        {"1.234", "1.23", Shows::other},
        {"0,250", "250", Shows::other},
        {"0,25 €", "0.25", Shows::asked},
        // Whole words: an autocomplete adds words, never letters to a word.
        {"Anna Smith", "Anna", Shows::asked},
        {"Smith, Anna", "anna", Shows::asked},
        {"Wi-Fi", "wifi", Shows::asked},
        {"日本語を入力", "日本語", Shows::asked},
        {"Joanna Smith", "Anna", Shows::other},
        {"Annabel", "Anna", Shows::other},
        {"Smith, Anna", "anna smith", Shows::other},
    });
}

TEST(TavroFieldValue, WhatAControlHoldsInsteadIsSaidInTheUsersLanguage) {
    TavroElement amount{.id = 1, .kind = "input", .label = "Amount", .value = "2500"};
    TavroElement unnamed{.id = 2, .kind = "input", .value = "Bob"};
    using tavro::TavroFieldValue::holdsInstead;
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    EXPECT_EQ(holdsInstead(amount, "250"), "Amount の値は「2500」で、「250」ではありません");
    EXPECT_EQ(holdsInstead(unnamed, "Alice"), "欄の値は「Bob」で、「Alice」ではありません");
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"en-US"});
    EXPECT_EQ(holdsInstead(amount, "250"), "Amount holds “2500”, not “250”");
    EXPECT_EQ(holdsInstead(unnamed, "Alice"), "The field holds “Bob”, not “Alice”");
    fnd::PreferredLanguages::reset();
}

TEST(TavroFieldValue, AFieldShowingNoLettersOrDigitsMayHideWhatItHolds) {
    check({
        {"", "250", Shows::nothing},
        {"•••••", "hunter2", Shows::nothing},
        {"  ", "Ada", Shows::nothing},
        {"Bob", "", Shows::asked},
        {"Bob", "!!", Shows::asked},
    });
}

}  // namespace
