#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/foundation/AppDirectories.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Uuid.h"
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
    fnd::writeAtomically(path, map.toJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void TavroMaps::reset() { setLearned(std::nullopt); }

}  // namespace tavro
