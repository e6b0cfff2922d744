// JSON of any shape as the content the on-device model hands back, checked against the schemas of
// its two records. Content the schema accepts must read as the record (an id beyond the signed
// range excepted), and a record read must give back the same content.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include <nlohmann/json.hpp>

#include "tavro/models/AppleIntelligenceModel.h"

using tavro::AppleTavroRuntime::Decision;
using tavro::AppleTavroRuntime::Reasoning;

namespace {

bool idBeyondRange(const nlohmann::json& content) {
    const auto id = content.find("id");
    return id != content.end() && id->is_number_unsigned() &&
           id->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto content = nlohmann::json::parse(data, data + size, nullptr, false);
    if (content.is_discarded()) return 0;

    static const auto decisionSchema = Decision::generationSchema();
    const auto decision = Decision::fromContent(content);
    if (!decisionSchema.mismatch(content)) {
        if (!decision && !idBeyondRange(content)) std::abort();
    }
    if (decision) {
        if (Decision::fromContent(decision->content()) != decision) std::abort();
        (void)decisionSchema.mismatch(decision->content());
    }

    static const auto reasoningSchema = Reasoning::generationSchema();
    const auto reasoning = Reasoning::fromContent(content);
    if (!reasoningSchema.mismatch(content) && !reasoning) std::abort();
    if (reasoning) {
        if (Reasoning::fromContent(reasoning->content()) != reasoning) std::abort();
        // What the think call hands on must always serialise.
        (void)reasoning->content().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    return 0;
}
