// Message texts of every diagnostic, by enumeration and number. A null entry
// is a number that no condition of the codec raises; it keeps its place.
#include "j2k/diagnostics.h"

#include <cstring>

DiagnText::DiagnText(const char* text) {
    size_t n = text ? std::strlen(text) : 0;
    if (n > static_cast<size_t>(kCapacity))
        n = kCapacity;
    if (n)
        std::memcpy(text_, text, n);
    text_[n] = 0;
}

template <>
const char* DiagnCatalogueText<DJP2CSException>(int32_t number) {
    static const char* const texts[8] = {
        "Tile index specified in SOT marker exceed number of tiles.",
        "SOC marker not found in begin of codestream.",
        "SIZ marker not found after SOC marker.",
        "Component index in COC marker greater than or equal to the number of components.",
        "Component index in QCC marker greater than or equal to the number of components.",
        "COD marker not found in Main Header.",
        "QCD marker not found in Main Header.",
        "QCD or QCC marker does not provide sufficient quantization parameters.",
    };
    return number >= 0 && number < 8 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2CSUnsuppException>(int32_t number) {
    static const char* const texts[22] = {
        nullptr,
        nullptr,
        "PPM marker was used during compression.\nThe reason is unsupported decoding mode.\nIn cause of doubt, please, contact the program developers.",
        nullptr,
        "RGN (roi coding) marker was used during compression.\nThe reason is unsupported decoding mode.\nIn cause of doubt, please, contact the program developers.",
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        "Resampled multicomponent color transforms are not supported.\nThe reason is unsupported decoding mode.\nIn cause of doubt, please, contact the program developers.",
        "Part 2 extensions of JPEG 2000 were used during compression.\nThe reason is unsupported decoding mode.\nIn cause of doubt, please, contact the program developers.",
        "High-throughput (HTJ2K) code-blocks were used during compression.\nThe reason is unsupported decoding mode.\nIn cause of doubt, please, contact the program developers.",
        "PPT marker was used during compression.\nThe reason is unsupported decoding mode.\nIn cause of doubt, please, contact the program developers.",
    };
    return number >= 0 && number < 22 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2CSWarning>(int32_t number) {
    static const char* const texts[31] = {
        "Quantization style defined by QCD or QCC is unknown. The 'no quantization' styel will be used.",
        "Multichannel component transformation (MCT) is specified in COD marker and number of channels is not 3, so it's impossible to use any MCT defined in standard. Decoder will try do not use MCT.",
        "Multichannel component transformation (MCT) is specified in COD marker and different wavelet transforms used for different channels, so it's impossible to use any MCT defined in standard. Decoder will try do not use MCT.",
        nullptr,
        "Unknown marker was found in main header of codestream box. Decoder will try to ignore unknown marker and continue decoding.",
        "Extra COD marker was found in main header of codestream box. Decoder will try to ignore all previous COD markers and continue decoding.",
        "Extra QCD marker was found in main header of codestream box. Decoder will try to ignore all previous QCD markers and continue decoding.",
        "Extra COC marker was found in main header of codestream box. Decoder will try to ignore all previous COC markers and continue decoding.",
        "Extra QCC marker was found in main header of codestream box. Decoder will try to ignore all previous QCC markers and continue decoding.",
        "Extra POC marker was found in main header of codestream box. Decoder will try to ignore all previous POC markers and continue decoding.",
        "Only main header was found in codestream box. It's a degenerated instance of codestream.",
        "Unknown marker was found in tile-part header of codestream box. Decoder will try to ignore unknown marker and continue decoding.",
        "Extra COD marker was found in tile-part header of codestream box. Decoder will try to ignore all previous COD markers and continue decoding.",
        "Extra COC marker was found in tile-part header of codestream box. Decoder will try to ignore all previous COC markers and continue decoding.",
        "Extra QCD marker was found in tile-part header of codestream box. Decoder will try to ignore all previous QCD markers and continue decoding.",
        "Extra QCC marker was found in tile-part header of codestream box. Decoder will try to ignore all previous QCC markers and continue decoding.",
        "Extra POC marker was found in tile-part header of codestream box. Decoder will try to ignore all previous POC markers and continue decoding.",
        "Some of the markers has actual length less then specified in marker length field. Decoder will try to ignore marker body padding and continue decoding. But it can be a damage in marker length field and in that case the successful decoding will be impossible.",
        "The length specified for some of the markers exceeds tail space available in its container.Decoder will try to ignore and continue decoding use available marker body. But the data damage can be so that successful decoding will be impossible.",
        "TLM marker was found in the codestream. TLM marker is positioning marker. The current implementation does not support random access to stream. But sequential decoding is possible in any case. So decoder will ignore this marker and continue decoding.",
        "PLM marker was found in the codestream. PLM marker is positioning marker. The current implementation does not support random access to stream. But sequential decoding is possible in any case. So decoder will ignore this marker and continue decoding.",
        "CRG marker was found in the codestream. CRG marker is 'center of mass' of component's samples. Decoder will ignore all the data in this marker.",
        "COM marker was found in the codestream. COM marker is comment marker. Decoder will ignore all the data in this marker.",
        "PLT marker was found in the codestream. PLT marker is positioning marker. The current implementation does not support random access to stream. But sequential decoding is possible in any case. So decoder will ignore this marker and continue decoding.",
        "Tile-part index in SOT marker does not follow to contiguous order. Decoder will ignore tile-part index in SOT marker and will try to use index in contiguous order.",
        "Different values for number of tile-parts specified in SOT marker for the same tile. Decoder will try to use the lagest one and continue decoding.",
        "The value for length of tile-part specified in SOT marker less then even tile-part header length. Decoder will try to ignore and continue decoding.",
        "The value for length of tile-part specified in SOT marker less then tile-part length required by specified coding progression. Decoder will try to use available data only and continue decoding.",
        "The value for length of tile-part specified in SOT marker exceed tile-part length required by specified coding progression. Decoder will try to ignore padding and continue decoding.",
        "Actual number of tile-parts exceeds specified in SOT marker for the same tile (specified by index in SOT marker). Decoder will try to ignore SOT value for number of tile-parts and continue decoding.",
        "Unknown marker was found in the codestream box body. Decoder will try to ignore unknown marker and continue decoding.",
    };
    return number >= 0 && number < 31 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2MarkerException>(int32_t number) {
    static const char* const texts[17] = {
        "Negative length of marker body was found.",
        "One of the geometrical parameters (tile size or tile offset or image size or image offset in reference grid) defined for image in SIZ marker is greater than 2147483647. At the moment decoder can't deal with such a big numbers.",
        "Negative image size (width or height).",
        "Unknown progression order is specified in COD marker.(SGcodA parameter).",
        "Number of wavelet decomposition levels specified in COD or COC marker exceeds limit allowed by standard (32).",
        "Code block width specified COD or COC marker exceeds limit allowed by standard (1024).",
        "Code block height specified COD or COC marker exceeds limit allowed by standard (1024).",
        "Unknown wavelet transformation specified in COD or COC marker.",
        "Resolution level index in POC marker greater than maximal allowed by standard (33).",
        "Cmponent index in POC marker greater than or equal to the number of components.",
        "Inverse order specified in POC marker for progression of resolution levels.",
        "Inverse order specified in POC marker for progression of components.",
        "Zero tile size (width or height) is specified in SIZ marker.",
        "Zero sub-sampling factor (XRsiz or YRsiz) is specified in SIZ marker.",
        "Zero number of components is specified in SIZ marker.",
        "QCD or QCC marker body is too short for the quantization style it specifies.",
        "Number of tiles defined by SIZ marker exceeds 65535 limit allowed by standard.",
    };
    return number >= 0 && number < 17 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2MarkerWarning>(int32_t number) {
    static const char* const texts[7] = {
        nullptr,
        nullptr,
        "Zero number of layers is specified in COD or COC or POC marker. It means that there is no actual data for any layer. Decoder will try to ignore and continue decoding.",
        "Unknown capabilities was denoted in SIZ marker. Decoder will try to ignore.",
        "According to data specified in SIZ marker tile grid origin is greater then image origin in reference grid. It does not strictly handled by the standard. But decoder will try to handle it in appropriate way.",
        "Bit depth specified in SIZ marker exceed 38 bit limit defined by standard. Decoder will try to ignore and continue decoding.",
        "Unknown multichannel component transformation (MCT) is specified in COD marker. Decoder will try do not use MCT.",
    };
    return number >= 0 && number < 7 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2BoxException>(int32_t number) {
    static const char* const texts[9] = {
        nullptr,
        "Not acceptable value for LBox (Box Length) was found.",
        "Not acceptable value for XLBox (Box Extended Length) was found.",
        "Too long box length was specified. Box of length more then 4 gigabyte is not supported",
        "Image Header box was not found.",
        "Heigth or width field in Image Header box is less than 1.",
        "Number of components in Image Header box is less than 1.",
        "Compression type in Image Header box is not equal 7.",
        nullptr,
    };
    return number >= 0 && number < 9 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2BoxWarning>(int32_t number) {
    static const char* const texts[26] = {
        "Unknown sub-box was found in the header superbox. Decoder will try to ignore unknown box and continue decoding.",
        "Unknown sub-box was found in the resolution superbox. Decoder will try to ignore unknown box and continue decoding.",
        "Some of the boxes has actual length less then specified in marker length field. Decoder will try to ignore box body padding and continue decoding. But it can be a damage in box length field and in that case the successful decoding will be impossible.",
        "The length specified for some of the boxes exceeds tail space available in its container.Decoder will try to ignore and continue decoding use available box body. But the data damage can be so that successful decoding will be impossible.",
        "Extra Palette boxes was found. Decoder will try to ignore all previous box instances and continue decoding.",
        "Extra Component Mapping boxes was found. Decoder will try to ignore all previous box instances and continue decoding.",
        "Extra Colour Specification boxes was found. Decoder will try to ignore all previous box instances and continue decoding.",
        "Extra Bits Per Component boxes was found. Decoder will try to ignore all previous box instances and continue decoding.",
        "Extra Capture Resolution boxes was found. Decoder will try to ignore all previous box instances and continue decoding.",
        "Extra Display Resolution boxes was found. Decoder will try to ignore all previous box instances and continue decoding.",
        "Bit depth specified in image header box exceed 38 bit limit defined by standard. Decoder will try to ignore and continue decoding.",
        "Unknown colourspace specified in Image Header box.",
        "Unknown specification method field value was found in Colour Specifiaction box. Colour specification box will be ignored.",
        "Unknown enumerated colourspace field value was found in Colour Specifiaction box. Colour specification box will be ignored.",
        "Bit depth specified in pallete box exceed 38 bit limit defined by standard. Decoder will try to ignore and continue decoding.",
        "Bit depth specified in bits per component box exceed 38 bit limit defined by standard. Decoder will try to ignore and continue decoding.",
        "Zero number of pallete entires specified in palette box. Decoder will try to ignore and continue decoding.",
        "Number of pallete entires specified in palette box exceed 1024 limit defined by standard. Decoder will try to ignore and continue decoding.",
        "It's impossible to interpret palette box because palette component specified in component mapping box. exceeds the number of palette columns specified in palette box. Decoder will try to ignore and continue decoding. The palette data loss is possible.",
        "It's impossible to interpret palette box because palette mapping does not specified in component mapping box. Decoder will try to ignore and continue decoding. The palette data loss is possible.",
        "Superfluous bits per component box.",
        "Number of colour channels specified in colour specification box and in component mapping boxes are different. Decoder will try to ignore and continue decoding.",
        "Not enumerated colourspace specified in colour specification box. We support only enumerated colourspaces (ICC profiles NOT supported). Decoder will try to ignore and continue decoding.",
        "Palette box is absent. Palette box is required when component mapping box is present in the stream. Decoder will try to ignore and continue decoding.",
        "Component box is absent. Component mapping box is required to decode palette box appropriately. Decoder will try to ignore and continue decoding.",
        "Bits per component value specified in image header box and another one specified in bits per component boxes are different. Decoder will try to ignore and continue decoding.",
    };
    return number >= 0 && number < 26 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2FileException>(int32_t number) {
    static const char* const texts[5] = {
        "JPEG2000 Signature box was not found in begin of file stream.",
        "Signature box isn't right.",
        "File Type box was not found after JPEG2000 Signature box.",
        "FileType box is incompatible with JP2 mode.",
        "JP2 Header Super box was not found before Codestream box.",
    };
    return number >= 0 && number < 5 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DJP2FileWarning>(int32_t number) {
    static const char* const texts[7] = {
        nullptr,
        "Some box was ignored because it is unknown not supported or unexpected (found not in the right place)",
        "Minor version field in FileType box is not equal zero.",
        "Number of components specified in image header box and in codestream boxes are different. Decoder will try to ignore and continue decoding.",
        "Image size specified in image header box and in codestream boxes are different. Decoder will try to ignore and continue decoding.",
        "Bits per component specified in image header box and in codestream boxes are different. Decoder will try to ignore and continue decoding.",
        "Bits per component value specified in main header of codestream box and another one specified in bits per component boxes are different. Decoder will try to ignore and continue decoding.",
    };
    return number >= 0 && number < 7 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DPHWarning>(int32_t number) {
    static const char* const texts[1] = {
        "Bad packet header bits padding was found. The bitstream is corrupted or incorrect. Decoder will try to ignore and continue decoding.",
    };
    return number >= 0 && number < 1 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<DEBCOTWarning>(int32_t number) {
    static const char* const texts[4] = {
        "Data damage was detected during decode of some code block layer. Correct decoding can be impossible. Decoder will try to ignore and continue decoding.",
        "Number of passes mismatch was detected for some code block layer. Correct decoding can be impossible. Decoder will try to ignore and continue decoding.",
        "Number of code-block significant (non-sign) bits exceeds 31 bits that is implementation limit. The reason could be in wide dynamic range of input image actual data or in high number of guard bits. It could be also the result of increasing of dynamic range during applaying of relatively small quantization step in irreversible wavelet transform mode. Correct decoding can be impossible. Decoder will try to ignore and continue decoding.",
        "Number of code-block significant (non-sign) bits is below zero. The reason could be in inconsistency of dynamic range and number of zero bit planes for individual code-block.It could be the result of incorrect encoding or data damage. Decoder will try to ignore and continue decoding.",
    };
    return number >= 0 && number < 4 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<MemoryException>(int32_t number) {
    static const char* const texts[1] = {
        "Memory allocation failure.\nThere is no sufficient memory resource in the system.",
    };
    return number >= 0 && number < 1 ? texts[number] : nullptr;
}

template <>
const char* DiagnCatalogueText<ByteInputException>(int32_t number) {
    static const char* const texts[1] = {
        "There is no data to read from input stream.\nThe reason is the data damage in the input file.\nIn cause of doubt, please, contact the program developers.",
    };
    return number >= 0 && number < 1 ? texts[number] : nullptr;
}
