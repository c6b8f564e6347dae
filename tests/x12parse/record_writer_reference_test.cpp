// Compares the record writer's service-line CSV and XML with a plain walk
// over every field for every line, on random tables and several records in
// a row through one writer, appending each record or collecting them for a
// held-open file (long names make empty runs long enough to be handed over
// as pieces of their own).
#include <gtest/gtest.h>

#include <random>

#include "support/fixed_platform.h"
#include "util/output_appender.h"
#include "util/output_file.h"
#include "util/text.h"
#include "x12parse/record_writer.h"

namespace brolvin {
namespace {

long long referenceLineCount(const FieldTable& t) {
    long long count = 0, highest = 0;
    bool lineHasData = false;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (isBlank(t[i].serviceLineNumber)) continue;
        long long line = leadingNumber(t[i].serviceLineNumber);
        if (line > highest) {
            highest = line;
            lineHasData = false;
        }
        if (!lineHasData && !isBlank(t[i].value)) {
            lineHasData = true;
            ++count;
        }
    }
    return count == 0 ? 1 : count;
}

std::string escaped(const std::string& v) {
    std::string out;
    appendXmlEscaped(out, v);
    return out;
}

// The service-line record as a walk over the whole table per line.
std::string referenceRecord(FieldTable& t, bool xml) {
    bool any = false;
    for (const FieldEntry& f : t) any = any || !isBlank(f.value);
    if (!any) return "";
    std::string out;
    const long long count = referenceLineCount(t);
    for (long long k = 1; k <= count; ++k) {
        if (xml) out += "<CLAIM>\r\n";
        for (size_t i = 0; i < t.size(); ++i) {
            FieldEntry& f = t[i];
            if (f.name.empty()) continue;
            const bool hasLine = !isBlank(f.serviceLineNumber);
            const long long line = hasLine ? leadingNumber(f.serviceLineNumber) : 0;
            const long long level = leadingNumber(f.level);
            const bool own = hasLine && line == k;
            if (!own && line != 0) {
                if (xml) out += "<" + f.name + "></" + f.name + ">\r\n";
                continue;
            }
            if (xml)
                out += "<" + f.name + ">" + escaped(f.value) + "</" + f.name + ">\r\n";
            else
                out += (i > 0 ? "," : "") + f.value;
            if (level == 4 || (xml && own && level == 0)) f.value.clear();
        }
        out += xml ? "</CLAIM>\r\n" : "\r\n";
    }
    for (FieldEntry& f : t) {
        if (leadingNumber(f.level) == 0) f.value.clear();
        f.occurrenceCount = 0;
    }
    return out;
}

template <size_t N>
std::string pick(std::mt19937& rng, const char* const (&pool)[N]) {
    return pool[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
}

class RecordWriterReferenceTest : public test::TempDirTest {};

TEST_F(RecordWriterReferenceTest, ServiceLineRecordsMatchThePlainWalk) {
    static const char* const names[] = {"A", "B", "", "C&D", "LONG"};
    static const char* const levels[] = {"0", "0", "1", "4", "4", "7"};
    static const char* const lines[] = {"", "", "", "1", "2", "3", "2", "x", " "};
    static const char* const values[] = {"", "", "v", "w1", "a&b", "<x>", "  "};
    test::FixedPlatform platform;
    RunContext ctx{platform};
    std::mt19937 rng(8675309);
    for (bool xml : {false, true})
    for (bool collect : {false, true}) {
        JobParams job;
        job.conversionType = xml ? "X12,XML" : "X12,CSV";
        job.options = "ML";
        for (int round = 0; round < 400; ++round) {
            FieldTable table(std::uniform_int_distribution<size_t>(1, 14)(rng));
            for (size_t i = 0; i < table.size(); ++i) {
                table[i].name = pick(rng, names) + std::to_string(i);
                if (table[i].name[0] == 'L') table[i].name.append(140, 'G');
                if (pick(rng, names).empty()) table[i].name.clear();
                table[i].level = pick(rng, levels);
                table[i].serviceLineNumber = pick(rng, lines);
            }
            FieldTable plain = table;
            RecordWriter writer(table);
            const std::string file = "out" + std::to_string(round);
            ASSERT_TRUE(CSC_0001E("", file, kCreateEmpty));
            OutputAppender appender;
            RecordWriteRequest request;
            request.job = &job;
            request.destination = file;
            if (collect) request.appender = &appender;
            std::string expected;
            for (int record = 0; record < 4; ++record) {
                for (size_t i = 0; i < table.size(); ++i) {
                    std::string v = pick(rng, values);
                    // Kept levels hold their Value from record to record unless given a new one.
                    if (!v.empty() || leadingNumber(table[i].level) == 0) table[i].value = plain[i].value = v;
                }
                expected += referenceRecord(plain, xml);
                writer.write(table, request, ctx);
                for (size_t i = 0; i < table.size(); ++i)
                    ASSERT_EQ(table[i].value, plain[i].value) << "round " << round << " field " << i;
            }
            ASSERT_TRUE(writer.flush() && appender.close());
            ASSERT_EQ(read(file), expected) << (xml ? "XML" : "CSV") << " round " << round << " collect " << collect;
        }
    }
}

}  // namespace
}  // namespace brolvin
