// Raw PPM files ("P6", 8 bits per sample) read as RGB strips straight from
// the file.
#pragma once

#include <cstdint>

#include "readers/plain/plain_reader.h"

class vq_PPMFileInfo : public vq_plainFileInfo {
public:
    static vq_PPMFileInfo* create();

    // Reads the header from the stream's current position; on success the
    // stream stands on the first pixel row.
    bool readHeader(vq_stream* stream);
    void printReport(FILE* out) override;

    int getBytesPerRow() const { return bytesPerRow; }
    // Stream position of the first pixel row.
    int64_t getPixelOffset() const { return pixelOffset; }

private:
    int bytesPerRow = 0;
    int64_t pixelOffset = 0;
};

class vq_PPMStripLoader : public vq_headerStripLoader<vq_PPMFileInfo> {
public:
    static vq_PPMStripLoader* create();

    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
};

class vq_PPMLoader : public vq_headerLoader<vq_PPMFileInfo, vq_PPMStripLoader> {
public:
    static vq_PPMLoader* create(vq_stream* stream);

private:
    explicit vq_PPMLoader(vq_stream* s) : vq_headerLoader(s) {}
};

// Binds a PPM loader to the stream; nothing is read yet.
bool createPPMLoader(vq_stream* stream, vq_loader_base** out);
