#include "j2k/decode_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "j2k/byte_input.h"
#include "j2k/decoder/codestream.h"
#include "j2k/j2k_fixtures.h"
#include "support/test_env.h"

namespace j2ktest {

std::string RawImage::Format() const {
    std::ostringstream s;
    s << width << "," << height << "," << planes.size() << "," << bits << "," << (isSigned ? "s" : "u") << "@";
    for (size_t c = 0; c < planes.size(); ++c)
        s << (c ? ":" : "") << dx[c] << "x" << dy[c];
    return s.str();
}

RawImage MakeRaw(const std::string& dir, const std::string& name, int width, int height, int components, int bits,
                 bool isSigned, uint32_t seed, const std::vector<int>& dx, const std::vector<int>& dy) {
    RawImage img;
    img.width = width;
    img.height = height;
    img.bits = bits;
    img.isSigned = isSigned;
    img.dx = dx.empty() ? std::vector<int>(components, 1) : dx;
    img.dy = dy.empty() ? std::vector<int>(components, 1) : dy;
    std::mt19937 rng(seed);
    const int64_t range = int64_t(1) << bits;
    const int64_t low = isSigned ? -(range / 2) : 0;
    std::string bytes;
    for (int c = 0; c < components; ++c) {
        const int w = img.Width(c), h = img.Height(c);
        std::vector<int32_t> plane(size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // A ramp across the range, different per component, plus noise
                // of a few bits: every bit-plane gets coded.
                const int64_t ramp = (int64_t(x * 3 + y * 5 + c * 17) * range) / (3 * w + 5 * h + 40);
                const int64_t noise = int64_t(rng() % 64) - 32;
                int64_t v = ramp + noise * (range >> 7 > 0 ? range >> 7 : 1);
                v = ((v % range) + range) % range;
                plane[size_t(y) * w + x] = int32_t(v + low);
            }
        for (int32_t v : plane) {
            const uint32_t u = uint32_t(v);
            if (bits > 8)
                bytes.push_back(char((u >> 8) & 0xFF));
            bytes.push_back(char(u & 0xFF));
        }
        img.planes.push_back(std::move(plane));
    }
    img.path = dir + "/" + name + ".raw";
    vqtest::writeFile(img.path, bytes);
    return img;
}

namespace {

struct WarningList : BDiagnOutput {
    std::vector<std::string>* out;
    explicit WarningList(std::vector<std::string>* o) : out(o) {}
    void Warning(const BDiagnDescr& d) override { out->push_back(d.Message().c_str()); }
};

} // namespace

DecodeResult DecodeLowBands(const std::string& bytes) {
    DecodeResult r;
    try {
        MemoryBoundedInputBE in;
        in.Attach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        DJP2Codestream<MemoryBoundedInputBE> cs;
        WarningList warnings(&r.warnings);
        cs.SetOutput(&warnings);
        cs.AttachInput(&in);
        cs.ReadMainHeader();
        while (cs.ReadNextTilePart())
            while (cs.DecodeTilePart()) {
            }
        const DJP2MainHeader& h = cs.MainHeader();
        for (uint32_t c = 0; c < h.componentCount; ++c) {
            const uint32_t dx = uint32_t(h.sampling[c].first), dy = uint32_t(h.sampling[c].second);
            const uint32_t ox = CeilDivU32(h.imageRect.x0, dx), oy = CeilDivU32(h.imageRect.y0, dy);
            const int w = int(CeilDivU32(h.imageRect.x1(), dx) - ox), ht = int(CeilDivU32(h.imageRect.y1(), dy) - oy);
            const bool isSigned = (h.ssiz[c] & 0x80) != 0;
            const int32_t shift = isSigned ? 0 : int32_t(1) << (h.ssiz[c] & 0x7F);
            std::vector<int32_t> plane(size_t(w) * ht, 0);
            for (uint32_t t = 0; t < cs.TileCount(); ++t) {
                DJP2Tile& tile = cs.Tile(t);
                if (!tile.PlanesBuilt())
                    continue;
                if (c == 0)
                    tile.FinishCodeBlocks();
                const SubbandPlanes& p = tile.Planes(c);
                EXPECT_EQ(p.levels, 0u);
                const J2KRect rc = p.rect;
                for (uint32_t y = 0; y < rc.height; ++y)
                    for (uint32_t x = 0; x < rc.width; ++x) {
                        const uint32_t v = uint32_t(p.ll.Row(int32_t(y))[x]);
                        const int32_t m = int32_t(v & 0x7FFFFFFFu);
                        plane[size_t(rc.y0 + y - oy) * w + (rc.x0 + x - ox)] = ((v >> 31) ? -m : m) + shift;
                    }
            }
            r.planes.push_back(std::move(plane));
            r.widths.push_back(w);
            r.heights.push_back(ht);
        }
        r.ok = true;
    } catch (const BDiagnDescr& d) {
        r.error = d.Message().c_str();
    }
    return r;
}

DecodeResult DecodeCodestream(const std::string& bytes) {
    DecodeResult r;
    try {
        MemoryBoundedInputBE in;
        in.Attach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        DJP2Codestream<MemoryBoundedInputBE> cs;
        WarningList warnings(&r.warnings);
        cs.SetOutput(&warnings);
        cs.AttachInput(&in);
        cs.ReadMainHeader();
        DJP2Image image;
        InitImageFromMainHeader(cs.MainHeader(), image);
        while (cs.ReadNextTilePart())
            while (cs.DecodeTilePart()) {
            }
        cs.WriteComponents(image);
        for (uint32_t c = 0; c < image.NComponents(); ++c) {
            const DJP2PlaneBuffer& p = image.Components()[c];
            const int w = p.Size().first, h = p.Size().second;
            std::vector<int32_t> plane(size_t(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    plane[size_t(y) * w + x] = p.Row(y)[x];
            r.planes.push_back(std::move(plane));
            r.widths.push_back(w);
            r.heights.push_back(h);
        }
        r.ok = true;
    } catch (const BDiagnDescr& d) {
        r.error = d.Message().c_str();
    }
    return r;
}

namespace {

// Samples of a binary PGM or PPM, split into components.
std::vector<std::vector<int32_t>> ReadPnm(const std::string& data) {
    std::istringstream s(data);
    // Header fields, skipping comment lines.
    auto field = [&s]() {
        std::string t;
        while (s >> t && t[0] == '#')
            std::getline(s, t);
        return t;
    };
    const std::string magic = field();
    const int w = std::atoi(field().c_str()), h = std::atoi(field().c_str()), maxv = std::atoi(field().c_str());
    s.get();
    const int n = magic == "P6" ? 3 : 1;
    std::vector<std::vector<int32_t>> planes(n, std::vector<int32_t>(size_t(w) * h));
    const size_t start = size_t(s.tellg());
    EXPECT_EQ(maxv, 255);
    EXPECT_GE(data.size(), start + size_t(w) * h * n);
    if (data.size() < start + size_t(w) * h * n)
        return {};
    for (size_t i = 0; i < size_t(w) * h; ++i)
        for (int c = 0; c < n; ++c)
            planes[c][i] = uint8_t(data[start + i * n + c]);
    return planes;
}

} // namespace

std::vector<std::vector<int32_t>> ReferenceDecode(const std::string& dir, const std::string& bytes, int component) {
    const std::string tool = vqtest::requireTool("opj_decompress");
    const std::string in = dir + "/reference.j2k";
    vqtest::writeFile(in, bytes);
    const bool single = component >= 0;
    // Three components go to a PPM unless one is asked for.
    const std::string out = dir + (single ? "/reference.pgm" : "/reference.pnm");
    std::remove(out.c_str());
    std::string log;
    const std::string cmd = tool + " -i '" + in + "' -o '" + out + "'" +
                            (single ? " -c " + std::to_string(component) : std::string()) + " 2>&1";
    EXPECT_EQ(vqtest::runCommand(cmd, &log), 0) << log;
    return ReadPnm(vqtest::readFile(out));
}

std::string TestDir() {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("j2k_") + t->test_suite_name() + "_" + t->name();
    for (char& ch : name)
        if (ch == '/')
            ch = '_';
    return vqtest::scratchDir(name);
}

double Psnr(const std::vector<int32_t>& a, const std::vector<int32_t>& b, double peak) {
    EXPECT_EQ(a.size(), b.size());
    if (a.size() != b.size() || a.empty())
        return 0;
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i)
        se += double(a[i] - b[i]) * double(a[i] - b[i]);
    if (se == 0)
        return 1e9;
    return 10 * std::log10(peak * peak / (se / double(a.size())));
}

void PrintTo(const LosslessCase& c, std::ostream* os) {
    *os << c.components << "x" << c.bits << (c.isSigned ? "s" : "u") << " " << c.width << "x" << c.height << " "
        << c.options;
}

void ExpectLossless(const LosslessCase& k, const std::string& dir, DecodeResult (*decode)(const std::string&)) {
    const RawImage src = MakeRaw(dir, "src", k.width, k.height, k.components, k.bits, k.isSigned, 7 + k.bits);
    const std::string bytes = Compress(dir, src.path, "-F " + src.Format() + " " + k.options);
    ASSERT_FALSE(bytes.empty());
    const DecodeResult r = decode(bytes);
    ASSERT_TRUE(r.ok) << r.error;
    // Sound streams raise only the notes on markers this decoder reads past.
    for (const std::string& w : r.warnings)
        if (w.find("COM marker") == std::string::npos && w.find("TLM marker") == std::string::npos &&
            w.find("PLT marker") == std::string::npos)
            ADD_FAILURE() << "warning: " << w;
    ASSERT_EQ(r.planes.size(), src.planes.size());
    for (size_t c = 0; c < src.planes.size(); ++c) {
        ASSERT_EQ(r.widths[c], src.Width(int(c)));
        ASSERT_EQ(r.heights[c], src.Height(int(c)));
        size_t wrong = 0, first = 0;
        for (size_t i = 0; i < src.planes[c].size(); ++i)
            if (r.planes[c][i] != src.planes[c][i] && wrong++ == 0)
                first = i;
        EXPECT_EQ(wrong, 0u) << "component " << c << ", first at sample " << first << ": "
                             << r.planes[c][first] << " instead of " << src.planes[c][first];
    }
}


} // namespace j2ktest
