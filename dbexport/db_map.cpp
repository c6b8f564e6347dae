#include "dbexport/db_map.h"

#include <array>
#include <utility>

#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/text.h"

namespace brolvin {

namespace {

using Column = std::string DbMapRow::*;

// Keys in the order they are tested; DSN=/DIRECTORY= and SERVER=/DRIVE=
// share a column.
constexpr std::array<std::pair<std::string_view, Column>, 11> kColumnKeys{{
    {"TRANSACTIONTYPE=", &DbMapRow::transactionType},
    {"DRIVER=", &DbMapRow::driver},
    {"DSN=", &DbMapRow::dataSource},
    {"DIRECTORY=", &DbMapRow::dataSource},
    {"SERVER=", &DbMapRow::server},
    {"DRIVE=", &DbMapRow::server},
    {"USER=", &DbMapRow::user},
    {"PASSWORD=", &DbMapRow::password},
    {"FIELD=", &DbMapRow::fields},
    {"KEYFIELD=", &DbMapRow::keyField},
    {"OPTIONS=", &DbMapRow::options},
}};
constexpr std::string_view kTableKey = "TABLE=";

// The ended lines, each trimmed; text after the last line end is not a line.
std::vector<std::string> completeLines(const std::string& text) {
    std::vector<std::string> lines;
    forEachLine(text, [&](std::string_view line) { lines.push_back(trimLine(line)); });
    return lines;
}

void storeValue(DbMapRow& row, std::string_view line) {
    for (const auto& [key, column] : kColumnKeys) {
        if (!beginsWithNoCase(line, key)) continue;
        std::string_view value = line.substr(key.size());
        if (column == &DbMapRow::fields) {
            row.fields.append(value);
            row.fields.append(kCrLf);
        } else {
            row.*column = std::string(value);
        }
        return;
    }
}

}  // namespace

std::optional<DbMapTable> loadDatabaseMap(const std::string& fileName) {
    // A file beyond the map size limit is not read (the engine refuses the job).
    if (!fileExists(fileName) || fileSize(fileName) > kMaxMapFileBytes) return std::nullopt;
    std::string text;
    readWholeFile(fileName, text, true);

    DbMapTable table(1);
    bool tableSeen = false;
    for (const std::string& line : completeLines(text)) {
        if (beginsWithNoCase(line, kTableKey)) {
            if (tableSeen) table.emplace_back();
            tableSeen = true;
            table.back().tableName = line.substr(kTableKey.size());
            continue;
        }
        // Values belong to the current table; before the first TABLE= line,
        // or under a table without a name, they are dropped.
        if (!table.back().tableName.empty()) storeValue(table.back(), line);
    }
    return table;
}

std::vector<std::string> databaseFieldList(const DbMapTable& table, int row) {
    if (row < 1 || row > static_cast<int>(table.size())) return {""};
    const std::string& fields = table[static_cast<size_t>(row) - 1].fields;
    std::vector<std::string> names;
    std::string current;
    for (char c : fields) {
        if (c == '\n') continue;
        if (c == '\r') {
            names.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    // Every name is stored with its own line end, so text after the last CR
    // is a name only when it is not empty; a row without names still gives
    // one empty name, so the list always has a first position.
    if (!current.empty() || names.empty()) names.push_back(current);
    return names;
}

}  // namespace brolvin
