// A JPEG source becomes an SVS file with JPEG 2000 tiles (output type 2),
// written by the built-in encoder: tifffile reads the directories back and
// opj_decompress decodes every tile, one component at a time, from a .j2k
// file of its own. Such an SVS, and a plain TIFF whose Y/Cb/Cr tiles were
// coded by opj_compress and assembled by tifffile, become tile folders from
// the window that show what opj_decompress makes of their tiles.
#include "tests/app/e2e_fixture.h"

#include <sstream>

namespace {

using namespace e2e;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(EndToEnd, JpegSourceBecomesSvsWithJpeg2000Tiles) {
    SourceFolder src("e2e_svs_j2k");
    const std::string jpg = src.make("picture.jpg");
    const int id = drop(juce::StringArray(jpg.c_str()), 2);
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
    const std::string file = src.path("picture.svs");
    ASSERT_TRUE(fs::exists(file)) << file;

    std::string report;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_SVS_CHECK "' '" + file + "' 2>&1", &report);
    ASSERT_EQ(rc, 0) << report;
    // 2000 x 1500 in 256-pixel tiles: 8 x 6 tiles, every one in place, and
    // the 1000 x 750 level below the thumbnail.
    EXPECT_TRUE(has(report, "page 0 size 2000x1500 subfile 0 compression 33003")) << report;
    EXPECT_TRUE(has(report, "tiled 1 parts 48 placed 48")) << report;
    EXPECT_TRUE(has(report, "page 2 size 1000x750 subfile 0 compression 33003")) << report;
    EXPECT_TRUE(has(report, "J2K/MIL Q=")) << report;

    // Every tile of every JPEG 2000 level decoded at 256 x 256; the top-left
    // tile's first component is the luma of the picture's top-left corner.
    int tiles = 0;
    std::istringstream in(report);
    std::string line;
    bool j2kPage = false;
    for (; std::getline(in, line);) {
        if (line.rfind("page ", 0) == 0) {
            j2kPage = has(line, "compression 33003");
            continue;
        }
        if (!j2kPage || line.rfind("part ", 0) != 0)
            continue;
        ++tiles;
        std::istringstream l(line.substr(5));
        int pageIndex = 0, k = 0, y = 0, cb = 0, cr = 0;
        std::string size;
        l >> pageIndex >> k >> size >> y >> cb >> cr;
        EXPECT_EQ(size, "256x256") << line;
        if (pageIndex == 0 && k == 0) {
            double luma = 0;
            for (int j = 0; j < 256; ++j)
                for (int i = 0; i < 256; ++i)
                    luma += 0.299 * sample(i, j, 0, kWidth, kHeight) + 0.587 * sample(i, j, 1, kWidth, kHeight) +
                            0.114 * sample(i, j, 2, kWidth, kHeight);
            EXPECT_NEAR(y, luma / (256 * 256), 4) << line;
        }
    }
    EXPECT_GE(tiles, 48 + 12) << report;
}

// Level 0 of a JPEG 2000 tiled TIFF decoded tile by tile with opj_decompress
// and assembled into `reference` (a PPM of the level's size). With `make`, the
// TIFF is first written: every 256 x 256 tile of the picture turned into Y,
// Cb, Cr 4:2:2 planes (JFIF equations), coded by opj_compress (9/7) and
// stored as it is by tifffile under compression 33003.
const char* kJ2KTiffScript = R"PY(
import os, subprocess, sys
import numpy as np
import tifffile
mode, tif, reference, work = sys.argv[1:5]
os.makedirs(work, exist_ok=True)

def read_ppm(path):
    data = open(path, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace(): pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos); continue
        start = pos
        while not data[pos:pos + 1].isspace(): pos += 1
        fields.append(data[start:pos])
    w, h = int(fields[1]), int(fields[2])
    return np.frombuffer(data[pos + 1:pos + 1 + w * h * 3], np.uint8).reshape(h, w, 3)

if mode == 'make':
    src = read_ppm(sys.argv[5])
    h, w = src.shape[:2]
    ph, pw = (h + 255) // 256 * 256, (w + 255) // 256 * 256
    padded = np.pad(src, ((0, ph - h), (0, pw - w), (0, 0)), mode='edge').astype(np.float64)
    tiles = []
    for ty in range(ph // 256):
        for tx in range(pw // 256):
            t = padded[ty * 256:(ty + 1) * 256, tx * 256:(tx + 1) * 256]
            r, g, b = t[..., 0], t[..., 1], t[..., 2]
            y = 0.299 * r + 0.587 * g + 0.114 * b
            cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b
            cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b
            half = lambda p: (p[:, 0::2] + p[:, 1::2]) / 2
            planes = [y, half(cb), half(cr)]
            raw = b''.join(np.clip(np.rint(p), 0, 255).astype(np.uint8).tobytes() for p in planes)
            open(work + '/tile.raw', 'wb').write(raw)
            subprocess.run(['opj_compress', '-i', work + '/tile.raw', '-o', work + '/tile.j2k', '-I', '-r', '20',
                            '-F', '256,256,3,8,u@1x1:2x1:2x1'], check=True, capture_output=True)
            tiles.append(open(work + '/tile.j2k', 'rb').read())
    tifffile.imwrite(tif, iter(tiles), shape=(h, w, 3), dtype='uint8', tile=(256, 256), photometric='rgb',
                     compression='zlib', metadata=None)
    with tifffile.TiffFile(tif, mode='r+b') as t:
        t.pages[0].tags['Compression'].overwrite(33003)

with tifffile.TiffFile(tif) as t:
    page = t.pages[0]
    w, h = page.imagewidth, page.imagelength
    across = (w + 255) // 256
    out = np.zeros(((h + 255) // 256 * 256, across * 256, 3), np.uint8)
    with open(tif, 'rb') as f:
        for i, (offset, count) in enumerate(zip(page.dataoffsets, page.databytecounts)):
            f.seek(offset)
            open(work + '/tile.j2k', 'wb').write(f.read(count))
            subprocess.run(['opj_decompress', '-i', work + '/tile.j2k', '-o', work + '/tile.ppm'], check=True,
                           capture_output=True)
            ty, tx = divmod(i, across)
            out[ty * 256:(ty + 1) * 256, tx * 256:(tx + 1) * 256] = read_ppm(work + '/tile.ppm')[:256, :256]
open(reference, 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + out[:h, :w].tobytes())
)PY";

// Runs the script above; "" when it succeeded, else its output.
std::string j2kTiff(const std::string& mode, const std::string& tif, const std::string& reference,
                    const std::string& work, const std::string& picture = "") {
    const std::string script = work + ".py";
    EXPECT_TRUE(vqtest::writeFile(script, kJ2KTiffScript));
    std::string output;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" + script + "' " + mode + " '" + tif + "' '" + reference +
                                          "' '" + work + "' '" + picture + "' 2>&1",
                                      &output);
    return rc == 0 ? "" : output;
}

// The independent checker on a tile folder against a reference picture: every
// tile in place, the base level within 3 per sample of the reference on
// average, smaller levels within 10 of its 2 x 2 averages.
std::string checkAgainst(const std::string& folder, const std::string& reference) {
    std::string output;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_CHECK_PYRAMID "' kestrix '" + folder + "' '" +
                                          reference + "' 256 --levels 10 2>&1",
                                      &output);
    return rc == 0 ? "OK " + output : output;
}

// The mean difference the checker printed for its full-resolution level (the
// first "level:difference" after "levels").
double baseDifference(const std::string& verdict) {
    const size_t levels = verdict.find(" levels ");
    const size_t colon = levels == std::string::npos ? levels : verdict.find(':', levels);
    return colon == std::string::npos ? 1e9 : std::stod(verdict.substr(colon + 1));
}

TEST_F(EndToEnd, JpegTwoThousandTiffAndSvsBecomeTileFoldersOfTheirDecodedTiles) {
    vqtest::requireTool("opj_compress");
    vqtest::requireTool("opj_decompress");
    SourceFolder src("e2e_j2k_sources", 700, 500);
    const std::string tif = src.path("ycc.tif"), tifReference = src.path("ycc-reference.ppm");
    ASSERT_EQ(j2kTiff("make", tif, tifReference, src.path("ycc-work"), src.ppm()), "");
    // Our own SVS writer makes the other source from a JPEG of the picture.
    const std::string jpg = src.make("slide.jpg");
    int id = drop(juce::StringArray(jpg.c_str()), 2);
    ASSERT_TRUE(runUntilFinal(id, 1));
    ASSERT_EQ(row(id).getStatus(), kStatusFinished) << row(id).getMessage() << joined(row(id).logLines);
    const std::string svs = src.path("slide.svs"), svsReference = src.path("svs-reference.ppm");
    ASSERT_EQ(j2kTiff("read", svs, svsReference, src.path("svs-work")), "");

    for (int kind : {0, 2}) {
        vq_ptr<vq_global_base> global;
        getGlobal(global.put());
        global->setJ2KDecoder(kind);
        for (const auto& [source, reference] : {std::pair{tif, tifReference}, std::pair{svs, svsReference}}) {
            SCOPED_TRACE(source + " decoder " + std::to_string(kind));
            const std::string folder = source.substr(0, source.size() - 4);
            fs::remove_all(folder);
            id = drop(juce::StringArray(source.c_str()), 0);
            ASSERT_TRUE(runUntilFinal(id, 1));
            EXPECT_EQ(row(id).getStatus(), kStatusFinished) << row(id).getMessage() << joined(row(id).logLines);
            const std::string verdict = checkAgainst(folder, reference);
            ASSERT_EQ(verdict.rfind("OK", 0), 0u) << verdict;
            EXPECT_LE(baseDifference(verdict), 3.0) << verdict;
        }
    }
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    global->setJ2KDecoder(0);
}

} // namespace
