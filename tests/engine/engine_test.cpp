#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "support/fixed_platform.h"
#include "support/process.h"
#include "util/file_io.h"

namespace brolvin {

namespace {

const char* const kIsa =
    "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~";

std::string interchange(const std::string& body) {
    return std::string(kIsa) + "GS*HC*S*R*20260115*0930*1*X*005010X222A1~" + body + "GE*1*1~IEA*1*000000101~";
}

const char* const kMap =
    "KEYHEADERFIELD=HL,,,20\r\n"
    "KEYFIELD=CLM\r\n"
    "KEYLINEFIELD=LX\r\n"
    "FIELD=SENDER,15,NM1,41,2,3,,,,1,,Sender\r\n"
    "FIELD=PROVIDER,35,NM1,85,2,3,,,,2,,Provider\r\n"
    "FIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n"
    "FIELD=PROC1,10,SV1,HC,2,1,2,,,0,1,Procedure\r\n"
    "FIELD=CHG1,10,SV1,HC,2,2,,,,0,1,Line charge\r\n"
    "FIELD=SRC,50,,,,,,,,5\r\n"
    "FIELD=END,1,ZZZ\r\n";

const std::string kTwoProviders = interchange(
    "ST*837*0001~NM1*41*2*ACME & SONS <X>~HL*1**20*1~NM1*85*2*NORTH CLINIC~HL*2*1*22*0~"
    "CLM*A1*100~LX*1~SV1*HC:99213*40~LX*2~SV1*HC:87070*60~"
    "HL*3**20*1~NM1*85*2*SOUTH CLINIC~HL*4*3*22*0~CLM*A2*50~LX*1~SV1*HC:99212*50~SE*17*0001~");

class EngineTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};

    EngineArgs args(const std::string& type, const std::string& dest, const std::string& options = "") {
        EngineArgs a;
        a.job.conversionType = type;
        a.job.source = "in.x12";
        a.job.destination = dest;
        a.job.options = options;
        a.job.currentDestination = dest;
        a.settings.mapName = "test.cfg";
        a.requestedDestination = dest;
        return a;
    }
    void SetUp() override {
        TempDirTest::SetUp();
        write("in.x12", kTwoProviders);
        write("test.cfg", kMap);
    }
    bool wellFormed(const std::string& file) {
        if (test::runCommand({"python3", "-c", "import xml.dom.minidom"}) != 0) return true;
        return test::runCommand({"python3", "-c", "import xml.dom.minidom,sys; xml.dom.minidom.parse(sys.argv[1])", file}) == 0;
    }
};

}  // namespace

TEST_F(EngineTest, XmlRecordsCarryTheirOwnProviderAndEscapedText) {
    EngineResult r = convertFile(args("X12,XML", "out.xml"), ctx);
    EXPECT_FALSE(r.mapMissing);
    EXPECT_FALSE(r.write.failed);
    EXPECT_EQ(read("out.xml"),
              "<?xml version=\"1.0\"  encoding=\"ISO-8859-1\"?>\r\n<EXPORTDATA>\r\n"
              "<CLAIM>\r\n<SENDER>ACME &amp; SONS &lt;X&gt;</SENDER>\r\n<PROVIDER>NORTH CLINIC</PROVIDER>\r\n"
              "<CLAIMID>A1</CLAIMID>\r\n<PROC1>99213</PROC1>\r\n<CHG1>40</CHG1>\r\n<SRC>in.x12</SRC>\r\n"
              "<END></END>\r\n</CLAIM>\r\n"
              "<CLAIM>\r\n<SENDER>ACME &amp; SONS &lt;X&gt;</SENDER>\r\n<PROVIDER>SOUTH CLINIC</PROVIDER>\r\n"
              "<CLAIMID>A2</CLAIMID>\r\n<PROC1>99212</PROC1>\r\n<CHG1>50</CHG1>\r\n<SRC>in.x12</SRC>\r\n"
              "<END></END>\r\n</CLAIM>\r\n"
              "</EXPORTDATA>\r\n");
    EXPECT_TRUE(wellFormed("out.xml"));
    EXPECT_EQ(r.log,
              "09:05:07 - Debug set to \r\n"
              "09:05:07 - Map File Set A to test.cfg\r\n"
              "09:05:07 - X12 Version/Transaction NOT Detected  \r\n"
              "09:05:07 - Mapping Load Complete \r\n"
              "09:05:07 - Using Map File = test.cfg\r\n"
              "09:05:07 - Key Header Field Count =          4\r\n"
              "09:05:07 - Key Field Count =          1\r\n"
              "09:05:07 - Key Document Field Count =          0\r\n"
              "09:05:07 - Key Line Field Count =          1\r\n"
              "09:05:07 - Key Trailer Field Count =          0\r\n"
              "09:05:07 - Field Count =          7\r\n"
              "09:05:07 - Segment Count =          0\r\n"
              "09:05:07 - Warning : 1 service line(s) were not written: the map holds 1 per claim; the option "
              "ML writes every line\r\n"
              "09:05:07 - Maximum Service Line Count :          2\r\n");
}

TEST_F(EngineTest, CsvWithHeaderAndServiceLines) {
    convertFile(args("X12,CSV", "out.csv", "HO,ML"), ctx);
    EXPECT_EQ(read("out.csv"),
              "Sender,Provider,Claim,Procedure,Line charge,SRC,END\r\n"
              "ACME & SONS <X>,NORTH CLINIC,A1,99213,40,in.x12,\r\n"
              "ACME & SONS <X>,NORTH CLINIC,A1,87070,60,in.x12,\r\n"
              "ACME & SONS <X>,SOUTH CLINIC,A2,99212,50,in.x12,\r\n");
}

TEST_F(EngineTest, MergedXmlStaysOneDocument) {
    convertFile(args("X12,XML", "out.xml"), ctx);
    EngineArgs merge = args("X12,XML", "out.xml", "MF");
    merge.settings.merge = "MF";
    convertFile(merge, ctx);
    std::string merged = read("out.xml");
    EXPECT_EQ(merged.find("<?xml"), merged.rfind("<?xml"));
    EXPECT_EQ(merged.find("</EXPORTDATA>"), merged.rfind("</EXPORTDATA>"));
    EXPECT_EQ(merged.size() - merged.rfind("</EXPORTDATA>\r\n"), 15u);
    EXPECT_TRUE(wellFormed("out.xml"));
    size_t claims = 0;
    for (size_t p = merged.find("<CLAIM>"); p != std::string::npos; p = merged.find("<CLAIM>", p + 1)) ++claims;
    EXPECT_EQ(claims, 4u);
}

// The closing line is found from the end of the file, however much white
// space follows it, and a document without one is appended to unchanged.
TEST_F(EngineTest, MergedXmlFindsItsClosingLineBehindLongWhiteSpace) {
    convertFile(args("X12,XML", "out.xml"), ctx);
    std::string first = read("out.xml");
    write("out.xml", first + std::string(70000, ' ') + "\r\n\x1a");
    EngineArgs merge = args("X12,XML", "out.xml", "MF");
    merge.settings.merge = "MF";
    convertFile(merge, ctx);
    std::string merged = read("out.xml");
    EXPECT_EQ(merged.find("</EXPORTDATA>"), merged.rfind("</EXPORTDATA>"));
    EXPECT_EQ(merged.substr(0, first.size() - 15), first.substr(0, first.size() - 15));
    EXPECT_TRUE(wellFormed("out.xml"));

    write("out.xml", "<?xml?>\r\n<EXPORTDATA>\r\n");
    convertFile(merge, ctx);
    EXPECT_EQ(read("out.xml").substr(0, 30), "<?xml?>\r\n<EXPORTDATA>\r\n<CLAIM>");
}

TEST_F(EngineTest, MergedCsvAppendsWithoutSecondHeader) {
    convertFile(args("X12,CSV", "out.csv", "HO"), ctx);
    EngineArgs merge = args("X12,CSV", "out.csv", "HO,MF");
    merge.settings.merge = "MF";
    convertFile(merge, ctx);
    std::string csv = read("out.csv");
    EXPECT_EQ(csv.find("Sender"), 0u);
    EXPECT_EQ(csv.rfind("Sender"), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
}

TEST_F(EngineTest, MissingMapStopsBeforeAnyOutputAndKeepsTheSource) {
    EngineArgs a = args("X12,XML", "out.xml", "DS");
    a.settings.mapName = "absent.cfg";
    a.settings.deleteSource = 1;
    EngineResult r = convertFile(a, ctx);
    EXPECT_TRUE(r.mapMissing);
    EXPECT_FALSE(fileExists("out.xml"));
    EXPECT_TRUE(fileExists("in.x12"));
    EXPECT_NE(r.log.find(" Mapping Error : .CFG Missing or Empty.\r\n09:05:07 - Error File  = \r\n"),
              std::string::npos);
    EXPECT_EQ(r.log.find("Maximum Service Line Count"), std::string::npos);
}

TEST_F(EngineTest, RenameWithMapPrefixKeepsTheOutputBesideIt) {
    EngineArgs a = args("X12,XML", "out.xml");
    a.settings.renameWithMapName = 1;
    convertFile(a, ctx);  // named with MAP=: no prefix, nothing renamed
    EXPECT_TRUE(fileExists("out.xml"));

    deleteFile("out.xml");
    std::filesystem::create_directories("maps");
    ASSERT_TRUE(copyFile("test.cfg", "maps/837p.cfg"));
    a.settings.mapName = "";
    a.settings.mapPath = "maps";
    EngineResult r = convertFile(a, ctx);
    EXPECT_FALSE(fileExists("out.xml"));
    EXPECT_TRUE(fileExists("837p_out.xml"));
    EXPECT_NE(r.log.find(" - RPMN : 837p_out.xml\r\n"), std::string::npos);
}

TEST_F(EngineTest, DeleteSourceNeverRunsForHl7TypesNorAfterLostOutput) {
    EngineArgs a = args("HL7,XML", "out.xml", "DS");
    a.settings.deleteSource = 1;
    EngineResult r = convertFile(a, ctx);
    EXPECT_TRUE(fileExists("in.x12"));  // nothing was converted
    EXPECT_FALSE(fileExists("out.xml"));
    EXPECT_NE(r.log.find(" - Source File Kept : in.x12\r\n"), std::string::npos);

    EngineArgs lost = args("X12,XML", "no-such-folder/out.xml", "DS");
    lost.settings.deleteSource = 1;
    r = convertFile(lost, ctx);
    EXPECT_TRUE(r.write.failed);
    EXPECT_EQ(r.write.file, "no-such-folder/out.xml");
    EXPECT_TRUE(fileExists("in.x12"));
    EXPECT_NE(r.log.find(" - Source File Kept : in.x12\r\n"), std::string::npos);
}

TEST_F(EngineTest, LevelFiveValuesLastUntilTheFirstSE) {
    write("in.x12", interchange("ST*837*1~CLM*A1~SE*2*1~ST*837*2~CLM*A2~SE*2*2~"));
    convertFile(args("X12,CSV", "out.csv"), ctx);
    EXPECT_EQ(read("out.csv"), ",,A1,,,in.x12,\r\n,,A2,,,,\r\n");
}

TEST_F(EngineTest, DebugLogIsWrittenWholeWithItsStartAndEndLines) {
    write("in.x12", interchange("ST*837*1~CLM*A1~SE*2*1~"));
    EngineArgs a = args("X12,CSV", "out.csv");
    a.settings.debug = "DEBUG";
    convertFile(a, ctx);
    std::string log = read("debug.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\x1a');
    EXPECT_EQ(log.rfind("\r\n\r\nStart Debug Log ------------------------\r\n", 0), 0u);
    EXPECT_NE(log.find("- Segment Buffer = CLM*A1\r\n"), std::string::npos);
    EXPECT_NE(log.find("- Key Field Claim Control Set = 0 to 1\r\n- Buffer=CLM*A1\r\n"), std::string::npos);
    EXPECT_NE(log.find("- WRITE SE \r\n- SE Table Clear \r\n- Claim Control Set to 0 \r\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 41), "End Debug Log ------------------------\r\n\x1a");
}

}  // namespace brolvin

namespace brolvin {

namespace {

// The debug block that opens every segment: the rule, the segment and the history.
std::string segmentBlock(int number, const std::vector<std::string>& history) {
    std::string block = std::string(61, '-') + " Segment " + std::to_string(number) + "\r\n";
    block += "- Segment Buffer = " + history[0] + "\r\n";
    for (size_t i = 0; i < 8; ++i)
        block += "- pba[" + std::to_string(i + 1) + "]=" + (i < history.size() ? history[i] : "") + "\r\n";
    return block;
}

}  // namespace

TEST_F(EngineTest, WholeDebugLogOfOneClaim) {
    const std::string isa = std::string(kIsa).substr(0, 105);
    write("in.x12", isa + "~ST*837*1~CLM*A1*100~NM1*85*2*CLINIC~SE*4*1~");
    write("t.cfg", "KEYFIELD=CLM\r\nFIELD=CLAIMID,20,CLM,,,1,,,,0\r\nFIELD=PROV,20,NM1,85,2,3,,,,0\r\n");
    EngineArgs a = args("X12,CSV", "out.csv");
    a.settings.mapName = "t.cfg";
    a.settings.debug = "DEBUG";
    convertFile(a, ctx);
    const std::string notMapped = " Function B Exit \r\n";
    std::string expected =
        "\r\n\r\nStart Debug Log ------------------------\r\n"
        "- Parse Type = X12,CSV\r\n- Source File = in.x12\r\n- SLP = 0\r\n- ST = ~\r\n- DS = *\r\n- XS = :\r\n"
        "- TA = 2\r\n- Field1 = CLAIMID --cond \r\n- Field2 = PROV --cond \r\n"
        "- Destination CSV File Created = out.csv\r\n" +
        segmentBlock(1, {isa}) +
        "- Key Field Array Match AA = \r\n"
        " Function B Enter Segment = ISA\r\n  Segment ISA Not in segment map\r\n" + notMapped +
        " Segment Buffer Cleared CLMCTL =          0\r\n" +
        segmentBlock(2, {"ST*837*1", isa}) +
        "- Key Field Array Match AA = \r\n"
        " Function B Enter Segment = ST\r\n  Segment ST Not in segment map\r\n" + notMapped +
        " Segment Buffer Cleared CLMCTL =          0\r\n"
        "- ST Control ON \r\n" +
        segmentBlock(3, {"CLM*A1*100", "ST*837*1", isa}) +
        "- Key Field Array Match A = CLM\r\n"
        "- Key Field Claim Control Set = 0 to 1\r\n"
        "- Buffer=CLM*A1*100\r\n"
        " Function B Enter Segment = CLM\r\n"
        "---------- Segment Map Lookup Valid Map Field# 1  Conditional= \r\n"
        " Data = CLAIMID   \r\n Point X2 = CLAIMID   \r\n Point X3 = CLAIMID   \r\n"
        " Field SET I = CLAIMID  A1\r\n"
        "  Segment CLM Not in segment map\r\n" + notMapped +
        "Service Level Claim Control = 1 \r\n"
        " Segment Buffer Cleared CLMCTL =          1\r\n" +
        segmentBlock(4, {"NM1*85*2*CLINIC", "CLM*A1*100", "CLM*A1*100", "ST*837*1", isa}) +
        " Function B Enter Segment = NM1\r\n"
        "---------- Segment Map Lookup Valid Map Field# 2  Conditional= \r\n"
        " Data = PROV   85\r\n Point AA1 = PROV   85\r\n Point AA2 = PROV   85\r\n"
        " Point AA3  Field Position=         2 Return value=85   Segment Qulifier = 85\r\n"
        " Point AA4 = PROV TA4=85 Matches 85 TA5=2\r\n Point BB = PROV   85\r\n"
        " Field SET D = 2 - PROV - 3 - CLINIC\r\n" + notMapped +
        "Service Level Claim Control = 1 \r\n"
        " Segment Buffer Cleared CLMCTL =          1\r\n" +
        segmentBlock(5, {"SE*4*1", "NM1*85*2*CLINIC", "NM1*85*2*CLINIC", "CLM*A1*100", "CLM*A1*100", "ST*837*1",
                         isa}) +
        " Function B Enter Segment = SE\r\n  Segment SE Not in segment map\r\n" + notMapped +
        "Service Level Claim Control = 1 \r\n"
        " Segment Buffer Cleared CLMCTL =          1\r\n"
        "- WRITE SE \r\n- SE Table Clear \r\n- Claim Control Set to 0 \r\n"
        "End Debug Log ------------------------\r\n\x1a";
    EXPECT_EQ(read("debug.log"), expected);
    EXPECT_EQ(read("out.csv"), "A1,CLINIC\r\n");
}

}  // namespace brolvin
