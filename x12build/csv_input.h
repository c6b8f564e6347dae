// Comma-separated records as input for X12 generation: one record per line,
// values taken by position into the field table. Lines end at CR LF, LF or
// CR; a value in double quotes (RFC 4180) may hold commas, line ends and
// doubled quotes; a UTF-8 byte-order mark at the start is passed over.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "x12build/byte_scan.h"
#include "x12build/generation_run.h"

namespace brolvin {

// Splits a CSV source, fed block by block, into value text and value ends.
// `Handler` receives text(const char*, size_t) for the bytes of the value
// being read (quotes taken off; a line end inside quotes arrives as a
// space), end(bool lineEnd) at each comma and each line end outside quotes,
// and lineFeedOfCrLf() for the LF that completes a CR LF.
class CsvSplitter {
public:
    template <class Handler>
    void feed(std::string_view block, Handler& handler);

    bool inQuotes() const { return quoted_; }

private:
    bool started_ = false;
    bool valueStart_ = true;  // no byte of the current value read yet
    bool afterCr_ = false;    // the last byte read was a CR outside quotes
    bool quoted_ = false;     // inside a quoted value
    bool quoteSeen_ = false;  // inside it, the last byte was a quote
};

// The first line of a CSV source as written (up to its first CR or LF,
// without a byte-order mark), to tell whether it is the header line that CSV
// output writes ("HO").
class CsvFirstLine {
public:
    void feed(std::string_view block);
    // Whether the first line equals one of `headers`.
    bool equalsOneOf(const std::vector<std::string>& headers) const;

private:
    static constexpr size_t kLimit = 1 << 16;  // longer first lines are no header
    std::string line_;
    bool started_ = false;
    bool done_ = false;
    bool tooLong_ = false;
};

// The counting pass: lines that hold at least one comma outside quotes,
// including a last line without a line end.
class CsvRecordCounter {
public:
    void feed(std::string_view block);
    void finish();
    long long count() const { return count_; }
    // Whether the first line held a comma (so it was counted).
    bool firstLineCounted() const { return firstCounted_; }

    void text(const char*, size_t) {}
    void lineFeedOfCrLf() {}
    void end(bool lineEnd);

private:
    CsvSplitter splitter_;
    long long count_ = 0;
    bool firstLine_ = true;
    bool comma_ = false;
    bool firstCounted_ = false;
};

// The record pass. `skipFirstLine`: the first line is the header line and
// gives no record.
class CsvRecordReader {
public:
    explicit CsvRecordReader(GenerationRun& run, bool skipFirstLine = false)
        : run_(run), discarding_(skipFirstLine) {}
    void feed(std::string_view block);
    // End of the source: a last line without a line end that holds anything
    // besides blanks is a record too.
    void finish();
    // A quoted value ran to the end of the source (its line, from which no
    // record was made, is `unclosedQuoteLine()`).
    bool unclosedQuote() const { return splitter_.inQuotes(); }
    long long unclosedQuoteLine() const { return quoteLine_; }

    void text(const char* p, size_t n) { current_.append(p, n); }
    // It leaves a space at the start of the next value, as each delimiter does.
    void lineFeedOfCrLf() { current_.push_back(' '); }
    void end(bool lineEnd);

private:
    void store();
    // The Value strings of the field table in field order, taken again when
    // the table has changed.
    void takeValueSlots();

    GenerationRun& run_;
    CsvSplitter splitter_;
    bool discarding_;  // the line being read gives no record
    std::vector<std::string*> slots_;
    const FieldEntry* slotsOf_ = nullptr;
    std::string current_;  // the value being read, the space its delimiter leaves included
    size_t fieldNumber_ = 1;
    long long lineNumber_ = 1;
    long long quoteLine_ = 0;
    long long dropped_ = 0;  // non-blank values beyond the last field on this line
};

// ---------------------------------------------------------------------------

template <class Handler>
void CsvSplitter::feed(std::string_view block, Handler& handler) {
    const char* p = block.data();
    const size_t n = block.size();
    size_t i = 0;
    if (!started_) {
        started_ = true;
        if (block.starts_with("\xEF\xBB\xBF")) i = 3;
    }
    ByteSetScanner scan(block, ',', '\r', '\n', '"');
    while (i < n) {
        if (quoted_) {
            if (quoteSeen_) {
                quoteSeen_ = false;
                if (p[i] == '"') {  // a doubled quote stands for one
                    handler.text(p + i, 1);
                    ++i;
                    continue;
                }
                quoted_ = false;  // the quote closed the value; what follows is plain
                continue;
            }
            const size_t q = scan.next(i);
            if (q > i) handler.text(p + i, q - i);
            if (q == n) return;
            const char c = p[q];
            if (c == '"')
                quoteSeen_ = true;
            else if (c == ',')
                handler.text(p + q, 1);
            else
                handler.text(" ", 1);  // a line end inside the value
            i = q + 1;
            continue;
        }
        const size_t q = scan.next(i);
        if (q > i) {
            handler.text(p + i, q - i);
            valueStart_ = false;
            afterCr_ = false;
        }
        if (q == n) return;
        const char c = p[q];
        i = q + 1;
        if (c == '"') {
            if (valueStart_) {
                quoted_ = true;
                valueStart_ = false;
            } else {
                handler.text(p + q, 1);
            }
            afterCr_ = false;
            continue;
        }
        if (c == '\n' && afterCr_) {
            afterCr_ = false;
            handler.lineFeedOfCrLf();
            continue;
        }
        afterCr_ = c == '\r';
        valueStart_ = true;
        handler.end(c != ',');
    }
}

}  // namespace brolvin
