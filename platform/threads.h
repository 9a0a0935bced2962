// Threads, events, critical sections and interlocked counts: the small set of
// operating-system services the engine, readers and writers build on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
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

// Win32-style event. An auto-reset event releases exactly one waiter per set()
// and returns to non-signalled; a manual-reset event stays signalled and
// releases every waiter until reset().
class Event {
public:
    explicit Event(bool manualReset = false, bool initiallySet = false);
    void set();
    void reset();
    // Waits up to timeoutMs milliseconds (negative: without limit). Returns
    // true when the event was signalled, false on time-out.
    bool wait(int64_t timeoutMs = -1);

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    const bool manualReset_;
    bool signalled_;
};

// Lets threads wait for a change of shared state that they test themselves
// (a queue length, a flag, a count of running threads). Whoever changes such
// state calls notifyAll afterwards. A waiter tests its condition without
// holding this object's lock, so the test may take any other lock, and a
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
            uint64_t seen = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen = changes_;
            }
            if (ready())
                return true;
            std::unique_lock<std::mutex> lock(mutex_);
            if (!cond_.wait_until(lock, deadline, [&] { return changes_ != seen; })) {
                lock.unlock();
                return ready();
            }
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    uint64_t changes_ = 0;
};

constexpr int64_t kInfinite = -1;

// Re-entrant lock: the owning thread may enter again; each enter needs a leave.
class CriticalSection {
public:
    explicit CriticalSection(int spinCount = 0) { (void)spinCount; }
    void enter() { mutex_.lock(); }
    bool tryEnter() { return mutex_.try_lock(); }
    void leave() { mutex_.unlock(); }
    // BasicLockable, so std::lock_guard and std::unique_lock work too.
    void lock() { enter(); }
    void unlock() { leave(); }

private:
    std::recursive_mutex mutex_;
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
