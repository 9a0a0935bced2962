// The project's own TIFF and BigTIFF library: opening over client procedures,
// directory reading, navigation and writing with 64-bit offsets (a classic
// file being written turns into BigTIFF in place past 4 GiB), tag values,
// strip and tile geometry, and reading and writing of strips, tiles and rows
// through the codecs None, LZW, PackBits, NeXT (reading), Deflate, JPEG and
// SGILog.
//
// Everything lives in namespace vqtiff. Operations return 1 for success and 0
// for failure; operations that move image bytes return a byte count, -1 for
// failure. Every problem is reported once through the process-wide warning
// and error handlers; nothing prints or throws.
#pragma once

// Only this library may be used: a foreign TIFF library's headers would give
// the same names other meanings.
#if defined(TIFFLIB_VERSION) || defined(_TIFF_) || defined(_TIFFVERS_)
#error "a foreign TIFF library header has been included; use tiff/vqtiff.h only"
#endif

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#define VQTIFF_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))

namespace vqtiff {

struct TIFFHandle;

// Data type codes of classic TIFF and BigTIFF.
enum TIFFDataType : uint32_t {
    TYPE_NOTYPE = 0, // in a lookup: any type
    TYPE_BYTE = 1,
    TYPE_ASCII = 2,
    TYPE_SHORT = 3,
    TYPE_LONG = 4,
    TYPE_RATIONAL = 5,
    TYPE_SBYTE = 6,
    TYPE_UNDEFINED = 7,
    TYPE_SSHORT = 8,
    TYPE_SLONG = 9,
    TYPE_SRATIONAL = 10,
    TYPE_FLOAT = 11,
    TYPE_DOUBLE = 12,
    TYPE_IFD = 13,
    TYPE_LONG8 = 16,
    TYPE_SLONG8 = 17,
    TYPE_IFD8 = 18,
};
constexpr uint32_t TYPE_ANY = TYPE_NOTYPE;

// Tag numbers the library knows by name. Numbers above 65535 are pseudo-tags:
// codec settings that are never written to a file.
enum TIFFTag : uint32_t {
    TAG_SubfileType = 254,
    TAG_OldSubfileType = 255,
    TAG_ImageWidth = 256,
    TAG_ImageLength = 257,
    TAG_BitsPerSample = 258,
    TAG_Compression = 259,
    TAG_PhotometricInterpretation = 262,
    TAG_Threshholding = 263,
    TAG_FillOrder = 266,
    TAG_DocumentName = 269,
    TAG_ImageDescription = 270,
    TAG_Make = 271,
    TAG_Model = 272,
    TAG_StripOffsets = 273,
    TAG_Orientation = 274,
    TAG_SamplesPerPixel = 277,
    TAG_RowsPerStrip = 278,
    TAG_StripByteCounts = 279,
    TAG_MinSampleValue = 280,
    TAG_MaxSampleValue = 281,
    TAG_XResolution = 282,
    TAG_YResolution = 283,
    TAG_PlanarConfiguration = 284,
    TAG_XPosition = 286,
    TAG_YPosition = 287,
    TAG_ResolutionUnit = 296,
    TAG_PageNumber = 297,
    TAG_TransferFunction = 301,
    TAG_Software = 305,
    TAG_DateTime = 306,
    TAG_Predictor = 317,
    TAG_ColorMap = 320,
    TAG_HalftoneHints = 321,
    TAG_TileWidth = 322,
    TAG_TileLength = 323,
    TAG_TileOffsets = 324,
    TAG_TileByteCounts = 325,
    TAG_SubIFD = 330,
    TAG_InkNames = 333,
    TAG_DotRange = 336,
    TAG_ExtraSamples = 338,
    TAG_SampleFormat = 339,
    TAG_SMinSampleValue = 340,
    TAG_SMaxSampleValue = 341,
    TAG_JPEGTables = 347,
    TAG_YCbCrCoefficients = 529,
    TAG_YCbCrSubsampling = 530,
    TAG_YCbCrPositioning = 531,
    TAG_ReferenceBlackWhite = 532,
    TAG_XMLPacket = 700,
    TAG_Matteing = 32995,
    TAG_DataType = 32996,
    TAG_ImageDepth = 32997,
    TAG_TileDepth = 32998,
    TAG_Copyright = 33432,
    TAG_ICCProfile = 34675,
    TAG_JPEGQuality = 65537,   // pseudo-tag: JPEG quality, default 75
    TAG_JPEGColorMode = 65538, // pseudo-tag: 0 raw, 1 YCbCr converted to RGB
    TAG_JPEGTablesMode = 65539,
    TAG_ZipQuality = 65557,    // pseudo-tag: Deflate level, -1 default
    TAG_SGILogDataFmt = 65560, // pseudo-tag: caller's data, 0 float, 1 16-bit, 2 raw, 3 8-bit
    TAG_SGILogEncode = 65561,  // pseudo-tag: 0 plain, 1 dithered encoding
};

enum : uint16_t {
    COMPRESSION_NONE = 1,
    COMPRESSION_CCITTRLE = 2,
    COMPRESSION_CCITTFAX3 = 3,
    COMPRESSION_CCITTFAX4 = 4,
    COMPRESSION_LZW = 5,
    COMPRESSION_OJPEG = 6,
    COMPRESSION_JPEG = 7,
    COMPRESSION_ADOBE_DEFLATE = 8,
    COMPRESSION_NEXT = 32766,
    COMPRESSION_PACKBITS = 32773,
    COMPRESSION_DEFLATE = 32946,
    COMPRESSION_SGILOG = 34676,
    COMPRESSION_SGILOG24 = 34677,
};

enum : uint16_t {
    PHOTOMETRIC_MINISWHITE = 0,
    PHOTOMETRIC_MINISBLACK = 1,
    PHOTOMETRIC_RGB = 2,
    PHOTOMETRIC_PALETTE = 3,
    PHOTOMETRIC_SEPARATED = 5,
    PHOTOMETRIC_YCBCR = 6,
    PHOTOMETRIC_LOGL = 32844,
    PHOTOMETRIC_LOGLUV = 32845,
};
enum : uint16_t { PLANAR_CONTIG = 1, PLANAR_SEPARATE = 2 };
enum : uint16_t { SAMPLEFORMAT_UINT = 1, SAMPLEFORMAT_INT = 2, SAMPLEFORMAT_IEEEFP = 3, SAMPLEFORMAT_VOID = 4 };
enum : int { JPEGCOLORMODE_RAW = 0, JPEGCOLORMODE_RGB = 1 };

// Special read and write counts of a tag definition.
constexpr int16_t VARIABLE_COUNT = -1;   // count passed as a 16-bit number
constexpr int16_t SPP_COUNT = -2;        // one value per sample
constexpr int16_t VARIABLE32_COUNT = -3; // count passed as a 32-bit number

// One tag definition: what a tag is called, its type, its counts and where
// its value lives in the directory record (field bit).
struct TIFFTagDef {
    uint32_t tag;
    int16_t readCount;
    int16_t writeCount;
    uint32_t type;
    uint16_t fieldBit;  // 0 ignored/pseudo, 1-49 named fields, 65 custom, 66+ codec
    uint8_t okToChange; // may still change once image data has been written
    uint8_t passCount;  // the value is passed with its count
    const char* name;
};

// Client procedures; each receives the client value given to TIFFClientOpen.
using TIFFReadWriteProc = int64_t (*)(void* clientData, void* buffer, int64_t count);
using TIFFSeekProc = uint64_t (*)(void* clientData, uint64_t offset, int origin);
using TIFFCloseProc = int (*)(void* clientData);
using TIFFSizeProc = uint64_t (*)(void* clientData);
using TIFFMapFileProc = int (*)(void* clientData, void** base, uint64_t* size);
using TIFFUnmapFileProc = void (*)(void* clientData, void* base, uint64_t size);

// Message handlers: plain (module, format, arguments) and with client data.
using TIFFMessageHandler = void (*)(const char* module, const char* format, va_list args);
using TIFFMessageHandlerExt = void (*)(void* clientData, const char* module, const char* format,
                                       va_list args);

using TIFFCodecInit = int (*)(TIFFHandle* handle, int scheme);
struct TIFFCodecEntry {
    const char* name;
    uint16_t scheme;
    TIFFCodecInit init;
};

// ---- diagnostics ----
TIFFMessageHandler TIFFInstallWarningHandler(TIFFMessageHandler handler);
TIFFMessageHandlerExt TIFFInstallWarningHandlerExt(TIFFMessageHandlerExt handler);
TIFFMessageHandler TIFFInstallErrorHandler(TIFFMessageHandler handler);
TIFFMessageHandlerExt TIFFInstallErrorHandlerExt(TIFFMessageHandlerExt handler);
void TIFFReportWarning(const char* module, const char* format, ...) VQTIFF_PRINTF(2, 3);
void TIFFReportWarningExt(void* clientData, const char* module, const char* format, ...)
    VQTIFF_PRINTF(3, 4);
void TIFFReportError(const char* module, const char* format, ...) VQTIFF_PRINTF(2, 3);
void TIFFReportErrorExt(void* clientData, const char* module, const char* format, ...)
    VQTIFF_PRINTF(3, 4);

// ---- opening and closing ----
// Mode letters: r, r+, w, a first; then 8 (BigTIFF), 4 (classic only), B/L/H
// fill order, M/m mapping on/off, C/c strip chopping on/off, b big-endian new
// file, h header only.
TIFFHandle* TIFFClientOpen(const char* name, const char* mode, void* clientData,
                           TIFFReadWriteProc readProc, TIFFReadWriteProc writeProc,
                           TIFFSeekProc seekProc, TIFFCloseProc closeProc, TIFFSizeProc sizeProc,
                           TIFFMapFileProc mapProc, TIFFUnmapFileProc unmapProc);
// Opens a file by name through the POSIX file layer.
TIFFHandle* TIFFOpen(const char* path, const char* mode);
// Opens over an already open POSIX file descriptor, which the handle then owns.
TIFFHandle* TIFFOpenDescriptor(int fd, const char* name, const char* mode);
// Releases the handle and then calls the close procedure once.
void TIFFCloseFile(TIFFHandle* handle);
// Releases the handle without closing the client's file.
void TIFFReleaseHandle(TIFFHandle* handle);

const char* TIFFFileName(const TIFFHandle* handle);
const char* TIFFSetFileName(TIFFHandle* handle, const char* name);
int TIFFFileDescriptor(const TIFFHandle* handle);
int TIFFSetFileDescriptor(TIFFHandle* handle, int fd);
void* TIFFClientData(const TIFFHandle* handle);
void* TIFFSetClientData(TIFFHandle* handle, void* clientData);
int TIFFOpenMode(const TIFFHandle* handle);
int TIFFSetOpenMode(TIFFHandle* handle, int mode);
uint32_t TIFFCurrentRow(const TIFFHandle* handle);
uint16_t TIFFCurrentDirectory(const TIFFHandle* handle);
uint32_t TIFFCurrentStrip(const TIFFHandle* handle);
uint32_t TIFFCurrentTile(const TIFFHandle* handle);
int TIFFHasTiles(const TIFFHandle* handle);
int TIFFUsesBigTIFF(const TIFFHandle* handle);
int TIFFIsByteSwapped(const TIFFHandle* handle);
int TIFFIsUpSampled(const TIFFHandle* handle);
int TIFFIsMSB2LSB(const TIFFHandle* handle);
int TIFFIsBigEndian(const TIFFHandle* handle);
TIFFReadWriteProc TIFFGetReadProc(const TIFFHandle* handle);
TIFFReadWriteProc TIFFGetWriteProc(const TIFFHandle* handle);
TIFFSeekProc TIFFGetSeekProc(const TIFFHandle* handle);
TIFFCloseProc TIFFGetCloseProc(const TIFFHandle* handle);
TIFFSizeProc TIFFGetSizeProc(const TIFFHandle* handle);
TIFFMapFileProc TIFFGetMapFileProc(const TIFFHandle* handle);
TIFFUnmapFileProc TIFFGetUnmapFileProc(const TIFFHandle* handle);

// ---- tag values of the current directory ----
// 16-bit values are passed as int, floating values as double. Offsets and byte
// counts come back as pointers to 64-bit arrays.
int TIFFSetField(TIFFHandle* handle, uint32_t tag, ...);
int TIFFSetFieldArgs(TIFFHandle* handle, uint32_t tag, va_list args);
int TIFFQueryField(TIFFHandle* handle, uint32_t tag, ...);
int TIFFQueryFieldArgs(TIFFHandle* handle, uint32_t tag, va_list args);
int TIFFQueryFieldDefaulted(TIFFHandle* handle, uint32_t tag, ...);
int TIFFQueryFieldDefaultedArgs(TIFFHandle* handle, uint32_t tag, va_list args);

const TIFFTagDef* TIFFFieldWithTag(TIFFHandle* handle, uint32_t tag);
const TIFFTagDef* TIFFFieldWithName(TIFFHandle* handle, const char* name);
int TIFFMergeFieldInfo(TIFFHandle* handle, const TIFFTagDef* table, int count);
int TIFFTypeWidth(uint32_t type);

// ---- directories ----
int TIFFReadDirectory(TIFFHandle* handle);
int TIFFReadCustomDirectory(TIFFHandle* handle, uint64_t offset, const TIFFTagDef* table,
                            int count);
int TIFFReadExifIfd(TIFFHandle* handle, uint64_t offset);
uint16_t TIFFCountDirectories(TIFFHandle* handle);
int TIFFSelectDirectory(TIFFHandle* handle, uint16_t n);
int TIFFSelectDirectoryAt(TIFFHandle* handle, uint64_t offset);
uint64_t TIFFDirectoryOffset(const TIFFHandle* handle);
int TIFFIsLastDirectory(const TIFFHandle* handle);
int TIFFAdvanceDirectory(TIFFHandle* handle, uint64_t* offset, uint64_t* linkOffset);
int TIFFUnlinkDirectory(TIFFHandle* handle, uint16_t n);

// ---- codecs ----
const TIFFCodecEntry* TIFFLookupCodec(uint16_t scheme);
TIFFCodecEntry* TIFFRegisterCODEC(uint16_t scheme, const char* name, TIFFCodecInit init);
void TIFFUnRegisterCODEC(TIFFCodecEntry* entry);
TIFFCodecEntry* TIFFListCodecs();
int TIFFIsCodecAvailable(uint16_t scheme);

// ---- geometry of the current directory ----
uint32_t TIFFStripOfRow(TIFFHandle* handle, uint32_t row, uint16_t sample);
uint32_t TIFFNumberOfStrips(TIFFHandle* handle);
uint32_t TIFFVStripSize(TIFFHandle* handle, uint32_t rows);
uint32_t TIFFWholeStripSize(TIFFHandle* handle);
int64_t TIFFStoredStripSize(TIFFHandle* handle, uint32_t strip);
// Stored byte count of strip or tile `index` when all of its bytes lie
// inside the file; -1, with an error, when they do not or the count is 0.
int64_t TIFFStoredSizeInFile(TIFFHandle* handle, uint32_t index);
uint32_t TIFFScanlineSize(TIFFHandle* handle);
uint32_t TIFFPlainScanlineSize(TIFFHandle* handle);
uint32_t TIFFPackedScanlineSize(TIFFHandle* handle);
uint32_t TIFFRasterScanlineSize(TIFFHandle* handle);
uint32_t TIFFSuggestStripRows(TIFFHandle* handle, uint32_t requestedRows);
uint32_t TIFFTileOfPixel(TIFFHandle* handle, uint32_t x, uint32_t y, uint32_t z, uint16_t sample);
int TIFFValidateTile(TIFFHandle* handle, uint32_t x, uint32_t y, uint32_t z, uint16_t sample);
uint32_t TIFFNumberOfTiles(TIFFHandle* handle);
uint32_t TIFFTileRowSize(TIFFHandle* handle);
uint32_t TIFFVTileSize(TIFFHandle* handle, uint32_t rows);
uint32_t TIFFWholeTileSize(TIFFHandle* handle);
void TIFFSuggestTileSize(TIFFHandle* handle, uint32_t* width, uint32_t* length);

// ---- reading ----
int TIFFReadRow(TIFFHandle* handle, void* buffer, uint32_t row, uint16_t sample);
int64_t TIFFReadDecodedStrip(TIFFHandle* handle, uint32_t strip, void* buffer, int64_t size);
int64_t TIFFReadRawStrip(TIFFHandle* handle, uint32_t strip, void* buffer, int64_t size);
int64_t TIFFReadEncodedTile(TIFFHandle* handle, uint32_t tile, void* buffer, int64_t size);
int64_t TIFFReadRawTile(TIFFHandle* handle, uint32_t tile, void* buffer, int64_t size);
int64_t TIFFReadTileAt(TIFFHandle* handle, void* buffer, uint32_t x, uint32_t y, uint32_t z,
                       uint16_t sample);
int TIFFFillStrip(TIFFHandle* handle, uint32_t strip);
int TIFFFillTile(TIFFHandle* handle, uint32_t tile);
int TIFFReadBufferSetup(TIFFHandle* handle, void* buffer, int64_t size);

// ---- writing ----
// Directories: written at the end of the file and linked into the chain (or
// into the SubIFD slots of their parent); a finishing write starts a fresh
// empty directory.
int TIFFWriteCurrentDirectory(TIFFHandle* handle);
int TIFFCheckpointCurrentDirectory(TIFFHandle* handle);
int TIFFRewriteDirectory(TIFFHandle* handle);
// Image data of the current directory.
int TIFFWriteScanline(TIFFHandle* handle, void* buffer, uint32_t row, uint16_t sample);
int64_t TIFFWriteEncodedStrip(TIFFHandle* handle, uint32_t strip, void* data, int64_t count);
int64_t TIFFWriteRawStrip(TIFFHandle* handle, uint32_t strip, const void* data, int64_t count);
int64_t TIFFWriteEncodedTile(TIFFHandle* handle, uint32_t tile, void* data, int64_t count);
int64_t TIFFWriteRawTile(TIFFHandle* handle, uint32_t tile, const void* data, int64_t count);
int64_t TIFFWriteTileAt(TIFFHandle* handle, void* buffer, uint32_t x, uint32_t y, uint32_t z,
                        uint16_t sample);
// Pushes out pending encoded data and writes a directory that holds data.
int TIFFFlushFile(TIFFHandle* handle);
void TIFFSetWritePosition(TIFFHandle* handle, uint64_t position);

} // namespace vqtiff
