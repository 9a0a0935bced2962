#include "j2k/j2k_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>

#include "support/test_env.h"

namespace j2ktest {

namespace {

std::string Pattern(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + (rng() & 31)) & 0xFF);
    return s;
}

int IntAfter(const std::string& line, const std::string& key) {
    const size_t p = line.find(key);
    return p == std::string::npos ? 0 : std::stoi(line.substr(p + key.size()), nullptr, 0);
}

std::vector<std::pair<int, int>> Pairs(const std::string& line) {
    std::vector<std::pair<int, int>> out;
    // The values follow the "(w,h)=" or "(m,e)=" label.
    size_t p = line.find('=');
    while ((p = line.find('(', p)) != std::string::npos) {
        int a = 0, b = 0;
        if (std::sscanf(line.c_str() + p, "(%d,%d)", &a, &b) == 2)
            out.emplace_back(a, b);
        ++p;
    }
    return out;
}

} // namespace

std::string WriteRaw(const std::string& dir, const std::string& name, int width, int height, int components,
                     int bits, uint32_t seed) {
    const size_t bytes = size_t(width) * height * components * (bits > 8 ? 2 : 1);
    std::string data = Pattern(bytes, seed);
    if (bits > 8)
        for (size_t i = 0; i < bytes; i += 2)
            data[i] = static_cast<char>(data[i] & ((1 << (bits - 8)) - 1));
    const std::string path = dir + "/" + name + ".raw";
    vqtest::writeFile(path, data);
    return path;
}

std::string WritePnm(const std::string& dir, const std::string& name, int width, int height, int components,
                     uint32_t seed) {
    std::ostringstream s;
    s << (components == 1 ? "P5" : "P6") << "\n" << width << " " << height << "\n255\n";
    const std::string path = dir + "/" + name + (components == 1 ? ".pgm" : ".ppm");
    vqtest::writeFile(path, s.str() + Pattern(size_t(width) * height * components, seed));
    return path;
}

std::string Compress(const std::string& dir, const std::string& input, const std::string& options) {
    const std::string tool = vqtest::requireTool("opj_compress");
    const std::string out = input + ".j2k";
    std::remove(out.c_str());
    std::string log;
    const int rc = vqtest::runCommand(tool + " -i '" + input + "' -o '" + out + "' " + options + " 2>&1", &log);
    EXPECT_EQ(rc, 0) << options << "\n" << log;
    const std::string bytes = vqtest::readFile(out);
    EXPECT_FALSE(bytes.empty()) << options << "\n" << log;
    return bytes;
}

Dump DumpHeader(const std::string& dir, const std::string& bytes) {
    const std::string tool = vqtest::requireTool("opj_dump");
    const std::string path = dir + "/dump.j2k";
    vqtest::writeFile(path, bytes);
    std::string text;
    EXPECT_EQ(vqtest::runCommand(tool + " -i '" + path + "' 2>/dev/null", &text), 0);
    Dump d;
    std::istringstream lines(text);
    std::string line;
    enum { kNone, kImage, kTile } section = kNone;
    DumpComponent* comp = nullptr;
    int imageComp = -1, tileComp = -1;
    while (std::getline(lines, line)) {
        if (line.find("Image info") != std::string::npos) section = kImage;
        else if (line.find("default tile") != std::string::npos) section = kTile;
        else if (line.find("Codestream index") != std::string::npos) section = kNone;
        if (section == kImage) {
            if (line.find("x0=") != std::string::npos && line.find("tx0") == std::string::npos) {
                d.x0 = IntAfter(line, "x0=");
                d.y0 = IntAfter(line, "y0=");
            } else if (line.find("x1=") != std::string::npos) {
                d.x1 = IntAfter(line, "x1=");
                d.y1 = IntAfter(line, "y1=");
            } else if (line.find("numcomps=") != std::string::npos) {
                d.numcomps = IntAfter(line, "numcomps=");
                d.comps.resize(d.numcomps);
            } else if (line.find("component ") != std::string::npos) {
                comp = &d.comps.at(++imageComp);
            } else if (comp && line.find("dx=") != std::string::npos) {
                comp->dx = IntAfter(line, "dx=");
                comp->dy = IntAfter(line, "dy=");
            } else if (comp && line.find("prec=") != std::string::npos) {
                comp->prec = IntAfter(line, "prec=");
            } else if (comp && line.find("sgnd=") != std::string::npos) {
                comp->sgnd = IntAfter(line, "sgnd=");
            }
            if (line.find("Codestream info") != std::string::npos)
                section = kNone;
        }
        if (line.find("tx0=") != std::string::npos) {
            d.tx0 = IntAfter(line, "tx0=");
            d.ty0 = IntAfter(line, "ty0=");
        } else if (line.find("tdx=") != std::string::npos) {
            d.tdx = IntAfter(line, "tdx=");
            d.tdy = IntAfter(line, "tdy=");
        } else if (line.find("tw=") != std::string::npos) {
            d.tw = IntAfter(line, "tw=");
            d.th = IntAfter(line, "th=");
        }
        if (section == kTile) {
            if (line.find("comp ") != std::string::npos && line.find('{') != std::string::npos) {
                comp = &d.comps.at(++tileComp);
            } else if (tileComp < 0) {
                if (line.find("csty=") != std::string::npos) d.csty = IntAfter(line, "csty=");
                if (line.find("prg=") != std::string::npos) d.prg = IntAfter(line, "prg=");
                if (line.find("numlayers=") != std::string::npos) d.numlayers = IntAfter(line, "numlayers=");
                if (line.find("mct=") != std::string::npos) d.mct = IntAfter(line, "mct=");
            } else if (comp) {
                if (line.find("numresolutions=") != std::string::npos) comp->numresolutions = IntAfter(line, "numresolutions=");
                else if (line.find("cblkw=2^") != std::string::npos) comp->cblkw = IntAfter(line, "cblkw=2^");
                else if (line.find("cblkh=2^") != std::string::npos) comp->cblkh = IntAfter(line, "cblkh=2^");
                else if (line.find("cblksty=") != std::string::npos) comp->cblksty = IntAfter(line, "cblksty=");
                else if (line.find("qmfbid=") != std::string::npos) comp->qmfbid = IntAfter(line, "qmfbid=");
                else if (line.find("preccintsize") != std::string::npos) comp->precincts = Pairs(line);
                else if (line.find("qntsty=") != std::string::npos) comp->qntsty = IntAfter(line, "qntsty=");
                else if (line.find("numgbits=") != std::string::npos) comp->numgbits = IntAfter(line, "numgbits=");
                else if (line.find("stepsizes") != std::string::npos) comp->stepsizes = Pairs(line);
                else if (line.find("csty=") != std::string::npos) comp->csty = IntAfter(line, "csty=");
            }
        }
    }
    EXPECT_GT(d.numcomps, 0) << text;
    return d;
}

size_t FindMarker(const std::string& bytes, uint16_t marker, size_t from) {
    for (size_t i = from; i + 1 < bytes.size(); ++i)
        if (uint8_t(bytes[i]) == (marker >> 8) && uint8_t(bytes[i + 1]) == (marker & 0xFF))
            return i;
    return std::string::npos;
}

} // namespace j2ktest
