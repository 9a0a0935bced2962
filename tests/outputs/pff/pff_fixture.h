// Small PFF files for the writer and reader tests: a pyramid declared level
// by level, tiles filled with a pattern that the independent checker
// (check_pff.py) recomputes from the tile's index, written in any order.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "engine/base/vq_global.h"
#include "outputs/pff/pff_saver.h"
#include "tests/support/test_env.h"

namespace pfftest {

// Encoder worker settings for one test, restored afterwards.
class Workers {
public:
    explicit Workers(int count) {
        getGlobal(global_.put());
        multi_ = global_->isMultiThreaded();
        count_ = global_->getEncoderThreadCount();
        global_->setMultiThreaded(count > 0);
        global_->setEncoderThreadCount(count);
    }
    ~Workers() {
        global_->setMultiThreaded(multi_);
        global_->setEncoderThreadCount(count_);
    }

private:
    vq_ptr<vq_global_base> global_;
    bool multi_ = true;
    int count_ = 0;
};

// The same pattern as check_pff.py's: a colour per tile index with gentle
// ramps across and down, so a tile in the wrong place or mirrored shows.
inline void patternPixel(int index, int px, int py, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>(40 + (index * 37) % 150 + px / 16);
    rgb[1] = static_cast<uint8_t>(60 + (index * 71) % 120 + py / 16);
    rgb[2] = static_cast<uint8_t>(100 + (px / 32 + py / 32) * 4);
}

inline vq_ptr<imageContainer> patternTile(int index, int w, int h) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(c->create(vq_fmtRGB24, w, h, false));
    uint8_t* p = nullptr;
    int32_t step = 0;
    c->lockPixels(&p, &step);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) patternPixel(index, x, y, p + y * step + 3 * x);
    c->unlockPixels();
    return c;
}

struct Tile {
    int x, y, level, index, w, h;
};

// The pyramid of a W x H image at tile size T, as the pyramid driver
// declares it: level numbers from n at the base down to 0.
struct Pyramid {
    int tileSize;
    std::vector<IntPair> sizes;
    std::vector<Tile> tiles;

    Pyramid(int w, int h, int t) : tileSize(t) {
        for (;;) {
            sizes.emplace_back(w, h);
            if (w <= t && h <= t) break;
            w /= 2;
            h /= 2;
        }
        const int n = static_cast<int>(sizes.size()) - 1;
        int index = 0;
        for (int k = 0; k <= n; ++k) {
            const int across = (sizes[k].first + t - 1) / t, down = (sizes[k].second + t - 1) / t;
            for (int y = 0; y < down; ++y)
                for (int x = 0; x < across; ++x) {
                    const int tw = x == across - 1 ? sizes[k].first - x * t : t;
                    const int th = y == down - 1 ? sizes[k].second - y * t : t;
                    tiles.push_back({x, y, n - k, index++, tw, th});
                }
        }
    }
    int levelNumber(size_t k) const { return static_cast<int>(sizes.size() - 1 - k); }

    void declare(vq_svs_saver_base& saver, const std::vector<int>& qualities, int colourSpace = 3,
                 int subsampling = 4) const {
        saver.setTileSize(tileSize);
        saver.setSubsampling(subsampling);
        saver.setColourSpace(colourSpace);
        saver.setBaseLevel(sizes[0], levelNumber(0), qualities[0], nullptr);
        for (size_t k = 1; k < sizes.size(); ++k)
            saver.addLevel(levelNumber(k), sizes[k], qualities[std::min(k, qualities.size() - 1)], nullptr);
    }
    bool add(vq_svs_saver_base& saver, const Tile& t) const {
        return saver.addTile(t.x, t.y, t.level, patternTile(t.index, t.w, t.h).get());
    }
};

// A saver on a file of the test's scratch folder.
struct SaverFile {
    std::string path;
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_pff_saver> saver;
    SaverFile(const std::string& dir, const std::string& name) : path(dir + "/" + name) {
        EXPECT_EQ(openWriteStream(path.c_str(), stream.put()), 0);
        vq_svs_saver_base* s = nullptr;
        EXPECT_TRUE(createPffSaver(stream.get(), &s));
        saver = vq_ptr<vq_pff_saver>::adopt(static_cast<vq_pff_saver*>(s));
    }
    // Lets go of the saver and the stream, which closes the file.
    void close() {
        saver.reset();
        stream.reset();
    }
};

// Runs the independent checker; its report, or the failure in the test.
inline std::string check(const std::string& path, const std::string& options = "") {
    std::string out;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_PFF_CHECK "' '" + path + "' " + options + " 2>&1", &out);
    EXPECT_EQ(rc, 0) << out;
    return out;
}

} // namespace pfftest
