// Reading typed text as a web address. The in-app browser opens what this accepts as an address
// (and searches for anything else); the rules engine uses it to tell "open example.org" from
// "open Settings".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavro {

class TavroWebText {
public:
    TavroWebText() = delete;

    // The web address typed text names, or nothing. White space and the quotes, brackets, full
    // stops and commas people put around an address are trimmed; a text with a blank inside is
    // not an address; "https://" is put in front unless the text begins with "http" (any case);
    // the result must parse as an address whose host contains a dot.
    static std::optional<std::string> url(std::string_view typed);
};

}  // namespace tavro
