// The directory record: the values of the current image file directory of a
// TIFF handle, with the field bits that say which tags are present.
#pragma once

#include "tiff/vqtiff.h"

namespace vqtiff {

// Field bits of the directory record.
enum : uint16_t {
    FIELD_IGNORE = 0,
    FIELD_IMAGEDIMENSIONS = 1,
    FIELD_TILEDIMENSIONS = 2,
    FIELD_RESOLUTION = 3,
    FIELD_POSITION = 4,
    FIELD_SUBFILETYPE = 5,
    FIELD_BITSPERSAMPLE = 6,
    FIELD_COMPRESSION = 7,
    FIELD_PHOTOMETRIC = 8,
    FIELD_THRESHHOLDING = 9,
    FIELD_FILLORDER = 10,
    FIELD_ORIENTATION = 15,
    FIELD_SAMPLESPERPIXEL = 16,
    FIELD_ROWSPERSTRIP = 17,
    FIELD_MINSAMPLEVALUE = 18,
    FIELD_MAXSAMPLEVALUE = 19,
    FIELD_PLANARCONFIG = 20,
    FIELD_RESOLUTIONUNIT = 22,
    FIELD_PAGENUMBER = 23,
    FIELD_STRIPBYTECOUNTS = 24,
    FIELD_STRIPOFFSETS = 25,
    FIELD_COLORMAP = 26,
    FIELD_EXTRASAMPLES = 31,
    FIELD_SAMPLEFORMAT = 32,
    FIELD_SMINSAMPLEVALUE = 33,
    FIELD_SMAXSAMPLEVALUE = 34,
    FIELD_IMAGEDEPTH = 35,
    FIELD_TILEDEPTH = 36,
    FIELD_HALFTONEHINTS = 37,
    FIELD_YCBCRSUBSAMPLING = 39,
    FIELD_YCBCRPOSITIONING = 40,
    FIELD_TRANSFERFUNCTION = 44,
    FIELD_INKNAMES = 46,
    FIELD_SUBIFD = 49,
    FIELD_CUSTOM = 65,
    FIELD_CODEC = 66, // first codec-specific bit
};
constexpr int FIELD_SETLONGS = 4;

struct TIFFCustomValue {
    const TIFFTagDef* def;
    uint32_t count;
    void* value;
};

// Strip offsets and byte counts are both 64-bit: BigTIFF byte counts are kept
// exactly, never cut to 32 bits.
struct TIFFDirRecord {
    uint32_t fieldsSet[FIELD_SETLONGS];
    uint32_t imageWidth, imageLength, imageDepth;
    uint32_t tileWidth, tileLength, tileDepth;
    uint32_t subfileType;
    uint16_t bitsPerSample, sampleFormat, compression, photometric, threshholding, fillOrder,
        orientation, samplesPerPixel;
    uint32_t rowsPerStrip;
    uint16_t minSampleValue, maxSampleValue;
    double sMinSampleValue, sMaxSampleValue;
    float xResolution, yResolution;
    uint16_t resolutionUnit, planarConfig;
    float xPosition, yPosition;
    uint16_t pageNumber[2];
    uint16_t* colorMap[3];
    uint16_t halftoneHints[2];
    uint16_t extraSamples;
    uint16_t* sampleInfo;
    uint32_t stripsPerImage, nStrips;
    uint64_t* stripOffset;
    uint64_t* stripByteCount;
    int stripByteCountSorted;
    uint16_t nSubIfd;
    uint64_t* subIfd;
    uint16_t ycbcrSubsampling[2];
    uint16_t ycbcrPositioning;
    uint16_t* transferFunction[3];
    uint32_t inkNamesLength;
    char* inkNames;
    uint32_t customValueCount;
    TIFFCustomValue* customValues;
};

} // namespace vqtiff
