// Tag definitions: the built-in tag tables, data type widths, and how a
// handle's sorted table of definitions is installed, merged and searched.
#include "tiff/vqtiff_internal.h"

#include <algorithm>
#include <cstring>

namespace vqtiff {

namespace {

const TIFFTagDef tiffTagTable[] = {
    {254, 1, 1, TYPE_LONG, 5, 1, 0, "SubfileType"},
    {254, 1, 1, TYPE_SHORT, 5, 1, 0, "SubfileType"},
    {255, 1, 1, TYPE_SHORT, 5, 1, 0, "OldSubfileType"},
    {256, 1, 1, TYPE_LONG, 1, 0, 0, "ImageWidth"},
    {256, 1, 1, TYPE_SHORT, 1, 0, 0, "ImageWidth"},
    {257, 1, 1, TYPE_LONG, 1, 1, 0, "ImageLength"},
    {257, 1, 1, TYPE_SHORT, 1, 1, 0, "ImageLength"},
    {258, -1, -1, TYPE_SHORT, 6, 0, 0, "BitsPerSample"},
    {258, -1, -1, TYPE_LONG, 6, 0, 0, "BitsPerSample"},
    {259, -1, 1, TYPE_SHORT, 7, 0, 0, "Compression"},
    {259, -1, 1, TYPE_LONG, 7, 0, 0, "Compression"},
    {262, 1, 1, TYPE_SHORT, 8, 0, 0, "PhotometricInterpretation"},
    {262, 1, 1, TYPE_LONG, 8, 0, 0, "PhotometricInterpretation"},
    {263, 1, 1, TYPE_SHORT, 9, 1, 0, "Threshholding"},
    {264, 1, 1, TYPE_SHORT, 0, 1, 0, "CellWidth"},
    {265, 1, 1, TYPE_SHORT, 0, 1, 0, "CellLength"},
    {266, 1, 1, TYPE_SHORT, 10, 0, 0, "FillOrder"},
    {273, -1, -1, TYPE_LONG8, 25, 0, 0, "StripOffsets"},
    {273, -1, -1, TYPE_LONG, 25, 0, 0, "StripOffsets"},
    {273, -1, -1, TYPE_SHORT, 25, 0, 0, "StripOffsets"},
    {274, 1, 1, TYPE_SHORT, 15, 0, 0, "Orientation"},
    {277, 1, 1, TYPE_SHORT, 16, 0, 0, "SamplesPerPixel"},
    {278, 1, 1, TYPE_LONG, 17, 0, 0, "RowsPerStrip"},
    {278, 1, 1, TYPE_SHORT, 17, 0, 0, "RowsPerStrip"},
    {279, -1, -1, TYPE_LONG8, 24, 0, 0, "StripByteCounts"},
    {279, -1, -1, TYPE_LONG, 24, 0, 0, "StripByteCounts"},
    {279, -1, -1, TYPE_SHORT, 24, 0, 0, "StripByteCounts"},
    {280, -2, -1, TYPE_SHORT, 18, 1, 0, "MinSampleValue"},
    {281, -2, -1, TYPE_SHORT, 19, 1, 0, "MaxSampleValue"},
    {282, 1, 1, TYPE_RATIONAL, 3, 1, 0, "XResolution"},
    {283, 1, 1, TYPE_RATIONAL, 3, 1, 0, "YResolution"},
    {284, 1, 1, TYPE_SHORT, 20, 0, 0, "PlanarConfiguration"},
    {286, 1, 1, TYPE_RATIONAL, 4, 1, 0, "XPosition"},
    {287, 1, 1, TYPE_RATIONAL, 4, 1, 0, "YPosition"},
    {288, -1, -1, TYPE_LONG, 0, 0, 0, "FreeOffsets"},
    {289, -1, -1, TYPE_LONG, 0, 0, 0, "FreeByteCounts"},
    {290, 1, 1, TYPE_SHORT, 0, 1, 0, "GrayResponseUnit"},
    {291, -1, -1, TYPE_SHORT, 0, 1, 0, "GrayResponseCurve"},
    {296, 1, 1, TYPE_SHORT, 22, 1, 0, "ResolutionUnit"},
    {297, 2, 2, TYPE_SHORT, 23, 1, 0, "PageNumber"},
    {300, 1, 1, TYPE_SHORT, 0, 1, 0, "ColorResponseUnit"},
    {301, -1, -1, TYPE_SHORT, 44, 1, 0, "TransferFunction"},
    {320, -1, -1, TYPE_SHORT, 26, 1, 0, "ColorMap"},
    {321, 2, 2, TYPE_SHORT, 37, 1, 0, "HalftoneHints"},
    {322, 1, 1, TYPE_LONG, 2, 0, 0, "TileWidth"},
    {322, 1, 1, TYPE_SHORT, 2, 0, 0, "TileWidth"},
    {323, 1, 1, TYPE_LONG, 2, 0, 0, "TileLength"},
    {323, 1, 1, TYPE_SHORT, 2, 0, 0, "TileLength"},
    {324, -1, -1, TYPE_LONG8, 25, 0, 0, "TileOffsets"},
    {324, -1, 1, TYPE_LONG, 25, 0, 0, "TileOffsets"},
    {325, -1, 1, TYPE_LONG8, 24, 0, 0, "TileByteCounts"},
    {325, -1, 1, TYPE_LONG, 24, 0, 0, "TileByteCounts"},
    {325, -1, 1, TYPE_SHORT, 24, 0, 0, "TileByteCounts"},
    {330, -1, -1, TYPE_IFD8, 49, 1, 1, "SubIFD"},
    {330, -1, -1, TYPE_LONG8, 49, 1, 1, "SubIFD"},
    {330, -1, -1, TYPE_IFD, 49, 1, 1, "SubIFD"},
    {330, -1, -1, TYPE_LONG, 49, 1, 1, "SubIFD"},
    {333, -1, -1, TYPE_ASCII, 46, 1, 1, "InkNames"},
    {338, -1, -1, TYPE_SHORT, 31, 0, 1, "ExtraSamples"},
    {338, -1, -1, TYPE_BYTE, 31, 0, 1, "ExtraSamples"},
    {339, -1, -1, TYPE_SHORT, 32, 0, 0, "SampleFormat"},
    {340, -2, -1, TYPE_NOTYPE, 33, 1, 0, "SMinSampleValue"},
    {341, -2, -1, TYPE_NOTYPE, 34, 1, 0, "SMaxSampleValue"},
    {530, 2, 2, TYPE_SHORT, 39, 0, 0, "YCbCrSubsampling"},
    {531, 1, 1, TYPE_SHORT, 40, 0, 0, "YCbCrPositioning"},
    {32995, 1, 1, TYPE_SHORT, 31, 0, 0, "Matteing"},
    {32996, -2, -1, TYPE_SHORT, 32, 0, 0, "DataType"},
    {32997, 1, 1, TYPE_LONG, 35, 0, 0, "ImageDepth"},
    {32997, 1, 1, TYPE_SHORT, 35, 0, 0, "ImageDepth"},
    {32998, 1, 1, TYPE_LONG, 36, 0, 0, "TileDepth"},
    {32998, 1, 1, TYPE_SHORT, 36, 0, 0, "TileDepth"},
    {269, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "DocumentName"},
    {270, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "ImageDescription"},
    {271, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "Make"},
    {272, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "Model"},
    {285, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "PageName"},
    {305, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "Software"},
    {306, 20, 20, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "DateTime"},
    {315, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "Artist"},
    {316, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "HostComputer"},
    {318, 2, 2, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "WhitePoint"},
    {319, 6, 6, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "PrimaryChromaticities"},
    {332, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "InkSet"},
    {334, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "NumberOfInks"},
    {336, 2, 2, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "DotRange"},
    {336, 2, 2, TYPE_BYTE, FIELD_CUSTOM, 0, 0, "DotRange"},
    {337, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "TargetPrinter"},
    {343, -1, -3, TYPE_BYTE, FIELD_CUSTOM, 0, 1, "ClipPath"},
    {344, 1, 1, TYPE_SLONG, FIELD_CUSTOM, 0, 0, "XClipPathUnits"},
    {344, 1, 1, TYPE_SSHORT, FIELD_CUSTOM, 0, 0, "XClipPathUnits"},
    {344, 1, 1, TYPE_SBYTE, FIELD_CUSTOM, 0, 0, "XClipPathUnits"},
    {345, 1, 1, TYPE_SLONG, FIELD_CUSTOM, 0, 0, "YClipPathUnits"},
    {345, 1, 1, TYPE_SSHORT, FIELD_CUSTOM, 0, 0, "YClipPathUnits"},
    {345, 1, 1, TYPE_SBYTE, FIELD_CUSTOM, 0, 0, "YClipPathUnits"},
    {529, 3, 3, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "YCbCrCoefficients"},
    {532, 6, 6, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "ReferenceBlackWhite"},
    {532, 6, 6, TYPE_LONG, FIELD_CUSTOM, 1, 0, "ReferenceBlackWhite"},
    {700, -3, -3, TYPE_BYTE, FIELD_CUSTOM, 0, 1, "XMLPacket"},
    {33300, 1, 1, TYPE_LONG, FIELD_CUSTOM, 1, 0, "ImageFullWidth"},
    {33301, 1, 1, TYPE_LONG, FIELD_CUSTOM, 1, 0, "ImageFullLength"},
    {33302, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "TextureFormat"},
    {33303, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "TextureWrapModes"},
    {33304, 1, 1, TYPE_FLOAT, FIELD_CUSTOM, 1, 0, "FieldOfViewCotangent"},
    {33305, 16, 16, TYPE_FLOAT, FIELD_CUSTOM, 1, 0, "MatrixWorldToScreen"},
    {33306, 16, 16, TYPE_FLOAT, FIELD_CUSTOM, 1, 0, "MatrixWorldToCamera"},
    {33432, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "Copyright"},
    {33723, -3, -3, TYPE_LONG, FIELD_CUSTOM, 0, 1, "RichTIFFIPTC"},
    {34377, -3, -3, TYPE_BYTE, FIELD_CUSTOM, 0, 1, "Photoshop"},
    {34665, 1, 1, TYPE_LONG, FIELD_CUSTOM, 0, 0, "EXIFIFDOffset"},
    {34675, -3, -3, TYPE_UNDEFINED, FIELD_CUSTOM, 0, 1, "ICC Profile"},
    {34853, 1, 1, TYPE_LONG, FIELD_CUSTOM, 0, 0, "GPSIFDOffset"},
    {37439, 1, 1, TYPE_DOUBLE, FIELD_CUSTOM, 0, 0, "StoNits"},
    {40965, 1, 1, TYPE_LONG, FIELD_CUSTOM, 0, 0, "InteroperabilityIFDOffset"},
    {50706, 4, 4, TYPE_BYTE, FIELD_CUSTOM, 0, 0, "DNGVersion"},
    {50707, 4, 4, TYPE_BYTE, FIELD_CUSTOM, 0, 0, "DNGBackwardVersion"},
    {50708, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "UniqueCameraModel"},
    {50709, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "LocalizedCameraModel"},
    {50709, -1, -1, TYPE_BYTE, FIELD_CUSTOM, 1, 1, "LocalizedCameraModel"},
    {50710, -1, -1, TYPE_BYTE, FIELD_CUSTOM, 0, 1, "CFAPlaneColor"},
    {50711, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "CFALayout"},
    {50712, -1, -1, TYPE_SHORT, FIELD_CUSTOM, 0, 1, "LinearizationTable"},
    {50713, 2, 2, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "BlackLevelRepeatDim"},
    {50714, -1, -1, TYPE_LONG, FIELD_CUSTOM, 0, 1, "BlackLevel"},
    {50714, -1, -1, TYPE_SHORT, FIELD_CUSTOM, 0, 1, "BlackLevel"},
    {50714, -1, -1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 1, "BlackLevel"},
    {50715, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "BlackLevelDeltaH"},
    {50716, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "BlackLevelDeltaV"},
    {50717, -2, -2, TYPE_LONG, FIELD_CUSTOM, 0, 0, "WhiteLevel"},
    {50717, -2, -2, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "WhiteLevel"},
    {50718, 2, 2, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "DefaultScale"},
    {50780, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "BestQualityScale"},
    {50719, 2, 2, TYPE_LONG, FIELD_CUSTOM, 0, 0, "DefaultCropOrigin"},
    {50719, 2, 2, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "DefaultCropOrigin"},
    {50719, 2, 2, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "DefaultCropOrigin"},
    {50720, 2, 2, TYPE_LONG, FIELD_CUSTOM, 0, 0, "DefaultCropSize"},
    {50720, 2, 2, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "DefaultCropSize"},
    {50720, 2, 2, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "DefaultCropSize"},
    {50721, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "ColorMatrix1"},
    {50722, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "ColorMatrix2"},
    {50723, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "CameraCalibration1"},
    {50724, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "CameraCalibration2"},
    {50725, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "ReductionMatrix1"},
    {50726, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "ReductionMatrix2"},
    {50727, -1, -1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 1, "AnalogBalance"},
    {50728, -1, -1, TYPE_SHORT, FIELD_CUSTOM, 0, 1, "AsShotNeutral"},
    {50728, -1, -1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 1, "AsShotNeutral"},
    {50729, 2, 2, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "AsShotWhiteXY"},
    {50730, 1, 1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 0, "BaselineExposure"},
    {50731, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "BaselineNoise"},
    {50732, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "BaselineSharpness"},
    {50733, 1, 1, TYPE_LONG, FIELD_CUSTOM, 0, 0, "BayerGreenSplit"},
    {50734, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "LinearResponseLimit"},
    {50735, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "CameraSerialNumber"},
    {50736, 4, 4, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "LensInfo"},
    {50737, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "ChromaBlurRadius"},
    {50738, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "AntiAliasStrength"},
    {50739, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 0, 0, "ShadowScale"},
    {50740, -1, -1, TYPE_BYTE, FIELD_CUSTOM, 0, 1, "DNGPrivateData"},
    {50741, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "MakerNoteSafety"},
    {50778, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "CalibrationIlluminant1"},
    {50779, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "CalibrationIlluminant2"},
    {50781, 16, 16, TYPE_BYTE, FIELD_CUSTOM, 0, 0, "RawDataUniqueID"},
    {50827, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "OriginalRawFileName"},
    {50827, -1, -1, TYPE_BYTE, FIELD_CUSTOM, 1, 1, "OriginalRawFileName"},
    {50828, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 0, 1, "OriginalRawFileData"},
    {50829, 4, 4, TYPE_LONG, FIELD_CUSTOM, 0, 0, "ActiveArea"},
    {50829, 4, 4, TYPE_SHORT, FIELD_CUSTOM, 0, 0, "ActiveArea"},
    {50830, -1, -1, TYPE_LONG, FIELD_CUSTOM, 0, 1, "MaskedAreas"},
    {50831, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 0, 1, "AsShotICCProfile"},
    {50832, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "AsShotPreProfileMatrix"},
    {50833, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 0, 1, "CurrentICCProfile"},
    {50834, -1, -1, TYPE_SRATIONAL, FIELD_CUSTOM, 0, 1, "CurrentPreProfileMatrix"},
};

const TIFFTagDef exifTagTable[] = {
    {33434, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "ExposureTime"},
    {33437, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "FNumber"},
    {34850, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "ExposureProgram"},
    {34852, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "SpectralSensitivity"},
    {34855, -1, -1, TYPE_SHORT, FIELD_CUSTOM, 1, 1, "ISOSpeedRatings"},
    {34856, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 1, "OptoelectricConversionFactor"},
    {36864, 4, 4, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 0, "ExifVersion"},
    {36867, 20, 20, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "DateTimeOriginal"},
    {36868, 20, 20, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "DateTimeDigitized"},
    {37121, 4, 4, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 0, "ComponentsConfiguration"},
    {37122, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "CompressedBitsPerPixel"},
    {37377, 1, 1, TYPE_SRATIONAL, FIELD_CUSTOM, 1, 0, "ShutterSpeedValue"},
    {37378, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "ApertureValue"},
    {37379, 1, 1, TYPE_SRATIONAL, FIELD_CUSTOM, 1, 0, "BrightnessValue"},
    {37380, 1, 1, TYPE_SRATIONAL, FIELD_CUSTOM, 1, 0, "ExposureBiasValue"},
    {37381, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "MaxApertureValue"},
    {37382, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "SubjectDistance"},
    {37383, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "MeteringMode"},
    {37384, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "LightSource"},
    {37385, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "Flash"},
    {37386, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "FocalLength"},
    {37396, -1, -1, TYPE_SHORT, FIELD_CUSTOM, 1, 1, "SubjectArea"},
    {37500, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 1, "MakerNote"},
    {37510, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 1, "UserComment"},
    {37520, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "SubSecTime"},
    {37521, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "SubSecTimeOriginal"},
    {37522, -1, -1, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "SubSecTimeDigitized"},
    {40960, 4, 4, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 0, "FlashpixVersion"},
    {40961, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "ColorSpace"},
    {40962, 1, 1, TYPE_LONG, FIELD_CUSTOM, 1, 0, "PixelXDimension"},
    {40962, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "PixelXDimension"},
    {40963, 1, 1, TYPE_LONG, FIELD_CUSTOM, 1, 0, "PixelYDimension"},
    {40963, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "PixelYDimension"},
    {40964, 13, 13, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "RelatedSoundFile"},
    {41483, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "FlashEnergy"},
    {41484, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 1, "SpatialFrequencyResponse"},
    {41486, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "FocalPlaneXResolution"},
    {41487, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "FocalPlaneYResolution"},
    {41488, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "FocalPlaneResolutionUnit"},
    {41492, 2, 2, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "SubjectLocation"},
    {41493, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "ExposureIndex"},
    {41495, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "SensingMethod"},
    {41728, 1, 1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 0, "FileSource"},
    {41729, 1, 1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 0, "SceneType"},
    {41730, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 1, "CFAPattern"},
    {41985, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "CustomRendered"},
    {41986, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "ExposureMode"},
    {41987, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "WhiteBalance"},
    {41988, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "DigitalZoomRatio"},
    {41989, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "FocalLengthIn35mmFilm"},
    {41990, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "SceneCaptureType"},
    {41991, 1, 1, TYPE_RATIONAL, FIELD_CUSTOM, 1, 0, "GainControl"},
    {41992, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "Contrast"},
    {41993, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "Saturation"},
    {41994, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "Sharpness"},
    {41995, -1, -1, TYPE_UNDEFINED, FIELD_CUSTOM, 1, 1, "DeviceSettingDescription"},
    {41996, 1, 1, TYPE_SHORT, FIELD_CUSTOM, 1, 0, "SubjectDistanceRange"},
    {42016, 33, 33, TYPE_ASCII, FIELD_CUSTOM, 1, 0, "ImageUniqueID"},
};

} // namespace

const TIFFTagDef* getBaseTagTable(size_t* count) {
    *count = sizeof(tiffTagTable) / sizeof(tiffTagTable[0]);
    return tiffTagTable;
}
const TIFFTagDef* getExifTagTable(size_t* count) {
    *count = sizeof(exifTagTable) / sizeof(exifTagTable[0]);
    return exifTagTable;
}

int TIFFTypeWidth(uint32_t type) {
    switch (type) {
    case TYPE_NOTYPE:
    case TYPE_BYTE:
    case TYPE_ASCII:
    case TYPE_SBYTE:
    case TYPE_UNDEFINED: return 1;
    case TYPE_SHORT:
    case TYPE_SSHORT: return 2;
    case TYPE_LONG:
    case TYPE_SLONG:
    case TYPE_FLOAT:
    case TYPE_IFD: return 4;
    case TYPE_RATIONAL:
    case TYPE_SRATIONAL:
    case TYPE_DOUBLE:
    case TYPE_LONG8:
    case TYPE_SLONG8:
    case TYPE_IFD8: return 8;
    default: return 0;
    }
}

int typeStorageSize(uint32_t type) {
    switch (type) {
    case TYPE_RATIONAL:
    case TYPE_SRATIONAL: return 4; // held as 32-bit floats
    case TYPE_NOTYPE: return 0;
    default: return TIFFTypeWidth(type);
    }
}

uint32_t sampleValueType(TIFFHandle* h) {
    int bytes = (h->dir.bitsPerSample + 7) / 8;
    switch (h->dir.sampleFormat) {
    case SAMPLEFORMAT_UINT: return bytes <= 1 ? TYPE_BYTE : bytes <= 2 ? TYPE_SHORT : TYPE_LONG;
    case SAMPLEFORMAT_INT: return bytes <= 1 ? TYPE_SBYTE : bytes <= 2 ? TYPE_SSHORT : TYPE_SLONG;
    case SAMPLEFORMAT_IEEEFP: return bytes == 4 ? TYPE_FLOAT : TYPE_DOUBLE;
    default: return TYPE_UNDEFINED;
    }
}

bool isAnonymousTagDef(const TIFFTagDef* def) {
    return def->fieldBit == FIELD_CUSTOM && def->name && std::strncmp(def->name, "Tag ", 4) == 0;
}

void freeTagDefs(TIFFHandle* h) {
    if (!h->tagDefs) return;
    for (size_t i = 0; i < h->tagDefCount; ++i) {
        const TIFFTagDef* def = h->tagDefs[i];
        if (isAnonymousTagDef(def)) {
            memFree(const_cast<char*>(def->name));
            memFree(const_cast<TIFFTagDef*>(def));
        }
    }
    memFree(h->tagDefs);
    h->tagDefs = nullptr;
    h->tagDefCount = 0;
    h->lastTagDef = nullptr;
}

void _TIFFSetupFieldInfo(TIFFHandle* h, const TIFFTagDef* table, size_t count) {
    freeTagDefs(h);
    if (!_TIFFMergeFieldInfo(h, table, count))
        errorExt(h, "_TIFFSetupFieldInfo", "Setting up field info failed");
}

namespace {

bool defLess(const TIFFTagDef* a, const TIFFTagDef* b) {
    if (a->tag != b->tag) return a->tag < b->tag;
    return a->type > b->type; // equal tags: the highest type code first
}

} // namespace

int _TIFFMergeFieldInfo(TIFFHandle* h, const TIFFTagDef* table, size_t count) {
    h->lastTagDef = nullptr;
    if (count == 0) return 0;
    auto** grown = static_cast<const TIFFTagDef**>(
        TIFFCheckedRealloc(h, h->tagDefs, h->tagDefCount + count, sizeof(TIFFTagDef*),
                           "for field info array"));
    if (!grown) {
        errorExt(h, "_TIFFMergeFieldInfo", "Failed to allocate field info array");
        return 0;
    }
    h->tagDefs = grown;
    size_t n = h->tagDefCount;
    for (size_t i = 0; i < count; ++i) {
        const TIFFTagDef* def = &table[i];
        bool present = false;
        // Definitions already in the sorted part are found by binary search;
        // those appended by this merge by a scan of the new part.
        auto end = h->tagDefs + h->tagDefCount;
        auto it = std::lower_bound(h->tagDefs, end, def, defLess);
        if (it != end && (*it)->tag == def->tag && (*it)->type == def->type) present = true;
        for (size_t j = h->tagDefCount; j < n && !present; ++j)
            if (h->tagDefs[j]->tag == def->tag && h->tagDefs[j]->type == def->type) present = true;
        if (!present) h->tagDefs[n++] = def;
    }
    h->tagDefCount = n;
    std::stable_sort(h->tagDefs, h->tagDefs + n, defLess);
    return int(count);
}

int TIFFMergeFieldInfo(TIFFHandle* h, const TIFFTagDef* table, int count) {
    if (count <= 0 || !_TIFFMergeFieldInfo(h, table, size_t(count))) {
        errorExt(h, "TIFFMergeFieldInfo", "Merging block of %d fields failed", count);
        return 0;
    }
    return 1;
}

const TIFFTagDef* findTagDef(TIFFHandle* h, uint32_t tag, uint32_t type) {
    const TIFFTagDef* last = h->lastTagDef;
    if (last && last->tag == tag && (type == TYPE_ANY || type == last->type)) return last;
    if (!h->tagDefs) return nullptr;
    const TIFFTagDef** end = h->tagDefs + h->tagDefCount;
    if (type != TYPE_ANY) {
        TIFFTagDef key{};
        key.tag = tag;
        key.type = type;
        auto it = std::lower_bound(h->tagDefs, end, &key, defLess);
        if (it != end && (*it)->tag == tag && (*it)->type == type) return *it;
        return nullptr;
    }
    // Any type: the first definition of the tag, which has the highest type code.
    TIFFTagDef key{};
    key.tag = tag;
    key.type = 0xFFFFFFFFu;
    auto it = std::lower_bound(h->tagDefs, end, &key, defLess);
    if (it != end && (*it)->tag == tag) return h->lastTagDef = *it;
    return nullptr;
}

const TIFFTagDef* findTagDefByName(TIFFHandle* h, const char* name, uint32_t type) {
    const TIFFTagDef* last = h->lastTagDef;
    if (last && std::strcmp(last->name, name) == 0 && (type == TYPE_ANY || type == last->type))
        return last;
    for (size_t i = 0; i < h->tagDefCount; ++i) {
        const TIFFTagDef* def = h->tagDefs[i];
        if (std::strcmp(def->name, name) == 0 && (type == TYPE_ANY || type == def->type)) {
            if (type == TYPE_ANY) h->lastTagDef = def;
            return def;
        }
    }
    return nullptr;
}

const TIFFTagDef* TIFFFieldWithTag(TIFFHandle* h, uint32_t tag) {
    const TIFFTagDef* def = findTagDef(h, tag, TYPE_ANY);
    if (!def) errorExt(h, "TIFFFieldWithTag", "Internal error, unknown tag 0x%x", unsigned(tag));
    return def;
}

const TIFFTagDef* TIFFFieldWithName(TIFFHandle* h, const char* name) {
    const TIFFTagDef* def = findTagDefByName(h, name, TYPE_ANY);
    if (!def) errorExt(h, "TIFFFieldWithName", "Internal error, unknown tag %s", name);
    return def;
}

TIFFTagDef* TIFFMakeAnonymousTagDef(TIFFHandle* h, uint32_t tag, uint32_t type) {
    auto* def = static_cast<TIFFTagDef*>(memAlloc(sizeof(TIFFTagDef)));
    char* name = static_cast<char*>(memAlloc(32));
    if (!def || !name) {
        memFree(def);
        memFree(name);
        return nullptr;
    }
    std::snprintf(name, 32, "Tag %u", unsigned(tag));
    def->tag = tag;
    def->readCount = VARIABLE_COUNT;
    def->writeCount = VARIABLE_COUNT;
    def->type = type;
    def->fieldBit = FIELD_CUSTOM;
    def->okToChange = 1;
    def->passCount = 1;
    def->name = name;
    return def;
}

const TIFFTagDef* findOrAddTagDef(TIFFHandle* h, uint32_t tag, uint32_t type) {
    const TIFFTagDef* def = findTagDef(h, tag, type);
    if (def) return def;
    TIFFTagDef* made = TIFFMakeAnonymousTagDef(h, tag, type);
    if (!made) return nullptr;
    if (!_TIFFMergeFieldInfo(h, made, 1)) {
        memFree(const_cast<char*>(made->name));
        memFree(made);
        return nullptr;
    }
    return made;
}

void dumpTagDefs(TIFFHandle* h, FILE* stream) {
    for (size_t i = 0; i < h->tagDefCount; ++i) {
        const TIFFTagDef* d = h->tagDefs[i];
        std::fprintf(stream, "%u %s type %u read %d write %d bit %u%s%s\n", unsigned(d->tag),
                     d->name, unsigned(d->type), d->readCount, d->writeCount, unsigned(d->fieldBit),
                     d->okToChange ? " changeable" : "", d->passCount ? " counted" : "");
    }
}

} // namespace vqtiff
