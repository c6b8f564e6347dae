#include "x12build/csv_input.h"

#include <cstring>

#include "util/text.h"

namespace brolvin {

void CsvRecordCounter::feed(std::string_view block) {
    const char* p = block.data();
    const char* end = p + block.size();
    while (p < end) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
        const char* stop = cr ? cr : end;
        if (!comma_ && std::memchr(p, ',', static_cast<size_t>(stop - p)) != nullptr) comma_ = true;
        if (!cr) return;
        if (comma_) {
            ++count_;
            comma_ = false;
        }
        p = cr + 1;
    }
}

void CsvRecordReader::store() {
    FieldTable& fields = run_.map.fields;
    // The value is handed over; the caller starts the next one afresh.
    if (fieldNumber_ <= fields.size())
        fields[fieldNumber_ - 1].value.swap(current_);
    else if (!isBlank(current_))
        ++dropped_;
}

void CsvRecordReader::lineEnded() {
    store();
    if (dropped_ > 0)
        run_.debugEntry("- CSV line " + std::to_string(lineNumber_) + ": " + std::to_string(dropped_) +
                        " value(s) beyond the last field dropped" + kCrLf);
    run_.completeRecord();
    fieldNumber_ = 1;
    dropped_ = 0;
    ++lineNumber_;
}

void CsvRecordReader::feed(std::string_view block) {
    const char* p = block.data();
    const char* end = p + block.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != ',' && *q != '\r' && *q != '\n') ++q;
        current_.append(p, static_cast<size_t>(q - p));
        if (q == end) return;
        switch (*q) {
            case '\n':
                current_.push_back(' ');
                break;
            case '\r':
                lineEnded();
                current_.assign(1, ' ');  // the CR counts as a space of the next value
                break;
            default:  // ','
                store();
                ++fieldNumber_;
                current_.assign(1, ' ');
        }
        p = q + 1;
    }
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
