#include "engine/base/raw_tile.h"

#include <cstdlib>
#include <cstring>
#include <new>

vq_raw_tile* vq_raw_tile::create()
{
    auto* tile = new vq_raw_tile();
    tile->addRef();
    return tile;
}

bool createRawTile(vq_raw_tile** out)
{
    vq_raw_tile* tile = vq_raw_tile::create();
    if (out != nullptr)
        *out = tile;
    else if (tile != nullptr)
        tile->release();
    return tile != nullptr;
}

vq_raw_tile::~vq_raw_tile()
{
    std::free(data_);
}

bool vq_raw_tile::allocate(int32_t length, const IntPair& size)
{
    std::free(data_);
    data_ = nullptr;
    if (length < 0)
        return false;
    data_ = static_cast<uint8_t*>(std::malloc(length > 0 ? static_cast<size_t>(length) : 1));
    if (data_ == nullptr)
        return false;
    dataLength_ = length;
    size_ = size;
    return true;
}

bool vq_raw_tile::clone(vq_ptr<vq_raw_tile>& out) const
{
    vq_ptr<vq_raw_tile> copy = vq_ptr<vq_raw_tile>::adopt(create());
    if (copy == nullptr || !copy->allocate(dataLength_, size_))
        return false;
    copy->setCompression(compression_);
    if (dataLength_ > 0)
        std::memcpy(copy->getData(), data_, static_cast<size_t>(dataLength_));
    out = copy;
    return true;
}
