// Non-interlaced PNG images of every colour type and bit depth, read top to
// bottom in strips of 8-bit grey, RGB or RGBA pixels through the PNG
// library's own expansions, over an engine stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "readers/plain/plain_reader.h"

struct png_struct_def;
struct png_info_def;

// The PNG library's structures bound to a stream for reading (or writing).
// A library error ends the operation in progress, which reports false and
// the library's reason; warnings are kept, not acted on. The library's error
// pointer is the state itself, which therefore never moves.
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
    // The library's last warning, named with an error that follows it.
    std::string lastWarning;
};

// How the library turns the stored rows into 8-bit pixels.
struct PngRowPlan {
    int colourType = 0;
    int bitDepth = 0;
    bool transparency = false; // a tRNS chunk, read as an alpha channel
    bool greyToRgb = false;
};

// Pixel formats: 6 for grey (deliverable as 4 too), 4 for RGB and palette
// images, 5 for anything with alpha or a transparency chunk (grey ones
// included, as RGBA).
class vq_PNGFileInfo : public vq_plainFileInfo {
public:
    static vq_PNGFileInfo* create();

    // Reads the header from the start of the state's stream; refuses
    // interlaced images and what the library refuses, saying why.
    bool readHeader(PngStreamState& state);
    void printReport(FILE* out) override;
    const PngRowPlan& getRowPlan() const { return plan; }

private:
    PngRowPlan plan;
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
    // The row transformations are set: a further pass needs a new binding.
    bool rowsStarted = false;
    // Pixel format of the rows as the library delivers them.
    int rowFormat = -1;
    std::vector<uint8_t> workRow;
};

bool createPNGLoader(vq_stream* stream, vq_loader_base** out);
