#include "readers/mirax/mirax_reader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/base/imageContainer.h"
#include "engine/base/reader_messages.h"

namespace sa = vq::platform;

namespace {

// The component's path buffer holds 512 wide characters, the last for the
// terminating zero.
constexpr size_t kPathCapacity = 512;

std::atomic<int32_t> lastCreateStatus{0};
std::atomic<int32_t> lastLoadStatus{0};

// Width of a UTF-8 text in 16-bit wide characters.
size_t wideLength(const std::string& text) {
    size_t n = 0;
    for (const unsigned char c : text) {
        if ((c & 0xC0) == 0x80) continue;  // continuation byte
        n += c >= 0xF0 ? 2 : 1;            // four-byte sequences need a surrogate pair
    }
    return n;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

// Releases a locked image buffer when the scope ends.
class ImageDataLock {
public:
    explicit ImageDataLock(sa::SlideImage& image) : image_(image) { image_.lockImageData(&data_); }
    ~ImageDataLock() { image_.unlockImageData(data_); }
    ImageDataLock(const ImageDataLock&) = delete;
    ImageDataLock& operator=(const ImageDataLock&) = delete;
    const uint8_t* data() const { return data_; }

private:
    sa::SlideImage& image_;
    const uint8_t* data_ = nullptr;
};

// The path as the component takes it: the slide's name without ".mrxs" (any
// letter case) and "\" between names. Empty when it does not fit the
// component's path buffer.
std::string miraxComponentPath(const std::string& path) {
    if (wideLength(path) >= kPathCapacity) return {};
    std::string p = path;
    const auto dot = p.find_last_of('.');
    if (dot != std::string::npos && equalsIgnoringCase(p.substr(dot), ".mrxs")) p.resize(dot);
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

} // namespace

vq_MiraxTileLoader::vq_MiraxTileLoader(std::shared_ptr<sa::SlideObject> s) : slide(std::move(s)) {}

IntPair vq_MiraxTileLoader::getLevelTileCounts(int level, int) {
    if (level < 0 || level >= getLevelCount()) return IntPair(0, 0);
    return levelTileCounts[level];
}

IntPair vq_MiraxTileLoader::getLevelSize(int level, int) {
    if (level < 0 || level >= getLevelCount()) return IntPair(0, 0);
    return levelSizes[level];
}

bool vq_MiraxTileLoader::isValidTile(int x, int y, int level, int image) {
    if (level < 0 || level >= getLevelCount() || x < 0 || y < 0 || image > 0) return false;
    return x < levelTileCounts[level].first && y < levelTileCounts[level].second;
}

bool vq_MiraxTileLoader::readSlideLayout() {
    if (slide == nullptr) return false;
    // Both properties must answer as integers; the sizes come from the map.
    for (const int32_t id : {306, 307}) {
        sa::SlidePropertyValue value;
        int32_t converted = 0;
        if (slide->getSlideProperty(id, &value) < 0 || sa::slidePropertyToInt32(value, &converted) < 0) return false;
    }

    std::unique_ptr<sa::SlideImage> map;
    if (sa::createSlideImage(&map) < 0 || map == nullptr) return false;
    if (slide->getTileMapImage(0, map.get()) < 0) return false;
    int32_t width = 0, height = 0, stride = 0;
    map->getImageWidth(&width);
    map->getImageHeight(&height);
    map->getImageStride(&stride);

    int32_t minCol = -1, maxCol = 0, minRow = -1, maxRow = 0;
    {
        const ImageDataLock lock(*map);
        // A map with cells but no pixels cannot be read.
        if (lock.data() == nullptr && width > 0 && height > 0) return false;
        for (int32_t r = 0; r < height && lock.data() != nullptr; ++r) {
            const uint8_t* row = lock.data() + static_cast<std::ptrdiff_t>(r) * stride;
            for (int32_t c = 0; c < width; ++c) {
                if (row[c] == 0) continue;
                if (minCol < 0 || c < minCol) minCol = c;
                if (c > maxCol) maxCol = c;
                if (minRow < 0 || r < minRow) minRow = r;
                if (r > maxRow) maxRow = r;
            }
        }
    }
    firstColumn = minCol;
    lastColumn = maxCol;
    firstRow = minRow;
    lastRow = maxRow;
    imageSize = IntPair((maxCol - minCol + 1) * kTileSide, (maxRow - minRow + 1) * kTileSide);

    // Level 0 is always offered, so a scan one tile wide or high still
    // converts; smaller levels while both tile counts exceed one.
    levelSizes.clear();
    levelNumbers.clear();
    levelTileCounts.clear();
    tileCount = 0;
    int32_t w = imageSize.first, h = imageSize.second;
    for (int32_t j = 0; j < kMaxLevels; ++j) {
        const IntPair counts((w + kTileSide - 1) / kTileSide, (h + kTileSide - 1) / kTileSide);
        if (j > 0 && (counts.first <= 1 || counts.second <= 1)) break;
        if (counts.first < 1 || counts.second < 1) break;
        levelNumbers.push_back(j);
        levelSizes.emplace_back(w, h);
        levelTileCounts.push_back(counts);
        tileCount += counts.first * counts.second;
        w /= 2;
        h /= 2;
    }
    return true;
}

bool vq_MiraxTileLoader::loadTile(int x, int y, int level, int image, imageContainer* dst, int format) {
    if (slide == nullptr || dst == nullptr || x < 0 || y < 0 || level < 0 || image > 0 || level >= getLevelCount())
        return false;
    std::unique_ptr<sa::SlideImage> rendered;
    if (sa::createSlideImage(&rendered) < 0 || rendered == nullptr) return false;
    // The scanned area's origin in tiles of this level, rounded down.
    const int32_t column = x + (firstColumn >> level);
    const int32_t row = y + (firstRow >> level);
    if (slide->readTileRegion(column, row, column, row, level, 2, 1, 0, rendered.get()) < 0) return false;

    int32_t code = 0, width = 0, height = 0, stride = 0;
    rendered->getImagePixelFormat(&code);
    if (code != sa::kSlidePixelFormatBGR24) return false;
    rendered->getImageWidth(&width);
    rendered->getImageHeight(&height);
    rendered->getImageStride(&stride);
    if (width <= 0 || height <= 0) return false;
    // A tile the component renders larger than a tile is cut to the tile.
    const int32_t w = std::min(width, kTileSide);
    const int32_t h = std::min(height, kTileSide);

    if (!dst->create(vq_fmtBGR24, kTileSide, kTileSide, false) || !dst->crop(w, h)) return false;
    uint8_t* out = nullptr;
    int32_t outStep = 0;
    dst->lockPixels(&out, &outStep);
    {
        const ImageDataLock lock(*rendered);
        if (lock.data() == nullptr || out == nullptr) {
            dst->unlockPixels();
            return false;
        }
        // Rows as the component delivers them, B, G, R per pixel; never more
        // than a container row or a rendered row holds.
        const int32_t rowBytes = std::min(std::abs(stride), outStep);
        for (int32_t r = 0; r < h; ++r)
            std::memcpy(out + static_cast<std::ptrdiff_t>(r) * outStep,
                        lock.data() + static_cast<std::ptrdiff_t>(r) * stride, static_cast<size_t>(rowBytes));
    }
    dst->unlockPixels();
    dst->convertTo(format);
    return true;
}

vq_MiraxTileLoader* openMiraxSlide(const char* path) {
    if (path == nullptr) return nullptr;
    std::shared_ptr<sa::SlideObject> slide;
    const int32_t created = sa::createSlideObject(&slide);
    if (created < 0 || slide == nullptr) {
        lastCreateStatus = created < 0 ? created : sa::kSlideFailed;
        if (created == sa::kSlideNoComponent)
            reportReaderMessage("No slide-access component is available: Mirax slides cannot be opened here.\n");
        return nullptr;
    }
    const std::string componentPath = miraxComponentPath(path);
    if (componentPath.empty()) return nullptr;
    const int32_t loaded = slide->loadSlide(componentPath);
    if (loaded < 0) {
        lastLoadStatus = loaded;
        return nullptr;
    }
    auto* loader = new vq_MiraxTileLoader(std::move(slide));
    loader->addRef();
    if (!loader->readSlideLayout()) {
        loader->release();
        return nullptr;
    }
    return loader;
}

bool createMiraxTileLoader(const char* path, vq_tileloader_base** out) {
    if (path == nullptr || out == nullptr) return false;
    vq_MiraxTileLoader* loader = openMiraxSlide(path);
    if (loader == nullptr) return false;
    *out = loader;
    return true;
}

MiraxOpenFailure lastMiraxOpenFailure() { return {lastCreateStatus.load(), lastLoadStatus.load()}; }

std::string describeMiraxOpenFailure(const MiraxOpenFailure& failure) {
    std::string text;
    char line[64];
    if (failure.createStatus < 0) {
        std::snprintf(line, sizeof line, "CoCreateInstance failed with 0x%x", static_cast<unsigned>(failure.createStatus));
        text += line;
    }
    if (failure.loadStatus < 0) {
        std::snprintf(line, sizeof line, "Load failed with 0x%x", static_cast<unsigned>(failure.loadStatus));
        text += line;
    }
    return text;
}

bool isSlideComponentAvailable() {
    std::shared_ptr<sa::SlideObject> slide;
    return sa::createSlideObject(&slide) >= 0 && slide != nullptr;
}
