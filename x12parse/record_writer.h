// Writing one assembled claim record as XML or CSV (or handing it to the
// database writer), then clearing the Values whose Level says they belong to
// that record only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/job_params.h"
#include "dbexport/db_map.h"
#include "core/field_table.h"
#include "util/platform.h"

namespace brolvin {
class ExportSession;
class OutputAppender;
}

namespace brolvin {

struct RecordWriteResult {
    std::vector<std::string> values;  // one per field; filled only by the fall-back branch
    std::string databaseLog;          // text the database writer returned
    bool writeFailed = false;         // the append to the destination failed
    bool recordWritten = false;       // a record went to the destination or the database
};

struct RecordWriteRequest {
    const JobParams* job = nullptr;
    std::string destination;                       // file the records are appended to
    const DbMapTable* databaseMap = nullptr;       // may be null: no database map
    ExportSession* databaseSession = nullptr;      // the job's export session; null: one per record
    std::string pathSeparator;
    std::optional<std::string> sourceName;         // Level 5 Values, when given
    std::optional<std::string> level6Destination;  // Level 6 Values, when given
    // When given, records are appended through it (one write per record)
    // instead of opening and closing the destination for each.
    OutputAppender* appender = nullptr;
};

RecordWriteResult CTL48400C(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx);

// The record writer for many records of one field table: the attributes it
// reads (Level, Service Line Number, whether a field is named) are worked out
// once, and the record text is built in one reused buffer. Build a new one
// when the table's entries change (the "ML" expansion).
class RecordWriter {
public:
    explicit RecordWriter(const FieldTable& fields);
    // Same as CTL48400C; without `wantValues` the values array stays empty.
    RecordWriteResult write(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx,
                            bool wantValues = false);

private:
    struct FieldPlan {
        bool named = false;    // has a Field Name: gets an element or a column
        bool hasLine = false;  // Service Line Number not blank
        long long line = 0;    // Service Line Number read as a number (0 when blank)
        long long level = 0;
        std::string openTag;   // "<NAME>"
        std::string closeTag;  // "</NAME>" CR LF
        std::string emptyElement;  // both tags
    };
    void appendElement(size_t i, std::string_view value);
    // Appends `piece` to the record text; while spilling, hands the text on
    // to the destination whenever it has grown large.
    void appendPiece(std::string_view piece);
    void appendCsvPiece(std::string_view value);
    void spill();
    void emit(std::string_view text);
    void appendCsvColumn(FieldTable& fields, size_t i);
    void appendCsvLineOne(FieldTable& fields);
    void appendXmlElementOfLine(FieldTable& fields, size_t i, long long k);
    void buildStableText(const std::vector<uint32_t>& order, bool csv);
    void appendLineFromStableText(FieldTable& fields, const std::vector<uint32_t>& order, long long k, bool csv);
    struct JobSense {
        bool serviceLineMode = false;  // "SL" or "ML"
        bool ml = false;
        bool database = false;  // X12,ODBC
        bool xml = false;       // X12,XML
        bool csv = false;       // X12,CSV
    };
    const JobSense& senseOf(const JobParams* job);
    void clearRecordLevel(FieldTable& fields) const;
    long long lineCount(const FieldTable& fields) const;
    void plainXml(FieldTable& fields);
    void serviceLineXml(FieldTable& fields, long long count);
    void plainCsv(FieldTable& fields);
    void serviceLineCsv(FieldTable& fields, long long count);
    void takeLineColumns(long long k);
    // Whether the record text could grow too large to hold whole.
    bool recordIsLarge(const FieldTable& fields, long long lines, bool xml) const;

    std::vector<FieldPlan> plans_;
    JobSense sense_;
    bool senseRead_ = false;
    const JobParams* senseJob_ = nullptr;
    std::string senseType_;
    std::string senseOptions_;
    std::vector<uint32_t> recordLevelFields_;  // Level 0: cleared after each record
    std::vector<uint32_t> fileLevelFields_;    // Level 5 and 6
    std::vector<uint32_t> namedFields_;
    // Named fields written on every service line (Service Line Number reads
    // as 0), and the named fields of each service line, in table order.
    std::vector<uint32_t> everyLineFields_;
    std::map<long long, std::vector<uint32_t>> lineFields_;
    // From line 2 on: the text every line shares, with each field's offset.
    std::string stableText_;
    std::vector<size_t> stableOffsets_;
    std::vector<std::pair<size_t, size_t>> lineOneSpans_;  // line 1's text of each field
    std::vector<uint32_t> lineColumns_;                    // a line's columns in table order
    std::string text_;
    size_t tagBytes_ = 0;  // the tags of one XML record line, every named field's
    // A large record is written out in pieces while it is built, each line
    // from the Values, rather than held whole.
    bool spilling_ = false;
    bool spillFailed_ = false;
    const RecordWriteRequest* request_ = nullptr;  // during write()
};

// Appends one record's values array to the run's record list. The list starts
// with one empty slot, which the first call fills.
void CTL48400W(const std::vector<std::string>& values, std::vector<std::vector<std::string>>& records);


// "&", "<" and ">" escaped for XML element text, and the control bytes XML
// 1.0 forbids (all below 0x20 but tab, line feed and carriage return)
// written as spaces, so the document stays well formed whatever the value.
void appendXmlEscaped(std::string& out, std::string_view text);

}  // namespace brolvin
