// A dynamic object: methods looked up by selector and values by key, as the platform's object
// runtime offers them. A class is an object too (its methods are the class methods), registered
// by name in the Runtime. Hosts and tests build the classes and instances they want found.
//
// Thread-safe: methods and values are kept under a lock that is released before a method runs,
// so methods may call back into the object.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/objc/Value.h"

namespace objc {

class Object : public std::enable_shared_from_this<Object> {
public:
    using Method = std::function<Value(Object& self, const Args& args)>;

    static ObjectPtr make(std::string className);

    const std::string& className() const { return className_; }

    // Adds or replaces a method; returns this object for chaining.
    Object& method(std::string selector, Method fn);
    void removeMethod(std::string_view selector);
    bool respondsTo(std::string_view selector) const;
    // Nothing when the object does not respond; otherwise the method's result.
    std::optional<Value> send(std::string_view selector, const Args& args = {});

    // Key-value look-up: a method named like the key answers first, then a stored value;
    // nothing when neither exists.
    std::optional<Value> valueForKey(std::string_view key);
    // Key-value writing: a "setKey:" method takes the value when there is one, else it is stored.
    void setValue(Value value, std::string_view key);

private:
    explicit Object(std::string className) : className_(std::move(className)) {}
    std::optional<Method> find(std::string_view selector) const;

    const std::string className_;
    mutable std::mutex lock_;
    std::map<std::string, Method, std::less<>> methods_;
    std::map<std::string, Value, std::less<>> values_;
};

// Null-safe helpers for chains of look-ups: a null object responds to nothing.
bool respondsTo(const ObjectPtr& object, std::string_view selector);
std::optional<Value> send(const ObjectPtr& object, std::string_view selector, const Args& args = {});
std::optional<Value> valueForKey(const ObjectPtr& object, std::string_view key);

}  // namespace objc
