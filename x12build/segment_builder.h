// Turns one record held in the field table into X12 segments, following the
// map's segment layout table.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "map/field_table.h"

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

// Generates the segments of one record: pass 1 (header, first record only),
// pass 2 (claim), pass 3 once per filled service line, pass 4 (trailer, last
// counted record only). Resets the segment and trace text and the LX counter.
// A non-empty `debug` turns the trace on.
GenerationState CTL48400G(const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                          const FieldNameIndex& index, int crLf, GenerationState state,
                          const std::string& debug, long long recordCount, long long recordNumber,
                          const X12Delimiters& delimiters);

// Element values of one layout entry for one pass: slot 0 the segment id,
// slots 1 to 28 elements 1 to 28. An empty list when the entry is not
// produced. Counter templates update `state`.
std::vector<std::string> CTL48400I(const std::vector<LayoutEntry>& layout,
                                   const FieldTable& fields, const FieldNameIndex& index,
                                   int pass, size_t entryIndex, long long recordCount,
                                   long long recordNumber, long long lineNumber,
                                   GenerationState& state, const X12Delimiters& delimiters);

// The Value of the field a reference names (its first character is a marker
// and is dropped), untrimmed; "" for an unknown name.
std::string CTL48400H(std::string_view reference, const FieldTable& fields,
                      const FieldNameIndex& index);

struct ElementWrite {
    bool written = true;
    std::string value;  // the text to write
    bool cut = false;   // an element condition failed: the segment ends before this element
    std::string trace;
};

// Applies the element condition of the template at `elementIndex` (1 = the
// segment id, k = element k-1) to the evaluated, trimmed value.
ElementWrite CTL48400AJ(size_t elementIndex, const std::string& value, size_t entryIndex,
                        const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                        const FieldNameIndex& index, const X12Delimiters& delimiters,
                        const std::string& debug);

// Splits "id:condition" into the id and the condition with any further ":"
// removed; ["text", ""] without a ":".
std::pair<std::string, std::string> CTLD48400AF(std::string_view text);

// Number of service-line groups of the record that hold a value.
long long filledLineCount(const FieldTable& fields);

}  // namespace brolvin
