#include "x12parse/database_branch.h"

#include <optional>

#include "dbexport/table_writer.h"
#include "x12parse/record_writer.h"

namespace brolvin {

std::string writeToDatabase(FieldTable& fields, const RecordWriteRequest& request,
                            std::optional<long long> lineCount, bool ml, RunContext& ctx) {
    // Without a database map there is nothing to write to.
    if (request.databaseMap == nullptr) return "";
    if (!lineCount) return CTL48500A(fields, *request.databaseMap, request.pathSeparator, ml, 0, std::nullopt, ctx);
    std::string log;
    for (long long line = 1; line <= *lineCount; ++line)
        log += CTL48500A(fields, *request.databaseMap, request.pathSeparator, ml, line, *lineCount, ctx);
    return log;
}

}  // namespace brolvin
