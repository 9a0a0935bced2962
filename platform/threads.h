// Threads, events, critical sections and interlocked counts: the small set of
// operating-system services the engine, readers and writers build on.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vq::platform {

// Thread priority steps relative to normal, as the engine asks for them.
enum class ThreadPriority : int { Lowest = -2, BelowNormal = -1, Normal = 0, AboveNormal = 1, Highest = 2 };

// A joinable thread. The owner must join (or let the destructor join) before
// releasing anything the thread uses.
class Thread {
public:
    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts fn on a new thread; false when a thread is already running or
    // the system refused to create one.
    bool start(std::function<void()> fn);
    // Moves the running thread by a priority step. Returns false when the
    // system refused (an unprivileged user may not raise priority); the thread
    // keeps running at its old priority, which is not an error for the job.
    bool setPriority(ThreadPriority priority);
    void join();
    bool joinable() const { return thread_.joinable(); }

private:
    std::thread thread_;
    std::atomic<int> nativeTid_{0};
};

// Sets the calling thread's priority step; see Thread::setPriority.
bool setCurrentThreadPriority(ThreadPriority priority);

// Moves the calling thread to a priority step for the life of the object and
// back to its earlier priority afterwards. When the system refuses the move
// (an unprivileged user may not raise priority), nothing changes.
class ScopedThreadPriority {
public:
    explicit ScopedThreadPriority(ThreadPriority priority);
    ~ScopedThreadPriority();
    ScopedThreadPriority(const ScopedThreadPriority&) = delete;
    ScopedThreadPriority& operator=(const ScopedThreadPriority&) = delete;
    bool moved() const { return moved_; }

private:
    int previousNice_ = 0;
    bool moved_ = false;
};

// Win32-style event. An auto-reset event releases exactly one waiter per set()
// and returns to non-signalled; a manual-reset event stays signalled and
// releases every waiter until reset().
//
// Events and conditions sit on the producer-consumer hot path of a run (one
// set per queued tile or job), so they are built on the kernel's futex rather
// than on a condition variable: set() and notifyAll() never block the thread
// that calls them, and they make a system call only when a thread sleeps.
class Event {
public:
    explicit Event(bool manualReset = false, bool initiallySet = false);
    void set();
    void reset();
    // Waits up to timeoutMs milliseconds (negative: without limit). Returns
    // true when the event was signalled, false on time-out.
    bool wait(int64_t timeoutMs = -1);

private:
    bool take();

    std::atomic<uint32_t> signalled_;
    std::atomic<uint32_t> sleepers_{0};
    const bool manualReset_;
};

// Lets threads wait for a change of shared state that they test themselves
// (a queue length, a flag, a count of running threads). Whoever changes such
// state calls notifyAll afterwards. A waiter tests its condition without
// holding any lock of this object, so the test may take any other lock, and a
// change that lands between the test and the wait still wakes the waiter.
class Condition {
public:
    void notifyAll();
    // Returns true as soon as ready() holds; false when timeoutMs passed
    // first and ready() still does not hold.
    template <class Ready>
    bool waitFor(Ready ready, int64_t timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const uint32_t seen = changes_.load();
            if (ready())
                return true;
            if (!sleepUntilChanged(seen, deadline))
                return ready();
        }
    }

private:
    // Sleeps while the change count is still `seen`; false once the deadline
    // has passed.
    bool sleepUntilChanged(uint32_t seen, std::chrono::steady_clock::time_point deadline);

    std::atomic<uint32_t> changes_{0};
    std::atomic<uint32_t> sleepers_{0};
};

constexpr int64_t kInfinite = -1;

// Re-entrant lock: the owning thread may enter again; each enter needs a leave.
// With a spin count, a thread that finds the lock taken tries again that many
// times before it sleeps (on a machine with more than one processor): the
// engine's queue locks are held for a few list operations, and a sleep and a
// wake-up cost far more than that.
class CriticalSection {
public:
    explicit CriticalSection(int spinCount = 0);
    void enter()
    {
        for (int i = 0; i < spins_; ++i) {
            if (mutex_.try_lock())
                return;
            pauseProcessor();
        }
        mutex_.lock();
    }
    bool tryEnter() { return mutex_.try_lock(); }
    void leave() { mutex_.unlock(); }
    // BasicLockable, so std::lock_guard and std::unique_lock work too.
    void lock() { enter(); }
    void unlock() { leave(); }

private:
    static void pauseProcessor()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::recursive_mutex mutex_;
    const int spins_;
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
    ~ScopedLock() { cs_.leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& cs_;
};

// Interlocked counts: full-barrier atomic increment and decrement that return
// the new value.
inline int32_t interlockedIncrement(volatile int32_t* v) { return __atomic_add_fetch(v, 1, __ATOMIC_SEQ_CST); }
inline int32_t interlockedDecrement(volatile int32_t* v) { return __atomic_sub_fetch(v, 1, __ATOMIC_SEQ_CST); }
inline int32_t interlockedExchange(volatile int32_t* v, int32_t x) { return __atomic_exchange_n(v, x, __ATOMIC_SEQ_CST); }

void sleepMs(int64_t milliseconds);

// Number of processors available to this process (at least 1). Tests may
// replace the answer through setProcessorCountOverride (0 removes it).
int processorCount();
void setProcessorCountOverride(int count);

} // namespace vq::platform
