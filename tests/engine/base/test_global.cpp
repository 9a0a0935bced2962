#include <gtest/gtest.h>

#include "engine/base/vq_global.h"
#include "platform/threads.h"

namespace {

vq_ptr<vq_global_base> global() {
    vq_ptr<vq_global_base> g;
    getGlobal(g.put());
    return g;
}

TEST(Global, StandaloneDefaults) {
    // A fresh object, so the defaults are not disturbed by other tests.
    vq_ptr<vq_global> g = vq_ptr<vq_global>::adopt(vq_global::create());
    EXPECT_EQ(g->refCount(), 1);
    EXPECT_EQ(g->getQuality(), 50);
    EXPECT_EQ(g->getMaxQuality(), 80);
    EXPECT_EQ(g->getSubsampling(), 4);
    EXPECT_TRUE(g->getSourceSubsampling());
    EXPECT_EQ(g->getOutputColourSpace(), 3);
    EXPECT_EQ(g->getPreferredTileSize(), 256);
    EXPECT_EQ(g->getInterpolation(), 2);
    EXPECT_EQ(g->getMaxThreads(), 2);
    EXPECT_EQ(g->getLoaderThreadCount(), 0);
    EXPECT_EQ(g->getEncoderThreadCount(), 0);
    EXPECT_FALSE(g->isMultiThreaded());
    EXPECT_EQ(g->getJ2KDecoder(), 0);
    EXPECT_FALSE(g->getJ2KFullChroma());
}

TEST(Global, EncoderThreadCountIsCappedAtTwelve) {
    struct Case { int32_t in, stored; };
    vq_ptr<vq_global> g = vq_ptr<vq_global>::adopt(vq_global::create());
    for (Case c : {Case{13, 12}, Case{12, 12}, Case{-1, -1}, Case{1000, 12}, Case{3, 3}}) {
        g->setEncoderThreadCount(c.in);
        EXPECT_EQ(g->getEncoderThreadCount(), c.stored) << "input " << c.in;
    }
}

TEST(Global, J2KDecoderChoice) {
    struct Case { int32_t in; int32_t stored; const char* message; };
    vq_ptr<vq_global> g = vq_ptr<vq_global>::adopt(vq_global::create());
    for (Case c : {Case{2, 2, ""}, Case{1, 2, "JASPER JPEG2000 decoder not available\n"},
                   Case{5, 2, "Unsupported J2K decoder\n"}, Case{-1, 2, "Unsupported J2K decoder\n"},
                   Case{0, 0, ""}}) {
        testing::internal::CaptureStderr();
        g->setJ2KDecoder(c.in);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << "input " << c.in;
        EXPECT_EQ(g->getJ2KDecoder(), c.stored) << "input " << c.in;
    }
}

TEST(Global, SharedInstanceOutlivesItsCallers) {
    getGlobal(nullptr);  // nothing to store into: no effect, no crash
    vq_global_base* first;
    {
        vq_ptr<vq_global_base> a = global();
        vq_ptr<vq_global_base> b = global();
        ASSERT_FALSE(a == nullptr);
        EXPECT_EQ(a.get(), b.get());
        first = a.get();
        int32_t held = a->refCount();
        b.reset();
        EXPECT_EQ(first->refCount(), held - 1);
        a->setQuality(77);
    }
    // Both callers released: the process still holds it, settings intact.
    EXPECT_EQ(first->refCount(), 1);
    vq_ptr<vq_global_base> c = global();
    EXPECT_EQ(c.get(), first);
    EXPECT_EQ(c->getQuality(), 77);
}

TEST(Global, ProcessorCountAsksTheSystem) {
    vq_ptr<vq_global_base> g = global();
    vq::platform::setProcessorCountOverride(1);
    EXPECT_EQ(g->getProcessorCount(), 1);
    vq::platform::setProcessorCountOverride(6);
    EXPECT_EQ(g->getProcessorCount(), 6);
    vq::platform::setProcessorCountOverride(0);
    EXPECT_GE(g->getProcessorCount(), 1);
}

} // namespace
