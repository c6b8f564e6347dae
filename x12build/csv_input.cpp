#include "x12build/csv_input.h"

#include <cstring>

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
    for (const std::string& header : headers)
        if (line_ == header) return true;
    return false;
}

void CsvRecordCounter::feed(std::string_view block) { splitter_.feed(block, *this); }

void CsvRecordCounter::end(bool lineEnd) {
    if (!lineEnd) {
        comma_ = true;
        return;
    }
    if (comma_) {
        ++count_;
        if (firstLine_) firstCounted_ = true;
    }
    comma_ = false;
    firstLine_ = false;
}

void CsvRecordCounter::finish() {
    if (comma_) end(true);
}

void CsvRecordReader::takeValueSlots() {
    FieldTable& fields = run_.map.fields;
    slots_.clear();
    for (FieldEntry& f : fields) slots_.push_back(&f.value);
    slotsOf_ = fields.data();
}

void CsvRecordReader::store() {
    if (discarding_) return;
    // The value is handed over; the next one starts afresh.
    if (fieldNumber_ <= slots_.size())
        slots_[fieldNumber_ - 1]->swap(current_);
    else if (!isBlank(current_))
        ++dropped_;
}

void CsvRecordReader::end(bool lineEnd) {
    store();
    // The delimiter leaves a space at the start of the next value.
    current_.assign(1, ' ');
    if (!lineEnd) {
        ++fieldNumber_;
        return;
    }
    if (dropped_ > 0)
        run_.debugEntry("- CSV line " + std::to_string(lineNumber_) + ": " + std::to_string(dropped_) +
                        " value(s) beyond the last field dropped" + kCrLf);
    if (!discarding_) run_.completeRecord();
    discarding_ = false;
    fieldNumber_ = 1;
    dropped_ = 0;
    ++lineNumber_;
}

void CsvRecordReader::feed(std::string_view block) {
    if (slotsOf_ != run_.map.fields.data() || slots_.size() != run_.map.fields.size()) takeValueSlots();
    splitter_.feed(block, *this);
}

void CsvRecordReader::finish() {
    if (splitter_.inQuotes()) {
        quoteLine_ = lineNumber_;
        return;
    }
    if (fieldNumber_ == 1 && blankTail(current_)) return;
    if (slotsOf_ != run_.map.fields.data() || slots_.size() != run_.map.fields.size()) takeValueSlots();
    end(true);
}

}  // namespace brolvin
