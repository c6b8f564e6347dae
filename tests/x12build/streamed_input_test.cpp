// The CSV and XML readers of X12 generation take their source in blocks: the
// records, envelope values and counts must not depend on where a block ends.
#include <gtest/gtest.h>

#include "support/fixed_platform.h"
#include "test_map.h"
#include "util/output_file.h"
#include "x12build/csv_input.h"
#include "x12build/generation_run.h"
#include "x12build/xml_input.h"

namespace brolvin {
namespace {

using test::field;
using test::layouts;

// Feeds `data` in pieces of `size` bytes (0 = whole).
template <class Feed>
void inBlocks(std::string_view data, size_t size, Feed feed) {
    if (size == 0) size = data.size() + 1;
    for (size_t at = 0; at < data.size(); at += size) feed(data.substr(at, size));
}

const std::string kXml =
    "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<EXPORTDATA>\r\n"
    "<BATCH><X>1</X><SENDERID>\r\nAB&amp;C\r\n</SENDERID><ICNUMBER>12</ICNUMBER></BATCH>\r\n"
    "<CLAIM>\r\n<ID>c1</ID>\r\n<LINELEVEL><AMT1>5</AMT1><AMT2>6</AMT2><UNIT1>1</UNIT1></LINELEVEL>\r\n</CLAIM>\r\n"
    "<CLAIM>\r\n<ID>c&lt;2</ID><NOTE>n\r\nx</NOTE><ISA13>99</ISA13>\r\n"
    "<LINELEVEL><AMT1>7</AMT1></LINELEVEL></CLAIM>\r\n</EXPORTDATA>\r\n";

TEST(StreamedInputTest, XmlPrescanDoesNotDependOnBlockEnds) {
    XmlPrescan whole;
    whole.feed(kXml);
    whole.finish();
    EXPECT_EQ(whole.recordCount(), 2);
    EXPECT_TRUE(whole.batchPresent());
    EXPECT_EQ(whole.lineBlockCount(), 2);
    EXPECT_EQ(whole.rawHeaderValue(kSelIsa06), "\r\nAB&C\r\n");
    EXPECT_EQ(whole.rawHeaderValue(kSelIsa13), "12");  // the first tag of either name
    EXPECT_EQ(whole.headerValues().isa06, "AB&C           ");
    for (size_t size : {1, 2, 3, 7, 64}) {
        XmlPrescan pieces;
        inBlocks(kXml, size, [&](std::string_view b) { pieces.feed(b); });
        pieces.finish();
        EXPECT_EQ(pieces.recordCount(), 2) << size;
        EXPECT_EQ(pieces.lineBlockCount(), 2) << size;
        EXPECT_TRUE(pieces.batchPresent()) << size;
        for (int selector : {kSelIsa06, kSelIsa13, kSelIsa08})
            EXPECT_EQ(pieces.rawHeaderValue(selector), whole.rawHeaderValue(selector)) << size;
    }
    // Records are counted from the first byte, header tags read from behind
    // the first "<": a first tag that swallows a "<" is one tag to the count.
    for (const auto& [source, records] :
         std::vector<std::pair<std::string, long long>>{{"<CLAIM><CLAIM>x</CLAIM>", 2},
                                                        {"<a<CLAIM>x</CLAIM><CLAIM>", 1},
                                                        {" <CLAIM>\n<CLAIM\n>", 2}}) {
        for (size_t size : {0, 1, 2, 5}) {
            XmlPrescan counted;
            inBlocks(source, size, [&](std::string_view b) { counted.feed(b); });
            counted.finish();
            EXPECT_EQ(counted.recordCount(), records) << source << " " << size;
        }
    }
    // A header value that runs to the end of the source is taken as well.
    XmlPrescan open;
    inBlocks("<A><GS01>HC\r\n", 2, [&](std::string_view b) { open.feed(b); });
    open.finish();
    EXPECT_EQ(open.rawHeaderValue(kSelGs01), "HC\r\n");
    EXPECT_FALSE(open.batchPresent());
}

class StreamedRecordsTest : public test::TempDirTest {
protected:
    // Generates the records of `data` read in blocks of `size` bytes.
    template <class Reader>
    std::string generate(std::string_view data, size_t size, FieldTable fields) {
        LoadedMap map;
        map.fields = std::move(fields);
        map.segmentLayout = layouts({"2,REF,$ID,$NOTE", "3,AMT:$AMT,$AMT,$UNIT"});
        DebugLog debug(false);
        GenerationRun run(map, debug);
        run.index = FieldNameIndex(map.fields);
        run.destination = "out.x12";
        run.recordCount = 2;
        EXPECT_TRUE(CSC_0001E("", run.destination, kCreateEmpty));
        Reader reader(run);
        inBlocks(data, size, [&](std::string_view b) { reader.feed(b); });
        reader.finish();
        run.closeDestination();
        EXPECT_FALSE(run.write.failed);
        return read("out.x12");
    }
};

TEST_F(StreamedRecordsTest, XmlRecordsDoNotDependOnBlockEnds) {
    FieldTable fields{field("ID"), field("NOTE"), field("AMT1", "0", "1"), field("UNIT1", "0", "1"),
                      field("AMT2", "0", "2"), field("UNIT2", "0", "2")};
    std::string whole = generate<XmlRecordReader>(kXml, 0, fields);
    EXPECT_EQ(whole, "REF*c1~AMT*5*1~AMT*6~REF*c<2*nx~AMT*7~");
    for (size_t size : {1, 2, 5, 13})
        EXPECT_EQ(generate<XmlRecordReader>(kXml, size, fields), whole) << size;
}

TEST_F(StreamedRecordsTest, XmlElementsFindTheirFieldsInAnyOrder) {
    // Element order and names change from record to record; unknown names
    // and a name in other letter case are read as on their own.
    const std::string xml =
        "<EXPORTDATA><CLAIM><ID>a</ID><NOTE>n</NOTE></CLAIM>"
        "<CLAIM><NOTE>m</NOTE><ID>b</ID></CLAIM>"
        "<CLAIM><ID>c</ID><XX>q</XX><note>o</note><ID>d</ID></CLAIM>"
        "<CLAIM><ID>e</ID><NOTE>p</NOTE></CLAIM></EXPORTDATA>";
    FieldTable fields{field("ID"), field("NOTE")};
    EXPECT_EQ(generate<XmlRecordReader>(xml, 0, fields), "REF*a*n~REF*b*m~REF*d*o~REF*e*p~");
}

TEST_F(StreamedRecordsTest, CsvRecordsDoNotDependOnBlockEnds) {
    const std::string csv = "c1,n1,5,1\r\nc2,,7\r\n\nc3,n3,8,2,extra\r\nlast,not,ended";
    FieldTable fields{field("ID"), field("NOTE"), field("AMT1", "0", "1"), field("UNIT1", "0", "1")};
    std::string whole = generate<CsvRecordReader>(csv, 0, fields);
    EXPECT_EQ(whole, "REF*c1*n1~AMT*5*1~REF*c2~AMT*7~REF*c3*n3~AMT*8*2~REF*last*not~AMT*ended~");
    for (size_t size : {1, 3, 4, 11}) EXPECT_EQ(generate<CsvRecordReader>(csv, size, fields), whole) << size;

    CsvRecordCounter counter;
    inBlocks(csv, 1, [&](std::string_view b) { counter.feed(b); });
    counter.finish();
    EXPECT_EQ(counter.count(), 4);
}

}  // namespace
}  // namespace brolvin
