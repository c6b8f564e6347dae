#include "map/version_detect.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"

namespace brolvin {
namespace {

const std::string kIsa =
    "ISA*00*          *00*          *ZZ*SUBMITTER      *ZZ*RECEIVER       *240101*1200*^*00501*000000001*0*P*:~";

std::string interchange(const std::string& gs08, const std::string& st01, const std::string& bht02 = "0019",
                        const std::string& bht06 = "") {
    return kIsa + "\r\nGS*HC*SUBMITTER*RECEIVER*20240101*1200*1*X*" + gs08 + "~\r\nST*" + st01 + "*0001*" + gs08 +
           "~\r\nBHT*0007*" + bht02 + "*REF1*20240101*1200" + (bht06.empty() ? "" : "*" + bht06) +
           "~\r\nNM1*X3*2*PAYER~\r\n";
}

TEST(VersionTable, ElementNumbersCountTheIdentifierAsOne) {
    const std::string gs = "GS*HC*A*B*20240101*1200*1*X*005010X222A2";
    EXPECT_EQ(segmentElement(gs, 1, "*"), "GS");
    EXPECT_EQ(segmentElement(gs, 9, "*"), "005010X222A2");
    EXPECT_EQ(segmentElement(gs, 10, "*"), "");
    EXPECT_EQ(segmentElement("ST**1", 2, "*"), "");
    EXPECT_EQ(segmentElement("A||B", 2, "||"), "B");
}

TEST(VersionTable, OnlyExactVersionsOfEitherKeyRowSelectAMap) {
    EXPECT_EQ(mapForVersion("004010X098A1"), "837p.cfg");
    EXPECT_EQ(mapForVersion("005010X223A2"), "837I.cfg");
    EXPECT_EQ(mapForVersion("005010X224A2"), "837d.cfg");
    EXPECT_EQ(mapForVersion("004010X093A1B"), "277.cfg");
    EXPECT_EQ(mapForVersion("005010X218"), "820.cfg");
    EXPECT_EQ(mapForVersion("005010X222A1"), "");
    EXPECT_EQ(mapForVersion("005010X279"), "");
    EXPECT_EQ(mapForVersion("005010x222a2"), "");
    EXPECT_EQ(mapForVersion("005010X222"), "");
    EXPECT_EQ(mapForVersion(""), "");
}

class DetectTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};
    std::string detect(const std::string& content, const std::string& debug = "") {
        write("in.x12", content);
        return detectMapName("in.x12", debug, ctx);
    }
};

TEST_F(DetectTest, TableVersionsAndGuideFallback) {
    struct Case {
        const char* gs08;
        const char* st01;
        const char* bht02;
        const char* map;
    };
    const Case cases[] = {
        {"004010X098A1", "837", "00", "837p.cfg"},  {"005010X223A2", "837", "00", "837I.cfg"},
        {"005010X222A1", "837", "00", "837p.cfg"},  {"005010X223A3", "837", "00", "837I.cfg"},
        {"005010X223A1", "837", "00", "837I.cfg"},  {"005010X224A2", "837", "00", "837d.cfg"},
        {"005010X224A3", "837", "00", "837d.cfg"},  {"005010X221A1", "835", "00", "835.cfg"},
        {"005010X279A1", "270", "13", "270.cfg"},   {"005010X279A1", "271", "11", "271.cfg"},
        {"005010X212", "276", "13", "276.cfg"},     {"005010X212", "277", "08", "277.cfg"},
        {"005010X217", "278", "11", "278b.cfg"},    {"005010X217", "278", "13", "278a.cfg"},
        {"005010X220A1", "834", "00", "834.cfg"},   {"005010X218", "820", "00", "820.cfg"},
        {"004010X092A1", "271", "11", "271.cfg"},   {"004010X093A1", "276", "13", "276.cfg"},
        {"004010X094A1", "278", "13", "278a.cfg"},  {"004010X097A1", "837", "00", "837d.cfg"},
        // A guide of one pair of sets with a set it does not serve.
        {"005010X279A1", "835", "00", ""},
        // 5010 guide numbers with the 4010 prefix are no guides.
        {"004010X222A1", "837", "00", ""},
        // Unknown guides: ST01 decides for the sets with one map, never for 837 or 278.
        {"005010X999", "837", "00", ""},            {"005010X999", "835", "00", "835.cfg"},
        {"", "271", "11", "271.cfg"},               {"005010X999", "278", "11", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(detect(interchange(c.gs08, c.st01, c.bht02)), c.map) << c.gs08 << " " << c.st01;
}

// Acknowledgments are chosen by their set, whatever guide GS08 names; a 277
// is a claim acknowledgment when BHT06 says so.
TEST_F(DetectTest, AcknowledgmentsAndClaimAcknowledgments) {
    struct Case {
        const char* gs08;
        const char* st01;
        const char* bht06;
        const char* map;
    };
    const Case cases[] = {
        {"005010X231A1", "999", "", "999.cfg"},   {"005010X231", "999", "", "999.cfg"},
        {"", "999", "", "999.cfg"},               {"004010", "997", "", "997.cfg"},
        {"004010X098A1", "997", "", "997.cfg"},   {"005010X214", "277", "TH", "277CA.cfg"},
        {"005010X214", "277", "", "277CA.cfg"},   {"005010X212", "277", "TH", "277CA.cfg"},
        {"005010X999", "277", "TH", "277CA.cfg"}, {"005010X212", "277", "DG", "277.cfg"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(detect(interchange(c.gs08, c.st01, "08", c.bht06)), c.map) << c.gs08 << " " << c.st01;
}

TEST_F(DetectTest, OnlyOffsetsUpToOneThousandAreScanned) {
    // A filler segment moves the GS terminator to offset 999, 1000, then 1001.
    for (size_t gsEnd : {999u, 1000u, 1001u}) {
        std::string head = kIsa + "NTE*";
        std::string gs = "GS*HC*S*R*20240101*1200*1*X*004010X098A1~";
        std::string content = head + std::string(gsEnd + 1 - head.size() - gs.size() - 1, 'x') + "~" + gs + "ST*837*1~";
        ASSERT_EQ(content.find("~ST"), gsEnd);
        EXPECT_EQ(detect(content), gsEnd <= 1000 ? "837p.cfg" : "") << gsEnd;
    }
    // ST01 or BHT02 beyond the scan give no fallback either.
    std::string late = kIsa + "GS*HC*S*R*20240101*1200*1*X*005010X279A1~NTE*" + std::string(1000, 'x') + "~ST*271*1~";
    EXPECT_EQ(detect(late), "");
    std::string lateBht = kIsa + "GS*HC*S*R*20240101*1200*1*X*005010X217~ST*278*1~NTE*" + std::string(1000, 'x') + "~BHT*0007*11~";
    EXPECT_EQ(detect(lateBht), "");
}

TEST_F(DetectTest, DebugTraceIsWrittenWithTheFallbackDecision) {
    write("in.x12", kIsa + "\r\nGS*HC*S*R*1*2*1*X*005010X223A2~\r\nST*837*1~");
    EXPECT_EQ(CTL48400K("in.x12", "DEBUG", ctx), "005010X223A2");
    const std::string expected = std::string(" xst=~\r\n xds=*\r\n xss=:\r\n") +
                                 " Segment =ISA\r\n Segment Data=" + kIsa.substr(0, 105) + "\r\n" +
                                 " Segment =GS\r\n Segment Data=\r\nGS*HC*S*R*1*2*1*X*005010X223A2\r\n" +
                                 " Set GS =\r\nGS*HC*S*R*1*2*1*X*005010X223A2\r\n GG Version =005010X223A2\r\n";
    EXPECT_EQ(read("tdebug.log"), expected + "\x1A");

    EXPECT_EQ(detect(interchange("005010X222A1", "837"), "DEBUG"), "837p.cfg");
    std::string trace = read("tdebug.log");
    EXPECT_NE(trace.find(" GG Version =005010X222A1\r\n Fallback Map = 837p.cfg (guide 005010X222)\r\n\x1A"),
              std::string::npos)
        << trace;

    // Without GS within the scan the trace ends with the limit line.
    write("in.x12", kIsa + "NTE*" + std::string(1000, 'x') + "~");
    EXPECT_EQ(CTL48400K("in.x12", "DEBUG", ctx), "");
    trace = read("tdebug.log");
    EXPECT_TRUE(trace.ends_with(" Exit 1000 \r\n\x1A")) << trace;

    std::remove("tdebug.log");
    detect(interchange("004010X098A1", "837"), "   ");
    EXPECT_FALSE(fileExists("tdebug.log"));
}

TEST_F(DetectTest, MissingOrNonX12SourceSelectsNothing) {
    EXPECT_EQ(detectMapName("absent.x12", "", ctx), "");
    EXPECT_EQ(platform.warnings,
              (std::vector<std::string>{"<ERROR> ISA Check FC-Open # 2", "Cfile <ERROR> FC-Open # 2"}));
    EXPECT_EQ(detect("just some text, with commas and no header"), "");
    EXPECT_EQ(detect(""), "");
}

}  // namespace
}  // namespace brolvin
