// What the two storage paths of the table writer share for one writer call:
// the field table and its snapshot, the running option settings, the job's
// export session and the log text; and the record as one map row sees it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dbexport/db_map.h"
#include "dbexport/export_session.h"
#include "dbexport/table_writer.h"
#include "map/field_table.h"
#include "util/platform.h"

namespace brolvin {

struct WriterCall {
    FieldTable& fields;
    const FieldTable& snapshot;
    const std::string& pathSeparator;
    bool mlFlag;
    long long serviceLine;
    std::optional<long long> serviceLineCount;
    RunContext& ctx;
    ExportSession& session;
    TableSettings settings;
    std::string log;

    void line(const std::string& text);
};

// One map row during one writer call.
struct TableRequest {
    size_t n = 0;  // 1-based row number
    const DbMapRow* row = nullptr;
    std::vector<std::string> fieldList;
    bool create = false;     // OPTIONS word CREATE
    bool emptyText = false;  // OPTIONS word EMPTYTEXT: empty Values stay '' instead of NULL
    TableState* state = nullptr;

    // "Table n - name", with control characters of the name shown as "?".
    std::string title() const;
};

// The record for one table: one text per field-list position, and the
// field-table entry that filled each position (-1: none).
struct TableRecord {
    std::vector<std::string> values;
    std::vector<int> sources;
    std::string key;  // the record key for LOOKUP and the log
};

// Restores the field table from the snapshot and copies its Values into a
// record by field-list position (clearing Level-0 Values after the last
// service line); the record key is the KEYFIELD= value(s), else the first
// field's Value.
TableRecord buildTableRecord(WriterCall& call, const TableRequest& request);

// Positions in the field list of the KEYFIELD= names (compared without
// letter case); empty when KEYFIELD= is empty or names one not listed.
std::vector<size_t> keyPositions(const TableRequest& request);

// The Field width the map gives the field behind a field-list name (0 when
// none is known).
long long mapWidth(const FieldTable& snapshot, const std::string& name);

// Name shown in a log line: control characters become "?".
std::string printableName(const std::string& name);

// Writes one record into a dBASE table file (table_file_path.cpp) or an SQL
// table (sql_path.cpp).
void writeTableFile(WriterCall& call, const TableRequest& request);
void writeSqlTable(WriterCall& call, const TableRequest& request);

}  // namespace brolvin
