#include <mutex>

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

void TavroMaps::reset() { setLearned(std::nullopt); }

}  // namespace tavro
