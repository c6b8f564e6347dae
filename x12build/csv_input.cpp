#include "x12build/csv_input.h"

#include <cstring>

#include "util/input_limits.h"
#include "util/text.h"
#include "x12build/byte_scan.h"

namespace brolvin {

void CsvRecordCounter::feed(std::string_view block) {
    const char* p = block.data();
    const char* end = p + block.size();
    while (p < end && overlongLine_ == 0) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
        const char* stop = cr ? cr : end;
        if (!comma_ && std::memchr(p, ',', static_cast<size_t>(stop - p)) != nullptr) comma_ = true;
        lineBytes_ += static_cast<size_t>(stop - p);
        if (lineBytes_ > kMaxCsvLineBytes) overlongLine_ = line_;
        if (!cr) return;
        if (comma_) {
            ++count_;
            comma_ = false;
        }
        ++line_;
        lineBytes_ = 0;
        p = cr + 1;
    }
}

void CsvRecordReader::takeValueSlots() {
    FieldTable& fields = run_.map.fields;
    slots_.clear();
    for (FieldEntry& f : fields) slots_.push_back(&f.value);
    slotsOf_ = fields.data();
}

void CsvRecordReader::store() {
    // The value is handed over; the caller starts the next one afresh.
    if (fieldNumber_ <= slots_.size()) {
        std::string& slot = *slots_[fieldNumber_ - 1];
        if (current_.capacity() > kLargeValueBytes) {
            // A large value's buffer is handed over and the slot's freed, so
            // large buffers do not pile up in the reader.
            slot = std::move(current_);
            current_ = std::string();
        } else {
            slot.swap(current_);
        }
        run_.noteValueStored(slot.size());
    } else if (!isBlank(current_))
        ++dropped_;
}

// After the last value of the line was stored.
void CsvRecordReader::lineEnded() {
    if (dropped_ > 0)
        run_.debugEntry("- CSV line " + std::to_string(lineNumber_) + ": " + std::to_string(dropped_) +
                        " value(s) beyond the last field dropped" + kCrLf);
    run_.completeRecord();
    fieldNumber_ = 1;
    dropped_ = 0;
    ++lineNumber_;
}

void CsvRecordReader::feed(std::string_view block) {
    if (run_.refused()) return;
    if (slotsOf_ != run_.map.fields.data() || slots_.size() != run_.map.fields.size())
        takeValueSlots();
    const char* p = block.data();
    const size_t n = block.size();
    size_t lineStart = 0;  // where the current line begins in this block
    // False (and the run refused) when the current line has grown too long.
    auto lineFits = [&](size_t upTo) {
        if (lineBytes_ + (upTo - lineStart) <= kMaxCsvLineBytes) return true;
        run_.refuse("line " + std::to_string(lineNumber_) + " of " + run_.source + " is longer than " +
                    limitText(kMaxCsvLineBytes));
        std::string().swap(current_);
        return false;
    };
    ByteSetScanner scan(block, ',', '\r', '\n', '\n');
    // A value carried over from the previous block is no longer fresh.
    if (fresh_) {
        current_.assign(1, ' ');
        fresh_ = false;
    }
    size_t i = 0;
    while (i < n) {
        const size_t q = scan.next(i);
        if (q == n) {
            if (!lineFits(n)) return;
            lineBytes_ += n - lineStart;
            if (fresh_) {
                current_.assign(1, ' ');
                fresh_ = false;
            }
            current_.append(p + i, n - i);
            return;
        }
        const char c = p[q];
        if (c == '\n') {
            // A line feed is a space within the value.
            if (fresh_) {
                current_.assign(1, ' ');
                fresh_ = false;
            }
            current_.append(p + i, q - i);
            current_.push_back(' ');
            i = q + 1;
            continue;
        }
        if (fresh_) {
            // The value is the delimiter before it, as a space, and the bytes
            // up to this one: taken straight from the block.
            if (fieldNumber_ <= slots_.size()) {
                std::string& value = *slots_[fieldNumber_ - 1];
                value.assign(p + i - 1, q - i + 1);
                value[0] = ' ';
                run_.noteValueStored(value.size());
            } else if (!isBlank(std::string_view(p + i, q - i))) {
                ++dropped_;
            }
        } else {
            current_.append(p + i, q - i);
            store();
        }
        if (c == ',') {
            ++fieldNumber_;
        } else {  // '\r'
            if (!lineFits(q)) return;
            lineEnded();
            lineBytes_ = 0;
            lineStart = q + 1;
        }
        // The comma or CR counts as a space at the start of the next value.
        fresh_ = true;
        i = q + 1;
    }
    if (lineFits(n)) lineBytes_ += n - lineStart;
}

long long countCsvRecords(std::string_view data, ProgressTicker& progress) {
    CsvRecordCounter counter;
    counter.feed(data);
    progress.at(static_cast<long long>(data.size()));
    return counter.count();
}

void readCsvRecords(std::string_view data, GenerationRun& run, ProgressTicker& progress) {
    CsvRecordReader reader(run);
    reader.feed(data);
    progress.at(static_cast<long long>(data.size()));
}

}  // namespace brolvin
