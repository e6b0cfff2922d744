// Shared pieces of the recipe memory tests: a fresh temporary directory per test and builders for
// elements and performed steps.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tavro/memory/TavroMemory.h"

namespace tavro::memorytest {

class TempDirectory {
public:
    TempDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavro-memory-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDirectory() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every file of the directory whose name begins with `prefix`.
inline std::vector<std::filesystem::path> filesStartingWith(const std::filesystem::path& directory,
                                                            const std::string& prefix) {
    std::vector<std::filesystem::path> found;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        if (item.path().filename().string().starts_with(prefix)) found.push_back(item.path());
    }
    return found;
}

inline TavroElement element(std::int64_t id, std::string kind, std::string label, std::vector<std::string> keys = {}) {
    return TavroElement{.id = id, .kind = std::move(kind), .label = std::move(label), .keys = std::move(keys), .inView = true};
}

inline TavroPerformedStep typed(std::string text, TavroElement on, std::string location = "Chat", bool submit = false) {
    return TavroPerformedStep{.action = {.kind = TavroAction::Kind::type, .id = on.id, .text = text, .submit = submit},
                              .element = std::move(on),
                              .caption = "Type " + text,
                              .location = std::move(location)};
}

inline TavroPerformedStep tapped(TavroElement on, std::string location = "Chat") {
    return TavroPerformedStep{.action = {.kind = TavroAction::Kind::click, .id = on.id},
                              .element = on,
                              .caption = "Tap " + on.label,
                              .location = std::move(location)};
}

inline TavroPerformedStep withoutElement(TavroAction::Kind kind, std::string text = "") {
    return TavroPerformedStep{.action = {.kind = kind, .text = text}, .caption = text, .location = "Home"};
}

}  // namespace tavro::memorytest
