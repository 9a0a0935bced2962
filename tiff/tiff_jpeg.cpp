// The JPEG codec (Compression 7), decoding side and the codec's set-up: each
// strip or tile is an
// abbreviated JPEG stream whose tables are kept once in JPEGTables. libjpeg
// does the coding; its errors come back as TIFF library errors.
//
// Calls into libjpeg go through small wrappers that set the return point
// for the error exit (setjmp/longjmp); no frame between a wrapper and libjpeg
// holds objects with destructors.
#include "tiff/tiff_jpeg_state.h"

#include <cstring>

#include <jerror.h>

namespace vqtiff {
namespace jpegcodec {

namespace {

constexpr uint32_t kTagFaxRecvParams = 34908;
constexpr uint32_t kTagFaxSubAddress = 34909;
constexpr uint32_t kTagFaxRecvTime = 34910;
constexpr uint32_t kTagFaxDcs = 34911;

const TIFFTagDef jpegTagDefs[] = {
    {TAG_JPEGTables, VARIABLE32_COUNT, VARIABLE32_COUNT, TYPE_UNDEFINED, FIELD_CODEC, 0, 1, "JPEGTables"},
    {TAG_JPEGQuality, 0, 0, TYPE_ANY, FIELD_IGNORE, 1, 0, ""},
    {TAG_JPEGColorMode, 0, 0, TYPE_ANY, FIELD_IGNORE, 0, 0, ""},
    {TAG_JPEGTablesMode, 0, 0, TYPE_ANY, FIELD_IGNORE, 0, 0, ""},
    {kTagFaxRecvParams, 1, 1, TYPE_LONG, FIELD_CODEC + 1, 1, 0, "FaxRecvParams"},
    {kTagFaxSubAddress, VARIABLE_COUNT, VARIABLE_COUNT, TYPE_ASCII, FIELD_CODEC + 2, 1, 0, "FaxSubAddress"},
    {kTagFaxRecvTime, 1, 1, TYPE_LONG, FIELD_CODEC + 3, 1, 0, "FaxRecvTime"},
    {kTagFaxDcs, VARIABLE_COUNT, VARIABLE_COUNT, TYPE_ASCII, FIELD_CODEC + 4, 1, 0, "FaxDcs"},
};

void errorExit(j_common_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    char buffer[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, buffer);
    errorExt(sp->tif, "JPEGLib", "%s", buffer);
    jpeg_abort(cinfo);
    longjmp(sp->exitJump, 1);
}

void outputMessage(j_common_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    char buffer[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, buffer);
    warningExt(sp->tif, "JPEGLib", "%s", buffer);
}

// ---- guarded calls into libjpeg ----

int jpegCreateDecompress(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    sp->cinfo.d.err = jpeg_std_error(&sp->err);
    sp->err.error_exit = errorExit;
    sp->err.output_message = outputMessage;
    jpeg_CreateDecompress(&sp->cinfo.d, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    sp->cinfo.comm.client_data = sp;
    return 1;
}
int jpegReadHeader(JPEGState* sp, bool requireImage) {
    if (setjmp(sp->exitJump)) return -1;
    return jpeg_read_header(&sp->cinfo.d, requireImage ? TRUE : FALSE);
}
int jpegStartDecompress(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    return jpeg_start_decompress(&sp->cinfo.d);
}
int jpegReadScanlines(JPEGState* sp, JSAMPARRAY rows, int count) {
    if (setjmp(sp->exitJump)) return -1;
    return int(jpeg_read_scanlines(&sp->cinfo.d, rows, JDIMENSION(count)));
}
int jpegReadRawData(JPEGState* sp, JSAMPIMAGE data, int lines) {
    if (setjmp(sp->exitJump)) return -1;
    return int(jpeg_read_raw_data(&sp->cinfo.d, data, JDIMENSION(lines)));
}
int jpegFinishDecompress(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return -1;
    return jpeg_finish_decompress(&sp->cinfo.d);
}
int jpegAbort(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_abort(&sp->cinfo.comm);
    return 1;
}
int jpegDestroy(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    jpeg_destroy(&sp->cinfo.comm);
    return 1;
}
} // namespace

JSAMPARRAY jpegAllocSarray(JPEGState* sp, JDIMENSION width, JDIMENSION rows) {
    if (setjmp(sp->exitJump)) return nullptr;
    return (*sp->cinfo.comm.mem->alloc_sarray)(&sp->cinfo.comm, JPOOL_IMAGE, width, rows);
}

namespace {

// ---- sources ----

const JOCTET fakeEOI[2] = {0xFF, JPEG_EOI};

void stdInitSource(j_decompress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    TIFFHandle* h = sp->tif;
    sp->src.next_input_byte = h->rawData;
    sp->src.bytes_in_buffer = size_t(h->rawCount > 0 ? h->rawCount : 0);
}
// Out of data: warn and hand out an end-of-image marker, so a stream cut
// short decodes what it holds.
boolean stdFillInputBuffer(j_decompress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    sp->src.next_input_byte = fakeEOI;
    sp->src.bytes_in_buffer = 2;
    return TRUE;
}
void stdSkipInputData(j_decompress_ptr cinfo, long count) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    if (count <= 0) return;
    if (size_t(count) > sp->src.bytes_in_buffer) {
        stdFillInputBuffer(cinfo);
    } else {
        sp->src.next_input_byte += count;
        sp->src.bytes_in_buffer -= size_t(count);
    }
}
void stdTermSource(j_decompress_ptr) {}

void useStripSource(JPEGState* sp) {
    sp->src.init_source = stdInitSource;
    sp->src.fill_input_buffer = stdFillInputBuffer;
    sp->src.skip_input_data = stdSkipInputData;
    sp->src.resync_to_restart = jpeg_resync_to_restart;
    sp->src.term_source = stdTermSource;
    sp->src.next_input_byte = nullptr;
    sp->src.bytes_in_buffer = 0;
    sp->cinfo.d.src = &sp->src;
}

void tablesInitSource(j_decompress_ptr cinfo) {
    auto* sp = static_cast<JPEGState*>(cinfo->client_data);
    sp->src.next_input_byte = sp->tables;
    sp->src.bytes_in_buffer = sp->tablesLength;
}

void useTablesSource(JPEGState* sp) {
    useStripSource(sp);
    sp->src.init_source = tablesInitSource;
}

} // namespace

void segmentSize(TIFFHandle* h, uint16_t sample, uint32_t* width, uint32_t* height) {
    JPEGState* sp = jstate(h);
    const TIFFDirRecord& d = h->dir;
    if (isTiled(h)) {
        *width = d.tileWidth;
        *height = d.tileLength;
        sp->bytesPerLine = TIFFTileRowSize(h);
    } else {
        *width = d.imageWidth;
        *height = d.imageLength > h->curRow ? d.imageLength - h->curRow : 0;
        if (*height > d.rowsPerStrip) *height = d.rowsPerStrip;
        sp->bytesPerLine = TIFFPlainScanlineSize(h);
    }
    if (d.planarConfig == PLANAR_SEPARATE && sample > 0) {
        *width = ceilDiv(*width, sp->hSampling);
        *height = ceilDiv(*height, sp->vSampling);
    }
}

int jpegCreateCompress(JPEGState* sp) {
    if (setjmp(sp->exitJump)) return 0;
    sp->cinfo.c.err = jpeg_std_error(&sp->err);
    sp->err.error_exit = errorExit;
    sp->err.output_message = outputMessage;
    jpeg_CreateCompress(&sp->cinfo.c, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    sp->cinfo.comm.client_data = sp;
    return 1;
}

int createObject(TIFFHandle* h, bool forceEncode, bool forceDecode) {
    JPEGState* sp = jstate(h);
    if (sp->haveObject) {
        if ((forceEncode && sp->isDecompressor) || (forceDecode && !sp->isDecompressor)) {
            jpegDestroy(sp);
            sp->haveObject = false;
        } else {
            return 1;
        }
    }
    const TIFFDirRecord& d = h->dir;
    bool empty = !d.stripByteCount || d.nStrips == 0 || d.stripByteCount[0] == 0;
    bool decompress = forceDecode || (!forceEncode && (h->openMode == OPEN_RDONLY || !empty));
    if (!(decompress ? jpegCreateDecompress(sp) : jpegCreateCompress(sp))) return 0;
    sp->haveObject = true;
    sp->isDecompressor = decompress;
    return 1;
}

namespace {

int decodePlain(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t);
int decodeRaw(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t);

int setupDecode(TIFFHandle* h) {
    JPEGState* sp = jstate(h);
    if (!createObject(h, false, true)) return 0;
    if (fieldSet(h, FIELD_CODEC)) {
        useTablesSource(sp);
        if (jpegReadHeader(sp, false) != JPEG_HEADER_TABLES_ONLY) {
            errorExt(h, "JPEGSetupDecode", "Bogus JPEGTables field");
            return 0;
        }
    }
    sp->photometric = h->dir.photometric;
    if (sp->photometric == PHOTOMETRIC_YCBCR) {
        sp->hSampling = h->dir.ycbcrSubsampling[0];
        sp->vSampling = h->dir.ycbcrSubsampling[1];
    } else {
        sp->hSampling = 1;
        sp->vSampling = 1;
    }
    useStripSource(sp);
    h->postDecode = postDecodeNone;
    return 1;
}

int preDecode(TIFFHandle* h, uint16_t sample) {
    static const char module[] = "JPEGPreDecode";
    JPEGState* sp = jstate(h);
    const TIFFDirRecord& d = h->dir;
    if (!sp->haveObject || !jpegAbort(sp)) return 0;
    if (jpegReadHeader(sp, true) != JPEG_HEADER_OK) return 0;
    uint32_t segWidth, segHeight;
    segmentSize(h, sample, &segWidth, &segHeight);
    jpeg_decompress_struct& c = sp->cinfo.d;
    if (c.image_width < segWidth || c.image_height < segHeight)
        warningExt(h, module, "Improper JPEG strip/tile size, expected %dx%d, got %dx%d", int(segWidth),
                   int(segHeight), int(c.image_width), int(c.image_height));
    if (c.image_width > segWidth || c.image_height > segHeight) {
        errorExt(h, module, "JPEG strip/tile size exceeds expected dimensions, expected %dx%d, got %dx%d",
                 int(segWidth), int(segHeight), int(c.image_width), int(c.image_height));
        return 0;
    }
    int expectedComponents = d.planarConfig == PLANAR_CONTIG ? d.samplesPerPixel : 1;
    if (c.num_components != expectedComponents || c.num_components > kMaxComponents) {
        errorExt(h, module, "Improper JPEG component count");
        return 0;
    }
    if (c.data_precision != d.bitsPerSample) {
        errorExt(h, module, "Improper JPEG data precision");
        return 0;
    }
    if (d.planarConfig == PLANAR_CONTIG) {
        int hf = c.comp_info[0].h_samp_factor, vf = c.comp_info[0].v_samp_factor;
        if (hf != sp->hSampling || vf != sp->vSampling) {
            warningExt(h, module, "Improper JPEG sampling factors %d,%d\nApparently should be %d,%d.", hf, vf,
                       int(sp->hSampling), int(sp->vSampling));
            if (hf > sp->hSampling || vf > sp->vSampling) {
                errorExt(h, module, "Cannot honour JPEG sampling factors that exceed those specified.");
                return 0;
            }
            if (!findTagDef(h, 33918, TYPE_ANY)) {
                warningExt(h, module, "Decompressor will try reading with sampling %d,%d.", hf, vf);
                sp->hSampling = uint16_t(hf);
                sp->vSampling = uint16_t(vf);
            }
        }
        for (int ci = 1; ci < c.num_components; ++ci) {
            if (c.comp_info[ci].h_samp_factor != 1 || c.comp_info[ci].v_samp_factor != 1) {
                errorExt(h, module, "Improper JPEG sampling factors");
                return 0;
            }
        }
    } else if (c.comp_info[0].h_samp_factor != 1 || c.comp_info[0].v_samp_factor != 1) {
        errorExt(h, module, "Improper JPEG sampling factors");
        return 0;
    }
    bool downsampled = false;
    if (d.planarConfig == PLANAR_CONTIG && sp->photometric == PHOTOMETRIC_YCBCR &&
        sp->colorMode == JPEGCOLORMODE_RGB) {
        c.jpeg_color_space = JCS_YCbCr;
        c.out_color_space = JCS_RGB;
    } else {
        c.jpeg_color_space = JCS_UNKNOWN;
        c.out_color_space = JCS_UNKNOWN;
        if (d.planarConfig == PLANAR_CONTIG && (sp->hSampling != 1 || sp->vSampling != 1)) downsampled = true;
    }
    if (downsampled) {
        c.raw_data_out = TRUE;
        h->decodeRow = h->decodeStrip = h->decodeTile = decodeRaw;
    } else {
        c.raw_data_out = FALSE;
        h->decodeRow = h->decodeStrip = h->decodeTile = decodePlain;
    }
    if (!jpegStartDecompress(sp)) return 0;
    if (downsampled) {
        sp->samplesPerClump = 0;
        uint32_t clumps = c.num_components > 1 ? c.comp_info[1].downsampled_width : 0;
        for (int ci = 0; ci < c.num_components; ++ci) {
            jpeg_component_info* comp = &c.comp_info[ci];
            sp->samplesPerClump += comp->h_samp_factor * comp->v_samp_factor;
            // Every clump row reads clumps x h samples of each component row.
            if (uint64_t(clumps) * comp->h_samp_factor > uint64_t(comp->width_in_blocks) * DCTSIZE) {
                errorExt(h, module, "Improper JPEG sampling factors");
                return 0;
            }
            sp->dsBuffer[ci] = jpegAllocSarray(sp, comp->width_in_blocks * DCTSIZE,
                                               JDIMENSION(comp->v_samp_factor * DCTSIZE));
            if (!sp->dsBuffer[ci]) return 0;
        }
        sp->scanCount = DCTSIZE; // empty
    }
    return 1;
}

int decodePlain(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t) {
    JPEGState* sp = jstate(h);
    jpeg_decompress_struct& c = sp->cinfo.d;
    if (sp->bytesPerLine <= 0) return 0;
    int64_t nrows = cc / sp->bytesPerLine;
    if (cc % sp->bytesPerLine) warningExt(h, h->fileName, "fractional scanline not read");
    int64_t left = int64_t(c.output_height) - int64_t(c.output_scanline);
    if (nrows > left) nrows = left;
    // A scanline of the JPEG image never exceeds the line the caller has room for.
    if (int64_t(c.output_width) * c.output_components > sp->bytesPerLine) return 0;
    for (; nrows > 0; --nrows) {
        JSAMPROW row = buf;
        if (jpegReadScanlines(sp, &row, 1) != 1) return 0;
        ++h->curRow;
        buf += sp->bytesPerLine;
    }
    if (c.output_scanline == c.output_height) jpegFinishDecompress(sp);
    return 1;
}

int decodeRaw(TIFFHandle* h, uint8_t* buf, int64_t cc, uint16_t) {
    JPEGState* sp = jstate(h);
    jpeg_decompress_struct& c = sp->cinfo.d;
    const int v = sp->vSampling;
    const uint32_t clumps = c.comp_info[1].downsampled_width;
    const int64_t clumpRowBytes = int64_t(clumps) * sp->samplesPerClump;
    if (clumpRowBytes <= 0 || cc < clumpRowBytes) {
        errorExt(h, h->fileName, "JPEG raw data request smaller than one row of sampling blocks");
        return 0;
    }
    int64_t imageRows = int64_t(c.image_height);
    int64_t done = 0;
    while (cc >= clumpRowBytes && done < imageRows) {
        if (sp->scanCount >= DCTSIZE) {
            int n = c.max_v_samp_factor * DCTSIZE;
            if (jpegReadRawData(sp, sp->dsBuffer, n) != n) return 0;
            sp->scanCount = 0;
        }
        int clumpOffset = 0;
        for (int ci = 0; ci < c.num_components; ++ci) {
            jpeg_component_info* comp = &c.comp_info[ci];
            int hs = comp->h_samp_factor, vs = comp->v_samp_factor;
            for (int ypos = 0; ypos < vs; ++ypos) {
                const JSAMPLE* in = sp->dsBuffer[ci][sp->scanCount * vs + ypos];
                uint8_t* out = buf + clumpOffset;
                for (uint32_t k = 0; k < clumps; ++k) {
                    for (int x = 0; x < hs; ++x) out[x] = *in++;
                    out += sp->samplesPerClump;
                }
                clumpOffset += hs;
            }
        }
        ++sp->scanCount;
        h->curRow += uint32_t(v);
        buf += clumpRowBytes;
        cc -= clumpRowBytes;
        done += v;
    }
    if (c.output_scanline >= c.output_height) jpegFinishDecompress(sp);
    return 1;
}

void recomputeUpsampling(TIFFHandle* h) {
    JPEGState* sp = jstate(h);
    if (h->dir.planarConfig == PLANAR_CONTIG && h->dir.photometric == PHOTOMETRIC_YCBCR &&
        sp->colorMode == JPEGCOLORMODE_RGB)
        h->flags |= FLAG_UPSAMPLED;
    else
        h->flags &= ~FLAG_UPSAMPLED;
    h->tileByteSize = isTiled(h) ? int64_t(TIFFWholeTileSize(h)) : -1;
}

int vsetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    JPEGState* sp = jstate(h);
    switch (tag) {
    case TAG_JPEGTables: {
        uint32_t n = va_arg(ap, uint32_t);
        const void* bytes = va_arg(ap, const void*);
        if (n == 0) return 0;
        replaceBytes(reinterpret_cast<void**>(&sp->tables), bytes, n);
        sp->tablesLength = sp->tables ? n : 0;
        break;
    }
    case TAG_JPEGQuality: sp->quality = va_arg(ap, int); return 1;
    case TAG_JPEGTablesMode: sp->tablesMode = va_arg(ap, int); return 1;
    case TAG_JPEGColorMode:
        sp->colorMode = va_arg(ap, int);
        recomputeUpsampling(h);
        return 1;
    case TAG_PhotometricInterpretation: {
        int r = sp->setParent(h, tag, ap);
        recomputeUpsampling(h);
        return r;
    }
    case TAG_YCbCrSubsampling:
        sp->subsamplingSet = true;
        return sp->setParent(h, tag, ap);
    case kTagFaxRecvParams: sp->recvParams = va_arg(ap, uint32_t); break;
    case kTagFaxRecvTime: sp->recvTime = va_arg(ap, uint32_t); break;
    case kTagFaxSubAddress: replaceString(&sp->subAddress, va_arg(ap, const char*)); break;
    case kTagFaxDcs: replaceString(&sp->faxDcs, va_arg(ap, const char*)); break;
    default: return sp->setParent(h, tag, ap);
    }
    const TIFFTagDef* def = TIFFFieldWithTag(h, tag);
    if (!def) return 0;
    setFieldBit(h, def->fieldBit);
    h->flags |= FLAG_DIRTYDIRECT;
    return 1;
}

// Files without YCbCrSubsampling in their directory: believe the factors
// of the first strip's or tile's JPEG data.
void samplingFixup(TIFFHandle* h) {
    JPEGState* sp = jstate(h);
    if (!createObject(h, false, false)) return;
    sp = jstate(h);
    if (!sp->isDecompressor || sp->subsamplingSet || h->dir.photometric != PHOTOMETRIC_YCBCR) return;
    sp->subsamplingSet = true;
    if (h->dir.nStrips == 0) return;
    int ok = isTiled(h) ? TIFFFillTile(h, 0) : TIFFFillStrip(h, 0);
    if (ok) {
        sp = jstate(h);
        h->dir.ycbcrSubsampling[0] = sp->hSampling;
        h->dir.ycbcrSubsampling[1] = sp->vSampling;
    }
}

// Tag 530 answers only when the directory held it or the data gave it: an
// RGB image has no subsampling to report.
int vgetField(TIFFHandle* h, uint32_t tag, va_list ap) {
    JPEGState* sp = jstate(h);
    switch (tag) {
    case TAG_JPEGTables:
        *va_arg(ap, uint32_t*) = sp->tablesLength;
        *va_arg(ap, void**) = sp->tables;
        return 1;
    case TAG_JPEGQuality: *va_arg(ap, int*) = sp->quality; return 1;
    case TAG_JPEGColorMode: *va_arg(ap, int*) = sp->colorMode; return 1;
    case TAG_JPEGTablesMode: *va_arg(ap, int*) = sp->tablesMode; return 1;
    case kTagFaxRecvParams: *va_arg(ap, uint32_t*) = sp->recvParams; return 1;
    case kTagFaxRecvTime: *va_arg(ap, uint32_t*) = sp->recvTime; return 1;
    case kTagFaxSubAddress: *va_arg(ap, char**) = sp->subAddress; return 1;
    case kTagFaxDcs: *va_arg(ap, char**) = sp->faxDcs; return 1;
    case TAG_YCbCrSubsampling:
        samplingFixup(h);
        // A handle being written reports the directory's values.
        if (!jstate(h)->subsamplingSet && jstate(h)->isDecompressor) return 0;
        return jstate(h)->getParent(h, tag, ap);
    default: return sp->getParent(h, tag, ap);
    }
}

void printDir(TIFFHandle* h, FILE* fd, long flags) {
    JPEGState* sp = jstate(h);
    if (fieldSet(h, FIELD_CODEC)) std::fprintf(fd, "  JPEG Tables: (%lu bytes)\n", (unsigned long)sp->tablesLength);
    if (fieldSet(h, FIELD_CODEC + 1)) std::fprintf(fd, "  Fax Receive Parameters: %08lx\n", (unsigned long)sp->recvParams);
    if (fieldSet(h, FIELD_CODEC + 2)) std::fprintf(fd, "  Fax SubAddress: %s\n", sp->subAddress);
    if (fieldSet(h, FIELD_CODEC + 3)) std::fprintf(fd, "  Fax Receive Time: %lu secs\n", (unsigned long)sp->recvTime);
    if (fieldSet(h, FIELD_CODEC + 4)) std::fprintf(fd, "  Fax DCS: %s\n", sp->faxDcs);
    if (sp->printParent) sp->printParent(h, fd, flags);
}

uint32_t defaultStripSize(TIFFHandle* h, uint32_t rows) {
    JPEGState* sp = jstate(h);
    rows = sp->stripSizeParent(h, rows);
    if (rows < h->dir.imageLength) {
        uint32_t unit = uint32_t(h->dir.ycbcrSubsampling[1]) * DCTSIZE;
        if (unit) rows = ceilDiv(rows, unit) * unit;
    }
    return rows;
}

void defaultTileSize(TIFFHandle* h, uint32_t* width, uint32_t* length) {
    JPEGState* sp = jstate(h);
    sp->tileSizeParent(h, width, length);
    uint32_t uw = uint32_t(h->dir.ycbcrSubsampling[0]) * DCTSIZE;
    uint32_t ul = uint32_t(h->dir.ycbcrSubsampling[1]) * DCTSIZE;
    if (uw) *width = ceilDiv(*width, uw) * uw;
    if (ul) *length = ceilDiv(*length, ul) * ul;
}

void cleanup(TIFFHandle* h) {
    JPEGState* sp = jstate(h);
    if (sp) {
        h->getFieldHook = sp->getParent;
        h->setFieldHook = sp->setParent;
        h->printDirectoryHook = sp->printParent;
        if (sp->haveObject) jpegDestroy(sp);
        memFree(sp->tables);
        memFree(sp->subAddress);
        memFree(sp->faxDcs);
        memFree(sp);
        h->codecState = nullptr;
    }
    h->flags &= ~FLAG_UPSAMPLED;
    TIFFResetCodecMethods(h);
}

} // namespace
} // namespace jpegcodec

using namespace jpegcodec;

int TIFFInitJPEG(TIFFHandle* h, int) {
    static const char module[] = "TIFFInitJPEG";
    if (!_TIFFMergeFieldInfo(h, jpegTagDefs, sizeof(jpegTagDefs) / sizeof(jpegTagDefs[0]))) {
        errorExt(h, module, "Merging JPEG codec-specific tags failed");
        return 0;
    }
    auto* sp = static_cast<JPEGState*>(memAlloc(sizeof(JPEGState)));
    if (!sp) {
        errorExt(h, module, "No space for JPEG state block");
        return 0;
    }
    memFill(sp, 0, sizeof(JPEGState));
    h->codecState = sp;
    sp->tif = h;
    sp->getParent = h->getFieldHook;
    h->getFieldHook = vgetField;
    sp->setParent = h->setFieldHook;
    h->setFieldHook = vsetField;
    sp->printParent = h->printDirectoryHook;
    h->printDirectoryHook = printDir;
    sp->quality = 75;
    sp->colorMode = JPEGCOLORMODE_RAW;
    sp->tablesMode = 3;
    h->setupDecode = setupDecode;
    h->preDecode = preDecode;
    h->decodeRow = decodePlain;
    h->decodeStrip = decodePlain;
    h->decodeTile = decodePlain;
    h->setupEncode = setupEncode;
    h->preEncode = preEncode;
    h->postEncode = postEncode;
    h->encodeRow = encodePlain;
    h->encodeStrip = encodePlain;
    h->encodeTile = encodePlain;
    h->cleanup = cleanup;
    sp->stripSizeParent = h->defaultStripSize;
    h->defaultStripSize = defaultStripSize;
    sp->tileSizeParent = h->defaultTileSize;
    h->defaultTileSize = defaultTileSize;
    h->flags |= FLAG_NOBITREV;
    // A directory not yet written reserves room for the tables encoding makes.
    if (h->dirOffset == 0) {
        sp->tables = static_cast<uint8_t*>(memAlloc(2000));
        if (sp->tables) {
            memFill(sp->tables, 0, 2000);
            sp->tablesLength = 2000;
            setFieldBit(h, FIELD_CODEC);
        }
    }
    setFieldBit(h, FIELD_YCBCRSUBSAMPLING);
    return 1;
}

} // namespace vqtiff
