// The JPEG codec's encoding side: encode set-up with its checks, the
// JPEGTables value shared by every strip or tile, the set-up of each strip or
// tile, the plain and the raw (down-sampled) encoders and the finish.
//
// As on the decoding side, every libjpeg call goes through a wrapper that
// sets the return point of the error exit.
#include "tiff/tiff_jpeg_state.h"

#include <jerror.h>

namespace vqtiff {
namespace jpegcodec {

namespace {

int jpegSetDefaults(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_set_defaults(&sp->cinfo.c);
    return 1;
}
int jpegSetColorspace(JPEGState* sp, J_COLOR_SPACE space) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_set_colorspace(&sp->cinfo.c, space);
    return 1;
}
int jpegSetQuality(JPEGState* sp, int quality) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_set_quality(&sp->cinfo.c, quality, FALSE);
    return 1;
}
int jpegSuppressTables(JPEGState* sp, bool suppress) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_suppress_tables(&sp->cinfo.c, suppress ? TRUE : FALSE);
    return 1;
}
int jpegWriteTables(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_write_tables(&sp->cinfo.c);
    return 1;
}
int jpegStartCompress(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_start_compress(&sp->cinfo.c, FALSE);
    return 1;
}
int jpegWriteScanlines(JPEGState* sp, JSAMPARRAY rows, int count) {
    if (setjmp(sp->exitJump)) return -1;
    return int(jpeg_write_scanlines(&sp->cinfo.c, rows, JDIMENSION(count)));
}
int jpegWriteRawData(JPEGState* sp, JSAMPIMAGE data, int lines) {
    if (setjmp(sp->exitJump)) return -1;
    return int(jpeg_write_raw_data(&sp->cinfo.c, data, JDIMENSION(lines)));
}
int jpegFinishCompress(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_finish_compress(&sp->cinfo.c);
    return 1;
}

// ---- destination over the handle's raw buffer ----

void rawInitDestination(j_compress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    TIFFHandle* h = sp->tif;
    sp->dest.next_output_byte = h->rawData;
    sp->dest.free_in_buffer = size_t(h->rawDataSize);
}
// A full buffer is appended to the strip; a failed append (a full disk)
// ends the compression through the error exit.
boolean rawEmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    TIFFHandle* h = sp->tif;
    h->rawCount = h->rawDataSize;
    if (!TIFFFlushRawBuffer(h)) {
        sp->flushFailed = true;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    sp->dest.next_output_byte = h->rawData;
    sp->dest.free_in_buffer = size_t(h->rawDataSize);
    return TRUE;
}
void rawTermDestination(j_compress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    TIFFHandle* h = sp->tif;
    h->rawCursor = sp->dest.next_output_byte;
    h->rawCount = h->rawDataSize - int64_t(sp->dest.free_in_buffer);
}

void useRawDestination(JPEGState* sp) {
    sp->dest.init_destination = rawInitDestination;
    sp->dest.empty_output_buffer = rawEmptyOutputBuffer;
    sp->dest.term_destination = rawTermDestination;
    sp->cinfo.c.dest = &sp->dest;
}

// ---- destination over the JPEGTables value, growing by 1000 bytes ----

constexpr size_t kTablesStep = 1000;

void tablesInitDestination(j_compress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    sp->dest.next_output_byte = sp->tables;
    sp->dest.free_in_buffer = sp->tablesLength;
}
boolean tablesEmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    size_t size = sp->tablesLength + kTablesStep;
    auto* grown = static_cast<uint8_t*>(memResize(sp->tables, size));
    if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 100);
    sp->dest.next_output_byte = grown + sp->tablesLength;
    sp->dest.free_in_buffer = kTablesStep;
    sp->tables = grown;
    sp->tablesLength = uint32_t(size);
    return TRUE;
}
void tablesTermDestination(j_compress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    sp->tablesLength -= uint32_t(sp->dest.free_in_buffer);
}

// Writes a tables-only stream with the quantisation tables (flag 1) and the
// Huffman tables (flag 2) of the tables mode into the JPEGTables value.
int buildTables(TIFFHandle* h) {
    JPEGState* sp = jstate(h);
    jpeg_compress_struct& c = sp->cinfo.c;
    if (!jpegSetQuality(sp, sp->quality) || !jpegSuppressTables(sp, true)) return 0;
    const bool ycbcr = sp->photometric == PHOTOMETRIC_YCBCR;
    if (sp->tablesMode & 1) {
        for (int i = 0; i < (ycbcr ? 2 : 1); ++i)
            if (c.quant_tbl_ptrs[i]) c.quant_tbl_ptrs[i]->sent_table = FALSE;
    }
    if (sp->tablesMode & 2) {
        for (int i = 0; i < (ycbcr ? 2 : 1); ++i) {
            if (c.dc_huff_tbl_ptrs[i]) c.dc_huff_tbl_ptrs[i]->sent_table = FALSE;
            if (c.ac_huff_tbl_ptrs[i]) c.ac_huff_tbl_ptrs[i]->sent_table = FALSE;
        }
    }
    memFree(sp->tables);
    sp->tables = static_cast<uint8_t*>(memAlloc(kTablesStep));
    sp->tablesLength = 0;
    if (!sp->tables) {
        errorExt(h, "TIFFjpeg_tables_dest", "No space for JPEGTables");
        return 0;
    }
    sp->tablesLength = uint32_t(kTablesStep);
    sp->dest.init_destination = tablesInitDestination;
    sp->dest.empty_output_buffer = tablesEmptyOutputBuffer;
    sp->dest.term_destination = tablesTermDestination;
    c.dest = &sp->dest;
    if (!jpegWriteTables(sp)) return 0;
    return 1;
}

int encodeRaw(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t sample);

// Result of an encoder whose libjpeg call failed: -1 when the raw buffer
// could not be flushed, 0 for a coder error.
int failedEncode(JPEGState* sp) { return sp->flushFailed ? -1 : 0; }

// Writes the held clump rows of every component (padded by repeating the
// last row) as one row of MCUs.
int writeHeldRawRows(JPEGState* sp) {
    jpeg_compress_struct& c = sp->cinfo.c;
    for (int ci = 0; ci < c.num_components; ++ci) {
        jpeg_component_info* comp = &c.comp_info[ci];
        int vs = comp->v_samp_factor;
        int rowsPerMcu = vs * DCTSIZE;
        int held = sp->scanCount * vs;
        for (int y = held; y < rowsPerMcu; ++y)
            for (JDIMENSION x = 0; x < comp->width_in_blocks * DCTSIZE; ++x)
                sp->dsBuffer[ci][y][x] = y > 0 ? sp->dsBuffer[ci][y - 1][x] : 0;
    }
    int n = c.max_v_samp_factor * DCTSIZE;
    int written = jpegWriteRawData(sp, sp->dsBuffer, n);
    sp->scanCount = 0;
    return written == n;
}

} // namespace

int setupEncode(TIFFHandle* h) {
    static const char module[] = "JPEGSetupEncode";
    if (!createObject(h, true, false)) return 0;
    JPEGState* sp = jstate(h);
    jpeg_compress_struct& c = sp->cinfo.c;
    const TIFFDirRecord& d = h->dir;
    c.in_color_space = JCS_UNKNOWN;
    c.input_components = 1;
    if (!jpegSetDefaults(sp)) return 0;
    sp->photometric = d.photometric;
    switch (sp->photometric) {
    case PHOTOMETRIC_YCBCR: {
        sp->hSampling = d.ycbcrSubsampling[0];
        sp->vSampling = d.ycbcrSubsampling[1];
        float* refbw = nullptr;
        if (!TIFFQueryField(h, TAG_ReferenceBlackWhite, &refbw)) {
            const float top = float((1u << (d.bitsPerSample & 15)) - 1);
            const float mid = float(1u << ((d.bitsPerSample - 1) & 15));
            float values[6] = {0.0f, top, mid, top, mid, top};
            TIFFSetField(h, TAG_ReferenceBlackWhite, values);
        }
        break;
    }
    case PHOTOMETRIC_PALETTE:
    case 4: // transparency mask
        errorExt(h, module, "PhotometricInterpretation %d not allowed for JPEG", int(sp->photometric));
        return 0;
    default:
        sp->hSampling = 1;
        sp->vSampling = 1;
        break;
    }
    if (d.bitsPerSample != 8) {
        errorExt(h, module, "BitsPerSample %d not allowed for JPEG", int(d.bitsPerSample));
        return 0;
    }
    const uint32_t unitH = uint32_t(sp->hSampling) * DCTSIZE, unitV = uint32_t(sp->vSampling) * DCTSIZE;
    if (unitH == 0 || unitV == 0) {
        errorExt(h, module, "Invalid YCbCr subsampling");
        return 0;
    }
    if (isTiled(h)) {
        if (d.tileLength % unitV) {
            errorExt(h, module, "JPEG tile height must be multiple of %d", int(unitV));
            return 0;
        }
        if (d.tileWidth % unitH) {
            errorExt(h, module, "JPEG tile width must be multiple of %d", int(unitH));
            return 0;
        }
    } else if (d.rowsPerStrip < d.imageLength && d.rowsPerStrip % unitV) {
        errorExt(h, module, "RowsPerStrip must be multiple of %d for JPEG", int(unitV));
        return 0;
    }
    if (sp->tablesMode & 3) {
        if (!buildTables(h)) return 0;
        setFieldBit(h, FIELD_CODEC);
        h->flags |= FLAG_DIRTYDIRECT;
    } else {
        clearFieldBit(h, FIELD_CODEC);
    }
    useRawDestination(sp);
    return 1;
}

int preEncode(TIFFHandle* h, uint16_t sample) {
    static const char module[] = "JPEGPreEncode";
    JPEGState* sp = jstate(h);
    if (!sp->haveObject || sp->isDecompressor) return 0;
    jpeg_compress_struct& c = sp->cinfo.c;
    const TIFFDirRecord& d = h->dir;
    sp->flushFailed = false;
    uint32_t segWidth, segHeight;
    segmentSize(h, sample, &segWidth, &segHeight);
    if (segWidth > 65535 || segHeight > 65535) {
        errorExt(h, module, "Strip/tile too large for JPEG");
        return 0;
    }
    c.image_width = segWidth;
    c.image_height = segHeight;
    bool downsampled = false;
    if (d.planarConfig == PLANAR_CONTIG) {
        if (d.samplesPerPixel > kMaxComponents) {
            errorExt(h, module, "Improper JPEG component count");
            return 0;
        }
        c.input_components = d.samplesPerPixel;
        if (sp->photometric == PHOTOMETRIC_YCBCR) {
            if (sp->colorMode == JPEGCOLORMODE_RGB) {
                c.in_color_space = JCS_RGB;
            } else {
                c.in_color_space = JCS_YCbCr;
                downsampled = sp->hSampling != 1 || sp->vSampling != 1;
            }
            if (!jpegSetColorspace(sp, JCS_YCbCr)) return 0;
            c.comp_info[0].h_samp_factor = sp->hSampling;
            c.comp_info[0].v_samp_factor = sp->vSampling;
        } else {
            c.in_color_space = JCS_UNKNOWN;
            if (!jpegSetColorspace(sp, JCS_UNKNOWN)) return 0;
        }
    } else {
        c.input_components = 1;
        c.in_color_space = JCS_UNKNOWN;
        if (!jpegSetColorspace(sp, JCS_UNKNOWN)) return 0;
        c.comp_info[0].component_id = sample;
        if (sp->photometric == PHOTOMETRIC_YCBCR && sample != 0) {
            c.comp_info[0].quant_tbl_no = 1;
            c.comp_info[0].dc_tbl_no = 1;
            c.comp_info[0].ac_tbl_no = 1;
        }
    }
    c.write_JFIF_header = FALSE;
    c.write_Adobe_marker = FALSE;
    if (!(sp->tablesMode & 1)) {
        if (!jpegSetQuality(sp, sp->quality)) return 0;
        for (int i = 0; i < 2; ++i)
            if (c.quant_tbl_ptrs[i]) c.quant_tbl_ptrs[i]->sent_table = FALSE;
    }
    c.optimize_coding = (sp->tablesMode & 2) ? FALSE : TRUE;
    c.raw_data_in = downsampled ? TRUE : FALSE;
    h->encodeRow = h->encodeStrip = h->encodeTile = downsampled ? encodeRaw : encodePlain;
    useRawDestination(sp);
    if (!jpegStartCompress(sp)) return 0;
    if (downsampled) {
        sp->samplesPerClump = 0;
        for (int ci = 0; ci < c.num_components; ++ci) {
            jpeg_component_info* comp = &c.comp_info[ci];
            sp->samplesPerClump += comp->h_samp_factor * comp->v_samp_factor;
            sp->dsBuffer[ci] =
                jpegAllocSarray(sp, comp->width_in_blocks * DCTSIZE, JDIMENSION(comp->v_samp_factor * DCTSIZE));
            if (!sp->dsBuffer[ci]) return 0;
        }
    }
    sp->scanCount = 0;
    return 1;
}

int encodePlain(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t) {
    JPEGState* sp = jstate(h);
    if (sp->bytesPerLine <= 0) return 0;
    int64_t rows = cc / sp->bytesPerLine;
    if (cc % sp->bytesPerLine) warningExt(h, h->fileName, "fractional scanline discarded");
    if (!isTiled(h) && int64_t(h->curRow) + rows > int64_t(h->dir.imageLength))
        rows = int64_t(h->dir.imageLength) - int64_t(h->curRow);
    const jpeg_compress_struct& c = sp->cinfo.c;
    // Never more rows than the JPEG image holds: libjpeg would ignore them.
    if (rows > int64_t(c.image_height - c.next_scanline)) rows = int64_t(c.image_height - c.next_scanline);
    while (rows-- > 0) {
        JSAMPROW row = buf;
        if (jpegWriteScanlines(sp, &row, 1) != 1) return failedEncode(sp);
        if (rows > 0) ++h->curRow;
        buf += sp->bytesPerLine;
    }
    return 1;
}

namespace {

// Packed clump rows (per h x v pixels: the luminance samples row by row,
// then one Cb and one Cr) are spread into the components' row buffers.
int encodeRaw(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t) {
    JPEGState* sp = jstate(h);
    jpeg_compress_struct& c = sp->cinfo.c;
    const uint32_t hs = sp->hSampling, vs = sp->vSampling;
    const uint32_t clumps = ceilDiv(c.image_width, hs);
    const int64_t clumpRowBytes = (int64_t(clumps) * (hs * vs + 2) * 8 + 7) / 8;
    if (clumpRowBytes <= 0) return 0;
    int64_t clumpRows = cc / clumpRowBytes;
    if (cc % clumpRowBytes) warningExt(h, h->fileName, "fractional scanline discarded");
    for (; clumpRows > 0; --clumpRows) {
        int clumpOffset = 0;
        for (int ci = 0; ci < c.num_components; ++ci) {
            jpeg_component_info* comp = &c.comp_info[ci];
            const int hf = comp->h_samp_factor, vf = comp->v_samp_factor;
            const JDIMENSION padded = comp->width_in_blocks * DCTSIZE;
            for (int ypos = 0; ypos < vf; ++ypos) {
                JSAMPROW out = sp->dsBuffer[ci][sp->scanCount * vf + ypos];
                const uint8_t* in = buf + clumpOffset;
                JDIMENSION x = 0;
                for (uint32_t k = 0; k < clumps && x + JDIMENSION(hf) <= padded; ++k) {
                    for (int i = 0; i < hf; ++i) out[x++] = in[i];
                    in += sp->samplesPerClump;
                }
                for (; x < padded; ++x) out[x] = x > 0 ? out[x - 1] : 0;
                clumpOffset += hf;
            }
        }
        if (++sp->scanCount >= DCTSIZE) {
            const int n = c.max_v_samp_factor * DCTSIZE;
            if (jpegWriteRawData(sp, sp->dsBuffer, n) != n) return failedEncode(sp);
            sp->scanCount = 0;
        }
        h->curRow += vs;
        buf += clumpRowBytes;
    }
    return 1;
}

} // namespace

int postEncode(TIFFHandle* h) {
    JPEGState* sp = jstate(h);
    if (!sp->haveObject || sp->isDecompressor) return 0;
    if (sp->scanCount > 0 && !writeHeldRawRows(sp)) return 0;
    return jpegFinishCompress(sp);
}

} // namespace jpegcodec
} // namespace vqtiff
