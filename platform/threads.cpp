#include "platform/threads.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vq::platform {

namespace {

int currentTid() { return static_cast<int>(::syscall(SYS_gettid)); }

// Linux has per-thread nice values; one priority step is five nice units, and
// a higher priority is a lower nice value.
bool setTidPriority(int tid, ThreadPriority priority) {
    const int nice = -5 * static_cast<int>(priority);
    errno = 0;
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

std::atomic<int> processorCountOverride{0};

} // namespace

Thread::~Thread() { join(); }

bool Thread::start(std::function<void()> fn) {
    if (thread_.joinable())
        return false;
    nativeTid_.store(0);
    try {
        thread_ = std::thread([this, fn = std::move(fn)] {
            nativeTid_.store(currentTid());
            nativeTid_.notify_all();
            fn();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool Thread::setPriority(ThreadPriority priority) {
    if (!thread_.joinable())
        return false;
    nativeTid_.wait(0);
    return setTidPriority(nativeTid_.load(), priority);
}

void Thread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

bool setCurrentThreadPriority(ThreadPriority priority) { return setTidPriority(currentTid(), priority); }

ScopedThreadPriority::ScopedThreadPriority(ThreadPriority priority) {
    const int tid = currentTid();
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (nice == -1 && errno != 0)
        return;
    previousNice_ = nice;
    moved_ = setTidPriority(tid, priority);
}

ScopedThreadPriority::~ScopedThreadPriority() {
    if (moved_)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(currentTid()), previousNice_);
}

namespace {

// Sleeps while *word still holds `expected`, at most until `deadline` (none
// when it is the maximum). Returns when woken, when the word differs already,
// on a signal, or at the deadline; callers look again in every case.
void futexWait(std::atomic<uint32_t>& word, uint32_t expected, std::chrono::steady_clock::time_point deadline) {
    timespec until{};
    const timespec* limit = nullptr;
    if (deadline != std::chrono::steady_clock::time_point::max()) {
        // steady_clock is CLOCK_MONOTONIC, the clock FUTEX_WAIT_BITSET measures.
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
        until.tv_sec = static_cast<time_t>(ns / 1000000000);
        until.tv_nsec = static_cast<long>(ns % 1000000000);
        limit = &until;
    }
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_BITSET_PRIVATE, expected, limit, nullptr,
              FUTEX_BITSET_MATCH_ANY);
}

void futexWake(std::atomic<uint32_t>& word, int count) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

// Counts the caller among `sleepers` while it sleeps on `word` (see
// futexWait), so that a waker knows to make its system call; false, without
// sleeping, once the deadline has passed.
bool sleepWhile(std::atomic<uint32_t>& word, uint32_t expected, std::atomic<uint32_t>& sleepers,
                std::chrono::steady_clock::time_point deadline) {
    if (std::chrono::steady_clock::now() >= deadline)
        return false;
    sleepers.fetch_add(1);
    futexWait(word, expected, deadline);
    sleepers.fetch_sub(1);
    return true;
}

std::chrono::steady_clock::time_point deadlineAfter(int64_t timeoutMs) {
    if (timeoutMs < 0)
        return std::chrono::steady_clock::time_point::max();
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

} // namespace

Event::Event(bool manualReset, bool initiallySet) : signalled_(initiallySet ? 1 : 0), manualReset_(manualReset) {}

// The setter publishes the state before it looks for sleepers, and a waiter
// counts itself a sleeper before the kernel compares the state: one of the
// two always sees the other, so no set is lost.
void Event::set() {
    if (manualReset_) {
        signalled_.store(1);
        if (sleepers_.load() != 0)
            futexWake(signalled_, INT_MAX);
        return;
    }
    if (signalled_.exchange(1) == 0 && sleepers_.load() != 0)
        futexWake(signalled_, 1);
}

void Event::reset() { signalled_.store(0); }

// An auto-reset event hands its signal to exactly one taker.
bool Event::take() {
    if (manualReset_)
        return signalled_.load() != 0;
    uint32_t set = 1;
    return signalled_.compare_exchange_strong(set, 0);
}

bool Event::wait(int64_t timeoutMs) {
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        if (take())
            return true;
        if (!sleepWhile(signalled_, 0, sleepers_, deadline))
            return false;
    }
}

void Condition::notifyAll() {
    changes_.fetch_add(1);
    if (sleepers_.load() != 0)
        futexWake(changes_, INT_MAX);
}

bool Condition::sleepUntilChanged(uint32_t seen, std::chrono::steady_clock::time_point deadline) {
    return sleepWhile(changes_, seen, sleepers_, deadline);
}

CriticalSection::CriticalSection(int spinCount) : spins_(spinCount > 0 && processorCount() > 1 ? spinCount : 0) {}

void sleepMs(int64_t milliseconds) {
    if (milliseconds <= 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int processorCount() {
    const int forced = processorCountOverride.load();
    if (forced > 0)
        return forced;
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0)
            return n;
    }
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

void setProcessorCountOverride(int count) { processorCountOverride.store(count > 0 ? count : 0); }

} // namespace vq::platform
