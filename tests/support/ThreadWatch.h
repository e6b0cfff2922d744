// The thread watch linked into test programs built without sanitizers (see ThreadWatch.cpp).
#pragma once

// Defined where the watch is linked in.
#ifdef TAVRO_TEST_THREAD_WATCH
#include <string_view>

namespace thread_watch {

// How many threads this process has started so far.
int threadsStarted();

// Whether the named program is on the list of threaded test programs.
bool listedAsThreaded(std::string_view program);

}  // namespace thread_watch
#endif
