// Clang's thread-safety attributes, so the compiler checks which lock guards
// which field (-Wthread-safety). Empty under other compilers.
//
//   std::mutex mutex_;                          // plain std::mutex is not annotated:
//   j3::Mutex mutex_{LockRank::kSend};          // use this one for checked fields
//   int count_ J3_GUARDED_BY(mutex_) = 0;
//   void bump() J3_REQUIRES(mutex_);            // caller holds mutex_
#pragma once

#include <mutex>

#include "base/lock_order.h"

#if defined(__clang__)
#define J3_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define J3_THREAD_ATTRIBUTE(x)
#endif

#define J3_CAPABILITY(x) J3_THREAD_ATTRIBUTE(capability(x))
#define J3_SCOPED_CAPABILITY J3_THREAD_ATTRIBUTE(scoped_lockable)
#define J3_GUARDED_BY(x) J3_THREAD_ATTRIBUTE(guarded_by(x))
#define J3_PT_GUARDED_BY(x) J3_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define J3_ACQUIRED_BEFORE(...) J3_THREAD_ATTRIBUTE(acquired_before(__VA_ARGS__))
#define J3_REQUIRES(...) J3_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define J3_EXCLUDES(...) J3_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define J3_ACQUIRE(...) J3_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define J3_RELEASE(...) J3_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define J3_TRY_ACQUIRE(...) J3_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#define J3_RETURN_CAPABILITY(x) J3_THREAD_ATTRIBUTE(lock_returned(x))
#define J3_NO_THREAD_SAFETY_ANALYSIS J3_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace j3 {

// std::mutex as the analysis sees it, with its place in the lock order.
// libstdc++'s mutex carries no attributes, so a guarded field needs this
// wrapper to be checked. A condition variable waits on it through
// std::condition_variable_any and UniqueLock, so the thread's record of held
// locks (lock_order.h) stays true across the wait.
class J3_CAPABILITY("mutex") Mutex {
  public:
    explicit Mutex(LockRank rank) : rank_(rank) {}
    void lock() J3_ACQUIRE() {
        note_lock_taking(rank_, this);
        m_.lock();
    }
    void unlock() J3_RELEASE() {
        m_.unlock();
        note_lock_released(this);
    }
    // Held to the order as lock() is, though a try never waits: the record
    // stays ascending, and a lock held out of order is a fault either way.
    bool try_lock() J3_TRY_ACQUIRE(true) {
        note_lock_taking(rank_, this);
        if (m_.try_lock()) return true;
        note_lock_released(this);
        return false;
    }

  private:
    std::mutex m_;
    const LockRank rank_;
};

// std::lock_guard for Mutex.
class J3_SCOPED_CAPABILITY Lock {
  public:
    explicit Lock(Mutex& m) J3_ACQUIRE(m) : m_(m) { m_.lock(); }
    ~Lock() J3_RELEASE() { m_.unlock(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    Mutex& m_;
};

// std::unique_lock for Mutex, for code that lets go of the lock across a
// pause and takes it again.
class J3_SCOPED_CAPABILITY UniqueLock {
  public:
    explicit UniqueLock(Mutex& m) J3_ACQUIRE(m) : m_(m) { m_.lock(); }
    ~UniqueLock() J3_RELEASE() {
        if (held_) m_.unlock();
    }
    void lock() J3_ACQUIRE() {
        m_.lock();
        held_ = true;
    }
    void unlock() J3_RELEASE() {
        m_.unlock();
        held_ = false;
    }
    UniqueLock(const UniqueLock&) = delete;
    UniqueLock& operator=(const UniqueLock&) = delete;

  private:
    Mutex& m_;
    bool held_ = true;
};

}  // namespace j3
