#include "dbexport/table_writer.h"

#include <algorithm>

#include "dbexport/cdx_index.h"
#include "dbexport/dbf_table.h"
#include "dbexport/index_key.h"
#include "dbexport/ntx_index.h"
#include "dbexport/sql_connection.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

const char* const kOptionTexts[] = {"", "ADD", "LOOKUP", "INDEX0", "INDEX1", "INDEXNTX", "INDEXCDX",
                                    "CONN0", "CONN1", "CONN2"};

bool levelIsZero(const FieldEntry& e) { return leadingNumber(e.level) == 0; }

void clearLevelZero(FieldTable& fields) {
    for (FieldEntry& e : fields) {
        if (levelIsZero(e)) e.value.clear();
        e.occurrenceCount = 0;
    }
}

// The record key is the first entry's Value as the writer received it: an
// earlier table may already have cleared the working copy.
std::string recordKeyOf(const FieldTable& snapshot) {
    return snapshot.empty() ? std::string() : snapshot.front().value;
}

// One writer call: the running settings and the log, shared by all rows.
struct WriterCall {
    FieldTable& fields;
    const FieldTable& snapshot;
    const std::string& pathSeparator;
    bool mlFlag;
    long long serviceLine;
    std::optional<long long> serviceLineCount;
    RunContext& ctx;
    TableSettings settings;
    bool add = false;  // the add decision; SQL rows with index kind 2 or 3 keep the previous one
    long long connections = 0;
    std::string log;

    bool plainMode() const { return !serviceLineCount.has_value(); }
    void line(const std::string& text) { log += text + kCrLf; }
};

std::string tableTitle(size_t n, const DbMapRow& row) { return "Table " + std::to_string(n) + " - " + row.tableName; }

// The index of a table file, opened by kind: NTX or CDX with every tag, each
// with its key expression parsed against the table's fields.
struct OpenIndex {
    NtxIndex ntx;
    CdxIndex cdx;
    bool isCdx = false;
    std::vector<IndexKeyExpression> expressions;  // NTX: one; CDX: one per tag

    bool open(const std::string& base, int kind, const DbfTable& table) {
        isCdx = kind == 3;
        if (isCdx) {
            if (!cdx.open(base + ".cdx", true)) return false;
            for (const CdxIndex::Tag& tag : cdx.tags()) {
                auto e = IndexKeyExpression::parse(tag.expression, table.fields());
                if (!e) return false;
                expressions.push_back(*e);
            }
            return true;
        }
        if (!ntx.open(base + ".ntx", true)) return false;
        auto e = IndexKeyExpression::parse(ntx.expression(), table.fields());
        if (!e) return false;
        expressions.push_back(*e);
        return true;
    }
    bool seek(const std::string& recordKey, bool& found) {
        bool exact = true;
        if (isCdx) {
            std::string text = expressions[0].seekText(recordKey, cdx.tags()[0].keyLength, exact);
            return cdx.seek(0, text, exact, found);
        }
        std::string text = expressions[0].seekText(recordKey, ntx.keyLength(), exact);
        return ntx.seek(text, exact, found);
    }
    bool insert(const std::vector<std::string>& stored, uint32_t recno) {
        if (!isCdx) return ntx.insert(expressions[0].keyOf(stored, ntx.keyLength()), recno);
        for (size_t t = 0; t < expressions.size(); ++t)
            if (!cdx.insert(t, expressions[t].keyOf(stored, cdx.tags()[t].keyLength), recno)) return false;
        return true;
    }
};

// Without an index the key is looked up by reading the key column: the map's
// key field when the table has it, otherwise the first field.
bool scanForKey(const DbfTable& table, const DbMapRow& row, const std::string& key, bool& found) {
    found = false;
    int column = row.keyField.empty() ? -1 : table.fieldIndex(row.keyField);
    if (column < 0) column = 0;
    std::string wanted = trimRightSpaces(DbfTable::formatValue(table.fields()[column], key));
    std::vector<std::string> values;
    if (!table.readColumn(column, values)) return false;
    found = std::any_of(values.begin(), values.end(),
                        [&](const std::string& v) { return trimRightSpaces(v) == wanted; });
    return true;
}

void writeTableFile(WriterCall& call, size_t n, const DbMapRow& row, const std::vector<std::string>& fieldList) {
    std::string base = row.server + row.dataSource + call.pathSeparator + row.tableName;
    std::string key = recordKeyOf(call.snapshot);
    DbfTable table;
    OpenIndex index;
    bool indexed = call.settings.indexKind >= 2;
    bool ok = table.open(base + ".dbf", true) && (!indexed || index.open(base, call.settings.indexKind, table));
    if (ok) {
        if (call.settings.lookup) {
            bool found = false;
            ok = indexed ? index.seek(key, found) : scanForKey(table, row, key, found);
            call.add = ok && !found;
        } else {
            call.add = true;
        }
    }
    if (ok && call.add) {
        std::vector<std::string> record(table.fields().size());
        CTL48500H(call.fields, call.snapshot);
        CTL48500F(call.fields, fieldList, call.mlFlag, call.serviceLine, call.serviceLineCount, record);
        uint32_t recno = table.appendRecord(record, call.ctx.platform.now());
        if (recno != 0 && indexed) {
            std::vector<std::string> stored;
            for (size_t i = 0; i < record.size(); ++i)
                stored.push_back(DbfTable::formatValue(table.fields()[i], record[i]));
            ok = index.insert(stored, recno);
        }
        if (recno != 0 && ok)
            call.line(tableTitle(n, row) + " Added Record Key=" + key + " Record Number " + std::to_string(recno));
        else
            ok = false;
    }
    // A table that is missing is skipped without a word; one that exists but
    // cannot be opened, searched or written is reported.
    if (!ok && fileExists(base + ".dbf")) call.line(tableTitle(n, row) + " Error Unable to Add Record Key=" + key);
    // In plain mode the record's own Values must not reach the next record.
    if (call.plainMode()) clearLevelZero(call.fields);
}

// Returns false when the connection fails; the caller then stops.
bool writeSqlTable(WriterCall& call, size_t n, const DbMapRow& row, const std::vector<std::string>& fieldList,
                   std::string& failure) {
    call.ctx.isoDateFormat = true;
    CTL48500H(call.fields, call.snapshot);
    std::string key = recordKeyOf(call.snapshot);
    call.line(tableTitle(n, row));

    std::vector<std::string> values;
    std::string markers = "(";
    for (const FieldEntry& e : call.fields) {
        if (e.name.empty()) continue;
        for (const std::string& name : fieldList) {
            if (name != e.name) continue;
            if (markers.size() > 1) markers += ",";
            markers += "?";
            long long width = leadingNumber(e.width);
            // A blank or zero width means no width was given; cutting to it
            // would store nothing.
            if (width > 0 && static_cast<long long>(e.value.size()) > width) {
                values.push_back(e.value.substr(0, static_cast<size_t>(width)));
                call.line("** ALERT:(Truncated Data)- Field " + e.name);
                call.line("** Field Width=" + e.width + " Data Width=" + std::to_string(e.value.size()));
            } else {
                values.push_back(e.value);
            }
        }
    }
    markers += ")";
    clearLevelZero(call.fields);

    SqlConnection connection;
    std::string error;
    if (!connection.connect(sqlConnectionString(row, call.settings.connectionForm, call.pathSeparator), error)) {
        failure = "Unable connect to server " + error + kCrLf;
        return false;
    }
    call.line("Connection :" + rightAlign(++call.connections, 10));

    bool ok = true;
    int kind = call.settings.indexKind;
    if (kind <= 1) {
        if (call.settings.lookup) {
            bool hasRow = false;
            ok = connection.queryHasRow("SELECT * FROM " + row.tableName + " WHERE " + row.keyField + "=?", {key},
                                        hasRow, error);
            call.line("xindex(" + std::to_string(kind) + ") Select Field=" + row.keyField + "  Data=" + key);
            call.add = ok && !hasRow;
        } else {
            call.add = true;
        }
    }
    if (ok && call.add) {
        ok = connection.execute("INSERT INTO " + row.tableName + " values " + markers, values, error);
        long long recno = 0;
        if (ok) connection.queryNumber("SELECT COUNT(*) FROM " + row.tableName, recno, error);
        if (ok) call.line("Added Record Key=" + key + " Record Number " + std::to_string(recno));
    }
    if (!ok) call.line("Error Unable to Add Record Key=" + key);
    connection.disconnect();
    return true;
}

}  // namespace

bool CTL48500D(const std::string& word, int option) {
    if (option < 1 || option > 9) return false;
    return beginsWith(toUpper(word), kOptionTexts[option]);
}

bool CTL48500C(const std::string& options, int option) {
    size_t start = 0;
    for (;;) {
        size_t comma = options.find(',', start);
        if (comma == std::string::npos) {
            std::string last = options.substr(start);
            return !last.empty() && CTL48500D(last, option);
        }
        if (CTL48500D(options.substr(start, comma - start), option)) return true;
        start = comma + 1;
    }
}

void applyTableOptions(const std::string& options, TableSettings& s) {
    if (CTL48500C(options, kOptAdd)) s.lookup = false;
    if (CTL48500C(options, kOptLookup)) s.lookup = true;
    if (CTL48500C(options, kOptIndex0)) s.indexKind = 0;
    if (CTL48500C(options, kOptIndex1)) s.indexKind = 1;
    if (CTL48500C(options, kOptIndexNtx)) s.indexKind = 2;
    if (CTL48500C(options, kOptIndexCdx)) s.indexKind = 3;
    if (CTL48500C(options, kOptConn0)) s.connectionForm = 0;
    if (CTL48500C(options, kOptConn1)) s.connectionForm = 1;
    if (CTL48500C(options, kOptConn2)) s.connectionForm = 2;
}

FieldTable CTL48500G(const FieldTable& fields, FieldTable empty) {
    empty.resize(fields.size());
    std::copy(fields.begin(), fields.end(), empty.begin());
    return empty;
}

void CTL48500H(FieldTable& fields, const FieldTable& snapshot) {
    size_t n = std::min(fields.size(), snapshot.size());
    std::copy(snapshot.begin(), snapshot.begin() + static_cast<long>(n), fields.begin());
}

void CTL48500F(FieldTable& fields, const std::vector<std::string>& fieldList, bool /*mlFlag*/, long long serviceLine,
               std::optional<long long> serviceLineCount, std::vector<std::string>& record) {
    auto store = [&](size_t position, const std::string& value) {
        if (position < record.size()) record[position] = value;
    };
    bool lastLine = serviceLineCount ? serviceLine == *serviceLineCount : true;
    long long highest = 0;
    for (FieldEntry& e : fields) {
        if (!e.name.empty()) {
            long long line = leadingNumber(e.serviceLineNumber);
            if (line > 0) {
                highest = std::max(highest, line);
                if (serviceLine == highest) {
                    // FIELD=SVCCHG1 addresses SVCCHG1, SVCCHG2, ... of lines 1, 2, ...
                    std::string number = std::to_string(highest);
                    for (size_t i = 0; i < fieldList.size(); ++i) {
                        const std::string& name = fieldList[i];
                        std::string numbered = name.substr(0, name.empty() ? 0 : name.size() - 1) + number;
                        if (beginsWith(numbered, e.name)) {
                            store(i, e.value);
                            break;
                        }
                    }
                }
            } else {
                for (size_t i = 0; i < fieldList.size(); ++i)
                    if (fieldList[i] == e.name) store(i, e.value);
            }
        }
        if (lastLine && levelIsZero(e)) e.value.clear();
        e.occurrenceCount = 0;
    }
}

std::string sqlConnectionString(const DbMapRow& row, int form, const std::string& pathSeparator) {
    switch (form) {
    case 1:
        return "driver={" + row.driver + "};DSN=" + row.dataSource + ";UID=" + row.user + ";pwd=" + row.password +
               ";";
    case 2:
        return "DBQ=" + row.server + row.dataSource + pathSeparator + row.tableName + ";Driver={" + row.driver + "}";
    default:
        return "Server=" + row.server + ";Driver={" + row.driver + "};dsn=;user=" + row.user +
               ";password=" + row.password + ";database=" + row.dataSource + ";";
    }
}

std::string CTL48500A(FieldTable& fields, const DbMapTable& map, const std::string& pathSeparator, bool mlFlag,
                      long long serviceLine, std::optional<long long> serviceLineCount, RunContext& ctx) {
    FieldTable snapshot = CTL48500G(fields, FieldTable(fields.size()));
    WriterCall call{fields, snapshot, pathSeparator, mlFlag, serviceLine, serviceLineCount, ctx, {}, false, 0, {}};
    call.line("- Database Parser : " + ctx.dateText() + " " + ctx.timeText());
    for (size_t n = 1; n <= map.size(); ++n) {
        const DbMapRow& row = map[n - 1];
        applyTableOptions(row.options, call.settings);
        std::vector<std::string> fieldList = CTL48500B(map, static_cast<int>(n));
        if (beginsWith(row.driver, "DBF")) {
            writeTableFile(call, n, row, fieldList);
        } else {
            std::string failure;
            if (!writeSqlTable(call, n, row, fieldList, failure)) return failure;
        }
    }
    return call.log;
}

}  // namespace brolvin
