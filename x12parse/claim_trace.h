// The debug lines of claim assembly, kept out of its state machine: each
// call checks the debug log once and builds its text only when detail lines
// may still be written, so an untraced run pays one test per call.
#pragma once

#include <string>
#include <string_view>

#include "core/debug_log.h"
#include "core/history.h"

namespace brolvin {

class ClaimTrace {
public:
    explicit ClaimTrace(DebugLog& log) : log_(log) {}

    // Whether detail lines may still be written (then per-field lines follow).
    bool detail() const { return log_.detail(); }

    // The segment, its number and the history before it.
    void segment(std::string_view segment, long long number, const SegmentHistory& history) {
        if (log_.detail()) writeSegment(segment, number, history);
    }
    // Entry 1 of a key list matched; `list` names it ("Key Field", "Key DOC Field", ...).
    void entryOneMatched(std::string_view list, std::string_view entry) {
        if (log_.detail()) writeEntryOne(list, entry);
    }
    // Entry k of the key header list tested, matched or not.
    void headerEntryTested(bool matched, std::string_view entry, size_t k) {
        if (log_.detail()) writeHeaderEntry(matched, entry, k);
    }
    // Entry k of a trailer, field or DOC list matched while the claim control was `clmctl`.
    void entryMatched(std::string_view list, std::string_view entry, size_t k, int clmctl) {
        if (log_.detail()) writeEntry(list, entry, k, clmctl);
    }
    // The claim control rose (`change` "0 to 1" or "1 to 2") on `segment`;
    // `list` is "Key Field" or "Key Field Array".
    void claimControlRose(std::string_view list, std::string_view change, std::string_view segment) {
        if (log_.detail()) writeControlRose(list, change, segment);
    }
    void headerFieldCleared(std::string_view name) {
        if (log_.detail()) writeCounted({"- Clear Key Header Field ", name});
    }
    void levelCleared(long long level) {
        if (log_.detail()) writeCounted({"- Clear Key Clear Field Level ", std::to_string(level)});
    }
    void serviceLineCounted(long long slc, int clmctl) {
        if (log_.detail()) writeServiceLine(slc, clmctl);
    }
    void bufferCleared(int clmctl) {
        if (log_.detail()) writeCounted({" Segment Buffer Cleared CLMCTL = ", rightAlignedControl(clmctl)});
    }
    // One fixed counted line.
    void event(std::string_view text) {
        if (log_.detail()) writeCounted({text});
    }
    // Fixed lines that do not count towards the detail limit.
    void note(std::string_view text) {
        if (log_.detail()) log_.line(text);
    }
    void note(std::string_view first, std::string_view second) {
        if (!log_.detail()) return;
        log_.line(first);
        log_.line(second);
    }

    // The buffer an extraction call appends its trace to, emptied; null when
    // detail lines are no longer written.
    std::string* extractionTrace() {
        extraction_.clear();
        return log_.detail() ? &extraction_ : nullptr;
    }
    // Adds what the extraction call traced.
    void extractionDone() {
        if (!log_.on()) return;
        log_.raw(" ");
        log_.raw(extraction_);
    }

private:
    void writeSegment(std::string_view segment, long long number, const SegmentHistory& history);
    void writeEntryOne(std::string_view list, std::string_view entry);
    void writeHeaderEntry(bool matched, std::string_view entry, size_t k);
    void writeEntry(std::string_view list, std::string_view entry, size_t k, int clmctl);
    void writeControlRose(std::string_view list, std::string_view change, std::string_view segment);
    void writeServiceLine(long long slc, int clmctl);
    void writeCounted(std::initializer_list<std::string_view> parts);
    static std::string rightAlignedControl(int clmctl);

    DebugLog& log_;
    std::string extraction_;
};

}  // namespace brolvin
