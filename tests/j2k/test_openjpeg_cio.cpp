// Memory and stream byte input of the OpenJPEG adapter: the opener's
// contract, decodes compared with OpenJPEG's own command line decoder, and
// library messages reaching the log.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/base/stream.h"
#include "j2k/openjpeg/opj_cio.h"
#include "openjpeg_fixture.h"
#include "support/test_env.h"

namespace {

using opjtest::Pnm;

// Samples of a decoded image, interleaved like a PNM; false unless every
// component has the image's full size.
bool interleave(const opj_image_t* image, Pnm* out) {
    out->width = static_cast<int>(image->comps[0].w);
    out->height = static_cast<int>(image->comps[0].h);
    out->channels = static_cast<int>(image->numcomps);
    out->samples.resize(static_cast<size_t>(out->width) * out->height * out->channels);
    for (int c = 0; c < out->channels; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (static_cast<int>(comp.w) != out->width || static_cast<int>(comp.h) != out->height) return false;
        for (size_t i = 0; i < static_cast<size_t>(out->width) * out->height; ++i)
            out->samples[i * out->channels + c] = static_cast<uint8_t>(comp.data[i]);
    }
    return true;
}

struct Coded {
    std::string dir, j2k;
    std::string bytes;
};

// A code-stream made by OpenJPEG's command line encoder from a pattern.
Coded encodeWithTool(const std::string& name, int width, int height, int channels, const std::string& options) {
    Coded coded;
    coded.dir = vqtest::scratchDir(name);
    std::string pnm = coded.dir + (channels == 1 ? "/in.pgm" : "/in.ppm");
    EXPECT_TRUE(opjtest::writePnm(pnm, opjtest::makePattern(width, height, channels, 3)));
    coded.j2k = coded.dir + "/in.j2k";
    std::string tool = vqtest::requireTool("opj_compress");
    EXPECT_EQ(0, vqtest::runCommand(tool + " -i " + pnm + " -o " + coded.j2k + " " + options + " >/dev/null"));
    coded.bytes = vqtest::readFile(coded.j2k);
    return coded;
}

// The oracle: OpenJPEG's command line decoder at reduction r.
Pnm decodeWithTool(const Coded& coded, int channels, int reduce) {
    std::string out = coded.dir + (channels == 1 ? "/out.pgm" : "/out.ppm");
    std::string tool = vqtest::requireTool("opj_decompress");
    EXPECT_EQ(0, vqtest::runCommand(tool + " -i " + coded.j2k + " -o " + out + " -r " + std::to_string(reduce) +
                                    " >/dev/null"));
    Pnm image;
    EXPECT_TRUE(opjtest::readPnm(out, &image));
    return image;
}

TEST(OpjCioOpen, OpensReadOrWriteOnlyForConsistentArguments) {
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    ASSERT_NE(codec, nullptr);
    const uint8_t bytes[4] = {1, 2, 3, 4};
    struct Case {
        opj_codec_t* codec;
        const uint8_t* buffer;
        int64_t length;
        vq_opj_cio::Mode mode;  // kNone: the opener refuses
    } cases[] = {
        {codec, bytes, 4, vq_opj_cio::kRead},     {nullptr, bytes, 4, vq_opj_cio::kRead},
        {codec, nullptr, 0, vq_opj_cio::kWrite},  {nullptr, nullptr, 0, vq_opj_cio::kNone},
        {codec, bytes, 0, vq_opj_cio::kNone},     {codec, nullptr, 4, vq_opj_cio::kNone},
        {codec, bytes, -1, vq_opj_cio::kNone},
    };
    for (const Case& c : cases) {
        vq_opj_cio* cio = vq_opj_cio_open(c.codec, c.buffer, c.length);
        if (c.mode == vq_opj_cio::kNone) {
            EXPECT_EQ(cio, nullptr) << "length " << c.length;
        } else {
            ASSERT_NE(cio, nullptr) << "length " << c.length;
            EXPECT_EQ(cio->mode(), c.mode);
            EXPECT_NE(cio->stream(), nullptr);
        }
        vq_opj_cio_close(cio);
    }
    vq_opj_cio_close(nullptr);
    opj_destroy_codec(codec);
}

TEST(OpjCioMemory, ReadSkipSeekStayInsideTheData) {
    const uint8_t bytes[6] = {10, 11, 12, 13, 14, 15};
    vq_opj_cio* cio = vq_opj_cio_open(nullptr, bytes, 6);
    ASSERT_NE(cio, nullptr);
    uint8_t got[8] = {};
    EXPECT_EQ(cio->read(got, 2), 2u);
    EXPECT_EQ(got[1], 11);
    EXPECT_EQ(cio->skip(3), 3);  // relative
    EXPECT_EQ(cio->tell(), 5);
    EXPECT_EQ(cio->numbytesleft(), 1);
    EXPECT_EQ(cio->skip(10), 1);  // stops at the end
    EXPECT_EQ(cio->skip(1), -1);  // nothing left to pass over
    EXPECT_EQ(cio->read(got, 4), 0u);
    EXPECT_TRUE(cio->seek(1));  // absolute
    EXPECT_EQ(cio->read(got, 8), 5u);
    EXPECT_EQ(got[0], 11);
    EXPECT_EQ(got[4], 15);
    EXPECT_FALSE(cio->seek(7));
    EXPECT_FALSE(cio->seek(-1));
    vq_opj_cio_close(cio);
}

TEST(OpjCioMemory, WriteBufferGrowsAndSeekBackPatches) {
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    vq_opj_cio* cio = vq_opj_cio_open(codec, nullptr, 0);
    ASSERT_NE(cio, nullptr);
    std::string big(200000, 'x');  // beyond the initial room
    EXPECT_EQ(cio->write(big.data(), big.size()), big.size());
    EXPECT_TRUE(cio->seek(2));
    EXPECT_EQ(cio->write("ab", 2), 2u);
    EXPECT_EQ(cio->written(), big.size());
    EXPECT_EQ(cio->skip(10), 10);
    EXPECT_EQ(cio->tell(), 14);
    EXPECT_EQ(std::memcmp(cio->data(), "xxab", 4), 0);
    EXPECT_EQ(cio->data()[big.size() - 1], 'x');
    vq_opj_cio_close(cio);
    opj_destroy_codec(codec);
}

TEST(OpjDecode, MemoryDecodeEqualsCommandLineDecoder) {
    struct Case {
        const char* name;
        int width, height, channels;
        const char* options;
        int reduce;
    } cases[] = {
        {"opj_gray_97", 67, 45, 1, "-I", 0},
        {"opj_rgb_53", 64, 64, 3, "", 0},
        {"opj_rgb_97_r1", 80, 52, 3, "-I -r 20", 1},
        {"opj_rgb_tiles", 100, 70, 3, "-t 32,32", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Coded coded = encodeWithTool(c.name, c.width, c.height, c.channels, c.options);
        ASSERT_FALSE(coded.bytes.empty());
        Pnm expected = decodeWithTool(coded, c.channels, c.reduce);
        opj_image_t* image = vq_opj_decode_j2k(reinterpret_cast<const uint8_t*>(coded.bytes.data()),
                                               static_cast<int64_t>(coded.bytes.size()), c.reduce);
        ASSERT_NE(image, nullptr);
        Pnm got;
        EXPECT_TRUE(interleave(image, &got));
        opj_image_destroy(image);
        EXPECT_EQ(got.width, expected.width);
        EXPECT_EQ(got.height, expected.height);
        EXPECT_EQ(got.width, (c.width + (1 << c.reduce) - 1) >> c.reduce);
        EXPECT_TRUE(got.samples == expected.samples);
    }
}

TEST(OpjDecode, StreamCioDecodesLikeTheMemoryCio) {
    Coded coded = encodeWithTool("opj_stream_cio", 48, 40, 3, "-I");
    Pnm expected = decodeWithTool(coded, 3, 0);

    vq_stream* source = nullptr;
    ASSERT_EQ(0, openMemoryStream(coded.bytes.data(), coded.bytes.size(), &source));
    source->seek(5, vq_seekStart);  // the cio rewinds it
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
    vq_opj_install_handlers(codec);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    ASSERT_TRUE(opj_setup_decoder(codec, &parameters));
    auto* cio = new vq_opj_stream_cio(source, false);
    source->release();  // the cio holds its own reference
    EXPECT_EQ(cio->numbytesleft(), static_cast<int64_t>(coded.bytes.size()));
    opj_image_t* image = nullptr;
    ASSERT_TRUE(opj_read_header(cio->stream(), codec, &image));
    ASSERT_TRUE(opj_decode(codec, cio->stream(), image));
    ASSERT_TRUE(opj_end_decompress(codec, cio->stream()));
    Pnm got;
    EXPECT_TRUE(interleave(image, &got));
    EXPECT_TRUE(got.samples == expected.samples);
    opj_image_destroy(image);
    vq_opj_cio_close(cio);
    opj_destroy_codec(codec);
}

TEST(OpjDecode, FailuresReturnNullAndReachTheLog) {
    Coded coded = encodeWithTool("opj_truncated", 64, 64, 3, "");
    opjtest::RecordingSink sink;
    ReaderMessageScope scope(&sink);
    const auto* data = reinterpret_cast<const uint8_t*>(coded.bytes.data());
    // Only the main header's start: the library cannot read the image size.
    EXPECT_EQ(vq_opj_decode_j2k(data, 20, 0), nullptr);
    EXPECT_TRUE(sink.contains("OpenJPEG error: ")) << sink.lines().size();
    const uint8_t junk[16] = {0x12, 0x34};
    EXPECT_EQ(vq_opj_decode_j2k(junk, sizeof junk, 0), nullptr);
    EXPECT_EQ(vq_opj_decode_j2k(nullptr, 100, 0), nullptr);
    EXPECT_EQ(vq_opj_decode_j2k(data, 0, 0), nullptr);
    // A reduction the code-stream's 6 resolutions cannot give.
    EXPECT_EQ(vq_opj_decode_j2k(data, static_cast<int64_t>(coded.bytes.size()), 9), nullptr);
}

}  // namespace
