// The working state of one CSV or XML to X12 run, shared by the two input
// readers: record completion, the debug text with its entry limit, and the
// progress reports.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "core/field_table.h"
#include "core/job_outcome.h"
#include "util/input_limits.h"
#include "util/output_appender.h"
#include "util/platform.h"
#include "x12build/segment_builder.h"

namespace brolvin {

// Reports read progress only when the whole-number percentage changes.
// Display mode 0 uses CTL394MTRC, mode 2 CTL394MTRE, any other none.
class ProgressTicker {
public:
    ProgressTicker(int displayMode, long long size);
    // `position`: bytes read so far.
    void at(long long position) {
        if (position >= next_) report(position);
    }

private:
    void report(long long position);
    int displayMode_;
    long long size_;
    long long lastWhole_ = -1;
    long long next_ = 0;
};

struct GenerationRun {
    GenerationRun(LoadedMap& m, DebugLog& log) : map(m), debug(log) {}

    LoadedMap& map;
    FieldNameIndex index;  // rebuild whenever the field table's names change
    // Built from `index` at the first record; reset it together with `index`.
    std::optional<SegmentPlan> plan;
    std::vector<size_t> levelZeroFields;  // cleared after every record
    GenerationState state;
    X12Delimiters delimiters;
    std::string destination;
    int crLf = 0;
    std::string debugSetting;  // non-empty: debug text and trace on
    long long recordCount = 0;
    long long recordNumber = 0;

    DebugLog& debug;  // the engine's debug log, shared with the other direction
    WriteOutcome write;
    // Set by a reader that meets input it cannot convert without losing
    // data: no further record is generated and the job stops.
    std::string stopReason;
    std::string source;  // the source's name, for the refusal line
    // Why the run stopped on its input (a line, a tag, a text or a record's
    // Values beyond its size limit), or "". Nothing more is generated then.
    std::string refusal;
    bool refused() const { return !refusal.empty(); }
    void refuse(const std::string& reason) {
        if (refusal.empty()) refusal = reason;
    }
    // Notes a Value of `bytes` just stored into the field table: after a
    // large one the record's Values are summed, and beyond kMaxRecordBytes
    // the run is refused.
    void noteValueStored(size_t bytes) {
        if (bytes >= kLargeValueBytes) checkRecordValues();
    }
    void checkRecordValues();
    // The destination stays open from the envelope header to the trailer.
    OutputAppender appender;
    // Once the first text reached the open destination, later texts are
    // collected here and written in large blocks.
    bool destinationHeld = false;
    std::string pending;
    void writePending();

    bool debugOn() const { return !debugSetting.empty() && debug.on(); }
    // True while counted debug entries (of `bytes` more) may still be added.
    bool debugRoom(size_t bytes = 0) const { return debugOn() && debug.room(bytes); }
    // Appends to the destination, noting a failure.
    void append(const std::string& text);
    // The destination exists (or is held open).
    bool destinationExists() const { return appender.fileAvailable(destination); }
    // Closes the destination after writing what is still held back, noting a failure.
    void closeDestination();
    // Generates the record now held in the field table, appends its segments
    // and clears the Level-0 Values. Does nothing without a destination file.
    void completeRecord();
};

}  // namespace brolvin
