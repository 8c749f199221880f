#include "base/lock_order.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <string>
#include <thread>

#include "base/thread_annotations.h"

namespace j3 {
namespace {

// Three locks in rank order, and a second one of the middle rank.
struct Locks {
    Mutex reception{LockRank::kReception};
    Mutex send{LockRank::kSend};
    Mutex other_send{LockRank::kSend};
    Mutex files{LockRank::kFileList};
};

// Steps that take locks in some order; one leaves a lock held on purpose,
// which the compile-time analysis would refuse.
struct Case {
    const char* description;
    std::function<void(Locks&)> steps;
    const char* dies_with;  // nullptr: runs through
};

void run(const Case& c) {
    Locks locks;
    c.steps(locks);
}

const Case kCases[] = {
    {"in order",
     [](Locks& l) {
         Lock a(l.reception);
         Lock b(l.send);
         Lock c(l.files);
     },
     nullptr},
    {"a lower rank once the higher is let go",
     [](Locks& l) {
         { Lock c(l.files); }
         Lock a(l.send);
     },
     nullptr},
    {"inverted",
     [](Locks& l) {
         Lock c(l.files);
         Lock a(l.send);
     },
     "SendState::send_mutex taken while FileList::mutex_ is held"},
    {"inverted under a third lock",
     [](Locks& l) {
         Lock a(l.reception);
         Lock c(l.files);
         Lock b(l.send);
     },
     "SendState::send_mutex taken while FileList::mutex_ is held"},
    {"two locks of one rank",
     [](Locks& l) {
         Lock a(l.send);
         Lock b(l.other_send);
     },
     "SendState::send_mutex taken while SendState::send_mutex is held"},
    {"the lower one let go first: the higher still counts",
     [](Locks& l) J3_NO_THREAD_SAFETY_ANALYSIS {
         l.reception.lock();
         l.files.lock();
         l.reception.unlock();
         Lock b(l.send);
     },
     "SendState::send_mutex taken while FileList::mutex_ is held"},
    {"the lower one let go first: a higher one still goes",
     [](Locks& l) {
         l.reception.lock();
         l.send.lock();
         l.reception.unlock();
         Lock c(l.files);
         l.send.unlock();
     },
     nullptr},
    {"relocked out of order after a pause",
     [](Locks& l) {
         UniqueLock a(l.send);
         a.unlock();
         Lock c(l.files);
         a.lock();
     },
     "SendState::send_mutex taken while FileList::mutex_ is held"},
    {"relocked in order after a pause",
     [](Locks& l) {
         UniqueLock b(l.send);
         b.unlock();
         { Lock a(l.reception); }
         b.lock();
         Lock c(l.files);
     },
     nullptr},
    {"held again after a condition variable's wait",
     [](Locks& l) {
         std::condition_variable_any woken;
         UniqueLock c(l.files);
         woken.wait_for(c, std::chrono::milliseconds(1));
         Lock b(l.send);
     },
     "SendState::send_mutex taken while FileList::mutex_ is held"},
    {"a try out of order",
     [](Locks& l) {
         Lock c(l.files);
         if (l.send.try_lock()) l.send.unlock();
     },
     "SendState::send_mutex taken while FileList::mutex_ is held"},
    {"a try that fails leaves nothing held",
     [](Locks& l) {
         std::atomic<bool> taken{false};
         std::atomic<bool> done{false};
         std::thread holder([&] {
             Lock c(l.files);
             taken = true;
             while (!done) std::this_thread::yield();
         });
         while (!taken) std::this_thread::yield();
         EXPECT_FALSE(l.files.try_lock());
         { Lock b(l.send); }
         done = true;
         holder.join();
     },
     nullptr},
    {"another thread's locks do not count",
     [](Locks& l) {
         Lock c(l.files);
         std::thread([&] { Lock a(l.send); }).join();
     },
     nullptr},
};

TEST(LockOrder, ATakeOutOfOrderEndsTheProgramNamingBothLocks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const Case& c : kCases) {
        if (c.dies_with) {
            EXPECT_DEATH(run(c), std::string("lock order broken: ") + c.dies_with) << c.description;
        } else {
            run(c);
        }
    }
}

}  // namespace
}  // namespace j3
