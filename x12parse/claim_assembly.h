// Claim assembly: decides, segment by segment, where claim records begin and
// end under the map's key-field lists, feeds segments to field extraction and
// has the record writer write every completed record.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/debug_log.h"
#include "core/field_table.h"
#include "core/history.h"
#include "x12parse/claim_trace.h"
#include "x12parse/field_bits.h"
#include "x12parse/identifier_table.h"
#include "x12parse/key_match.h"

namespace brolvin {

class FieldExtractor;

struct AssemblyCallbacks {
    // Extract one segment, already split into `parts`, with the given service
    // line and the history of the segments before it; appends the trace to
    // `trace` when it is given (tracing on).
    std::function<void(std::string_view segment, const SegmentElements& parts, long long serviceLine,
                       const SegmentHistory& history, std::string* trace)>
        extract;
    // When given, extracts instead of `extract`, called directly (no
    // std::function call for every segment).
    FieldExtractor* extractor = nullptr;
    // Write the current record (the Values of the field table).
    std::function<void()> writeRecord;
};

class ClaimAssembler {
public:
    ClaimAssembler(LoadedMap& map, char elementSeparator, DebugLog& debug, AssemblyCallbacks callbacks);

    // Processes one complete segment; the stream has already counted it and
    // pushed it into the history.
    void processSegment(std::string_view segment, long long segmentNumber);
    // End of input: writes a record left open by a transaction set without SE.
    void finish();

    // `set` names every field whose Value may not be empty (null: not kept);
    // clearing then visits only those.
    void trackSetFields(FieldBits* set) { setFields_ = set; }

    SegmentHistory& history() { return history_; }
    long long maxServiceLineCount() const { return maxSlc_; }
    // ST segments seen so far.
    long long transactionSets() const { return transactionSets_; }
    // Whether entry 1 of the Key Field list matched some segment.
    bool keyFieldMatched() const { return keyFieldMatched_; }
    // Key Line Field segments of open claims numbered beyond the highest
    // Service Line Number of the map: lines no field can hold.
    long long unwrittenServiceLines() const { return unwrittenLines_; }
    long long mapServiceLines() const { return mapLines_; }

private:
    enum : unsigned {
        kHeaderList = 1,
        kClearLists = 2,
        kTrailerList = 4,
        kFieldList = 8,
        kLineList = 16,
        kDocList = 32
    };
    unsigned listsFor(const SegmentElements& e);
    unsigned firstListsFor(const SegmentElements& e);
    bool headerTest(const SegmentElements& e);
    bool listEvent(const KeyList& list, const SegmentElements& e, bool trace);
    void headerEvent();
    void clearLists(const SegmentElements& e);
    void clearFields(const FieldBits& which, const std::vector<size_t>& list);
    void trailerTest(const SegmentElements& e, std::string_view segment);
    void keyFieldTest(const SegmentElements& e, std::string_view segment);
    void keyLineTest(const SegmentElements& e);
    void docTest(const SegmentElements& e);
    void extractSegment(std::string_view segment, const SegmentElements& e, long long serviceLine);
    void writeRecord();
    bool closeOpenClaim();

    LoadedMap& map_;
    char separator_;
    ClaimTrace trace_;
    AssemblyCallbacks callbacks_;
    SegmentHistory history_;
    std::vector<long long> levels_;  // each field's Level, read once
    std::vector<std::vector<size_t>> clearedByList_;  // per clearing list, the fields it empties
    std::vector<FieldBits> clearedByListBits_;
    FieldBits level2_;  // the fields a header event empties
    FieldBits* setFields_ = nullptr;
    IdentifierTable<unsigned> listsById_;  // per identifier, the key lists that can fire
    int clmctl_ = 0;
    long long slc_ = 0;
    long long maxSlc_ = 0;
    long long mapLines_ = 0;  // highest Service Line Number of the table
    long long unwrittenLines_ = 0;
    bool stControl_ = false;
    bool recordPending_ = false;
    long long transactionSets_ = 0;
    bool keyFieldMatched_ = false;
};

}  // namespace brolvin
