// JP2 boxes: hand-built box sequences around an opj_compress code-stream, run
// through the file reader; every file and box diagnostic is checked against
// the catalogue text of the (enumeration, number) the case expects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/stream.h"
#include "j2k/byte_input.h"
#include "j2k/diagnostics.h"
#include "j2k/jp2_file.h"
#include "readers/jp2/jp2_fixtures.h"
#include "support/test_env.h"

using namespace jp2test;

namespace {

// One diagnostic as "<kind> <number>", found by its catalogue text.
template <class E>
bool MatchKind(const std::string& text, const char* kind, std::string& out) {
    for (int32_t n = 0; n < 32; ++n) {
        const char* t = DiagnCatalogueText<E>(n);
        if (t && text == t) {
            out = std::string(kind) + " " + std::to_string(n);
            return true;
        }
    }
    return false;
}

std::string Name(const BDiagnDescr& d) {
    const std::string text = d.Message().c_str();
    std::string out;
    if (MatchKind<DJP2BoxWarning>(text, "BoxWarning", out) || MatchKind<DJP2FileWarning>(text, "FileWarning", out) ||
        MatchKind<DJP2BoxException>(text, "BoxException", out) ||
        MatchKind<DJP2FileException>(text, "FileException", out) ||
        MatchKind<ByteInputException>(text, "ByteInputException", out))
        return out;
    return "other: " + text;
}

class Recorder : public BDiagnOutput {
public:
    // Code-stream warnings (opj_compress writes a comment marker) are not
    // this reader's concern.
    void Warning(const BDiagnDescr& d) override {
        const std::string name = Name(d);
        if (name.rfind("other: ", 0) != 0)
            names.push_back(name);
    }
    std::vector<std::string> names;
};

struct Outcome {
    std::vector<std::string> warnings;
    std::string thrown;  // empty when nothing was thrown
    bool codestream = false;
    DJP2Header header;
};

Outcome ReadFile(const std::string& file) {
    Outcome o;
    vq_ptr<vq_stream> stream;
    EXPECT_EQ(openMemoryStream(file.data(), file.size(), stream.put()), 0);
    BoundedInputBE input;
    input.Attach(stream.get());
    Recorder rec;
    {
        DJP2FileReader reader(&input);
        reader.SetOutput(&rec);
        try {
            reader.ReadFileHeader();
            o.codestream = reader.ReadToCodestream();
        } catch (const BDiagnDescr& d) {
            o.thrown = Name(d);
        }
        o.header.palette = reader.Header().palette;
        o.header.colour = reader.Header().colour;
        o.header.mapping = reader.Header().mapping;
        o.header.paletteMapped = reader.Header().paletteMapped;
    }
    input.Detach();
    o.warnings = rec.names;
    return o;
}

class JP2Boxes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string dir = vqtest::scratchDir("jp2_boxes");
        codestream_ = new std::string(GreyCodestream(dir, 24, 16));
    }
    static void TearDownTestSuite() { delete codestream_; }
    static const std::string& Cs() { return *codestream_; }

    // Signature, file type, a JP2 header with an 8-bit grey image header
    // matching the code-stream plus `extra` sub-boxes, then the code-stream.
    static std::string File(const std::string& jp2hBody, const std::string& between = "") {
        return Signature() + Ftyp() + Box("jp2h", jp2hBody) + between + Box("jp2c", Cs());
    }
    static std::string Ih(uint16_t nc = 1, uint8_t bpc = 7) { return Box("ihdr", Ihdr(16, 24, nc, bpc)); }
    static std::string Grey() { return Box("colr", ColrEnum(17)); }

private:
    static std::string* codestream_;
};
std::string* JP2Boxes::codestream_ = nullptr;

struct Case {
    const char* what;
    std::string file;
    std::vector<std::string> warnings;
    std::string thrown;
    bool codestream;
};

} // namespace

TEST_F(JP2Boxes, WellFormedFileRaisesNothing) {
    const Outcome o = ReadFile(File(Ih() + Grey()));
    EXPECT_TRUE(o.warnings.empty()) << o.warnings[0];
    EXPECT_EQ(o.thrown, "");
    EXPECT_TRUE(o.codestream);
    EXPECT_EQ(o.header.colour.enumCS, 17u);
}

TEST_F(JP2Boxes, FileAndBoxExceptions) {
    const std::string sig = Signature(), ftyp = Ftyp(), jp2c = Box("jp2c", Cs());
    const std::vector<Case> cases = {
        // The code-stream's first bytes read as a huge LBox before the type.
        {"bare code-stream", Cs(), {"BoxWarning 3"}, "FileException 0", false},
        {"signature body", Box("jP  ", Be32(0x0D0A870B)) + ftyp, {}, "FileException 1", false},
        {"no file type box", sig + Box("jp2h", Ih()), {}, "FileException 2", false},
        {"not jp2 compatible", sig + Ftyp("jpx ", 0, "jpxb") + Box("jp2h", Ih()) + jp2c, {}, "FileException 3", false},
        {"ends after ftyp", sig + ftyp, {}, "FileException 4", false},
        {"only other boxes", sig + ftyp + Box("xml ", "<a/>"), {"FileWarning 1"}, "FileException 4", false},
        {"LBox 5", sig + ftyp + Be32(5) + "jp2h" + Ih(), {}, "BoxException 1", false},
        {"XLBox 8", sig + ftyp + Be32(1) + "jp2h" + Be64(8) + Ih(), {}, "BoxException 2", false},
        {"XLBox 4 GiB body", sig + ftyp + Be32(1) + "jp2h" + Be64((uint64_t(1) << 32) + 16) + Ih(), {},
         "BoxException 3", false},
        {"first sub-box not ihdr", sig + ftyp + Box("jp2h", Grey() + Ih()), {}, "BoxException 4", false},
        {"height 0", sig + ftyp + Box("jp2h", Box("ihdr", Ihdr(0, 24, 1, 7))), {}, "BoxException 5", false},
        {"width negative", sig + ftyp + Box("jp2h", Box("ihdr", Ihdr(16, 0x80000000u, 1, 7))), {},
         "BoxException 5", false},
        {"no components", sig + ftyp + Box("jp2h", Box("ihdr", Ihdr(16, 24, 0, 7))), {}, "BoxException 6", false},
        {"compression 6", sig + ftyp + Box("jp2h", Box("ihdr", Ihdr(16, 24, 1, 7, 6))), {}, "BoxException 7", false},
        {"short bpcc", sig + ftyp + Box("jp2h", Box("ihdr", Ihdr(16, 24, 3, 255)) + Box("bpcc", "\x07")) + jp2c, {},
         "ByteInputException 0", false},
    };
    for (const Case& c : cases) {
        const Outcome o = ReadFile(c.file);
        EXPECT_EQ(o.thrown, c.thrown) << c.what;
        EXPECT_EQ(o.warnings, c.warnings) << c.what;
    }
}

TEST_F(JP2Boxes, WarningsAndTheirRepairs) {
    const std::string ih = Ih(), grey = Grey();
    const std::string pclr1 = Box("pclr", Be16(2) + std::string{1, 7} + std::string{10, 20});
    const std::string cmap1 = Box("cmap", Be16(0) + std::string{1, 0});
    const std::string resc = Box("resc", Be16(1) + Be16(2) + Be16(3) + Be16(4) + std::string{0, 0});
    const std::string resd = Box("resd", Be16(1) + Be16(2) + Be16(3) + Be16(4) + std::string{0, 0});
    const std::string bpcc = Box("bpcc", std::string{7});
    const std::vector<Case> cases = {
        {"MinV", Signature() + Ftyp("jp2 ", 1) + Box("jp2h", ih + grey) + Box("jp2c", Cs()), {"FileWarning 2"}, "",
         true},
        {"other brand, jp2 compatible",
         Signature() + Ftyp("jpx ", 0, "jpxbjp2 ") + Box("jp2h", ih + grey) + Box("jp2c", Cs()), {}, "", true},
        {"box before jp2h", Signature() + Ftyp() + Box("xml ", "<a/>") + Box("jp2h", ih + grey) + Box("jp2c", Cs()),
         {"FileWarning 1"}, "", true},
        {"box before jp2c", File(ih + grey, Box("uuid", std::string(16, 'u'))), {"FileWarning 1"}, "", true},
        {"jp2c before jp2h", Signature() + Ftyp() + Box("jp2c", Cs()) + Box("jp2h", ih + grey),
         {"FileWarning 1"}, "", false},
        {"depth limit in ihdr", File(Box("ihdr", Ihdr(16, 24, 1, 38)) + grey), {"BoxWarning 10", "FileWarning 5"},
         "", true},
        {"UnkC", File(Box("ihdr", Ihdr(16, 24, 1, 7, 7, 1)) + grey), {"BoxWarning 11"}, "", true},
        {"unknown sub-box", File(ih + Box("abcd", "xyz") + grey), {"BoxWarning 0"}, "", true},
        {"unknown in res", File(ih + grey + Box("res ", Box("resx", "12") + resc)), {"BoxWarning 1"}, "", true},
        {"padding after colr", File(ih + Box("colr", ColrEnum(17) + "pad")), {"BoxWarning 2"}, "", true},
        {"sub-box longer than jp2h", File(ih + Be32(40) + "colr" + ColrEnum(17)), {"BoxWarning 3"}, "", true},
        {"two pclr", File(ih + grey + pclr1 + pclr1 + cmap1), {"BoxWarning 4"}, "", true},
        {"two cmap", File(ih + grey + pclr1 + cmap1 + cmap1), {"BoxWarning 5"}, "", true},
        {"two colr", File(ih + Box("colr", ColrEnum(16)) + grey), {"BoxWarning 6"}, "", true},
        {"two bpcc", File(Box("ihdr", Ihdr(16, 24, 1, 255)) + grey + bpcc + bpcc), {"BoxWarning 7"}, "", true},
        {"two resc and resd", File(ih + grey + Box("res ", resc + resc + resd + resd)),
         {"BoxWarning 8", "BoxWarning 9"}, "", true},
        // The rest of a box with an unknown method is skipped as unread.
        {"METH 3", File(ih + Box("colr", std::string{3, 0, 0})), {"BoxWarning 12", "BoxWarning 2"}, "", true},
        {"colour space 18", File(ih + Box("colr", ColrEnum(18))), {"BoxWarning 13"}, "", true},
        {"palette depth limit", File(ih + grey + Box("pclr", Be16(1) + std::string{1, 38} + std::string(5, 1)) + cmap1),
         {"BoxWarning 14"}, "", true},
        {"bpcc depth limit", File(Box("ihdr", Ihdr(16, 24, 1, 255)) + grey + Box("bpcc", std::string{38})),
         {"BoxWarning 15", "FileWarning 6"}, "", true},
        {"no palette entries", File(ih + grey + Box("pclr", Be16(0) + std::string{1, 7}) + cmap1),
         {"BoxWarning 16"}, "", true},
        {"1025 palette entries", File(ih + grey + Box("pclr", Be16(1025) + std::string{1, 7} + std::string(1025, 3)) + cmap1),
         {"BoxWarning 17"}, "", true},
        {"palette column out of range", File(ih + grey + pclr1 + Box("cmap", Be16(0) + std::string{1, 1})),
         {"BoxWarning 18"}, "", true},
        {"direct channel with palette", File(ih + grey + pclr1 + Box("cmap", Be16(0) + std::string{0, 0})),
         {"BoxWarning 19"}, "", true},
        {"bpcc agreeing with BPC", File(ih + grey + bpcc), {"BoxWarning 20", "BoxWarning 20"}, "", true},
        {"bpcc differing from BPC", File(ih + grey + Box("bpcc", std::string{6})),
         {"BoxWarning 20", "BoxWarning 25", "FileWarning 6"}, "", true},
        {"sRGB with one mapped channel", File(ih + Box("colr", ColrEnum(16)) + pclr1 + cmap1), {"BoxWarning 21"}, "",
         true},
        // The profile itself is skipped as unread.
        {"ICC profile", File(ih + Box("colr", std::string{2, 0, 0} + "icc-profile-bytes")), {"BoxWarning 2", "BoxWarning 22"},
         "", true},
        {"mapping without palette", File(ih + grey + cmap1), {"BoxWarning 23"}, "", true},
        {"palette without mapping", File(ih + grey + pclr1), {"BoxWarning 24"}, "", true},
        {"component count", File(Ih(2) + grey), {"FileWarning 3"}, "", true},
        {"image size", File(Box("ihdr", Ihdr(17, 24, 1, 7)) + grey), {"FileWarning 4"}, "", true},
        {"BPC against Ssiz", File(Ih(1, 8) + grey), {"FileWarning 5"}, "", true},
        {"jp2c with LBox 0 at the end",
         Signature() + Ftyp() + Box("jp2h", ih + grey) + Be32(0) + "jp2c" + Cs(), {}, "", true},
        {"jp2c with XLBox", Signature() + Ftyp() + Box("jp2h", ih + grey) + Be32(1) + "jp2c" + Be64(16 + Cs().size()) + Cs(),
         {}, "", true},
    };
    for (const Case& c : cases) {
        const Outcome o = ReadFile(c.file);
        EXPECT_EQ(o.thrown, c.thrown) << c.what;
        EXPECT_EQ(o.warnings, c.warnings) << c.what;
        EXPECT_EQ(o.codestream, c.codestream) << c.what;
    }
}

TEST_F(JP2Boxes, PaletteValuesAndColourRecords) {
    // A signed 8-bit column and an unsigned 12-bit column of two entries.
    const std::string pclr = Box("pclr", Be16(2) + std::string{2, char(0x87), 11} + std::string{char(0x80), 0x0A, char(0xBC)} +
                                             std::string{0x7F, 0x0F, char(0xFF)});
    const std::string cmap = Box("cmap", Be16(0) + std::string{1, 1});
    Outcome o = ReadFile(File(Ih() + Box("colr", ColrEnum(16)) + Box("colr", std::string{2, 0, 0}) + pclr + cmap));
    EXPECT_EQ(o.thrown, "");
    ASSERT_EQ(o.header.palette.columns.size(), 2u);
    EXPECT_EQ(int64_t(o.header.palette.columns[0][0]), -128);
    EXPECT_EQ(int64_t(o.header.palette.columns[0][1]), 127);
    EXPECT_EQ(o.header.palette.columns[1][0], 0xABCu);
    EXPECT_EQ(o.header.palette.columns[1][1], 0xFFFu);
    ASSERT_EQ(o.header.paletteMapped.size(), 1u);
    EXPECT_TRUE(o.header.paletteMapped[0]);
    // An ICC profile after an sRGB box keeps the enumerated value it had.
    EXPECT_EQ(o.header.colour.meth, 2u);
    EXPECT_EQ(o.header.colour.enumCS, 16u);

    // An unknown method returns the record to its initial state.
    o = ReadFile(File(Ih() + Box("colr", ColrEnum(16)) + Box("colr", std::string{4, 0, 0})));
    EXPECT_TRUE(o.header.colour.unread);
    EXPECT_EQ(o.header.colour.enumCS, 17u);
}
