#include <gtest/gtest.h>

#include <string>

#include "tavro/core/TavroText.h"
#include "tavro/surfaces/TavroWebText.h"

using tavro::TavroWebText;

namespace {

struct UrlCase {
    std::string typed;
    std::optional<std::string> expected;
};

}  // namespace

TEST(TavroWebText, AcceptsAddressesAndAddsHttpsWhenNoSchemeIsGiven) {
    const std::vector<UrlCase> cases = {
        {"example.org", "https://example.org"},
        {"https://example.org/path?q=1#top", "https://example.org/path?q=1#top"},
        {"http://example.org", "http://example.org"},
        {"HTTP://Example.org", "HTTP://Example.org"},
        {"Https://a.b", "Https://a.b"},
        {"www.example.co.jp/ニュース", "https://www.example.co.jp/ニュース"},
        {"user@mail.example.com:8080/x", "https://user@mail.example.com:8080/x"},
        {"例え.jp", "https://例え.jp"},
    };
    for (const auto& c : cases) EXPECT_EQ(TavroWebText::url(c.typed), c.expected) << c.typed;
}

TEST(TavroWebText, TrimsWhiteSpaceQuotesBracketsAndPunctuationAroundTheText) {
    const std::vector<UrlCase> cases = {
        {"  example.org \n", "https://example.org"},
        {"\"example.org\"", "https://example.org"},
        {"'example.org'", "https://example.org"},
        {"“example.org”", "https://example.org"},
        {"「example.org」", "https://example.org"},
        {"<https://example.org>", "https://example.org"},
        {"example.org.", "https://example.org"},
        {"example.org,", "https://example.org"},
        {" “ example.org. ” ", "https://example.org"},
    };
    for (const auto& c : cases) EXPECT_EQ(TavroWebText::url(c.typed), c.expected) << c.typed;
}

TEST(TavroWebText, RefusesTextsThatAreNotAddresses) {
    for (const std::string typed : {
             "", "   ", "\"\"", "...", "Settings",        // empty or no dot
             "example .org", "red shoes.com now",         // a blank inside
             "https://localhost", "https://example",      // host without a dot
             "httpexample.org",                           // begins with http but has no scheme
             "http:example.org",                          // no host part
             "https://", "https:///path.x",               // empty host
             "example.org:port", "exa<mple.org", "a{b}.com", "bad%zz.com", "50%.com",
         })
        EXPECT_EQ(TavroWebText::url(typed), std::nullopt) << typed;
}

TEST(TavroWebText, IllFormedTextNeverFails) {
    for (const char* typed : {"\xff\xfe.com\x80", "ex\xc3.org", "\xe2\x80.jp"}) {
        const auto address = TavroWebText::url(typed);
        if (address) {
            EXPECT_TRUE(tavro::TavroText::isValidUTF8(*address)) << *address;
        }
    }
    EXPECT_EQ(TavroWebText::url(std::string(10000, '.')), std::nullopt);
    EXPECT_EQ(TavroWebText::url(std::string("a\0b.com", 7)), std::nullopt);
}
