// Reader lines reach the sink of the job that reads: on the job's own thread,
// on threads the job's run starts, and nowhere once the job's scope has ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/reader_messages.h"

namespace {

class Collect : public ReaderMessageSink {
public:
    void readerMessage(const char* line) override {
        const std::lock_guard<std::mutex> lock(mutex);
        lines.emplace_back(line);
    }
    std::vector<std::string> taken() {
        const std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

TEST(ReaderMessages, FormattedLineReachesTheSinkAndStandardError) {
    Collect job;
    testing::internal::CaptureStderr();
    {
        const ReaderMessageScope scope(&job);
        reportReaderMessage("Failed to read line %d at pos %ld\n", 7, 1234L);
        // Longer than any fixed buffer a handler might use.
        reportReaderMessage("%s\n", std::string(3000, 'x').c_str());
    }
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(job.lines.size(), 2u);
    EXPECT_EQ(job.lines[0], "Failed to read line 7 at pos 1234\n");
    EXPECT_EQ(job.lines[1], std::string(3000, 'x') + "\n");
    EXPECT_EQ(err, job.lines[0] + job.lines[1]);
}

TEST(ReaderMessages, WithoutAScopeOnlyStandardErrorHearsIt) {
    Collect job;
    { const ReaderMessageScope scope(&job); }
    testing::internal::CaptureStderr();
    reportReaderMessage("after the job\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "after the job\n");
    EXPECT_FALSE(deliverReaderMessage("TIFF:no job\n"));
    EXPECT_TRUE(job.lines.empty());
}

TEST(ReaderMessages, OtherThreadsOfTheRunReachTheJobsSink) {
    Collect job;
    {
        const ReaderMessageScope scope(&job);
        std::vector<std::thread> loaders;
        for (int i = 0; i < 4; ++i)
            loaders.emplace_back([i] {
                for (int k = 0; k < 50; ++k) EXPECT_TRUE(deliverReaderMessage(i == 0 ? "a\n" : "b\n"));
            });
        for (auto& t : loaders) t.join();
    }
    const auto lines = job.taken();
    EXPECT_EQ(lines.size(), 200u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "a\n"), 50);
}

TEST(ReaderMessages, AThreadsOwnSinkWinsAndNestedScopesRestore) {
    Collect outer, inner, other;
    const ReaderMessageScope outerScope(&outer);
    {
        const ReaderMessageScope innerScope(&inner);
        deliverReaderMessage("inner\n");
        // A thread with a sink of its own keeps its lines.
        std::thread([&] {
            const ReaderMessageScope own(&other);
            deliverReaderMessage("own\n");
        }).join();
        // The thread's scope ended first; other threads reach the newest live sink.
        std::thread([] { deliverReaderMessage("shared\n"); }).join();
    }
    deliverReaderMessage("outer\n");
    std::thread([] { deliverReaderMessage("shared again\n"); }).join();
    EXPECT_EQ(inner.lines, (std::vector<std::string>{"inner\n", "shared\n"}));
    EXPECT_EQ(other.lines, (std::vector<std::string>{"own\n"}));
    EXPECT_EQ(outer.lines, (std::vector<std::string>{"outer\n", "shared again\n"}));
}

} // namespace
