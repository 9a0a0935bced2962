// The codec registry: built-in and registered codecs by compression value,
// and the default codec methods of a handle.
#include "tiff/vqtiff_internal.h"

#include <cstring>

namespace vqtiff {

namespace {

const TIFFCodecEntry builtinCodecs[] = {
    {"None", COMPRESSION_NONE, initDumpMode},
    {"LZW", COMPRESSION_LZW, TIFFInitLZW},
    {"PackBits", COMPRESSION_PACKBITS, initPackBits},
    {"ThunderScan", 32809, initUnavailableCodec},
    {"NeXT", COMPRESSION_NEXT, initNeXT},
    {"JPEG", COMPRESSION_JPEG, TIFFInitJPEG},
    {"Old-style JPEG", COMPRESSION_OJPEG, initUnavailableCodec},
    {"CCITT RLE", COMPRESSION_CCITTRLE, initUnavailableCodec},
    {"CCITT RLE/W", 32771, initUnavailableCodec},
    {"CCITT Group 3", COMPRESSION_CCITTFAX3, initUnavailableCodec},
    {"CCITT Group 4", COMPRESSION_CCITTFAX4, initUnavailableCodec},
    {"ISO JBIG", 34661, initUnavailableCodec},
    {"Deflate", COMPRESSION_DEFLATE, TIFFInitZIP},
    {"AdobeDeflate", COMPRESSION_ADOBE_DEFLATE, TIFFInitZIP},
    {"PixarLog", 32909, initUnavailableCodec},
    {"SGILog", COMPRESSION_SGILOG, TIFFInitSGILog},
    {"SGILog24", COMPRESSION_SGILOG24, initUnavailableCodec},
    {nullptr, 0, nullptr},
};

// One allocation per registration: the link, the entry and the name.
struct RegisteredCodec {
    RegisteredCodec* next;
    TIFFCodecEntry* entry;
};
RegisteredCodec* registeredCodecs = nullptr;

int notConfigured(TIFFHandle* h) {
    const TIFFCodecEntry* c = TIFFLookupCodec(h->dir.compression);
    if (c)
        errorExt(h, h->fileName, "%s compression support is not configured", c->name);
    else
        errorExt(h, h->fileName, "%d compression support is not configured", int(h->dir.compression));
    return 0;
}

int notImplemented(TIFFHandle* h, const char* method) {
    const TIFFCodecEntry* c = TIFFLookupCodec(h->dir.compression);
    if (c)
        errorExt(h, h->fileName, "%s %s is not implemented", c->name, method);
    else
        errorExt(h, h->fileName, "Compression scheme %u %s is not implemented",
                 unsigned(h->dir.compression), method);
    return -1;
}

int noDecodeRow(TIFFHandle* h, uint8_t*, int64_t, uint16_t) { return notImplemented(h, "scanline decoding"); }
int noDecodeStrip(TIFFHandle* h, uint8_t*, int64_t, uint16_t) { return notImplemented(h, "strip decoding"); }
int noDecodeTile(TIFFHandle* h, uint8_t*, int64_t, uint16_t) { return notImplemented(h, "tile decoding"); }
int noEncodeRow(TIFFHandle* h, uint8_t*, int64_t, uint16_t) { return notImplemented(h, "scanline encoding"); }
int noEncodeStrip(TIFFHandle* h, uint8_t*, int64_t, uint16_t) { return notImplemented(h, "strip encoding"); }
int noEncodeTile(TIFFHandle* h, uint8_t*, int64_t, uint16_t) { return notImplemented(h, "tile encoding"); }
int trueMethod(TIFFHandle*) { return 1; }
int truePreMethod(TIFFHandle*, uint16_t) { return 1; }
void voidMethod(TIFFHandle*) {}
int noSeek(TIFFHandle* h, uint32_t) {
    errorExt(h, h->fileName, "Compression algorithm does not support random access");
    return 0;
}

} // namespace

void TIFFResetCodecMethods(TIFFHandle* h) {
    h->decodeStatus = 1;
    h->setupDecode = trueMethod;
    h->preDecode = truePreMethod;
    h->encodeStatus = 1;
    h->setupEncode = trueMethod;
    h->preEncode = truePreMethod;
    h->postEncode = trueMethod;
    h->decodeRow = noDecodeRow;
    h->decodeStrip = noDecodeStrip;
    h->decodeTile = noDecodeTile;
    h->encodeRow = noEncodeRow;
    h->encodeStrip = noEncodeStrip;
    h->encodeTile = noEncodeTile;
    h->closeHook = voidMethod;
    h->cleanup = voidMethod;
    h->seekRows = noSeek;
    h->defaultStripSize = defaultStripSizeMethod;
    h->defaultTileSize = defaultTileSizeMethod;
    h->flags &= ~(FLAG_NOBITREV | FLAG_NOREADRAW);
}

int initUnavailableCodec(TIFFHandle* h, int) {
    h->decodeStatus = 0;
    h->encodeStatus = 0;
    h->setupDecode = notConfigured;
    h->setupEncode = notConfigured;
    return 1;
}

const TIFFCodecEntry* TIFFLookupCodec(uint16_t scheme) {
    for (RegisteredCodec* r = registeredCodecs; r; r = r->next)
        if (r->entry->scheme == scheme) return r->entry;
    for (const TIFFCodecEntry* c = builtinCodecs; c->name; ++c)
        if (c->scheme == scheme) return c;
    return nullptr;
}

int TIFFSelectCodec(TIFFHandle* h, uint16_t scheme) {
    const TIFFCodecEntry* c = TIFFLookupCodec(scheme);
    TIFFResetCodecMethods(h);
    return c && c->init ? c->init(h, scheme) : 1;
}

TIFFCodecEntry* TIFFRegisterCODEC(uint16_t scheme, const char* name, TIFFCodecInit init) {
    size_t nameLength = std::strlen(name) + 1;
    auto* block = static_cast<uint8_t*>(
        memAlloc(sizeof(RegisteredCodec) + sizeof(TIFFCodecEntry) + nameLength));
    if (!block) {
        TIFFReportError("TIFFRegisterCODEC", "No space to register compression scheme %s", name);
        return nullptr;
    }
    auto* link = reinterpret_cast<RegisteredCodec*>(block);
    auto* entry = reinterpret_cast<TIFFCodecEntry*>(block + sizeof(RegisteredCodec));
    char* copy = reinterpret_cast<char*>(block + sizeof(RegisteredCodec) + sizeof(TIFFCodecEntry));
    memCopy(copy, name, nameLength);
    entry->name = copy;
    entry->scheme = scheme;
    entry->init = init;
    link->entry = entry;
    link->next = registeredCodecs;
    registeredCodecs = link;
    return entry;
}

void TIFFUnRegisterCODEC(TIFFCodecEntry* entry) {
    for (RegisteredCodec** p = &registeredCodecs; *p; p = &(*p)->next) {
        if ((*p)->entry == entry) {
            RegisteredCodec* dead = *p;
            *p = dead->next;
            memFree(dead);
            return;
        }
    }
    TIFFReportError("TIFFUnRegisterCODEC", "Cannot remove compression scheme %s; not registered",
                    entry->name);
}

int TIFFIsCodecAvailable(uint16_t scheme) {
    const TIFFCodecEntry* c = TIFFLookupCodec(scheme);
    return c && c->init && c->init != initUnavailableCodec;
}

TIFFCodecEntry* TIFFListCodecs() {
    TIFFCodecEntry* list = nullptr;
    size_t n = 0;
    auto append = [&](const TIFFCodecEntry& e) {
        auto* grown = static_cast<TIFFCodecEntry*>(memResize(list, (n + 1) * sizeof(TIFFCodecEntry)));
        if (!grown) {
            memFree(list);
            list = nullptr;
            return false;
        }
        list = grown;
        list[n++] = e;
        return true;
    };
    for (RegisteredCodec* r = registeredCodecs; r; r = r->next)
        if (!append(*r->entry)) return nullptr;
    for (const TIFFCodecEntry* c = builtinCodecs; c->name; ++c)
        if (TIFFIsCodecAvailable(c->scheme) && !append(*c)) return nullptr;
    if (!append(TIFFCodecEntry{nullptr, 0, nullptr})) return nullptr;
    return list;
}

int TIFFKeySet(int operation, uint32_t key) {
    static uint32_t keys[126];
    static int count = 0;
    switch (operation) {
    case 0:
        for (int i = 0; i < count; ++i)
            if (keys[i] == key) return 1;
        if (count == 126) return 0;
        keys[count++] = key;
        return 1;
    case 1:
        for (int i = 0; i < count; ++i)
            if (keys[i] == key) return 1;
        return 0;
    case 2: count = 0; return 1;
    default: return 0;
    }
}

} // namespace vqtiff
