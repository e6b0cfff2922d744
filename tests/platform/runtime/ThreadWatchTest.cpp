#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "support/ThreadWatch.h"

#ifdef TAVRO_TEST_THREAD_WATCH

// The watch that keeps threaded test programs from slipping past ThreadSanitizer must see threads
// started through the standard library, and must read its list of programs name by name.
TEST(ThreadWatch, CountsThreadsStartedThroughTheStandardLibrary) {
    const int before = thread_watch::threadsStarted();
    std::thread([] {}).join();
    EXPECT_EQ(thread_watch::threadsStarted(), before + 1);
    std::async(std::launch::async, [] {}).get();
    EXPECT_EQ(thread_watch::threadsStarted(), before + 2);
}

TEST(ThreadWatch, KnowsThreadedProgramsByTheirWholeName) {
    EXPECT_TRUE(thread_watch::listedAsThreaded("test_platform_runtime"));
    EXPECT_TRUE(thread_watch::listedAsThreaded("test_tavro_surfaces"));
    EXPECT_FALSE(thread_watch::listedAsThreaded("test_platform_crypto"));
    EXPECT_FALSE(thread_watch::listedAsThreaded("test_platform"));
    EXPECT_FALSE(thread_watch::listedAsThreaded("test_platform_runtime_more"));
    EXPECT_FALSE(thread_watch::listedAsThreaded(""));
}

#endif
