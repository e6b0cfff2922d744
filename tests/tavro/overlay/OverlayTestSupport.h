// The overlay's tests share the demo app with its native surface, an agent over it and the
// overlay on the app's scene as the agent's presenter.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/HostingView.h"
#include "tavro/agent/DemoTestSupport.h"
#include "tavro/overlay/TavroOverlay.h"

namespace tavro::agenttest {

class OverlayTest : public AgentOnDemo {
protected:
    // An overlay on the demo's scene for the agent, made its presenter when there is an agent.
    std::shared_ptr<TavroOverlay> overlayFor(const std::shared_ptr<TavroAgent>& agent) {
        std::weak_ptr<UIKitSurface> weakSurface = surface;
        auto overlay = TavroOverlay::create(app->scene(), agent, [weakSurface]() -> std::shared_ptr<ui::Window> {
            auto s = weakSurface.lock();
            return s ? s->appWindow() : nullptr;
        });
        if (agent) agent->presenter = overlay;
        return overlay;
    }

    // Runs a task of the test on the actor and answers how much virtual time it took.
    template <class Make>
    rt::Duration timed(Make make) {
        const auto start = actor->now();
        EXPECT_TRUE(rt::runToEnd(actor, make()));
        return actor->now() - start;
    }

    // Every view of the tree under `view`, the view included.
    static void allViews(const std::shared_ptr<ui::View>& view, std::vector<std::shared_ptr<ui::View>>& out) {
        out.push_back(view);
        for (const auto& sub : view->subviews()) allViews(sub, out);
    }
};

}  // namespace tavro::agenttest
