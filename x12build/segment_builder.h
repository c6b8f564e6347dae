// Turns one record held in the field table into X12 segments, following the
// map's segment layout table.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/field_table.h"
#include "x12build/value_cleaning.h"

namespace brolvin {

// Case-insensitive lookup of field names, built once per field table so a
// reference costs one hash probe instead of a scan of the table. Names match
// when equal after trimming spaces, ignoring letter case; the first field in
// table order wins.
class FieldNameIndex {
public:
    FieldNameIndex() = default;
    explicit FieldNameIndex(const FieldTable& fields);
    // Position of the field, or -1.
    long find(std::string_view name) const;
    // Position of the field named by `name` followed by `suffix`, or -1.
    long find(std::string_view name, std::string_view suffix) const;

private:
    std::unordered_map<std::string, long> positions_;
};

struct X12Delimiters {
    std::string component = ":";
    std::string element = "*";
    std::string terminator = "~";
};

// What the generator carries from one record to the next.
struct GenerationState {
    std::string segmentText;       // segments of the current record
    std::string traceText;         // debug trace of the current record
    long long hlCounter = 0;       // runs on through the whole interchange
    long long lxCounter = 0;       // restarts with every record
    long long spareCounter = 0;    // kept for the caller; nothing reads it
    long long previousHl = 0;      // HL counter before its latest increase; 0 = none yet
    long long segmentCount = 0;    // segments written since ST
};

// The segment layout compiled once per run against one field table: every
// template is parsed and every field name resolved ahead, so generating a
// record reads Values by position. Names read with the service-line suffix
// are resolved per line number the first time that line is generated. The
// plan stays valid while the field table's names and order do not change.
class SegmentPlan {
public:
    SegmentPlan() = default;
    SegmentPlan(const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                const FieldNameIndex& index);

    // Generates the segments of one record; the same contract as CTL48400G.
    GenerationState generate(const FieldTable& fields, int crLf, GenerationState state,
                             const std::string& debug, long long recordCount,
                             long long recordNumber, const X12Delimiters& delimiters);

    // A field reference of a template, a segment condition or an element
    // condition; `lineSuffixed` references take the line number in pass 3.
    struct FieldRef {
        std::string name;
        bool lineSuffixed = false;
    };
    // One ";"-separated part of a composite: literal text, or a field's
    // trimmed Value when `ref` >= 0. A `mandatory` part ("!") that is blank
    // leaves the whole composite empty.
    struct Part {
        std::string literal;
        long ref = -1;
        bool mandatory = false;
    };
    enum class Kind { Empty, Field, Composite, HlCounter, LxCounter, HlpCounter, Literal };
    struct Element {
        Kind kind = Kind::Empty;
        long ref = -1;             // Kind::Field
        bool mandatory = false;    // "!": a blank Value drops the segment
        bool valueLater = false;   // a conditional reference: the condition supplies the value
        std::string literal;       // Kind::Literal
        std::vector<Part> parts;   // Kind::Composite
        // The template's ":" condition, applied when the element is written.
        bool hasCondition = false;
        long conditionRef = -1;    // -1: a condition that is always blank
        std::vector<Part> recomputed;
        std::string templateText;  // for the trace
        std::string trimmedLiteral;  // Kind::Literal, as written
    };
    struct Entry {
        std::string segmentId;
        long conditionRef = -1;
        bool hasCondition = false;
        size_t slotsUsed = 1;  // value slots 0 .. slotsUsed-1 come from templates
        std::vector<Element> elements;  // slot k: segment id (0) or element k
        std::string trimmedId;          // the segment id as written
        bool hasCounter = false;        // an element moves a counter
        bool elementConditions = false; // an element after the id carries a condition
    };

private:
    long valueRef(std::string_view name, bool lineSuffixed, const FieldNameIndex& index);
    std::vector<Part> parseParts(std::string_view body, bool partsWithMark, bool lineSuffixed,
                                 const FieldNameIndex& index);
    const std::vector<long>& positionsFor(long long line);
    std::string_view valueOf(long ref, long long line, const FieldTable& fields);
    // The Value each reference reads in `line`, nullptr for an unknown name.
    const std::string* const* valuesFor(long long line);
    void takeFields(const FieldTable& fields);
    // Evaluates and writes an entry without element conditions and without
    // trace in one go, straight into the segment text.
    void writeDirect(const Entry& entry, const std::string* const* values, int crLf,
                     GenerationState& state, const X12Delimiters& d);
    bool evaluate(const Entry& entry, long long line, const FieldTable& fields,
                  GenerationState& state);
    void write(const Entry& entry, const FieldTable& fields, int crLf,
               GenerationState& state, const std::string& debug, const X12Delimiters& d);
    void appendSafe(std::string& out, std::string_view value, bool trim) const;
    long long filledLines(const FieldTable& fields) const;

    std::vector<Entry> entries_;
    std::vector<size_t> byPass_[4];
    std::vector<FieldRef> refs_;
    std::vector<std::vector<long>> positions_;  // [line][ref]; line 0 = no suffix
    // positions_ turned into the Values of the field table they were taken
    // from; rebuilt when generate() is handed another table.
    std::vector<std::vector<const std::string*>> values_;
    const FieldEntry* valuesOf_ = nullptr;
    size_t valuesCount_ = 0;
    const FieldNameIndex* index_ = nullptr;
    size_t fieldCount_ = 0;
    std::vector<std::pair<size_t, long long>> lineFields_;  // field position, line number
    // Scratch reused from record to record.
    std::vector<std::string> slots_;
    std::string scratch_;
    std::string component_;
    X12ValueCleaning cleaning_;  // the bytes Values must not carry, written as spaces
    // The delimiters cleaning_ was set up for.
    bool replacedSet_ = false;
    std::string elementSeparator_;
    std::string terminator_;
};

// Generates the segments of one record: pass 1 (header, first record only),
// pass 2 (claim), pass 3 once per filled service line, pass 4 (trailer, last
// counted record only). Resets the segment and trace text and the LX counter.
// A non-empty `debug` turns the trace on.
GenerationState CTL48400G(const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                          const FieldNameIndex& index, int crLf, GenerationState state,
                          const std::string& debug, long long recordCount, long long recordNumber,
                          const X12Delimiters& delimiters);

// The Value of the field a reference names (its first character is a marker
// and is dropped), untrimmed; "" for an unknown name.
std::string CTL48400H(std::string_view reference, const FieldTable& fields,
                      const FieldNameIndex& index);

// CTLD48400AF: splits a template into its text and its condition.
// Splits "id:condition" into the id and the condition with any further ":"
// removed; ["text", ""] without a ":".
std::pair<std::string, std::string> splitCondition(std::string_view text);

// Number of service-line groups of the record that hold a value.
long long filledLineCount(const FieldTable& fields);

}  // namespace brolvin
