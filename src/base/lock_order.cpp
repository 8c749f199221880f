#include "base/lock_order.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace j3 {
namespace {

struct HeldLock {
    LockRank rank;
    const void* lock;
};

// Ranks rise strictly along a thread's record, so it never holds more
// entries than there are ranks.
constexpr size_t kMostHeld = 32;
static_assert(size_t(LockRank::kFftPlans) < kMostHeld, "a record for every rank");

// Ascending by rank: the last entry is the highest held.
thread_local HeldLock t_held[kMostHeld];
thread_local size_t t_held_count = 0;

[[noreturn]] void out_of_order(LockRank taking, LockRank held) {
    std::fprintf(stderr, "j3: lock order broken: %s taken while %s is held\n",
                 lock_rank_name(taking), lock_rank_name(held));
    std::abort();
}

}  // namespace

const char* lock_rank_name(LockRank rank) {
    switch (rank) {
        case LockRank::kInputProc:
            return "InputPump::proc_mutex_";
        case LockRank::kReception:
            return "ReceptionInternals::mutex";
        case LockRank::kSend:
            return "SendState::send_mutex";
        case LockRank::kFileList:
            return "FileList::mutex_";
        case LockRank::kIdentity:
            return "IdentityListener::mutex_";
        case LockRank::kReplyQueue:
            return "ReplyQueue::mutex";
        case LockRank::kControlRequests:
            return "ControlRequests::mutex";
        case LockRank::kMidiService:
            return "RoutingService::mutex_";
        case LockRank::kMidiBackend:
            return "a MIDI backend's mutex_ (AlsaBackend's, JackBackend's)";
        case LockRank::kMidiErrors:
            return "the ALSA backend's ErrorLog::mutex_";
        case LockRank::kSendPump:
            return "SendPump::mutex_";
        case LockRank::kInputQueue:
            return "InputPump::queue_mutex_";
        case LockRank::kJackNames:
            return "JackClient::names_mutex_";
        case LockRank::kClock:
            return "SystemClock::mutex_";
        case LockRank::kConsoleStatus:
            return "ConsoleWindow::mutex_";
        case LockRank::kConsolePosts:
            return "ConsoleWindow::post_mutex_";
        case LockRank::kFftPlans:
            return "FftPlanCache::lock";
    }
    return "a lock of no known rank";
}

void note_lock_taking(LockRank rank, const void* lock) {
    if (t_held_count > 0) {
        const LockRank highest = t_held[t_held_count - 1].rank;
        if (rank <= highest) out_of_order(rank, highest);
    }
    t_held[t_held_count++] = {rank, lock};
}

void note_lock_released(const void* lock) {
    // Most often the last one taken; a lock let go out of turn leaves the
    // others in their order.
    for (size_t i = t_held_count; i-- > 0;) {
        if (t_held[i].lock != lock) continue;
        for (size_t j = i + 1; j < t_held_count; ++j) t_held[j - 1] = t_held[j];
        --t_held_count;
        return;
    }
}

}  // namespace j3
