// Hostile and broken input run through the real program in a temporary
// folder: every case must end normally with its run-log lines, the right exit
// status and nothing lost on disk.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/fixed_platform.h"
#include "support/process.h"
#include "support/test_system.h"
#include "util/file_io.h"

namespace brolvin {
namespace {

namespace fs = std::filesystem;

using test::Outcome;
using test::runProgram;

const char* const kIsa =
    "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~";

const char* const kMap =
    "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n"
    "FIELD=PROVIDER,35,NM1,85,2,3,,,,2,,Provider\r\n"
    "FIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n"
    "FIELD=PROC1,10,SV1,HC,2,1,2,,,0,1,Procedure\r\n"
    "FIELD=END,1,ZZZ\r\n";

std::string claims(int count) {
    std::string body = std::string(kIsa) + "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~"
                       "HL*1**20*1~NM1*85*2*NORTH CLINIC~";
    for (int i = 1; i <= count; ++i)
        body += "HL*" + std::to_string(i + 1) + "*1*22*0~CLM*C" + std::to_string(i) +
                "*100~LX*1~SV1*HC:99213*40~";
    return body + "SE*9*0001~GE*1*1~IEA*1*000000101~";
}

class BadInputTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("m.cfg", kMap);
        example_ = read(std::string(BROLVIN_SOURCE_DIR) + "/examples/837p-sample.x12");
        ASSERT_FALSE(example_.empty());
    }
    // One X12 to XML job; the run log is left in runLog_.
    Outcome convert(const std::string& source, const std::string& destination,
                    const std::string& options = "MAP=m.cfg", const std::string& type = "X12,XML") {
        Outcome o = runProgram({type, source, destination, options});
        runLog_ = read("parse.log");
        EXPECT_TRUE(o.exitedNormally) << "ended by signal " << -o.status;
        EXPECT_NE(runLog_.find("Parse Ended   "), std::string::npos) << "no run log";
        return o;
    }
    bool logged(const std::string& text) const { return runLog_.find(text) != std::string::npos; }
    std::string example_;
    std::string runLog_;
};

constexpr const char* kXmlOpen = "<?xml version=\"1.0\"  encoding=\"ISO-8859-1\"?>\r\n<EXPORTDATA>\r\n";
constexpr const char* kXmlClose = "</EXPORTDATA>\r\n";

TEST_F(BadInputTest, SourcesThatAreNotWholeInterchangesStillConvert) {
    std::mt19937 random(7);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    std::string lateIsa(5000, 'x');
    lateIsa += std::string(kIsa).substr(0, 60);  // header cut inside the last 100 bytes
    // Cut inside the segment after claim C3's LX: text after the last terminator is not a segment.
    const std::string whole = claims(3);
    const std::string truncated = whole.substr(0, whole.find("SV1", whole.find("CLM*C3")) + 5);
    struct Case {
        const char* name;
        std::string content;
    };
    for (const Case& c : {Case{"empty", ""}, Case{"binary", binary}, Case{"late_isa", lateIsa},
                          Case{"no_isa", "GS*HC~ST*837~HL*1**20*1~CLM*X1~SE~"},
                          Case{"truncated", truncated}}) {
        SCOPED_TRACE(c.name);
        write("in.x12", c.content);
        deleteFile("out.xml");
        Outcome o = convert("in.x12", "out.xml");
        EXPECT_EQ(o.status, 0);
        EXPECT_TRUE(logged(" - Parse X12 to XML."));
        std::string out = read("out.xml");
        EXPECT_EQ(out.substr(0, 58), std::string(kXmlOpen).substr(0, 58));
        EXPECT_TRUE(out.size() >= 15 && out.substr(out.size() - 15) == kXmlClose);
        EXPECT_EQ(read("in.x12"), c.content);  // the source is never changed
    }
    // The cut interchange keeps the claims read before the cut, the open one included.
    write("in.x12", truncated);
    deleteFile("out.xml");
    convert("in.x12", "out.xml");
    std::string out = read("out.xml");
    EXPECT_NE(out.find("<CLAIMID>C2</CLAIMID>"), std::string::npos);
    EXPECT_NE(out.find("<CLAIMID>C3</CLAIMID>"), std::string::npos);
}

TEST_F(BadInputTest, HugeLineWithoutTerminatorEndsInBoundedMemory) {
    const long long size = 200LL * 1024 * 1024;
    {
        FILE* f = std::fopen("huge.x12", "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(kIsa, f);
        std::fputs("GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001*", f);
        std::string block(1 << 20, 'A');
        for (long long written = 0; written < size; written += block.size())
            ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), f), block.size());
        ASSERT_EQ(std::fclose(f), 0);
    }
    Outcome o = convert("huge.x12", "out.csv", "MAP=m.cfg,HO,ML", "X12,CSV");
    deleteFile("huge.x12");
    // The "ML" pre-pass meets the segment first and refuses it before
    // anything is written; no more than the segment limit is ever held.
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Parse X12 to CSV."));
    EXPECT_TRUE(logged(" - Input Refused : segment 3 of huge.x12 is longer than 64 MB"));
#if defined(__SANITIZE_ADDRESS__)
    const long long allowedKb = 512 * 1024;  // redzones and the free-memory quarantine
#else
    const long long allowedKb = 256 * 1024;
#endif
    EXPECT_LT(o.peakKb, allowedKb) << o.peakKb << " KB";
    EXPECT_LT(o.seconds, 300);
    EXPECT_FALSE(fileExists("out.csv"));
}

// Thousands of line segments in one claim with "ML": the expansion stops at
// 999 lines, so the run stays linear and says so in the run log.
TEST_F(BadInputTest, ClaimWithTwentyThousandLinesStaysBounded) {
    std::string body = std::string(kIsa) + "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~CLM*C1*1~";
    for (int i = 1; i <= 20000; ++i) body += "LX*" + std::to_string(i) + "~SV1*HC:99213*1~";
    write("many.x12", body + "SE*9*0001~GE*1*1~IEA*1*000000101~");
    Outcome o = convert("many.x12", "out.csv", "MAP=m.cfg,ML", "X12,CSV");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(logged(" - Service Line Count 20000 Expanded to 999"));
    EXPECT_LT(o.seconds, 120);
}

TEST_F(BadInputTest, FoldersWhereFilesBelong) {
    // An empty source folder converts nothing and makes no destination folder.
    fs::create_directory("indir");
    Outcome o = convert("indir", "out.xml");
    EXPECT_EQ(o.status, 1);
    EXPECT_FALSE(logged(" - The source is a file."));
    EXPECT_TRUE(logged(" - Folder Files : 0"));
    EXPECT_FALSE(fs::exists("out.xml"));

    // A destination that is a folder cannot be created: a write error, the
    // folder and what is in it untouched, and "DS" keeps the source.
    write("in.x12", claims(2));
    fs::create_directory("outdir");
    write("outdir/keep.txt", "keep");
    o = convert("in.x12", "outdir", "MAP=m.cfg,DS");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Write Error : outdir"));
    EXPECT_TRUE(fs::is_directory("outdir"));
    EXPECT_EQ(read("outdir/keep.txt"), "keep");
    EXPECT_EQ(read("in.x12"), claims(2));
}

TEST_F(BadInputTest, UnreadableSource) {
    write("in.x12", claims(2));
    if (!test::makeUnreadable("in.x12")) GTEST_SKIP() << "permissions cannot stop this user from reading here";
    Outcome o = convert("in.x12", "out.xml", "MAP=m.cfg,DS");
    test::makeReadable("in.x12");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(read("in.x12"), claims(2));
}

TEST_F(BadInputTest, UnwritableDestinationKeepsTheSource) {
    write("in.x12", claims(2));
    write("afile", "x");  // a regular file where a folder is needed fails even for root
    Outcome o = convert("in.x12", "afile/out.xml", "MAP=m.cfg,DS");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Write Error : afile/out.xml"));
    EXPECT_TRUE(logged(" - Source File Kept : in.x12"));
    EXPECT_EQ(read("in.x12"), claims(2));
    EXPECT_EQ(read("afile"), "x");

    // The same for X12 generation from CSV records.
    write("g.cfg", "FIELD=A,10\r\nSEGMENT=2,REF,$A\r\n");
    write("in.csv", "A1\r\n");
    o = convert("in.csv", "afile/out.x12", "MAP=g.cfg,DS", "CSV,X12");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Write Error : afile/out.x12"));
    EXPECT_EQ(read("in.csv"), "A1\r\n");
}

// A small tmpfs when this process may mount one, otherwise /dev/full, where
// every write fails with "no space".
class FullDisk {
public:
    FullDisk() {
        fs::create_directory("small");
        mounted_ = test::mountSmallDisk("small", 64 * 1024);
        path_ = mounted_ ? "small/out.xml" : test::fullDevice();
    }
    ~FullDisk() {
        if (mounted_) test::unmountDisk("small");
    }
    const std::string& path() const { return path_; }

private:
    bool mounted_ = false;
    std::string path_;
};

TEST_F(BadInputTest, FullDiskIsAWriteErrorAndKeepsTheSource) {
    const std::string source = claims(3000);  // well over 64 KB of XML
    write("in.x12", source);
    FullDisk disk;
    if (disk.path().empty()) GTEST_SKIP() << "no small disk and no full device here";
    Outcome o = convert("in.x12", "out.xml", "MAP=m.cfg,DS,OUTFILE=" + disk.path());
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Write Error : " + disk.path()));
    EXPECT_TRUE(logged(" - Source File Kept : in.x12"));
    EXPECT_EQ(read("in.x12"), source);
}

// A file-size limit (ulimit -f) the output would pass is a write error like
// a full disk: the program is not ended by the system's signal, says why and
// leaves no temporary output behind.
TEST_F(BadInputTest, FileSizeLimitIsAWriteErrorNotAnAbort) {
    write("in.x12", claims(3000));  // well over 64 KB of XML
    Outcome o;
    {
        test::FileSizeLimit limit(64 * 1024);
        if (!limit.active()) GTEST_SKIP() << "this system cannot limit the size of files";
        test::defaultFileSizeSignal();
        o = runProgram({"X12,XML", "in.x12", "out.xml", "MAP=m.cfg"}, "console.txt");
    }
    runLog_ = read("parse.log");
    EXPECT_TRUE(o.exitedNormally) << "ended by signal " << -o.status;
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Write Error : out.xml"));
    EXPECT_NE(read("console.txt").find("Error: could not write out.xml"), std::string::npos);
    for (const auto& entry : fs::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos) << entry.path();
    EXPECT_FALSE(fileExists("out.xml"));
}

TEST_F(BadInputTest, PathsWithSpacesAndNonAsciiBytes) {
    if (!test::linuxSystem()) GTEST_SKIP() << "Windows names are Unicode: bytes that are no UTF-8 name no file there";
    const std::string folder = "out put \xC3\xA9\xFF";
    fs::create_directory(folder);
    const std::string source = "my in \xC3\xBC.x12";
    const std::string destination = folder + "/r\xE9sultat final.xml";
    write(source, claims(2));
    write("map \xE4.cfg", kMap);
    Outcome o = convert(source, destination, "MAP=map \xE4.cfg,DS");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(logged(" - Reading File : " + source));
    EXPECT_NE(read(destination).find("<CLAIMID>C2</CLAIMID>"), std::string::npos);
    EXPECT_FALSE(fs::exists(source));  // deleted only after a complete conversion
}

// Names in scripts beyond any one code page (Chinese, Greek, Cyrillic), given
// on the command line and written to the run log as UTF-8.
TEST_F(BadInputTest, NamesBeyondOneCodePage) {
    const std::string source = "\xE5\xA0\xB1\xE5\x91\x8A \xCE\xB1.x12";
    const std::string destination = "\xE7\xB5\x90\xE6\x9E\x9C \xD0\x96.xml";
    write(source, claims(2));
    Outcome o = convert(source, destination, "MAP=m.cfg,DS");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(logged(" - Writing File : " + destination));
    EXPECT_NE(read(destination).find("<CLAIMID>C2</CLAIMID>"), std::string::npos);
    EXPECT_FALSE(fileExists(source));
}

TEST_F(BadInputTest, HostileMaps) {
    write("in.x12", claims(2));
    std::string wide = "KEYFIELD=CLM\r\nFIELD=CLAIMID";
    for (int i = 2; i <= 40; ++i) wide += ",1";
    wide += "\r\nSEGMENT=2";
    for (int i = 2; i <= 45; ++i) wide += ",REF";
    wide += "\r\nSCREEN=" + std::string(2000, ',') + "\r\n";
    std::string binary = kMap;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    binary += "\r\nFIELD=\x00\xFF,\x01,CLM\r\n";
    // A map that takes no value from the source writes no record: status 1.
    struct Case {
        const char* name;
        std::string map;
        int status;
    };
    for (const Case& c :
         {Case{"wide", wide, 1}, Case{"no_fields", "KEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n", 1},
          Case{"binary", binary, 0},
          Case{"missing_table", std::string(kMap) + "FIELD=FN,10,CLM,,,1,,,,0,,Func,,,fn.txt\r\n", 0}}) {
        SCOPED_TRACE(c.name);
        write("h.cfg", c.map);
        write("fn.txt", "CSVTABLE nosuchtable.csv\r\nCSVTABLE \r\n");
        deleteFile("out.xml");
        Outcome o = convert("in.x12", "out.xml", "MAP=h.cfg,MAPLOG,DEBUG");
        EXPECT_EQ(o.status, c.status);
        EXPECT_TRUE(logged(" - Using Map File = h.cfg"));
        EXPECT_TRUE(fileExists("out.xml"));
    }
    // A table that is missing makes the function's result empty.
    EXPECT_NE(read("out.xml").find("<FN></FN>"), std::string::npos);
    // A map with no FIELD= line writes no claim elements.
    write("h.cfg", "KEYFIELD=CLM\r\n");
    convert("in.x12", "out2.xml", "MAP=h.cfg");
    EXPECT_EQ(read("out2.xml"), std::string(kXmlOpen) + kXmlClose);
}

TEST_F(BadInputTest, DeleteSourceKeepsTheSourceOnEveryFailure) {
    const std::string source = claims(2);
    write("in.x12", source);
    write("exists.xml", "old");
    struct Case {
        const char* name;
        std::string destination;
        std::string options;
        int status;
        const char* line;
    };
    for (const Case& c : {
             Case{"missing map", "a.xml", "MAP=nomap.cfg,DS", 1, " Mapping Error : .CFG Missing or Empty."},
             Case{"empty map", "a.xml", "MAP=empty.cfg,DS", 1, " Mapping Error : .CFG Missing or Empty."},
             Case{"destination exists", "exists.xml", "MAP=m.cfg,DS", 1, " - File Exists : exists.xml"},
             Case{"missing folder", "out.x", "MAP=m.cfg,DS", 1, " - The Destination Folder does Not exist."},
             Case{"unwritable", "exists.xml/out.xml", "MAP=m.cfg,DS", 1, " - Write Error : exists.xml/out.xml"},
             Case{"blank type", "a.xml", "MAP=m.cfg,DS", 2, " - Parameter 1 empty. "},
         }) {
        SCOPED_TRACE(c.name);
        write("empty.cfg", "");
        Outcome o = std::string(c.name) == "blank type"
                        ? runProgram({"", "in.x12", c.destination, c.options})
                        : convert("in.x12", c.destination, c.options);
        runLog_ = read("parse.log");
        EXPECT_EQ(o.status, c.status);
        EXPECT_TRUE(logged(c.line));
        EXPECT_EQ(read("in.x12"), source);
        EXPECT_EQ(read("exists.xml"), "old");
        EXPECT_FALSE(fs::exists("a.xml"));
    }
}

}  // namespace
}  // namespace brolvin
