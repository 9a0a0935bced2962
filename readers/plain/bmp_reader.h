// Uncompressed Windows bitmaps of 16, 24 and 32 bits per pixel, with any of
// the defined info headers and bit masks of the plain layouts: read as a
// whole image or as top-down strips, and written from RGB(A) containers.
#pragma once

#include <cstdint>

#include "readers/plain/plain_reader.h"
#include "engine/base/saver_base.h"

class vq_BMPFileInfo : public vq_plainFileInfo {
public:
    static vq_BMPFileInfo* create();

    // Reads the file and info headers from the stream's current position and
    // leaves the stream on the first stored row.
    bool readHeader(vq_stream* stream);
    void printReport(FILE* out) override;

    // Bytes per stored row, padding included.
    int getRowStride() const { return rowStride; }
    // File offset of the first stored row.
    uint32_t getPixelOffset() const { return pixelOffset; }
    // Rows stored top row first (a negative height in the header).
    bool isTopDown() const { return topDown; }
    // Bits per stored pixel: 16, 24 or 32.
    int getStoredBits() const { return storedBits; }
    // Turns a stored row of 16-bit pixels into B, G, R bytes.
    void widenRow(const uint8_t* stored, uint8_t* bgr, int width) const;

private:
    int rowStride = 0;
    uint32_t pixelOffset = 0;
    bool topDown = false;
    int storedBits = 0;
    bool sixBitGreen = false; // 5-6-5 rather than 5-5-5
    uint8_t fileHeader[14] = {};
    uint8_t infoHeader[124] = {};
};

class vq_BMPStripLoader : public vq_headerStripLoader<vq_BMPFileInfo> {
public:
    static vq_BMPStripLoader* create();

    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
};

class vq_BMPLoader : public vq_headerLoader<vq_BMPFileInfo, vq_BMPStripLoader> {
public:
    static vq_BMPLoader* create(vq_stream* stream);

private:
    explicit vq_BMPLoader(vq_stream* s) : vq_headerLoader(s) {}
};

// Writes containers of pixel format 1, 2, 4 or 5 as 24-bit or 32-bit bitmaps.
class vq_BMPSaver : public vq_saver_base {
public:
    static vq_BMPSaver* create(vq_stream* stream);

    void setColourSpace(int) override {}
    bool save(imageContainer* src, int quality, int subsampling) override;
    bool supportsYCbCr() override { return false; }
    bool saveYCbCr(imageContainer*, imageContainer*, imageContainer*, int, int, int) override {
        return false;
    }

private:
    explicit vq_BMPSaver(vq_stream* s) : stream(s) {}
    vq_ptr<vq_stream> stream;
};

// Binds a BMP loader to the stream; nothing is read yet.
bool createBMPLoader(vq_stream* stream, vq_loader_base** out);
bool createBMPSaver(vq_stream* stream, vq_saver_base** out);
