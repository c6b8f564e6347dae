#include "dbexport/table_writer.h"

#include <algorithm>

#include "dbexport/db_names.h"
#include "dbexport/writer_call.h"
#include "util/text.h"

namespace brolvin {

namespace {

const char* const kOptionTexts[] = {"",       "ADD",   "LOOKUP", "INDEX0", "INDEX1",    "INDEXNTX",
                                    "INDEXCDX", "CONN0", "CONN1", "CONN2",  "CREATE", "EMPTYTEXT"};
constexpr int kLastOption = kOptEmptyText;

bool levelIsZero(const FieldEntry& e) { return leadingNumber(e.level) == 0; }

// A connection-string value: in braces when it holds ";", braces or
// surrounding spaces, so that it cannot add attributes of its own.
std::string attributeValue(const std::string& value) {
    bool plain = value.find_first_of(";{}") == std::string::npos &&
                 (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) return value;
    std::string quoted = "{";
    for (char c : value) quoted += c == '}' ? std::string("}}") : std::string(1, c);
    return quoted + "}";
}

std::string driverValue(const std::string& driver) {
    std::string quoted;
    for (char c : driver) quoted += c == '}' ? std::string("}}") : std::string(1, c);
    return "{" + quoted + "}";
}

// SERVER= as "host" or "host:port" ("[::1]:5432" for an IPv6 address).
void splitServer(const std::string& server, std::string& host, std::string& port) {
    host = server;
    port.clear();
    size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon + 1 == server.size()) return;
    std::string digits = server.substr(colon + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return;
    std::string left = server.substr(0, colon);
    if (left.size() >= 2 && left.front() == '[' && left.back() == ']') left = left.substr(1, left.size() - 2);
    else if (left.find(':') != std::string::npos) return;
    host = left;
    port = digits;
}

}  // namespace

void WriterCall::line(const std::string& text) { log += text + kCrLf; }

void WriterCall::alert(const std::string& text) {
    line(text);
    ctx.platform.warningLine(text);
}

std::string printableName(const std::string& name) {
    std::string shown = name;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

std::string TableRequest::title() const { return "Table " + std::to_string(n) + " - " + printableName(row->tableName); }

std::vector<size_t> keyPositions(const TableRequest& request) {
    std::vector<size_t> positions;
    for (const std::string& name : keyFieldNames(request.row->keyField)) {
        size_t i = 0;
        while (i < request.fieldList.size() && toUpper(request.fieldList[i]) != toUpper(name)) ++i;
        if (i == request.fieldList.size()) return {};
        positions.push_back(i);
    }
    return positions;
}

long long mapWidth(const FieldTable& fields, const std::string& name) {
    for (const FieldEntry& e : fields)
        if (e.name == name) return leadingNumber(e.width);
    for (const FieldEntry& e : fields)
        if (!e.name.empty() && toUpper(e.name) == toUpper(name)) return leadingNumber(e.width);
    return 0;
}

TableRecord buildTableRecord(WriterCall& call, const TableRequest& request) {
    TableRecord record;
    record.values.assign(request.fieldList.size(), std::string());
    fillTableRecord(call.fields, request.fieldList, call.serviceLine, record.values, &record.sources);
    std::vector<size_t> positions = keyPositions(request);
    if (!positions.empty()) {
        for (size_t i = 0; i < positions.size(); ++i) record.key += (i ? "+" : "") + record.values[positions[i]];
        return record;
    }
    // A KEYFIELD= that is not a column of the list may still name a map field.
    std::vector<std::string> names = keyFieldNames(request.row->keyField);
    if (names.size() == 1)
        for (const FieldEntry& e : call.fields)
            if (!e.name.empty() && toUpper(e.name) == toUpper(names[0])) {
                record.key = e.value;
                return record;
            }
    if (!call.fields.empty()) record.key = call.fields.front().value;
    return record;
}

bool optionWordIs(const std::string& word, int option) {
    if (option < 1 || option > kLastOption) return false;
    return beginsWith(toUpper(word), kOptionTexts[option]);
}

bool optionListHas(const std::string& options, int option) {
    size_t start = 0;
    for (;;) {
        size_t comma = options.find(',', start);
        if (comma == std::string::npos) {
            std::string last = options.substr(start);
            return !last.empty() && optionWordIs(last, option);
        }
        if (optionWordIs(options.substr(start, comma - start), option)) return true;
        start = comma + 1;
    }
}

void applyTableOptions(const std::string& options, TableSettings& s) {
    if (optionListHas(options, kOptAdd)) s.lookup = false;
    if (optionListHas(options, kOptLookup)) s.lookup = true;
    if (optionListHas(options, kOptIndex0)) s.indexKind = 0;
    if (optionListHas(options, kOptIndex1)) s.indexKind = 1;
    if (optionListHas(options, kOptIndexNtx)) s.indexKind = 2;
    if (optionListHas(options, kOptIndexCdx)) s.indexKind = 3;
    if (optionListHas(options, kOptConn0)) s.connectionForm = 0;
    if (optionListHas(options, kOptConn1)) s.connectionForm = 1;
    if (optionListHas(options, kOptConn2)) s.connectionForm = 2;
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

void fillTableRecord(const FieldTable& fields, const std::vector<std::string>& fieldList, long long serviceLine,
                     std::vector<std::string>& record, std::vector<int>* sources) {
    if (sources) sources->assign(record.size(), -1);
    int entry = -1;
    auto store = [&](size_t position, const std::string& value) {
        if (position >= record.size()) return;
        record[position] = value;
        if (sources) (*sources)[position] = entry;
    };
    long long highest = 0;
    for (const FieldEntry& e : fields) {
        ++entry;
        if (e.name.empty()) continue;
        long long line = leadingNumber(e.serviceLineNumber);
        if (line > 0) {
            highest = std::max(highest, line);
            if (serviceLine != highest) continue;
            // FIELD=SVCCHG1 addresses SVCCHG1, SVCCHG2, ... of lines 1, 2, ...:
            // the name with its last character replaced by the line number
            // must begin with the Field Name.
            std::string number = std::to_string(highest);
            for (size_t i = 0; i < fieldList.size(); ++i) {
                std::string_view stem = fieldList[i];
                if (!stem.empty()) stem.remove_suffix(1);
                std::string_view wanted = e.name;
                bool matches = wanted.size() <= stem.size()
                                   ? beginsWith(stem, wanted)
                                   : beginsWith(wanted, stem) && beginsWith(number, wanted.substr(stem.size()));
                if (matches) {
                    store(i, e.value);
                    break;
                }
            }
        } else {
            for (size_t i = 0; i < fieldList.size(); ++i)
                if (fieldList[i] == e.name) store(i, e.value);
        }
    }
}

void settleTableFields(FieldTable& fields, long long serviceLine, std::optional<long long> serviceLineCount) {
    bool lastLine = serviceLineCount ? serviceLine == *serviceLineCount : true;
    for (FieldEntry& e : fields) {
        if (lastLine && levelIsZero(e)) e.value.clear();
        e.occurrenceCount = 0;
    }
}

void CTL48500F(FieldTable& fields, const std::vector<std::string>& fieldList, bool /*mlFlag*/, long long serviceLine,
               std::optional<long long> serviceLineCount, std::vector<std::string>& record, std::vector<int>* sources) {
    fillTableRecord(fields, fieldList, serviceLine, record, sources);
    settleTableFields(fields, serviceLine, serviceLineCount);
}

std::string sqlConnectionString(const DbMapRow& row, int form, const std::string& pathSeparator) {
    switch (form) {
    case 1:
        return "driver=" + driverValue(row.driver) + ";DSN=" + attributeValue(row.dataSource) +
               ";UID=" + attributeValue(row.user) + ";pwd=" + attributeValue(row.password) + ";";
    case 2:
        return "DBQ=" + attributeValue(tableFileBase(row, pathSeparator)) + ";Driver=" + driverValue(row.driver);
    default: {
        // The attribute names psqlODBC, SQLite and most drivers know.
        std::string host, port;
        splitServer(row.server, host, port);
        std::string text = "Driver=" + driverValue(row.driver) + ";";
        if (!host.empty()) text += "Server=" + attributeValue(host) + ";";
        if (!port.empty()) text += "Port=" + port + ";";
        text += "Database=" + attributeValue(row.dataSource) + ";";
        if (!row.user.empty()) text += "UID=" + attributeValue(row.user) + ";";
        if (!row.password.empty()) text += "PWD=" + attributeValue(row.password) + ";";
        return text;
    }
    }
}

std::string writeRecordToTables(FieldTable& fields, const DbMapTable& map, const std::string& pathSeparator, bool mlFlag,
                                long long serviceLine, std::optional<long long> serviceLineCount, RunContext& ctx,
                                ExportSession& session) {
    // Every table reads the record from the field table as the writer got
    // it; the Values are cleared once, after the last table.
    WriterCall call{fields, pathSeparator, mlFlag, serviceLine, serviceLineCount, ctx, session, {}, {}};
    call.line("- Database Parser : " + ctx.dateText() + " " + ctx.timeText());
    for (size_t n = 1; n <= map.size(); ++n) {
        const DbMapRow& row = map[n - 1];
        applyTableOptions(row.options, call.settings);
        TableRequest request;
        request.n = n;
        request.row = &row;
        request.fieldList = databaseFieldList(map, static_cast<int>(n));
        request.create = optionListHas(row.options, kOptCreate);
        request.emptyText = optionListHas(row.options, kOptEmptyText);
        request.state = &session.table(n);
        if (beginsWith(row.driver, "DBF"))
            writeTableFile(call, request);
        else
            writeSqlTable(call, request);
    }
    // Level-0 Values cleared after the last line, counts reset, whichever
    // tables were written.
    settleTableFields(fields, serviceLine, serviceLineCount);
    return call.log;
}

std::string writeRecordToTables(FieldTable& fields, const DbMapTable& map, const std::string& pathSeparator, bool mlFlag,
                                long long serviceLine, std::optional<long long> serviceLineCount, RunContext& ctx) {
    ExportSession session;
    std::string log = writeRecordToTables(fields, map, pathSeparator, mlFlag, serviceLine, serviceLineCount, ctx, session);
    return log + session.finish();
}

}  // namespace brolvin
