// Writing one assembled claim record as XML or CSV (or handing it to the
// database writer), then clearing the Values whose Level says they belong to
// that record only.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/job_params.h"
#include "dbexport/db_map.h"
#include "core/field_table.h"
#include "util/background_write.h"
#include "util/output_appender.h"
#include "util/platform.h"
#include "x12parse/field_bits.h"

namespace brolvin {
class ExportSession;
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
    // When given, records are appended through it instead of opening and
    // closing the destination for each. A RecordWriter then collects the
    // records of about one and a half megabytes and hands them over in one
    // go (see flush).
    OutputAppender* appender = nullptr;
    // When given: every field whose Value is not empty or whose Occurrence
    // Count is not 0 is in this set. Only these fields are visited, and the
    // writer keeps the set to that (fields it leaves empty are taken out).
    FieldBits* setFields = nullptr;
};

RecordWriteResult CTL48400C(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx);

// Text built in place: room added at the end is not filled first, for a
// writer that sizes what it appends and then copies it in.
class BuiltText {
public:
    size_t size() const { return size_; }
    const char* data() const { return bytes_.get(); }
    char* data() { return bytes_.get(); }
    void clear() { size_ = 0; }
    // Gives back the room beyond the first `n` bytes (n at most size()).
    void truncate(size_t n) { size_ = n; }
    // `n` more bytes at the end, to be written by the caller; where they start.
    char* extend(size_t n) {
        if (n > capacity_ - size_ || capacity_ == 0) grow(n);
        char* at = bytes_.get() + size_;
        size_ += n;
        return at;
    }
    // Room for `n` bytes in all, made at once (the text kept).
    void reserve(size_t n) {
        if (n > capacity_) grow(n - size_);
    }
    void append(const char* text, size_t n) {
        if (n > 0) std::memcpy(extend(n), text, n);
    }
    BuiltText& operator+=(std::string_view text) {
        append(text.data(), text.size());
        return *this;
    }

private:
    void grow(size_t n);
    std::unique_ptr<char[]> bytes_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// The record writer for many records of one field table: the attributes it
// reads (Level, Service Line Number, whether a field is named) and the text
// of a record whose fields are all empty are worked out once. A record is
// that text with the fields that hold a Value put in: the writer visits only
// those, sizes each CSV line first and copies every piece into place. Build
// a new one when the table's entries change (the "ML" expansion).
class RecordWriter final : private GatheredTexts {
public:
    explicit RecordWriter(const FieldTable& fields);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;
    // Same as CTL48400C; without `wantValues` the values array stays empty.
    // With an appender, records are collected and handed to it once about
    // one and a half megabytes have gathered, or before the appender writes
    // anything else or closes; a failure to write them is reported by the
    // call that made the hand-over.
    RecordWriteResult write(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx,
                            bool wantValues = false);
    // Hands the collected records to the appender now; false when that fails.
    bool flush();

private:
    struct FieldPlan {
        bool named = false;    // has a Field Name: gets an element or a column
        bool hasLine = false;  // Service Line Number not blank
        long long line = 0;    // Service Line Number read as a number (0 when blank)
        long long level = 0;
        int lineRun = -1;      // which rise of the line number it belongs to (line count)
        std::string openTag;   // "<NAME>"
        std::string closeTag;  // "</NAME>" CR LF
        std::string emptyElement;  // both tags
        size_t emptyAt = 0;    // where its empty element stands in emptyXml_
    };
    // Output text: pieces of the writer's own growing text, or of text the
    // writer holds unchanged for its whole life (emptyXml_), which is handed
    // to the system without a copy.
    struct Piece {
        const char* fixed;  // null: `at` is an offset into text_
        size_t at;
        size_t size;
    };

    // Records of ordinary size.
    // Where an every-line Level-4 Value stands in the shared text.
    struct Mark {
        size_t from, to;  // the Value in the shared text
    };
    void csvColumns(const FieldTable& fields, const FieldBits& set, const FieldBits& columns,
                    const std::vector<uint32_t>& rank, size_t commas, BuiltText& out, std::vector<Mark>* marks) const;
    void prepareWriting();
    void xmlElements(const FieldTable& fields, const FieldBits& set, const FieldBits& elements, size_t from,
                     size_t to, std::vector<Mark>* marks);
    void buildSharedText(const FieldTable& fields, const FieldBits& set, bool xml);
    void serviceLine(FieldTable& fields, const FieldBits& set, long long k, bool xml);
    void appendFixed(const char* data, size_t size);
    void appendShared(size_t run, long long k, bool xml);
    // Whether an XML line's opening (closing) tag is kept with the shared
    // text of its first (last) run: that run is an every-line one.
    bool lineOpensShared() const { return !runs_.empty() && runs_.front().everyLine; }
    bool lineClosesShared() const { return !runs_.empty() && runs_.back().everyLine; }
    void addFixedPiece(const char* data, size_t size);
    void closePieceAt(size_t end);
    void closePiece();
    const FieldBits& clearedAfterLine(long long k, bool xml) const;
    void clearIn(FieldTable& fields, const FieldBits& set, const FieldBits& which) const;
    void finishRecord(const RecordWriteRequest& request, bool& ok);
    bool handOver() override;
    // Hands the collected records to the appender; with `background` they
    // are written while the next ones are built (see background_).
    bool handOverBatch(bool background);

    // Records too large to hold whole are written out while being built.
    void appendElement(size_t i, std::string_view value);
    void appendPiece(std::string_view piece);
    void appendCsvPiece(std::string_view value);
    void spill();
    void emit(std::string_view text);
    void appendCsvColumn(FieldTable& fields, size_t i);
    void appendXmlElementOfLine(FieldTable& fields, size_t i, long long k);
    void takeLineColumns(long long k);
    void spilledRecord(FieldTable& fields, long long lines, bool xml, bool serviceLineMode);

    struct JobSense {
        bool serviceLineMode = false;  // "SL" or "ML"
        bool ml = false;
        bool database = false;  // X12,ODBC
        bool xml = false;       // X12,XML
        bool csv = false;       // X12,CSV
    };
    const JobSense& senseOf(const JobParams* job);
    const FieldBits& setFieldsOf(const FieldTable& fields, const RecordWriteRequest& request);
    long long measureRecord(const FieldTable& fields, const FieldBits& set, bool countLines);
    bool anyValue(const FieldTable& fields, const FieldBits& set) const;
    // Whether the record text could grow too large to hold whole.
    bool recordIsLarge(long long lines, bool xml) const;
    void forget(const FieldTable& fields, FieldBits& set) const;
    void afterRecord(FieldTable& fields, FieldBits& set, bool forgetEmpty) const;

    size_t size_ = 0;
    std::vector<FieldPlan> plans_;
    JobSense sense_;
    bool senseRead_ = false;
    const JobParams* senseJob_ = nullptr;
    std::string senseType_;
    std::string senseOptions_;
    std::vector<uint32_t> fileLevelFields_;  // Level 5 and 6
    FieldBits named_, level0_, level4_, lineFields_;
    FieldBits everyLine_;  // named, written on every service line
    FieldBits everyLineLevel4_;
    size_t namedCommas_ = 0;
    // Per named field its column among the named fields and within its run
    // (CSV: the commas before its Value) and where its Value goes in
    // emptyXml_ (after its open tag); worked out on the first record.
    std::vector<uint32_t> namedRank_, runRank_;
    std::vector<size_t> valueAt_;
    bool prepared_ = false;
    size_t recordValueBytes_ = 0;  // of the record being written: bounds the room its text needs
    // The named fields in table order cut into runs of one kind: written on
    // every line, belonging to one service line, or to none.
    struct Run {
        bool everyLine = false;
        long long line = 0;  // the service line whose run it is, or 0
        FieldBits fields;
        size_t commas = 0;   // CSV commas of its columns
        size_t xmlAt = 0;    // its empty elements in emptyXml_
        size_t xmlEnd = 0;
    };
    std::vector<Run> runs_;
    // Per service line number: the fields cleared once the line is written.
    struct LineLayout {
        FieldBits xmlCleared;  // its own Level 0 and 4, every-line Level 4
        FieldBits csvCleared;  // Level 4 among its columns
    };
    std::map<long long, LineLayout> lines_;
    FieldBits scratchSet_;  // the set fields, when the caller keeps no set
    std::vector<unsigned> runSeen_;
    unsigned runStamp_ = 0;
    std::string emptyXml_;  // "<CLAIM>" line, every named field's empty element, "</CLAIM>" line

    // The text of the every-line runs for the record's lines (XML: kept in
    // text_; CSV: in sharedCsv_), per run its place and size.
    struct SharedRun {
        size_t at = 0, size = 0;
        size_t firstMark = 0, endMark = 0;  // its marks in marks_
        bool empty = false;  // XML: no Value in the run, written from emptyXml_
    };
    std::vector<SharedRun> shared_;
    std::vector<Mark> marks_;
    BuiltText sharedCsv_;
    // The text being built; with gathering, the records collected so far.
    // Pieces give the order in which its parts and fixed text are written.
    BuiltText text_;
    std::vector<Piece> pieces_;
    std::vector<std::string_view> views_;  // the pieces as handed over
    size_t pieceStart_ = 0;  // start of text_ not yet in a piece
    bool gathering_ = false;
    size_t gatheredBytes_ = 0;  // the bytes of the first countedPieces_ pieces
    size_t countedPieces_ = 0;
    OutputAppender* batchAppender_ = nullptr;  // holds the collected records for us
    std::string batchDestination_;

    // A large record is written out in pieces while it is built, each line
    // from the Values, rather than held whole.
    std::string spillText_;
    std::vector<uint32_t> namedFields_;
    std::vector<uint32_t> everyLineFields_;
    std::map<long long, std::vector<uint32_t>> lineFieldLists_;
    std::vector<uint32_t> lineColumns_;
    size_t tagBytes_ = 0;  // the tags of one XML record line, every named field's
    bool spillFailed_ = false;
    const RecordWriteRequest* request_ = nullptr;  // during write()

    // A full batch is written on a thread of its own from the text and
    // views it was built in, while the next batches are built in the others
    // of a ring; text_ and views_ trade places with the next in the ring at
    // every hand-over. A failed write is reported by a later hand-over, or
    // by the appender's next call (it hands over first). Declared last: the
    // writes end before the buffers go.
    struct WritingBatch {
        BuiltText text;
        std::vector<std::string_view> views;
    };
    WritingBatch writing_[BackgroundWrite::kMaxUnfinished];
    size_t nextWriting_ = 0;
    OutputAppender* writingAppender_ = nullptr;  // of the last batch written in the background
    std::string writingDestination_;
    BackgroundWrite background_;
};

// Appends one record's values array to the run's record list. The list starts
// with one empty slot, which the first call fills.
void CTL48400W(const std::vector<std::string>& values, std::vector<std::vector<std::string>>& records);


// "&", "<" and ">" escaped for XML element text, and the control bytes XML
// 1.0 forbids (all below 0x20 but tab, line feed and carriage return)
// written as spaces, so the document stays well formed whatever the value.
void appendXmlEscaped(std::string& out, std::string_view text);

}  // namespace brolvin
