#include "platform/security/Keychain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>

#include <map>
#include <mutex>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/crypto/Base64.h"
#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/BoundedJSON.h"

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

// The folder of every app's items: each app has a folder of its own in it, named by its app id.
std::filesystem::path sharedFolder() { return fnd::AppDirectories::userData() / "tavro-keychain"; }

std::filesystem::path directoryLocked(const Box& b) {
    return b.directory.value_or(sharedFolder() / fnd::AppDirectories::appFolderName());
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
    const auto json = fnd::parseJSON(text);
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

// Whether the folder is a directory of this user's own, not a link (or someone else's folder)
// planted to read the items or to have them written elsewhere.
bool ownFolder(const std::filesystem::path& directory) {
    struct stat info {};
    return ::lstat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// Makes the folder ready for writing: anything at its path that is not the user's own directory is
// moved aside (a link goes, not what it names) and a fresh folder made, readable by the user only.
bool prepareFolder(const std::filesystem::path& directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory.parent_path(), ec);
    struct stat info {};
    if (::lstat(directory.c_str(), &info) == 0 && !ownFolder(directory) && !fnd::keepAside(directory, ".refused")) {
        return false;
    }
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return ownFolder(directory) && ::chmod(directory.c_str(), 0700) == 0;
}

// Earlier the items of every app lay in the shared folder itself, one file per service. The first
// app that uses a service whose file is still there and has none of its own takes that file over:
// it is moved (never copied) into the app's folder, so that no other app can read it afterwards.
// Only the app's folder at its default place takes files over.
void takeOverShared(const Box& b, const std::filesystem::path& directory, const std::filesystem::path& file) {
    if (b.directory) return;
    struct stat info {};
    if (::lstat(file.c_str(), &info) == 0 || errno != ENOENT) return;  // the app has its own (or it is unclear)
    const auto shared = sharedFolder() / file.filename();
    if (!ownFolder(sharedFolder()) || ::lstat(shared.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() || !prepareFolder(directory)) {
        return;
    }
    // Never over a file the app wrote meanwhile; two apps racing for it: one of them gets it.
    if (::renameat2(AT_FDCWD, shared.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) != 0 &&
        ((errno != EINVAL && errno != ENOSYS) || ::rename(shared.c_str(), file.c_str()) != 0)) {
        return;  // a file system that cannot refuse to replace: the check above has to do
    }
    fnd::removeStaleTemporaries(shared);  // copies left by a killed save beside it
}

// The app's folder and the service's file in it, after any take-over from the shared folder.
struct Place {
    std::filesystem::path directory;
    std::filesystem::path file;
};
Place placeOf(const Box& b, std::string_view service) {
    Place place;
    place.directory = directoryLocked(b);
    place.file = fileFor(place.directory, service);
    takeOverShared(b, place.directory, place.file);
    return place;
}

Items load(const std::filesystem::path& directory, const std::filesystem::path& file) {
    if (!ownFolder(directory)) return {};  // no folder yet, or one that is not ours: no items
    // Temporary files of a save that was killed hold the items too.
    fnd::removeStaleTemporaries(file);
    auto bytes = fnd::readFileBytes(file);
    switch (bytes.access) {
        case fnd::FileBytes::Access::missing:
            return {};
        case fnd::FileBytes::Access::unavailable:
            return {{}, false};  // cannot be read now: leave it as it is
        case fnd::FileBytes::Access::read:
            if (auto items = parse(bytes.text)) return {std::move(*items), true};
            break;
        case fnd::FileBytes::Access::unreadable:
            break;
    }
    // It opened (or is no file at all) and holds no items: keep it aside, start empty.
    return {{}, fnd::keepAside(file, ".unreadable").has_value()};
}

bool save(const std::filesystem::path& directory, const std::filesystem::path& file, const Items& items) {
    if (!items.writable || !prepareFolder(directory)) return false;
    if (items.items.empty()) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
        return !ec;
    }
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [account, bytes] : items.items) json[account] = crypto::base64Encode(bytes);
    const bool saved = fnd::writeAtomically(file, json.dump());
    fnd::removeStaleTemporaries(file);
    return saved;
}

}  // namespace

std::optional<std::string> Keychain::read(std::string_view service, std::string_view account) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    const auto [directory, file] = placeOf(b, service);
    auto items = load(directory, file);
    const auto it = items.items.find(account);
    if (it == items.items.end()) return std::nullopt;
    return it->second;
}

bool Keychain::write(std::string_view service, std::string_view account, std::string_view data) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    const auto [directory, file] = placeOf(b, service);
    auto items = load(directory, file);
    items.items.insert_or_assign(std::string(account), std::string(data));
    return save(directory, file, items);
}

bool Keychain::remove(std::string_view service, std::string_view account) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    const auto [directory, file] = placeOf(b, service);
    auto items = load(directory, file);
    const auto it = items.items.find(account);
    if (it == items.items.end()) return items.writable;
    items.items.erase(it);
    return save(directory, file, items);
}

bool Keychain::removeAll(std::string_view service) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    const auto [directory, file] = placeOf(b, service);  // what the app would read is what goes
    if (!ownFolder(directory)) return true;  // nothing of ours to remove
    std::error_code ec;
    std::filesystem::remove(file, ec);
    const bool removed = !ec;
    // Every copy of the items goes too: temporary files of killed saves, and files set aside.
    fnd::removeStaleTemporaries(file);
    const std::string aside = file.filename().string() + ".unreadable";
    const auto setAside = [&aside](const std::string& name) {
        // "<file>.unreadable", or "<file>.unreadable-<n>" when that name was taken.
        if (name == aside) return true;
        if (!name.starts_with(aside + "-") || name.size() == aside.size() + 1) return false;
        return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(aside.size() + 1), name.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    std::error_code listing;
    for (std::filesystem::directory_iterator it(directory, listing), end; !listing && it != end; it.increment(listing)) {
        if (setAside(it->path().filename().string())) {
            std::error_code ignored;
            std::filesystem::remove_all(it->path(), ignored);
        }
    }
    return removed;
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
