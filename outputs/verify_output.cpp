#include "outputs/verify_output.h"

#include <cstdio>
#include <new>

#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"

namespace {

// Locks the container only to see whether it hands out pixels.
bool hasPixels(imageContainer* container)
{
    const uint8_t* data = nullptr;
    int32_t step = 0;
    container->lockPixelsConst(&data, &step);
    container->unlockPixels();
    return data != nullptr;
}

bool hasArea(imageContainer* container)
{
    return container->getWidth() != 0 && container->getHeight() != 0;
}

} // namespace

vq_verify_output* vq_verify_output::create()
{
    return new (std::nothrow) vq_verify_output();
}

void vq_verify_output::report(const std::string& text)
{
    errorText += text;
    errorFlag = true;
}

void vq_verify_output::addError(const std::string& text)
{
    report(text);
    errorText += "\nLoader Failure";
}

void vq_verify_output::setBaseLayer(vq_zoom_layer* layer)
{
    if (layer == nullptr) {
        report("Pyramid base is invalid\n");
        return;
    }
    baseLevelNumber = layer->getLevel();
    const IntPair grid = layer->getTileCount();
    expected = grid.first * grid.second;
}

bool vq_verify_output::finish()
{
    if (counted != expected)
        report("Fewer tiles than expected");
    return true;
}

void vq_verify_output::countTile(vq_zoom_tile_base* tile)
{
    if (tile->getLevel() == baseLevelNumber)
        ++counted;
}

bool vq_verify_output::checkPlane(vq_zoom_tile_base* tile, int32_t plane, const char* name)
{
    const std::string noData = std::string("Tried to save ") + name + " tile with no data\n";
    vq_ptr<imageContainer> container;
    if (!tile->getContainer(container, plane) || container == nullptr) {
        report(noData);
        return false;
    }
    const bool data = hasPixels(container.get());
    if (!data)
        report(noData);
    // A Cr plane is checked for its size even without pixels.
    if ((data || plane == vq_fmtPlaneCr) && !hasArea(container.get()))
        report(std::string(name) + " Tile with zero width or height\n");
    return true;
}

bool vq_verify_output::checkTile(vq_zoom_tile_base* tile)
{
    if (tile == nullptr) {
        report("Passed empty tile to save\n");
        return false;
    }
    switch (tile->getFormat()) {
    case vq_fmtRGB24: {
        vq_ptr<imageContainer> rgb;
        if (!tile->getContainer(rgb, vq_fmtRGB24) || rgb == nullptr) {
            report("Tried to save empty RGB tile\n");
            return false;
        }
        if (!hasArea(rgb.get())) {
            char text[128];
            std::snprintf(text, sizeof(text), "RGB Tile x=%d,y=%d,z=%d with zero width or height\n",
                          tile->getX(), tile->getY(), tile->getLevel());
            report(text);
            return false;
        }
        if (!hasPixels(rgb.get())) {
            report("Tried to save RGB tile with no data\n");
            return false;
        }
        countTile(tile);
        return true;
    }
    case vq_fmtYCbCr:
        if (!checkPlane(tile, vq_fmtPlaneY, "Y") || !checkPlane(tile, vq_fmtPlaneCb, "Cb") ||
            !checkPlane(tile, vq_fmtPlaneCr, "Cr"))
            return false;
        // Once anything failed, no later YCbCr tile counts.
        if (errorFlag)
            return false;
        countTile(tile);
        return true;
    default:
        report("Unknown tile format\n");
        return false;
    }
}
