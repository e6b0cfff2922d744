#include "platform/security/Keychain.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"

namespace security {

namespace {

struct Box {
    std::mutex lock;
    std::optional<std::filesystem::path> directory;
};
Box& box() {
    static Box b;
    return b;
}

std::filesystem::path directoryLocked(const Box& b) {
    return b.directory.value_or(fnd::AppDirectories::userData() / "tavro-keychain");
}

// The service's file name: letters, digits, "-", "_" and inner dots stay; any other byte is
// percent-encoded, so that no service name can reach outside the folder.
std::filesystem::path fileFor(const std::filesystem::path& directory, std::string_view service) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string name;
    for (std::size_t i = 0; i < service.size(); ++i) {
        const auto c = static_cast<unsigned char>(service[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || (c == '.' && i > 0);
        if (plain) {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += hex[c >> 4];
            name += hex[c & 15];
        }
    }
    return directory / (name + ".keychain");
}

// The items of one service's file, and whether the file may be written (false when it exists but
// could not be read now, or could not be moved aside after it proved unreadable).
struct Items {
    std::map<std::string, std::string, std::less<>> items;
    bool writable = true;
};

std::optional<std::map<std::string, std::string, std::less<>>> parse(const std::string& text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    std::map<std::string, std::string, std::less<>> items;
    for (const auto& [account, value] : json.items()) {
        if (!value.is_string()) return std::nullopt;
        auto bytes = crypto::base64Decode(value.get_ref<const std::string&>());
        if (!bytes) return std::nullopt;
        items.emplace(account, std::move(*bytes));
    }
    return items;
}

Items load(const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) return {};
    if (ec) return {{}, false};  // cannot even be looked at now
    if (status.type() == std::filesystem::file_type::regular) {
        const auto text = fnd::readFile(file);
        if (!text) return {{}, false};  // cannot be read now: leave it as it is
        if (auto items = parse(*text)) return {std::move(*items), true};
    }
    // It opened (or is no file at all) and holds no items: keep it aside, start empty.
    return {{}, fnd::keepAside(file, ".unreadable").has_value()};
}

bool save(const std::filesystem::path& directory, const std::filesystem::path& file, const Items& items) {
    if (!items.writable) return false;
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    ::chmod(directory.c_str(), 0700);
    if (items.items.empty()) {
        std::filesystem::remove(file, ec);
        return !ec;
    }
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [account, bytes] : items.items) json[account] = crypto::base64Encode(bytes);
    return fnd::writeAtomically(file, json.dump());
}

}  // namespace

std::optional<std::string> Keychain::read(std::string_view service, std::string_view account) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    auto items = load(fileFor(directoryLocked(b), service));
    const auto it = items.items.find(account);
    if (it == items.items.end()) return std::nullopt;
    return it->second;
}

bool Keychain::write(std::string_view service, std::string_view account, std::string_view data) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    const auto directory = directoryLocked(b);
    const auto file = fileFor(directory, service);
    auto items = load(file);
    items.items.insert_or_assign(std::string(account), std::string(data));
    return save(directory, file, items);
}

bool Keychain::remove(std::string_view service, std::string_view account) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    const auto directory = directoryLocked(b);
    const auto file = fileFor(directory, service);
    auto items = load(file);
    const auto it = items.items.find(account);
    if (it == items.items.end()) return items.writable;
    items.items.erase(it);
    return save(directory, file, items);
}

bool Keychain::removeAll(std::string_view service) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    std::error_code ec;
    std::filesystem::remove(fileFor(directoryLocked(b), service), ec);
    return !ec;
}

std::filesystem::path Keychain::directory() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return directoryLocked(b);
}

void Keychain::setDirectory(std::optional<std::filesystem::path> directory) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.directory = std::move(directory);
}

}  // namespace security
