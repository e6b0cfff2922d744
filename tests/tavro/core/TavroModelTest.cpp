#include <gtest/gtest.h>

#include <memory>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/core/TavroModel.h"

using namespace tavro;

namespace {

// Supplies only what a model must: name, availability and decide.
class MinimalModel : public TavroModel {
public:
    bool available = true;
    std::string name() const override { return "minimal"; }
    bool isAvailable() const override { return available; }
    rt::Task<std::optional<TavroAction>> decide(std::string, std::string) override {
        co_return TavroAction{.kind = TavroAction::Kind::done};
    }
};

// Adds a plan but leaves think to the default.
class PlanningModel : public MinimalModel {
public:
    std::optional<std::vector<std::string>> steps;
    std::string seenSystem, seenUser;
    rt::Task<std::optional<std::vector<std::string>>> plan(std::string system, std::string user) override {
        seenSystem = system;
        seenUser = user;
        co_return steps;
    }
};

template <class T>
std::optional<T> run(rt::Task<T> task) {
    auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope(actor);
    return rt::runToEnd(actor, std::move(task));
}

}  // namespace

TEST(TavroModelDefaults, MinimalConformerGetsLargeBudgetJSONAndNoPlanOrReasoning) {
    auto model = std::make_shared<MinimalModel>();
    std::shared_ptr<TavroModel> asModel = model;
    EXPECT_EQ(asModel->budget(), TavroContextBudget::large);
    EXPECT_TRUE(asModel->wantsJSONInstructions());
    const auto plan = run(asModel->plan("sys", "user"));
    ASSERT_TRUE(plan.has_value());  // the task finished
    EXPECT_EQ(*plan, std::nullopt);
    const auto thought = run(asModel->think("sys", "user"));
    ASSERT_TRUE(thought.has_value());
    EXPECT_EQ(*thought, std::nullopt);
}

TEST(TavroModelDefaults, SupportedOnDeviceFollowsTheConformersAvailability) {
    auto model = std::make_shared<MinimalModel>();
    const TavroModel& asModel = *model;
    EXPECT_TRUE(asModel.isSupportedOnDevice());
    model->available = false;
    EXPECT_FALSE(asModel.isSupportedOnDevice());
}

TEST(TavroModelDefaults, ThinkJoinsTheConformersOwnPlan) {
    struct Case {
        std::optional<std::vector<std::string>> steps;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {std::vector<std::string>{"Open Settings", "Turn on Dark Mode"}, "Open Settings\nTurn on Dark Mode"},
        {std::vector<std::string>{"only"}, "only"},
        {std::vector<std::string>{}, ""},
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto model = std::make_shared<PlanningModel>();
        model->steps = c.steps;
        std::shared_ptr<TavroModel> asModel = model;
        const auto thought = run(asModel->think("system text", "user text"));
        ASSERT_TRUE(thought.has_value());
        EXPECT_EQ(*thought, c.expected);
        EXPECT_EQ(model->seenSystem, "system text");
        EXPECT_EQ(model->seenUser, "user text");
    }
}
