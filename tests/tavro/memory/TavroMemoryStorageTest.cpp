// The recipe store against hostile files and storage faults: slot markers beyond the template,
// dates beyond the clock's range, counts at their limit, files that cannot be opened now, a full
// disk.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>

#include "TavroMemoryTestSupport.h"
#include "platform/foundation/StorageTestSupport.h"
#include "platform/runtime/MainActor.h"
#include "tavro/diagnostics/TavroDebug.h"
#include "tavro/memory/TavroMemory.h"

using namespace tavro;
using namespace tavro::memorytest;
using Json = nlohmann::json;

namespace {

class TavroMemoryStorageTest : public ::testing::Test {
protected:
    TempDirectory directory;
    std::filesystem::path file = directory.path() / "TavroSDK" / "recipes.json";

    static Json recipe(const std::string& goal, const std::string& templateText, const std::string& stepText,
                       std::int64_t runs = 1) {
        return Json{{"id", fnd::Uuid::random().text()},
                    {"goal", goal},
                    {"template", templateText},
                    {"steps", Json::array({Json{{"kind", "type"}, {"text", stepText}, {"submit", true}}})},
                    {"runs", runs},
                    {"created", "2024-01-01T00:00:00.000Z"},
                    {"lastUsed", "2024-01-02T00:00:00.000Z"}};
    }

    static std::vector<TavroPerformedStep> wifiSteps() { return {tapped(element(3, "checkbox", "Wi-Fi"))}; }
};

}  // namespace

TEST_F(TavroMemoryStorageTest, RecipeWithMarkersBeyondItsTemplateIsDroppedAndTheOthersKept) {
    const Json list = Json::array({
        recipe("send hi", "send {0}", "{0}"),
        recipe("send huge", "send {999999999}", "{0}"),        // template marker beyond its one slot
        recipe("note x", "note {0}", "{1}"),                    // step marker beyond the template
        recipe("post x", "post {0}", "{12345678901}"),          // a marker no value list could fill
        recipe("ping x and y", "ping {1} and {0}", "{1} {0}"),  // two slots, any order: fine
    });
    writeFile(file, list.dump());
    TavroMemory memory(file);
    std::vector<std::string> goals;
    for (const auto& kept : memory.recipes()) goals.push_back(kept.goal);
    EXPECT_EQ(goals, (std::vector<std::string>{"send hi", "ping x and y"}));

    const auto recalled = memory.recall("send {999999999}");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->first.goal, "send hi");
    EXPECT_EQ(memory.recall("ping a and b")->second, (std::vector<std::string>{"b", "a"}));

    // The file as it was is kept aside, so the next save loses nothing.
    EXPECT_EQ(readFile(file), list.dump());
    const auto aside = filesStartingWith(file.parent_path(), "recipes.json.unreadable-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), list.dump());
    memory.learn("turn on wifi", wifiSteps());
    EXPECT_EQ(TavroMemory(file).recipes().size(), 3u);
}

TEST_F(TavroMemoryStorageTest, DatesOfEveryYearTheFileCanHoldComeBackUnchanged) {
    Json list = Json::array({recipe("open far", "open far", "x"), recipe("open early", "open early", "x")});
    list[0]["created"] = "9999-12-31T23:59:59.999Z";
    list[0]["lastUsed"] = "2262-04-12T00:00:00.000Z";
    list[1]["created"] = "0000-01-01T00:00:00.000Z";
    list[1]["lastUsed"] = "1677-09-21T00:00:00.123456Z";
    writeFile(file, list.dump());
    {
        TavroMemory memory(file);
        ASSERT_EQ(memory.recipes().size(), 2u);
        using namespace std::chrono;
        EXPECT_EQ(memory.recipes()[0].created, sys_days{year{9999} / December / 31} + hours{24} - milliseconds{1});
        memory.learn("turn on wifi", wifiSteps());
    }
    const Json saved = Json::parse(readFile(file));
    EXPECT_EQ(saved[0]["created"], "9999-12-31T23:59:59.999Z");
    EXPECT_EQ(saved[0]["lastUsed"], "2262-04-12T00:00:00.000Z");
    EXPECT_EQ(saved[1]["created"], "0000-01-01T00:00:00.000Z");
    EXPECT_EQ(saved[1]["lastUsed"], "1677-09-21T00:00:00.123Z");
}

TEST_F(TavroMemoryStorageTest, RunCountsStopAtTheLargestCount) {
    Json list = Json::array({recipe("open top", "open top", "x", INT64_MAX), recipe("open low", "open low", "x", 5)});
    list[1]["runs"] = 18446744073709551615u;  // beyond the signed range: read as the largest count
    writeFile(file, list.dump());
    TavroMemory memory(file);
    const auto id = memory.recipes()[0].id;
    memory.reinforce(id);
    memory.reinforce(id);
    EXPECT_EQ(memory.recipes()[0].runs, INT64_MAX);
    EXPECT_EQ(memory.recipes()[1].runs, INT64_MAX);
    memory.learn("open top", wifiSteps());
    EXPECT_EQ(TavroMemory(file).recipes()[0].runs, INT64_MAX);
    // Still the first to be recalled, never the first to be evicted.
    EXPECT_EQ(memory.recall("open top")->first.id, id);
}

TEST_F(TavroMemoryStorageTest, FileThatCannotBeOpenedNowIsKeptAndJoinedWithWhatWasLearnedMeanwhile) {
    if (storagetest::typeChecksNeedDescriptors) GTEST_SKIP() << "sanitizer type checks need descriptors";
    writeFile(file, Json::array({recipe("send hi", "send {0}", "{0}", 4)}).dump());
    const std::string before = readFile(file);
    std::unique_ptr<TavroMemory> memory;
    storagetest::atDescriptorLimit([&] {
        memory = std::make_unique<TavroMemory>(file);
        EXPECT_TRUE(memory->recipes().empty());
        memory->learn("turn on wifi", wifiSteps());
    });
    EXPECT_EQ(readFile(file), before);
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "recipes.json.unreadable").empty());
    EXPECT_EQ(memory->recipes().size(), 1u);

    // The next save reads the file first and keeps both.
    memory->learn("turn on wifi", wifiSteps());
    TavroMemory reopened(file);
    ASSERT_EQ(reopened.recipes().size(), 2u);
    EXPECT_EQ(reopened.recipes()[0].goal, "send hi");
    EXPECT_EQ(reopened.recipes()[0].runs, 4);
    EXPECT_EQ(reopened.recipes()[1].goal, "turn on wifi");
    EXPECT_EQ(reopened.recipes()[1].runs, 2);
}

TEST_F(TavroMemoryStorageTest, FailedSaveKeepsTheRecipeLogsOnceAndTheNextSaveWritesIt) {
    rt::MainActor::Scope scope(rt::MainActor::create(rt::ClockKind::virtual_));
    TavroDebug::reset();
    TavroDebug::shared()->enabled.set(true);
    TavroMemory memory(file);
    memory.learn("send hi to Tuli", {typed("hi", element(7, "input", "Message"))});
    storagetest::withFullDisk([&] { memory.learn("turn on wifi", wifiSteps()); });

    const auto& entries = TavroDebug::shared()->entries.value();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tag, "learn");
    EXPECT_FALSE(entries[0].ok);
    EXPECT_NE(entries[0].text.find("File too large"), std::string::npos) << entries[0].text;
    EXPECT_EQ(memory.recipes().size(), 2u);
    EXPECT_EQ(TavroMemory(file).recipes().size(), 1u);
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "recipes.json.tmp").empty());

    memory.reinforce(memory.recipes()[0].id);
    EXPECT_EQ(TavroMemory(file).recipes().size(), 2u);
    EXPECT_EQ(TavroDebug::shared()->entries.value().size(), 1u);
    TavroDebug::reset();
}

TEST_F(TavroMemoryStorageTest, ADeeplyNestedFileIsSetAsideAndTheStoreStartsEmpty) {
    Json item = recipe("send hi", "send {0}", "{0}");
    std::string text = Json::array({item}).dump();
    text.insert(text.size() - 2, ",\"extra\":" + std::string(100000, '[') + std::string(100000, ']'));
    writeFile(file, text);
    TavroMemory memory(file);
    EXPECT_TRUE(memory.recipes().empty());
    const auto aside = filesStartingWith(file.parent_path(), "recipes.json.unreadable-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), text);
    memory.learn("turn on wifi", wifiSteps());
    EXPECT_EQ(TavroMemory(file).recipes().size(), 1u);
}
