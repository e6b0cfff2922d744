#include "tavro/agent/TavroAwake.h"

#include "platform/objc/Runtime.h"

namespace tavro {

namespace {
constexpr const char* idleTimerKey = "idleTimerDisabled";
}

TavroAwake& TavroAwake::shared() {
    static TavroAwake instance;
    return instance;
}

// Only an application object counts: whatever else the class answers is never written to.
objc::ObjectPtr TavroAwake::app() {
    const auto application = objc::valueForKey(objc::Runtime::classNamed("UIApplication"), "sharedApplication");
    auto object = application ? application->object() : nullptr;
    if (!object || object->className() != "UIApplication") return nullptr;
    return object;
}

void TavroAwake::hold() {
    if (held_) return;
    const auto application = app();
    if (!application) return;
    held_ = true;
    const auto current = application->valueForKey(idleTimerKey);
    previous_ = current && current->boolean().value_or(false);
    application->setValue(true, idleTimerKey);
}

void TavroAwake::release() {
    if (!held_) return;
    held_ = false;
    if (const auto application = app()) application->setValue(previous_, idleTimerKey);
}

void TavroAwake::reset() {
    held_ = false;
    previous_ = false;
}

}  // namespace tavro
