// Inputs beyond their size limits and values that could break the output,
// run through the real program: a refused job stops with its run-log line and
// exit 1 in bounded memory, and what a job writes stays well formed.
#include <string>
#include <vector>

#include "support/fixed_platform.h"
#include "support/process.h"
#include "util/file_io.h"
#include "util/os.h"

namespace brolvin {
namespace {

using test::Outcome;
using test::runProgram;

#if defined(__SANITIZE_ADDRESS__)
constexpr long kPeakLimitKb = 1024 * 1024;  // redzones and the free-memory quarantine
#else
constexpr long kPeakLimitKb = 256 * 1024;
#endif

const std::string kHead =
    "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~"
    "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~";
const std::string kTail = "SE*9*0001~GE*1*1~IEA*1*000000101~";

const char* const kParseMap =
    "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n"
    "FIELD=PROVIDER,35,NM1,85,2,3,,,,2,,Provider\r\n"
    "FIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n"
    "FIELD=PROC1,10,SV1,HC,2,1,2,,,0,1,Procedure\r\n"
    "FIELD=PROC2,10,SV1,HC,2,1,2,,,0,2,Procedure 2\r\n"
    "FIELD=END,1,ZZZ\r\n";

const char* const kGenerationMap =
    "X12TRANSACTIONTYPE=837\r\nVERSION=005010X222A1\r\nFIELD=CLAIMID,20\r\nFIELD=NOTE,80\r\n"
    "SEGMENT=2,NTE,ADD,$NOTE\r\n";

std::string claim(const std::string& provider) {
    return "HL*1**20*1~NM1*85*2*" + provider + "~HL*2*1*22*0~CLM*C1*100~LX*1~SV1*HC:A1*1~LX*2~SV1*HC:B2*2~";
}

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    size_t start = 0;
    for (size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size())
        out.append(text, start, at - start).append(to);
    return out.append(text, start, std::string::npos);
}

class BoundsTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("m.cfg", kParseMap);
        write("g.cfg", kGenerationMap);
    }
    // Each text followed by its count of zero bytes: a sparse file, made at
    // once whatever its size. The file's size is returned.
    long long writeWithHoles(const std::string& name, const std::vector<std::pair<std::string, long long>>& pieces) {
        int fd = os::openFile(name, O_WRONLY | O_CREAT | O_TRUNC);
        EXPECT_GE(fd, 0);
        long long at = 0;
        for (const auto& [text, zeros] : pieces) {
            EXPECT_EQ(os::writeAt(fd, text.data(), text.size(), at), static_cast<long long>(text.size()));
            at += static_cast<long long>(text.size()) + zeros;
        }
        EXPECT_TRUE(os::truncateFile(fd, at));
        os::closeFile(fd);
        return at;
    }
    Outcome convert(const std::string& type, const std::string& source, const std::string& destination,
                    const std::string& options) {
        Outcome o = runProgram({type, source, destination, options});
        runLog_ = read("parse.log");
        EXPECT_TRUE(o.exitedNormally) << "ended by signal " << -o.status;
        return o;
    }
    bool logged(const std::string& text) const { return runLog_.find(text) != std::string::npos; }
    std::string runLog_;
};

TEST_F(BoundsTest, InputsBeyondTheirLimitsStopTheJobInBoundedMemory) {
    const long long kGiB = 1LL << 30, kMiB = 1LL << 20;
    write("fn.txt", "CSVTABLE tab.csv\r\n");
    write("fn.cfg", std::string(kParseMap) + "FIELD=FN,10,CLM,,,1,,,,0,,Func,,,fn.txt\r\n");
    writeWithHoles("big.cfg", {{kParseMap, 2 * kMiB}});
    std::string manyLines = kParseMap;
    for (int i = 0; i < 20000; ++i) manyLines += "SCREEN=\r\n";
    write("lines.cfg", manyLines);
    writeWithHoles("tab.csv", {{"C1,ONE\r\n", 20 * kMiB}});
    struct Case {
        const char* name;
        const char* type;
        const char* source;
        std::vector<std::pair<std::string, long long>> pieces;  // the source
        const char* options;
        const char* line;
    };
    const Case cases[] = {
        {"unterminated segment", "X12,XML", "in.x12", {{kHead + "NM1*85*2*", kGiB}}, "MAP=m.cfg",
         " - Input Refused : segment 4 of in.x12 is longer than 64 MB"},
        {"segment in the ML pre-pass", "X12,CSV", "in.x12", {{kHead + "NM1*85*2*", kGiB}}, "MAP=m.cfg,ML",
         " - Input Refused : segment 4 of in.x12 is longer than 64 MB"},
        {"record values", "X12,XML", "in.x12",
         {{kHead + "HL*1**20*1~NM1*85*2*", 20 * kMiB}, {"~CLM*", 20 * kMiB}, {"~" + kTail, 0}}, "MAP=m.cfg",
         " - Input Refused : the values of the record at segment 6 of in.x12 are larger than 32 MB"},
        {"CSV line", "CSV,X12", "in.csv", {{"C1,", kGiB}}, "MAP=g.cfg",
         " - Input Refused : line 1 of in.csv is longer than 32 MB"},
        {"XML text", "XML,X12", "in.xml", {{"<EXPORTDATA><CLAIM><NOTE>", 256 * kMiB}}, "MAP=g.cfg",
         " - Input Refused : the text of element NOTE in record 1 of in.xml is longer than 32 MB"},
        {"XML tag", "XML,X12", "in.xml", {{"<EXPORTDATA><CLAIM><NO", kGiB}}, "MAP=g.cfg",
         " - Input Refused : a tag of in.xml is longer than 1 MB"},
        {"map file", "X12,XML", "in.x12", {{kHead + claim("P") + kTail, 0}}, "MAP=big.cfg",
         " - Input Refused : map file big.cfg is larger than 1 MB"},
        {"map lines", "X12,XML", "in.x12", {{kHead + claim("P") + kTail, 0}}, "MAP=lines.cfg",
         " - Input Refused : map file lines.cfg has more than 20000 FIELD=, SEGMENT= and SCREEN= lines"},
        {"lookup table", "X12,XML", "in.x12", {{kHead + claim("P") + kTail, 0}}, "MAP=fn.cfg",
         " - Input Refused : lookup table tab.csv is larger than 16 MB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long long size = writeWithHoles(c.source, c.pieces);
        Outcome o = convert(c.type, c.source, "out.dat", std::string(c.options) + ",DS");
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(logged(c.line)) << runLog_;
        EXPECT_LT(o.peakKb, kPeakLimitKb);
        EXPECT_LT(o.seconds, 60);
        EXPECT_EQ(fileSize(c.source), size);  // "DS" keeps a refused source
        deleteFile(c.source);
        deleteFile("out.dat");
    }
}

// Element separator, terminator, repetition separator and control bytes in
// BATCH header values and in record values all become spaces; a "^" that is
// ISA11 itself stays.
TEST_F(BoundsTest, GeneratedInterchangeStaysWellFormedWhateverTheValues) {
    write("in.xml",
          "<EXPORTDATA><BATCH><SENDERID>AB*CD~EF</SENDERID><ICNUMBER>12^4\x01</ICNUMBER><GS02>S*1</GS02>"
          "<ICSTDID>^</ICSTDID><TRANSACTIONSETCTLNUM>00~1</TRANSACTIONSETCTLNUM></BATCH>"
          "<CLAIM><CLAIMID>C1</CLAIMID><NOTE>a*b~c^d\x02" "e:f</NOTE></CLAIM></EXPORTDATA>");
    write("in.csv", "C1,a*b~c^d\x02" "e:f\r\n");
    for (const char* type : {"XML,X12", "CSV,X12"}) {
        SCOPED_TRACE(type);
        const bool xml = type[0] == 'X';
        deleteFile("out.x12");
        ASSERT_EQ(convert(type, xml ? "in.xml" : "in.csv", "out.x12", "MAP=g.cfg").status, 0);
        const std::string out = read("out.x12");
        std::vector<std::string> segments;
        for (size_t start = 0, end; (end = out.find('~', start)) != std::string::npos; start = end + 1)
            segments.push_back(out.substr(start, end - start));
        ASSERT_EQ(segments.size(), 7u) << out;
        for (char c : out) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << out;
        const std::string& isa = segments[0];
        ASSERT_EQ(isa.size(), 105u) << isa;
        if (xml) {
            EXPECT_EQ(isa.substr(35, 15), "AB CD EF       ");
            EXPECT_EQ(isa.substr(82, 1), "^");
            EXPECT_EQ(isa.substr(90, 9), "12 4     ");
            EXPECT_EQ(segments[1].substr(0, 9), "GS**S 1**");
            EXPECT_EQ(segments[2], "ST*837*00 1*");
            EXPECT_EQ(segments[4], "SE*3*00 1");
            EXPECT_EQ(segments[6], "IEA*1*12 4     ");
        }
        EXPECT_EQ(segments[3], "NTE*ADD*a b c d e:f");
    }
}

// Control bytes XML 1.0 forbids become spaces and markup is escaped; a record
// large enough to be written out in pieces gives the same text as a small one.
TEST_F(BoundsTest, XmlOutputStaysWellFormedWhateverTheValues) {
    write("in.x12", kHead + claim("A\x01" "B<&>\x1F\tC") + kTail);
    ASSERT_EQ(convert("X12,XML", "in.x12", "out.xml", "MAP=m.cfg").status, 0);
    EXPECT_NE(read("out.xml").find("<PROVIDER>A B&lt;&amp;&gt; \tC</PROVIDER>"), std::string::npos);

    std::string big;
    for (int i = 0; i < (1 << 20); ++i) big += "x&y\x01<zz>\x0b";
    for (const char* type : {"X12,XML", "X12,CSV"}) {
        SCOPED_TRACE(type);
        const bool xml = std::string(type) == "X12,XML";
        std::string outputs[2];
        for (int run = 0; run < 2; ++run) {
            write("in.x12", kHead + claim(run == 0 ? "QQMARKQQ" : big) + kTail);
            deleteFile("out.dat");
            ASSERT_EQ(convert(type, "in.x12", "out.dat", "MAP=m.cfg,SL").status, 0);
            outputs[run] = read("out.dat");
        }
        std::string shown = big;
        if (xml) {
            shown.clear();
            for (char c : big) {
                if (c == '&') shown += "&amp;";
                else if (c == '<') shown += "&lt;";
                else if (c == '>') shown += "&gt;";
                else shown += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
            }
        }
        const std::string expected = replaceAll(outputs[0], "QQMARKQQ", shown);
        EXPECT_EQ(outputs[1].size(), expected.size());
        EXPECT_TRUE(outputs[1] == expected);
    }
}

}  // namespace
}  // namespace brolvin
