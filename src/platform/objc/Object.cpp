#include "platform/objc/Object.h"

#include <cctype>

namespace objc {

ObjectPtr Object::make(std::string className) {
    return ObjectPtr(new Object(std::move(className)));  // private constructor
}

Object& Object::method(std::string selector, Method fn) {
    std::lock_guard guard(lock_);
    methods_.insert_or_assign(std::move(selector), std::move(fn));
    return *this;
}

void Object::removeMethod(std::string_view selector) {
    std::lock_guard guard(lock_);
    if (auto it = methods_.find(selector); it != methods_.end()) methods_.erase(it);
}

bool Object::respondsTo(std::string_view selector) const {
    std::lock_guard guard(lock_);
    return methods_.find(selector) != methods_.end();
}

std::optional<Object::Method> Object::find(std::string_view selector) const {
    std::lock_guard guard(lock_);
    const auto it = methods_.find(selector);
    if (it == methods_.end() || !it->second) return std::nullopt;
    return it->second;
}

std::optional<Value> Object::send(std::string_view selector, const Args& args) {
    const auto fn = find(selector);
    if (!fn) return std::nullopt;
    return (*fn)(*this, args);
}

std::optional<Value> Object::valueForKey(std::string_view key) {
    if (key.empty()) return std::nullopt;
    if (auto fn = find(key)) return (*fn)(*this, {});
    std::lock_guard guard(lock_);
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void Object::setValue(Value value, std::string_view key) {
    if (key.empty()) return;
    std::string setter = "set";
    setter += static_cast<char>(std::toupper(static_cast<unsigned char>(key.front())));
    setter.append(key.substr(1));
    setter += ':';
    if (auto fn = find(setter)) {
        (*fn)(*this, {std::move(value)});
        return;
    }
    std::lock_guard guard(lock_);
    values_.insert_or_assign(std::string(key), std::move(value));
}

bool respondsTo(const ObjectPtr& object, std::string_view selector) {
    return object && object->respondsTo(selector);
}

std::optional<Value> send(const ObjectPtr& object, std::string_view selector, const Args& args) {
    if (!object) return std::nullopt;
    return object->send(selector, args);
}

std::optional<Value> valueForKey(const ObjectPtr& object, std::string_view key) {
    if (!object) return std::nullopt;
    return object->valueForKey(key);
}

}  // namespace objc
