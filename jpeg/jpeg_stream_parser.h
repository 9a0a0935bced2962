// Walks the markers of a JPEG stream in memory without decoding it: the frame
// header's colour space and subsampling, the quantisation and Huffman tables
// (parsed and as raw segment bytes), the tables-only stream of a TIFF
// JPEGTables field, table comparison and in-place rewriting of ambiguous
// component ids.
#pragma once

#include <cstdint>
#include <vector>

class vq_raw_tile;

class JpegStreamParser {
public:
    // Set by the caller before parse(): the stream is not owned; only a walk
    // with rewriting on writes into it.
    uint8_t* source = nullptr;
    uint32_t sourceLength = 0;
    // The last walk reached SOS or EOI.
    bool parsed = false;

    JpegStreamParser();

    // Clears the tables and walks the source from its first byte; with
    // rewriteIds the replacement ids are written over the component ids of the
    // frame header and the first scan header.
    void parse(bool rewriteIds);
    // Reads only the frame header of the given bytes.
    void readFrameHeader(const uint8_t* data, uint32_t length);

    int getColourSpace() const { return colourSpace; }
    int getSubsampling() const { return subsampling; }
    // Slot 0..3 in natural order, or an empty table for other indices.
    std::vector<uint16_t> getQuantTable(int index) const;

    // SOI, every DQT segment, every DHT segment, EOI.
    bool buildTablesStream();
    const std::vector<uint8_t>& tablesStream() const { return tables; }
    // Whether another stream uses the same tables as the parsed one.
    bool sameTablesAs(const uint8_t* data, uint32_t length) const;
    // Makes the ids 0, 1, 2 of a three-component stream say what the stream
    // is: R, G, B when not subsampled, 1, 2, 3 otherwise.
    void fixComponentIds();

    int componentCount = 0;
    int maxHorizontal = 0;
    int maxVertical = 0;
    uint8_t horizontalFactors[4] = {0, 0, 0, 0};
    uint8_t verticalFactors[4] = {0, 0, 0, 0};
    uint8_t componentIds[4] = {0, 0, 0, 0};
    uint8_t replacementIds[4] = {0, 0, 0, 0};
    std::vector<uint8_t> tables;
    int subsampling = 5;
    int colourSpace = -1;
    std::vector<uint16_t> quantTables[4];
    std::vector<uint8_t> dcTables[4];
    std::vector<uint8_t> acTables[4];
    std::vector<uint8_t> dqtBytes;
    std::vector<uint8_t> dhtBytes;

private:
    enum class Walk { Parse, FrameOnly };
    void walk(uint8_t* data, uint32_t length, Walk mode, bool rewriteIds);
    bool frameHeader(uint8_t* p, uint32_t remaining, uint32_t& used, bool rewriteIds);
    bool scanHeader(uint8_t* p, uint32_t remaining, uint32_t& used, bool rewriteIds);
    bool huffmanTables(const uint8_t* p, uint32_t remaining, uint32_t& used);
    bool quantisationTables(const uint8_t* p, uint32_t remaining, uint32_t& used);
    int dhtSegments = 0;
};

// Copies a stream without its DQT, DHT and DNL segments into the destination's
// buffer (which holds at least the source's length) and sets its data length.
bool stripJpegTables(vq_raw_tile* source, vq_raw_tile* destination);
