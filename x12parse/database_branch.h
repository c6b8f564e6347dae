// The record writer's database branch: hands a record to the table writer.
#pragma once

#include <string>

#include "map/field_table.h"
#include "util/platform.h"

namespace brolvin {

struct RecordWriteRequest;

// Calls the table writer once per service line (service-line mode) or once
// (plain mode) and returns the log texts it produced, concatenated.
std::string writeToDatabase(FieldTable& fields, const RecordWriteRequest& request, bool serviceLineMode,
                            bool ml, RunContext& ctx);

}  // namespace brolvin
