#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavro/core/TavroFieldValue.h"

namespace {

using tavro::TavroFieldValue::compare;
using Shows = tavro::TavroFieldValue::Shows;

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
        {"2,50", "2.50", Shows::other},
    });
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
