// The host's QA hooks, carried in the configuration for tests and testers: put the app back in a
// known state, load a named data set, open an address. Each hook is an asynchronous main-actor
// function; an empty function means the host does not offer that hook.
#pragma once

#include <functional>
#include <string>

#include "platform/runtime/Task.h"

namespace tavro {

struct TavroQAHooks {
    // Resets the app's state.
    std::function<rt::Task<void>()> reset;
    // Loads the named data set and answers a message for the tester.
    std::function<rt::Task<std::string>(std::string dataSet)> seed;
    // Opens an address (a deep link) and answers whether the app handled it.
    std::function<rt::Task<bool>(std::string address)> open;
};

}  // namespace tavro
