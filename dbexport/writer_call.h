// What the two storage paths of the table writer share for one writer call:
// the field table (read, not changed, until the last table is written), the
// running option settings, the job's export session and the log text; and
// the record as one map row sees it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dbexport/db_map.h"
#include "dbexport/export_session.h"
#include "dbexport/table_writer.h"
#include "core/field_table.h"
#include "util/platform.h"

namespace brolvin {

struct WriterCall {
    FieldTable& fields;
    const std::string& pathSeparator;
    bool mlFlag;
    long long serviceLine;
    std::optional<long long> serviceLineCount;
    RunContext& ctx;
    ExportSession& session;
    TableSettings settings;
    std::string log;

    void line(const std::string& text);
    // A line about a value that was cut or left blank: also a warning.
    void alert(const std::string& text);
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

// Copies the field table's Values into a record by field-list position; the
// record key is the KEYFIELD= value(s), else the first field's Value.
TableRecord buildTableRecord(WriterCall& call, const TableRequest& request);

// Positions in the field list of the KEYFIELD= names (compared without
// letter case); empty when KEYFIELD= is empty or names one not listed.
std::vector<size_t> keyPositions(const TableRequest& request);

// The Field width the map gives the field behind a field-list name (0 when
// none is known).
long long mapWidth(const FieldTable& fields, const std::string& name);

// The two halves of the field copier CTL48500F: copying Values into a record
// (`sources` gets the entry behind each position), and clearing Level-0
// Values after the last service line (or the record in plain mode) and
// every Occurrence Count.
void fillTableRecord(const FieldTable& fields, const std::vector<std::string>& fieldList, long long serviceLine,
                     std::vector<std::string>& record, std::vector<int>* sources);
void settleTableFields(FieldTable& fields, long long serviceLine, std::optional<long long> serviceLineCount);

// Name shown in a log line: control characters become "?".
std::string printableName(const std::string& name);

// Writes one record into a dBASE table file (table_file_path.cpp) or an SQL
// table (sql_path.cpp).
void writeTableFile(WriterCall& call, const TableRequest& request);
void writeSqlTable(WriterCall& call, const TableRequest& request);

}  // namespace brolvin
