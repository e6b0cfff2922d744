// The one way the library emits an analytics event. It cuts the event name and field names to 40
// characters, turns values into numbers or short texts (100 characters), adds "tavro_sdk" (and
// "tavro_pack" while a pack is active) and hands the event to a sink. The default sink reaches the
// host app's analytics class by name through the run-time class registry and sends nothing when
// that class or its method is missing.
//
// A namespace of static members over one process-wide box under its own lock. `log` may be called
// from any thread; the sink runs on the caller's thread after the lock is released, so a sink may
// call back in.
#pragma once

#include <chrono>
#include <concepts>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include <nlohmann/json.hpp>

namespace tavro {

class TavroModel;

class TavroAnalytics {
public:
    // A field value as the library's callers pass it: absent, a Boolean, an integer, a 64-bit
    // integer, a floating-point number, a text, a date or any JSON value.
    class Value {
    public:
        using Date = std::chrono::system_clock::time_point;
        using Storage = std::variant<std::monostate, bool, int, std::int64_t, double, std::string, Date, nlohmann::json>;

        Value() = default;
        Value(std::nullopt_t) {}
        Value(bool value) : storage_(value) {}
        template <std::integral T>
            requires(!std::same_as<T, bool>)
        Value(T value) {
            if constexpr (std::is_signed_v<T> && sizeof(T) <= sizeof(int)) {
                storage_ = static_cast<int>(value);
            } else if constexpr (std::is_signed_v<T>) {
                storage_ = static_cast<std::int64_t>(value);
            } else if (static_cast<std::uintmax_t>(value) <= static_cast<std::uintmax_t>(INT64_MAX)) {
                storage_ = static_cast<std::int64_t>(value);
            } else {
                storage_ = nlohmann::json(static_cast<std::uint64_t>(value));
            }
        }
        template <std::floating_point T>
        Value(T value) : storage_(static_cast<double>(value)) {}
        Value(std::string value) : storage_(std::move(value)) {}
        Value(std::string_view value) : storage_(std::string(value)) {}
        Value(const char* value) {
            if (value) storage_ = std::string(value);
        }
        Value(Date value) : storage_(value) {}
        Value(nlohmann::json value) : storage_(std::move(value)) {}
        template <class T>
        Value(const std::optional<T>& value) {
            if (value) *this = Value(*value);
        }

        const Storage& storage() const { return storage_; }
        bool isAbsent() const { return std::holds_alternative<std::monostate>(storage_); }

    private:
        Storage storage_;
    };

    // A parameter as the sink receives it: an integer, a floating-point number or a text.
    using Parameter = std::variant<std::int64_t, double, std::string>;
    using Parameters = std::map<std::string, Parameter>;
    using Fields = std::map<std::string, Value>;
    using Sink = std::function<void(const std::string& event, const Parameters& parameters)>;

    // Events are dropped while false. Initially true.
    static bool enabled();
    static void setEnabled(bool enabled);

    // The sink that receives every event; an empty sink silences all events. Initially the
    // built-in sink that reaches the host's analytics class.
    static Sink sink();
    static void setSink(Sink sink);

    // Emits one event "tavro_" + event with the converted fields.
    static void log(std::string_view event, const Fields& fields = {});

    // The engine word that analytics events carry: "rules" without a model, "apple" for the
    // platform's on-device model, "local" for a downloadable model, "model" for any other.
    static std::string engine(const TavroModel* model);

    // Folds an error text into one reason word: "low_memory", "bad_file", "background",
    // "stopped", "gpu" or "other".
    static std::string reason(std::string_view text);

    // Tests: enabled again, and the built-in sink back in place.
    static void reset();
};

}  // namespace tavro
