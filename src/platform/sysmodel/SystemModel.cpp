#include "platform/sysmodel/SystemModel.h"

#include <exception>
#include <mutex>

namespace sysmodel {

namespace {

// The version reported until a host sets another: the first release that carries the model.
constexpr OSVersion defaultVersion{26, 0, 0};

struct Box {
    std::mutex mutex;
    std::shared_ptr<Backend> backend;
    OSVersion version = defaultVersion;
};

Box& box() {
    static Box b;
    return b;
}

GenerationError decodingFailure(std::string why) {
    return {GenerationError::Kind::decodingFailure, std::move(why)};
}

}  // namespace

Availability SystemModel::availability() {
    const auto b = backend();
    if (!b) return Availability::unavailable(UnavailableReason::deviceNotEligible);
    return b->availability();
}

OSVersion SystemModel::operatingSystemVersion() {
    std::lock_guard lock(box().mutex);
    return box().version;
}

void SystemModel::install(std::shared_ptr<Backend> backend) {
    std::lock_guard lock(box().mutex);
    box().backend = std::move(backend);
}

void SystemModel::setOperatingSystemVersion(OSVersion version) {
    std::lock_guard lock(box().mutex);
    box().version = version;
}

void SystemModel::reset() {
    std::lock_guard lock(box().mutex);
    box().backend.reset();
    box().version = defaultVersion;
}

std::shared_ptr<Backend> SystemModel::backend() {
    std::lock_guard lock(box().mutex);
    return box().backend;
}

Session::Session(std::string instructions) : instructions_(std::move(instructions)) {}

rt::Task<Response<GeneratedContent>> Session::respond(std::string prompt, GenerationSchema schema,
                                                      bool includeSchemaInPrompt, GenerationOptions options) {
    using Result = Response<GeneratedContent>;
    const auto backend = SystemModel::backend();
    if (!backend || !backend->availability().isAvailable()) {
        co_return Result{std::nullopt,
                         GenerationError{GenerationError::Kind::assetsUnavailable, "The model is not available"}};
    }
    Request request{instructions_, std::move(prompt), schema, includeSchemaInPrompt, std::move(options)};
    Answer answer;
    try {
        answer = co_await backend->respond(std::move(request));
    } catch (const std::exception& e) {
        co_return Result{std::nullopt, decodingFailure(std::string("The model failed: ") + e.what())};
    } catch (...) {
        co_return Result{std::nullopt, decodingFailure("The model failed")};
    }
    if (auto* error = std::get_if<GenerationError>(&answer)) co_return Result{std::nullopt, std::move(*error)};

    const auto& text = std::get<std::string>(answer);
    auto content = GeneratedContent::parse(text, nullptr, false);
    if (content.is_discarded()) co_return Result{std::nullopt, decodingFailure("The reply is not valid JSON")};
    if (auto why = schema.mismatch(content)) co_return Result{std::nullopt, decodingFailure("The reply does not match " + schema.typeName + ": " + *why)};
    co_return Result{std::move(content), std::nullopt};
}

}  // namespace sysmodel
