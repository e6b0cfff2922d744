#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/models/TextTavroModel.h"

using namespace tavro;
using namespace std::chrono_literals;

namespace {

// A host generator that answers one scripted reply and records what it was asked.
struct Script {
    std::optional<std::string> reply;
    int calls = 0;
    std::string system, user;
};

rt::Task<std::optional<std::string>> answer(std::shared_ptr<Script> script, std::string system, std::string user) {
    ++script->calls;
    script->system = std::move(system);
    script->user = std::move(user);
    co_await rt::sleep(2s);  // a slow server, on the virtual clock
    co_return script->reply;
}

std::shared_ptr<TextTavroModel> makeModel(std::shared_ptr<Script> script, bool* available = nullptr) {
    return std::make_shared<TextTavroModel>(
        "Host model", TavroContextBudget::compact,
        [available] { return available ? *available : true; },
        [script](std::string system, std::string user) { return answer(script, std::move(system), std::move(user)); });
}

class TextTavroModelTest : public ::testing::Test {
protected:
    template <class T>
    T run(rt::Task<T> task) {
        auto result = rt::runToEnd(actor, std::move(task));
        EXPECT_TRUE(result.has_value()) << "the task did not finish";
        return result ? std::move(*result) : T{};
    }
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
};

// The shapes of host generator the constructor takes, and the shapes it refuses at compile time
// (a generator that returns the reply itself rather than a task of it).
std::optional<std::string> plainReply(std::string, std::string) { return "done"; }
rt::Task<std::optional<std::string>> taskReply(std::string, std::string) { co_return "done"; }
template <class G>
constexpr bool takes =
    std::is_constructible_v<TextTavroModel, std::string, TavroContextBudget, TextTavroModel::Available, G>;

// The constructor is constrained by the named requirement, so a refusal names the return type.
static_assert(!TavroTextGenerator<decltype(&plainReply)>);
static_assert(TavroTextGenerator<decltype(&taskReply)>);

static_assert(!takes<decltype(&plainReply)>, "a plain function that returns the reply");
static_assert(!takes<decltype([](std::string, std::string) { return std::optional<std::string>("x"); })>);
static_assert(!takes<decltype([](std::string, std::string) { return std::string("x"); })>);
static_assert(!takes<decltype([](std::string, std::string) -> rt::Task<std::string> { co_return "x"; })>,
              "a task of text that cannot say \"no reply\"");
static_assert(!takes<decltype([](int) -> rt::Task<std::optional<std::string>> { co_return "x"; })>,
              "the wrong arguments");
static_assert(!takes<int>);

static_assert(takes<decltype(&taskReply)>);
static_assert(takes<decltype([](std::string, std::string) -> rt::Task<std::optional<std::string>> { co_return "x"; })>);
static_assert(takes<decltype([](const std::string&, std::string_view) -> rt::Task<std::optional<std::string>> {
    co_return std::nullopt;
})>);
static_assert(takes<TextTavroModel::Generate>);
static_assert(takes<std::nullptr_t>, "no generator at all");

}  // namespace

TEST_F(TextTavroModelTest, AnswersItsIdentityFromWhatTheHostGave) {
    auto model = makeModel(std::make_shared<Script>());
    const TavroModel& m = *model;
    EXPECT_EQ(m.name(), "Host model");
    EXPECT_EQ(m.budget(), TavroContextBudget::compact);
    EXPECT_TRUE(m.wantsJSONInstructions());
}

TEST_F(TextTavroModelTest, DecideReadsTheReplyAsAnAction) {
    auto script = std::make_shared<Script>();
    script->reply = "```json\n{\"thought\":\"send it\",\"action\":\"type\",\"id\":4,\"text\":\"hi\",\"submit\":true}\n```";
    std::shared_ptr<TavroModel> model = makeModel(script);
    const auto action = run(model->decide("SYSTEM", "USER"));
    ASSERT_TRUE(action);
    EXPECT_EQ(*action, (TavroAction{.kind = TavroAction::Kind::type, .id = 4, .text = "hi", .submit = true,
                                    .thought = "send it"}));
    EXPECT_EQ(script->calls, 1);
    EXPECT_EQ(script->system, "SYSTEM");
    EXPECT_EQ(script->user, "USER");
}

TEST_F(TextTavroModelTest, NoReplyOrProseGivesNoActionButThinkPassesTheTextOn) {
    struct Case {
        std::optional<std::string> reply;
        std::optional<std::string> thought;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"I would open Settings first, then Display.", "I would open Settings first, then Display."},
        {"", ""},
    };
    for (const auto& c : cases) {
        auto script = std::make_shared<Script>();
        script->reply = c.reply;
        std::shared_ptr<TavroModel> model = makeModel(script);
        EXPECT_EQ(run(model->decide("s", "u")), std::nullopt);
        EXPECT_EQ(run(model->think("s", "u")), c.thought);
        EXPECT_EQ(script->calls, 2);
    }
}

TEST_F(TextTavroModelTest, PlanIsNothingWithoutAskingTheGenerator) {
    auto script = std::make_shared<Script>();
    script->reply = "1. Open Settings\n2. Tap Display";
    std::shared_ptr<TavroModel> model = makeModel(script);
    EXPECT_EQ(run(model->plan("s", "u")), std::nullopt);
    EXPECT_EQ(script->calls, 0);
}

TEST_F(TextTavroModelTest, AvailabilityIsAskedAfreshEveryTime) {
    bool available = true;
    int asked = 0;
    TextTavroModel model("m", TavroContextBudget::large,
                         [&] {
                             ++asked;
                             return available;
                         },
                         nullptr);
    EXPECT_TRUE(model.isAvailable());
    EXPECT_TRUE(model.isSupportedOnDevice());
    available = false;
    EXPECT_FALSE(model.isAvailable());
    EXPECT_FALSE(model.isSupportedOnDevice());
    EXPECT_EQ(asked, 4);
}

TEST_F(TextTavroModelTest, MissingOrFailingHostFunctionsGiveNothing) {
    TextTavroModel empty("m", TavroContextBudget::large, nullptr, nullptr);
    EXPECT_FALSE(empty.isAvailable());
    EXPECT_FALSE(empty.isSupportedOnDevice());
    EXPECT_EQ(run(empty.decide("s", "u")), std::nullopt);
    EXPECT_EQ(run(empty.think("s", "u")), std::nullopt);

    TextTavroModel throwing("m", TavroContextBudget::large, [] { return true; },
                            [](std::string, std::string) -> rt::Task<std::optional<std::string>> {
                                throw std::runtime_error("server down");
                            });
    EXPECT_EQ(run(throwing.decide("s", "u")), std::nullopt);
    EXPECT_EQ(run(throwing.think("s", "u")), std::nullopt);
}
