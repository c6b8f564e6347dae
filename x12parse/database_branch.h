// The record writer's database branch: hands a record to the table writer.
#pragma once

#include <optional>
#include <string>

#include "core/field_table.h"
#include "util/platform.h"

namespace brolvin {

struct RecordWriteRequest;

// Calls the table writer once per service line 1 to `lineCount` (service-line
// mode) or once (plain mode: no line count) and returns the log texts it
// produced, concatenated.
std::string writeToDatabase(FieldTable& fields, const RecordWriteRequest& request,
                            std::optional<long long> lineCount, bool ml, RunContext& ctx);

}  // namespace brolvin
