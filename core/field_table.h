// The in-memory form of a map file: the field table with its companion
// lists, the key-field lists and the segment layout and screen tables.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "util/input_limits.h"

namespace brolvin {

// One FIELD= entry. Attributes are text as written in the map, except the
// Occurrence Count; Value, Trace and Occurrence Count are working attributes
// of a conversion.
struct FieldEntry {
    std::string name;                       // 1  Field Name
    std::string width;                      // 2  Field width
    std::string segment;                    // 3  Segment
    std::string segmentQualifier;           // 4  Segment Qualifier
    std::string qualifierPosition;          // 5  Qualifier Position
    std::string elementPosition;            // 6  Element Position
    std::string subelementPosition;         // 7  Subelement Position
    std::string conditionField;             // 8  Condition Field
    std::string occurence;                  // 9  Occurence
    std::string level;                      // 10 Level
    std::string serviceLineNumber;          // 11 Service Line Number
    std::string description;                // 12 Field Description
    std::string dataStart;                  // 13 Data Starting Position Within the Field
    std::string dataLength;                 // 14 Length of Data
    std::string value;                      // 15 Value
    std::string trace;                      // 16 Trace
    std::string function;                   // 17 Function
    long long occurrenceCount = 0;          // 18 Occurrence Count
    std::string previousSegment;            // 19 Previous Segment
    std::string previousQualifier;          // 20 Previous Segment Qualifier
    std::string previousQualifierPosition;  // 21 Previous Segment Qualifier Position
    std::string toggleOffField;             // 22 Toggle Off Field
};

using FieldTable = std::vector<FieldEntry>;

// Empties a Value; the memory of a large one is given back, so a record's
// large Values do not stay held through the records after it.
inline void clearValue(std::string& value) {
    if (value.capacity() > kLargeValueBytes)
        std::string().swap(value);
    else
        value.clear();
}

// The bytes the Values of the table hold together.
inline size_t valueBytes(const FieldTable& fields) {
    size_t total = 0;
    for (const FieldEntry& f : fields) total += f.value.size();
    return total;
}

// A key-field list: entry 1 a segment identifier, entry k >= 2 the value that
// element k-1 must begin with ("" = any).
struct KeyList {
    enum class Kind {
        Given,              // from a KEY... line of the map
        MatchesEmptyOnly,   // no line: one empty entry, matches only an empty segment
        MatchesNothing,     // no line: matches no segment at all
    };
    Kind kind = Kind::MatchesNothing;
    std::vector<std::string> entries;
    int count = 0;  // number of entries taken from the map line (0 without one)
};

// One SEGMENT= or SCREEN= entry: 30 positions, "" where not given.
using LayoutEntry = std::array<std::string, 30>;

// A clearing list of the hierarchy extension: when `keys` matches a segment,
// the Values of fields with Level >= `level` (among the clearing levels) are
// cleared, after the open claim is written.
struct ClearList {
    int level = 0;
    KeyList keys;
};

struct LoadedMap {
    bool hasFieldTable = false;  // false when the map file was missing or empty
    std::string path;
    FieldTable fields;
    std::vector<std::string> names;       // Field Name per entry
    std::vector<std::string> segmentMap;  // Segment per entry
    KeyList keyHeader;
    KeyList keyField;
    KeyList keyDoc;
    KeyList keyLine;
    KeyList keyTrailer;
    std::vector<ClearList> clearLists;    // hierarchy clearing lines, in level order
    std::vector<LayoutEntry> segmentLayout;
    std::vector<LayoutEntry> screens;
    std::string transactionType;
    std::string version;
    int fieldLineCount = 0;
    int segmentLineCount = 0;
    int screenLineCount = 0;
};

}  // namespace brolvin
