// Counts the threads a test program starts, and fails a program that starts one without being
// on the list of threaded test programs in tests/CMakeLists.txt: only those run under
// ThreadSanitizer, so a new program that starts threads (its own, or the library's worker
// threads) must not slip past it unnoticed. Linked into every test program of a build without
// sanitizers; the sanitizers' runtimes intercept thread creation themselves.
#include "support/ThreadWatch.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>

#include <atomic>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::atomic<int> started{0};

using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);


class ThreadCheck : public ::testing::Environment {
public:
  void TearDown() override {
    if (started.load() > 0 && !thread_watch::listedAsThreaded(program_invocation_short_name)) {
      ADD_FAILURE() << program_invocation_short_name << " started " << started.load()
                    << " thread(s) but is not on the list of threaded test programs in "
                       "tests/CMakeLists.txt, so ThreadSanitizer would never run it";
    }
  }
};

const bool registered = (::testing::AddGlobalTestEnvironment(new ThreadCheck), true);

}  // namespace

// Found before the C library's own definition by every caller, std::thread and libcurl included.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) noexcept {
  static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  started.fetch_add(1);
  return next(thread, attr, start, arg);
}

namespace thread_watch {

int threadsStarted() { return started.load(); }

bool listedAsThreaded(std::string_view program) {
  std::istringstream names(TAVRO_THREADED_TEST_PROGRAMS);
  for (std::string name; std::getline(names, name, ',');) {
    if (name == program) return true;
  }
  return false;
}

}  // namespace thread_watch
