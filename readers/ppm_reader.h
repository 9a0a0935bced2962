// Raw PPM files ("P6", 8 bits per sample) read as RGB strips straight from
// the file.
#pragma once

#include <cstdint>

#include "readers/plain_reader.h"

class vq_PPMFileInfo : public vq_plainFileInfo {
public:
    static vq_PPMFileInfo* create();

    // Reads the header from the stream's current position; on success the
    // stream stands on the first pixel row.
    bool readHeader(vq_stream* stream);
    void printReport(FILE* out) override;

    int getBytesPerRow() const { return bytesPerRow; }

private:
    int bytesPerRow = 0;
};

class vq_PPMLoader : public vq_plainLoader {
public:
    static vq_PPMLoader* create(vq_stream* stream);

    bool getFileInfo(vq_FileInfo** out) override;
    bool getStripLoader(vq_stripLoader_base** out) override;

private:
    explicit vq_PPMLoader(vq_stream* s) : vq_plainLoader(s) {}
};

class vq_PPMStripLoader : public vq_plainStripLoader {
public:
    static vq_PPMStripLoader* create();

    bool prepareStrips(int stripHeight, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    int getFormat() override { return info.getPixelFormat(); }

    // Reads the header into the embedded file info and takes the image size
    // from it ((0, 0) when the header is not PPM).
    bool probe();

private:
    vq_PPMFileInfo info;
    int64_t pixelStart = 0;
};

// Binds a PPM loader to the stream; nothing is read yet.
bool createPPMLoader(vq_stream* stream, vq_loader_base** out);
