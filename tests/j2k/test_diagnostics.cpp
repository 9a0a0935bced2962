// Diagnostic descriptors: the catalogue texts by enumeration and number, the
// text buffer's limit, and where warnings go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "j2k/diagnostics.h"

namespace {

struct CatalogueRow {
    DiagnText text;
    const char* expected;
};

class RecordingOutput : public BDiagnOutput {
public:
    void Warning(const BDiagnDescr& d) override { warnings.push_back(d.Message().c_str()); }
    std::vector<std::string> warnings;
};

} // namespace

TEST(J2KDiagnostics, EveryCatalogueEntryHasItsText) {
    const CatalogueRow rows[] = {
#include "diag_catalogue.inc"
    };
    for (const CatalogueRow& r : rows)
        EXPECT_STREQ(r.text.c_str(), r.expected);
}

TEST(J2KDiagnostics, ConditionsAddedByThisDecoderHaveTexts) {
    // Refusals that the catalogue's own numbering has no place for.
    const DiagnText added[] = {
        DiagnDescrCT<DJP2CSWarning, 7>().Message(),        DiagnDescrCT<DJP2CSUnsuppException, 19>().Message(),
        DiagnDescrCT<DJP2CSUnsuppException, 20>().Message(), DiagnDescrCT<DJP2MarkerException, 12>().Message(),
        DiagnDescrCT<DJP2MarkerException, 13>().Message(), DiagnDescrCT<DJP2MarkerException, 14>().Message(),
        DiagnDescrCT<DJP2MarkerException, 15>().Message(), DiagnDescrCT<DJP2MarkerException, 16>().Message(),
    };
    for (const DiagnText& t : added)
        EXPECT_GT(std::string(t.c_str()).size(), 20u);
    EXPECT_NE(std::string(added[1].c_str()).find("Part 2"), std::string::npos);
    EXPECT_NE(std::string(added[2].c_str()).find("HTJ2K"), std::string::npos);
}

TEST(J2KDiagnostics, TextKeepsAtMost1024Characters) {
    const std::string longText(2000, 'x');
    const DiagnText t(longText.c_str());
    EXPECT_EQ(std::string(t.c_str()), longText.substr(0, 1024));
    EXPECT_STREQ(DiagnText(nullptr).c_str(), "");
}

TEST(J2KDiagnostics, ErrorsAreThrownAsTheirClass) {
    try {
        ThrowDiagn<DJP2CSException, 1>();
    } catch (const DiagnDescrCT<DJP2CSException, 2>&) {
        FAIL() << "caught as the wrong number";
    } catch (const BDiagnDescr& d) {
        EXPECT_STREQ(d.Message().c_str(), "SOC marker not found in begin of codestream.");
        const bool exact = dynamic_cast<const DiagnDescrCT<DJP2CSException, 1>*>(&d) != nullptr;
        EXPECT_TRUE(exact);
    }
}

TEST(J2KDiagnostics, WarningsGoToTheCurrentOutput) {
    DiagnOutputRef ref;
    ref.Warn<DJP2CSWarning, 10>();  // the default output: no effect, no crash
    RecordingOutput out;
    ref.SetOutput(&out);
    ref.Warn<DPHWarning, 0>();
    ASSERT_EQ(out.warnings.size(), 1u);
    EXPECT_EQ(out.warnings[0],
              "Bad packet header bits padding was found. The bitstream is corrupted or incorrect. Decoder will try "
              "to ignore and continue decoding.");
    // A copied reference follows the same output; one copied from a reference
    // on its default keeps its own default.
    DiagnOutputRef copy = ref;
    copy.Warn<DEBCOTWarning, 1>();
    EXPECT_EQ(out.warnings.size(), 2u);
    DiagnOutputRef plain;
    DiagnOutputRef fromPlain = plain;
    EXPECT_NE(fromPlain.Output(), plain.Output());
    ref.SetOutput(nullptr);
    ref.Warn<DPHWarning, 0>();
    EXPECT_EQ(out.warnings.size(), 2u);
}
