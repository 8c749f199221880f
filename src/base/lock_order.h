// The one order in which J3's locks are taken. Every j3::Mutex has a rank; a
// thread takes a lock only when its rank comes after every lock the thread
// already holds, so no two threads can each wait for a lock the other holds.
// Taking one out of order ends the program with both locks named, in every
// build: an inversion is a deadlock waiting for its timing, and costs here
// only a look at a few thread-local records.
//
//   Mutex mutex_{LockRank::kSend};
#pragma once

namespace j3 {

// In the order taken (docs/architecture.md, "Locks and their order"). Locks
// of one rank are never held together.
enum class LockRank {
    kInputProc,        // InputPump::proc_mutex_, held around every midi_read
    kReception,        // ReceptionInternals::mutex
    kSend,             // SendState::send_mutex
    kFileList,         // FileList's entries and selection
    kIdentity,         // IdentityListener's replies
    kReplyQueue,       // ReplyQueue::mutex
    kControlRequests,  // ControlRequests::mutex
    kMidiService,      // RoutingService's endpoints, names and speeds
    kMidiBackend,      // a backend's own state (ALSA's, JACK's; never two at once)
    kMidiErrors,       // the ALSA backend's error log
    kSendPump,         // the send pump's queues
    kInputQueue,       // the input pump's queue
    kJackNames,        // JackClient::names_mutex_
    kClock,            // SystemClock's
    kConsoleStatus,    // the console window's status lines and list
    kConsolePosts,     // the console window's posted work
    kFftPlans,         // the FFT's plan cache
};

// The lock a rank stands for, as the program names it ("SendState::send_mutex").
const char* lock_rank_name(LockRank rank);

// The calling thread's record of the locks it holds, kept by Mutex: before
// it waits for a lock (ends the program when the lock is out of order), and
// after it lets one go (or a try did not get it), in any order.
void note_lock_taking(LockRank rank, const void* lock);
void note_lock_released(const void* lock);

}  // namespace j3
