// Source files of every kind the plain readers take, dropped on the window:
// each becomes a tile folder whose full-resolution tiles show the source
// pixels, and each file the readers refuse ends with the reader's reason in
// the job's log. The sources and the expected pixels are written by Python
// (numpy, zlib, tifffile) and by the test by hand, not by the converter.
#include "tests/app/e2e_fixture.h"

#include "app/JUCEKestrifier.h"
#include "tiff/vqtiff.h"

namespace {

using namespace e2e;

// Writes the named source files into a folder. PNG files are put together
// chunk by chunk; "<name>.ppm" next to each holds the RGB pixels the
// converter must show for it.
const char* const kMakeSources = R"PY(
import struct, sys, zlib
import numpy as np

out, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
names = sys.argv[4:]
y, x = np.mgrid[0:h, 0:w]
red = (x * 255 // w).astype(np.uint8)
green = (y * 255 // h).astype(np.uint8)
blue = np.where(((x // 100 + y // 100) % 2) == 1, 200, 40).astype(np.uint8)
rgb = np.dstack([red, green, blue])
grey = ((red.astype(np.int32) + green + blue) // 3).astype(np.uint8)
# Blocks fully opaque, fully transparent and half transparent.
alpha = np.choose((x // 64 + 2 * (y // 64)) % 3, [255, 0, 128]).astype(np.uint8)
noise = np.random.default_rng(7).integers(0, 256, (h, w, 4), dtype=np.uint8)

def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

def png(name, depth, colour, rows, extra=b'', interlace=0):
    raw = b''.join(b'\0' + bytes(r) for r in rows)
    head = struct.pack('>IIBBBBB', w, h, depth, colour, 0, 0, interlace)
    with open(out + '/' + name, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', head) + extra + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))

def expect(name, pixels):
    with open(out + '/' + name + '.ppm', 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (w, h) + np.ascontiguousarray(pixels, np.uint8).tobytes())

def over_white(colour, a):
    a = a.astype(np.int32)[..., None]
    return ((colour.astype(np.int32) * a + 255 * (255 - a)) // 255).astype(np.uint8)

def sixteen(samples):
    # The high byte carries the picture, the low byte noise a reader must drop.
    wide = samples.astype(np.uint16) * 256 + noise[..., :samples.shape[-1]] if samples.ndim == 3 \
        else samples.astype(np.uint16) * 256 + noise[..., 0]
    return wide.astype('>u2').reshape(h, -1).view(np.uint8)

def tiff(name, j2k, **layout):
    import tifffile
    path = out + '/' + name
    tifffile.imwrite(path, rgb, photometric='rgb', metadata=None, **layout)
    if j2k:
        with tifffile.TiffFile(path) as t:
            where = t.pages[0].tags['Compression'].valueoffset
        with open(path, 'r+b') as f:
            f.seek(where)
            f.write(struct.pack('<H', 33003))

for name in names:
    if name == 'interlaced.png':
        png(name, 8, 2, rgb.reshape(h, -1), interlace=1)
    elif name == 'deep.ppm':
        with open(out + '/' + name, 'wb') as f:
            f.write(b'P6\n%d %d\n65535\n' % (w, h) + sixteen(rgb).tobytes())
    elif name == 'short.ppm':
        # The header promises more rows than the file holds.
        with open(out + '/' + name, 'wb') as f:
            f.write(b'P6\n%d %d\n255\n' % (w, h) + rgb[:h // 2].tobytes())
    elif name == 'j2k.svs':
        tiff(name, True, tile=(256, 256), description='Aperio Image Library v10.0.50\n%dx%d -> %dx%d' % (w, h, w, h))
    elif name == 'j2k.tif':
        tiff(name, True, rowsperstrip=64)
    elif name == 'notatiff.tif':
        with open(out + '/' + name, 'wb') as f:
            f.write(b'this is no TIFF file at all\n' * 4)
    else:
        sys.exit('no recipe for ' + name)
)PY";

class ReaderSources {
public:
    ReaderSources(const std::string& name, int w, int h) : dir_(fs::absolute(vqtest::scratchDir(name)).string()) {
        script_ = dir_ + "/make_sources.py";
        EXPECT_TRUE(vqtest::writeFile(script_, kMakeSources));
        size_ = std::to_string(w) + " " + std::to_string(h);
    }
    // Writes the named files; returns their paths.
    juce::StringArray make(const std::vector<std::string>& names) const {
        std::string list;
        juce::StringArray paths;
        for (const auto& n : names) {
            list += " '" + n + "'";
            paths.add(path(n));
        }
        std::string output;
        EXPECT_EQ(vqtest::runCommand("/usr/bin/python3 '" + script_ + "' '" + dir_ + "' " + size_ + list + " 2>&1",
                                     &output),
                  0)
            << output;
        return paths;
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
    std::string script_;
    std::string size_;
};

class ReaderEndToEnd : public EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        // As at start-up: the TIFF library's messages become log lines.
        errorHandler_ = vqtiff::TIFFInstallErrorHandler(tiffMessageHandler);
        warningHandler_ = vqtiff::TIFFInstallWarningHandler(tiffMessageHandler);
    }
    void TearDown() override {
        vqtiff::TIFFInstallErrorHandler(errorHandler_);
        vqtiff::TIFFInstallWarningHandler(warningHandler_);
        EndToEnd::TearDown();
    }

private:
    vqtiff::TIFFMessageHandler errorHandler_ = nullptr;
    vqtiff::TIFFMessageHandler warningHandler_ = nullptr;
};

TEST_F(ReaderEndToEnd, RefusedFilesSayWhyInTheJobsLog) {
    struct Case {
        const char* name;
        const char* reason;
        bool atRecognition = true;
    };
    const std::vector<Case> cases = {
        {"interlaced.png", "Currently don't process PNG interlaced images\n"},
        {"deep.ppm", "PPM file is not 8-bit"},
        // Refused while the worker runs, on the driver's strip thread.
        {"short.ppm", "Failed to read line ", false},
        {"j2k.svs", "JPEG 2000 compressed slides are not supported by this build\n"},
        {"j2k.tif", "JPEG 2000 compressed TIFF files are not supported by this build\n"},
        {"notatiff.tif", "TIFF:"},
    };
    ReaderSources src("e2e_refused", 300, 200);
    std::vector<std::string> names;
    for (const auto& c : cases) names.push_back(c.name);
    const int first = drop(src.make(names));
    ASSERT_TRUE(runUntilFinal(first, static_cast<int>(cases.size())));
    for (size_t i = 0; i < cases.size(); ++i) {
        const ConversionJob& job = row(first + static_cast<int>(i));
        SCOPED_TRACE(cases[i].name);
        EXPECT_NE(job.getStatus(), kStatusFinished);
        // The row keeps the dispatcher's or the run's message; the log says why.
        const juce::String log = joined(job.logLines);
        EXPECT_TRUE(log.contains(cases[i].reason)) << log;
        EXPECT_TRUE(job.logLines.contains(job.getMessage())) << log;
        if (cases[i].atRecognition) {
            EXPECT_TRUE(job.getMessage().contains(juce::String(src.path(cases[i].name)))) << job.getMessage();
            EXPECT_FALSE(fs::exists(src.path(fs::path(cases[i].name).stem().string()))) << "no output folder";
        }
    }
}

} // namespace
