// The process-wide engine settings: thread counts, the JPEG 2000 decoder
// choice and the encoding defaults each job starts from. Created on first use
// through getGlobal and kept for the life of the process.
#pragma once

#include <cstdint>

#include "engine/base/vq_refcount.h"

class vq_global_base : public vq_refcount {
public:
    virtual void setMaxThreads(int32_t value) = 0;
    virtual int32_t getMaxThreads() = 0;
    virtual void setLoaderThreadCount(int32_t value) = 0;
    virtual int32_t getLoaderThreadCount() = 0;
    // Values above 12 are stored as 12.
    virtual void setEncoderThreadCount(int32_t value) = 0;
    virtual int32_t getEncoderThreadCount() = 0;
    virtual void setMultiThreaded(bool value) = 0;
    virtual bool isMultiThreaded() = 0;
    // 0 the engine's own JPEG 2000 codec, 2 the OpenJPEG-based decoder.
    virtual int32_t getJ2KDecoder() = 0;
    virtual void setJ2KDecoder(int32_t value) = 0;
    // Asks the system each time; nothing is stored.
    virtual int32_t getProcessorCount() = 0;
    virtual void setQuality(int32_t value) = 0;
    virtual int32_t getQuality() = 0;
    virtual void setMaxQuality(int32_t value) = 0;
    virtual int32_t getMaxQuality() = 0;
    // 3 YCbCr, 4 RGB.
    virtual int32_t getOutputColourSpace() = 0;
    virtual void setOutputColourSpace(int32_t value) = 0;
    // JPEG subsampling code.
    virtual void setSubsampling(int32_t value) = 0;
    virtual int32_t getSubsampling() = 0;
    // Keep the source's subsampling when the source is JPEG.
    virtual bool getSourceSubsampling() = 0;
    virtual void setSourceSubsampling(bool value) = 0;
    // Output tile size in pixels; 0 means the source's own tile size.
    virtual void setPreferredTileSize(int32_t value) = 0;
    virtual int32_t getPreferredTileSize() = 0;
    // Resampling option of the pyramid levels.
    virtual void setInterpolation(int32_t value) = 0;
    virtual int32_t getInterpolation() = 0;
    virtual void setJ2KFullChroma(bool value) = 0;
    virtual bool getJ2KFullChroma() = 0;
};

class vq_global : public vq_global_base {
public:
    // New settings object with its first reference taken.
    static vq_global* create();

    void setMaxThreads(int32_t value) override { maxThreads = value; }
    int32_t getMaxThreads() override { return maxThreads; }
    void setLoaderThreadCount(int32_t value) override { loaderThreadCount = value; }
    int32_t getLoaderThreadCount() override { return loaderThreadCount; }
    void setEncoderThreadCount(int32_t value) override;
    int32_t getEncoderThreadCount() override { return encoderThreadCount; }
    void setMultiThreaded(bool value) override { multiThreaded = value; }
    bool isMultiThreaded() override { return multiThreaded; }
    int32_t getJ2KDecoder() override { return j2kDecoder; }
    void setJ2KDecoder(int32_t value) override;
    int32_t getProcessorCount() override;
    void setQuality(int32_t value) override { quality = value; }
    int32_t getQuality() override { return quality; }
    void setMaxQuality(int32_t value) override { maxQuality = value; }
    int32_t getMaxQuality() override { return maxQuality; }
    int32_t getOutputColourSpace() override { return outputColourSpace; }
    void setOutputColourSpace(int32_t value) override { outputColourSpace = value; }
    void setSubsampling(int32_t value) override { subsampling = value; }
    int32_t getSubsampling() override { return subsampling; }
    bool getSourceSubsampling() override { return sourceSubsampling; }
    void setSourceSubsampling(bool value) override { sourceSubsampling = value; }
    void setPreferredTileSize(int32_t value) override { preferredTileSize = value; }
    int32_t getPreferredTileSize() override { return preferredTileSize; }
    void setInterpolation(int32_t value) override { interpolation = value; }
    int32_t getInterpolation() override { return interpolation; }
    void setJ2KFullChroma(bool value) override { j2kFullChroma = value; }
    bool getJ2KFullChroma() override { return j2kFullChroma; }

private:
    bool j2kFullChroma = false;
    int32_t maxThreads = 2;
    int32_t interpolation = 2;
    int32_t preferredTileSize = 256;
    int32_t loaderThreadCount = 0;
    int32_t encoderThreadCount = 0;
    bool multiThreaded = false;
    int32_t j2kDecoder = 0;
    int32_t quality = 50;
    int32_t maxQuality = 80;
    int32_t subsampling = 4;
    bool sourceSubsampling = true;
    int32_t outputColourSpace = 3;
};

// Stores the process-wide settings object, created on first use, with one
// reference for the caller (pass the put() of a vq_ptr). A null address does
// nothing. The process keeps its own reference until it ends.
void getGlobal(vq_global_base** out);
