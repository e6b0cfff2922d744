#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/Uuid.h"
#include "tavro/memory/TavroAppMap.h"
#include "tavro/memory/TavroPack.h"

namespace tavro {

namespace {

struct Box {
    std::mutex lock;
    std::optional<TavroAppMap> learned;
};

Box& box() {
    static Box instance;
    return instance;
}

// Writes the whole text to a new file beside `path`, flushes it to disk and renames it over `path`.
bool writeAtomically(const std::filesystem::path& path, const std::string& text) {
    const auto temporary = path.parent_path() / (path.filename().string() + "." + fnd::Uuid::random().text() + ".tmp");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t written = 0; ok && written < text.size();) {
        const auto n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        written += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    return ok;
}

}  // namespace

std::optional<TavroAppMap> TavroMaps::current() {
    if (auto map = learned()) return map;
    if (auto pack = TavroPacks::current()) return std::move(pack->map);
    return std::nullopt;
}

std::optional<TavroAppMap> TavroMaps::learned() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.learned;
}

void TavroMaps::setLearned(std::optional<TavroAppMap> map) {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.learned = std::move(map);
}

std::filesystem::path TavroMaps::fileURL() { return fnd::AppDirectories::applicationSupport() / "TavroAppMap.json"; }

void TavroMaps::loadSaved() {
    if (learned()) return;
    std::ifstream file(fileURL(), std::ios::binary);
    if (!file) return;
    std::ostringstream text;
    text << file.rdbuf();
    auto map = TavroAppMap::parse(text.str());
    if (!map) return;
    auto& b = box();
    std::lock_guard guard(b.lock);
    // A map learned meanwhile is newer than the file.
    if (!b.learned) b.learned = std::move(map);
}

void TavroMaps::save(const TavroAppMap& map) {
    std::error_code error;
    const auto path = fileURL();
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) return;
    writeAtomically(path, map.toJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void TavroMaps::reset() { setLearned(std::nullopt); }

}  // namespace tavro
