#include "engine/pyramid/tile_quad.h"

vq_tileQuadBase::vq_tileQuadBase(const IntPair& position)
    : minX_(position.first & ~1), minY_(position.second & ~1)
{
}

vq_ptr<vq_zoom_tile_base>* vq_tileQuadBase::memberSlot(int32_t corner)
{
    switch (corner) {
    case cornerTopLeft: return &topLeft_;
    case cornerTopRight: return &topRight_;
    case cornerBottomLeft: return &bottomLeft_;
    case cornerBottomRight: return &bottomRight_;
    default: return nullptr;
    }
}

bool vq_tileQuadBase::checkTile(const vq_zoom_tile_base* tile) const
{
    if (tile == nullptr) {
        std::fputs("Empty tile\n", stderr);
        return false;
    }
    if ((present_ & tile->getCorner()) != 0) {
        std::fputs("addTile will overwrite\n", stderr);
        return false;
    }
    return true;
}

bool vq_tileQuadBase::setCorner(const IntPair& position, int32_t code)
{
    if (!placeCorner(position, code))
        return false;
    present_ += code;
    return true;
}

bool vq_tileQuadBase::placeCorner(const IntPair& position, int32_t corner)
{
    const int32_t x = position.first, y = position.second;
    int32_t left, top;
    switch (corner) {
    case cornerTopLeft: left = x; top = y; break;
    case cornerTopRight: left = x - 1; top = y; break;
    case cornerBottomRight: left = x - 1; top = y - 1; break;
    case cornerBottomLeft: left = x; top = y - 1; break;
    default:
        std::fputs("Bad tile location\n", stderr);
        return false;
    }
    if (maxX_ == -1 && maxY_ == -1) { // the first member fixes the range
        minX_ = left;
        maxX_ = left + 1;
        minY_ = top;
        maxY_ = top + 1;
    }
    return true;
}

bool vq_tileQuadBase::markTile(const vq_zoom_tile_base* tile)
{
    return setCorner(IntPair{tile->getX(), tile->getY()}, tile->getCorner());
}

bool vq_tileQuadBase::addTile(vq_zoom_tile_base* tile)
{
    if (!checkTile(tile))
        return false;
    vq_ptr<vq_zoom_tile_base>* slot = memberSlot(tile->getCorner());
    if (slot == nullptr) {
        std::fputs("Bad tile location\n", stderr);
        return false;
    }
    if (!markTile(tile))
        return false;
    *slot = vq_ptr<vq_zoom_tile_base>(tile);
    return true;
}

int32_t vq_tileQuadBase::tileCount() const
{
    return (topLeft_ != nullptr) + (topRight_ != nullptr) + (bottomLeft_ != nullptr) + (bottomRight_ != nullptr);
}

bool vq_tileQuadBase::acceptsTile(const vq_zoom_tile_base* tile) const
{
    if (present_ == 0)
        return true;
    if (tile == nullptr || (present_ & tile->getCorner()) != 0)
        return false;
    return tile->getX() >= minX_ && tile->getX() <= maxX_ && tile->getY() >= minY_ && tile->getY() <= maxY_;
}

void vq_tileQuadBase::clear()
{
    topLeft_ = vq_ptr<vq_zoom_tile_base>();
    topRight_ = vq_ptr<vq_zoom_tile_base>();
    bottomLeft_ = vq_ptr<vq_zoom_tile_base>();
    bottomRight_ = vq_ptr<vq_zoom_tile_base>();
    present_ = 0;
}

IntPair vq_tileQuadBase::getMergedSize(int32_t plane) const
{
    IntPair size{0, 0};
    if (topLeft_ != nullptr)
        size = topLeft_->getPlaneSize(plane);
    if (topRight_ != nullptr)
        size.first += topRight_->getPlaneSize(plane).first;
    if (bottomLeft_ != nullptr)
        size.second += bottomLeft_->getPlaneSize(plane).second;
    return size;
}

IntPair vq_tileQuadBase::getMergedFullSize(int32_t plane) const
{
    IntPair tl{0, 0};
    if (topLeft_ != nullptr)
        tl = topLeft_->getPlaneFullSize(plane);
    IntPair last = tl;
    IntPair size = tl;
    if (topRight_ != nullptr) {
        last = topRight_->getPlaneFullSize(plane);
        size.first += last.first;
    } else {
        size.first += tl.first;
    }
    if (bottomLeft_ != nullptr)
        size.second += bottomLeft_->getPlaneFullSize(plane).second;
    else
        size.second += last.second;
    return size;
}

bool vq_tileQuadBase::getTileAt(const IntPair& position, vq_ptr<vq_zoom_tile_base>& out) const
{
    vq_ptr<vq_zoom_tile_base>* slot =
        const_cast<vq_tileQuadBase*>(this)->memberSlot(cornerOfPosition(position.first, position.second));
    if (slot == nullptr || *slot == nullptr)
        return false;
    out = *slot;
    return true;
}

void vq_tileQuadBase::print(std::FILE* stream) const
{
    const struct {
        const char* format;
        const vq_ptr<vq_zoom_tile_base>* tile;
    } members[] = {{"TL:%d-%d-%d,", &topLeft_},
                   {"TR:%d-%d-%d,", &topRight_},
                   {"BR:%d-%d-%d,", &bottomRight_},
                   {"BL:%d-%d-%d,", &bottomLeft_}};
    for (const auto& m : members)
        if (*m.tile != nullptr)
            std::fprintf(stream, m.format, (*m.tile)->getX(), (*m.tile)->getY(), (*m.tile)->getLevel());
    std::fputs("\n", stream);
}

// ---- vq_tileQuad ------------------------------------------------------------

vq_ptr<vq_raw_tile>* vq_tileQuad::rawSlot(int32_t corner)
{
    switch (corner) {
    case cornerTopLeft: return &rawTopLeft_;
    case cornerTopRight: return &rawTopRight_;
    case cornerBottomLeft: return &rawBottomLeft_;
    case cornerBottomRight: return &rawBottomRight_;
    default: return nullptr;
    }
}

vq_raw_tile* vq_tileQuad::rawAt(int32_t corner) const
{
    vq_ptr<vq_raw_tile>* slot = const_cast<vq_tileQuad*>(this)->rawSlot(corner);
    return slot == nullptr ? nullptr : slot->get();
}

bool vq_tileQuad::addTile(vq_zoom_tile_base* tile, vq_raw_tile* raw)
{
    if (!vq_tileQuadBase::addTile(tile))
        return false;
    *rawSlot(tile->getCorner()) = vq_ptr<vq_raw_tile>(raw);
    return true;
}

int32_t vq_tileQuad::tileCount() const
{
    return vq_tileQuadBase::tileCount() + (rawTopLeft_ != nullptr) + (rawTopRight_ != nullptr) +
           (rawBottomLeft_ != nullptr) + (rawBottomRight_ != nullptr);
}

void vq_tileQuad::clearRaw()
{
    rawTopLeft_ = vq_ptr<vq_raw_tile>();
    rawTopRight_ = vq_ptr<vq_raw_tile>();
    rawBottomLeft_ = vq_ptr<vq_raw_tile>();
    rawBottomRight_ = vq_ptr<vq_raw_tile>();
}

void vq_tileQuad::clear()
{
    vq_tileQuadBase::clear();
    clearRaw();
}

bool vq_tileQuad::acceptsRawTile(const IntPair& position, const vq_raw_tile*) const
{
    if (present_ == 0)
        return true;
    if ((present_ & cornerOfPosition(position.first, position.second)) != 0)
        return false;
    return position.first >= minX_ && position.first <= maxX_ && position.second >= minY_ &&
           position.second <= maxY_;
}

bool vq_tileQuad::addRawTile(const IntPair& position, vq_raw_tile* raw)
{
    const int32_t corner = cornerOfPosition(position.first, position.second);
    if ((present_ & corner) != 0) {
        std::fputs("addTile will overwrite\n", stderr);
        return false;
    }
    if (!setCorner(position, corner))
        return false;
    *rawSlot(corner) = vq_ptr<vq_raw_tile>(raw);
    return true;
}
