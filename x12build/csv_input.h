// Comma-separated records as input for X12 generation: one record per line
// ended by CR, values taken by position into the field table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "x12build/generation_run.h"

namespace brolvin {

// Lines ended by CR that hold at least one comma.
long long countCsvRecords(std::string_view data, ProgressTicker& progress);

// Puts each line's values into the field table and completes a record at
// every CR. Values beyond the last field are dropped (noted in the debug text).
void readCsvRecords(std::string_view data, GenerationRun& run, ProgressTicker& progress);

// The counting pass, fed block by block. It also finds the first line longer
// than kMaxCsvLineBytes, after which it counts nothing more.
class CsvRecordCounter {
public:
    void feed(std::string_view block);
    long long count() const { return count_; }
    // The number of the first line beyond the limit, or 0.
    long long overlongLine() const { return overlongLine_; }

private:
    long long count_ = 0;
    bool comma_ = false;
    long long line_ = 1;
    size_t lineBytes_ = 0;  // of the current line, in earlier blocks
    long long overlongLine_ = 0;
};

// The record pass, fed block by block. A line longer than kMaxCsvLineBytes
// refuses the run; nothing more is read then.
class CsvRecordReader {
public:
    explicit CsvRecordReader(GenerationRun& run) : run_(run) {}
    void feed(std::string_view block);

private:
    void store();
    void lineEnded();
    // The Value strings of the field table in field order, taken again when
    // the table has changed.
    void takeValueSlots();

    GenerationRun& run_;
    std::vector<std::string*> slots_;
    const FieldEntry* slotsOf_ = nullptr;
    // The value being read: `current_`, or, while `fresh_`, one space (for
    // the comma or CR just passed in the same block) followed by the bytes
    // read since.
    std::string current_;
    bool fresh_ = false;
    size_t fieldNumber_ = 1;
    long long lineNumber_ = 1;
    long long dropped_ = 0;  // non-blank values beyond the last field on this line
    size_t lineBytes_ = 0;   // of the current line, in earlier blocks
};

}  // namespace brolvin
