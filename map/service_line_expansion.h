// Service-line expansion of a field table for the "ML" option.
#pragma once

#include <string>
#include <vector>

#include "map/field_table.h"

namespace brolvin {

// The most service lines the expansion makes. X12 claims carry at most 999
// lines; a hostile source with thousands of line segments in one claim would
// otherwise grow the table, and the cost of every segment, without bound.
inline constexpr long long kMaxExpandedServiceLines = 999;

// Repeats the service-line block (the first run of entries whose Service Line
// Number reads as 1) for lines 2 to `lineCount` (at most
// kMaxExpandedServiceLines), renaming the copies. A table without such a
// block, or a line count below 2, is returned unchanged.
FieldTable CTL48400Z(const FieldTable& fields, long long lineCount);

// The run-log text for a line count beyond the expansion limit; "" otherwise.
std::string serviceLineLimitNote(long long lineCount);

// what 1: the name list (Field Name of every entry); what 2: the segment map
// (Segment of every entry). Any other value gives an empty list.
std::vector<std::string> CTL48400AB(const FieldTable& fields, int what);

}  // namespace brolvin
