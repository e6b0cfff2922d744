#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/StoreFile.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/remote/TavroAppMap.h"
#include "tavro/remote/TavroPack.h"

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

// The saved file, kept as every store's file is kept. Its own lock, taken before the box's: the
// file is read and written without holding up readers of the learned map.
struct Saved {
    std::mutex lock;
    std::optional<fnd::StoreFile> file;

    // The store of the file at the current place (Application Support moves in tests).
    fnd::StoreFile& store() {
        const auto path = TavroMaps::fileURL();
        if (!file || file->path() != path) file.emplace(path);
        return *file;
    }
};

Saved& saved() {
    static Saved instance;
    return instance;
}

bool isMap(std::string_view bytes) { return TavroAppMap::parse(bytes).has_value(); }

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
    auto& file = saved();
    const std::lock_guard guard(file.lock);
    file.store().load([](std::string_view bytes) {
        auto map = TavroAppMap::parse(bytes);
        if (!map) return false;
        auto& b = box();
        const std::lock_guard held(b.lock);
        // A map learned meanwhile is newer than the file.
        if (!b.learned) b.learned = std::move(map);
        return true;
    });
}

void TavroMaps::save(const TavroAppMap& map) {
    std::optional<std::string> error;
    {
        auto& file = saved();
        const std::lock_guard guard(file.lock);
        auto& store = file.store();
        // A file never read is read first, so that an unreadable one is set aside, not replaced.
        const bool written = store.save(
            [&map] { return map.toJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }, isMap);
        if (!written) error = store.lastError();
    }
    // Errors are not the caller's concern; the map stays with the caller and the next save
    // writes it again.
    if (error) TavroDebug::logFromAnyThread("learn", "app map not saved (" + *error + ")", false);
}

void TavroMaps::reset() { setLearned(std::nullopt); }

}  // namespace tavro
