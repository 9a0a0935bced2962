#include "engine/pyramid/tile_saver.h"

namespace {

vq_ptr<imageContainer> containerOrEmpty(imageContainer* c)
{
    if (c != nullptr)
        return vq_ptr<imageContainer>(c);
    return vq_ptr<imageContainer>::adopt(imageContainer::create());
}

bool handOut(const vq_ptr<imageContainer>& c, vq_ptr<imageContainer>* out)
{
    if (out == nullptr || c == nullptr)
        return false;
    *out = c;
    return true;
}

} // namespace

vq_tile_saver_container* vq_tile_saver_container::create()
{
    auto* h = new vq_tile_saver_container();
    h->addRef();
    return h;
}

vq_tile_saver_container::~vq_tile_saver_container()
{
    rawTile.reset();
    container.reset();
}

bool vq_tile_saver_container::getRawTile(vq_ptr<vq_raw_tile>* out)
{
    if (out == nullptr || rawTile == nullptr)
        return false;
    *out = rawTile;
    return true;
}

int32_t vq_tile_saver_container::getFormat()
{
    if (container != nullptr)
        return container->getFormat();
    return rawTile != nullptr ? vq_fmtRawTile : vq_fmtNone;
}

bool vq_tile_saver_container::getContainer(vq_ptr<imageContainer>* out, int32_t plane)
{
    return plane == vq_fmtRGB24 && handOut(container, out);
}

vq_tile_saver_containerYCbCr* vq_tile_saver_containerYCbCr::create()
{
    auto* h = new vq_tile_saver_containerYCbCr();
    h->addRef();
    return h;
}

vq_tile_saver_containerYCbCr::~vq_tile_saver_containerYCbCr()
{
    cr.reset();
    cb.reset();
    y.reset();
}

bool vq_tile_saver_containerYCbCr::getContainer(vq_ptr<imageContainer>* out, int32_t plane)
{
    switch (plane) {
    case vq_fmtPlaneY: return handOut(y, out);
    case vq_fmtPlaneCb: return handOut(cb, out);
    case vq_fmtPlaneCr: return handOut(cr, out);
    default: return false;
    }
}

bool vq_tile_saver::setRawTile(vq_raw_tile* raw)
{
    auto h = vq_ptr<vq_tile_saver_container>::adopt(vq_tile_saver_container::create());
    if (h == nullptr)
        return false;
    h->rawTile = raw;
    holder = h;
    return true;
}

bool vq_tile_saver::setContainer(imageContainer* container)
{
    auto h = vq_ptr<vq_tile_saver_container>::adopt(vq_tile_saver_container::create());
    if (h == nullptr)
        return false;
    h->container = containerOrEmpty(container);
    holder = h;
    return true;
}

bool vq_tile_saver::setYCbCrPlanes(imageContainer* y, imageContainer* cb, imageContainer* cr)
{
    auto h = vq_ptr<vq_tile_saver_containerYCbCr>::adopt(vq_tile_saver_containerYCbCr::create());
    if (h == nullptr)
        return false;
    h->y = containerOrEmpty(y);
    h->cb = containerOrEmpty(cb);
    h->cr = containerOrEmpty(cr);
    holder = h;
    return true;
}

int32_t vq_tile_saver::getFormat() const
{
    return holder == nullptr ? vq_fmtNone : holder->getFormat();
}

bool vq_tile_saver::getContainer(vq_ptr<imageContainer>* out, int32_t plane) const
{
    return holder != nullptr && holder->getContainer(out, plane);
}
