// What the recorder and explorer tests share: the demo app on a fresh toolkit, read through the
// native surface, on the agent tests' virtual-time fixture (so whole runs can follow).
#pragma once

#include <memory>
#include <string>

#include "tavro/agent/DemoTestSupport.h"
#include "tavro/remote/TavroAppMap.h"

namespace tavro::learntest {

class OnDemo : public agenttest::AgentOnDemo {
protected:
    void SetUp() override {
        TavroMaps::reset();
        AgentOnDemo::SetUp();
    }
    void TearDown() override {
        AgentOnDemo::TearDown();
        TavroMaps::reset();
    }

    std::string location() {
        const auto screen = surface->snapshot();
        return screen ? screen->location : std::string();
    }
};

}  // namespace tavro::learntest
