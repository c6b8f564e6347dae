// Writing one assembled claim record as XML or CSV (or handing it to the
// database writer), then clearing the Values whose Level says they belong to
// that record only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/job_params.h"
#include "dbexport/db_map.h"
#include "map/field_table.h"
#include "util/platform.h"

namespace brolvin {

struct RecordWriteResult {
    std::vector<std::string> values;  // one per field; filled only by the fall-back branch
    std::string databaseLog;          // text the database writer returned
    bool writeFailed = false;         // the append to the destination failed
};

struct RecordWriteRequest {
    const JobParams* job = nullptr;
    std::string destination;                       // file the records are appended to
    const DbMapTable* databaseMap = nullptr;       // may be null: no database map
    std::string pathSeparator;
    std::optional<std::string> sourceName;         // Level 5 Values, when given
    std::optional<std::string> level6Destination;  // Level 6 Values, when given
};

RecordWriteResult CTL48400C(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx);

// Appends one record's values array to the run's record list. The list starts
// with one empty slot, which the first call fills.
void CTL48400W(const std::vector<std::string>& values, std::vector<std::vector<std::string>>& records);

// Number of service lines with data, at least 1 (all fields but the last take part).
long long serviceLineCount(const FieldTable& fields);

// "&", "<" and ">" escaped for XML element text.
void appendXmlEscaped(std::string& out, const std::string& text);

}  // namespace brolvin
