// Raw model output through the reasoning plan reader, then the summary and the completion test on
// a fixed screen. Must end in bounded time and never fail.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tavro/models/TavroReasoning.h"

using namespace tavro;

namespace {

const TavroScreen& fixedScreen() {
    static const TavroScreen screen{
        .location = "Chat",
        .title = "Chat with Tuli",
        .text = "Message sent · 送信済み · Ünïcode",
        .elements = {TavroElement{.id = 1, .kind = "input", .label = "Message", .value = "hi there", .inView = true},
                     TavroElement{.id = 2, .kind = "button", .label = "Send", .inView = true},
                     TavroElement{.id = 3, .kind = "cell", .label = "Tuli", .value = "online", .inView = true}},
    };
    return screen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    if (const auto plan = TavroReasoning::parse(reply)) {
        (void)plan->summary();
        (void)plan->isDone(fixedScreen(), true);
        (void)plan->isDone(fixedScreen(), false);
    }
    // The reply itself as a done description.
    const TavroReasoning asDone{.done = reply};
    (void)asDone.isDone(fixedScreen(), true);
    (void)asDone.isDone(fixedScreen(), false);
    return 0;
}
