#include "outputs/pff/pff_output.h"

#include <new>
#include <strings.h>

#include "engine/pyramid/zoom_layer.h"
#include "outputs/pff/pff_saver.h"

vq_kestrixpff_output* vq_kestrixpff_output::create() { return new (std::nothrow) vq_kestrixpff_output; }

std::string vq_kestrixpff_output::fileName(const std::string& path) const {
    if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".pff") == 0) return path;
    return path + ".pff";
}

bool vq_kestrixpff_output::createSaver(vq_stream* stream, vq_svs_saver_base** out) {
    return createPffSaver(stream, out);
}

std::string vq_kestrixpff_output::saverFailure() {
    auto* pff = dynamic_cast<vq_pff_saver*>(saver_.get());
    return pff != nullptr ? pff->getFailure() : std::string();
}

void vq_kestrixpff_output::setBaseLayer(vq_zoom_layer* base) {
    if (!declareBaseLevel(base)) return;
    // Every level below the base, largest first; re-tiling levels are not
    // levels of the file.
    for (vq_zoom_layer* level = base->getNextLayer(); level != nullptr; level = level->getNextLayer())
        if (!level->isRetiling()) saver_->addLevel(level->getLevel(), level->getImageSize(), level->getQuality(), nullptr);
}
