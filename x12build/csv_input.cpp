#include "x12build/csv_input.h"

#include <cstring>

#include "util/csv_text.h"
#include "util/text.h"

namespace brolvin {

namespace {

// Only blanks (and an end-of-file mark): no record in a last unended line.
bool blankTail(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\t' && c != kEofMark) return false;
    return true;
}

}  // namespace

void CsvFirstLine::feed(std::string_view block) {
    if (done_) return;
    if (!started_) {
        started_ = true;
        if (block.starts_with("\xEF\xBB\xBF")) block.remove_prefix(3);
    }
    size_t end = block.find_first_of("\r\n");
    std::string_view part = block.substr(0, end);
    if (line_.size() + part.size() > kLimit)
        tooLong_ = true;
    else
        line_.append(part);
    if (end != std::string_view::npos) done_ = true;
    if (tooLong_) done_ = true;
}

bool CsvFirstLine::equalsOneOf(const std::vector<std::string>& headers) const {
    if (tooLong_) return false;
    const std::vector<std::string> values = csvLineValues(line_);
    for (const std::string& header : headers)
        if (values == csvLineValues(header)) return true;
    return false;
}

// The splitter's rules, with commas only noted: a line with a comma outside
// quotes counts. Runs of bytes between line ends and quotes are searched for
// a comma at once.
void CsvRecordCounter::feed(std::string_view block) {
    if (overlongLine_ != 0) return;
    const char* p = block.data();
    const size_t n = block.size();
    size_t i = 0;
    size_t lineStart = 0;  // where the current line begins in this block
    // At the block's end: the line's bytes so far must stay within the limit.
    auto blockEnds = [&] {
        lineBytes_ += n - lineStart;
        if (lineBytes_ > kMaxCsvLineBytes) overlongLine_ = line_;
    };
    if (!started_) {
        started_ = true;
        if (block.starts_with("\xEF\xBB\xBF")) i = 3;
    }
    ByteSetScanner scan(block, '\r', '\n', '"', '"');
    while (i < n) {
        if (quoted_) {
            if (quoteSeen_) {
                quoteSeen_ = false;
                if (p[i] == '"') {
                    ++i;
                    continue;
                }
                quoted_ = false;
                continue;
            }
            const void* quote = std::memchr(p + i, '"', n - i);
            if (quote == nullptr) return blockEnds();
            quoteSeen_ = true;
            i = static_cast<size_t>(static_cast<const char*>(quote) - p) + 1;
            continue;
        }
        const size_t q = scan.next(i);
        if (q > i) {
            const char* comma = static_cast<const char*>(std::memchr(p + i, ',', q - i));
            if (comma != nullptr) comma_ = true;
            // A quote opens a value only at its start: after a comma or a line end.
            valueStart_ = p[q - 1] == ',';
            afterCr_ = false;
        }
        if (q == n) return blockEnds();
        const char c = p[q];
        i = q + 1;
        if (c == '"') {
            if (valueStart_) quoted_ = true;
            valueStart_ = afterCr_ = false;
            continue;
        }
        if (c == '\n' && afterCr_) {
            afterCr_ = false;
            continue;
        }
        afterCr_ = c == '\r';
        valueStart_ = true;
        lineBytes_ += q - lineStart;
        if (lineBytes_ > kMaxCsvLineBytes) {
            overlongLine_ = line_;
            return;
        }
        lineBytes_ = 0;
        lineStart = i;
        ++line_;
        lineEnded();
    }
    blockEnds();
}

void CsvRecordCounter::lineEnded() {
    if (comma_) {
        ++count_;
        if (firstLine_) firstCounted_ = true;
    }
    comma_ = false;
    firstLine_ = false;
}

void CsvRecordCounter::finish() {
    if (comma_ && !(quoted_ && !quoteSeen_)) lineEnded();
}

void CsvRecordReader::takeValueSlots() {
    FieldTable& fields = run_.map.fields;
    slots_.clear();
    scratch_.assign(discarding_ ? fields.size() : 0, std::string());
    for (size_t k = 0; k < fields.size(); ++k) slots_.push_back(discarding_ ? &scratch_[k] : &fields[k].value);
    slotsOf_ = discarding_ ? nullptr : fields.data();
}

void CsvRecordReader::refuseLongLine() {
    if (run_.refused()) return;
    run_.refuse("line " + std::to_string(lineNumber_) + " of " + run_.source + " is longer than " +
                limitText(kMaxCsvLineBytes));
    std::string().swap(current_);
}

void CsvRecordReader::lineEnded() {
    if (run_.refused()) return;
    if (dropped_ > 0)
        run_.debug.entry("- CSV line " + std::to_string(lineNumber_) + ": " + std::to_string(dropped_) +
                        " value(s) beyond the last field dropped" + kCrLf);
    if (discarding_) {
        discarding_ = false;
        takeValueSlots();
    } else {
        run_.completeRecord();
    }
    fieldNumber_ = 1;
    dropped_ = 0;
    ++lineNumber_;
}

void CsvRecordReader::feed(std::string_view block) {
    if (run_.refused()) return;
    if (slotsOf_ != run_.map.fields.data() || slots_.size() != run_.map.fields.size()) takeValueSlots();
    block_ = block.data();
    splitter_.feed(block, *this);
}

void CsvRecordReader::finish() {
    if (run_.refused()) return;
    if (splitter_.inQuotes()) {
        quoteLine_ = lineNumber_;
        return;
    }
    if (fieldNumber_ == 1 && blankTail(current_)) return;
    if (slotsOf_ != run_.map.fields.data() || slots_.size() != run_.map.fields.size()) takeValueSlots();
    end(true);  // the last line's last value
}

}  // namespace brolvin
