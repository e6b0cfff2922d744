#include "platform/objc/Runtime.h"

#include <map>
#include <mutex>

namespace objc {

namespace {
struct Box {
    std::mutex lock;
    std::map<std::string, ObjectPtr, std::less<>> classes;
};
Box& box() {
    static Box b;
    return b;
}
}  // namespace

void Runtime::registerClass(const ObjectPtr& cls) {
    if (!cls) return;
    std::lock_guard guard(box().lock);
    box().classes.insert_or_assign(cls->className(), cls);
}

void Runtime::unregisterClass(std::string_view name) {
    std::lock_guard guard(box().lock);
    if (auto it = box().classes.find(name); it != box().classes.end()) box().classes.erase(it);
}

ObjectPtr Runtime::classNamed(std::string_view name) {
    std::lock_guard guard(box().lock);
    const auto it = box().classes.find(name);
    return it == box().classes.end() ? nullptr : it->second;
}

std::vector<std::string> Runtime::classNames() {
    std::lock_guard guard(box().lock);
    std::vector<std::string> out;
    for (const auto& [name, cls] : box().classes) out.push_back(name);
    return out;
}

void Runtime::reset() {
    std::lock_guard guard(box().lock);
    box().classes.clear();
}

}  // namespace objc
