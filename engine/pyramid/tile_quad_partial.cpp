// Part quads of the rotating level.
#include <cstdio>

#include "engine/pyramid/tile_quad.h"

int32_t partCode(const IntPair& position, bool movesUp)
{
    const bool oddX = (position.first & 1) != 0, oddY = (position.second & 1) != 0;
    if (!movesUp)
        return !oddY ? (oddX ? 4 : 1) : (oddX ? 16 : 64);
    return !oddY ? (oddX ? 32 : 128) : (oddX ? 8 : 2);
}

IntPair partPosition(const IntPair& position, int32_t code)
{
    if ((code == 16 || code == 32 || code == 64 || code == 128) && (position.second & 1) == 0)
        return IntPair(position.first, position.second - 1);
    return position;
}

namespace {

// The corner whose range rule a part code takes.
int32_t cornerOfPart(int32_t code)
{
    switch (code) {
    case 1: case 2: return cornerTopLeft;
    case 4: case 8: return cornerTopRight;
    case 16: case 32: return cornerBottomRight;
    case 64: case 128: return cornerBottomLeft;
    default: return 0;
    }
}

} // namespace

bool vq_tileQuadPartial::setPartCorner(const IntPair& position, int32_t code)
{
    // The band's cell fixes the range as a whole member would; presence
    // counts the band's own part code.
    if (!placeCorner(partPosition(position, code), cornerOfPart(code)))
        return false;
    present_ += code;
    return true;
}

bool vq_tileQuadPartial::acceptsPart(const vq_zoom_tile_base* tile, bool movesUp) const
{
    if (tile == nullptr)
        return false;
    if (present_ == 0)
        return true;
    const IntPair position(tile->getX(), tile->getY());
    const int32_t code = partCode(position, movesUp);
    if ((present_ & code) != 0)
        return false;
    const IntPair p = partPosition(position, code);
    return p.first >= minX_ && p.first <= maxX_ && p.second >= minY_ && p.second <= maxY_;
}

bool vq_tileQuadPartial::addPart(vq_zoom_tile_base* tile, int32_t sourceRow, int32_t targetRow, int32_t rows)
{
    if (tile == nullptr)
        return false;
    const IntPair position(tile->getX(), tile->getY());
    const int32_t code = partCode(position, targetRow != 0);
    if (!setPartCorner(position, code))
        return false;
    int32_t corner = cornerOfPart(code);
    vq_ptr<vq_zoom_tile_base>* slot = memberSlot(corner);
    if (slot == nullptr) {
        std::fputs("Bad tile location\n", stderr);
        return false;
    }
    if (*slot == nullptr) {
        vq_ptr<vq_zoom_tile_base> copy;
        tile->copyTo(&copy);
        if (copy == nullptr)
            return false;
        const int32_t x = corner == cornerTopLeft || corner == cornerBottomLeft ? minX_ : maxX_;
        const int32_t y = corner == cornerTopLeft || corner == cornerTopRight ? minY_ : maxY_;
        copy->setKey(vq_tileKey(x, y, tile->getLevel()));
        *slot = copy;
    }
    return copyPart(tile, slot->get(), sourceRow, targetRow, rows);
}

bool vq_tileQuadPartial::copyPart(vq_zoom_tile_base* source, vq_zoom_tile_base* target, int32_t sourceRow,
                                  int32_t targetRow, int32_t rows)
{
    if (source == nullptr || target == nullptr || sourceRow < 0 || targetRow < 0 || rows <= 0 ||
        source->getFormat() == 3 || source->getFormat() != target->getFormat())
        return false;
    vq_ptr<imageContainer> from, to;
    if (!source->getContainer(from, source->getFormat()) || !target->getContainer(to, target->getFormat()) ||
        from == nullptr || to == nullptr)
        return false;
    // A member first made from a shorter tile (the top row of the turned
    // image holds only the narrow band) grows to hold the band below it,
    // instead of losing that band.
    if (to->getHeight() < targetRow + rows) {
        if (!target->padToSize(IntPair(to->getWidth(), targetRow + rows), false) ||
            !target->getContainer(to, target->getFormat()) || to->getHeight() < targetRow + rows)
            return false;
    }
    return to->copyRegionFrom(from.get(), IntPair(0, sourceRow), IntPair(0, targetRow), to->getWidth(), rows);
}

bool vq_tileQuadPartial::padParts(const IntPair& size)
{
    vq_zoom_tile_base* members[4] = {topLeft_.get(), topRight_.get(), bottomLeft_.get(), bottomRight_.get()};
    for (vq_zoom_tile_base* m : members)
        if (m != nullptr && !m->padToSize(size, false))
            return false;
    return true;
}
