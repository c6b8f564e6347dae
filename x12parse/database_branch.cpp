#include "x12parse/database_branch.h"

#include <optional>

#include "dbexport/table_writer.h"
#include "x12parse/record_writer.h"

namespace brolvin {

std::string writeToDatabase(FieldTable& fields, const RecordWriteRequest& request, bool serviceLineMode, bool ml,
                            RunContext& ctx) {
    // Without a database map there is nothing to write to.
    if (request.databaseMap == nullptr) return "";
    if (!serviceLineMode) return CTL48500A(fields, *request.databaseMap, request.pathSeparator, ml, 0, std::nullopt, ctx);
    std::string log;
    long long count = serviceLineCount(fields);
    for (long long line = 1; line <= count; ++line)
        log += CTL48500A(fields, *request.databaseMap, request.pathSeparator, ml, line, count, ctx);
    return log;
}

}  // namespace brolvin
