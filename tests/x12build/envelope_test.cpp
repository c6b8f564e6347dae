#include "x12build/envelope.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"

namespace brolvin {
namespace {

using test::FixedPlatform;
using test::TempDirTest;


class EnvelopeTest : public TempDirTest {
protected:
    FixedPlatform platform;
    RunContext ctx{platform};
};

TEST_F(EnvelopeTest, MapKeysFillHeaderAndReachTrailer) {
    write("m.cfg",
          "FIELD=A\r\nISA06=SENDER\r\nISA08=RECEIVER\r\nISA13=000000123\r\nGS6=1\r\nST2=0001\r\n");
    EnvelopeHeader h = buildEnvelopeHeader("837", "5010", 0, ":", "*", "~", "m.cfg", blankEnvelopeValues(), ctx);
    const std::string isa =
        "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       "
        "*261208*0905*U*00501*000000123*1*T*:~";
    ASSERT_EQ(isa.size(), 106u);
    EXPECT_EQ(h.text, isa + "GS****20261208*0905*1*X*~" + "ST*837*0001*~");
    EXPECT_EQ(buildEnvelopeTrailer(0, ":", "*", "~", 7, h.resolved.isa13, h.resolved.gs06, h.resolved.st02),
              "SE*9*0001~GE*1*1~IEA*1*000000123~");
}

TEST_F(EnvelopeTest, InputValuesWinAndAreCutOrPadded) {
    write("m.cfg", "ISA06=SENDER\r\nGS2=MAPSENDER\r\n");
    EnvelopeValues v = blankEnvelopeValues();
    v.isa06 = "ABCDEFGHIJKLMNOPQRS";
    v.isa13 = "42";
    v.isa15 = "PX";
    v.gs02 = "MINE";
    v.gs08 = "005010X222A1";
    v.st03 = "005010X222A1";
    EnvelopeHeader h = buildEnvelopeHeader("837", "5010", 1, ":", "*", "~", "m.cfg", v, ctx);
    EXPECT_EQ(h.resolved.isa06, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(h.resolved.isa13, "42       ");
    EXPECT_EQ(h.resolved.isa15, "P");
    EXPECT_EQ(h.text.substr(0, 108).size(), 108u);
    EXPECT_EQ(h.text.substr(106, 2), "\r\n");
    EXPECT_EQ(h.text.substr(108), "GS**MINE**20261208*0905**X*005010X222A1~\r\n"
                                  "ST*837**005010X222A1~\r\n");
    EXPECT_EQ(buildEnvelopeTrailer(1, ":", "*", "~", 0, h.resolved.isa13, h.resolved.gs06, h.resolved.st02),
              "SE*2*~\r\nGE*1*~\r\nIEA*1*42       ~\r\n");
}

TEST_F(EnvelopeTest, DefaultsWithoutMapAndShortVersion) {
    EnvelopeHeader h = buildEnvelopeHeader("270", "50", 0, ":", "*", "~", "absent.cfg", blankEnvelopeValues(), ctx);
    EXPECT_EQ(h.text,
              "ISA*00*          *00*          *ZZ*               *ZZ*               "
              "*261208*0905*U*00000*         *1*T*:~GS****20261208*0905**X*~ST*270**~");
    EXPECT_EQ(buildEnvelopeHeader("270", " 5 ", 0, ":", "*", "~", "", blankEnvelopeValues(), ctx).resolved.isa12,
              "00000");
}

TEST_F(EnvelopeTest, HeaderReadsTheClockForIsaAndGsSeparately) {
    class TickingPlatform : public FixedPlatform {
    public:
        DateTime now() override {
            DateTime t = fixedNow;
            t.minute += calls++;
            return t;
        }
        int calls = 0;
    } ticking;
    RunContext tickingCtx(ticking);
    EnvelopeHeader h = buildEnvelopeHeader("837", "5010", 0, ":", "*", "~", "", blankEnvelopeValues(), tickingCtx);
    EXPECT_EQ(h.text.substr(77, 4), "0905");
    EXPECT_NE(h.text.find("GS****20261208*0906*"), std::string::npos);
}

TEST_F(EnvelopeTest, KeyReaderShapesValuesAndIgnoresNonKeys) {
    write("m.cfg",
          " ISA06=LEADING\r\n"
          "isa06=lower\r\n"
          "ISA08=RECEIVERISLONGER\r\n"  // 18 characters: discarded
          "ISA05=ABC\r\n"
          "ISA07=1\r\n"
          "ISA13=1234567890\r\n"
          "ISA11=^^\r\n"
          "GS1= HC \r\n"
          "GS1=SECOND\r\n"
          "GS3=RE\nCV\r\n"  // a line feed alone ends a line
          "ST3=LAST");      // no line end: never examined
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa06), "");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa08), std::string(15, ' '));
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa05), "ZZ");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa07), "1 ");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa13), std::string(9, ' '));
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa11), "U");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelGs01), " HC ");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelGs03), "RE");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelSt03), "");
    EXPECT_EQ(CTLD48400AH("m.cfg", kSelIsa03), "");  // no key for this selector
    EXPECT_EQ(CTLD48400AH("none.cfg", kSelGs01), "");

    // The 16-character sender id is discarded, so the header falls back to spaces.
    write("n.cfg", "ISA06=ABCDEFGHIJKLMNOP\r\nISA15=P\r\n");
    EnvelopeHeader h = buildEnvelopeHeader("837", "5010", 0, ":", "*", "~", "n.cfg", blankEnvelopeValues(), ctx);
    EXPECT_EQ(h.resolved.isa06, std::string(15, ' '));
    EXPECT_EQ(h.resolved.isa15, "P");
}

}  // namespace
}  // namespace brolvin
