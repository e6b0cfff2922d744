// What crosses a dynamic message send: nothing, a Boolean, an integer, a double, a text, a JSON
// value (dictionaries and arrays), an object, or a callable (completion handlers, which may be
// called on any thread). Accessors answer nothing for another kind, never throw.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace objc {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

class Value;
using Args = std::vector<Value>;

class Value {
public:
    using Callable = std::function<Value(const Args&)>;
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, nlohmann::json, ObjectPtr,
                                 Callable>;

    Value() = default;
    Value(bool v) : storage_(v) {}
    Value(int v) : storage_(std::int64_t{v}) {}
    Value(std::int64_t v) : storage_(v) {}
    Value(double v) : storage_(v) {}
    Value(const char* v) : storage_(std::string(v)) {}
    Value(std::string v) : storage_(std::move(v)) {}
    Value(nlohmann::json v) : storage_(std::move(v)) {}
    Value(ObjectPtr v) : storage_(std::move(v)) {}
    Value(Callable v) : storage_(std::move(v)) {}
    // Any function of the arguments; one that returns nothing answers nothing.
    template <class F>
        requires(!std::is_same_v<std::decay_t<F>, Value> && !std::is_same_v<std::decay_t<F>, Callable> &&
                 std::is_invocable_v<F&, const Args&>)
    Value(F&& f) : storage_(wrap(std::forward<F>(f))) {}

    bool isNothing() const { return std::holds_alternative<std::monostate>(storage_); }
    std::optional<bool> boolean() const { return get<bool>(); }
    std::optional<std::int64_t> integer() const { return get<std::int64_t>(); }
    // A double, or an integer read as one.
    std::optional<double> number() const {
        if (auto i = get<std::int64_t>()) return static_cast<double>(*i);
        return get<double>();
    }
    std::optional<std::string> string() const { return get<std::string>(); }
    std::optional<nlohmann::json> json() const { return get<nlohmann::json>(); }
    // The object, or nullptr (also for a null object).
    ObjectPtr object() const {
        auto o = std::get_if<ObjectPtr>(&storage_);
        return o ? *o : nullptr;
    }
    // The callable, or an empty function.
    Callable callable() const {
        auto c = std::get_if<Callable>(&storage_);
        return c ? *c : Callable{};
    }

    const Storage& storage() const { return storage_; }

private:
    template <class F>
    static Callable wrap(F&& f) {
        if constexpr (std::is_void_v<std::invoke_result_t<F&, const Args&>>) {
            return [fn = std::forward<F>(f)](const Args& args) mutable {
                fn(args);
                return Value();
            };
        } else {
            return Callable(std::forward<F>(f));
        }
    }
    template <class T>
    std::optional<T> get() const {
        auto p = std::get_if<T>(&storage_);
        if (!p) return std::nullopt;
        return *p;
    }
    Storage storage_;
};

}  // namespace objc
