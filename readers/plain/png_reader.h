// Non-interlaced PNG images in grey, RGB and RGBA, read top to bottom in
// strips through the PNG library over an engine stream.
#pragma once

#include <cstdint>
#include <vector>

#include "readers/plain/plain_reader.h"

struct png_struct_def;
struct png_info_def;

// The PNG library's structures bound to a stream for reading (or writing).
// Library errors and warnings both end the operation in progress: every call
// into the library runs under its jump buffer and reports false.
struct PngStreamState {
    PngStreamState() = default;
    PngStreamState(const PngStreamState&) = delete;
    PngStreamState& operator=(const PngStreamState&) = delete;
    ~PngStreamState() { unbind(); }

    // Rewinds the stream and binds fresh read structures to it (dropping any
    // earlier binding); false for a null stream or when the library fails.
    bool openRead(vq_stream* s);
    // Binds write structures that write to and flush the stream.
    bool openWrite(vq_stream* s);
    bool isReady() const { return stream != nullptr && png && info && kind != 0; }
    void rewind();
    void unbind();

    vq_ptr<vq_stream> stream;
    png_struct_def* png = nullptr;
    png_info_def* info = nullptr;
    int kind = 0; // 0 unbound, 1 read, 2 write
};

class vq_PNGFileInfo : public vq_plainFileInfo {
public:
    static vq_PNGFileInfo* create();

    // Reads the header from the start of the state's stream. 16-bit samples
    // are reduced to 8 bits by the library for the rows that follow.
    bool readHeader(PngStreamState& state);
    void printReport(FILE* out) override;
};

class vq_PNGLoader : public vq_plainLoader {
public:
    // A loader whose own state is bound to the stream; null when the PNG
    // library cannot be set up.
    static vq_PNGLoader* create(vq_stream* stream);

    bool getFileInfo(vq_FileInfo** out) override;
    bool getStripLoader(vq_stripLoader_base** out) override;

private:
    explicit vq_PNGLoader(vq_stream* s) : vq_plainLoader(s) {}
    PngStreamState state;
};

class vq_PNGStripLoader : public vq_plainStripLoader {
public:
    static vq_PNGStripLoader* create();

    // Binds the strip loader's own state to the stream and reads the header.
    bool open(vq_stream* stream);

    bool prepareStrips(int stripHeight, int format) override;
    bool readNextStrip(int* rowsDone, imageContainer* dst) override;
    int getFormat() override { return info.getPixelFormat(); }

private:
    PngStreamState state;
    vq_PNGFileInfo info;
    bool compose = false;
    // Rows the library has decoded since the header was read.
    int rowsRead = 0;
    std::vector<uint8_t> workRow;
};

bool createPNGLoader(vq_stream* stream, vq_loader_base** out);
