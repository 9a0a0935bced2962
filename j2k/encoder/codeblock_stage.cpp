// The encoder's packet structure and its code-block stage.
#include "j2k/encoder/codeblock_stage.h"

#include "j2k/diagnostics.h"
#include "primitives/image/shift/shift.h"
#include "primitives/j2k/codeblock/codeblock_encoder.h"

namespace {

constexpr int32_t kBlockSide = 64;
constexpr int32_t kScratchBytes = 1024;

// c / 2^n rounded up, and the high-pass count floor(ceil(c / 2^(n-1)) / 2).
uint32_t LowSize(uint32_t c, uint32_t n) { return static_cast<uint32_t>(CeilDivU64(c, uint64_t(1) << n)); }
uint32_t HighSize(uint32_t c, uint32_t n) { return LowSize(c, n - 1) / 2; }

void SetupPrecinct(EncoderPrecinct& p, const J2KRect& cell, uint32_t blockX, uint32_t blockY) {
    p.rect = cell;
    p.blockPartition = EncoderPartition(cell, blockX, blockY);
    p.blocks.assign(p.blockPartition.Count(), EncoderCodeBlock());
    p.inclusion.Resize(p.blockPartition.x.count, p.blockPartition.y.count);
    p.zeroPlanes.Resize(p.blockPartition.x.count, p.blockPartition.y.count);
}

void SetupBand(EncoderBand& band, uint32_t code, uint32_t width, uint32_t height, int32_t rangeBits,
               uint32_t exponent, uint32_t precinctX, uint32_t precinctY, uint32_t blockX, uint32_t blockY) {
    band.code = code;
    band.rect = J2KRect(0, 0, width, height);
    band.rangeBits = rangeBits;
    band.shift = rangeBits - int32_t(exponent);
    band.precinctPartition = EncoderPartition(band.rect, precinctX, precinctY);
    band.precincts.assign(band.precinctPartition.Count(), EncoderPrecinct());
    for (uint32_t k = 0; k < band.precincts.size(); ++k) {
        const J2KRect cell = band.precinctPartition.Cell(k);
        SetupPrecinct(band.precincts[k], cell, blockX, blockY);
    }
}

void EncodeBand(EncoderBlockCoder& coder, EncoderBand& band, const DJP2PlaneBuffer& plane) {
    for (EncoderPrecinct& p : band.precincts) {
        const PlaneRef at = plane.Ref().At(p.rect.x0, p.rect.y0);
        for (uint32_t k = 0; k < p.blocks.size(); ++k)
            coder.encodeBlock(at, p.blockPartition.Cell(k), band.code, band.rangeBits, band.shift, p.blocks[k]);
    }
}

} // namespace

EncoderBlockCoder::EncoderBlockCoder() : scratch_(kScratchBytes) {
    codeBlockEncoderCreate(&context_, kBlockSide, kBlockSide);
    if (!context_)
        ThrowDiagn<MemoryException, 0>();
}

EncoderBlockCoder::~EncoderBlockCoder() { codeBlockEncoderFree(context_); }

void EncoderBlockCoder::encodeBlock(const PlaneRef& band, const J2KRect& block, uint32_t bandCode,
                                    int32_t rangeBits, int32_t s, EncoderCodeBlock& cb) {
    const PlaneRef at = band.At(block.x0, block.y0);
    auto* samples = reinterpret_cast<int32_t*>(at.data);
    const int32_t w = int32_t(block.width), h = int32_t(block.height);
    cb.passes.clear();
    cb.bytes.clear();
    cb.passCount = 0;
    if (w == 0 || h == 0)
        return;
    if (s > 0)
        shiftLeftConstInPlace32sC1(uint32_t(s), samples, at.step, w, h);
    else if (s < 0)
        shiftRightConstInPlace32sC1(uint32_t(-int64_t(s)), samples, at.step, w, h);
    toSignMagnitudeInPlace32sC1(samples, at.step, w, h);

    const int32_t d = 31 - s < 0 ? 0 : 31 - s > 31 ? 31 : 31 - s;
    int32_t planes = 0, passes = 0, segments = 0;
    codeBlockEncoderEncode(samples, at.step, w, h, context_, int32_t(bandCode), d, termination, 0, modeFlags,
                           &planes, &passes, &segments);
    // Coefficients beyond the nominal range would need a negative count of
    // missing planes; none is written.
    const int32_t missing = rangeBits + guardBits - planes - 1;
    cb.missingPlanes = missing > 0 ? uint32_t(missing) : 0;

    for (int32_t more = 1; more;) {
        int32_t n = kScratchBytes;
        codeBlockEncoderGetStream(scratch_.data(), &n, context_, &more);
        collected_.Append(scratch_.data(), uint64_t(n));
    }
    cb.bytes.resize(size_t(collected_.Size()));
    if (!cb.bytes.empty())
        collected_.ReadOut(cb.bytes.data(), cb.bytes.size());

    cb.passes.reserve(size_t(passes));
    uint32_t start = 0;
    for (int32_t k = 0; k < passes; ++k) {
        int32_t end = 0;
        double distortion = 0;
        codeBlockEncoderGetPassLength(context_, k, &end);
        codeBlockEncoderGetDistortion(context_, k, &distortion);
        CodingPass pass;
        pass.start = start;
        pass.end = uint32_t(end);
        pass.distortion = distortion;
        pass.data = cb.bytes.data() + start;
        cb.passes.push_back(pass);
        start = pass.end;
    }
    cb.passCount = uint32_t(passes);
}

void EncoderTile::setup(const J2KRect* rects, const std::array<uint32_t, 33>* precinctX,
                        const std::array<uint32_t, 33>* precinctY, const std::array<uint32_t, 33>* blockX,
                        const std::array<uint32_t, 33>* blockY, const uint32_t* bitDepths,
                        const DJP2QuantParams* quant, const uint32_t* levels, uint32_t componentCount) {
    components.assign(componentCount, EncoderComponent());
    for (uint32_t c = 0; c < componentCount; ++c) {
        EncoderComponent& comp = components[c];
        const uint32_t w = rects[c].width, h = rects[c].height, nl = levels[c];
        const int32_t depth = int32_t(bitDepths[c]);
        const DJP2BandExponents e = BandExponents(quant[c], nl);
        comp.resolutions.assign(nl, EncoderResolution());
        SetupBand(comp.ll, 0, LowSize(w, nl), LowSize(h, nl), depth, e.ll, precinctX[c][0], precinctY[c][0],
                  blockX[c][0], blockY[c][0]);
        for (uint32_t i = 0; i < nl; ++i) {
            const uint32_t n = i + 1, r = nl - i;
            const uint32_t px = precinctX[c][r], py = precinctY[c][r], bx = blockX[c][r], by = blockY[c][r];
            EncoderResolution& res = comp.resolutions[i];
            res.precinctCount = EncoderPartition(J2KRect(0, 0, LowSize(w, n), LowSize(h, n)), px, py).Count();
            SetupBand(res.hl, 2, HighSize(w, n), LowSize(h, n), depth + 1, e.level[i][0], px, py, bx, by);
            SetupBand(res.lh, 1, LowSize(w, n), HighSize(h, n), depth + 1, e.level[i][1], px, py, bx, by);
            SetupBand(res.hh, 3, HighSize(w, n), HighSize(h, n), depth + 2, e.level[i][2], px, py, bx, by);
        }
    }
}

void EncoderTile::encodeCodeBlocks(EncoderBlockCoder& coder, SubbandPlanes* planes) {
    for (uint32_t c = 0; c < components.size(); ++c) {
        EncoderComponent& comp = components[c];
        EncodeBand(coder, comp.ll, planes[c].ll);
        for (uint32_t i = 0; i < comp.resolutions.size(); ++i) {
            EncoderResolution& res = comp.resolutions[i];
            EncodeBand(coder, res.hl, planes[c].level[i].hl);
            EncodeBand(coder, res.lh, planes[c].level[i].lh);
            EncodeBand(coder, res.hh, planes[c].level[i].hh);
        }
    }
}

void EncoderTile::resetPassPositions() {
    auto reset = [](EncoderBand& band) {
        for (EncoderPrecinct& p : band.precincts)
            for (EncoderCodeBlock& b : p.blocks)
                b.nextPass = 0;
    };
    for (EncoderComponent& comp : components) {
        reset(comp.ll);
        for (EncoderResolution& res : comp.resolutions) {
            reset(res.hl);
            reset(res.lh);
            reset(res.hh);
        }
    }
}

uint32_t EncoderTile::precinctCount(uint32_t c, uint32_t r) const {
    const EncoderComponent& comp = components[c];
    if (r == 0)
        return comp.ll.precinctPartition.Count();
    return comp.resolutions[comp.resolutions.size() - r].precinctCount;
}

uint32_t EncoderTile::bandsOf(uint32_t c, uint32_t r, EncoderBand* bands[3]) {
    EncoderComponent& comp = components[c];
    if (r == 0) {
        bands[0] = &comp.ll;
        return 1;
    }
    EncoderResolution& res = comp.resolutions[comp.resolutions.size() - r];
    bands[0] = &res.hl;
    bands[1] = &res.lh;
    bands[2] = &res.hh;
    return 3;
}
