// Field extraction: decides which fields of the map a segment supplies and
// stores their values in the field table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/field_table.h"
#include "util/input_limits.h"
#include "x12parse/field_bits.h"
#include "x12parse/field_functions.h"
#include "core/history.h"
#include "x12parse/identifier_table.h"
#include "x12parse/key_match.h"

namespace brolvin {

class TraceText;

// The component separator extracted values carry, whatever the source's.
inline constexpr char kComponentSeparator = ':';

// A byte that can stand for a delimiter of a real interchange: printable,
// neither letter, digit nor space.
inline bool isPlausibleSeparator(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z');
}

// Extraction over one field table for one conversion. The numeric attributes,
// name look-ups and per-identifier field lists are worked out once, so a
// segment costs in proportion to the fields that can take it.
class FieldExtractor {
public:
    FieldExtractor(FieldTable& fields, char elementSeparator, char subElementSeparator,
                   FunctionFiles& functions);

    // Call after the table's entries were replaced or re-ordered (the "ML"
    // expansion); Values and Occurrence Counts may change freely without it.
    void rebuildIndex();
    // Every field this extractor gives a Value or counts is added to `set`
    // (null: none is kept).
    void trackSetFields(FieldBits* set) { setFields_ = set; }

    // Extracts one segment (no terminator) at service line `serviceLine`
    // (0 = claim level). With `traceOn` and a `trace`, the trace lines of
    // this call are appended to *trace; otherwise no trace text is built.
    void extract(std::string_view segment, long long serviceLine, bool traceOn,
                 const SegmentHistory& history, std::string* trace);
    // The same with the segment already split at the element separator.
    void extract(std::string_view segment, const SegmentElements& parts, long long serviceLine,
                 bool traceOn, const SegmentHistory& history, std::string* trace);

    // A large Value would have taken the Values of the table beyond
    // kMaxRecordBytes; it was not kept. The caller stops the conversion.
    bool valuesBeyondLimit() const { return valuesBeyondLimit_; }

private:
    // The attributes extraction reads, parsed once per field.
    struct FieldPlan {
        bool passedOverOnClaimLevel = false;  // Service Line Number not blank
        long long qualifierPosition = 0;
        long long elementPosition = 0;
        long long subelementPosition = 0;
        long long occurence = 0;
        long long serviceLine = 0;
        long long previousQualifierPosition = 0;
        std::string qualifier;          // trimmed Segment Qualifier
        std::vector<std::string> qualifierEntries;  // its ":"-divided entries
        std::string condition;          // trimmed Condition Field
        long long conditionIndex = -1;  // first field named by the condition, or -1
        std::string previousSegment;    // trimmed
        std::string previousQualifier;  // trimmed
        bool hasToggle = false;                // a Toggle Off Field is given: every rule consults it
        std::vector<size_t> toggleCandidates;  // entries the toggle-off test examines
        std::string function;           // trimmed Function
        // Without tracing, once the field is known to be able to change
        // something (canChange), the rules reduce to these steps.
        bool counted = false;         // the Occurrence Count must reach Occurence
        bool previousApplies = false;  // the previous-segment test decides
        bool takesComponent = false;   // the subelement, not the whole element
        size_t previousTest = 0;       // which distinct previous-segment test (previousApplies)
    };

    // The state of one extract() call shared by the rule steps.
    struct Call {
        std::string_view segment;
        const SegmentElements& parts;  // the segment split once for every field
        long long serviceLine;
        const SegmentHistory& history;
        TraceText& trace;
    };

    // One field of an effective list with what examineQuietly reads of its
    // plan, so the quiet walk touches one small record per field.
    struct QuietStep {
        static constexpr uint32_t kNoCondition = UINT32_MAX;
        enum : uint8_t {
            kCounted = 1,         // plan.counted
            kPreviousApplies = 2, // plan.previousApplies
            kHasToggle = 4,       // plan.hasToggle
            kTakesComponent = 8,  // plan.takesComponent
            kNoElement = 16,      // negative Element Position: the value is ""
            kFunction = 32,       // the Value goes through the field's function
        };
        uint32_t field;
        uint32_t condition;   // conditionIndex, or kNoCondition
        uint32_t element;     // Element Position (capped: past any segment's last element)
        uint32_t component;   // Subelement Position (capped likewise)
        uint8_t flags;
    };
    using QuietSteps = std::vector<QuietStep>;
    // A kept list seen in place (its vector is never changed once kept).
    using QuietSpan = std::span<const QuietStep>;

    // The fields one identifier can reach: the walk's examination order at
    // claim level and at a service line, worked out once per identifier.
    struct IdentifierFields {
        std::vector<size_t> atClaimLevel;
        std::vector<size_t> atServiceLine;
        // Whether each walk runs to the table's end rather than out of
        // candidates (which the trace reports as "Not in segment map").
        bool claimWalkReachesEnd = true;
        bool lineWalkReachesEnd = true;
        std::vector<size_t> qualifierPositions;  // distinct, of the qualified fields
        // The packed look-up's qualifier: 0 for none, kManyQualifiers for
        // more than one, else the position (read without the vector above).
        static constexpr size_t kManyQualifiers = SIZE_MAX;
        size_t onlyQualifierPosition = 0;
        // Without tracing: the examined fields that can change anything for
        // a given service line and qualifier elements (see effectiveFields).
        std::unordered_map<std::string, QuietSteps> effective;
        // The same lists found by a packed key, where the service line and
        // the one qualifier element are short enough (see packedEffectiveKey).
        IdentifierTable<QuietSpan> effectiveByPackedKey;
    };

    IdentifierFields& fieldsFor(std::string_view identifier, uint64_t packedIdentifier);
    IdentifierFields& firstFieldsFor(std::string_view identifier, uint64_t packedIdentifier);
    QuietSpan effectiveFields(IdentifierFields& fields, const SegmentElements& parts, long long serviceLine);
    QuietSpan firstEffectiveFields(IdentifierFields& fields, const SegmentElements& parts, long long serviceLine,
                                   uint64_t packedKey);
    const QuietSteps& effectiveFieldsByText(IdentifierFields& fields, const SegmentElements& parts,
                                               long long serviceLine);
    bool canChange(size_t k, const SegmentElements& parts, long long serviceLine) const;
    bool qualifierMatches(size_t k, std::string_view value) const;
    void examine(size_t k, Call& call);
    void examineQuietly(const QuietStep& step, Call& call);
    void qualifiedRules(size_t k, Call& call);
    void conditionRules(size_t k, Call& call);
    void plainRules(size_t k, Call& call);
    bool countReaches(size_t k);
    bool previousSegmentMatches(size_t k, const Call& call);
    bool toggledOff(size_t k) const;
    // The toggle-off test of the rules that did not always consult it.
    bool switchedOff(size_t k) const { return plans_[k].hasToggle && toggledOff(k); }
    std::string_view element(size_t k, const Call& call) const;
    std::string_view component(size_t k, const Call& call) const;
    void set(size_t k, std::string_view rule, std::string_view extracted, Call& call);
    // Stores the extracted value (through the field's function) as field k's Value.
    void store(size_t k, std::string_view extracted, const Call& call);
    // store() for a field without a function: the quiet walk knows that from
    // its step and does not read the field's plan.
    void storePlain(size_t k, std::string_view extracted);
    // What every store ends with: composites written with ":", a large
    // Value held against the record limit.
    void afterStore(size_t k);
    // After a large Value: beyond the record limit the Value is dropped and
    // the extractor reports it.
    void dropIfRecordTooLarge(size_t k);

    FieldTable& fields_;
    char elementSeparator_;
    char subElementSeparator_;
    bool translateComponents_;  // the source's sub-element separator becomes ":" in Values
    FunctionFiles& functions_;
    std::vector<FieldPlan> plans_;
    // Per position p: the first position >= p that claim-level extraction
    // does not pass over (size n + 1).
    std::vector<size_t> nextClaimLevel_;
    // Per segment identifier (looked up without a copy): the fields it reaches.
    struct IdentifierHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, IdentifierFields, IdentifierHash, std::equal_to<>> bySegment_;
    IdentifierFields scratchFields_;
    // The same entries found by the packed identifier (pointers stay valid:
    // the map's nodes do not move).
    IdentifierTable<IdentifierFields*> byPackedId_;
    QuietStep quietStep(size_t k) const;
    QuietSteps scratchEffective_;
    std::string effectiveKey_;
    size_t cachedPositions_ = 0;  // positions held by all kept effective lists
    // The previous-segment test reads only the history, which one extract()
    // call does not change: each distinct test is answered once per call.
    struct PreviousAnswer {
        unsigned long long call = 0;  // the call that answered, 0 = none
        bool matches = false;
    };
    std::vector<PreviousAnswer> previousAnswers_;
    unsigned long long callNumber_ = 0;
    bool valuesBeyondLimit_ = false;
    FieldBits* setFields_ = nullptr;
};

inline void FieldExtractor::store(size_t k, std::string_view extracted, const Call& call) {
    if (plans_[k].function.empty()) {
        storePlain(k, extracted);
        return;
    }
    FieldEntry& field = fields_[k];
    if (setFields_) setFields_->set(k);
    field.value = applyFieldFunction(plans_[k].function, extracted, call.segment, functions_);
    afterStore(k);
}

inline void FieldExtractor::storePlain(size_t k, std::string_view extracted) {
    FieldEntry& field = fields_[k];
    if (setFields_) setFields_->set(k);
    // Keep the buffer the Value already has. The rules store only into an
    // empty Value, which an append fills without the overlap checks of a
    // replacement.
    if (field.value.empty())
        field.value.append(extracted);
    else
        field.value.assign(extracted);
    afterStore(k);
}

inline void FieldExtractor::afterStore(size_t k) {
    FieldEntry& field = fields_[k];
    if (translateComponents_) {
        // Composites are stored with ":" whatever the source used, so they
        // mean the same in every output and in X12 generated from it.
        for (char& c : field.value)
            if (c == subElementSeparator_) c = kComponentSeparator;
    }
    // Only after a large Value are the table's Values summed.
    if (field.value.size() >= kLargeValueBytes) dropIfRecordTooLarge(k);
}

// Extracts one segment as a routine of its own: tracing is on when
// `debugText` is not empty and `detailCounter` is below `detailLimit`.
// Changes the table in place, leaves the trace text in the first entry's
// Trace ("" when tracing is off) and returns it. Function files are read
// afresh for this call. The segment map and name list mirror the table's
// Segment and Field Name attributes, which are what the look-ups read.
std::string CTL48400B(FieldTable& fields, const std::vector<std::string>& segmentMap,
                      std::string_view segment, char elementSeparator, char subElementSeparator,
                      const std::vector<std::string>& names, long long serviceLine,
                      std::string_view debugText, long long detailCounter, long long detailLimit,
                      const SegmentHistory& history);

}  // namespace brolvin
