// The end-to-end fixture: the test picture in every source format, written by
// the test and by independent tools, the independent pyramid checker, and the
// window as the application shows it with the engine defaults of start-up.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/BadFilesDialog.h"
#include "app/JobSources.h"
#include "app/LogQueue.h"
#include "app/MainAppWindow.h"
#include "app/MainComponent.h"
#include "tests/app/app_test_support.h"
#include "tests/app/e2e_slide.h"
#include "tests/support/test_env.h"

namespace e2e {

namespace fs = std::filesystem;

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// A gradient with 100-pixel blocks: tiles in the wrong place show at once.
inline uint8_t sample(int x, int y, int c, int w, int h) {
    switch (c) {
        case 0: return static_cast<uint8_t>(x * 255 / w);
        case 1: return static_cast<uint8_t>(y * 255 / h);
        default: return ((x / 100 + y / 100) % 2) != 0 ? 200 : 40;
    }
}

// The region (x0, y0, w, h) of the w x h test picture, or of a larger one.
inline std::string ppmBytes(int w, int h, int x0 = 0, int y0 = 0, int fullW = 0, int fullH = 0) {
    if (fullW == 0) fullW = w, fullH = h;
    std::string bytes = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    bytes.reserve(bytes.size() + static_cast<size_t>(w) * h * 3);
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            for (int c = 0; c < 3; ++c) bytes.push_back(static_cast<char>(sample(x, y, c, fullW, fullH)));
    return bytes;
}

inline void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// 24-bit bottom-up BMP.
inline std::string bmpBytes(int w, int h) {
    const int rowBytes = (w * 3 + 3) & ~3;
    std::string out = "BM";
    put32(out, 54u + static_cast<uint32_t>(rowBytes * h));
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(w));
    put32(out, static_cast<uint32_t>(h));
    out += std::string("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; ++i) put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x)
            for (int c = 2; c >= 0; --c) out.push_back(static_cast<char>(sample(x, y, c, w, h)));
        out.append(static_cast<size_t>(rowBytes - w * 3), '\0');
    }
    return out;
}

inline bool writePng(const std::string& path, int w, int h) {
    juce::Image image(juce::Image::RGB, w, h, false, juce::SoftwareImageType());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixelAt(x, y, juce::Colour(sample(x, y, 0, w, h), sample(x, y, 1, w, h), sample(x, y, 2, w, h)));
    juce::File file(path);
    file.deleteFile();
    juce::FileOutputStream stream(file);
    return stream.openedOk() && juce::PNGImageFormat().writeImageToStream(image, stream);
}

// Source files of the test picture, made by the test and by independent tools.
class SourceFolder {
public:
    explicit SourceFolder(const std::string& name, int w = kWidth, int h = kHeight)
        : dir_(fs::absolute(vqtest::scratchDir(name)).string()), w_(w), h_(h) {
        EXPECT_TRUE(vqtest::writeFile(ppm(), ppmBytes(w, h)));
    }
    std::string dir() const { return dir_; }
    std::string ppm() const { return dir_ + "/reference.ppm"; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Writes the picture under `name` in the format of its extension.
    std::string make(const std::string& name) const {
        const std::string out = path(name);
        const std::string ext = fs::path(name).extension().string();
        if (ext == ".ppm") {
            EXPECT_TRUE(vqtest::writeFile(out, ppmBytes(w_, h_)));
        } else if (ext == ".bmp") {
            EXPECT_TRUE(vqtest::writeFile(out, bmpBytes(w_, h_)));
        } else if (ext == ".png") {
            EXPECT_TRUE(writePng(out, w_, h_));
        } else if (ext == ".jpg") {
            const std::string cjpeg = vqtest::requireTool("cjpeg");
            EXPECT_EQ(vqtest::runCommand(cjpeg + " -quality 95 -outfile '" + out + "' '" + ppm() + "'"), 0);
        } else if (ext == ".svs") {
            makeSlide(name, true);
        } else if (ext == ".tif") {
            // Debian's tifffile writes the TIFF in strips.
            const std::string script = "import numpy, tifffile\n"
                                       "d = open('" + ppm() + "', 'rb').read()\n"
                                       "a = numpy.frombuffer(d[-" + std::to_string(w_ * h_ * 3) + ":], numpy.uint8)"
                                       ".reshape(" + std::to_string(h_) + ", " + std::to_string(w_) + ", 3)\n"
                                       "tifffile.imwrite('" + out + "', a, photometric='rgb', metadata=None, "
                                       "rowsperstrip=64)\n";
            EXPECT_TRUE(vqtest::writeFile(out + ".py", script));
            EXPECT_EQ(vqtest::runCommand("/usr/bin/python3 '" + out + ".py'"), 0) << "python3 with tifffile is needed";
        } else {
            ADD_FAILURE() << "no writer for " << name;
        }
        return out;
    }

    // The picture as a slide with JPEG tiles (see writeSlide): an Aperio SVS
    // or a plain JPEG-tiled pyramid TIFF.
    SlideFile makeSlide(const std::string& name, bool aperio) const {
        return writeSlide(path(name), w_, h_, aperio,
                          [this](int x, int y, int c) { return sample(x, y, c, w_, h_); });
    }

    // The independent checker's verdict on a pyramid made from this picture;
    // options such as "--levels 4" go to the checker.
    std::string check(const std::string& mode, const std::string& folder, int tileSize = 256,
                      const std::string& options = "") const {
        vqtest::requireTool("djpeg");
        std::string output;
        const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_CHECK_PYRAMID "' " + mode + " '" + folder + "' '" +
                                              ppm() + "' " + std::to_string(tileSize) + " " + options + " 2>&1",
                                          &output);
        return rc == 0 ? "OK" : output;
    }

private:
    std::string dir_;
    int w_;
    int h_;
};

inline bool isFinal(int status) { return status != kStatusPending && status != kStatusProcessing; }

// The window as the application shows it, with the engine defaults of start-up.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        vq_ptr<vq_global_base> global;
        getGlobal(global.put());
        global->setInterpolation(2);
        global->setQuality(80);
        global->setMaxQuality(80);
        global->setSubsampling(2);
        global->setSourceSubsampling(true);
        global->setOutputColourSpace(3);
        global->setPreferredTileSize(256);
        window_ = std::make_unique<MainAppWindow>();
        window_->setOutputType(0);
        window_->startTimer(1000);
    }
    void TearDown() override { window_.reset(); }

    MainComponent& content() { return *window_->getMainComponent(); }
    ImagePreview& preview() { return *content().getPreview(); }

    // Drops the paths with the output type selected; returns the first job id.
    int drop(const juce::StringArray& paths, int outputType = 0) {
        window_->setOutputType(outputType);
        const int first = jobIdCounter;
        window_->filesDropped(paths, 10, 10);
        return first;
    }
    const ConversionJob& row(int id) {
        const ConversionJob* job = content().getJobTable()->findRow(id);
        EXPECT_NE(job, nullptr) << id;
        static const ConversionJob none;
        return job != nullptr ? *job : none;
    }
    // Pumps the message loop until the rows of the ids are final and the worker is idle.
    bool runUntilFinal(int firstId, int count, int timeoutMs = 240000) {
        return apptest::pumpUntil(
            [&] {
                for (int id = firstId; id < firstId + count; ++id)
                    if (!isFinal(row(id).getStatus())) return false;
                return !window_->getWorker().isThreadRunning();
            },
            timeoutMs);
    }
    static juce::String joined(const juce::StringArray& lines) { return lines.joinIntoString(""); }

    std::unique_ptr<MainAppWindow> window_;
};

} // namespace e2e
