#include <gtest/gtest.h>

#include <memory>

#include "platform/foundation/Console.h"
#include "platform/foundation/PreferredLanguages.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/sysmodel/ScriptedBackend.h"
#include "platform/sysmodel/SystemModel.h"
#include "tavro/models/AppleIntelligenceModel.h"
#include "tavro/models/TavroReasoning.h"

using namespace tavro;
using sysmodel::Availability;
using sysmodel::GenerationError;
using sysmodel::ScriptedBackend;
using sysmodel::SystemModel;
using sysmodel::UnavailableReason;
using Decision = AppleTavroRuntime::Decision;
using Reasoning = AppleTavroRuntime::Reasoning;

namespace {

class AppleIntelligenceModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemModel::reset();
        backend = std::make_shared<ScriptedBackend>();
        SystemModel::install(backend);
    }
    void TearDown() override {
        SystemModel::reset();
        fnd::PreferredLanguages::reset();
    }

    template <class T>
    T run(rt::Task<T> task) {
        auto result = rt::runToEnd(actor, std::move(task));
        EXPECT_TRUE(result.has_value()) << "the task did not finish";
        return result ? std::move(*result) : T{};
    }

    std::optional<TavroAction> decideWith(const Decision& decision) {
        backend->answer(decision.content().dump());
        return run(model->decide("SYSTEM", "USER"));
    }

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    std::shared_ptr<ScriptedBackend> backend;
    std::shared_ptr<TavroModel> model = std::make_shared<AppleIntelligenceModel>();
};

}  // namespace

TEST_F(AppleIntelligenceModelTest, IdentityBudgetAndNoJSONInstructions) {
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"en-GB"});
    EXPECT_EQ(model->name(), "Apple Intelligence · on-device");
    fnd::PreferredLanguages::setOverride(std::vector<std::string>{"ja-JP"});
    EXPECT_EQ(model->name(), "Apple Intelligence · オンデバイス");
    EXPECT_EQ(model->budget(), TavroContextBudget::small);
    EXPECT_FALSE(model->wantsJSONInstructions());
}

TEST_F(AppleIntelligenceModelTest, DecisionRecordsMapToActions) {
    struct Case {
        Decision decision;
        std::optional<TavroAction> expected;
    };
    const Case cases[] = {
        {{"Tap Save", "click", 0, "", false}, TavroAction{.kind = TavroAction::Kind::click, .id = 0, .thought = "Tap Save"}},
        {{"Scroll", "scroll", -1, "down", false}, TavroAction{.kind = TavroAction::Kind::scroll, .text = "down", .thought = "Scroll"}},
        {{"", "done", -1, "Dark mode is on", false}, TavroAction{.kind = TavroAction::Kind::done, .text = "Dark mode is on"}},
        {{"Send hi", "type", 7, "hi", true},
         TavroAction{.kind = TavroAction::Kind::type, .id = 7, .text = "hi", .submit = true, .thought = "Send hi"}},
        {{"", "longPress", -5, "", false}, TavroAction{.kind = TavroAction::Kind::longPress}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decideWith(c.decision), c.expected) << c.decision.content().dump();
    }
}

TEST_F(AppleIntelligenceModelTest, EverySessionIsNewWithTheSystemAsInstructionsAndGreedySampling) {
    decideWith({"", "back", -1, "", false});
    backend->answer(Reasoning{"x", "y", {}, ""}.content().dump());
    run(model->think("THINK SYSTEM", "THINK USER"));
    const auto requests = backend->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].instructions, "SYSTEM");
    EXPECT_EQ(requests[0].prompt, "USER");
    EXPECT_EQ(requests[0].schema, Decision::generationSchema());
    EXPECT_EQ(requests[1].instructions, "THINK SYSTEM");
    EXPECT_EQ(requests[1].prompt, "THINK USER");
    EXPECT_EQ(requests[1].schema, Reasoning::generationSchema());
    for (const auto& r : requests) {
        EXPECT_TRUE(r.includeSchemaInPrompt);
        EXPECT_EQ(r.options.sampling, sysmodel::GenerationOptions::Sampling::greedy);
        EXPECT_EQ(r.options.temperature, std::nullopt);
        EXPECT_EQ(r.options.maximumResponseTokens, std::nullopt);
    }
}

TEST_F(AppleIntelligenceModelTest, DecisionSchemaDescribesEachFieldAndGuidesTheActionNames) {
    const auto schema = Decision::generationSchema();
    EXPECT_EQ(schema.typeName, "Decision");
    EXPECT_EQ(schema.description, std::nullopt);
    ASSERT_EQ(schema.properties.size(), 5u);
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"thought", "One short sentence: what you see and why this is the next action"},
        {"action", "The next action"},
        {"id", "Element id from ELEMENTS, or -1 when the action needs no element"},
        {"text", "Text to type, value to set, route name, up or down for scroll, the question for ask, or the final answer"},
        {"submit", "true to press Return after typing"},
    };
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(schema.properties[i].name, fields[i].first);
        EXPECT_EQ(schema.properties[i].description, fields[i].second);
    }
    EXPECT_EQ(schema.properties[2].type, sysmodel::ValueType::integer);
    EXPECT_EQ(schema.properties[4].type, sysmodel::ValueType::boolean);
    EXPECT_EQ(schema.properties[1].anyOf,
              (std::vector<std::string>{"click", "type", "select", "scroll", "swipe", "longPress", "navigate", "back",
                                        "ask", "done", "fail", "openWeb", "copy", "paste", "saveImage", "share"}));
    for (std::size_t i = 0; i < schema.properties.size(); ++i) {
        if (i != 1) {
            EXPECT_TRUE(schema.properties[i].anyOf.empty());
        }
    }
}

TEST_F(AppleIntelligenceModelTest, ReasoningSchemaDescribesEachFieldWithoutGuides) {
    const auto schema = Reasoning::generationSchema();
    EXPECT_EQ(schema.typeName, "Reasoning");
    ASSERT_EQ(schema.properties.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"intent", "What the user wants, one short line"},
        {"done", "What will be visible on screen when the goal is complete"},
        {"steps", "Short steps using the exact names on screen, at most 8"},
        {"ask", "A question to ask before starting when something essential is missing, otherwise empty"},
    };
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(schema.properties[i].name, fields[i].first);
        EXPECT_EQ(schema.properties[i].description, fields[i].second);
        EXPECT_TRUE(schema.properties[i].anyOf.empty());
    }
    EXPECT_EQ(schema.properties[2].type, sysmodel::ValueType::textList);
}

TEST_F(AppleIntelligenceModelTest, ErrorsGiveNothingWithOneConsoleLine) {
    fnd::Console::Capture console(false);
    backend->fail({GenerationError::Kind::guardrailViolation, "Unsafe content detected"});
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    backend->fail({GenerationError::Kind::exceededContextWindowSize, "Context too long"});
    EXPECT_EQ(run(model->think("s", "u")), std::nullopt);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"[TAVRO_SDK] apple error Unsafe content detected",
                                                         "[TAVRO_SDK] apple think error Context too long"}));
}

TEST_F(AppleIntelligenceModelTest, ReplyOutsideTheRecordGivesNothing) {
    fnd::Console::Capture console(false);
    backend->answer(R"({"thought":"","action":"tap","id":1,"text":"","submit":false})");
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    backend->answer(R"({"intent":"","done":"","steps":"one"})");
    EXPECT_EQ(run(model->think("s", "u")), std::nullopt);
    ASSERT_EQ(console.lines().size(), 2u);
    EXPECT_EQ(console.lines()[0].rfind("[TAVRO_SDK] apple error ", 0), 0u);
    EXPECT_EQ(console.lines()[1].rfind("[TAVRO_SDK] apple think error ", 0), 0u);
}

TEST_F(AppleIntelligenceModelTest, UnavailableModelWritesNoConsoleLine) {
    fnd::Console::Capture console(false);
    backend->setAvailability(Availability::unavailable(UnavailableReason::notEnabled));
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    EXPECT_EQ(run(model->think("s", "u")), std::nullopt);
    SystemModel::setOperatingSystemVersion({17, 0, 0});
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(AppleIntelligenceModelTest, ThinkTextReadsBackAsTheSamePlan) {
    const Reasoning plan{"Send hi to Tuli", "Message sent to Tuli", {"Open Chats", "Tap Tuli", "Type hi"}, ""};
    backend->answer(plan.content().dump());
    const auto reasoning = TavroReasoning::parse(run(model->think("s", "u")));
    ASSERT_TRUE(reasoning);
    EXPECT_EQ(*reasoning, (TavroReasoning{plan.intent, plan.done, plan.steps, plan.ask}));
}

TEST_F(AppleIntelligenceModelTest, ThinkReturnsTheReasoningAsCompactJSON) {
    backend->answer(Reasoning{"Turn on dark mode", "Dark Mode switch is on", {"Open Display", "Tap Dark"}, ""}.content().dump());
    EXPECT_EQ(run(model->think("s", "u")),
              R"({"ask":"","done":"Dark Mode switch is on","intent":"Turn on dark mode","steps":["Open Display","Tap Dark"]})");
    backend->answer(Reasoning{"", "", {}, ""}.content().dump());
    EXPECT_EQ(run(model->think("s", "u")), R"({"ask":"","done":"","intent":"","steps":[]})");
}

TEST_F(AppleIntelligenceModelTest, PlanIsNothingAndNeverAsksTheModel) {
    EXPECT_EQ(run(model->plan("s", "u")), std::nullopt);
    EXPECT_TRUE(backend->requests().empty());
}

TEST_F(AppleIntelligenceModelTest, AvailabilityAndSupportFollowTheReason) {
    struct Case {
        Availability availability;
        bool available;
        bool supported;
    };
    const Case cases[] = {
        {Availability::available(), true, true},
        {Availability::unavailable(UnavailableReason::deviceNotEligible), false, false},
        {Availability::unavailable(UnavailableReason::notEnabled), false, true},
        {Availability::unavailable(UnavailableReason::modelNotReady), false, true},
    };
    for (const auto& c : cases) {
        backend->setAvailability(c.availability);
        EXPECT_EQ(model->isAvailable(), c.available);
        EXPECT_EQ(model->isSupportedOnDevice(), c.supported);
    }
}

TEST_F(AppleIntelligenceModelTest, WithoutABackendTheDeviceIsNotEligible) {
    SystemModel::install(nullptr);
    EXPECT_FALSE(model->isAvailable());
    EXPECT_FALSE(model->isSupportedOnDevice());
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    EXPECT_EQ(run(model->think("s", "u")), std::nullopt);
}

TEST_F(AppleIntelligenceModelTest, UnavailableModelIsNeverAsked) {
    backend->setAvailability(Availability::unavailable(UnavailableReason::modelNotReady));
    backend->answer(Decision{"", "back", -1, "", false}.content().dump());
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    EXPECT_EQ(run(model->think("s", "u")), std::nullopt);
    EXPECT_TRUE(backend->requests().empty());
}

TEST_F(AppleIntelligenceModelTest, BelowTheFirstSupportedSystemNothingIsAsked) {
    SystemModel::setOperatingSystemVersion({18, 5, 0});
    backend->answer(Decision{"", "back", -1, "", false}.content().dump());
    EXPECT_FALSE(model->isAvailable());
    EXPECT_FALSE(model->isSupportedOnDevice());
    EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
    EXPECT_EQ(run(model->think("s", "u")), std::nullopt);
    EXPECT_TRUE(backend->requests().empty());

    SystemModel::setOperatingSystemVersion({25, 9, 9});
    EXPECT_FALSE(model->isAvailable());
    SystemModel::setOperatingSystemVersion({26, 0, 0});
    EXPECT_TRUE(model->isAvailable());
    EXPECT_EQ(run(model->decide("s", "u")), TavroAction{.kind = TavroAction::Kind::back});
}

TEST(AppleTavroRecords, ContentRoundTripsAndRejectsMistypedFields) {
    const Decision d{"why", "select", 3, "Large", true};
    EXPECT_EQ(Decision::fromContent(d.content()), d);
    const Reasoning r{"i", "d", {"a", "b"}, "q"};
    EXPECT_EQ(Reasoning::fromContent(r.content()), r);

    EXPECT_EQ(Decision::fromContent(nlohmann::json::parse(R"({"thought":"","action":"click","id":"3","text":"","submit":false})")),
              std::nullopt);
    EXPECT_EQ(Decision::fromContent(nlohmann::json::parse(R"({"thought":"","action":"click","id":18446744073709551615,"text":"","submit":false})")),
              std::nullopt);
    EXPECT_EQ(Reasoning::fromContent(nlohmann::json::parse(R"({"intent":"","done":"","steps":[1],"ask":""})")), std::nullopt);
    EXPECT_EQ(Reasoning::fromContent(nlohmann::json::array()), std::nullopt);
}
