// The device's own language model: whether it can be used (and why not), the operating-system
// version it reports, and sessions that answer a prompt by filling a typed record (guided
// generation). The model itself is a backend: this machine has none, so by default the model is
// unavailable because the device is not eligible; a host or a test installs a backend (for example
// a ScriptedBackend) that receives the instructions, prompt and schema and answers a record as JSON
// text or an error.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "platform/runtime/Task.h"
#include "platform/sysmodel/GenerationSchema.h"

namespace sysmodel {

enum class UnavailableReason { deviceNotEligible, notEnabled, modelNotReady };

struct Availability {
    // Nothing when the model is available.
    std::optional<UnavailableReason> reason;

    static Availability available() { return {}; }
    static Availability unavailable(UnavailableReason why) { return {why}; }
    bool isAvailable() const { return !reason; }
    bool operator==(const Availability&) const = default;
};

struct OSVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    auto operator<=>(const OSVersion&) const = default;
};

struct GenerationOptions {
    enum class Sampling { standard, greedy };
    // Nothing leaves the choice to the model.
    std::optional<Sampling> sampling;
    std::optional<double> temperature;
    std::optional<std::int64_t> maximumResponseTokens;
    bool operator==(const GenerationOptions&) const = default;
};

struct GenerationError {
    enum class Kind {
        guardrailViolation,
        exceededContextWindowSize,
        concurrentRequests,
        assetsUnavailable,
        decodingFailure,
        unsupportedLanguage,
        rateLimited,
    };
    Kind kind = Kind::decodingFailure;
    std::string description;
    bool operator==(const GenerationError&) const = default;
};

// What a session hands its backend for one response.
struct Request {
    std::string instructions;
    std::string prompt;
    GenerationSchema schema;
    bool includeSchemaInPrompt = true;
    GenerationOptions options;
};

// A backend's answer: the record as JSON text, or an error.
using Answer = std::variant<std::string, GenerationError>;

class Backend {
public:
    virtual ~Backend() = default;
    virtual Availability availability() const = 0;
    virtual rt::Task<Answer> respond(Request request) = 0;
};

class SystemModel {
public:
    // The default model's availability: the installed backend's, or not eligible without one.
    static Availability availability();
    // The operating-system version this device reports.
    static OSVersion operatingSystemVersion();

    // Host and test set-up. Thread-safe.
    static void install(std::shared_ptr<Backend> backend);
    static void setOperatingSystemVersion(OSVersion version);
    // No backend, and the default version.
    static void reset();

    static std::shared_ptr<Backend> backend();
};

// The generated record, or the error that ended the request.
template <class T>
struct Response {
    std::optional<T> content;
    std::optional<GenerationError> error;
    bool ok() const { return content.has_value(); }
};

// One conversation with the default model under fixed instructions, without tools.
class Session {
public:
    explicit Session(std::string instructions);

    const std::string& instructions() const { return instructions_; }

    // Asks for content that conforms to the schema. The backend's reply is checked against the
    // schema; a reply that is not JSON or does not conform ends as a decoding failure, and an
    // unavailable model as assets unavailable.
    rt::Task<Response<GeneratedContent>> respond(std::string prompt, GenerationSchema schema, bool includeSchemaInPrompt,
                                                 GenerationOptions options);

    // Typed form: Record offers `static GenerationSchema generationSchema()` and
    // `static std::optional<Record> fromContent(const GeneratedContent&)`.
    template <class Record>
    rt::Task<Response<Record>> respond(std::string prompt, bool includeSchemaInPrompt, GenerationOptions options) {
        auto raw = co_await respond(std::move(prompt), Record::generationSchema(), includeSchemaInPrompt,
                                    std::move(options));
        if (!raw.ok()) co_return Response<Record>{std::nullopt, std::move(raw.error)};
        auto record = Record::fromContent(*raw.content);
        if (!record) {
            co_return Response<Record>{std::nullopt,
                                       GenerationError{GenerationError::Kind::decodingFailure,
                                                       "The content could not be read as " +
                                                           Record::generationSchema().typeName}};
        }
        co_return Response<Record>{std::move(record), std::nullopt};
    }

private:
    std::string instructions_;
};

}  // namespace sysmodel
