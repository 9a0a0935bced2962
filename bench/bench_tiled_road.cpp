// The road most users take: a large image into a tile folder on disk, once
// from a baseline JPEG (strip path) and once from a tiled TIFF of 256 x 256
// JPEG tiles with shared JPEGTables (tile path, decoded tile by tile on
// loader threads). Both sources hold the same synthetic 20000 x 20000 picture,
// a smooth texture with noise, made here on first use and kept in the
// benchmark folder (VQ_BENCH_DIR, else the system's temporary folder).
//
// Thread counts are the window's defaults for this machine; a second series
// runs the tiled source with 1, 2, 4 and 8 loader threads. Wall time and the
// CPU time of the whole process are reported for every case.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "engine/base/loader_base.h"
#include "engine/base/stream.h"
#include "engine/base/vq_global.h"
#include "engine/pyramid/kestrifier.h"
#include "jpeg/jpeg_reader.h"
#include "outputs/output_factories.h"
#include "platform/threads.h"
#include "readers/tiff/svs_reader.h"
#include "readers/tiff/tiff_reader.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSide = 20000;
constexpr int kTile = 256;
constexpr int kQuality = 90;

// ---- the picture -----------------------------------------------------------------

// Separable smooth waves plus a diagonal wave and hashed noise, all from
// tables so that 400 million pixels are made in seconds.
class Picture {
public:
    Picture()
    {
        for (int c = 0; c < 3; ++c) {
            across[c].resize(kSide);
            down[c].resize(kSide);
            diagonal[c].resize(3 * kSide);
            for (int i = 0; i < kSide; ++i) {
                across[c][i] = static_cast<float>(50.0 * std::sin(i * 0.013 + c));
                down[c][i] = static_cast<float>(std::cos(i * 0.011 - c));
            }
            for (int i = 0; i < 3 * kSide; ++i)
                diagonal[c][i] = static_cast<float>(30.0 * std::sin(i * 0.0041 + 2 * c));
        }
    }

    // One row of RGB samples from column x0 for `width` pixels; columns and
    // the row past the picture repeat its last column and row.
    void row(int y, int x0, int width, uint8_t* out) const
    {
        y = y < kSide ? y : kSide - 1;
        for (int i = 0; i < width; ++i) {
            const int x = x0 + i < kSide ? x0 + i : kSide - 1;
            uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
            h ^= h >> 15;
            h *= 0x2C1B3C6Du;
            h ^= h >> 12;
            for (int c = 0; c < 3; ++c) {
                const int noise = static_cast<int>((h >> (8 * c)) & 31) - 16;
                const float v = 128.0f + across[c][x] * down[c][y] + diagonal[c][x + 2 * y] + static_cast<float>(noise);
                out[3 * i + c] = static_cast<uint8_t>(v < 0.0f ? 0.0f : v > 255.0f ? 255.0f : v);
            }
        }
    }

private:
    std::vector<float> across[3], down[3], diagonal[3];
};

// ---- source files ----------------------------------------------------------------

struct Compressor {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};

    Compressor()
    {
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
    }
    ~Compressor() { jpeg_destroy_compress(&info); }

    void setUp(int width, int height)
    {
        info.image_width = static_cast<JDIMENSION>(width);
        info.image_height = static_cast<JDIMENSION>(height);
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info); // YCbCr with 2 x 2 chroma sampling
        jpeg_set_quality(&info, kQuality, TRUE);
    }
};

bool writeBaselineJpeg(const Picture& picture, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    Compressor c;
    jpeg_stdio_dest(&c.info, file);
    c.setUp(kSide, kSide);
    jpeg_start_compress(&c.info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(kSide) * 3);
    for (int y = 0; y < kSide; ++y) {
        picture.row(y, 0, kSide, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c.info, rows, 1);
    }
    jpeg_finish_compress(&c.info);
    return std::fclose(file) == 0;
}

// Little-endian classic TIFF writing, enough for one tiled image.
class TiffFile {
public:
    explicit TiffFile(FILE* f) : file(f) {}

    uint32_t tell() const { return static_cast<uint32_t>(std::ftell(file)); }
    void bytes(const void* data, size_t n) { ok = ok && std::fwrite(data, 1, n, file) == n; }
    void u16(uint16_t v) { bytes(&v, 2); }
    void u32(uint32_t v) { bytes(&v, 4); }
    // Aligns the next write to a word boundary, as directory data must be.
    void align()
    {
        if (tell() % 2 != 0)
            bytes("", 1);
    }

    struct Entry {
        uint16_t tag, type;
        uint32_t count, value; // value or offset
    };
    void entry(const Entry& e)
    {
        u16(e.tag);
        u16(e.type);
        u32(e.count);
        u32(e.value);
    }

    FILE* file;
    bool ok = true;
};

// 256 x 256 JPEG tiles, YCbCr with 2 x 2 chroma sampling, coded as
// abbreviated streams that share one JPEGTables stream, the way slide
// scanners store them. `description`, when not empty, becomes the
// ImageDescription, and the file is a slide: photometric RGB and no
// YCbCrSubsampling tag.
bool writeTiledTiff(const Picture& picture, const std::string& path, const std::string& description = {})
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    TiffFile tiff(f);
    tiff.bytes("II*\0", 4);
    tiff.u32(0); // directory offset, written at the end

    Compressor c;
    c.setUp(kTile, kTile);
    c.info.write_JFIF_header = FALSE;
    c.info.write_Adobe_marker = FALSE;
    unsigned char* tables = nullptr;
    unsigned long tablesLength = 0;
    jpeg_mem_dest(&c.info, &tables, &tablesLength);
    jpeg_write_tables(&c.info);
    const std::vector<uint8_t> jpegTables(tables, tables + tablesLength);
    std::free(tables);

    const int across = (kSide + kTile - 1) / kTile;
    std::vector<uint32_t> offsets, counts;
    std::vector<uint8_t> band(static_cast<size_t>(kTile) * across * kTile * 3);
    std::vector<uint8_t> tile(static_cast<size_t>(kTile) * kTile * 3);
    for (int ty = 0; ty < across; ++ty) {
        for (int r = 0; r < kTile; ++r)
            picture.row(ty * kTile + r, 0, across * kTile, band.data() + static_cast<size_t>(r) * across * kTile * 3);
        for (int tx = 0; tx < across; ++tx) {
            for (int r = 0; r < kTile; ++r)
                std::memcpy(tile.data() + static_cast<size_t>(r) * kTile * 3,
                            band.data() + (static_cast<size_t>(r) * across + tx) * kTile * 3, kTile * 3);
            unsigned char* coded = nullptr;
            unsigned long codedLength = 0;
            jpeg_mem_dest(&c.info, &coded, &codedLength);
            jpeg_suppress_tables(&c.info, TRUE);
            jpeg_start_compress(&c.info, FALSE);
            for (int r = 0; r < kTile; ++r) {
                JSAMPROW rows[1] = {tile.data() + static_cast<size_t>(r) * kTile * 3};
                jpeg_write_scanlines(&c.info, rows, 1);
            }
            jpeg_finish_compress(&c.info);
            offsets.push_back(tiff.tell());
            counts.push_back(static_cast<uint32_t>(codedLength));
            tiff.bytes(coded, codedLength);
            std::free(coded);
            tiff.align();
        }
    }

    const uint32_t tablesAt = tiff.tell();
    tiff.bytes(jpegTables.data(), jpegTables.size());
    tiff.align();
    const uint32_t bitsAt = tiff.tell();
    for (int i = 0; i < 3; ++i)
        tiff.u16(8);
    const uint32_t offsetsAt = tiff.tell();
    for (uint32_t v : offsets)
        tiff.u32(v);
    const uint32_t countsAt = tiff.tell();
    for (uint32_t v : counts)
        tiff.u32(v);
    uint32_t descriptionAt = 0;
    if (!description.empty()) {
        descriptionAt = tiff.tell();
        tiff.bytes(description.c_str(), description.size() + 1);
        tiff.align();
    }

    enum : uint16_t { kShort = 3, kLong = 4, kAscii = 2, kUndefined = 7 };
    const auto n = static_cast<uint32_t>(offsets.size());
    std::vector<TiffFile::Entry> entries = {
        {256, kLong, 1, kSide},
        {257, kLong, 1, kSide},
        {258, kShort, 3, bitsAt},
        {259, kShort, 1, 7},
        // A slide (with its description) says RGB and leaves the chroma
        // sampling to the tiles' frames, as Aperio scanners write it.
        {262, kShort, 1, description.empty() ? 6u : 2u},
    };
    if (!description.empty())
        entries.push_back({270, kAscii, static_cast<uint32_t>(description.size() + 1), descriptionAt});
    entries.insert(entries.end(), {
                                      {277, kShort, 1, 3},
                                      {284, kShort, 1, 1},
                                      {322, kLong, 1, kTile},
                                      {323, kLong, 1, kTile},
                                      {324, kLong, n, offsetsAt},
                                      {325, kLong, n, countsAt},
                                      {347, kUndefined, static_cast<uint32_t>(jpegTables.size()), tablesAt},
                                  });
    if (description.empty())
        entries.push_back({530, kShort, 2, 2u | (2u << 16)});
    const uint32_t directoryAt = tiff.tell();
    tiff.u16(static_cast<uint16_t>(entries.size()));
    for (const auto& e : entries)
        tiff.entry(e);
    tiff.u32(0);
    std::fseek(f, 4, SEEK_SET);
    tiff.u32(directoryAt);
    return std::fclose(f) == 0 && tiff.ok;
}

std::string benchFolder()
{
    const char* dir = std::getenv("VQ_BENCH_DIR");
    fs::path folder = dir != nullptr && *dir != '\0' ? fs::path(dir) : fs::temp_directory_path();
    folder /= "vq_tiled_road";
    fs::create_directories(folder);
    return folder.string();
}

// Makes the source once; a file from an earlier run is reused. Files are
// written under a temporary name, so a cut-short set-up leaves none behind.
template <class Writer>
std::string sourceFile(const std::string& name, Writer write)
{
    static const Picture* picture = nullptr;
    const std::string path = benchFolder() + "/" + name;
    if (fs::exists(path))
        return path;
    if (picture == nullptr)
        picture = new Picture();
    const std::string partial = path + ".partial";
    if (!write(*picture, partial))
        return {};
    fs::rename(partial, path);
    return path;
}

const std::string& jpegSource()
{
    static const std::string path = sourceFile("road_v1.jpg", writeBaselineJpeg);
    return path;
}

const std::string& tiffSource()
{
    static const std::string path =
        sourceFile("road_v1.tif", [](const Picture& p, const std::string& out) { return writeTiledTiff(p, out); });
    return path;
}

const std::string& slideSource()
{
    static const std::string path = sourceFile("road_v1.svs", [](const Picture& p, const std::string& out) {
        return writeTiledTiff(p, out, "Aperio Image Library v10.0.50\r\n20000x20000 [0,0 20000x20000] (256x256) "
                                      "JPEG/RGB Q=90|AppMag = 20|MPP = 0.5");
    });
    return path;
}

// ---- one conversion -----------------------------------------------------------------

// The engine thread counts the window gives a machine with n processors.
void setWindowThreadCounts(vq_global_base* global, int n)
{
    int loaders = 0, encoders = 0;
    if (n == 2) {
        loaders = 1;
        encoders = 2;
    } else if (n > 2) {
        loaders = n / 2;
        encoders = 3 * n / 4;
    }
    global->setMultiThreaded(n > 1);
    global->setLoaderThreadCount(loaders < 32 ? loaders : 32);
    global->setEncoderThreadCount(encoders < 32 ? encoders : 32);
}

// The window's defaults for a tile folder: quality 80, cubic halving, YCbCr
// tiles of 256.
bool runDriver(vq_tileloader_base* tiles, vq_stripLoader_base* strips, vq_FileInfo* info,
               const std::string& outputFolder, std::string& error)
{
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    driver->setOutputOption(0);
    driver->setQuality(80);
    driver->setMaxQuality(80);
    driver->setResampling(2);
    driver->setTilePixelFormat(3);
    driver->setPreferredTileSize(kTile);
    driver->setFileInfo(info);
    const bool ok = tiles != nullptr ? driver->kestrixTiles(tiles, 0, 0, outputFolder.c_str(), ".jpg")
                                     : driver->kestrixStrips(strips, outputFolder.c_str(), ".jpg");
    if (!ok)
        error = "the conversion failed";
    return ok;
}

// Opens the source as the window does and converts it into a tile folder.
bool convert(const std::string& source, const std::string& outputFolder, std::string& error)
{
    vq_ptr<vq_stream> stream;
    if (source.empty() || openReadStream(source.c_str(), stream.put()) != 0 || stream == nullptr) {
        error = "cannot open the source";
        return false;
    }
    vq_ptr<vq_loader_base> reader;
    const bool tiff = source.size() > 4 && source.compare(source.size() - 4, 4, ".tif") == 0;
    if (tiff)
        createTIFFLoader(stream.get(), reader.put());
    else
        createJPEGLoader(stream.get(), reader.put());
    vq_ptr<vq_FileInfo> info;
    if (reader == nullptr || !reader->getFileInfo(info.put()) || info == nullptr) {
        error = "cannot read the source";
        return false;
    }
    vq_ptr<vq_tileloader_base> tiles;
    vq_ptr<vq_stripLoader_base> strips;
    if (info->isTiled())
        reader->getTileLoader(tiles.put());
    if (tiles == nullptr)
        reader->getStripLoader(strips.put());
    if (tiff != (tiles != nullptr)) {
        error = tiff ? "the TIFF source is not read as tiles" : "the JPEG source is not read as strips";
        return false;
    }

    return runDriver(tiles.get(), strips.get(), info.get(), outputFolder, error);
}

int64_t countFiles(const std::string& folder)
{
    int64_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        n += e.is_regular_file();
    return n;
}

// Every run writes into a folder of its own, and the folders are removed only
// when the process ends. Removing the previous run's thousands of files just
// before the next run creates as many would time the file system's inode
// reuse instead of the converter: a file system without a journal scans past
// recently deleted inodes on every create (in the directory's lock), which
// tripled the process's CPU time in the tile-writing threads.
class RunFolders {
public:
    ~RunFolders()
    {
        std::error_code ignored;
        for (const auto& folder : made)
            fs::remove_all(folder, ignored);
    }

    std::string next(const std::string& name)
    {
        const std::string folder = benchFolder() + "/" + name + "_" + std::to_string(::getpid()) + "_" +
                                   std::to_string(made.size());
        made.push_back(folder);
        return folder;
    }

private:
    std::vector<std::string> made;
};

RunFolders runFolders;

// One conversion per iteration, each into a new folder named after `name`;
// the thread counts and the files written by the last run are reported.
template <class Convert>
void measureRuns(benchmark::State& state, vq_global_base* global, const std::string& name, Convert convertOnce)
{
    state.counters["loaders"] = global->getLoaderThreadCount();
    state.counters["encoders"] = global->getEncoderThreadCount();
    std::string output;
    for (auto _ : state) {
        state.PauseTiming();
        output = runFolders.next(name);
        state.ResumeTiming();
        std::string error;
        if (!convertOnce(output, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    if (!output.empty() && fs::exists(output))
        state.counters["files"] = static_cast<double>(countFiles(output));
    state.SetItemsProcessed(state.iterations() * int64_t(kSide) * kSide);
}

// Arguments: source (0 JPEG, 1 tiled TIFF), loader threads (0: the window's default).
void BM_TiledRoad(benchmark::State& state)
{
    const bool tiff = state.range(0) != 0;
    const std::string& source = tiff ? tiffSource() : jpegSource();
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    setWindowThreadCounts(global.get(), vq::platform::processorCount());
    if (state.range(1) != 0)
        global->setLoaderThreadCount(static_cast<int32_t>(state.range(1)));
    measureRuns(state, global.get(), tiff ? "out_tif" : "out_jpg",
                [&](const std::string& output, std::string& error) { return convert(source, output, error); });
}

// One conversion per repetition; wall time and the whole process's CPU time.
void oneRun(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
}

void oneRunEach(benchmark::internal::Benchmark* b)
{
    oneRun(b->ArgNames({"tiff", "loaders"}));
}

// Both sources side by side with the window's thread counts.
BENCHMARK(BM_TiledRoad)->Name("BM_TiledRoad/window_defaults")->Apply(oneRunEach)->Args({0, 0})->Args({1, 0});

// The tiled source as loader threads are added.
BENCHMARK(BM_TiledRoad)
    ->Name("BM_TiledRoad/loader_series")
    ->Apply(oneRunEach)
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({1, 4})
    ->Args({1, 8});

// The slide reader as it was before its tiles could pass undecoded: it
// offers no raw tiles, so the driver decodes every tile and encodes the
// base level again.
class DecodingSlideReader : public SVSTileLoader {
public:
    using SVSTileLoader::SVSTileLoader;
    bool hasRawTiles(int) override { return false; }
    bool isRawYCbCr(int) override { return false; }
    bool isJPEG(int) override { return false; }
};

// Opens the slide as the window opens ".svs" files; with pass-through off,
// through the reader that offers no raw tiles.
bool convertSlide(bool passThrough, const std::string& outputFolder, std::string& error)
{
    vq_ptr<vq_stream> stream;
    if (slideSource().empty() || openReadStream(slideSource().c_str(), stream.put()) != 0 || stream == nullptr) {
        error = "cannot open the slide";
        return false;
    }
    vq_ptr<vq_tileloader_base> tiles;
    if (passThrough) {
        createSVSRawTileLoader(stream.get(), tiles.put());
    } else {
        auto* reader = new DecodingSlideReader(stream.get());
        reader->addRef();
        tiles = vq_ptr<vq_tileloader_base>::adopt(reader);
        if (!reader->readMetadata())
            tiles.reset();
    }
    if (tiles == nullptr) {
        error = "cannot read the slide";
        return false;
    }
    return runDriver(tiles.get(), nullptr, nullptr, outputFolder, error);
}

// Argument: raw pass-through (0 off, 1 on); the window's thread counts.
void BM_TiledRoadSlide(benchmark::State& state)
{
    const bool passThrough = state.range(0) != 0;
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    setWindowThreadCounts(global.get(), vq::platform::processorCount());
    measureRuns(state, global.get(), "out_svs",
                [&](const std::string& output, std::string& error) { return convertSlide(passThrough, output, error); });
}

// An SVS slide of the same picture (tiles as the tiled TIFF's, photometric
// RGB, no subsampling tag), pass-through off and on side by side.
BENCHMARK(BM_TiledRoadSlide)
    ->Name("BM_TiledRoad/svs_slide")
    ->Apply([](benchmark::internal::Benchmark* b) { oneRun(b->ArgNames({"raw"})); })
    ->Arg(0)
    ->Arg(1);

// The tile-folder output reaches the driver through the output registry.
const bool outputsRegistered = (registerOutputFactories(), true);

} // namespace

VQ_BENCHMARK_MAIN()
