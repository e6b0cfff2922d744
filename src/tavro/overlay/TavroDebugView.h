// The debug screen: the agent's engine and status, the "Log activity" switch of the shared
// activity log, the log's entries newest first and the learned recipes most recently used first,
// as a node tree. Making one changes nothing: it subscribes to nothing, switches no logging and
// reads no file beyond what the memory already holds. It follows the activity log and the agent
// only while a hosting view made by `host()` exists.
#pragma once

#include <memory>

#include "platform/ui/HostingView.h"
#include "platform/views/Node.h"

namespace tavro {

class TavroAgent;
class TavroMemory;

class TavroDebugView {
public:
    TavroDebugView(std::shared_ptr<TavroAgent> agent, std::shared_ptr<TavroMemory> memory);

    // The screen as it is now.
    views::Node body() const;
    // A hosting view of the screen that rebuilds while the activity log, its switch or the
    // agent's engine, status or running state change; the observation ends with the view.
    std::shared_ptr<ui::HostingView> host() const;

private:
    std::shared_ptr<TavroAgent> agent_;
    std::shared_ptr<TavroMemory> memory_;
};

}  // namespace tavro
