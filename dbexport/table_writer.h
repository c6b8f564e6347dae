// The database table writer: stores one parsed claim record (or one service
// line of it) as a row of every table of a database map, either into dBASE
// table files with NTX or CDX indexes or into SQL tables through ODBC.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dbexport/db_map.h"
#include "dbexport/export_session.h"
#include "core/field_table.h"
#include "util/platform.h"

namespace brolvin {

// Option numbers of the table option words.
enum TableOption {
    kOptAdd = 1,
    kOptLookup = 2,
    kOptIndex0 = 3,
    kOptIndex1 = 4,
    kOptIndexNtx = 5,
    kOptIndexCdx = 6,
    kOptConn0 = 7,
    kOptConn1 = 8,
    kOptConn2 = 9,
    kOptCreate = 10,     // create a missing table (and its index)
    kOptEmptyText = 11,  // SQL: bind empty Values as '' instead of NULL
};

// The settings a table's option words set. They carry over from one table
// to the next within one writer call.
struct TableSettings {
    bool lookup = false;     // false: ADD
    int indexKind = 0;       // 0, 1, 2 (NTX), 3 (CDX)
    int connectionForm = 0;  // 0, 1, 2
};

// CTL48500D: whether one option word is an option.
// Whether the upper-cased word begins with the text of the option number.
bool optionWordIs(const std::string& word, int option);
// CTL48500C: whether an option list holds an option.
// Whether some comma-separated word of `options` passes optionWordIs.
bool optionListHas(const std::string& options, int option);
// Applies a table's option words to the running settings.
void applyTableOptions(const std::string& options, TableSettings& settings);

// Snapshot of the field table (`empty` is a table of the same size).
FieldTable CTL48500G(const FieldTable& fields, FieldTable empty);
// Sets every attribute of every entry back from the snapshot.
void CTL48500H(FieldTable& fields, const FieldTable& snapshot);

// Copies Values into `record` (one text per table field, addressed by the
// position of the field-list name) and clears Level-0 Values after the last
// service line, or after the record in plain mode (no count). `sources`, when
// given, gets for each position the field-table entry stored there (-1: none).
void CTL48500F(FieldTable& fields, const std::vector<std::string>& fieldList, bool mlFlag, long long serviceLine,
               std::optional<long long> serviceLineCount, std::vector<std::string>& record,
               std::vector<int>* sources = nullptr);


// The ODBC connection string of form 0, 1 or 2 for a row. Form 0 takes
// SERVER= as host or host:port.
std::string sqlConnectionString(const DbMapRow& row, int form, const std::string& pathSeparator);

// CTL48500A: writes one record into every table of a database map.
// Writes the record into every table of the map and returns the log text.
// The session keeps connections, open transactions and failures across the
// records of a job; without one, the call uses its own and finishes it.
std::string writeRecordToTables(FieldTable& fields, const DbMapTable& map, const std::string& pathSeparator, bool mlFlag,
                                long long serviceLine, std::optional<long long> serviceLineCount, RunContext& ctx,
                                ExportSession& session);
std::string writeRecordToTables(FieldTable& fields, const DbMapTable& map, const std::string& pathSeparator, bool mlFlag,
                                long long serviceLine, std::optional<long long> serviceLineCount, RunContext& ctx);

}  // namespace brolvin
