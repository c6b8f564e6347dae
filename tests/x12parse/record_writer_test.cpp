#include "x12parse/record_writer.h"

#include <gtest/gtest.h>

#include "support/byte_cases.h"
#include "support/fixed_platform.h"
#include "support/test_system.h"
#include "util/output_appender.h"
#include "util/output_file.h"

namespace brolvin {

namespace {

FieldEntry field(const std::string& name, const std::string& value, const std::string& level = "0",
                 const std::string& line = "") {
    FieldEntry f;
    f.name = name;
    f.value = value;
    f.level = level;
    f.serviceLineNumber = line;
    f.occurrenceCount = 3;
    return f;
}

class RecordWriterTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};
    JobParams job;

    RecordWriteResult writeRecord(FieldTable& fields, const std::string& type, const std::string& options = "") {
        job.conversionType = type;
        job.options = options;
        RecordWriteRequest request;
        request.job = &job;
        request.destination = "out";
        return CTL48400C(fields, request, ctx);
    }
    void SetUp() override {
        TempDirTest::SetUp();
        CSC_0001E("", "out", kCreateEmpty);
    }
};

}  // namespace

TEST_F(RecordWriterTest, PlainXmlCarriesKeptLevelsAndClearsRecordLevel) {
    FieldTable t{field("CLAIMID", "A1"), field("SENDER", "ACME", "1")};
    writeRecord(t, "X12,XML");
    EXPECT_EQ(t[0].value, "");
    EXPECT_EQ(t[1].value, "ACME");
    EXPECT_EQ(t[0].occurrenceCount, 0);
    t[0].value = "A2";
    writeRecord(t, "X12,XML");
    EXPECT_EQ(read("out"),
              "<CLAIM>\r\n<CLAIMID>A1</CLAIMID>\r\n<SENDER>ACME</SENDER>\r\n</CLAIM>\r\n"
              "<CLAIM>\r\n<CLAIMID>A2</CLAIMID>\r\n<SENDER>ACME</SENDER>\r\n</CLAIM>\r\n");
}

TEST_F(RecordWriterTest, XmlEscapesMarkupCharactersAndSkipsUnnamedFields) {
    FieldTable t{field("NAME", "SMITH & SONS <LLC>"), field("", "hidden"), field("EMPTY", "")};
    writeRecord(t, "X12,XML");
    EXPECT_EQ(read("out"),
              "<CLAIM>\r\n<NAME>SMITH &amp; SONS &lt;LLC&gt;</NAME>\r\n<EMPTY></EMPTY>\r\n</CLAIM>\r\n");
}

// Every byte at every position of values up to three words long: the
// eight-bytes-at-a-time search must escape exactly what a byte-by-byte one does.
TEST(XmlEscape, AgreesWithEveryByte) {
    test::forEveryBytePlacement(24, [](const std::string& value, size_t at, int byte) {
        std::string expected = "x" + value.substr(0, at);
        const char c = static_cast<char>(byte);
        if (c == '&') expected += "&amp;";
        else if (c == '<') expected += "&lt;";
        else if (c == '>') expected += "&gt;";
        else if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') expected += ' ';
        else expected += c;
        expected += value.substr(at + 1);
        std::string out = "x";
        appendXmlEscaped(out, value);
        ASSERT_EQ(out, expected) << value.size() << ' ' << at << ' ' << byte;
    });
}

TEST_F(RecordWriterTest, RecordWithOnlyBlankValuesWritesAndClearsNothing) {
    FieldTable t{field("A", "  "), field("B", "")};
    t[0].occurrenceCount = 2;
    writeRecord(t, "X12,CSV");
    EXPECT_EQ(read("out"), "");
    EXPECT_EQ(t[0].value, "  ");
    EXPECT_EQ(t[0].occurrenceCount, 2);
}

TEST_F(RecordWriterTest, PlainCsvWritesEmptyColumns) {
    FieldTable t{field("A", "x"), field("B", ""), field("C", "z")};
    writeRecord(t, "X12,CSV");
    EXPECT_EQ(read("out"), "x,,z\r\n");
}

TEST_F(RecordWriterTest, ServiceLineCsvRepeatsClaimColumnsPerLine) {
    FieldTable t{field("P", "p"), field("L1a", "a1", "0", "1"), field("L2a", "a2", "0", "2"), field("Q", "q")};
    writeRecord(t, "X12,CSV", "SL");
    EXPECT_EQ(read("out"), "p,a1,q\r\np,a2,q\r\n");
    for (const auto& f : t) EXPECT_EQ(f.value, "");
}

TEST_F(RecordWriterTest, LastEntryTakesNoPartInTheLineCount) {
    FieldTable t{field("P", "p"), field("L1a", "a1", "0", "1"), field("L2a", "a2", "0", "2")};
    writeRecord(t, "X12,CSV", "ML");
    EXPECT_EQ(read("out"), "p,a1\r\n");
}

TEST_F(RecordWriterTest, ClaimWithoutLineValuesStillGivesOneRecord) {
    FieldTable t{field("P", "p"), field("L1a", "", "0", "1"), field("Q", "q")};
    writeRecord(t, "X12,CSV", "SL");
    EXPECT_EQ(read("out"), "p,,q\r\n");
}

TEST_F(RecordWriterTest, LevelFourValuesOfLaterLinesSurviveUntilTheirLine) {
    FieldTable t{field("P", "p", "4"), field("L1", "a1", "4", "1"), field("L2", "a2", "4", "2"), field("Z", "z")};
    writeRecord(t, "X12,CSV", "SL");
    EXPECT_EQ(read("out"), "p,a1,z\r\n,a2,z\r\n");
    EXPECT_EQ(t[1].value, "");
    EXPECT_EQ(t[2].value, "");
}

TEST_F(RecordWriterTest, ServiceLineXmlCarriesClaimValuesOnEveryLine) {
    FieldTable t{field("P", "p"), field("C1", "c1", "0", "1"), field("C2", "c2", "0", "2"), field("K", "k", "1")};
    writeRecord(t, "X12,XML", "ML");
    EXPECT_EQ(read("out"),
              "<CLAIM>\r\n<P>p</P>\r\n<C1>c1</C1>\r\n<C2></C2>\r\n<K>k</K>\r\n</CLAIM>\r\n"
              "<CLAIM>\r\n<P>p</P>\r\n<C1></C1>\r\n<C2>c2</C2>\r\n<K>k</K>\r\n</CLAIM>\r\n");
    EXPECT_EQ(t[0].value, "");
    EXPECT_EQ(t[3].value, "k");
}

// Claim-level runs with and without Values, long enough to be handed over
// from the empty-record text, give the same lines written one call at a time
// and gathered for the writing thread.
TEST_F(RecordWriterTest, ServiceLineXmlSameWithClaimRunsEmptyOrNot) {
    const std::string p(150, 'P'), k(150, 'K');
    for (const auto& values : {std::pair{"p", "k"}, {"", "k"}, {"p", ""}, {"", ""}}) {
        const std::string pv = values.first, kv = values.second;
        auto claim = [&] {
            return FieldTable{field(p, pv), field("C1", "c1", "0", "1"), field("C2", "c2", "0", "2"), field(k, kv, "1")};
        };
        std::string line1 = "<CLAIM>\r\n<" + p + ">" + pv + "</" + p + ">\r\n<C1>c1</C1>\r\n<C2></C2>\r\n<" + k + ">" +
                            kv + "</" + k + ">\r\n</CLAIM>\r\n";
        std::string line2 = line1;
        line2.replace(line2.find("<C1>c1</C1>"), 11, "<C1></C1>");
        line2.replace(line2.find("<C2></C2>"), 9, "<C2>c2</C2>");
        FieldTable oneCall = claim();
        writeRecord(oneCall, "X12,XML", "ML");
        EXPECT_EQ(read("out"), line1 + line2) << pv << kv;

        ASSERT_TRUE(CSC_0001E("", "kept", kCreateEmpty));
        FieldTable kept = claim();
        OutputAppender appender;
        RecordWriter writer(kept);
        RecordWriteRequest request;
        request.job = &job;
        request.destination = "kept";
        request.appender = &appender;
        EXPECT_FALSE(writer.write(kept, request, ctx).writeFailed);
        EXPECT_TRUE(writer.flush());
        EXPECT_TRUE(appender.close());
        EXPECT_EQ(read("kept"), line1 + line2) << pv << kv;
        ASSERT_TRUE(CSC_0001E("", "out", kCreateEmpty));
    }
}

TEST_F(RecordWriterTest, OtherTypesFallBackToTheValuesArray) {
    FieldTable t{field("A", "a"), field("", "b"), field("C", "c", "1")};
    RecordWriteResult r = writeRecord(t, "X12,XYZ");
    EXPECT_EQ(r.values, (std::vector<std::string>{"a", "", "c"}));
    EXPECT_EQ(t[0].value, "");
    EXPECT_EQ(t[2].value, "c");
    EXPECT_EQ(read("out"), "");

    std::vector<std::vector<std::string>> records(1);
    CTL48400W(r.values, records);
    CTL48400W(r.values, records);
    EXPECT_EQ(records.size(), 2u);
}

TEST_F(RecordWriterTest, FileLevelsAndFailedAppendAreReported) {
    FieldTable t{field("SRC", "", "5"), field("A", "a")};
    job.conversionType = "X12,CSV";
    RecordWriteRequest request;
    request.job = &job;
    request.destination = "missing-dir/out.csv";
    request.sourceName = "in.x12";
    RecordWriteResult r = CTL48400C(t, request, ctx);
    EXPECT_TRUE(r.writeFailed);
    EXPECT_EQ(t[0].value, "in.x12");
}

}  // namespace brolvin

namespace brolvin {
namespace {

// The writer kept for a whole run (attributes worked out once, destination
// held open) writes the same bytes and clears the same Values as the
// one-call routine.
TEST_F(RecordWriterTest, ReusedWriterMatchesOneCallWriter) {
    auto claim = [](const std::string& id) {
        return FieldTable{field("ID", id), field("KEEP", "k", "1"), field("A1", "a" + id, "0", "1"),
                          field("B1", "", "4", "1"),  field("A2", "x" + id, "0", "2"), field("LAST", "z")};
    };
    for (const char* type : {"X12,CSV", "X12,XML"}) {
        for (const char* options : {"", "ML"}) {
            job.conversionType = type;
            job.options = options;
            RecordWriteRequest request;
            request.job = &job;
            ASSERT_TRUE(CSC_0001E("", "one", kCreateEmpty));
            ASSERT_TRUE(CSC_0001E("", "kept", kCreateEmpty));
            FieldTable oneCall = claim("1"), kept = claim("1");
            OutputAppender appender;
            RecordWriter writer(kept);
            for (const char* id : {"1", "2"}) {
                // Values the previous record cleared are filled from the next claim.
                FieldTable next = claim(id);
                for (size_t i = 0; i < next.size(); ++i) {
                    if (oneCall[i].value.empty()) oneCall[i].value = next[i].value;
                    if (kept[i].value.empty()) kept[i].value = next[i].value;
                }
                request.destination = "one";
                request.appender = nullptr;
                EXPECT_FALSE(CTL48400C(oneCall, request, ctx).writeFailed);
                request.destination = "kept";
                request.appender = &appender;
                EXPECT_FALSE(writer.write(kept, request, ctx).writeFailed);
                for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].value, oneCall[i].value);
            }
            EXPECT_TRUE(appender.close());
            EXPECT_EQ(read("kept"), read("one")) << type << " " << options;
            EXPECT_FALSE(read("one").empty());
        }
    }
}

// Full batches are written while the next are built: many megabytes of
// records, switching files now and then, reach each file whole and in order,
// and a write the system refuses is still reported, by a later record or by
// closing.
TEST_F(RecordWriterTest, BatchesWrittenInTheBackgroundKeepOrderAndReportFailures) {
    job.conversionType = "X12,CSV";
    auto writeMany = [&](OutputAppender& appender, RecordWriter& writer, FieldTable& t, const char* file,
                         int from, int to) {
        bool ok = true;
        RecordWriteRequest request;
        request.job = &job;
        request.appender = &appender;
        request.destination = file;
        for (int i = from; i < to; ++i) {
            t[0].value = std::to_string(i);
            t[1].value = std::string(9000 + i % 7, static_cast<char>('a' + i % 26));
            ok = !writer.write(t, request, ctx).writeFailed && ok;
        }
        return ok;
    };
    auto expected = [](int from, int to) {
        std::string text;
        for (int i = from; i < to; ++i)
            text += std::to_string(i) + "," + std::string(9000 + i % 7, static_cast<char>('a' + i % 26)) + "\r\n";
        return text;
    };
    ASSERT_TRUE(CSC_0001E("", "a", kCreateEmpty));
    ASSERT_TRUE(CSC_0001E("", "b", kCreateEmpty));
    {
        FieldTable t{field("ID", ""), field("V", "")};
        OutputAppender appender;
        RecordWriter writer(t);
        EXPECT_TRUE(writeMany(appender, writer, t, "a", 0, 400));
        EXPECT_TRUE(writeMany(appender, writer, t, "b", 400, 700));
        EXPECT_TRUE(writeMany(appender, writer, t, "a", 700, 1000));
        EXPECT_TRUE(appender.append("end\r\n", "a"));
        EXPECT_TRUE(appender.close());
    }
    EXPECT_EQ(read("a"), expected(0, 400) + expected(700, 1000) + "end\r\n");
    EXPECT_EQ(read("b"), expected(400, 700));

    ASSERT_TRUE(CSC_0001E("", "small", kCreateEmpty));
    bool written = true, closed = true;
    test::FileSizeLimit limit(3 << 20);
    if (!limit.active()) GTEST_SKIP() << "this system cannot limit the size of files";
    {
        FieldTable t{field("ID", ""), field("V", "")};
        OutputAppender appender;
        RecordWriter writer(t);
        written = writeMany(appender, writer, t, "small", 0, 1000);
        closed = appender.close();
    }
    EXPECT_FALSE(written && closed);
    EXPECT_LE(read("small").size(), size_t{3} << 20);
}

}  // namespace
}  // namespace brolvin
