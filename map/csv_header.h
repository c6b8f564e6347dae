// The header line of CSV output ("HO"), which CSV input recognises when the
// file is fed back.
#pragma once

#include <string>

#include "core/field_table.h"

namespace brolvin {

// The column titles joined by "," (a comma before every column but the
// table's first entry), without a line end: each title is the trimmed Field
// Description, or the trimmed Field Name when the description is blank. In
// service-line mode ("SL"/"ML") only claim-level and line-1 fields are columns.
std::string csvHeaderText(const FieldTable& fields, bool serviceLineMode);

}  // namespace brolvin
