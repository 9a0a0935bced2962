// The encoder threads of a slide saver and the queue of jobs waiting for
// them. New jobs go to the front and threads take the back, so jobs are
// handled first in, first out. Threads start on request (the first with the
// first tile) and one more whenever a job is queued while more than
// `pressure` jobs wait, after the producer has waited up to
// `pressureWaitMs` for room, up to the thread limit. Stopping puts a marker
// behind the waiting jobs (or, dropping them, alone in the queue) that every
// thread sees and leaves in place, then joins every thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <list>
#include <mutex>
#include <utility>

#include "platform/threads.h"

template <class Job>
class EncoderPool {
public:
    // Handles one job on an encoder thread.
    using Worker = std::function<void(Job&)>;
    // Runs once on each new thread; an empty worker ends the thread at once.
    using WorkerFactory = std::function<Worker()>;

    static constexpr int kMaxThreads = 12;

    // startMessage, when given, is printed with the thread's number as each
    // thread starts.
    EncoderPool(size_t pressure, int pressureWaitMs, const char* startMessage = nullptr)
        : pressure_(pressure), pressureWaitMs_(pressureWaitMs), startMessage_(startMessage) {}
    // The owner stops the pool before the state its workers use is gone.
    ~EncoderPool() { stop(true); }
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    void setWorkerFactory(WorkerFactory factory) { factory_ = std::move(factory); }
    void setThreadLimit(int limit) { limit_ = limit < 0 ? 0 : limit > kMaxThreads ? kMaxThreads : limit; }
    int threadLimit() const { return limit_; }
    // Threads started for the current file.
    int started() const { return started_; }
    size_t queued() {
        std::lock_guard<std::mutex> lock(queueMutex_);
        return queue_.size();
    }
    // A new file counts its threads from 0 again.
    void resetStarted() {
        std::lock_guard<std::mutex> lock(startMutex_);
        started_ = 0;
    }

    void startThread() {
        std::lock_guard<std::mutex> lock(startMutex_);
        if (started_ >= limit_) return;
        vq::platform::Thread& thread = threads_[static_cast<size_t>(started_)];
        // A slot is reused only by a new file after the threads of the last
        // one have been joined.
        if (thread.joinable()) return;
        ++running_;
        if (!thread.start([this] { threadMain(); })) {
            --running_;
            return;
        }
        if (!thread.setPriority(vq::platform::ThreadPriority::AboveNormal) && !priorityReported_) {
            priorityReported_ = true;
            std::fputs("Failed to increase thread priority\n", stderr);
        }
        ++started_;
        if (startMessage_ != nullptr) std::fprintf(stderr, startMessage_, started_);
    }

    void push(const Job& job) {
        size_t waiting = 0;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            queue_.push_front(Entry{job, false});
            waiting = queue_.size();
        }
        queueChanged_.notify_all();
        if (waiting > pressure_) {
            // Back-pressure: give the threads a moment to make room, then add one.
            std::unique_lock<std::mutex> lock(queueMutex_);
            queueChanged_.wait_for(lock, std::chrono::milliseconds(pressureWaitMs_),
                                   [&] { return queue_.size() <= pressure_; });
            lock.unlock();
            startThread();
        }
    }

    // With dropWaiting the marker is taken next and waiting jobs are never
    // handled; otherwise the threads finish every waiting job first.
    void stop(bool dropWaiting) {
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (dropWaiting) {
                queue_.clear();
                queue_.push_back(Entry{Job(), true});
            } else {
                queue_.push_front(Entry{Job(), true});
            }
        }
        queueChanged_.notify_all();
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            while (running_.load() > 0) queueChanged_.wait_for(lock, std::chrono::milliseconds(kStopPollMs));
            queue_.clear();
        }
        std::lock_guard<std::mutex> lock(startMutex_);
        for (auto& t : threads_)
            if (t.joinable()) t.join();
    }

private:
    struct Entry {
        Job job;
        bool stop;
    };
    static constexpr int kStopPollMs = 100;

    void threadMain() {
        Worker worker = factory_ ? factory_() : Worker();
        if (worker) {
            std::unique_lock<std::mutex> lock(queueMutex_);
            for (;;) {
                queueChanged_.wait(lock, [&] { return !queue_.empty(); });
                // The marker stays in the queue so that every thread sees it.
                if (queue_.back().stop) break;
                Job job = std::move(queue_.back().job);
                queue_.pop_back();
                lock.unlock();
                queueChanged_.notify_all();
                worker(job);
                lock.lock();
            }
        }
        --running_;
        queueChanged_.notify_all();
    }

    const size_t pressure_;
    const int pressureWaitMs_;
    const char* const startMessage_;
    WorkerFactory factory_;
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::list<Entry> queue_;
    std::mutex startMutex_;
    std::array<vq::platform::Thread, kMaxThreads> threads_;
    int limit_ = 0;
    int started_ = 0;
    std::atomic<int> running_{0};
    bool priorityReported_ = false;
};
