#include "tests/outputs/slide/slide_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/base/stream.h"
#include "outputs/slide/jpeg_tile_encoder.h"

namespace slidetest {

EncoderThreads::EncoderThreads(bool multi, int count) {
    getGlobal(global_.put());
    multi_ = global_->isMultiThreaded();
    count_ = global_->getEncoderThreadCount();
    global_->setMultiThreaded(multi);
    global_->setEncoderThreadCount(count);
}

EncoderThreads::~EncoderThreads() {
    global_->setMultiThreaded(multi_);
    global_->setEncoderThreadCount(count_);
}

Bytes jpegOf(imageContainer* tile, int quality, int subsampling) {
    vq_jpeg_tileEncoder* e = nullptr;
    EXPECT_TRUE(createJpegTileEncoder(&e));
    auto enc = vq_ptr<vq_jpeg_tileEncoder>::adopt(e);
    enc->setQuality(quality);
    enc->setSubsampling(subsampling);
    vq_stream* s = nullptr;
    EXPECT_EQ(createMemoryWriteStream(0, &s), 0);
    auto stream = vq_ptr<vq_stream>::adopt(s);
    EXPECT_TRUE(enc->encodeTile(tile, stream.get()));
    auto* m = static_cast<vq_memoryWriteStream*>(stream.get());
    return Bytes(m->getData(), m->getData() + m->getSize());
}

vq_ptr<vq_raw_tile> raw(const Bytes& b, IntPair size, int compression) {
    auto t = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    EXPECT_TRUE(t->allocate(static_cast<int32_t>(b.size()), size));
    std::copy(b.begin(), b.end(), t->getData());
    t->setDataLength(static_cast<int32_t>(b.size()));
    t->setCompression(compression);
    return t;
}

} // namespace slidetest
