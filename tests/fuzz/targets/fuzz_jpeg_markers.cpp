// JPEG marker parser: a walk with and without id rewriting, the tables-only
// stream, table comparison, the frame header alone and table stripping.
#include "engine/base/raw_tile.h"
#include "jpeg/jpeg_stream_parser.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    for (bool rewrite : {false, true}) {
        JpegStreamParser p;
        p.source = bytes.data();
        p.sourceLength = uint32_t(bytes.size());
        p.parse(rewrite);
        for (int i = 0; i < 5; ++i) p.getQuantTable(i);
        if (p.buildTablesStream()) p.sameTablesAs(p.tablesStream().data(), uint32_t(p.tablesStream().size()));
        p.sameTablesAs(bytes.data(), uint32_t(bytes.size()));
        p.fixComponentIds();
    }
    JpegStreamParser frame;
    frame.readFrameHeader(bytes.data(), uint32_t(bytes.size()));
    vq_ptr<vq_raw_tile> in, out;
    if (createRawTile(in.put()) && createRawTile(out.put()) && in->allocate(int32_t(size), IntPair(1, 1)) &&
        out->allocate(int32_t(size), IntPair(1, 1))) {
        in->setCompression(7);
        if (size) std::memcpy(in->getData(), data, size);
        stripJpegTables(in.get(), out.get());
    }
    return 0;
}
