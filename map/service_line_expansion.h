// Service-line expansion of a field table for the "ML" option.
#pragma once

#include <string>
#include <vector>

#include "core/field_table.h"

namespace brolvin {

// The most service lines the expansion makes. X12 claims carry at most 999
// lines; a hostile source with thousands of line segments in one claim would
// otherwise grow the table, and the cost of every segment, without bound.
inline constexpr long long kMaxExpandedServiceLines = 999;
// The most entries an expanded table holds: a large service-line block makes
// fewer lines rather than a table that outgrows memory.
inline constexpr long long kMaxExpandedFieldEntries = 50000;

// The number of lines the expansion makes of `lineCount`: at most
// kMaxExpandedServiceLines, and no more than keep the table within
// kMaxExpandedFieldEntries.
long long expandedLineCount(const FieldTable& fields, long long lineCount);

// CTL48400Z: the field table with its service-line block repeated.
// Repeats the service-line block (the first run of entries whose Service Line
// Number reads as 1) for lines 2 to expandedLineCount(fields, lineCount),
// renaming the copies. A table without such a block, or a line count below
// 2, is returned unchanged. Pass the table moved when it is to be replaced:
// its entries are then moved, not copied.
FieldTable withServiceLineCopies(FieldTable fields, long long lineCount);

// The run-log text when the expansion made fewer lines than counted; ""
// otherwise.
std::string serviceLineLimitNote(long long lineCount, long long linesMade);

// The map's table replaced by its expansion (its entries moved, not
// copied), and its name list and segment map made anew from it.
void expandServiceLines(LoadedMap& map, long long lineCount);

// CTL48400AB: one attribute of every field entry as a list.
// what 1: the name list (Field Name of every entry); what 2: the segment map
// (Segment of every entry). Any other value gives an empty list.
std::vector<std::string> fieldColumn(const FieldTable& fields, int what);

}  // namespace brolvin
