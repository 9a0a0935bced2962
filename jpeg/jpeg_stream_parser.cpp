#include "jpeg/jpeg_stream_parser.h"

#include <algorithm>
#include <cstring>

#include "engine/base/raw_tile.h"

namespace {

// Zig-zag position k -> natural (row-major) index.
constexpr int kNaturalOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kDQT = 0xDB, kDNL = 0xDC, kDHT = 0xC4;

bool isStandalone(uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD8); }
bool isFrameHeader(uint8_t code) {
    return code == 0xC0 || code == 0xC1 || code == 0xC2 || code == 0xC9 || code == 0xCA;
}

uint32_t readBE16(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }

// Bytes a segment at p covers (its declared length), cut at the data's end;
// 0 when not even the length field is there.
uint32_t segmentSpan(const uint8_t* p, uint32_t remaining) {
    if (remaining < 2) return remaining;
    return std::min(readBE16(p), remaining);
}

} // namespace

JpegStreamParser::JpegStreamParser() = default;

std::vector<uint16_t> JpegStreamParser::getQuantTable(int index) const {
    if (index < 0 || index >= 4) return {};
    return quantTables[index];
}

bool JpegStreamParser::frameHeader(uint8_t* p, uint32_t remaining, uint32_t& used, bool rewriteIds) {
    if (remaining < 8) return false;
    int nf = p[7];
    // Four component slots: a frame with more components ends the walk.
    if (nf > 4) return false;
    uint32_t need = 8 + 3 * static_cast<uint32_t>(nf);
    if (remaining < need) return false;
    componentCount = nf;
    maxHorizontal = 0;
    maxVertical = 0;
    for (int i = 0; i < nf; ++i) {
        uint8_t* comp = p + 8 + 3 * i;
        componentIds[i] = comp[0];
        if (rewriteIds) comp[0] = replacementIds[i];
        horizontalFactors[i] = comp[1] >> 4;
        verticalFactors[i] = comp[1] & 0x0F;
        maxHorizontal = std::max(maxHorizontal, static_cast<int>(horizontalFactors[i]));
        maxVertical = std::max(maxVertical, static_cast<int>(verticalFactors[i]));
    }
    used = need;
    if (nf == 3) {
        const uint8_t* id = componentIds;
        if (id[0] == 0 && id[1] == 1 && id[2] == 2)
            colourSpace = (maxHorizontal == 1 && maxVertical == 1) ? 4 : 3;
        else if (id[0] == 1 && id[1] == 2 && id[2] == 3)
            colourSpace = 3;
        else if (id[0] == 'R' && id[1] == 'G' && id[2] == 'B')
            colourSpace = 4;
    }
    if (maxVertical == 1)
        subsampling = maxHorizontal == 1 ? 1 : maxHorizontal == 2 ? 2 : 5;
    else if (maxVertical == 2)
        subsampling = maxHorizontal == 1 ? 3 : maxHorizontal == 2 ? 4 : 5;
    else
        subsampling = 5;
    return true;
}

bool JpegStreamParser::scanHeader(uint8_t* p, uint32_t remaining, uint32_t& used, bool rewriteIds) {
    if (remaining < 3) return false;
    uint32_t ns = p[2];
    uint32_t need = 3 + 2 * ns + 3;
    if (remaining < need) return false;
    for (uint32_t s = 0; s < ns; ++s) {
        uint8_t* cs = p + 3 + 2 * s;
        if (!rewriteIds) continue;
        for (int i = 0; i < componentCount; ++i) {
            if (componentIds[i] == *cs) {
                *cs = replacementIds[i];
                break;
            }
        }
    }
    used = need;
    return true;
}

bool JpegStreamParser::huffmanTables(const uint8_t* p, uint32_t remaining, uint32_t& used) {
    if (remaining < 2) return false;
    uint32_t length = readBE16(p);
    if (length > remaining || length < 2) return false;
    dhtBytes.push_back(0xFF);
    dhtBytes.push_back(kDHT);
    dhtBytes.insert(dhtBytes.end(), p, p + length);
    ++dhtSegments;
    const uint8_t* q = p + 2;
    uint32_t left = length - 2;
    while (left > 16) {
        uint8_t classIndex = q[0];
        uint32_t symbols = 0;
        for (int i = 1; i <= 16; ++i) symbols += q[i];
        if (symbols > 256 || symbols > left - 17) return false;
        bool ac = (classIndex & 0x10) != 0;
        int slot = ac ? classIndex - 16 : classIndex;
        if (slot > 3) return false;
        std::vector<uint8_t>& table = ac ? acTables[slot] : dcTables[slot];
        table.assign(q + 1, q + 17 + symbols);
        q += 17 + symbols;
        left -= 17 + symbols;
    }
    used = length;
    return true;
}

bool JpegStreamParser::quantisationTables(const uint8_t* p, uint32_t remaining, uint32_t& used) {
    if (remaining < 2) return false;
    uint32_t length = readBE16(p);
    if (length > remaining || length < 2) return false;
    dqtBytes.push_back(0xFF);
    dqtBytes.push_back(kDQT);
    dqtBytes.insert(dqtBytes.end(), p, p + length);
    const uint8_t* q = p + 2;
    uint32_t left = length - 2;
    while (left > 0) {
        int precision = q[0] >> 4;
        int slot = q[0] & 0x0F;
        if (slot > 3) return false;
        uint32_t size = precision == 0 ? 64 : 128;
        if (left - 1 < size) return false;
        std::vector<uint16_t> table(64);
        for (int k = 0; k < 64; ++k)
            table[kNaturalOrder[k]] =
                precision == 0 ? q[1 + k] : static_cast<uint16_t>(readBE16(q + 1 + 2 * k));
        quantTables[slot] = std::move(table);
        q += 1 + size;
        left -= 1 + size;
    }
    used = length;
    return true;
}

void JpegStreamParser::walk(uint8_t* data, uint32_t length, Walk mode, bool rewriteIds) {
    uint32_t pos = 0;
    uint32_t remaining = length;
    int state = 0;
    uint8_t marker = 0;
    bool markerTaken = false;
    while (remaining > 0) {
        if (state == 0) {
            uint8_t b = data[pos++];
            --remaining;
            if (b == 0xFF) state = 1;
            continue;
        }
        if (state == 1) {
            uint8_t b = data[pos++];
            --remaining;
            if (b == 0x00)
                state = 0;
            else if (b != 0xFF) {
                marker = b;
                markerTaken = true;
                state = 2;
            }
            continue;
        }
        state = 0;
        uint8_t* p = data + pos;
        uint32_t used = 0;
        bool ok = true;
        if (isStandalone(marker)) {
            continue;
        } else if (isFrameHeader(marker)) {
            ok = frameHeader(p, remaining, used, mode == Walk::Parse && rewriteIds);
        } else if (marker == kSOS) {
            // A scan header cut off by the end of the data counts like
            // data ending right after the marker.
            if (mode == Walk::Parse && !scanHeader(p, remaining, used, rewriteIds)) {
                parsed = dhtSegments > 0;
                return;
            }
            parsed = true;
            return;
        } else if (marker == kEOI) {
            if (mode == Walk::Parse) parsed = true;
            return;
        } else if (mode == Walk::Parse && marker == kDHT) {
            ok = huffmanTables(p, remaining, used);
        } else if (mode == Walk::Parse && marker == kDQT) {
            ok = quantisationTables(p, remaining, used);
        } else {
            used = segmentSpan(p, remaining);
        }
        if (!ok) return;
        pos += used;
        remaining -= used;
    }
    if (mode == Walk::Parse && markerTaken) {
        if (marker == kEOI) parsed = true;
        if (marker == kSOS && dhtSegments > 0) parsed = true;
    }
}

void JpegStreamParser::parse(bool rewriteIds) {
    parsed = false;
    for (int i = 0; i < 4; ++i) {
        quantTables[i].clear();
        dcTables[i].clear();
        acTables[i].clear();
    }
    dqtBytes.clear();
    dhtBytes.clear();
    dhtSegments = 0;
    if (source == nullptr || sourceLength == 0) return;
    walk(source, sourceLength, Walk::Parse, rewriteIds);
}

void JpegStreamParser::readFrameHeader(const uint8_t* data, uint32_t length) {
    if (data == nullptr) return;
    // Never rewrites, so the bytes are only read.
    walk(const_cast<uint8_t*>(data), length, Walk::FrameOnly, false);
}

bool JpegStreamParser::buildTablesStream() {
    if (source == nullptr || sourceLength == 0 || !parsed) return false;
    tables.clear();
    tables.push_back(0xFF);
    tables.push_back(kSOI);
    if (dqtBytes.empty()) return false;
    tables.insert(tables.end(), dqtBytes.begin(), dqtBytes.end());
    tables.insert(tables.end(), dhtBytes.begin(), dhtBytes.end());
    tables.push_back(0xFF);
    tables.push_back(kEOI);
    return true;
}

bool JpegStreamParser::sameTablesAs(const uint8_t* data, uint32_t length) const {
    if (!parsed) return false;
    JpegStreamParser other;
    other.source = const_cast<uint8_t*>(data);
    other.sourceLength = length;
    other.parse(false);
    if (!other.parsed) return false;
    for (int i = 0; i < 4; ++i)
        if (dcTables[i] != other.dcTables[i]) return false;
    for (int i = 0; i < 4; ++i)
        if (acTables[i] != other.acTables[i]) return false;
    return dqtBytes == other.dqtBytes;
}

void JpegStreamParser::fixComponentIds() {
    std::memcpy(replacementIds, componentIds, sizeof(replacementIds));
    if (componentCount != 3 || componentIds[0] != 0 || componentIds[1] != 1 || componentIds[2] != 2)
        return;
    static const uint8_t rgb[3] = {'R', 'G', 'B'};
    static const uint8_t ycc[3] = {1, 2, 3};
    std::memcpy(replacementIds, (maxHorizontal == 1 && maxVertical == 1) ? rgb : ycc, 3);
    parse(true);
}

bool stripJpegTables(vq_raw_tile* source, vq_raw_tile* destination) {
    if (source == nullptr || destination == nullptr) return false;
    const uint8_t* in = source->getData();
    uint8_t* out = destination->getData();
    if (in == nullptr || out == nullptr || source->getDataLength() <= 0 ||
        destination->getDataLength() < source->getDataLength())
        return false;
    uint32_t remaining = static_cast<uint32_t>(source->getDataLength());
    uint32_t pos = 0;
    uint32_t written = 0;
    int state = 0;
    uint8_t marker = 0;
    auto copy = [&](uint32_t n) {
        std::memmove(out + written, in + pos, n);
        written += n;
        pos += n;
        remaining -= n;
    };
    while (remaining > 0) {
        if (state == 0) {
            if (in[pos++] == 0xFF) state = 1;
            --remaining;
            continue;
        }
        if (state == 1) {
            uint8_t b = in[pos++];
            --remaining;
            if (b == 0x00)
                state = 0;
            else if (b != 0xFF) {
                marker = b;
                state = 2;
            }
            continue;
        }
        state = 0;
        if (isStandalone(marker)) {
            out[written++] = 0xFF;
            out[written++] = marker;
        } else if (marker == kDHT || marker == kDQT || marker == kDNL) {
            uint32_t n = segmentSpan(in + pos, remaining);
            pos += n;
            remaining -= n;
        } else if (marker == kSOS || marker == kEOI) {
            out[written++] = 0xFF;
            out[written++] = marker;
            copy(remaining);
            destination->setDataLength(static_cast<int32_t>(written));
            return true;
        } else {
            out[written++] = 0xFF;
            out[written++] = marker;
            copy(segmentSpan(in + pos, remaining));
        }
    }
    return false;
}
