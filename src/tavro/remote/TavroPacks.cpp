#include <mutex>

#include "tavro/remote/TavroModelSwitch.h"
#include "tavro/remote/TavroPack.h"

namespace tavro {

namespace {

struct Box {
    std::mutex lock;
    std::optional<TavroPack> current;
};

Box& box() {
    static Box instance;
    return instance;
}

}  // namespace

std::optional<TavroPack> TavroPacks::current() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    return b.current;
}

void TavroPacks::setCurrent(std::optional<TavroPack> pack) {
    {
        auto& b = box();
        std::lock_guard guard(b.lock);
        b.current = std::move(pack);
    }
    TavroModelSwitch::changed();
}

void TavroPacks::clear() { setCurrent(std::nullopt); }

void TavroPacks::reset() {
    auto& b = box();
    std::lock_guard guard(b.lock);
    b.current.reset();
}

}  // namespace tavro
