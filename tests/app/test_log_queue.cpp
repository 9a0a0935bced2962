#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <thread>
#include <vector>

#include "app/ImagePreview.h"
#include "app/JUCEKestrifier.h"
#include "app/LogQueue.h"

namespace {

void emptyQueue() {
    juce::String line;
    while (popLogLine(line)) {
    }
}

void reportTiff(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    tiffMessageHandler(module, format, args);
    va_end(args);
}

} // namespace

TEST(LogQueue, KeepsLinesUpToTheThresholdFirstInFirstOut) {
    emptyQueue();
    logThreshold = 1;
    pushLogLine(0, "zero\n");
    pushLogLine(2, "dropped\n");
    pushLogLine(1, "one\n");

    juce::String line = "untouched";
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line, "zero\n");
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line, "one\n");
    EXPECT_FALSE(popLogLine(line));
    EXPECT_EQ(line, "one\n");
}

TEST(LogQueue, ConcurrentProducersLoseNothing) {
    emptyQueue();
    logThreshold = 1;
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([] {
            for (int i = 0; i < 500; ++i) pushLogLine(1, "line");
        });
    for (auto& p : producers) p.join();
    int count = 0;
    juce::String line;
    while (popLogLine(line)) ++count;
    EXPECT_EQ(count, 2000);
}

TEST(LogQueue, TiffMessagesBecomeLevelZeroLinesWithoutTheModule) {
    emptyQueue();
    logThreshold = 0;
    reportTiff("TIFFReadDirectory", "Bad value %d for \"%s\" tag", 7, "Orientation");
    juce::String line;
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line, "TIFF:Bad value 7 for \"Orientation\" tag\n");

    // A message longer than the usual 512-byte line is carried whole.
    const std::string longText(2000, 'x');
    reportTiff("m", "%s|end", longText.c_str());
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line.length(), 5 + 2000 + 4 + 1);
    EXPECT_TRUE(line.endsWith("x|end\n"));
}

TEST(LogQueue, NonUtf8BytesAreKeptOnePerCharacter) {
    emptyQueue();
    pushLogLine(0, "caf\xe9\n");
    juce::String line;
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line, juce::String(juce::CharPointer_UTF8("caf\xc3\xa9\n")));
}

TEST(PreviewLogSink, ThresholdProgressAndVerifySteps) {
    emptyQueue();
    logThreshold = 0;
    {
        ImagePreview preview;
        EXPECT_EQ(logThreshold.load(), 1);
        vq_logoutput_base& sink = preview;

        // A tile-folder job shows what setProgress gave; steps change nothing.
        sink.setProgress(42);
        sink.stepProgress(1, 0);
        EXPECT_EQ(sink.getProgress(), 42);

        // A verify job counts verified tiles against the level grids.
        preview.setOutputType(6);
        preview.setVerifyTileTotal({{2, 1}, {1, 1}, {1, 1}});
        const int expected[] = {25, 50, 75, 100};
        for (int step : expected) {
            sink.stepProgress(0, 0);
            sink.setProgress(3);
            EXPECT_EQ(sink.getProgress(), step);
        }

        // Without a total the percentage stays as it was.
        preview.setVerifyTileTotal({});
        sink.stepProgress(0, 0);
        EXPECT_EQ(sink.getProgress(), 100);

        sink.setLogLevel(2);
        sink.log(2, "detail\n");
        juce::String line;
        ASSERT_TRUE(popLogLine(line));
        EXPECT_EQ(line, "detail\n");
        sink.log(1, "left behind\n");
    }
    // Destroying the sink empties the queue.
    juce::String line;
    EXPECT_FALSE(popLogLine(line));
}

TEST(PreviewLogSink, EngineReleasesNeverDeleteThePreview) {
    ImagePreview preview;
    {
        vq_ptr<vq_logoutput_base> held(&preview);
        EXPECT_EQ(preview.refCount(), 2);
    }
    EXPECT_EQ(preview.refCount(), 1);
}
