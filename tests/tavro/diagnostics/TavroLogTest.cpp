#include <gtest/gtest.h>

#include <thread>

#include "tavro/diagnostics/TavroLog.h"

using namespace tavro;

class TavroLogBox : public ::testing::Test {
protected:
    void SetUp() override { TavroLog::reset(); }
    void TearDown() override { TavroLog::reset(); }
};

TEST_F(TavroLogBox, KeepsLinesOnlyWhileRecording) {
    TavroLog::add("before");
    EXPECT_TRUE(TavroLog::lines().empty());
    TavroLog::setRecording(true);
    EXPECT_TRUE(TavroLog::recording());
    TavroLog::add("one");
    TavroLog::add("two");
    TavroLog::setRecording(false);
    TavroLog::add("after");
    EXPECT_EQ(TavroLog::lines(), (std::vector<std::string>{"one", "two"}));
    TavroLog::clear();
    EXPECT_TRUE(TavroLog::lines().empty());
}

TEST_F(TavroLogBox, KeepsTheNewest400) {
    TavroLog::setRecording(true);
    for (int i = 0; i < 450; ++i) TavroLog::add("line " + std::to_string(i));
    const auto lines = TavroLog::lines();
    ASSERT_EQ(lines.size(), 400u);
    EXPECT_EQ(lines.front(), "line 50");
    EXPECT_EQ(lines.back(), "line 449");
}

TEST_F(TavroLogBox, WritersOnSeveralThreads) {
    TavroLog::setRecording(true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 300; ++i) {
                TavroLog::add(std::to_string(t));
                if (i % 50 == 0) (void)TavroLog::lines();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(TavroLog::lines().size(), 400u);
}
