#include "platform/foundation/AppDirectories.h"

#include <cstdlib>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/foundation/MainBundle.h"
#include "platform/foundation/Uuid.h"

namespace fnd {

namespace {
struct Box {
    std::mutex lock;
    std::optional<std::filesystem::path> root;
    std::vector<std::filesystem::path> fresh;  // temporary roots made here, removed at reset
};
Box& box() {
    static Box b;
    return b;
}

std::filesystem::path defaultRoot() { return AppDirectories::userData() / AppDirectories::appFolderName(); }

std::filesystem::path ensured(std::filesystem::path dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}
}  // namespace

std::filesystem::path AppDirectories::userData() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::filesystem::path(home) / ".local" / "share";
    }
    std::error_code ec;
    auto temporary = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : temporary;
}

std::string AppDirectories::appFolderName() {
    const auto id = MainBundle::identifier().value_or("");
    if (id.empty()) return "app";
    // "." and ".." name no folder of their own: every dot is escaped.
    const bool dotsOnly = id == "." || id == "..";
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string name;
    name.reserve(id.size());
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '%' || byte < 0x20 || byte == 0x7F || (dotsOnly && c == '.')) {
            name += '%';
            name += hex[byte >> 4];
            name += hex[byte & 15];
        } else {
            name += c;
        }
    }
    return name;
}

std::filesystem::path AppDirectories::root() {
    {
        std::lock_guard guard(box().lock);
        if (box().root) return *box().root;
    }
    return defaultRoot();
}

void AppDirectories::setRoot(std::optional<std::filesystem::path> root) {
    std::lock_guard guard(box().lock);
    box().root = std::move(root);
}

std::filesystem::path AppDirectories::useFreshTemporaryRoot() {
    std::error_code ec;
    auto base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    auto dir = ensured(base / ("app-root-" + Uuid::random().text()));
    setRoot(dir);
    std::lock_guard guard(box().lock);
    box().fresh.push_back(dir);
    return dir;
}

std::filesystem::path AppDirectories::applicationSupport() { return ensured(root() / "Application Support"); }

std::filesystem::path AppDirectories::temporary() { return ensured(root() / "tmp"); }

void AppDirectories::reset() {
    setRoot(std::nullopt);
    std::vector<std::filesystem::path> fresh;
    {
        std::lock_guard guard(box().lock);
        fresh.swap(box().fresh);
    }
    for (const auto& dir : fresh) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

}  // namespace fnd
