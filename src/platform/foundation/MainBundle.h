// The app's bundle as the host describes it: its identifier and its info values
// ("CFBundleDisplayName", "CFBundleName", "CFBundleShortVersionString", "CFBundleVersion",
// "NSMicrophoneUsageDescription" and the like). Values the host has not set are absent.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace fnd {

class MainBundle {
public:
    MainBundle() = delete;

    static std::optional<std::string> identifier();
    static void setIdentifier(std::optional<std::string> identifier);

    static std::optional<std::string> info(std::string_view key);
    // Sets one value; nothing removes it.
    static void setInfo(std::string key, std::optional<std::string> value);
    static void setInfo(std::map<std::string, std::string> values);  // replaces all values

    // Forgets the identifier and every value (tests).
    static void reset();
};

}  // namespace fnd
