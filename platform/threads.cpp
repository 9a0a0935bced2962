#include "platform/threads.h"

#include <cerrno>
#include <chrono>
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

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset), signalled_(initiallySet) {}

void Event::set() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
    if (manualReset_)
        cond_.notify_all();
    else
        cond_.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

bool Event::wait(int64_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs < 0)
        cond_.wait(lock, ready);
    else if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!manualReset_)
        signalled_ = false;  // an auto-reset event releases exactly one waiter
    return true;
}

void Condition::notifyAll() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++changes_;
    }
    cond_.notify_all();
}

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
