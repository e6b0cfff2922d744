#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/sysmodel/ScriptedBackend.h"
#include "platform/sysmodel/SystemModel.h"

using namespace sysmodel;

namespace {

struct Pair {
    std::string word;
    std::int64_t count = 0;

    static GenerationSchema generationSchema() {
        return {"Pair",
                std::nullopt,
                {{"word", "A word", ValueType::text, {"yes", "no"}}, {"count", "How many", ValueType::integer, {}}}};
    }
    static std::optional<Pair> fromContent(const GeneratedContent& c) {
        if (!c.is_object() || !c.contains("word") || !c.contains("count")) return std::nullopt;
        return Pair{c["word"].get<std::string>(), c["count"].get<std::int64_t>()};
    }
};

class SystemModelTest : public ::testing::Test {
protected:
    void SetUp() override { SystemModel::reset(); }
    void TearDown() override { SystemModel::reset(); }

    template <class T>
    T run(rt::Task<T> task) {
        auto result = rt::runToEnd(actor, std::move(task));
        EXPECT_TRUE(result.has_value());
        return std::move(*result);
    }

    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
};

const GenerationOptions greedy{GenerationOptions::Sampling::greedy, std::nullopt, std::nullopt};

}  // namespace

TEST_F(SystemModelTest, WithoutABackendTheDeviceIsNotEligibleAndSessionsFail) {
    EXPECT_EQ(SystemModel::availability(), Availability::unavailable(UnavailableReason::deviceNotEligible));
    EXPECT_FALSE(SystemModel::availability().isAvailable());
    Session session("be brief");
    const auto reply = run(session.respond<Pair>("hello", true, greedy));
    EXPECT_FALSE(reply.ok());
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(reply.error->kind, GenerationError::Kind::assetsUnavailable);
}

TEST_F(SystemModelTest, AvailabilityCarriesTheBackendsReason) {
    auto backend = std::make_shared<ScriptedBackend>();
    SystemModel::install(backend);
    EXPECT_TRUE(SystemModel::availability().isAvailable());
    for (auto why : {UnavailableReason::deviceNotEligible, UnavailableReason::notEnabled, UnavailableReason::modelNotReady}) {
        backend->setAvailability(Availability::unavailable(why));
        EXPECT_EQ(SystemModel::availability().reason, why);
        backend->answer(R"({"word":"yes","count":1})");
        Session session("x");
        EXPECT_FALSE(run(session.respond<Pair>("p", true, greedy)).ok());
    }
    EXPECT_TRUE(backend->requests().empty());  // an unavailable model is never asked
}

TEST_F(SystemModelTest, VersionIsReportedUntilReset) {
    EXPECT_EQ(SystemModel::operatingSystemVersion(), (OSVersion{26, 0, 0}));
    SystemModel::setOperatingSystemVersion({18, 4, 1});
    EXPECT_LT(SystemModel::operatingSystemVersion(), (OSVersion{26, 0, 0}));
    EXPECT_GT((OSVersion{26, 0, 1}), (OSVersion{26, 0, 0}));
    EXPECT_GT((OSVersion{26, 1, 0}), (OSVersion{25, 9, 9}));
    SystemModel::reset();
    EXPECT_EQ(SystemModel::operatingSystemVersion(), (OSVersion{26, 0, 0}));
}

TEST_F(SystemModelTest, BackendReceivesInstructionsPromptSchemaAndOptions) {
    auto backend = std::make_shared<ScriptedBackend>();
    SystemModel::install(backend);
    backend->answer(R"({"word":"no","count":-3})");
    Session session("You are terse.");
    const auto reply = run(session.respond<Pair>("Count it", true, greedy));
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.content->word, "no");
    EXPECT_EQ(reply.content->count, -3);
    const auto requests = backend->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].instructions, "You are terse.");
    EXPECT_EQ(requests[0].prompt, "Count it");
    EXPECT_EQ(requests[0].schema, Pair::generationSchema());
    EXPECT_TRUE(requests[0].includeSchemaInPrompt);
    EXPECT_EQ(requests[0].options, greedy);
}

TEST_F(SystemModelTest, RepliesThatDoNotConformEndAsDecodingFailures) {
    const char* replies[] = {
        "not json",
        "[1,2]",
        R"({"word":"maybe","count":1})",           // outside the any-of guide
        R"({"word":"yes"})",                       // missing property
        R"({"word":"yes","count":"1"})",           // wrong type
        R"({"word":"yes","count":1.5})",           // not an integer
        R"({"word":"yes","count":1,"extra":true})",  // property the schema does not name
        "{\"word\":\"y\xff\",\"count\":1}",        // invalid UTF-8
    };
    auto backend = std::make_shared<ScriptedBackend>();
    SystemModel::install(backend);
    for (const char* text : replies) {
        backend->answer(text);
        Session session("x");
        const auto reply = run(session.respond<Pair>("p", true, greedy));
        EXPECT_FALSE(reply.ok()) << text;
        ASSERT_TRUE(reply.error) << text;
        EXPECT_EQ(reply.error->kind, GenerationError::Kind::decodingFailure) << text;
        EXPECT_FALSE(reply.error->description.empty());
    }
}

TEST_F(SystemModelTest, ErrorsFromTheBackendArePassedOn) {
    auto backend = std::make_shared<ScriptedBackend>();
    SystemModel::install(backend);
    const GenerationError refusal{GenerationError::Kind::guardrailViolation, "Unsafe content"};
    backend->fail(refusal);
    Session session("x");
    const auto reply = run(session.respond<Pair>("p", true, greedy));
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(*reply.error, refusal);
    // With nothing scripted the backend still answers, with a failure.
    EXPECT_FALSE(run(session.respond<Pair>("p", true, greedy)).ok());
}

TEST_F(SystemModelTest, ABackendThatThrowsEndsTheRequestWithAnError) {
    struct Throwing : Backend {
        Availability availability() const override { return Availability::available(); }
        rt::Task<Answer> respond(Request) override {
            throw std::runtime_error("model crashed");
            co_return std::string("{}");
        }
    };
    SystemModel::install(std::make_shared<Throwing>());
    Session session("x");
    const auto reply = run(session.respond<Pair>("p", false, {}));
    ASSERT_TRUE(reply.error);
    EXPECT_NE(reply.error->description.find("model crashed"), std::string::npos);
}

TEST(GenerationSchema, PromptTextListsPropertiesInOrderWithTheirGuides) {
    const auto text = Pair::generationSchema().promptText();
    const auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json["title"], "Pair");
    EXPECT_FALSE(json.contains("description"));
    EXPECT_EQ(json["properties"]["word"]["enum"], (nlohmann::json{"yes", "no"}));
    EXPECT_EQ(json["properties"]["count"]["type"], "integer");
    EXPECT_EQ(json["required"], (nlohmann::json{"word", "count"}));
    EXPECT_LT(text.find("\"word\""), text.find("\"count\""));
}
