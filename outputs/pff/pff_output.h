// The PFF output: the pyramid written into one PFF file through the PFF
// saver. It takes decoded RGB tiles only (no raw source tiles, no Y/Cb/Cr
// tiles) and declares every level below the base, with no thumbnail.
#pragma once

#include "outputs/svs_output.h"

class vq_kestrixpff_output : public vq_zoomoutput_svs {
public:
    static vq_kestrixpff_output* create();

    void setBaseLayer(vq_zoom_layer* layer) override;
    bool saveRawTile(vq_zoom_tile_base*, vq_raw_tile*) override { return false; }
    bool acceptsRawTiles() override { return false; }
    bool acceptsYCbCrTiles() override { return false; }
    // The file always holds JPEG tiles.
    void setCompression(int32_t) override {}
    void setImageDescription(const std::string&) override {}
    int32_t getOutputOption() override { return 0; }
    void setScanInfo(double magnificationValue, double micronsPerPixelValue) override {
        vq_zoomoutput_base::setScanInfo(magnificationValue, micronsPerPixelValue);
    }
    // ".pff" is appended unless the path ends in it (any letter case).
    std::string fileName(const std::string& path) const override;

protected:
    vq_kestrixpff_output() = default;
    bool createSaver(vq_stream* stream, vq_svs_saver_base** out) override;
    std::string saverFailure() override;
};
