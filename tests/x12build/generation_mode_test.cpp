#include "x12build/generation_mode.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"
#include "test_map.h"
#include "x12build/xml_input.h"

namespace brolvin {
namespace {

using test::field;
using test::layouts;

// Header of an interchange built from a map carrying ISA06, ISA08, ISA13,
// GS6 and ST2 keys, at the fixed clock.
const std::string kHeader =
    "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       "
    "*261208*0905*U*00501*000000123*1*T*:~GS****20261208*0905*1*X*~ST*837*0001*~";

std::string trailer(int segments) {
    return "SE*" + std::to_string(segments + 2) + "*0001~GE*1*1~IEA*1*000000123~";
}

class GenerationModeTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("m.cfg", "ISA06=SENDER\r\nISA08=RECEIVER\r\nISA13=000000123\r\nGS6=1\r\nST2=0001\r\n");
        map.hasFieldTable = true;
        map.path = "m.cfg";
        map.transactionType = "837";
        map.version = "5010";
        args.job.source = "in.txt";
        args.job.currentDestination = "out.x12";
        args.job.conversionType = "CSV,X12";
    }
    void useMap(FieldTable fields, const std::vector<std::string>& segments) {
        map.fields = std::move(fields);
        map.segmentLayout = layouts(segments);
    }
    GenerationResult run() { return runGenerationMode(args, map, ctx, debug); }

    test::FixedPlatform platform;
    RunContext ctx{platform};
    LoadedMap map;
    EngineArgs args;
    DebugLog debug{false};
};

TEST_F(GenerationModeTest, CsvRecordsMakeOneInterchange) {
    useMap({field("A"), field("B")}, {"1,BHT,0019", "2,REF,$A,$B", "4,NTE,END"});
    write("in.txt", "A1,B1\r\nA2 , B2\r\n");
    GenerationResult r = run();
    EXPECT_FALSE(r.write.failed);
    EXPECT_EQ(read("out.x12"), kHeader + "BHT*0019~REF*A1*B1~REF*A2*B2~NTE*END~" + trailer(4));
    EXPECT_EQ(map.fields[0].value, "");  // Level-0 values cleared after each record
}

TEST_F(GenerationModeTest, CsvLineEndsAndCarriedValues) {
    useMap({field("A"), field("KEEP", "1")}, {"2,REF,$A,$KEEP", "4,NTE,END"});
    args.settings.segmentCrLf = 1;
    // Middle line empty: a record of its own, not counted, so the trailer
    // segment comes with record 3 of 4. The last line lacks its line end and
    // is a record all the same.
    write("in.txt", "A1,K\r\n\r\nA3,K3\r\nA4,Z");
    run();
    std::string out = read("out.x12");
    std::string body = out.substr(out.find("ST*837*0001*~\r\n") + 15);
    EXPECT_EQ(body, "REF*A1*K~\r\nREF**K~\r\nREF*A3*K3~\r\nNTE*END~\r\nREF*A4*Z~\r\n"
                    "SE*7*0001~\r\nGE*1*1~\r\nIEA*1*000000123~\r\n");

    // LF, CR LF, CR and quoted values (RFC 4180) read alike.
    std::string expected;
    for (const std::string csv : {"A1,B1\r\nA2,B2\r\n", "A1,B1\nA2,B2\n", "A1,B1\rA2,B2\r", "\"A1\",\"B1\"\n\"A2\",B2"}) {
        write("in.txt", csv);
        deleteFile("out.x12");
        run();
        out = read("out.x12");
        if (expected.empty()) expected = out;
        EXPECT_EQ(out, expected) << csv;
    }
    EXPECT_NE(expected.find("REF*A1*B1~\r\nREF*A2*B2~\r\nNTE*END~"), std::string::npos);
}

TEST_F(GenerationModeTest, CsvQuotedValuesAndTheHeaderLineOfCsvOutput) {
    FieldTable fields{field("NAME"), field("NOTE")};
    fields[1].description = "Claim \"note\"";
    useMap(fields, {"2,NM1,$NAME,$NOTE"});
    // The header line that CSV output writes for this map is no record;
    // quoted values keep their commas, doubled quotes and line ends (as spaces).
    write("in.txt", "NAME,\"Claim \"\"note\"\"\"\r\n\"DOE, JR\",\"say \"\"hi\"\"\"\r\nX,\"a\r\nb\"\r\n");
    GenerationResult r = run();
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(read("out.x12"), kHeader + "NM1*DOE, JR*say \"hi\"~NM1*X*a  b~" + trailer(2));

    write("in.txt", "A,\"open\r\nB,C\r\n");
    deleteFile("out.x12");
    r = run();
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(fileExists("out.x12"));
    EXPECT_NE(r.runLog.find("CSV line 1 opens a quoted value that is never closed"), std::string::npos);
}

TEST_F(GenerationModeTest, CsvSurplusValuesAreDroppedAndLogged) {
    useMap({field("A"), field("B")}, {"2,REF,$A,$B"});
    args.settings.debug = "DEBUG";
    debug = DebugLog(true);
    write("in.txt", "A1,B1,C1,D1\r\nA2,B2,\r\n");
    run();
    EXPECT_EQ(read("out.x12"), kHeader + "REF*A1*B1~REF*A2*B2~" + trailer(2));
    EXPECT_NE(debug.text().find("- CSV line 1: 2 value(s) beyond the last field dropped\r\n"),
              std::string::npos);
    EXPECT_EQ(debug.text().find("- CSV line 2"), std::string::npos);
}

TEST_F(GenerationModeTest, DebugTextAndItsLimit) {
    useMap({field("A"), field("B", "1")}, {"2,REF,$A"});
    args.settings.debug = "DEBUG";
    debug = DebugLog(true);
    write("in.txt", "x,y\r\n");
    run();
    EXPECT_EQ(debug.text(),
              "- Parse Type = CSV,X12\r\n- Source File = in.txt\r\n- SLP = 0\r\n- TA = 2\r\n"
              "Total CSV Record Count=         1\r\n"
              "File Max=         5\r\nSource File =in.txt\r\n"
              "\r\n\r\n\r\n"  // trace: one line per element written, then the record's line end
              "----- Table Array          1\r\n- TA 1 = A\r\n- TA 10 = 0\r\n- TA 15 = x\r\n"
              "----- Table Array          2\r\n- TA 1 = B\r\n- TA 10 = 1\r\n- TA 15 =  y\r\n");
    EXPECT_EQ(debug.counter(), 5);

    debug = DebugLog(true);
    debug.counterRef() = 4999;
    run();
    EXPECT_EQ(debug.counter(), 5000);
    EXPECT_EQ(debug.text().find("Table Array"), std::string::npos);
    EXPECT_NE(debug.text().find("Total CSV Record Count="), std::string::npos);
}

TEST_F(GenerationModeTest, NothingWithoutSourceOrDestination) {
    useMap({field("A")}, {"2,REF,$A"});
    run();
    EXPECT_FALSE(fileExists("out.x12"));

    write("in.txt", "A,\r\n");
    args.job.currentDestination = "";
    GenerationResult r = run();
    EXPECT_TRUE(r.write.failed);  // no file to write is output lost
    EXPECT_EQ(map.fields[0].value, "A");  // no record completed

    args.job.currentDestination = "missing/out.x12";
    r = run();
    EXPECT_TRUE(r.write.failed);
    EXPECT_EQ(r.write.file, "missing/out.x12");

    args.job.conversionType = "HL7,XML";
    args.job.currentDestination = "out.x12";
    run();
    EXPECT_FALSE(fileExists("out.x12"));
}

TEST_F(GenerationModeTest, XmlRecordsWithBatchHeaderAndEntities) {
    useMap({field("CLAIMID"), field("NOTE"), field("CHARGE1", "0", "1"), field("TOTAL")},
           {"2,CLM,$CLAIMID,$TOTAL", "2,NTE,ADD,$NOTE", "3,SV1,$CHARGE"});
    args.job.conversionType = "xml,x12";
    write("in.txt",
          "<?xml version=\"1.0\"  encoding=\"ISO-8859-1\"?>\r\n<EXPORTDATA>\r\n"
          "<BATCH>\r\n<SENDERID>ABC</SENDERID>\r\n<icstdid>^</icstdid>\r\n"
          "<GS01>HC</GS01>\r\n</BATCH>\r\n"
          "<CLAIM>\r\n<CLAIMID>C1</CLAIMID>\r\n<NOTE>a &amp; b &lt;c&gt; &#65;&#x42; &x; &</NOTE>\r\n"
          "<UNKNOWN>zz</UNKNOWN>\r\n<LINELEVEL>\r\n<CHARGE1>10</CHARGE1>\r\n</LINELEVEL>\r\n"
          "<TOTAL>10\r\n0</TOTAL>\r\n</CLAIM>\r\n"
          "<CLAIM><CLAIMID>C2</CLAIMID></CLAIM>");
    run();
    const std::string isa =
        "ISA*00*          *00*          *ZZ*ABC            *ZZ*RECEIVER       "
        "*261208*0905*^*00501*000000123*1*T*:~";
    EXPECT_EQ(read("out.x12"), isa + "GS*HC***20261208*0905*1*X*~ST*837*0001*~" +
                                   "CLM*C1*100~NTE*ADD*a & b <c> AB &x; &~SV1*10~CLM*C2~NTE*ADD~" +
                                   trailer(5));
}

TEST_F(GenerationModeTest, XmlServiceLineExpansionWithMl) {
    useMap({field("CLAIMID"), field("CHARGE1", "0", "1"), field("UNITS1", "0", "1")},
           {"2,CLM,$CLAIMID", "3,SV1,$CHARGE,$UNITS"});
    args.job.conversionType = "XML,X12";
    const std::string xml =
        "<EXPORTDATA><CLAIM><CLAIMID>C1</CLAIMID><LINELEVEL>"
        "<CHARGE1>1</CHARGE1><UNITS1>2</UNITS1><CHARGE2>3</CHARGE2><UNITS2>4</UNITS2>"
        "<CHARGE3>5</CHARGE3></LINELEVEL></CLAIM></EXPORTDATA>";
    write("in.txt", xml);
    // Without ML the lines of the block have no fields: nothing is lost silently.
    GenerationResult r = run();
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(fileExists("out.x12"));
    EXPECT_NE(r.runLog.find("XML CLAIM 1 holds service lines 1 and 2"), std::string::npos);

    useMap({field("CLAIMID"), field("CHARGE1", "0", "1"), field("UNITS1", "0", "1")},
           {"2,CLM,$CLAIMID", "3,SV1,$CHARGE,$UNITS"});
    args.job.options = "OW,ml";
    run();
    EXPECT_EQ(read("out.x12"), kHeader + "CLM*C1~SV1*1*2~SV1*3*4~SV1*5~" + trailer(4));
    EXPECT_EQ(map.names, (std::vector<std::string>{"CLAIMID", "CHARGE1", "UNITS1", "CHARGE2",
                                                   "UNITS2", "CHARGE3", "UNITS3"}));
    EXPECT_EQ(map.segmentMap.size(), 7u);
}

TEST_F(GenerationModeTest, XmlSelfClosingElementsAreEmpty) {
    useMap({field("CLAIMID"), field("NOTE")}, {"2,CLM,$CLAIMID,$NOTE"});
    args.job.conversionType = "XML,X12";
    write("in.txt",
          "<?xml version=\"1.0\"?><!-- written by a library --><EXPORTDATA>"
          "<CLAIM><CLAIMID>A</CLAIMID><NOTE/></CLAIM>"
          "<CLAIM><NOTE kind=\"x\" /><CLAIMID>B</CLAIMID><LINELEVEL/></CLAIM><CLAIM/></EXPORTDATA>");
    run();
    EXPECT_EQ(read("out.x12"), kHeader + "CLM*A~CLM*B~" + trailer(2));
}

TEST(XmlReaders, HeaderValuesAndLineBlocks) {
    const std::string doc =
        "<?xml?><EXPORTDATA><Batch><SENDERID>\r\nABC\r\n</SENDERID><ISA13>12</ISA13>"
        "<ICNUMBER>99</ICNUMBER></Batch>"
        "<CLAIM><LINELEVEL><CHARGE1>a</CHARGE1><UNITS1>b</UNITS1><CHARGE2>c</CHARGE2>"
        "</LINELEVEL><LINELEVEL></LINELEVEL></CLAIM></EXPORTDATA>";
    EXPECT_EQ(xmlHeaderValue(doc, kSelBatchPresent), "X");
    EXPECT_EQ(xmlHeaderValue("<A><B>x</B></A>", kSelBatchPresent), "");
    EXPECT_EQ(xmlHeaderValue(doc, kSelIsa06), "\r\nABC\r\n");  // line ends kept
    EXPECT_EQ(xmlHeaderValue(doc, kSelIsa13), "12");           // first tag of either name
    EXPECT_EQ(xmlHeaderValue(doc, kSelIsa08), "");
    EnvelopeValues v = xmlHeaderValues(doc);
    // The envelope takes the value without the line ends that would break the ISA.
    EXPECT_EQ(v.isa06, "ABC            ");
    EXPECT_EQ(v.isa13, "12       ");
    EXPECT_EQ(v.isa08, std::string(15, ' '));
    EXPECT_EQ(v.gs01, "");
    EXPECT_EQ(xmlLineBlockCount(doc), 2);
    EXPECT_EQ(xmlLineBlockCount("<A><B/></A>"), 0);
    EXPECT_EQ(xmlTextAt("ab<c", 0), "ab");
    EXPECT_EQ(xmlTextAt("abc", 1), "bc");
    EXPECT_EQ(xmlTextAt("abc", 9), "");
}

}  // namespace
}  // namespace brolvin
