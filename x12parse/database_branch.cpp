#include "x12parse/database_branch.h"

#include <optional>

#include "dbexport/table_writer.h"
#include "x12parse/record_writer.h"

namespace brolvin {

std::string writeToDatabase(FieldTable& fields, const RecordWriteRequest& request,
                            std::optional<long long> lineCount, bool ml, RunContext& ctx) {
    // Without a database map there is nothing to write to.
    if (request.databaseMap == nullptr) return "";
    auto write = [&](long long line, std::optional<long long> count) {
        const DbMapTable& map = *request.databaseMap;
        if (request.databaseSession)
            return writeRecordToTables(fields, map, request.pathSeparator, ml, line, count, ctx, *request.databaseSession);
        return writeRecordToTables(fields, map, request.pathSeparator, ml, line, count, ctx);
    };
    if (!lineCount) return write(0, std::nullopt);
    std::string log;
    for (long long line = 1; line <= *lineCount; ++line) log += write(line, *lineCount);
    return log;
}

}  // namespace brolvin
