// The generation readers jump from delimiter to delimiter and read values in
// place when they lie whole in a block; the segment builder writes plain
// entries straight into the record's text. These tests hold each fast path
// against a slow one: byte by byte, one byte per block, or the traced path.
#include <gtest/gtest.h>

#include <random>

#include "support/fixed_platform.h"
#include "test_map.h"
#include "util/output_file.h"
#include "x12build/byte_scan.h"
#include "x12build/csv_input.h"
#include "x12build/generation_run.h"
#include "x12build/segment_builder.h"
#include "x12build/xml_input.h"

namespace brolvin {
namespace {

using test::field;
using test::layouts;

std::string randomText(std::mt19937& rng, std::string_view alphabet, size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s.push_back(alphabet[rng() % alphabet.size()]);
    return s;
}

TEST(ByteScanTest, FindsEveryByteOfTheSetAcrossChunkEnds) {
    std::mt19937 rng(7);
    for (size_t size : {0, 1, 15, 16, 63, 64, 65, 127, 128, 129, 200}) {
        const std::string data = randomText(rng, "abc,<>\r\n\x80\xff", size);
        for (int sets = 0; sets < 2; ++sets) {
            ByteSetScanner four(data, ',', '\r', '\n', '\xff');
            ByteSetScanner two(data, '<', '>');
            ByteSetScanner& scan = sets == 0 ? four : two;
            std::string_view set = sets == 0 ? std::string_view(",\r\n\xff") : std::string_view("<>");
            for (size_t from = 0; from <= size + 1; ++from) {
                size_t expected = from >= size ? size : data.find_first_of(set, from);
                if (expected == std::string::npos) expected = size;
                ASSERT_EQ(scan.next(from), expected) << size << " " << from << " " << sets;
            }
            // Going backwards reloads the chunk.
            if (size > 0) {
                size_t expected = data.find_first_of(set);
                ASSERT_EQ(scan.next(0), expected == std::string::npos ? size : expected);
            }
        }
    }
}

TEST(ByteScanTest, OpeningTagsAreFoundAndClosingOnesPassedOver) {
    // "</" pairs split by the 64-byte chunk ends, and a "<" as the block's
    // last byte (its next byte unknown: found).
    std::mt19937 rng(13);
    for (size_t size : {0, 1, 2, 63, 64, 65, 66, 128, 129, 300}) {
        std::string data = randomText(rng, "</a>", size);
        if (size > 64) data[63] = '<', data[64] = '/';
        if (size > 0) data[size - 1] = '<';
        OpeningTagFinder finder(data);
        for (size_t from = 0; from <= size; ++from) {
            size_t expected = size;
            for (size_t i = from; i < size; ++i)
                if (data[i] == '<' && (i + 1 == size || data[i + 1] != '/')) {
                    expected = i;
                    break;
                }
            ASSERT_EQ(finder.next(from), expected) << size << " " << from << " " << data;
        }
    }
}

TEST(ByteScanTest, LineEndsWithinShortAndLongTextsAndAtTheBlockEnd) {
    std::string block = std::string(40, 'x') + "\r" + std::string(20, 'y') + "\n";
    EXPECT_FALSE(hasLineEnd(block.data(), 40, block.data() + block.size()));
    EXPECT_TRUE(hasLineEnd(block.data(), 41, block.data() + block.size()));
    EXPECT_FALSE(hasLineEnd(block.data() + 30, 10, block.data() + block.size()));
    EXPECT_TRUE(hasLineEnd(block.data() + 30, 11, block.data() + block.size()));
    EXPECT_FALSE(hasLineEnd(block.data() + 41, 16, block.data() + block.size()));
    EXPECT_FALSE(hasLineEnd(block.data() + 41, 20, block.data() + block.size()));
    EXPECT_TRUE(hasLineEnd(block.data() + 41, 21, block.data() + block.size()));
    // Short texts at the end of the block: no byte beyond it is read.
    const char* end = block.data() + block.size();
    EXPECT_TRUE(hasLineEnd(end - 1, 1, end));
    EXPECT_FALSE(hasLineEnd(end - 3, 2, end));
    EXPECT_FALSE(hasLineEnd(end, 0, end));
}

// Feeds `data` in pieces of the given sizes, cycling through them.
template <class Feed>
void inPieces(std::string_view data, const std::vector<size_t>& sizes, Feed feed) {
    size_t k = 0;
    for (size_t at = 0; at < data.size();) {
        size_t size = sizes[k++ % sizes.size()];
        if (size == 0) size = data.size();
        feed(data.substr(at, size));
        at += size;
    }
}

const std::vector<std::vector<size_t>> kPieceSizes = {{0}, {1}, {2}, {3, 1}, {63}, {64}, {65, 7}, {17, 1, 5}};

class FastReaderTest : public test::TempDirTest {
protected:
    struct Output {
        std::string segments;
        std::string debug;
        bool operator==(const Output&) const = default;
    };

    // Runs `data` through a reader of type Reader in pieces; the debug text
    // shows every Value of every record as stored.
    template <class Reader>
    Output run(std::string_view data, const std::vector<size_t>& sizes, const FieldTable& fields,
               const std::vector<std::string>& layout, bool debug) {
        LoadedMap map;
        map.fields = fields;
        map.segmentLayout = layouts(layout);
        DebugLog log(debug);
        GenerationRun run(map, log);
        run.index = FieldNameIndex(map.fields);
        run.destination = "out.x12";
        run.recordCount = 1000;
        if (debug) run.debugSetting = "DEBUG";
        EXPECT_TRUE(CSC_0001E("", run.destination, kCreateEmpty));
        Reader reader(run);
        inPieces(data, sizes, [&](std::string_view b) { reader.feed(b); });
        reader.finish();
        run.closeDestination();
        EXPECT_FALSE(run.write.failed);
        return {read("out.x12"), log.text()};
    }
};

// The values of each CSV record by the byte rules: CR LF, LF and CR end a
// record; a comma or line end ends a value and leaves a space at the start of
// the next, and so does the LF of a CR LF; a quote at a value's start opens a
// quoted value, in which a doubled quote is one and a line end a space. A last
// line without a line end is a record when it holds more than blanks.
// `counted` receives the number of lines with a comma outside quotes.
std::vector<std::vector<std::string>> csvModel(std::string_view data, size_t fieldCount, long long* counted) {
    std::vector<std::vector<std::string>> records;
    *counted = 0;
    bool comma = false;
    std::vector<std::string> values(fieldCount);
    std::string current;
    size_t field = 0;
    bool valueStart = true, afterCr = false, quoted = false, quoteSeen = false;
    auto endValue = [&](bool lineEnd) {
        if (field < fieldCount) values[field] = current;
        current = " ";
        ++field;
        valueStart = true;
        comma |= !lineEnd;
        if (!lineEnd) return;
        *counted += comma;
        comma = false;
        records.push_back(values);
        values.assign(fieldCount, "");
        field = 0;
    };
    for (char c : data) {
        if (quoted) {
            if (quoteSeen) {
                quoteSeen = false;
                if (c == '"') {
                    current += '"';
                    continue;
                }
                quoted = false;
            } else {
                if (c == '"')
                    quoteSeen = true;
                else
                    current += (c == '\r' || c == '\n') ? ' ' : c;
                continue;
            }
        }
        if (c == '"' && valueStart) {
            quoted = true;
            valueStart = afterCr = false;
        } else if (c == '\n' && afterCr) {
            afterCr = false;
            current += ' ';
        } else if (c == ',' || c == '\r' || c == '\n') {
            endValue(c != ',');
            afterCr = c == '\r';
        } else {
            current += c;
            valueStart = afterCr = false;
        }
    }
    const bool open = quoted && !quoteSeen;  // a quote that closes the value may be the last byte
    if (!open && (field > 0 || current.find_first_not_of(' ') != std::string::npos)) endValue(true);
    return records;
}

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

TEST_F(FastReaderTest, CsvValuesDoNotDependOnWhereBlocksOrChunksEnd) {
    FieldTable fields{field("F1"), field("F2"), field("F3"), field("F4")};
    const std::vector<std::string> layout{"2,R,$F1,$F2,$F3,$F4"};
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        // Short lines, quotes (quoting at a value's start, literal elsewhere),
        // CR LF, LF and CR, empty values, lines with more values than fields,
        // a last line without a line end.
        std::string csv;
        const size_t lines = 1 + rng() % 12;
        for (size_t l = 0; l < lines; ++l) {
            const size_t values = rng() % 7;
            for (size_t v = 0; v < values; ++v) {
                if (v > 0) csv += ',';
                if (rng() % 3 == 0) csv += '"';
                csv += randomText(rng, "ab \"q\n,", rng() % (round < 20 ? 6 : 70));
            }
            const int end = static_cast<int>(rng() % 4);
            csv += end == 0 ? "\r" : end == 1 ? "\n\r" : end == 2 ? "\n" : "\r\n";
        }
        csv += randomText(rng, "ab,", rng() % 5);

        const Output whole = run<CsvRecordReader>(csv, {0}, fields, layout, true);
        long long counted = 0;
        const auto records = csvModel(csv, fields.size(), &counted);
        for (const auto& sizes : kPieceSizes) {
            ASSERT_EQ(run<CsvRecordReader>(csv, sizes, fields, layout, true), whole) << round;
            CsvRecordCounter counter;
            inPieces(csv, sizes, [&](std::string_view b) { counter.feed(b); });
            counter.finish();
            ASSERT_EQ(counter.count(), counted) << round;
        }

        std::string expected;
        for (const auto& record : records) {
            size_t last = record.size();
            while (last > 0 && trimmed(record[last - 1]).empty()) --last;
            if (last == 0) continue;
            expected += "R";
            for (size_t v = 0; v < last; ++v) expected += "*" + trimmed(record[v]);
            expected += "~";
        }
        ASSERT_EQ(whole.segments, expected) << round;
    }
}

TEST_F(FastReaderTest, CsvValueTakenInPlaceKeepsItsLeadingSpace) {
    // Values after a comma or CR keep one space, the first value of the file
    // none, the first value after CR LF two; beyond the last field nothing.
    FieldTable fields{field("F1"), field("F2")};
    const std::string csv = "a,b\r\nc,d,e\r";
    for (const auto& sizes : kPieceSizes) {
        const Output out = run<CsvRecordReader>(csv, sizes, fields, {"2,R,$F1"}, true);
        EXPECT_NE(out.debug.find("- TA 15 = a\r\n"), std::string::npos);
        EXPECT_NE(out.debug.find("- TA 15 =  b\r\n"), std::string::npos);
        EXPECT_NE(out.debug.find("- TA 15 =   c\r\n"), std::string::npos);
        EXPECT_NE(out.debug.find("- TA 15 =  d\r\n"), std::string::npos);
        EXPECT_NE(out.debug.find("- CSV line 2: 1 value(s) beyond the last field dropped"),
                  std::string::npos);
        EXPECT_EQ(out.segments, "R*a~R*c~");
    }
}

TEST_F(FastReaderTest, XmlElementsDoNotDependOnWhereBlocksOrChunksEnd) {
    FieldTable fields{field("F1"), field("F2"), field("AMT1", "0", "1"), field("AMT2", "0", "2")};
    const std::vector<std::string> layout{"2,R,$F1,$F2", "3,A:$AMT,$AMT"};
    std::mt19937 rng(5);
    const std::vector<std::string> names{"F1", "F2", "AMT1", "AMT2", "XX", "F\r\n1", "F<1",
                                         "f2", "BATCH", "LINELEVEL", "/LINELEVEL"};
    for (int round = 0; round < 40; ++round) {
        std::string xml = "<?xml version=\"1.0\"?>\r\n<EXPORTDATA>\r\n";
        const size_t claims = 1 + rng() % 5;
        for (size_t c = 0; c < claims; ++c) {
            xml += "<CLAIM>\r\n";
            const size_t elements = rng() % 8;
            for (size_t e = 0; e < elements; ++e) {
                const std::string& name = names[rng() % names.size()];
                if (name[0] == '/') {
                    xml += "<" + name + ">";
                    continue;
                }
                if (rng() % 5 == 0) {  // self-closing, as XML libraries write empty elements
                    xml += "<" + name + (rng() % 2 ? "/>" : " />");
                    continue;
                }
                // Texts with a ">" in them, line ends and entities, some long.
                std::string text = randomText(rng, "ab >\r\n", rng() % (round < 20 ? 8 : 90));
                if (rng() % 4 == 0) text += "&amp;&#65;&bad;";
                xml += "<" + name + ">" + text + "</" + name + (rng() % 3 == 0 ? "\r\n>" : ">");
                if (rng() % 2 == 0) xml += "\r\n";
            }
            xml += "</CLAIM>\r\n";
        }
        xml += "</EXPORTDATA>";
        if (rng() % 2 == 0) xml.resize(xml.size() - rng() % 20);  // cut off anywhere

        const Output whole = run<XmlRecordReader>(xml, {0}, fields, layout, true);
        for (const auto& sizes : kPieceSizes)
            ASSERT_EQ(run<XmlRecordReader>(xml, sizes, fields, layout, true), whole) << round;
    }
}

TEST_F(FastReaderTest, XmlTextsAndNamesReadInPlaceOrCarriedOver) {
    // A name or text split by a line end, a ">" inside a text, an entity and
    // an element whose closing tag runs over a block end.
    FieldTable fields{field("F1"), field("F2"), field("F3")};
    const std::string xml =
        "<EXPORTDATA><CLAIM><F\r\n1>a>b</F1><F2>x\r\ny&lt;</F2\r\n><F3>plain</F3></CLAIM></EXPORTDATA>";
    for (const auto& sizes : kPieceSizes) {
        const Output out = run<XmlRecordReader>(xml, sizes, fields, {"2,R,$F1,$F2,$F3"}, true);
        EXPECT_EQ(out.segments, "R*a>b*xy<*plain~");
        EXPECT_NE(out.debug.find("TAG=F1\r\nTAGDATA=a>b\r\nADDED\r\n"), std::string::npos);
    }
}

TEST(XmlPrescanFastTest, CountsAndHeaderValuesDoNotDependOnBlockEnds) {
    std::mt19937 rng(3);
    const std::vector<std::string> names{"CLAIM", "claim", "CLA\r\nIM", "BATCH", "SENDERID", "isa08",
                                         "LINELEVEL", "/LINELEVEL", "AMT1", "AMT2", "X", "/CLAIM",
                                         "ICNUMBER", "GS\n01", "<CLAIM"};
    for (int round = 0; round < 60; ++round) {
        std::string xml = rng() % 2 ? "<?xml?>" : "<CLAIM>";
        const size_t tags = rng() % 150;
        for (size_t t = 0; t < tags; ++t) {
            xml += "<" + names[rng() % names.size()] + ">";
            xml += randomText(rng, "ab >\r\n&", rng() % 6);
        }
        XmlPrescan whole;
        whole.feed(xml);
        whole.finish();
        for (const auto& sizes : kPieceSizes) {
            XmlPrescan pieces;
            inPieces(xml, sizes, [&](std::string_view b) { pieces.feed(b); });
            pieces.finish();
            ASSERT_EQ(pieces.recordCount(), whole.recordCount()) << xml;
            ASSERT_EQ(pieces.batchPresent(), whole.batchPresent()) << xml;
            ASSERT_EQ(pieces.lineBlockCount(), whole.lineBlockCount()) << xml;
            for (int selector : {kSelIsa06, kSelIsa08, kSelIsa13, kSelGs01})
                ASSERT_EQ(pieces.rawHeaderValue(selector), whole.rawHeaderValue(selector)) << xml;
        }
        // The count by the byte rules: from the first byte, "<" opens a tag
        // outside one, ">" closes it, line ends are dropped from names.
        long long claims = 0;
        bool inTag = false;
        std::string name;
        for (char c : xml) {
            if (!inTag) {
                if (c == '<') {
                    inTag = true;
                    name.clear();
                }
            } else if (c == '>') {
                inTag = false;
                if (name == "CLAIM") ++claims;
            } else if (c != '\r' && c != '\n') {
                name += c;
            }
        }
        ASSERT_EQ(whole.recordCount(), claims) << xml;
    }
}

TEST(SegmentPlanFastTest, DirectWritingMatchesTheTracedPath) {
    // Entries without element conditions are written straight into the
    // record's text unless the trace is on: both must give the same bytes,
    // under the usual delimiters and under others the values also hold.
    const std::vector<LayoutEntry> layout = layouts(
        {"1,ST, 837 ,$A", "2,HL,&HL,&HLP,20,$B", "2,REF:$C,  EA  ,!A,$B", "2,NM1,&HL,!B,$C",
         "2,CLM,%$A;$B; ;$C,,$A,%;;,,", "2,N3,!C", "3,SV1:$L,%HC;$L;$M,$M,,", "3,DTP,&LX,$L",
         "2,HI,%ABK;$A,%ABF;$B:$B,$C", "4,SE,$A,END"});
    FieldTable fields{field("A"), field("B"), field("C"), field("L1", "0", "1"), field("M1", "0", "1"),
                      field("L2", "0", "2"), field("M2", "0", "2")};
    FieldNameIndex index(fields);
    std::mt19937 rng(9);
    for (const X12Delimiters& delimiters : {X12Delimiters{}, X12Delimiters{"^", "|", "\n"}}) {
        SegmentPlan direct(layout, fields, index);
        SegmentPlan traced(layout, fields, index);
        GenerationState a, b;
        for (long long record = 1; record <= 200; ++record) {
            for (FieldEntry& f : fields)
                f.value = rng() % 3 == 0 ? std::string() : randomText(rng, "x *~:^|\n", rng() % 5);
            const int crLf = static_cast<int>(rng() % 2);
            a = direct.generate(fields, crLf, std::move(a), "", 200, record, delimiters);
            b = traced.generate(fields, crLf, std::move(b), "DEBUG", 200, record, delimiters);
            ASSERT_EQ(a.segmentText, b.segmentText) << record << " under " << delimiters.element;
            ASSERT_EQ(a.segmentCount, b.segmentCount);
            ASSERT_EQ(a.hlCounter, b.hlCounter);
            ASSERT_EQ(a.lxCounter, b.lxCounter);
        }
    }
}

}  // namespace
}  // namespace brolvin
