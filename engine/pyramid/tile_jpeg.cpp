#include "engine/pyramid/tile_jpeg.h"

#include "jpeg/jpeg_saver.h"

bool encodeTileJob(const vq_tile_saver& job, vq_ptr<vq_stream>& out)
{
    vq_ptr<vq_stream> memory;
    if (createMemoryWriteStream(4096, memory.put()) != 0 || memory == nullptr)
        return false;
    vq_ptr<vq_saver_base> saver;
    if (!createJPEGSaver(memory.get(), saver.put()) || saver == nullptr)
        return false;
    bool saved = false;
    switch (job.holder->getFormat()) {
    case vq_fmtRGB24: {
        vq_ptr<imageContainer> rgb;
        if (job.holder->getContainer(&rgb, vq_fmtRGB24)) {
            saver->setColourSpace(job.colourSpace);
            saved = saver->save(rgb.get(), job.quality, job.subsampling);
        }
        break;
    }
    case vq_fmtYCbCr: {
        vq_ptr<imageContainer> y, cb, cr;
        if (saver->supportsYCbCr() && job.holder->getContainer(&y, vq_fmtPlaneY) &&
            job.holder->getContainer(&cb, vq_fmtPlaneCb) && job.holder->getContainer(&cr, vq_fmtPlaneCr))
            saved = saver->saveYCbCr(y.get(), cb.get(), cr.get(), job.holder->getSubsampling(), job.quality,
                                     job.subsampling);
        break;
    }
    default:
        break;
    }
    if (!saved)
        return false;
    out = memory;
    return true;
}
