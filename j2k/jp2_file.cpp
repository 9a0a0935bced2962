// JP2 boxes: see jp2_file.h.
#include "j2k/jp2_file.h"

namespace {

uint32_t MapBoxType(uint32_t type) {
    switch (type) {
    case kBoxSignature: case kBoxBPCC: case kBoxCDEF: case kBoxCMAP: case kBoxCOLR:
    case kBoxFTYP: case kBoxIHDR: case kBoxJP2C: case kBoxJP2H: case kBoxJP2I:
    case kBoxPCLR: case kBoxRES: case kBoxRESC: case kBoxRESD: case kBoxUCST:
    case kBoxUINF: case kBoxURL: case kBoxUUID: case kBoxXML:
        return type;
    default:
        return kBoxUnknown;
    }
}

// Opens the body bound of a box; a body longer than its container has left
// is read as far as it goes.
uint64_t OpenBox(BoundedInputBE& in, const DiagnOutputRef& diag, uint64_t bodyLength) {
    const uint64_t pushed = in.PushBound(bodyLength);
    if (pushed < bodyLength)
        diag.Warn<DJP2BoxWarning, 3>();
    return pushed;
}

// Closes a read box; unread bytes are skipped with a warning.
void CloseBox(BoundedInputBE& in, const DiagnOutputRef& diag) {
    if (in.PopBound() != 0)
        diag.Warn<DJP2BoxWarning, 2>();
}

// Closes a box that is skipped as unknown or unexpected.
void SkipBox(BoundedInputBE& in) { in.PopBound(); }

// Header and bound of the next box.
JP2BoxHeader OpenNextBox(BoundedInputBE& in, const DiagnOutputRef& diag) {
    const JP2BoxHeader box = ReadBoxHeader(in);
    OpenBox(in, diag, box.bodyLength);
    return box;
}

bool DepthAboveLimit(uint8_t stored) { return (stored & 0x7F) + 1 > 38; }

} // namespace

JP2BoxHeader ReadBoxHeader(BoundedInputBE& in) {
    JP2BoxHeader box;
    const uint32_t lbox = in.Read32();
    if (lbox >= 2 && lbox <= 7)
        ThrowDiagn<DJP2BoxException, 1>();
    box.type = MapBoxType(in.Read32());
    if (lbox == 0) {
        box.bodyLength = in.Remaining();
    } else if (lbox == 1) {
        const uint64_t xl = in.Read64();
        if (xl < 16)
            ThrowDiagn<DJP2BoxException, 2>();
        if (xl - 16 >= (uint64_t(1) << 32))
            ThrowDiagn<DJP2BoxException, 3>();
        box.bodyLength = xl - 16;
    } else {
        box.bodyLength = lbox - 8;
    }
    return box;
}

void DJP2Header::SetOutput(BDiagnOutput* output) {
    diag.SetOutput(output);
    imageHeader.diag.SetOutput(output);
    bitsPerComponent.diag.SetOutput(output);
    colour.diag.SetOutput(output);
    palette.diag.SetOutput(output);
    mapping.diag.SetOutput(output);
    resolution.diag.SetOutput(output);
}

void DJP2Header::ReadImageHeader(BoundedInputBE& in) {
    const JP2BoxHeader box = OpenNextBox(in, diag);
    if (box.type != kBoxIHDR)
        ThrowDiagn<DJP2BoxException, 4>();
    const int32_t height = int32_t(in.Read32());
    const int32_t width = int32_t(in.Read32());
    if (height <= 0 || width <= 0)
        ThrowDiagn<DJP2BoxException, 5>();
    imageHeader.size = IntPair(width, height);
    imageHeader.nc = in.Read16();
    if (imageHeader.nc == 0)
        ThrowDiagn<DJP2BoxException, 6>();
    imageHeader.bpc = in.Read8();
    imageHeader.uniform = imageHeader.bpc != 255;
    if (imageHeader.uniform && DepthAboveLimit(imageHeader.bpc))
        imageHeader.diag.Warn<DJP2BoxWarning, 10>();
    if (in.Read8() != 7)
        ThrowDiagn<DJP2BoxException, 7>();
    if (in.Read8() != 0)
        imageHeader.diag.Warn<DJP2BoxWarning, 11>();
    in.Read8();  // IPR
    CloseBox(in, diag);
}

void DJP2Header::ReadPalette(BoundedInputBE& in) {
    if (!palette.unread)
        palette.diag.Warn<DJP2BoxWarning, 4>();
    palette.ne = in.Read16();
    if (palette.ne == 0)
        palette.diag.Warn<DJP2BoxWarning, 16>();
    else if (palette.ne > 1024)
        palette.diag.Warn<DJP2BoxWarning, 17>();
    palette.npc = in.Read8();
    palette.depths.assign(palette.npc, 0);
    palette.columns.assign(palette.npc, std::vector<uint64_t>(palette.ne, 0));
    for (uint32_t c = 0; c < palette.npc; ++c) {
        palette.depths[c] = in.Read8();
        if (DepthAboveLimit(palette.depths[c]))
            palette.diag.Warn<DJP2BoxWarning, 14>();
    }
    for (uint32_t e = 0; e < palette.ne; ++e) {
        for (uint32_t c = 0; c < palette.npc; ++c) {
            const uint32_t depth = (palette.depths[c] & 0x7Fu) + 1;
            const uint32_t bytes = (depth + 7) / 8;
            uint64_t value = 0;
            for (uint32_t b = 0; b < bytes; ++b) {
                const uint32_t position = 8 * (bytes - 1 - b);
                const uint64_t byte = in.Read8();
                if (position < 64)
                    value |= byte << position;
            }
            if ((palette.depths[c] & 0x80) && depth < 64 && (value >> (depth - 1)) & 1)
                value |= ~uint64_t(0) << depth;
            palette.columns[c][e] = value;
        }
    }
    palette.unread = false;
}

void DJP2Header::ReadResolution(BoundedInputBE& in) {
    while (in.Remaining()) {
        const JP2BoxHeader box = OpenNextBox(in, resolution.diag);
        DJP2ResolutionValues* values = nullptr;
        if (box.type == kBoxRESC) {
            if (!resolution.capture.unread)
                resolution.diag.Warn<DJP2BoxWarning, 8>();
            values = &resolution.capture;
        } else if (box.type == kBoxRESD) {
            if (!resolution.display.unread)
                resolution.diag.Warn<DJP2BoxWarning, 9>();
            values = &resolution.display;
        } else {
            resolution.diag.Warn<DJP2BoxWarning, 1>();
            SkipBox(in);
            continue;
        }
        values->vrN = in.Read16();
        values->vrD = in.Read16();
        values->hrN = in.Read16();
        values->hrD = in.Read16();
        values->vrE = int8_t(in.Read8());
        values->hrE = int8_t(in.Read8());
        values->unread = false;
        CloseBox(in, resolution.diag);
    }
    resolution.unread = false;
}

void DJP2Header::ReadColour(BoundedInputBE& in) {
    if (!colour.unread)
        colour.diag.Warn<DJP2BoxWarning, 6>();
    const uint32_t meth = in.Read8();
    if (meth == 1 || meth == 2) {
        in.Read8();  // PREC
        in.Read8();  // APPROX
        colour.meth = meth;
        if (meth == 1) {
            colour.enumCS = in.Read32();
            if (colour.enumCS != 16 && colour.enumCS != 17)
                colour.diag.Warn<DJP2BoxWarning, 13>();
        }
        colour.unread = false;
    } else {
        colour.diag.Warn<DJP2BoxWarning, 12>();
        colour.unread = true;
        colour.enumCS = 17;
        colour.meth = 0;
    }
}

void DJP2Header::ReadBitsPerComponent(BoundedInputBE& in) {
    if (!bitsPerComponent.unread)
        bitsPerComponent.diag.Warn<DJP2BoxWarning, 7>();
    bitsPerComponent.bytes.assign(imageHeader.nc, 0);
    for (uint32_t c = 0; c < imageHeader.nc; ++c) {
        bitsPerComponent.bytes[c] = in.Read8();
        if (DepthAboveLimit(bitsPerComponent.bytes[c]))
            bitsPerComponent.diag.Warn<DJP2BoxWarning, 15>();
    }
    bitsPerComponent.unread = false;
}

void DJP2Header::ReadMapping(BoundedInputBE& in, uint64_t bodyLength) {
    if (!mapping.unread)
        mapping.diag.Warn<DJP2BoxWarning, 5>();
    mapping.channels = bodyLength >= 262144 ? 65535 : uint16_t(bodyLength / 4);
    mapping.cmp.assign(mapping.channels, 0);
    mapping.mtyp.assign(mapping.channels, 0);
    mapping.pcol.assign(mapping.channels, 0);
    for (uint32_t i = 0; i < mapping.channels; ++i) {
        mapping.cmp[i] = in.Read16();
        mapping.mtyp[i] = in.Read8();
        mapping.pcol[i] = in.Read8();
    }
    mapping.unread = false;
}

void DJP2Header::CheckPalette() {
    paletteMapped.clear();
    if (mapping.unread && palette.unread)
        return;
    paletteMapped.assign(mapping.channels, false);
    if (palette.unread) {
        diag.Warn<DJP2BoxWarning, 23>();
    } else if (mapping.unread) {
        diag.Warn<DJP2BoxWarning, 24>();
    } else {
        for (uint32_t j = 0; j < mapping.channels; ++j) {
            if (mapping.pcol[j] >= palette.npc)
                diag.Warn<DJP2BoxWarning, 18>();
            else if (mapping.mtyp[j] == 1)
                paletteMapped[j] = true;
            else
                diag.Warn<DJP2BoxWarning, 19>();
        }
    }
}

void DJP2Header::CheckBitsPerComponent() {
    if (bitsPerComponent.unread || !imageHeader.uniform)
        return;
    // A bits-per-component box is superfluous when the image header gives one
    // depth for all components; it is reported once more when it agrees.
    diag.Warn<DJP2BoxWarning, 20>();
    bool same = true;
    for (uint8_t b : bitsPerComponent.bytes)
        same = same && b == imageHeader.bpc;
    if (same)
        diag.Warn<DJP2BoxWarning, 20>();
    else
        diag.Warn<DJP2BoxWarning, 25>();
}

void DJP2Header::CheckColour() {
    if (colour.unread)
        return;
    if (colour.meth != 1) {
        diag.Warn<DJP2BoxWarning, 22>();
        return;
    }
    if (mapping.unread)
        return;
    if ((colour.enumCS == 16 && mapping.channels != 3) || (colour.enumCS == 17 && mapping.channels != 1))
        diag.Warn<DJP2BoxWarning, 21>();
}

void DJP2Header::Read(BoundedInputBE& in) {
    ReadImageHeader(in);
    while (in.Remaining()) {
        const JP2BoxHeader box = ReadBoxHeader(in);
        const uint64_t body = OpenBox(in, diag, box.bodyLength);
        switch (box.type) {
        case kBoxPCLR: ReadPalette(in); break;
        case kBoxRES: ReadResolution(in); break;
        case kBoxCOLR: ReadColour(in); break;
        case kBoxBPCC: ReadBitsPerComponent(in); break;
        case kBoxCMAP: ReadMapping(in, body); break;
        default:
            diag.Warn<DJP2BoxWarning, 0>();
            SkipBox(in);
            continue;
        }
        CloseBox(in, diag);
    }
    CheckPalette();
    CheckBitsPerComponent();
    CheckColour();
    unread = false;
}

void DJP2FileReader::SetOutput(BDiagnOutput* output) {
    diag_.SetOutput(output);
    header_.SetOutput(output);
    codestream_.SetOutput(output);
}

void DJP2FileReader::ReadFileHeader() {
    BoundedInputBE& in = *input_;
    JP2BoxHeader box = OpenNextBox(in, diag_);
    if (box.type != kBoxSignature)
        ThrowDiagn<DJP2FileException, 0>();
    if (in.Read32() != kJP2SignatureBody)
        ThrowDiagn<DJP2FileException, 1>();
    CloseBox(in, diag_);

    box = OpenNextBox(in, diag_);
    if (box.type != kBoxFTYP)
        ThrowDiagn<DJP2FileException, 2>();
    const uint32_t brand = in.Read32();
    if (in.Read32() != 0)
        diag_.Warn<DJP2FileWarning, 2>();
    bool listed = false;
    for (uint64_t n = in.Remaining() / 4; n && !listed; --n)
        listed = in.Read32() == kJP2Brand;
    if (brand != kJP2Brand && !listed)
        ThrowDiagn<DJP2FileException, 3>();
    CloseBox(in, diag_);

    if (in.Remaining() == 0)
        ThrowDiagn<DJP2FileException, 4>();
    box = OpenNextBox(in, diag_);
    while (box.type != kBoxJP2H) {
        diag_.Warn<DJP2FileWarning, 1>();
        SkipBox(in);
        if (in.Remaining() == 0)
            ThrowDiagn<DJP2FileException, 4>();
        box = OpenNextBox(in, diag_);
    }
    header_.Read(in);
    CloseBox(in, diag_);
    scanning_ = false;
}

bool DJP2FileReader::ReadToCodestream() {
    BoundedInputBE& in = *input_;
    if (scanning_) {
        CloseBox(in, diag_);
        scanning_ = false;
    }
    if (in.Remaining() == 0)
        return false;
    JP2BoxHeader box = OpenNextBox(in, diag_);
    while (box.type != kBoxJP2C) {
        diag_.Warn<DJP2FileWarning, 1>();
        SkipBox(in);
        if (in.Remaining() == 0)
            return false;
        box = OpenNextBox(in, diag_);
    }
    // The code-stream box stays open while its tile-parts are read.
    scanning_ = true;
    codestream_.AttachInput(&in);
    codestream_.ReadMainHeader();
    CheckAgainstMainHeader();
    return true;
}

void DJP2FileReader::CheckAgainstMainHeader() {
    const DJP2MainHeader& mh = codestream_.MainHeader();
    const DJP2ImageHeader& ih = header_.imageHeader;
    if (ih.nc != mh.componentCount)
        diag_.Warn<DJP2FileWarning, 3>();
    if (uint32_t(ih.size.first) != mh.imageRect.width || uint32_t(ih.size.second) != mh.imageRect.height)
        diag_.Warn<DJP2FileWarning, 4>();
    if (ih.uniform) {
        for (uint32_t c = 0; c < mh.componentCount; ++c) {
            if (mh.ssiz[c] != ih.bpc) {
                diag_.Warn<DJP2FileWarning, 5>();
                break;
            }
        }
    }
    if (!header_.bitsPerComponent.unread) {
        const uint32_t n = std::min<uint32_t>(ih.nc, mh.componentCount);
        const std::vector<uint8_t>& bytes = header_.bitsPerComponent.bytes;
        for (uint32_t c = 0; c < n && c < bytes.size(); ++c) {
            if (bytes[c] != mh.ssiz[c]) {
                diag_.Warn<DJP2FileWarning, 6>();
                break;
            }
        }
    }
}

void CopyPaletteToImage(const DJP2Header& header, DJP2Image& image) {
    if (header.mapping.unread || header.palette.unread) {
        image.channelComponent.Free();
        image.channelDirect.Free();
        image.channelPaletteColumn.Free();
        image.paletteColumns.Free();
        image.paletteDepths.Free();
        image.channelCount = 0;
        image.paletteEntries = 0;
        image.paletteColumnCount = 0;
        return;
    }
    const DJP2ComponentMapping& map = header.mapping;
    const DJP2Palette& pal = header.palette;
    image.channelCount = map.channels;
    image.paletteEntries = pal.ne;
    image.paletteColumnCount = pal.npc;
    image.channelComponent.Resize(map.channels);
    image.channelDirect.Resize(map.channels);
    image.channelPaletteColumn.Resize(map.channels);
    image.paletteColumns.Resize(pal.npc);
    image.paletteDepths.Resize(pal.npc);
    for (uint32_t i = 0; i < map.channels; ++i) {
        image.channelComponent[i] = map.cmp[i];
        const bool mapped = i < header.paletteMapped.size() && header.paletteMapped[i];
        if (!mapped) {
            image.channelDirect[i] = 1;
            continue;
        }
        const uint8_t column = map.pcol[i];
        image.channelDirect[i] = map.mtyp[i] == 0 ? 1 : 0;
        image.channelPaletteColumn[i] = column;
        image.paletteDepths[column] = DJP2BitDepth(pal.depths[column] & 0x7F, (pal.depths[column] & 0x80) != 0);
        image.paletteColumns[column].Resize(pal.ne);
        for (uint32_t e = 0; e < pal.ne; ++e)
            image.paletteColumns[column][e] = pal.columns[column][e];
    }
}

void CopyResolutionToImage(const DJP2ResolutionBox& resolution, DJP2Resolution& capture,
                           DJP2Resolution& display) {
    const auto copy = [](const DJP2ResolutionValues& v, DJP2Resolution& out) {
        out.present = v.unread ? 0 : 1;
        if (v.unread)
            return;
        out.horizontal = DJP2ResolutionValue{v.hrN, v.hrD, v.hrE};
        out.vertical = DJP2ResolutionValue{v.vrN, v.vrD, v.vrE};
    };
    copy(resolution.capture, capture);
    copy(resolution.display, display);
}
