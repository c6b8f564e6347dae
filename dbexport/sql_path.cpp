// The table writer's SQL path: one connection per table for the job, rows
// added in transactions through a prepared INSERT that names its columns.
#include <algorithm>

#include "dbexport/db_names.h"
#include "dbexport/sql_table.h"
#include "dbexport/writer_call.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

const char* const kGivenUp = "; no further records are written to this table";

bool isSqliteDriver(const std::string& driver) { return toLower(driver).find("sqlite") != std::string::npos; }

// The SQLite driver would create a missing database file: a mistyped path
// must fail instead, unless the map asks for CREATE.
std::string connectionFor(const TableRequest& request, int form, const std::string& pathSeparator) {
    std::string text = sqlConnectionString(*request.row, form, pathSeparator);
    if (!text.empty() && text.back() != ';') text += ";";
    if (isSqliteDriver(request.row->driver) && !request.create) text += "NoCreat=1;";
    return text;
}

// The values the look-up compares: the KEYFIELD= columns of the row, or a
// map field of that name, or the first column when KEYFIELD= is empty.
bool lookupKey(const WriterCall& call, const TableRequest& request, const std::vector<SqlValue>& row,
               std::vector<std::string>& columns, std::vector<SqlValue>& values, std::string& problem) {
    std::vector<std::string> names = keyFieldNames(request.row->keyField);
    if (names.empty()) {
        columns = {request.fieldList.front()};
        values = {row.front()};
        return true;
    }
    for (const std::string& name : names) {
        auto listed = std::find_if(request.fieldList.begin(), request.fieldList.end(),
                                   [&](const std::string& f) { return toUpper(f) == toUpper(name); });
        if (listed != request.fieldList.end()) {
            values.push_back(row[static_cast<size_t>(listed - request.fieldList.begin())]);
        } else {
            auto entry = std::find_if(call.fields.begin(), call.fields.end(),
                                      [&](const FieldEntry& e) { return toUpper(e.name) == toUpper(name); });
            if (entry == call.fields.end()) {
                problem = "KEYFIELD=" + name + " is neither a FIELD= column nor a field of the map";
                return false;
            }
            values.push_back(entry->value.empty() && !request.emptyText ? SqlValue() : SqlValue(entry->value));
        }
        columns.push_back(name);
    }
    return true;
}

void logLost(WriterCall& call, const std::vector<LostRow>& lost) {
    for (const LostRow& row : lost) {
        call.line(row.table + " Error Unable to Add Record Key=" + row.key);
        call.line("** Error: " + row.error);
    }
    call.session.addFailedWrites(static_cast<long long>(lost.size()));
}

// Connects (once per connection string) and opens the table on it. A
// connection that fails is reported here; false is a table that fails.
bool openTable(WriterCall& call, const TableRequest& request, const std::vector<std::string>& keyColumns,
               std::vector<LostRow>& lost, std::string& error) {
    const DbMapRow& row = *request.row;
    TableState& state = *request.state;
    std::string connectionString = connectionFor(request, call.settings.connectionForm, call.pathSeparator);
    bool fresh = false;
    SqlLink& link = call.session.link(connectionString, fresh);
    if (fresh) {
        // The SQLite driver waits for another writer as long as its own
        // timeout; the job waits as long as for a table file.
        if (isSqliteDriver(row.driver))
            connectionString += "Timeout=" + std::to_string(call.session.lockWaitMillis()) + ";";
        std::string why;
        if (isSqliteDriver(row.driver) && call.settings.connectionForm == 0 && !request.create &&
            !fileExists(row.dataSource))
            link.fail("SQLite database " + row.dataSource + " does not exist");
        else if (link.connect(connectionString, why))
            link.setNumber(call.session.nextConnectionNumber());
    }
    if (link.failed()) {
        call.line("Unable connect to server " + link.error());
        call.line(std::string("** Error: ") + (kGivenUp + 2));
        state.givenUp = true;
        call.session.addFailedWrites(1);
        return true;
    }
    call.line("Connection :" + rightAlign(link.number(), 10));
    SqlTableSpec spec;
    spec.table = row.tableName;
    spec.columns = request.fieldList;
    spec.keyColumns = keyColumns;
    for (const std::string& name : request.fieldList) spec.widths.push_back(mapWidth(call.fields, name));
    spec.create = request.create;
    spec.title = request.title();
    auto table = std::make_unique<SqlTable>(link);
    if (!table->open(spec, error, lost)) {
        error = "table " + row.tableName + ": " + error;
        return false;
    }
    state.sql = std::move(table);
    return true;
}

}  // namespace

void writeSqlTable(WriterCall& call, const TableRequest& request) {
    call.ctx.isoDateFormat = true;
    TableRecord record = buildTableRecord(call, request);
    TableState& state = *request.state;
    if (state.givenUp) {
        call.session.addFailedWrites(1);
        return;
    }
    const DbMapRow& row = *request.row;
    const std::string& key = record.key;
    call.line(request.title());
    auto fail = [&](const std::string& reason, bool forGood) {
        call.line("Error Unable to Add Record Key=" + key);
        call.line("** Error: " + reason + (forGood ? kGivenUp : ""));
        state.givenUp = state.givenUp || forGood;
        call.session.addFailedWrites(1);
    };

    // Values longer than the map's Field width are cut, with a note.
    std::vector<SqlValue> values;
    for (size_t i = 0; i < record.values.size(); ++i) {
        std::string value = record.values[i];
        if (record.sources[i] >= 0) {
            const FieldEntry& e = call.fields[static_cast<size_t>(record.sources[i])];
            long long width = leadingNumber(e.width);
            // A blank or zero width means no width was given.
            if (width > 0 && static_cast<long long>(value.size()) > width) {
                call.alert("** ALERT:(Truncated Data)- Field " + e.name);
                call.alert("** Field Width=" + e.width + " Data Width=" + std::to_string(value.size()));
                value.resize(static_cast<size_t>(width));
            }
        }
        values.push_back(value.empty() && !request.emptyText ? SqlValue() : SqlValue(value));
    }

    std::string problem = sqlNameProblem(row, request.fieldList);
    if (!problem.empty()) return fail(problem, true);
    std::vector<std::string> keyColumns;
    std::vector<SqlValue> keyValues;
    if (call.settings.lookup && !lookupKey(call, request, values, keyColumns, keyValues, problem))
        return fail(problem, true);

    std::vector<LostRow> lost;
    if (!state.sql) {
        std::string error;
        if (!openTable(call, request, keyColumns, lost, error)) {
            logLost(call, lost);
            return fail(error, true);
        }
        if (!state.sql) return;  // no connection: already reported
    }
    SqlTable& table = *state.sql;

    // Index kinds 2 and 3 belong to table files; an SQL table looks up as kind 0.
    if (call.settings.lookup) {
        bool found = false;
        std::string error;
        bool ok = table.lookup(keyValues, found, error, lost);
        int kind = call.settings.indexKind == 1 ? 1 : 0;
        call.line("xindex(" + std::to_string(kind) + ") Select Field=" + row.keyField + "  Data=" + key);
        if (!ok) fail(error, false);
        if (!ok || found) return logLost(call, lost);
    }
    // The row goes with its group; should the group fail, an Error line
    // for the key follows.
    call.line("Added Record Key=" + key + " Record Number " + std::to_string(table.rowCount() + 1));
    table.insert(SqlRow{std::move(values), std::move(keyValues), key}, lost);
    logLost(call, lost);
}

}  // namespace brolvin
