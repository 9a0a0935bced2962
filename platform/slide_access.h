// The slide-access layer: what the Mirax reader asks of an external slide
// component, in place of the COM server that serves Mirax slides elsewhere.
//
// A component offers two kinds of object: a slide (load a slide, answer
// properties, deliver its scan map and render one tile of one level) and an
// image (size, row step, pixel format and locked pixel rows) that the slide
// fills. Calls return an int32 status, negative on failure; strings are UTF-8.
//
// Objects come from the factory installed in the process. None is installed
// on Linux, so every creation fails with kSlideNoComponent; tests and a
// future component install their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vq::platform {

constexpr int32_t kSlideOk = 0;
// No component provides the class (the value a missing COM registration gives).
constexpr int32_t kSlideNoComponent = static_cast<int32_t>(0x80040154u);
// A property value that does not convert to a 32-bit integer.
constexpr int32_t kSlideTypeMismatch = static_cast<int32_t>(0x80020005u);
// A general failure of the component.
constexpr int32_t kSlideFailed = static_cast<int32_t>(0x80004005u);

// Pixel-format code of rendered tiles: 24-bit pixels, three bytes each in the
// order B, G, R.
constexpr int32_t kSlidePixelFormatBGR24 = 0x21808;

// A property value as a component reports it.
struct SlidePropertyValue {
    enum class Kind { Empty, Integer, Real, Text };
    Kind kind = Kind::Empty;
    int64_t integer = 0;
    double real = 0.0;
    std::string text;
};

// Converts a property value to a 32-bit integer: integers in range, reals
// rounded to the nearest integer (halves to even) and texts holding such a
// number; kSlideTypeMismatch for anything else, out of range included.
int32_t slidePropertyToInt32(const SlidePropertyValue& value, int32_t* out);

class SlideImage {
public:
    virtual ~SlideImage() = default;
    // The first pixel row; rows follow at getImageStride bytes apart.
    virtual int32_t lockImageData(const uint8_t** data) = 0;
    // Takes back the pointer lockImageData handed out.
    virtual int32_t unlockImageData(const uint8_t* data) = 0;
    virtual int32_t getImageWidth(int32_t* width) = 0;
    virtual int32_t getImageHeight(int32_t* height) = 0;
    virtual int32_t getImageStride(int32_t* stride) = 0;
    virtual int32_t getImagePixelFormat(int32_t* code) = 0;
};

class SlideObject {
public:
    virtual ~SlideObject() = default;
    // path: the slide's path without its ".mrxs" ending, "\" between names.
    virtual int32_t loadSlide(const std::string& path) = 0;
    virtual int32_t getSlideProperty(int32_t id, SlidePropertyValue* value) = 0;
    // Fills the image with the scan map: one byte per 256 x 256 tile of the
    // full-resolution level, non-zero where the slide was scanned.
    virtual int32_t getTileMapImage(int32_t which, SlideImage* image) = 0;
    // Renders the tiles from (firstColumn, firstRow) to (lastColumn, lastRow)
    // of the level into the image as kSlidePixelFormatBGR24 pixels.
    virtual int32_t readTileRegion(int32_t firstColumn, int32_t firstRow, int32_t lastColumn, int32_t lastRow,
                                   int32_t level, int32_t mode, int32_t quality, int32_t flags,
                                   SlideImage* image) = 0;
};

class SlideAccessFactory {
public:
    virtual ~SlideAccessFactory() = default;
    virtual int32_t createSlide(std::shared_ptr<SlideObject>* out) = 0;
    virtual int32_t createImage(std::unique_ptr<SlideImage>* out) = 0;
};

// Installs the component's factory (null: none) and returns the one it
// replaces. The factory must outlive every object made through it and its
// installation.
SlideAccessFactory* setSlideAccessFactory(SlideAccessFactory* factory);

// New objects from the installed factory; kSlideNoComponent without one.
int32_t createSlideObject(std::shared_ptr<SlideObject>* out);
int32_t createSlideImage(std::unique_ptr<SlideImage>* out);

// Whether a component's factory is installed.
bool hasSlideAccessComponent();

} // namespace vq::platform
