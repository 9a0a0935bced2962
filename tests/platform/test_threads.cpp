#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <set>
#include <vector>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/guid.h"
#include "platform/threads.h"

using namespace vq::platform;

namespace {

// Polls until `done` holds or `boundMs` passes; the bound is generous so a
// loaded machine does not fail the test, the poll keeps it quick elsewhere.
template <class Done>
bool eventually(Done done, int boundMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        sleepMs(2);
    }
    return true;
}

TEST(Event, AutoResetReleasesExactlyOneWaiter) {
    Event ev(false, false);
    std::atomic<int> woken{0};
    std::vector<std::unique_ptr<Thread>> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.push_back(std::make_unique<Thread>());
        ASSERT_TRUE(waiters.back()->start([&] {
            if (ev.wait(60000))
                ++woken;
        }));
    }
    // Each set releases one waiter, whether or not every waiter has reached
    // its wait yet: an unconsumed set stays signalled until one wait takes it.
    bool allThrough = true;
    for (int released = 1; released <= 3 && allThrough; ++released) {
        ev.set();
        allThrough = eventually([&] { return woken.load() >= released; });
        EXPECT_TRUE(allThrough) << "set " << released << " released no waiter";
    }
    if (allThrough) {
        // Three sets, three waiters through: the fourth is still held.
        sleepMs(300);
        EXPECT_EQ(woken.load(), 3);
        ev.set();
    } else {
        for (int i = 0; i < 4; ++i)
            ev.set();
    }
    for (auto& w : waiters)
        w->join();
    EXPECT_EQ(woken.load(), 4);
}

TEST(Event, AutoResetStaysSetUntilOneWaitConsumesIt) {
    Event ev(false, false);
    EXPECT_FALSE(ev.wait(0));
    ev.set();
    ev.set();  // setting twice still releases one wait
    EXPECT_TRUE(ev.wait(0));
    EXPECT_FALSE(ev.wait(10));
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
    Event ev(true, false);
    std::atomic<int> woken{0};
    std::vector<std::unique_ptr<Thread>> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.push_back(std::make_unique<Thread>());
        waiters.back()->start([&] {
            if (ev.wait(5000))
                ++woken;
        });
    }
    sleepMs(50);
    ev.set();
    for (auto& w : waiters)
        w->join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_TRUE(ev.wait(0));
    ev.reset();
    EXPECT_FALSE(ev.wait(0));
    Event initially(true, true);
    EXPECT_TRUE(initially.wait(0));
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
    CriticalSection cs(2000);
    cs.enter();
    cs.enter();  // the owner may enter again
    std::atomic<bool> otherGotIn{false};
    Thread other;
    other.start([&] {
        otherGotIn = cs.tryEnter();
        if (otherGotIn)
            cs.leave();
    });
    other.join();
    EXPECT_FALSE(otherGotIn.load());
    cs.leave();
    Thread second;
    second.start([&] {
        otherGotIn = cs.tryEnter();
        if (otherGotIn)
            cs.leave();
    });
    second.join();
    EXPECT_FALSE(otherGotIn.load()) << "still held once";
    cs.leave();
    Thread third;
    third.start([&] {
        ScopedLock lock(cs);
        otherGotIn = true;
    });
    third.join();
    EXPECT_TRUE(otherGotIn.load());
}

TEST(CriticalSection, ExcludesUnderContentionWithAndWithoutSpinning) {
    for (const int spins : {0, 2000}) {
        CriticalSection cs(spins);
        int64_t count = 0;  // plain: only the lock keeps the increments whole
        std::vector<std::unique_ptr<Thread>> threads;
        for (int t = 0; t < 8; ++t) {
            threads.push_back(std::make_unique<Thread>());
            ASSERT_TRUE(threads.back()->start([&] {
                for (int i = 0; i < 20000; ++i) {
                    ScopedLock lock(cs);
                    count = count + 1;
                }
            }));
        }
        for (auto& t : threads)
            t->join();
        EXPECT_EQ(count, 8 * 20000) << "spin count " << spins;
    }
}

TEST(Condition, WakesAWaiterWhenTheStateChangesAndTimesOutOtherwise) {
    Condition changed;
    std::atomic<bool> ready{false};
    std::atomic<int> result{-1};
    Thread waiter;
    ASSERT_TRUE(waiter.start([&] { result = changed.waitFor([&] { return ready.load(); }, 60000) ? 1 : 0; }));
    ready = true;
    changed.notifyAll();
    EXPECT_TRUE(eventually([&] { return result.load() != -1; }));
    waiter.join();
    EXPECT_EQ(result.load(), 1);

    EXPECT_FALSE(changed.waitFor([] { return false; }, 30));
}

// The state changes (and is announced) after the waiter has tested it but
// before it sleeps; the waiter must see the announcement instead of sleeping
// until its time-out.
TEST(Condition, AChangeBetweenTheTestAndTheSleepIsNotLost) {
    Condition changed;
    bool state = false;
    int tests = 0;
    auto ready = [&] {
        ++tests;
        if (tests == 1) {
            state = true;
            changed.notifyAll();
            return false;
        }
        return state;
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(changed.waitFor(ready, 60000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "slept until the time-out";
}

TEST(Interlocked, CountsFromManyThreads) {
    int32_t count = 0;
    std::vector<std::unique_ptr<Thread>> threads;
    for (int t = 0; t < 8; ++t) {
        threads.push_back(std::make_unique<Thread>());
        threads.back()->start([&] {
            for (int i = 0; i < 10000; ++i) {
                interlockedIncrement(&count);
                interlockedIncrement(&count);
                interlockedDecrement(&count);
            }
        });
    }
    for (auto& t : threads)
        t->join();
    EXPECT_EQ(count, 80000);
    EXPECT_EQ(interlockedIncrement(&count), 80001);
    EXPECT_EQ(interlockedDecrement(&count), 80000);
}

TEST(Thread, PrioritySteps) {
    Event go(true, false);
    Thread t;
    ASSERT_TRUE(t.start([&] { go.wait(5000); }));
    // Lowering is always allowed; raising needs privileges, and when refused
    // the thread simply keeps its priority.
    EXPECT_TRUE(t.setPriority(ThreadPriority::BelowNormal));
    EXPECT_TRUE(t.setPriority(ThreadPriority::Lowest));
    (void)t.setPriority(ThreadPriority::AboveNormal);
    go.set();
    t.join();
    EXPECT_FALSE(t.joinable());
    EXPECT_FALSE(t.setPriority(ThreadPriority::Normal)) << "no thread to change";
    Thread again;
    std::atomic<bool> ran{false};
    ASSERT_TRUE(again.start([&] {
        ran = setCurrentThreadPriority(ThreadPriority::BelowNormal);
    }));
    again.join();
    EXPECT_TRUE(ran.load());
}

TEST(Thread, ScopedPriorityMovesTheThreadAndMovesItBack) {
    auto nice = [] {
        errno = 0;
        return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    };
    Thread t;
    std::atomic<int> before{99}, during{99}, after{99};
    std::atomic<bool> moved{false};
    ASSERT_TRUE(t.start([&] {
        before = nice();
        {
            ScopedThreadPriority raised(ThreadPriority::AboveNormal);
            moved = raised.moved();
            during = nice();
        }
        after = nice();
    }));
    t.join();
    // Raising needs privileges; without them the thread keeps its priority.
    EXPECT_EQ(during.load(), moved ? before - 5 : before.load());
    EXPECT_EQ(after.load(), before.load());
}

TEST(Thread, StartTwiceIsRefusedAndDestructorJoins) {
    std::atomic<int> runs{0};
    {
        Thread t;
        Event release(true, false);
        ASSERT_TRUE(t.start([&] { release.wait(5000); ++runs; }));
        EXPECT_FALSE(t.start([&] { ++runs; }));
        release.set();
    }
    EXPECT_EQ(runs.load(), 1);
}

TEST(Platform, ProcessorCountAndSleep) {
    EXPECT_GE(processorCount(), 1);
    setProcessorCountOverride(64);
    EXPECT_EQ(processorCount(), 64);
    setProcessorCountOverride(0);
    EXPECT_GE(processorCount(), 1);
    const auto t0 = std::chrono::steady_clock::now();
    sleepMs(20);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(19));
}

TEST(Guid, RandomVersion4) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const Guid g = createGuid();
        EXPECT_EQ(g.data3 >> 12, 4);
        EXPECT_EQ(g.data4[0] >> 6, 2);
        const std::string s = guidToString(g);
        EXPECT_EQ(s.size(), 36u);
        EXPECT_EQ(s[14], '4');
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(coInitializeApartment(), 0);
}

} // namespace
