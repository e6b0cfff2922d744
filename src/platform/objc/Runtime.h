// The registry of classes by name, standing in for the platform's run-time class look-up. A host
// registers the classes of the libraries it links (an analytics class, a remote-config class,
// the application class); code that looks a class up treats a missing one as "not there".
// Thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/objc/Object.h"

namespace objc {

class Runtime {
public:
    Runtime() = delete;

    // Registers (or replaces) a class object under its class name.
    static void registerClass(const ObjectPtr& cls);
    static void unregisterClass(std::string_view name);
    // The class of that name, or nullptr.
    static ObjectPtr classNamed(std::string_view name);
    static std::vector<std::string> classNames();

    // Forgets every class (tests).
    static void reset();
};

}  // namespace objc
