// JP2 file format, reading only: the box structure, the signature, file type
// and JP2 header boxes, the boxes before the contiguous code-stream box and
// the consistency checks between the JP2 header and the code-stream's main
// header. Warnings go to the reader's diagnostic output; errors are thrown as
// diagnostic descriptors and end the reading.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/IntPair.h"
#include "j2k/byte_input.h"
#include "j2k/codec_types.h"
#include "j2k/decoder/codestream.h"
#include "j2k/diagnostics.h"

// Box types this reader knows; every other type reads as kBoxUnknown.
enum : uint32_t {
    kBoxUnknown = 0,
    kBoxSignature = 0x6A502020,  // "jP  "
    kBoxBPCC = 0x62706363,
    kBoxCDEF = 0x63646566,
    kBoxCMAP = 0x636D6170,
    kBoxCOLR = 0x636F6C72,
    kBoxFTYP = 0x66747970,
    kBoxIHDR = 0x69686472,
    kBoxJP2C = 0x6A703263,
    kBoxJP2H = 0x6A703268,
    kBoxJP2I = 0x6A703269,
    kBoxPCLR = 0x70636C72,
    kBoxRES = 0x72657320,
    kBoxRESC = 0x72657363,
    kBoxRESD = 0x72657364,
    kBoxUCST = 0x75637374,
    kBoxUINF = 0x75696E66,
    kBoxURL = 0x75726C20,
    kBoxUUID = 0x75756964,
    kBoxXML = 0x786D6C20,
};
constexpr uint32_t kJP2Brand = 0x6A703220;       // "jp2 "
constexpr uint32_t kJP2SignatureBody = 0x0D0A870A;

struct JP2BoxHeader {
    uint32_t type = kBoxUnknown;
    uint64_t bodyLength = 0;
};

// One box header at the input's position; LBox 0 takes what remains of the
// enclosing bound.
JP2BoxHeader ReadBoxHeader(BoundedInputBE& in);

struct DJP2ImageHeader {
    DiagnOutputRef diag;
    IntPair size;          // (width, height)
    uint16_t nc = 0;
    uint8_t bpc = 0;       // bits 0-6: depth - 1, bit 7: signed; 255: per component
    bool uniform = false;
};

struct DJP2BitsPerComponent {
    DiagnOutputRef diag;
    std::vector<uint8_t> bytes;
    bool unread = true;
};

struct DJP2ColourSpec {
    DiagnOutputRef diag;
    bool unread = true;
    uint32_t enumCS = 17;
    uint32_t meth = 0;
};

struct DJP2Palette {
    DiagnOutputRef diag;
    bool unread = true;
    uint16_t ne = 0;
    uint8_t npc = 0;
    std::vector<std::vector<uint64_t>> columns;  // per column, NE entries
    std::vector<uint8_t> depths;                 // per column, as stored
};

struct DJP2ComponentMapping {
    DiagnOutputRef diag;
    bool unread = true;
    uint16_t channels = 0;
    std::vector<uint16_t> cmp;
    std::vector<uint32_t> mtyp;
    std::vector<uint8_t> pcol;
};

struct DJP2ResolutionValues {
    uint16_t vrN = 0, vrD = 0, hrN = 0, hrD = 0;
    int8_t vrE = 0, hrE = 0;
    bool unread = true;
};

struct DJP2ResolutionBox {
    DiagnOutputRef diag;
    bool unread = true;
    DJP2ResolutionValues capture, display;
};

class DJP2Header {
public:
    void SetOutput(BDiagnOutput* output);
    // The body of the JP2 header box, inside its bound.
    void Read(BoundedInputBE& in);

    DiagnOutputRef diag;
    bool unread = true;
    DJP2ImageHeader imageHeader;
    DJP2BitsPerComponent bitsPerComponent;
    DJP2ColourSpec colour;
    DJP2Palette palette;
    DJP2ComponentMapping mapping;
    DJP2ResolutionBox resolution;
    std::vector<bool> paletteMapped;  // one per mapping channel

private:
    void ReadImageHeader(BoundedInputBE& in);
    void ReadPalette(BoundedInputBE& in);
    void ReadResolution(BoundedInputBE& in);
    void ReadColour(BoundedInputBE& in);
    void ReadBitsPerComponent(BoundedInputBE& in);
    void ReadMapping(BoundedInputBE& in, uint64_t bodyLength);
    void CheckPalette();
    void CheckBitsPerComponent();
    void CheckColour();
};

class DJP2FileReader {
public:
    explicit DJP2FileReader(BoundedInputBE* input) : input_(input) {}
    DJP2FileReader(const DJP2FileReader&) = delete;
    DJP2FileReader& operator=(const DJP2FileReader&) = delete;

    void SetOutput(BDiagnOutput* output);
    // Signature, file type and JP2 header boxes, in this order.
    void ReadFileHeader();
    // Scans to the contiguous code-stream box, reads its main header (the
    // box's bound stays open for the tile-parts) and checks it against the JP2
    // header; false when the file ends before a code-stream box.
    bool ReadToCodestream();

    const DJP2Header& Header() const { return header_; }
    DJP2Codestream<BoundedInputBE>& Codestream() { return codestream_; }
    BoundedInputBE* Input() const { return input_; }

private:
    void CheckAgainstMainHeader();

    BoundedInputBE* input_;
    DiagnOutputRef diag_;
    DJP2Header header_;
    DJP2Codestream<BoundedInputBE> codestream_;
    bool scanning_ = false;
};

// The palette and component mapping of a JP2 header into a decoded image;
// cleared when either is missing.
void CopyPaletteToImage(const DJP2Header& header, DJP2Image& image);
// The capture and display resolutions into a decoded image.
void CopyResolutionToImage(const DJP2ResolutionBox& resolution, DJP2Resolution& capture,
                           DJP2Resolution& display);
