#include "engine/pyramid/zoom_tile.h"

#include <algorithm>
#include <cstdio>

#include "engine/base/pixel_lock.h"
#include "primitives/core/copy.h"

namespace {

vq_ptr<imageContainer> newContainer()
{
    return vq_ptr<imageContainer>::adopt(imageContainer::create());
}

// Origin, size and key offset of a part of a full-sized area split at
// (split.first, split.second).
bool partRect(int32_t part, IntPair split, IntPair full, IntPair& origin, IntPair& size, int32_t& dx, int32_t& dy)
{
    const int32_t W = full.first, H = full.second, sx = split.first, sy = split.second;
    dx = dy = 0;
    switch (part) {
    case cornerTopLeft: origin = {0, 0}; size = {sx, sy}; break;
    case cornerTopRight: origin = {sx, 0}; size = {W - sx, sy}; dx = 1; break;
    case cornerBottomLeft: origin = {0, sy}; size = {sx, H - sy}; dy = 1; break;
    case cornerBottomRight: origin = {sx, sy}; size = {W - sx, H - sy}; dx = dy = 1; break;
    case partTopHalf: origin = {0, 0}; size = {W, sy}; break;
    case partBottomHalf: origin = {0, sy}; size = {W, H - sy}; dy = 1; break;
    case partLeftHalf: origin = {0, 0}; size = {sx, H}; break;
    case partRightHalf: origin = {sx, 0}; size = {W - sx, H}; dx = 1; break;
    case partWhole: origin = {0, 0}; size = {W, H}; break;
    default: return false;
    }
    return true;
}

bool croppedCopy(imageContainer* src, IntPair origin, IntPair size, vq_ptr<imageContainer>& out)
{
    vq_image_container_base* copy = nullptr;
    if (!src->createCroppedContainer(origin, size.first, size.second, &copy))
        return false;
    out = vq_ptr<imageContainer>::adopt(static_cast<imageContainer*>(copy));
    return true;
}

int32_t copyByFormat(int32_t format, const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                     int32_t w, int32_t h)
{
    switch (format) {
    case 6: return copyRoi8uC1(src, srcStep, dst, dstStep, PrimSize{w, h});
    case 11: return copyRoi16uC1(reinterpret_cast<const uint16_t*>(src), srcStep,
                                 reinterpret_cast<uint16_t*>(dst), dstStep, PrimSize{w, h});
    case 12: return copyRoi16uC3(reinterpret_cast<const uint16_t*>(src), srcStep,
                                 reinterpret_cast<uint16_t*>(dst), dstStep, PrimSize{w, h});
    default: return copyRoi8uC3(src, srcStep, dst, dstStep, PrimSize{w, h});
    }
}

} // namespace

// ---- vq_zoom_tile_base ----------------------------------------------------

void vq_zoom_tile_base::setKey(const vq_tileKey& key)
{
    key_ = key;
    corner_ = cornerOfPosition(key.x, key.y);
}

vq_ptr<imageContainer> vq_zoom_tile_base::padContainer(const IntPair& size, imageContainer* container,
                                                       uint8_t fill) const
{
    if (container == nullptr) {
        std::fputs("Trying to pad empty tile!\n", stderr);
        return vq_ptr<imageContainer>();
    }
    if (saved_ || (container->getWidth() == size.first && container->getHeight() == size.second))
        return vq_ptr<imageContainer>(container);
    vq_ptr<imageContainer> padded = newContainer();
    if (padded == nullptr || !padded->createUncleared(container->getFormat(), size.first, size.second, false))
        return vq_ptr<imageContainer>();
    // The source's pixels go to the top-left corner, the fill value only
    // around them. A source larger than the target gives only what fits.
    const int32_t w = std::min(container->getWidth(), size.first);
    const int32_t h = std::min(container->getHeight(), size.second);
    const PrimRect copied{0, 0, w, h};
    padded->fillOutside(&copied, 1, fill);
    {
        PixelLock lock(padded.get());
        container->copyDataTo(lock.data(), 0, h, w, lock.step());
    }
    return padded;
}

void vq_zoom_tile_base::cropContainer(bool cropWidth, bool cropHeight, const IntPair& edgeSize,
                                      imageContainer* container) const
{
    if (container == nullptr || (!cropWidth && !cropHeight))
        return;
    if (saved_) {
        std::fputs("Trying to crop tile that is already saved!\n", stderr);
        return;
    }
    const int32_t w = container->getWidth(), h = container->getHeight();
    const int32_t newW = (cropWidth && edgeSize.first != 0) ? edgeSize.first : w;
    const int32_t newH = (cropHeight && edgeSize.second != 0) ? edgeSize.second : h;
    if ((newW == w && newH == h) || newW > w || newH > h)
        return;
    container->crop(newW, newH);
}

// ---- vq_zoom_tile ---------------------------------------------------------

vq_zoom_tile* vq_zoom_tile::create()
{
    auto* t = new vq_zoom_tile();
    t->addRef();
    return t;
}

vq_zoom_tile* vq_zoom_tile::create48()
{
    vq_zoom_tile* t = create();
    t->format_ = 12;
    return t;
}

vq_zoom_tile_grayscale* vq_zoom_tile_grayscale::create()
{
    auto* t = new vq_zoom_tile_grayscale();
    t->addRef();
    return t;
}

vq_zoom_tile_grayscale16* vq_zoom_tile_grayscale16::create()
{
    auto* t = new vq_zoom_tile_grayscale16();
    t->addRef();
    return t;
}

IntPair vq_zoom_tile::getPlaneSize(int32_t) const
{
    if (pixels_ == nullptr)
        return IntPair{0, 0};
    return IntPair{pixels_->getWidth(), pixels_->getHeight()};
}

IntPair vq_zoom_tile::getPlaneFullSize(int32_t) const
{
    if (pixels_ == nullptr)
        return IntPair{0, 0};
    return pixels_->getFullSize();
}

bool vq_zoom_tile::getContainer(vq_ptr<imageContainer>& out, int32_t)
{
    if (pixels_ == nullptr) {
        pixels_ = newContainer();
        if (pixels_ == nullptr)
            return false;
    }
    out = pixels_;
    return true;
}

void vq_zoom_tile::setContainer(imageContainer* container)
{
    pixels_ = vq_ptr<imageContainer>(container);
}

void vq_zoom_tile::cropEdges(bool cropWidth, bool cropHeight, const IntPair& edgeSize)
{
    cropContainer(cropWidth, cropHeight, edgeSize, pixels_.get());
}

bool vq_zoom_tile::padToSize(const IntPair& size, bool keepCrop)
{
    if (pixels_ == nullptr) {
        std::fputs("Trying to pad empty tile!\n", stderr);
        return false;
    }
    if (saved_)
        return true;
    const int32_t w = pixels_->getWidth(), h = pixels_->getHeight();
    vq_ptr<imageContainer> padded = padContainer(size, pixels_.get(), 255);
    if (padded == nullptr)
        return false;
    if (keepCrop)
        padded->crop(w, h);
    pixels_ = padded;
    return true;
}

void vq_zoom_tile::createSameKind(vq_ptr<vq_zoom_tile_base>* out) const
{
    if (out == nullptr)
        return;
    switch (format_) {
    case 12: createZoomTile48(out); break;
    case 6: createZoomTileGrayscale(out); break;
    case 11: createZoomTileGrayscale16(out); break;
    default: createZoomTile(out); break;
    }
}

void vq_zoom_tile::copyTo(vq_ptr<vq_zoom_tile_base>* out) const
{
    if (out == nullptr)
        return;
    createSameKind(out);
    vq_zoom_tile_base* copy = out->get();
    if (copy == nullptr)
        return;
    copy->setEmpty(empty_);
    copy->setKey(key_);
    static_cast<vq_zoom_tile*>(copy)->borrowedEdges_ = borrowedEdges_;
    if (pixels_ != nullptr) {
        vq_ptr<imageContainer> c = newContainer();
        if (c != nullptr && c->cloneFrom(pixels_.get(), false))
            copy->setContainer(c.get());
    }
    if (bordered_ != nullptr) {
        vq_ptr<imageContainer> c = newContainer();
        if (c != nullptr && c->cloneFrom(bordered_.get(), false))
            copy->setBorderedContainer(c.get());
    }
}

bool vq_zoom_tile::extractPart(vq_ptr<vq_zoom_tile_base>& out, int32_t part, const IntPair& splitSize) const
{
    if (pixels_ == nullptr)
        return false;
    IntPair origin, size;
    int32_t dx, dy;
    if (!partRect(part, splitSize, getPlaneSize(-1), origin, size, dx, dy))
        return false;
    vq_ptr<imageContainer> pixels;
    if (!croppedCopy(pixels_.get(), origin, size, pixels))
        return false;
    vq_ptr<vq_zoom_tile_base> piece;
    createZoomTile(&piece);
    if (piece == nullptr)
        return false;
    piece->setKey(vq_tileKey(key_.x + dx, key_.y + dy, key_.level));
    piece->setContainer(pixels.get());
    out = piece;
    return true;
}

bool vq_zoom_tile::copyDataTo(uint8_t* dst, int32_t dstStep, int32_t)
{
    if (pixels_ == nullptr)
        return false;
    pixels_->copyDataTo(dst, 0, pixels_->getHeight(), pixels_->getWidth(), dstStep);
    return true;
}

bool vq_zoom_tile::cloneContainer(vq_ptr<imageContainer>& out)
{
    if (pixels_ == nullptr)
        return false;
    vq_ptr<imageContainer> c = newContainer();
    if (c == nullptr)
        return false;
    c->cloneFrom(pixels_.get(), false);
    out = c;
    return true;
}

int32_t vq_zoom_tile::bytesPerPixel() const
{
    switch (format_) {
    case 4: return 3;
    case 11: return 2;
    case 12: return 6;
    default: return 1;
    }
}

void vq_zoom_tile::setBorderedContainer(imageContainer* container)
{
    bordered_ = vq_ptr<imageContainer>(container);
    borrowedEdges_ = 0;
}

bool vq_zoom_tile::getBorderedContainer(vq_ptr<imageContainer>& out)
{
    if (bordered_ == nullptr)
        return false;
    out = bordered_;
    return true;
}

bool vq_zoom_tile::borrowNeighbourEdge(vq_zoom_tile_base* neighbour)
{
    if (neighbour == nullptr || bordered_ == nullptr || neighbour->getLevel() != key_.level ||
        neighbour->getKey() == key_ || borrowedEdges_ == 15)
        return false;
    vq_ptr<imageContainer> nc;
    if (!neighbour->getContainer(nc, format_) || nc == nullptr || !nc->isAllocated())
        return false;
    const int32_t dx = key_.x - neighbour->getX();
    const int32_t dy = key_.y - neighbour->getY();
    const int32_t w = nc->getWidth(), h = nc->getHeight();
    const int32_t BW = bordered_->getWidth(), BH = bordered_->getHeight();
    int32_t bit, cw, ch, sx, sy, tx, ty;
    if (dx == 1 && dy == 0) {
        bit = 1; cw = 4; ch = h; sx = w - 4; sy = 0; tx = 0; ty = 4;
    } else if (dx == -1 && dy == 0) {
        bit = 2; cw = 4; ch = h; sx = 0; sy = 0; tx = BW - 4; ty = 4;
    } else if (dx == 0 && dy == 1) {
        bit = 4; cw = w; ch = 4; sx = 0; sy = h - 4; tx = 4; ty = 0;
    } else if (dx == 0 && dy == -1) {
        bit = 8; cw = w; ch = 4; sx = 0; sy = 0; tx = 4; ty = BH - 4;
    } else {
        return false;
    }
    if ((borrowedEdges_ & bit) != 0)
        return false;
    // The neighbour must hold the strip and the border must have room for it.
    if (sx < 0 || sy < 0 || tx < 0 || ty < 0 || tx + cw > BW || ty + ch > BH)
        return false;
    const int32_t p = bytesPerPixel();
    {
        PixelLock src(nc.get());
        PixelLock dst(bordered_.get());
        copyByFormat(format_, src.data() + sy * src.step() + sx * p, src.step(),
                     dst.data() + ty * dst.step() + tx * p, dst.step(), cw, ch);
    }
    borrowedEdges_ |= bit;
    return true;
}

// ---- vq_zoom_tile_YCbCr ---------------------------------------------------

vq_zoom_tile_YCbCr* vq_zoom_tile_YCbCr::create()
{
    auto* t = new vq_zoom_tile_YCbCr();
    t->addRef();
    return t;
}

vq_ptr<imageContainer>* vq_zoom_tile_YCbCr::planeSlot(int32_t plane)
{
    switch (plane) {
    case planeY: return &y_;
    case planeCb: return &cb_;
    case planeCr: return &cr_;
    default: return nullptr;
    }
}

imageContainer* vq_zoom_tile_YCbCr::planeContainer(int32_t plane) const
{
    switch (plane) {
    case planeY: return y_.get();
    case planeCb: return cb_.get();
    case planeCr: return cr_.get();
    default: return nullptr;
    }
}

IntPair vq_zoom_tile_YCbCr::getPlaneSize(int32_t plane) const
{
    imageContainer* c = planeContainer(plane);
    if (c == nullptr)
        return IntPair{0, 0};
    return IntPair{c->getWidth(), c->getHeight()};
}

IntPair vq_zoom_tile_YCbCr::getPlaneFullSize(int32_t plane) const
{
    imageContainer* c = planeContainer(plane);
    if (c == nullptr)
        return IntPair{0, 0};
    return c->getFullSize();
}

bool vq_zoom_tile_YCbCr::getContainer(vq_ptr<imageContainer>& out, int32_t plane)
{
    vq_ptr<imageContainer>* slot = planeSlot(plane);
    if (slot == nullptr)
        return false;
    if (*slot == nullptr) {
        *slot = newContainer();
        if (*slot == nullptr)
            return false;
    }
    out = *slot;
    return true;
}

void vq_zoom_tile_YCbCr::setContainer(imageContainer* container)
{
    if (container == nullptr)
        return;
    vq_ptr<imageContainer>* slot = planeSlot(container->getFormat());
    if (slot != nullptr)
        *slot = vq_ptr<imageContainer>(container);
}

void vq_zoom_tile_YCbCr::cropEdges(bool cropWidth, bool cropHeight, const IntPair& edgeSize)
{
    cropContainer(cropWidth, cropHeight, edgeSize, y_.get());
    const IntPair c = chromaPlaneSize(edgeSize, subsampling_);
    cropContainer(cropWidth, cropHeight, c, cb_.get());
    cropContainer(cropWidth, cropHeight, c, cr_.get());
}

bool vq_zoom_tile_YCbCr::padToSize(const IntPair& size, bool keepCrop)
{
    if (saved_)
        return true;
    const IntPair chroma = chromaPlaneSize(size, subsampling_);
    for (int32_t plane = planeY; plane <= planeCr; ++plane) {
        vq_ptr<imageContainer> c;
        if (!getContainer(c, plane))
            return false;
        const int32_t w = c->getWidth(), h = c->getHeight();
        vq_ptr<imageContainer> padded =
            padContainer(plane == planeY ? size : chroma, c.get(), plane == planeY ? 255 : 128);
        if (padded == nullptr)
            return false;
        if (keepCrop)
            padded->crop(w, h);
        setContainer(padded.get());
    }
    return true;
}

void vq_zoom_tile_YCbCr::createSameKind(vq_ptr<vq_zoom_tile_base>* out) const
{
    if (out == nullptr)
        return;
    createZoomTileYCbCr(out);
    if (*out != nullptr)
        (*out)->setSubsampling(subsampling_);
}

bool vq_zoom_tile_YCbCr::extractPart(vq_ptr<vq_zoom_tile_base>& out, int32_t part, const IntPair& splitSize) const
{
    if (y_ == nullptr || cb_ == nullptr || cr_ == nullptr)
        return false;
    IntPair origin, size, cPartOrigin, cPartSize;
    int32_t dx, dy;
    if (!partRect(part, splitSize, getPlaneSize(planeY), origin, size, dx, dy))
        return false;
    // Both chroma planes split at the chroma size of the split square.
    const IntPair c = chromaPlaneSize(splitSize, subsampling_);
    partRect(part, c, getPlaneSize(planeCb), cPartOrigin, cPartSize, dx, dy);
    vq_ptr<imageContainer> py, pcb, pcr;
    if (!croppedCopy(y_.get(), origin, size, py) || !croppedCopy(cb_.get(), cPartOrigin, cPartSize, pcb) ||
        !croppedCopy(cr_.get(), cPartOrigin, cPartSize, pcr))
        return false;
    vq_ptr<vq_zoom_tile_base> piece;
    createZoomTileYCbCr(&piece);
    if (piece == nullptr)
        return false;
    piece->setSubsampling(subsampling_);
    piece->setKey(vq_tileKey(key_.x + dx, key_.y + dy, key_.level));
    piece->setContainer(py.get());
    piece->setContainer(pcb.get());
    piece->setContainer(pcr.get());
    out = piece;
    return true;
}

bool vq_zoom_tile_YCbCr::copyDataTo(uint8_t* dst, int32_t dstStep, int32_t plane)
{
    vq_ptr<imageContainer> c;
    if (!getContainer(c, plane) || c == nullptr) {
        std::fputs("container is NULL\n", stderr);
        return false;
    }
    PixelLock lock(c.get());
    if (lock.data() == nullptr) {
        std::fputs("data is NULL\n", stderr);
        return false;
    }
    copyRoi8uC1(lock.data(), lock.step(), dst, dstStep, PrimSize{c->getWidth(), c->getHeight()});
    return true;
}

bool vq_zoom_tile_YCbCr::cloneContainer(vq_ptr<imageContainer>& out)
{
    vq_ptr<imageContainer> c = newContainer();
    if (c == nullptr || !c->fromYCbCrPlanes(y_.get(), cb_.get(), cr_.get(), subsampling_))
        return false;
    out = c;
    return true;
}

// ---- factories --------------------------------------------------------------

void createZoomTile(vq_ptr<vq_zoom_tile_base>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_tile_base>::adopt(vq_zoom_tile::create());
}

void createZoomTile48(vq_ptr<vq_zoom_tile_base>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_tile_base>::adopt(vq_zoom_tile::create48());
}

void createZoomTileGrayscale(vq_ptr<vq_zoom_tile_base>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_tile_base>::adopt(vq_zoom_tile_grayscale::create());
}

void createZoomTileGrayscale16(vq_ptr<vq_zoom_tile_base>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_tile_base>::adopt(vq_zoom_tile_grayscale16::create());
}

void createZoomTileYCbCr(vq_ptr<vq_zoom_tile_base>* out)
{
    if (out != nullptr)
        *out = vq_ptr<vq_zoom_tile_base>::adopt(vq_zoom_tile_YCbCr::create());
}

// ---- vq_tileSplitter ----------------------------------------------------------

vq_tileSplitter::vq_tileSplitter(vq_zoom_tile_base* tile, const IntPair& splitSize)
    : splitSize_(splitSize), tile_(tile)
{
    if (tile == nullptr) {
        std::fputs("Bad tile passed to splitter\n", stderr);
        return;
    }
    const IntPair size = tile->getSize();
    if (size.first > splitSize.first) {
        wide_ = true;
        count_ += 2;
    }
    if (size.second > splitSize.second) {
        tall_ = true;
        count_ += 2;
    }
    if (!wide_ && !tall_)
        count_ = 1;
}

bool vq_tileSplitter::split()
{
    cursor_ = 0;
    if (tile_ == nullptr)
        return true;
    static const int32_t quarters[] = {cornerTopLeft, cornerTopRight, cornerBottomLeft, cornerBottomRight};
    static const int32_t halvesAcross[] = {partLeftHalf, partRightHalf};
    static const int32_t halvesDown[] = {partTopHalf, partBottomHalf};
    static const int32_t whole[] = {partWhole};
    const int32_t* codes = whole;
    if (wide_ && tall_) {
        codes = quarters;
        count_ = 4;
    } else if (wide_) {
        codes = halvesAcross;
        count_ = 2;
    } else if (tall_) {
        codes = halvesDown;
        count_ = 2;
    } else {
        count_ = 1;
    }
    for (int32_t i = 0; i < count_; ++i) {
        parts_[i] = vq_ptr<vq_zoom_tile_base>();
        tile_->extractPart(parts_[i], codes[i], splitSize_);
    }
    return true;
}

vq_ptr<vq_zoom_tile_base> vq_tileSplitter::next()
{
    if (cursor_ < count_)
        return parts_[cursor_++];
    return vq_ptr<vq_zoom_tile_base>();
}
