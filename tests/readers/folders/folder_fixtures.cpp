#include "tests/readers/folders/folder_fixtures.h"

#include <cstdlib>

#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_saver.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "support/pattern_image.h"
#include "support/test_env.h"
#include "engine/base/loader_base.h"

namespace foldertest {

vq_ptr<imageContainer> makeImage(int32_t format, int32_t width, int32_t height, const PixelFn& fn)
{
    return vqtest::makePatternImage(format, width, height, fn);
}

bool writeJpeg(const std::string& path, imageContainer* image, int32_t quality)
{
    vq_ptr<vq_stream> file;
    vq_ptr<vq_saver_base> saver;
    if (openWriteStream(path.c_str(), file.put()) != 0 || !createJPEGSaver(file.get(), saver.put()))
        return false;
    saver->setColourSpace(image->getFormat() == vq_fmtGray8 ? 6 : 3);
    const bool ok = saver->save(image, quality, image->getFormat() == vq_fmtGray8 ? 1 : 4);
    saver.reset();
    file->close();
    return ok;
}

bool writePatternJpeg(const std::string& path, int32_t width, int32_t height, int32_t seed)
{
    auto image = makeImage(vq_fmtRGB24, width, height, [seed](int x, int y, int ch) {
        return static_cast<uint8_t>(40 + seed * 37 + x * 2 + y + ch * 30);
    });
    return writeJpeg(path, image.get());
}

vq_ptr<imageContainer> decodeJpegFile(const std::string& path)
{
    const std::string bytes = vqtest::readFile(path);
    auto decoder = vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder());
    auto image = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (bytes.empty() || decoder == nullptr ||
        !decoder->decodeTile(IntPair(0, 0), 0, reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<int32_t>(bytes.size()), image.get()))
        return vq_ptr<imageContainer>();
    return image;
}

uint8_t pixel(imageContainer* image, int32_t x, int32_t y, int32_t channel)
{
    const uint8_t* data = nullptr;
    int32_t step = 0;
    image->lockPixelsConst(&data, &step);
    const uint8_t v = data[y * step + x * image->getChannels() + channel];
    image->unlockPixels();
    return v;
}

double meanDifference(imageContainer* a, imageContainer* b)
{
    double sum = 0;
    const int32_t channels = a->getChannels();
    for (int32_t y = 0; y < a->getHeight(); ++y)
        for (int32_t x = 0; x < a->getWidth(); ++x)
            for (int32_t ch = 0; ch < channels; ++ch)
                sum += std::abs(pixel(a, x, y, ch) - pixel(b, x, y, ch));
    return sum / (double(a->getWidth()) * a->getHeight() * channels);
}

std::string reportText(vq_FileInfo* info, const std::string& scratchPath)
{
    FILE* report = std::fopen(scratchPath.c_str(), "w");
    info->printReport(report);
    std::fclose(report);
    return vqtest::readFile(scratchPath);
}

} // namespace foldertest
