// The table writer's dBASE path: table files with an optional NTX or CDX
// index, opened for each record under an exclusive lock.
#include <algorithm>
#include <cctype>

#include "dbexport/cdx_index.h"
#include "dbexport/db_names.h"
#include "dbexport/dbf_table.h"
#include "dbexport/dbf_values.h"
#include "dbexport/index_key.h"
#include "dbexport/ntx_index.h"
#include "dbexport/writer_call.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

constexpr int kMaxCharacterWidth = 254;
constexpr size_t kMaxNtxKey = 250;
constexpr size_t kMaxCdxKey = 240;

// Upper case without spaces, every name cut to the 10 characters of a
// dBASE field name: KEYFIELD= and a tag's expression compare in this form.
std::string keyForm(const std::string& text) {
    std::string out;
    size_t run = 0;
    for (char c : toUpper(text)) {
        if (c == ' ' || c == '\t') continue;
        bool word = std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        run = word ? run + 1 : 0;
        if (!word || run <= 10) out += c;
    }
    return out;
}

std::string dbfFieldName(const std::string& name) { return toUpper(name.substr(0, 10)); }

// The index of a table file: NTX or CDX with every tag, each with its key
// expression parsed against the table's fields.
struct OpenIndex {
    NtxIndex ntx;
    CdxIndex cdx;
    bool isCdx = false;
    std::string path;
    std::vector<IndexKeyExpression> expressions;  // NTX: one; CDX: one per tag

    size_t count() const { return expressions.size(); }
    size_t keyLength(size_t t) const { return isCdx ? cdx.tags()[t].keyLength : ntx.keyLength(); }
    std::string expression(size_t t) const { return isCdx ? cdx.tags()[t].expression : ntx.expression(); }
    bool lockTimedOut() const { return isCdx ? cdx.lockTimedOut() : ntx.lockTimedOut(); }

    bool open(const std::string& indexPath, bool cdxFormat, const DbfTable& table, int lockWait,
              std::string& problem) {
        isCdx = cdxFormat;
        path = indexPath;
        bool opened = isCdx ? cdx.open(path, true, lockWait) : ntx.open(path, true, lockWait);
        if (!opened) {
            problem = lockTimedOut() ? "index file " + path + " is locked by another program"
                                     : "index file " + path + " cannot be read as " + (isCdx ? "a CDX" : "an NTX") +
                                           " index";
            return false;
        }
        size_t tags = isCdx ? cdx.tags().size() : 1;
        for (size_t t = 0; t < tags; ++t) {
            std::string why;
            auto e = IndexKeyExpression::parse(expression(t), table.fields(),
                                               isCdx ? IndexFormat::Cdx : IndexFormat::Ntx, why);
            if (!e) {
                problem = "index expression \"" + expression(t) + "\" of " + path + " is refused: " + why;
                return false;
            }
            if (isCdx) cdx.setBinaryKeys(t, e->binary());
            expressions.push_back(*e);
        }
        return true;
    }
    // The tag LOOKUP seeks: named by KEYFIELD= (or with KEYFIELD= as its
    // expression); without KEYFIELD= the only tag.
    bool lookupTag(const std::string& keyField, size_t& tag, std::string& problem) const {
        tag = 0;
        if (!isCdx) return true;
        const auto& tags = cdx.tags();
        if (isBlank(keyField) && tags.size() == 1) return true;
        for (size_t t = 0; t < tags.size(); ++t)
            if (toUpper(tags[t].name) == toUpper(trimSpaces(keyField))) return tag = t, true;
        for (size_t t = 0; t < tags.size(); ++t)
            if (keyForm(tags[t].expression) == keyForm(keyField)) return tag = t, true;
        std::string names;
        for (const auto& t : tags) names += (names.empty() ? "" : ", ") + t.name;
        problem = (isBlank(keyField) ? std::string("LOOKUP needs KEYFIELD= to name one of the tags")
                                     : "KEYFIELD=" + keyField + " names no tag") +
                  " of " + path + " (tags: " + names + ")";
        return false;
    }
    bool keys(const std::vector<std::string>& stored, std::vector<std::string>& out, std::string& problem) const {
        out.assign(count(), std::string());
        for (size_t t = 0; t < count(); ++t)
            if (!expressions[t].keyOf(stored, keyLength(t), out[t], problem)) return false;
        return true;
    }
    bool seek(size_t tag, const std::string& key, bool& found) {
        return isCdx ? cdx.seek(tag, key, true, found) : ntx.seek(key, true, found);
    }
    bool insert(const std::vector<std::string>& keys, uint32_t recno) {
        if (!isCdx) return ntx.insert(keys[0], recno);
        for (size_t t = 0; t < keys.size(); ++t)
            if (!cdx.insert(t, keys[t], recno)) return false;
        return true;
    }
};

// The table field each KEYFIELD= name stands for: the field at the name's
// position in the field list, else the field of that name; without
// KEYFIELD= the first field.
bool keyColumns(const TableRequest& request, const DbfTable& table, std::vector<int>& columns, std::string& problem) {
    columns.clear();
    std::vector<std::string> names = keyFieldNames(request.row->keyField);
    if (names.empty()) {
        columns.push_back(0);
        return true;
    }
    std::vector<size_t> positions = keyPositions(request);
    for (size_t i = 0; i < names.size(); ++i) {
        int column = !positions.empty() && positions[i] < table.fields().size() ? static_cast<int>(positions[i])
                                                                                 : table.fieldIndex(dbfFieldName(names[i]));
        if (column < 0) {
            problem = "KEYFIELD=" + names[i] + " is not a field of the table";
            return false;
        }
        columns.push_back(column);
    }
    return true;
}

// Without an index, LOOKUP reads the key columns of every record.
bool scanForKey(const DbfTable& table, const std::vector<int>& columns, const std::vector<std::string>& stored,
                bool& found) {
    found = false;
    std::vector<std::vector<std::string>> read(columns.size());
    for (size_t k = 0; k < columns.size(); ++k)
        if (!table.readColumn(columns[k], read[k])) return false;
    for (size_t r = 0; r < table.recordCount() && !found; ++r) {
        found = true;
        for (size_t k = 0; k < columns.size() && found; ++k)
            found = r < read[k].size() &&
                    trimRightSpaces(read[k][r]) == trimRightSpaces(stored[static_cast<size_t>(columns[k])]);
    }
    return true;
}

// CREATE: a table of character fields named after the FIELD= lines (cut to
// the 10 characters a dBASE field name has), as wide as the map's fields.
bool createTableFile(const WriterCall& call, const TableRequest& request, const std::string& path,
                     std::string& problem) {
    std::vector<DbfField> fields;
    if (request.fieldList.size() == 1 && request.fieldList[0].empty()) {
        problem = "no FIELD= lines to create " + path + " from";
        return false;
    }
    for (const std::string& name : request.fieldList) {
        DbfField f;
        f.name = dbfFieldName(name);
        long long width = mapWidth(call.fields, name);
        f.length = static_cast<int>(width > 0 ? std::min<long long>(width, kMaxCharacterWidth) : kMaxCharacterWidth);
        bool clash = std::any_of(fields.begin(), fields.end(), [&](const DbfField& g) { return g.name == f.name; });
        if (!isPlainIdentifier(f.name) || clash) {
            problem = "FIELD=" + name + (clash ? " gives a field name that another FIELD= line has already ("
                                               : " is not a plain field name (") +
                      f.name + ")";
            return false;
        }
        fields.push_back(f);
    }
    if (!createDbfTable(path, fields, call.ctx.platform.now())) {
        problem = "cannot create " + path;
        return false;
    }
    return true;
}

// CREATE: an index on the KEYFIELD= fields (or the first field), holding the
// keys of the records already in the table.
bool createIndexFile(const TableRequest& request, const DbfTable& table, const std::string& path, bool cdxFormat,
                     std::string& problem) {
    std::vector<int> columns;
    if (!keyColumns(request, table, columns, problem)) return false;
    std::string expression;
    for (int c : columns) {
        const DbfField& f = table.fields()[static_cast<size_t>(c)];
        std::string term = f.name;
        if (columns.size() > 1 && (f.type == 'N' || f.type == 'F'))
            term = "STR(" + f.name + "," + std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
        else if (columns.size() > 1 && f.type == 'D')
            term = "DTOS(" + f.name + ")";
        expression += (expression.empty() ? "" : "+") + term;
    }
    std::string why;
    auto parsed = IndexKeyExpression::parse(expression, table.fields(), cdxFormat ? IndexFormat::Cdx : IndexFormat::Ntx,
                                            why);
    size_t limit = cdxFormat ? kMaxCdxKey : kMaxNtxKey;
    if (!parsed || parsed->width() < 1 || static_cast<size_t>(parsed->width()) > limit) {
        problem = "cannot index " + expression + (parsed ? ": the key is longer than " + std::to_string(limit) : ": " + why);
        return false;
    }
    size_t width = static_cast<size_t>(parsed->width());
    std::string tag = table.fields()[static_cast<size_t>(columns[0])].name;
    bool made = cdxFormat ? createCdxIndex(path, tag, expression, width) : createNtxIndex(path, expression, width);
    if (!made) {
        problem = "cannot create " + path;
        return false;
    }
    if (table.recordCount() == 0) return true;
    NtxIndex ntx;
    CdxIndex cdx;
    if (cdxFormat ? !cdx.open(path, true) : !ntx.open(path, true)) {
        problem = "cannot open the new index " + path;
        return false;
    }
    if (cdxFormat) cdx.setBinaryKeys(0, parsed->binary());
    std::vector<std::string> stored;
    for (uint32_t r = 1; r <= table.recordCount(); ++r) {
        std::string key;
        bool ok = table.readRecord(r, stored) && parsed->keyOf(stored, width, key, problem) &&
                  (cdxFormat ? cdx.insert(0, key, r) : ntx.insert(key, r));
        if (!ok) {
            problem = "cannot index record " + std::to_string(r) + " of the table" + (problem.empty() ? "" : ": " + problem);
            return false;
        }
    }
    return true;
}

}  // namespace

void writeTableFile(WriterCall& call, const TableRequest& request) {
    TableRecord record = buildTableRecord(call, request);
    TableState& state = *request.state;
    if (state.givenUp) {
        call.session.addFailedWrites(1);
        return;
    }
    const std::string title = request.title();
    const std::string& key = record.key;
    auto fail = [&](const std::string& reason, bool forGood) {
        call.line(title + " Error Unable to Add Record Key=" + key);
        call.line("** Error: " + reason + (forGood ? "; no further records are written to this table" : ""));
        state.givenUp = state.givenUp || forGood;
        call.session.addFailedWrites(1);
    };

    std::string problem = tableFileNameProblem(*request.row);
    if (!problem.empty()) return fail(problem, true);
    const std::string base = tableFileBase(*request.row, call.pathSeparator);
    const std::string tablePath = base + ".dbf";
    const int kind = call.settings.indexKind;
    const bool indexed = kind >= 2;
    const int wait = call.session.lockWaitMillis();

    if (!fileExists(tablePath)) {
        if (!request.create) return fail("table file " + tablePath + " does not exist", true);
        if (!createTableFile(call, request, tablePath, problem)) return fail(problem, true);
    }
    DbfTable table;
    if (!table.open(tablePath, true, wait))
        return fail(table.lockTimedOut() ? "table file " + tablePath + " is locked by another program (waited " +
                                               (wait < 1000 ? std::to_string(wait) + " ms)"
                                                            : std::to_string(wait / 1000) + " s)")
                                         : "table file " + tablePath + " cannot be read as a dBASE table",
                    true);
    OpenIndex index;
    const std::string indexPath = base + (kind == 3 ? ".cdx" : ".ntx");
    if (indexed && !fileExists(indexPath)) {
        if (!request.create) return fail("index file " + indexPath + " does not exist", true);
        if (!createIndexFile(request, table, indexPath, kind == 3, problem)) return fail(problem, true);
    }
    size_t tag = 0;
    std::vector<int> columns;
    if (indexed && !index.open(indexPath, kind == 3, table, wait, problem)) return fail(problem, true);
    if (call.settings.lookup && (indexed ? !index.lookupTag(request.row->keyField, tag, problem)
                                         : !keyColumns(request, table, columns, problem)))
        return fail(problem, true);

    // The texts the record's fields will hold; a Value a field cannot hold
    // leaves it blank.
    const std::vector<DbfField>& fields = table.fields();
    std::vector<std::string> stored(fields.size());
    std::vector<std::string> alerts;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string value = i < record.values.size() ? record.values[i] : std::string();
        bool truncated = false;
        stored[i] = storedFieldText(fields[i], value, problem, truncated);
        if (!problem.empty())
            alerts.push_back("** ALERT:(Invalid Data)- Field " + fields[i].name + " Value=" + value + " Key=" + key +
                             " left blank: " + problem);
        if (truncated) {
            alerts.push_back("** ALERT:(Truncated Data)- Field " + fields[i].name);
            alerts.push_back("** Field Width=" + std::to_string(fields[i].length) +
                             " Data Width=" + std::to_string(value.size()));
        }
    }
    std::vector<std::string> keys;
    if (indexed && !index.keys(stored, keys, problem)) return fail(problem, false);

    bool found = false;
    bool searched = !call.settings.lookup ||
                    (indexed ? index.seek(tag, keys[tag], found) : scanForKey(table, columns, stored, found));
    if (!searched) return fail("cannot search " + (indexed ? index.path : tablePath) + " for the key", true);
    if (found) return;

    uint32_t recno = table.appendRecord(stored, call.ctx.platform.now());
    if (recno == 0) return fail("cannot append to " + tablePath, false);
    for (const std::string& a : alerts) call.alert(a);
    if (indexed && !index.insert(keys, recno))
        return fail("record " + std::to_string(recno) + " was added but " + index.path +
                        " could not take its key; rebuild the index",
                    true);
    call.line(title + " Added Record Key=" + key + " Record Number " + std::to_string(recno));
}

}  // namespace brolvin
