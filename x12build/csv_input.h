// Comma-separated records as input for X12 generation: one record per line,
// values taken by position into the field table. Lines end at CR LF, LF or
// CR; a value in double quotes (RFC 4180) may hold commas, line ends and
// doubled quotes; a UTF-8 byte-order mark at the start is passed over.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "util/input_limits.h"
#include "util/text.h"
#include "x12build/byte_scan.h"
#include "x12build/generation_run.h"

namespace brolvin {

// Splits a CSV source, fed block by block, into value text and value ends.
// `Handler` receives text(const char*, size_t) for the bytes of the value
// being read (quotes taken off; a line end inside quotes arrives as a
// space), end(bool lineEnd) at each comma and each line end outside quotes,
// value(const char*, size_t, bool lineEnd) in place of both for a value that
// lies whole and unquoted in the block, and lineFeedOfCrLf() for the LF that
// completes a CR LF.
class CsvSplitter {
public:
    template <class Handler>
    void feed(std::string_view block, Handler& handler);

    // A quoted value is open (its closing quote not yet read).
    bool inQuotes() const { return quoted_ && !quoteSeen_; }

private:
    bool started_ = false;
    bool valueStart_ = true;  // no byte of the current value read yet
    bool textSent_ = false;   // text() was called for the current value
    bool afterCr_ = false;    // the last byte read was a CR outside quotes
    bool quoted_ = false;     // inside a quoted value
    bool quoteSeen_ = false;  // inside it, the last byte was a quote
};

// The first line of a CSV source (up to its first CR or LF, without a
// byte-order mark), to tell whether it is the header line that CSV output
// writes ("HO"), quoted or not.
class CsvFirstLine {
public:
    void feed(std::string_view block);
    // Whether the first line's values are those of one of the `headers` lines.
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
// It also finds the first line longer than kMaxCsvLineBytes, after which it
// counts nothing more.
class CsvRecordCounter {
public:
    void feed(std::string_view block);
    void finish();
    long long count() const { return count_; }
    // Whether the first line held a comma (so it was counted).
    bool firstLineCounted() const { return firstCounted_; }
    // The number of the first line beyond the limit, or 0.
    long long overlongLine() const { return overlongLine_; }

private:
    void lineEnded();

    bool started_ = false;
    bool valueStart_ = true;  // the next byte begins a value
    bool afterCr_ = false;
    bool quoted_ = false;
    bool quoteSeen_ = false;
    long long count_ = 0;
    bool firstLine_ = true;
    bool comma_ = false;
    bool firstCounted_ = false;
    long long line_ = 1;
    size_t lineBytes_ = 0;  // of the current line, in earlier blocks
    long long overlongLine_ = 0;
};

// The record pass. `skipFirstLine`: the first line is the header line and
// gives no record. A line longer than kMaxCsvLineBytes refuses the run; its
// values are no longer kept then.
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

    void text(const char* p, size_t n) {
        if (lineFits(n)) current_.append(p, n);
    }
    // It leaves a space at the start of the next value, as each delimiter does.
    void lineFeedOfCrLf() { ++spaces_; }
    void end(bool lineEnd) {
        if (!run_.refused()) store(current_.data(), current_.size(), false);
        current_.clear();
        delimiter(lineEnd);
    }
    void value(const char* p, size_t n, bool lineEnd) {
        if (lineFits(n)) store(p, n, true);
        delimiter(lineEnd);
    }

private:
    // Stores the value: its delimiters' spaces, then `n` bytes from `p`.
    // When the bytes lie in the block, the delimiters stand right before
    // them and are copied along, then made spaces: one copy in all.
    void store(const char* p, size_t n, bool inBlock) {
        const size_t spaces = spaces_;  // 0 at the file's start, 2 after CR LF, else 1
        if (fieldNumber_ <= slots_.size()) {
            std::string& v = *slots_[fieldNumber_ - 1];
            if (inBlock && static_cast<size_t>(p - block_) >= spaces) {
                v.assign(p - spaces, n + spaces);
            } else {
                v.resize(spaces + n);
                if (n > 0) std::memcpy(v.data() + spaces, p, n);
            }
            if (spaces > 0) v[0] = ' ';
            if (spaces > 1) v[1] = ' ';
            run_.noteValueStored(v.size());
        } else if (!discarding_ && !isBlank(std::string_view(p, n))) {
            ++dropped_;
        }
    }
    // Counts `n` more bytes of the current line; false (and the run refused)
    // once the line is beyond its limit.
    bool lineFits(size_t n) {
        lineBytes_ += n;
        if (lineBytes_ <= kMaxCsvLineBytes) return !run_.refused();
        refuseLongLine();
        return false;
    }
    void refuseLongLine();
    void delimiter(bool lineEnd) {
        if (lineEnd) lineBytes_ = 0;
        spaces_ = 1;  // the delimiter leaves a space at the start of the next value
        if (lineEnd)
            lineEnded();
        else
            ++fieldNumber_;
    }
    void lineEnded();
    // The Value strings of the field table in field order, taken again when
    // the table has changed.
    void takeValueSlots();

    GenerationRun& run_;
    CsvSplitter splitter_;
    bool discarding_;  // the line being read gives no record; its values go to `scratch_`
    std::vector<std::string*> slots_;
    std::vector<std::string> scratch_;
    const FieldEntry* slotsOf_ = nullptr;
    const char* block_ = nullptr;  // start of the block being read
    size_t spaces_ = 0;    // spaces the delimiters before the value leave at its start
    std::string current_;  // the value's bytes read so far, when not read in place
    size_t fieldNumber_ = 1;
    long long lineNumber_ = 1;
    long long quoteLine_ = 0;
    long long dropped_ = 0;  // non-blank values beyond the last field on this line
    size_t lineBytes_ = 0;   // of the current line's values so far
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
                    textSent_ = true;
                    ++i;
                    continue;
                }
                quoted_ = false;  // the quote closed the value; what follows is plain
                continue;
            }
            const size_t q = scan.next(i);
            if (q > i) {
                handler.text(p + i, q - i);
                textSent_ = true;
            }
            if (q == n) return;
            const char c = p[q];
            if (c == '"') {
                quoteSeen_ = true;
            } else {
                handler.text(c == ',' ? p + q : " ", 1);  // a line end inside the value is a space
                textSent_ = true;
            }
            i = q + 1;
            continue;
        }
        if (valueStart_ && !textSent_) {
            // At the start of a value: the usual values lie whole in the
            // block, unquoted, and are handed over one after another.
            bool afterCr = afterCr_;
            size_t q;
            for (;;) {
                q = scan.next(i);
                if (q == n) break;
                const char c = p[q];
                if (c == ',') {  // the most frequent delimiter first
                    handler.value(p + i, q - i, false);
                    afterCr = false;
                } else if (c == '"') {
                    break;
                } else if (c == '\n' && afterCr && q == i) {
                    handler.lineFeedOfCrLf();
                    afterCr = false;
                } else {
                    handler.value(p + i, q - i, true);
                    afterCr = c == '\r';
                }
                i = q + 1;
            }
            afterCr_ = afterCr;
            if (q == n) {
                if (n > i) {
                    handler.text(p + i, n - i);
                    textSent_ = true;
                    valueStart_ = afterCr_ = false;
                }
                return;
            }
            // A quote: it opens the value at its first byte, else it is text.
            if (q == i) {
                quoted_ = true;
            } else {
                handler.text(p + i, q - i + 1);
                textSent_ = true;
            }
            valueStart_ = afterCr_ = false;
            i = q + 1;
            continue;
        }
        // Within a value that began earlier.
        const size_t q = scan.next(i);
        if (q > i) handler.text(p + i, q - i);
        if (q == n) return;
        const char c = p[q];
        i = q + 1;
        if (c == '"') {
            handler.text(p + q, 1);
            continue;
        }
        afterCr_ = c == '\r';
        valueStart_ = true;
        textSent_ = false;
        handler.end(c != ',');
    }
}

}  // namespace brolvin
