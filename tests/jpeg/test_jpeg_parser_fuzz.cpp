// Random mutations of valid JPEG streams through every walk of the marker
// parser. Built with the address sanitizer, any read or write outside the
// stream fails the run. VQ_FUZZ_SECONDS sets the duration (default 40 s),
// VQ_FUZZ_SEED the starting seed.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "engine/base/raw_tile.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "jpeg/jpeg_stream_parser.h"

using namespace jpegtest;

namespace {

std::vector<uint8_t> mutate(const std::vector<uint8_t>& seed, std::mt19937& rng) {
    std::vector<uint8_t> s = seed;
    auto pick = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        switch (rng() % 8) {
        case 0: s[pick(s.size())] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
        case 1: s[pick(s.size())] = static_cast<uint8_t>(rng()); break;
        case 2: s.resize(pick(s.size() + 1)); break;  // truncation
        case 3: {  // a length field or count set to an extreme
            size_t at = pick(s.size());
            static const uint8_t extremes[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFE, 0xFF};
            s[at] = extremes[rng() % sizeof(extremes)];
            break;
        }
        case 4: s.insert(s.begin() + static_cast<long>(pick(s.size())), 0xFF); break;
        case 5: {  // delete a range
            size_t at = pick(s.size()), n = 1 + pick(std::min<size_t>(64, s.size() - at));
            s.erase(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(std::min(s.size(), at + n)));
            break;
        }
        case 6: {  // duplicate a range elsewhere
            size_t from = pick(s.size()), n = 1 + pick(std::min<size_t>(128, s.size() - from));
            std::vector<uint8_t> chunk(s.begin() + static_cast<long>(from),
                                       s.begin() + static_cast<long>(std::min(s.size(), from + n)));
            s.insert(s.begin() + static_cast<long>(pick(s.size())), chunk.begin(), chunk.end());
            break;
        }
        default: {  // a random marker code after an FF
            size_t at = pick(s.size());
            s[at] = 0xFF;
            if (at + 1 < s.size()) s[at + 1] = static_cast<uint8_t>(0xC0 + rng() % 0x40);
            break;
        }
        }
    }
    return s;
}

// Every operation on one mutated stream; the copies are exactly as long as
// the data so the sanitizer sees any overrun.
void exercise(const std::vector<uint8_t>& input, const std::vector<uint8_t>& reference) {
    std::vector<uint8_t> data = input;
    JpegStreamParser p;
    p.source = data.empty() ? nullptr : data.data();
    p.sourceLength = static_cast<uint32_t>(data.size());
    p.parse(false);
    if (p.parsed && p.buildTablesStream()) {
        ASSERT_GE(p.tablesStream().size(), 4u);
        EXPECT_LE(p.tablesStream().size(), data.size() + 4);
    }
    p.sameTablesAs(reference.data(), static_cast<uint32_t>(reference.size()));
    for (int i = 0; i < 6; ++i) {
        std::vector<uint16_t> q = p.getQuantTable(i);
        EXPECT_TRUE(q.empty() || q.size() == 64);
    }
    p.fixComponentIds();
    JpegStreamParser light;
    light.readFrameHeader(data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_GE(light.componentCount, 0);
    EXPECT_LE(light.componentCount, 4);

    if (data.empty()) return;
    vq_ptr<vq_raw_tile> src, dst;
    ASSERT_TRUE(createRawTile(src.put()));
    ASSERT_TRUE(createRawTile(dst.put()));
    ASSERT_TRUE(src->allocate(static_cast<int32_t>(data.size()), IntPair(1, 1)));
    ASSERT_TRUE(dst->allocate(static_cast<int32_t>(data.size()), IntPair(1, 1)));
    std::memcpy(src->getData(), data.data(), data.size());
    if (stripJpegTables(src.get(), dst.get())) {
        EXPECT_LE(dst->getDataLength(), src->getDataLength());
    }
}

} // namespace

TEST(JpegStreamParserFuzz, MutatedStreamsStayInBounds) {
    std::vector<std::vector<uint8_t>> seeds;
    for (const char* options : {"-sample 2x2", "-sample 1x1 -restart 1", "-optimize", "-progressive", "-rgb",
                                "-quality 1", "-sample 4x1"}) {
        std::string s = cjpeg(options, 40, 24);
        seeds.emplace_back(s.begin(), s.end());
    }
    std::string grey = cjpeg("", 24, 16, true);
    seeds.emplace_back(grey.begin(), grey.end());
    {
        JpegStreamParser p;
        p.source = seeds[0].data();
        p.sourceLength = static_cast<uint32_t>(seeds[0].size());
        p.parse(false);
        ASSERT_TRUE(p.buildTablesStream());
        seeds.push_back(p.tablesStream());
    }
    for (const auto& s : seeds) ASSERT_GT(s.size(), 100u);

    const char* secondsText = std::getenv("VQ_FUZZ_SECONDS");
    const char* seedText = std::getenv("VQ_FUZZ_SEED");
    const double seconds = secondsText ? std::atof(secondsText) : 40.0;
    std::mt19937 rng(seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 20261211u);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long runs = 0;
    while (std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 200; ++i, ++runs) {
            const auto& seed = seeds[rng() % seeds.size()];
            std::vector<uint8_t> m = mutate(seed, rng);
            // Mutate a mutation now and then to move further from valid streams.
            if (rng() % 4 == 0) m = mutate(m, rng);
            exercise(m, seeds[rng() % seeds.size()]);
            if (HasFailure()) {
                ADD_FAILURE() << "after " << runs << " inputs";
                return;
            }
        }
    }
    std::printf("%ld mutated streams\n", runs);
    EXPECT_GT(runs, 0);
}
