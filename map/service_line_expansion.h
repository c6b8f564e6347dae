// Service-line expansion of a field table for the "ML" option.
#pragma once

#include <string>
#include <vector>

#include "map/field_table.h"

namespace brolvin {

// Repeats the service-line block (the first run of entries whose Service Line
// Number reads as 1) for lines 2 to `lineCount`, renaming the copies. A table
// without such a block, or a line count below 2, is returned unchanged.
FieldTable CTL48400Z(const FieldTable& fields, long long lineCount);

// what 1: the name list (Field Name of every entry); what 2: the segment map
// (Segment of every entry). Any other value gives an empty list.
std::vector<std::string> CTL48400AB(const FieldTable& fields, int what);

}  // namespace brolvin
