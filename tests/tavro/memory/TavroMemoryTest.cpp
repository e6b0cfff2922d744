#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <chrono>

#include "TavroMemoryTestSupport.h"
#include "platform/foundation/AppDirectories.h"
#include "tavro/memory/TavroMemory.h"

using namespace tavro;
using namespace tavro::memorytest;
using Kind = TavroAction::Kind;
using Json = nlohmann::json;

namespace {

const TavroElement messageField = element(7, "input", "Message", {"chat.message"});
const TavroElement recipientField = element(8, "input", "To", {"recipient"});
const TavroElement sendButton = element(9, "button", "Send", {"chat.send"});

class TavroMemoryTest : public ::testing::Test {
protected:
    TempDirectory directory;
    std::filesystem::path file = directory.path() / "TavroSDK" / "recipes.json";

    std::vector<TavroPerformedStep> sendSteps(const std::string& message, const std::string& to) {
        return {typed(message, messageField), typed(to, recipientField), tapped(sendButton)};
    }
};

using Values = std::vector<std::string>;

}  // namespace

// ---- Learning and recalling ----

TEST_F(TavroMemoryTest, LearnedGoalIsRecalledWithNewSlotValues) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));

    const auto recalled = memory.recall("send hello there to Mia");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"hello there", "Mia"}));
    const TavroRecipe& recipe = recalled->first;
    EXPECT_EQ(recipe.goal, "send hi to Tuli");
    EXPECT_EQ(recipe.template_, "send {0} to {1}");
    EXPECT_EQ(recipe.runs, 1);
    ASSERT_EQ(recipe.steps.size(), 3u);
    EXPECT_EQ(recipe.steps[0], (TavroRecipeStep{.kind = "type",
                                                .text = "{0}",
                                                .target = TavroTarget{.kind = "input",
                                                                      .label = "Message",
                                                                      .keys = {"chat.message"},
                                                                      .screen = "Chat"}}));
    EXPECT_EQ(recipe.steps[2].kind, "click");

    // Replayed on a new screen the steps carry the new values and the elements found again.
    const TavroScreen screen{.location = "Chat",
                             .elements = {element(30, "button", "Send", {"chat.send"}),
                                          element(31, "input", "Message", {"chat.message"}),
                                          element(32, "input", "To", {"recipient"})}};
    const auto first = recipe.steps[0].action(screen, recalled->second);
    const auto second = recipe.steps[1].action(screen, recalled->second);
    const auto third = recipe.steps[2].action(screen, recalled->second);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(*first, (TavroAction{.kind = Kind::type, .id = 31, .text = "hello there"}));
    EXPECT_EQ(*second, (TavroAction{.kind = Kind::type, .id = 32, .text = "Mia"}));
    EXPECT_EQ(*third, (TavroAction{.kind = Kind::click, .id = 30}));
}

TEST_F(TavroMemoryTest, RecallIgnoresLetterCaseAndTheWidthOfWhiteSpace) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    const auto recalled = memory.recall("  SEND   Good  Morning\tto\n Mia  ");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"Good  Morning", "Mia"}));
}

TEST_F(TavroMemoryTest, SlotsTakeTheShortestTextThatLetsTheRestMatch) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    const auto recalled = memory.recall("send walk to the park to Mia");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"walk", "the park to Mia"}));
}

TEST_F(TavroMemoryTest, GoalThatOnlySharesWordsDoesNotMatch) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    for (const char* goal : {"Tuli send hi to", "please send hi to Tuli", "send to Tuli", "resend hi to Tuli",
                             "send hi Tuli", "send hi to", "hi to Tuli", "send   to   "}) {
        EXPECT_EQ(memory.recall(goal), std::nullopt) << goal;
    }
}

TEST_F(TavroMemoryTest, SlotHoldingOnlyWhiteSpaceDoesNotMatch) {
    TavroMemory memory(file);
    memory.learn("say hi now", {typed("hi", messageField)});
    ASSERT_TRUE(memory.recall("say yo now").has_value());
    EXPECT_EQ(memory.recall("say   now"), std::nullopt);
}

TEST_F(TavroMemoryTest, GoalWithoutTypedTextIsRecalledByItsNormalisedForm) {
    TavroMemory memory(file);
    const TavroElement wifi = element(3, "checkbox", "Wi-Fi", {"settings.wifi"});
    memory.learn("turn on wifi", {tapped(element(1, "cell", "Settings"), "Home"), tapped(wifi, "Settings")});
    const auto recalled = memory.recall("Turn on Wi-Fi!");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_TRUE(recalled->second.empty());
    EXPECT_EQ(recalled->first.template_, "turn on wifi");
    EXPECT_EQ(recalled->first.steps[1].target->screen, "Settings");
    EXPECT_EQ(memory.recall("turn on wifi now"), std::nullopt);
    EXPECT_EQ(memory.recall("turn off wifi"), std::nullopt);
}

TEST_F(TavroMemoryTest, TextsThatAreNotInTheGoalAreStoredAsTheyAre) {
    TavroMemory memory(file);
    memory.learn("reply to Tuli", {typed(" on my way ", messageField), tapped(sendButton)});
    const auto recipes = memory.recipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].template_, "reply to Tuli");
    EXPECT_EQ(recipes[0].steps[0].text, " on my way ");
}

TEST_F(TavroMemoryTest, SameTypedTextReusesItsSlot) {
    TavroMemory memory(file);
    memory.learn("search for cats", {typed("cats", element(1, "input", "Search")), typed("Cats", messageField)});
    const auto recipe = memory.recipes().at(0);
    EXPECT_EQ(recipe.template_, "search for {0}");
    EXPECT_EQ(recipe.steps[0].text, "{0}");
    EXPECT_EQ(recipe.steps[1].text, "{0}");
}

TEST_F(TavroMemoryTest, SlotPrefersAnOccurrenceStandingAsAWord) {
    TavroMemory memory(file);
    memory.learn("tell this Chi hi", {typed("hi", messageField)});
    EXPECT_EQ(memory.recipes().at(0).template_, "tell this Chi {0}");
    // Without a whole-word occurrence the first occurrence is used.
    memory.learn("東京都を検索", {typed("東京", element(1, "input", "Search"))});
    EXPECT_EQ(memory.recipes().at(1).template_, "{0}都を検索");
    const auto recalled = memory.recall("大阪都を検索");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"大阪"}));
}

TEST_F(TavroMemoryTest, SelectCopyAndPasteTextsBecomeSlotsOtherKindsDoNot) {
    TavroMemory memory(file);
    memory.learn("set theme dark and scroll down then copy Tuli",
                 {TavroPerformedStep{.action = {.kind = Kind::select, .id = 4, .text = "Dark"},
                                     .element = element(4, "select", "Theme"),
                                     .location = "Settings"},
                  withoutElement(Kind::scroll, "down"), withoutElement(Kind::copy, "Tuli"),
                  withoutElement(Kind::paste, "")});
    const auto recipe = memory.recipes().at(0);
    EXPECT_EQ(recipe.template_, "set theme {0} and scroll down then copy {1}");
    EXPECT_EQ(recipe.steps[0].text, "{0}");
    EXPECT_EQ(recipe.steps[1].text, "down");
    EXPECT_EQ(recipe.steps[2].text, "{1}");
    EXPECT_EQ(recipe.steps[3].text, "");
    EXPECT_FALSE(recipe.steps[1].target.has_value());
}

TEST_F(TavroMemoryTest, GoalMadeOnlyOfTypedTextIsRememberedForThatGoalAlone) {
    TavroMemory memory(file);
    memory.learn("pizza", {tapped(element(1, "input", "Search")), typed("pizza", element(1, "input", "Search"))});
    memory.learn("cats!", {typed("cats", element(1, "input", "Search"))});
    // A template of slots alone would match any goal at all.
    EXPECT_EQ(memory.recall("open settings"), std::nullopt);
    EXPECT_EQ(memory.recall("dogs!"), std::nullopt);
    const auto recalled = memory.recall("Pizza");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->first.template_, "pizza");
    EXPECT_EQ(recalled->first.steps[1].text, "pizza");
}

TEST_F(TavroMemoryTest, NothingIsLearnedWithoutStepsOrWithoutWords) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", {});
    memory.learn("   ", sendSteps("hi", "Tuli"));
    memory.learn("?!…", sendSteps("?", "!"));
    EXPECT_TRUE(memory.recipes().empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(memory.recall(""), std::nullopt);
    EXPECT_EQ(memory.recall("?!"), std::nullopt);
}

TEST_F(TavroMemoryTest, SameTemplateUpdatesTheStoredRecipe) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    const TavroRecipe before = memory.recipes().at(0);
    // The literal parts compare after normalising: capitals and punctuation do not count.
    memory.learn("Send yo to Mia!", {typed("yo", messageField, "Chat", true), typed("Mia", recipientField)});
    const auto recipes = memory.recipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].id, before.id);
    EXPECT_EQ(recipes[0].runs, 2);
    EXPECT_EQ(recipes[0].template_, "send {0} to {1}");
    EXPECT_EQ(recipes[0].created, before.created);
    EXPECT_GE(recipes[0].lastUsed, before.lastUsed);
    ASSERT_EQ(recipes[0].steps.size(), 2u);
    EXPECT_TRUE(recipes[0].steps[0].submit);

    // Slots in another order are another template.
    memory.learn("send hi to Tuli", {typed("Tuli", recipientField), typed("hi", messageField)});
    EXPECT_EQ(memory.recipes().size(), 2u);
}

TEST_F(TavroMemoryTest, MostRunRecipeWinsAndTiesKeepStoredOrder) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));                          // send {0} to {1}
    memory.learn("send hi to Mia", {tapped(element(2, "button", "Hi")), typed("Mia", recipientField)});  // send hi to {0}
    const auto recipes = memory.recipes();
    ASSERT_EQ(recipes.size(), 2u);
    ASSERT_EQ(recipes[1].template_, "send hi to {0}");

    auto recalled = memory.recall("send hi to Bob");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->first.id, recipes[0].id);
    EXPECT_EQ(recalled->second, (Values{"hi", "Bob"}));

    memory.reinforce(recipes[1].id);
    recalled = memory.recall("send hi to Bob");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->first.id, recipes[1].id);
    EXPECT_EQ(recalled->second, (Values{"Bob"}));
}

TEST_F(TavroMemoryTest, ReinforceCountsAUseStampsItAndSaves) {
    const auto start = std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    {
        TavroMemory memory(file);
        memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
        const TavroRecipe learned = memory.recipes().at(0);
        EXPECT_GE(learned.created, start);
        EXPECT_EQ(learned.created, learned.lastUsed);
        memory.reinforce(learned.id);
        memory.reinforce(learned.id);
    }
    TavroMemory reopened(file);
    const TavroRecipe recipe = reopened.recipes().at(0);
    EXPECT_EQ(recipe.runs, 3);
    EXPECT_GE(recipe.lastUsed, recipe.created);
    EXPECT_LE(recipe.lastUsed, std::chrono::system_clock::now());
}

TEST_F(TavroMemoryTest, ReinforcingAnUnknownIdChangesNothing) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    const std::string saved = readFile(file);
    const auto before = memory.recipes();
    memory.reinforce(fnd::Uuid::random());
    EXPECT_EQ(memory.recipes(), before);
    EXPECT_EQ(readFile(file), saved);
}

// ---- Storage ----

namespace {

Json storedRecipe(const std::string& goal, std::int64_t runs, const std::string& lastUsed) {
    return Json{{"id", fnd::Uuid::random().text()},
                {"goal", goal},
                {"template", goal},
                {"steps", Json::array({Json{{"kind", "click"}, {"text", ""}, {"submit", false}}})},
                {"runs", runs},
                {"created", "2024-01-01T00:00:00.000Z"},
                {"lastUsed", lastUsed}};
}

std::vector<std::string> goalsOf(const TavroMemory& memory) {
    std::vector<std::string> goals;
    for (const auto& recipe : memory.recipes()) goals.push_back(recipe.goal);
    return goals;
}

}  // namespace

TEST_F(TavroMemoryTest, LearnedRecipesSurviveReopening) {
    std::vector<TavroRecipe> learned;
    {
        TavroMemory memory(file);
        memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
        memory.learn("turn on wifi", {tapped(element(3, "checkbox", "Wi-Fi"), "Settings"), withoutElement(Kind::back)});
        learned = memory.recipes();
    }
    TavroMemory reopened(file);
    EXPECT_EQ(reopened.recipes(), learned);
    const auto recalled = reopened.recall("send yo to Mia");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"yo", "Mia"}));

    // The stored form: a JSON list with ISO-8601 dates in UTC.
    const Json stored = Json::parse(readFile(file));
    ASSERT_TRUE(stored.is_array());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0]["template"], "send {0} to {1}");
    EXPECT_EQ(stored[0]["steps"][0]["target"]["keys"], Json::array({"chat.message"}));
    EXPECT_EQ(stored[0]["runs"], 1);
    EXPECT_TRUE(stored[0]["created"].get<std::string>().ends_with("Z"));
    EXPECT_EQ(stored[0]["created"].get<std::string>().size(), std::string("2025-01-31T09:30:00.250Z").size());
    EXPECT_EQ(stored[1]["steps"][0]["target"]["screen"], "Settings");
    EXPECT_FALSE(stored[1]["steps"][1].contains("target"));
}

TEST_F(TavroMemoryTest, ATapOnACheckboxKeepsTheStateItLeftAndOlderRecipesStillLoad) {
    auto off = element(3, "checkbox", "Newsletter");
    off.value = "0";
    auto on = element(4, "checkbox", "Wi-Fi");
    on.value = "on";
    {
        TavroMemory memory(file);
        memory.learn("turn on Newsletter", {tapped(off, "Settings")});
        memory.learn("turn off wifi", {tapped(on, "Settings")});
        memory.learn("tap Send", {tapped(sendButton)});
    }
    Json stored = Json::parse(readFile(file));
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0]["steps"][0]["state"], "on");
    EXPECT_EQ(stored[1]["steps"][0]["state"], "off");
    EXPECT_FALSE(stored[2]["steps"][0].contains("state"));

    // A file written before the state was kept loads and replays as it did.
    stored[0]["steps"][0].erase("state");
    writeFile(file, stored.dump());
    TavroMemory reopened(file);
    const auto recalled = reopened.recall("turn on Newsletter");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->first.steps.front().state, "");
    TavroScreen screen{.elements = {off}};
    const auto action = recalled->first.steps.front().action(screen, {});
    ASSERT_TRUE(action.has_value());
    EXPECT_FALSE(recalled->first.steps.front().holds(*action, screen));
}

TEST_F(TavroMemoryTest, AValueTheCallerRefusesLeavesTheRecipeUnrecalled) {
    TavroMemory memory(file);
    memory.learn("set Name to Rin", {typed("Rin", element(1, "input", "Name"))});
    const auto oneWord = [](const std::string& value) { return value.find(' ') == std::string::npos; };
    EXPECT_TRUE(memory.recall("set Name to Bob", oneWord).has_value());
    EXPECT_FALSE(memory.recall("set Name to Bob then tap Save", oneWord).has_value());
    EXPECT_TRUE(memory.recall("set Name to Bob then tap Save").has_value());
}

TEST_F(TavroMemoryTest, TwoHundredAndFirstRecipeEvictsTheLeastUsedOldestOne) {
    Json list = Json::array();
    for (int i = 0; i < 200; ++i) list.push_back(storedRecipe("open page " + std::to_string(i), 3, "2024-06-01T00:00:00.000Z"));
    list[5] = storedRecipe("open page 5", 1, "2024-03-01T00:00:00.000Z");
    list[9] = storedRecipe("open page 9", 1, "2024-02-01T00:00:00.500Z");   // fewest runs, oldest use
    list[2] = storedRecipe("open page 2", 1, "2024-02-01T00:00:00.900Z");
    list[0] = storedRecipe("open page 0", 2, "2020-01-01T00:00:00.000Z");  // older, but used more
    writeFile(file, list.dump());

    TavroMemory memory(file);
    ASSERT_EQ(memory.recipes().size(), 200u);
    memory.learn("open page 200", {tapped(element(1, "link", "Page 200"))});
    auto goals = goalsOf(memory);
    ASSERT_EQ(goals.size(), 200u);
    EXPECT_EQ(std::count(goals.begin(), goals.end(), "open page 9"), 0);
    EXPECT_EQ(goals.back(), "open page 200");
    EXPECT_EQ(goalsOf(TavroMemory(file)), goals);

    // Next: the other single-run recipe used longest ago.
    memory.learn("open page 201", {tapped(element(1, "link", "Page 201"))});
    goals = goalsOf(memory);
    EXPECT_EQ(std::count(goals.begin(), goals.end(), "open page 2"), 0);
    EXPECT_EQ(std::count(goals.begin(), goals.end(), "open page 5"), 1);
}

TEST_F(TavroMemoryTest, NewRecipeStaysEvenWhenEveryOtherHasMoreRuns) {
    Json list = Json::array();
    for (int i = 0; i < 200; ++i) list.push_back(storedRecipe("open page " + std::to_string(i), 4, "2024-06-01T00:00:00.000Z"));
    list[17] = storedRecipe("open page 17", 4, "2024-05-01T00:00:00.000Z");
    writeFile(file, list.dump());

    TavroMemory memory(file);
    memory.learn("open page 200", {tapped(element(1, "link", "Page 200"))});
    const auto goals = goalsOf(memory);
    ASSERT_EQ(goals.size(), 200u);
    EXPECT_EQ(goals.back(), "open page 200");
    EXPECT_EQ(std::count(goals.begin(), goals.end(), "open page 17"), 0);
    EXPECT_TRUE(memory.recall("open page 200").has_value());
}

TEST_F(TavroMemoryTest, MissingFileStartsEmptyAndCreatesNothing) {
    TavroMemory memory(file);
    EXPECT_TRUE(memory.recipes().empty());
    EXPECT_FALSE(std::filesystem::exists(file.parent_path()));
}

TEST_F(TavroMemoryTest, UnreadableFileIsKeptAsideAndTheMemoryStartsEmpty) {
    Json good = Json::array({storedRecipe("open page 1", 1, "2024-06-01T00:00:00.000Z")});
    Json missingSteps = good;
    missingSteps[0].erase("steps");
    Json badDate = good;
    badDate[0]["created"] = "yesterday";
    Json badId = good;
    badId[0]["id"] = "not-a-uuid";
    Json textRuns = good;
    textRuns[0]["runs"] = "1";
    Json badKeys = good;
    badKeys[0]["steps"][0]["target"] = Json{{"kind", "button"}, {"label", "Go"}, {"keys", {1, 2}}, {"screen", ""}};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not JSON", "not json {"},
        {"truncated", good.dump().substr(0, 40)},
        {"an object, not a list", R"({"recipes": []})"},
        {"a recipe without steps", missingSteps.dump()},
        {"a date that is not one", badDate.dump()},
        {"an id that is not a UUID", badId.dump()},
        {"runs as text", textRuns.dump()},
        {"keys that are not texts", badKeys.dump()},
        {"ill-formed UTF-8", "[{\"goal\": \"\xff\xfe\"}]"},
        {"empty file", ""},
    };
    for (const auto& [name, bytes] : cases) {
        TempDirectory fresh;
        const std::filesystem::path path = fresh.path() / "recipes.json";
        writeFile(path, bytes);
        TavroMemory memory(path);
        EXPECT_TRUE(memory.recipes().empty()) << name;
        EXPECT_FALSE(std::filesystem::exists(path)) << name;
        const auto aside = filesStartingWith(fresh.path(), "recipes.json.unreadable-");
        ASSERT_EQ(aside.size(), 1u) << name;
        EXPECT_EQ(readFile(aside[0]), bytes) << name;

        // The next save writes a new file and leaves the kept copy alone.
        memory.learn("turn on wifi", {tapped(element(3, "checkbox", "Wi-Fi"))});
        EXPECT_EQ(TavroMemory(path).recipes().size(), 1u) << name;
        EXPECT_EQ(readFile(aside[0]), bytes) << name;
    }
}

TEST_F(TavroMemoryTest, SecondUnreadableFileDoesNotReplaceTheFirstKeptCopy) {
    writeFile(file, "first broken");
    TavroMemory first(file);
    writeFile(file, "second broken");
    TavroMemory second(file);
    const auto aside = filesStartingWith(file.parent_path(), "recipes.json.unreadable-");
    ASSERT_EQ(aside.size(), 2u);
    std::vector<std::string> contents{readFile(aside[0]), readFile(aside[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first broken", "second broken"}));
}

TEST_F(TavroMemoryTest, SaveWritesAWholeNewFileBeforeReplacingTheOld) {
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    const std::string old = readFile(file);

    bool called = false;
    memory.setBeforeRenameForTesting([&](const std::filesystem::path& temporary) {
        called = true;
        EXPECT_EQ(temporary.parent_path(), file.parent_path());
        // The new list is complete in the temporary file; the old file is untouched.
        EXPECT_EQ(Json::parse(readFile(temporary)).size(), 2u);
        EXPECT_EQ(readFile(file), old);
    });
    memory.learn("turn on wifi", {tapped(element(3, "checkbox", "Wi-Fi"))});
    EXPECT_TRUE(called);
    EXPECT_EQ(TavroMemory(file).recipes().size(), 2u);
    // No temporary file is left behind.
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "recipes.json.tmp").empty());
}

TEST_F(TavroMemoryTest, CrashBetweenWritingAndRenamingLeavesTheOldFileIntact) {
    // The child must write into this test's directory: fork without re-running the test.
    GTEST_FLAG_SET(death_test_style, "fast");
    {
        TavroMemory memory(file);
        memory.learn("send hi to Tuli", sendSteps("hi", "Tuli"));
    }
    const std::string old = readFile(file);
    EXPECT_EXIT(
        {
            TavroMemory memory(file);
            memory.setBeforeRenameForTesting([](const std::filesystem::path&) { ::_exit(7); });
            memory.learn("turn on wifi", {tapped(element(3, "checkbox", "Wi-Fi"))});
            ::_exit(0);
        },
        ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(readFile(file), old);
    TavroMemory reopened(file);
    ASSERT_EQ(reopened.recipes().size(), 1u);
    EXPECT_EQ(reopened.recipes()[0].goal, "send hi to Tuli");
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "recipes.json.unreadable").empty());

    // The leftover temporary file is never read, and reopening removes it.
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "recipes.json.tmp").empty());
    reopened.learn("turn on wifi", {tapped(element(3, "checkbox", "Wi-Fi"))});
    EXPECT_EQ(TavroMemory(file).recipes().size(), 2u);
}

// ---- Bad input ----

TEST_F(TavroMemoryTest, HugeGoalsAreLearnedAndRecalledInLinearTime) {
    const auto start = std::chrono::steady_clock::now();
    TavroMemory memory(file);
    std::string filler;
    for (int i = 0; i < 20000; ++i) filler += "to word ";
    memory.learn("send hi to " + filler + "Tuli", sendSteps("hi", "Tuli"));
    const auto recipes = memory.recipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].template_, "send {0} to " + filler + "{1}");
    const auto recalled = memory.recall("send yo to " + filler + "Mia");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"yo", "Mia"}));
    EXPECT_EQ(memory.recall("send yo to " + filler), std::nullopt);

    // Every " to " could end the first slot and every " via " the second; none lets the rest
    // match. Trying the places one by one would take quadratic time.
    memory.learn("send hi to Tuli via chat now", {typed("hi", messageField), typed("Tuli", recipientField),
                                                  typed("chat", element(1, "select", "Channel"))});
    ASSERT_TRUE(memory.recall("send yo to Mia via sms now").has_value());
    std::string many = "send ";
    for (int i = 0; i < 50000; ++i) many += "a to b via ";
    EXPECT_EQ(memory.recall(many + "now!"), std::nullopt);
    std::string noVia = "send ";
    for (int i = 0; i < 50000; ++i) noVia += "a to b ";
    EXPECT_EQ(memory.recall(noVia + "c now"), std::nullopt);
    const auto manyRecalled = memory.recall(many + "c now");
    ASSERT_TRUE(manyRecalled.has_value());
    EXPECT_EQ(manyRecalled->second.at(0), "a");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(TavroMemoryTest, BracesTypedByTheUserAreNeverSlotMarkers) {
    TavroMemory memory(file);
    // Braces in the goal around a typed text.
    memory.learn("say {hi} to Tuli", {typed("hi", messageField)});
    EXPECT_EQ(memory.recipes().at(0).template_, "say {{{0}}} to Tuli");
    // Braces in a typed text that is not in the goal; and a typed "{0}" that is.
    memory.learn("send {0} to Tuli", {typed("{0}", messageField), typed("code {1}", recipientField)});
    EXPECT_EQ(memory.recipes().at(1).template_, "send {0} to Tuli");
    EXPECT_EQ(memory.recipes().at(1).steps[1].text, "code {{1}}");

    TavroMemory reopened(file);
    auto recalled = reopened.recall("say {yo} to Tuli");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"yo"}));
    EXPECT_EQ(reopened.recall("say yo to Tuli"), std::nullopt);
    EXPECT_EQ(reopened.recall("say {0} to Mia"), std::nullopt);

    recalled = reopened.recall("send {x} to Tuli");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"{x}"}));
    const TavroScreen screen{.elements = {messageField, recipientField}};
    const auto code = recalled->first.steps[1].action(screen, recalled->second);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(code->text, "code {1}");

    // A goal of braces and digits alone.
    memory.learn("{0}", {typed("{0}", messageField)});
    EXPECT_EQ(memory.recall("{1}"), std::nullopt);
    ASSERT_TRUE(memory.recall(" {0} ").has_value());
    EXPECT_EQ(memory.recall(" {0} ")->first.steps[0].action(screen, {})->text, "{0}");
}

TEST_F(TavroMemoryTest, IllFormedUtf8IsRepairedNotFatal) {
    TavroMemory memory(file);
    memory.learn("send h\xff to T\xc3uli", sendSteps("h\xff", "T\xc3uli"));
    ASSERT_EQ(memory.recipes().size(), 1u);
    EXPECT_EQ(memory.recipes()[0].goal, "send h\xEF\xBF\xBD to T\xEF\xBF\xBDuli");

    TavroMemory reopened(file);
    ASSERT_EQ(reopened.recipes().size(), 1u);
    const auto recalled = reopened.recall("send \xe2\x82 to \xf0Mia");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->second, (Values{"\xEF\xBF\xBD", "\xEF\xBF\xBDMia"}));
    EXPECT_EQ(reopened.recall("\xff\xfe\xfd"), std::nullopt);
}

TEST_F(TavroMemoryTest, DefaultFileIsRecipesJsonInTavroSDKOfApplicationSupport) {
    fnd::AppDirectories::setRoot(directory.path());
    const auto url = TavroMemory::defaultURL();
    fnd::AppDirectories::reset();
    EXPECT_EQ(url, directory.path() / "Application Support" / "TavroSDK" / "recipes.json");
}
