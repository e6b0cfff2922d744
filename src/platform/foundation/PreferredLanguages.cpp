#include "platform/foundation/PreferredLanguages.h"

#include <cstdlib>
#include <mutex>

namespace fnd {

namespace {

struct Box {
    std::mutex lock;
    std::optional<std::vector<std::string>> override_;
};

Box& box() {
    static Box b;
    return b;
}

std::string_view env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string_view(v) : std::string_view();
}

}  // namespace

std::string PreferredLanguages::tag(std::string_view name) {
    const auto cut = name.find_first_of(".@");
    if (cut != std::string_view::npos) name = name.substr(0, cut);
    if (name.empty() || name == "C" || name == "POSIX") return {};
    std::string out(name);
    for (char& c : out)
        if (c == '_') c = '-';
    return out;
}

std::vector<std::string> PreferredLanguages::fromEnvironment() {
    std::vector<std::string> tags;
    const auto language = env("LANGUAGE");
    if (!language.empty()) {
        std::size_t start = 0;
        while (start <= language.size()) {
            auto end = language.find(':', start);
            if (end == std::string_view::npos) end = language.size();
            auto t = tag(language.substr(start, end - start));
            if (!t.empty()) tags.push_back(std::move(t));
            start = end + 1;
        }
        if (!tags.empty()) return tags;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto value = env(name);
        if (value.empty()) continue;
        auto t = tag(value);
        if (!t.empty()) tags.push_back(std::move(t));
        break;
    }
    return tags;
}

std::vector<std::string> PreferredLanguages::list() {
    {
        std::lock_guard guard(box().lock);
        if (box().override_) return *box().override_;
    }
    return fromEnvironment();
}

std::optional<std::string> PreferredLanguages::first() {
    auto tags = list();
    if (tags.empty()) return std::nullopt;
    return std::move(tags.front());
}

void PreferredLanguages::setOverride(std::optional<std::vector<std::string>> tags) {
    std::lock_guard guard(box().lock);
    box().override_ = std::move(tags);
}

void PreferredLanguages::reset() {
    std::lock_guard guard(box().lock);
    box().override_.reset();
}

}  // namespace fnd
