// A slide-access component for tests: it serves one synthetic slide from a
// scan map held in memory and renders every tile from its column, row and
// level, so a test can tell which tile of which level it received.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/slide_access.h"

namespace miraxtest {

// The bytes the fake renders for pixel (px, py) of component tile
// (column, row) of a level, in the order B, G, R.
struct Bgr {
    uint8_t b, g, r;
};
Bgr tilePixel(int32_t column, int32_t row, int32_t level, int32_t px, int32_t py);

// The arguments of one readTileRegion call.
struct RegionCall {
    int32_t firstColumn, firstRow, lastColumn, lastRow, level, mode, quality, flags;
};

// What a rendered tile looks like; the default is a full 256 x 256 tile.
struct TileShape {
    int32_t width = 256;
    int32_t height = 256;
    int32_t extraStride = 0;  // padding bytes after each row
    int32_t pixelFormat = vq::platform::kSlidePixelFormatBGR24;
    bool nullData = false;
};

class FakeSlideComponent : public vq::platform::SlideAccessFactory {
public:
    FakeSlideComponent();
    ~FakeSlideComponent() override;

    // A scan map of width x height cells, all zero.
    void setMap(int32_t width, int32_t height);
    // Marks the cells from (c0, r0) to (c1, r1), inclusive.
    void scan(int32_t c0, int32_t r0, int32_t c1, int32_t r1);

    // Statuses the fake answers with (negative: failure).
    int32_t createSlideStatus = 0;
    int32_t createImageStatus = 0;
    int32_t loadStatus = 0;
    // Statuses of the first loads, in order; loadStatus after them.
    std::vector<int32_t> loadStatuses;
    int32_t mapStatus = 0;
    int32_t renderStatus = 0;
    // Properties the slide answers; a missing id fails the query.
    std::map<int32_t, vq::platform::SlidePropertyValue> properties;
    // The shape of each rendered tile.
    std::function<TileShape(const RegionCall&)> shape = [](const RegionCall&) { return TileShape{}; };

    // The pixels of every rendered tile; tilePixel unless a test paints its own.
    std::function<Bgr(int32_t column, int32_t row, int32_t level, int32_t px, int32_t py)> pixel = tilePixel;

    // What the reader asked.
    std::vector<std::string> loadedPaths;
    std::vector<RegionCall> regionCalls;
    int32_t unbalancedLocks = 0;  // locks minus matching unlocks over all images

    int32_t createSlide(std::shared_ptr<vq::platform::SlideObject>* out) override;
    int32_t createImage(std::unique_ptr<vq::platform::SlideImage>* out) override;

    int32_t mapWidth = 0;
    int32_t mapHeight = 0;
    std::vector<uint8_t> map;
};

// Installs a component for the scope and puts back the one before.
class InstalledComponent {
public:
    explicit InstalledComponent(vq::platform::SlideAccessFactory* f)
        : previous_(vq::platform::setSlideAccessFactory(f)) {}
    ~InstalledComponent() { vq::platform::setSlideAccessFactory(previous_); }
    InstalledComponent(const InstalledComponent&) = delete;
    InstalledComponent& operator=(const InstalledComponent&) = delete;

private:
    vq::platform::SlideAccessFactory* previous_;
};

} // namespace miraxtest
