#include "base/thread_role.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace j3 {
namespace {

// The one process-wide fact here: a thread's role does not belong to any
// context, and a second window or context runs on the same main thread.
std::atomic<std::thread::id> g_main_thread{};

}  // namespace

void record_main_thread() {
    g_main_thread = std::this_thread::get_id();
}

bool on_main_thread() {
    const std::thread::id main = g_main_thread;
    return main == std::thread::id() || main == std::this_thread::get_id();
}

void expect_main_thread(const char* where) {
    if (on_main_thread()) return;
    std::fprintf(stderr, "j3: %s ran off the main thread\n", where);
    std::abort();
}

}  // namespace j3
