#include "strip_helpers.h"

#include <algorithm>

#include "engine/base/imageContainer.h"

namespace plaintest {

vq_ptr<vq_stream> streamOver(const std::string& bytes) {
    vq_ptr<vq_stream> s;
    openMemoryStream(bytes.data(), bytes.size(), s.put());
    return s;
}

std::vector<Bytes> rowsOf(imageContainer* c, int bytesPerPixel) {
    std::vector<Bytes> rows;
    uint8_t* pixels = nullptr;
    int32_t step = 0;
    c->lockPixels(&pixels, &step);
    const size_t rowBytes = size_t(c->getWidth()) * size_t(bytesPerPixel);
    for (int r = 0; r < c->getHeight(); ++r) {
        const uint8_t* row = pixels + int64_t(r) * step;
        rows.emplace_back(row, row + rowBytes);
    }
    c->unlockPixels();
    return rows;
}

vq_ptr<imageContainer> containerOf(int format, int width, const std::vector<Bytes>& rows) {
    vq_ptr<imageContainer> c;
    createImageContainer(c.put());
    if (!c->create(format, width, int(rows.size()), false))
        return c;
    uint8_t* pixels = nullptr;
    int32_t step = 0;
    c->lockPixels(&pixels, &step);
    for (size_t r = 0; r < rows.size(); ++r)
        std::copy(rows[r].begin(), rows[r].end(), pixels + int64_t(r) * step);
    c->unlockPixels();
    return c;
}

StripPass readAllStrips(vq_stripLoader_base* strips, int stripHeight, int format,
                        int bytesPerPixel) {
    StripPass pass;
    pass.prepared = strips->prepareStrips(stripHeight, format);
    if (!pass.prepared)
        return pass;
    const int height = strips->getImageSize().second;
    int done = 0;
    pass.allRead = true;
    while (done < height) {
        vq_ptr<imageContainer> strip;
        createImageContainer(strip.put());
        if (!strips->readNextStrip(&done, strip.get())) {
            pass.allRead = false;
            break;
        }
        pass.heights.push_back(strip->getHeight());
        pass.rowsDone.push_back(done);
        pass.formats.push_back(strip->getFormat());
        for (Bytes& row : rowsOf(strip.get(), bytesPerPixel))
            pass.rows.push_back(std::move(row));
        if (pass.heights.size() > size_t(height))
            break; // a reader that never advances would loop forever
    }
    return pass;
}

} // namespace plaintest
