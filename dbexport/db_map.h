// The database map: which tables receive parsed records and how they are reached.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brolvin {

struct DbMapRow {
    std::string tableName;        // 1 TABLE=
    std::string transactionType;  // 2 TRANSACTIONTYPE=
    std::string driver;           // 3 DRIVER=
    std::string dataSource;       // 4 DSN= or DIRECTORY=
    std::string server;           // 5 SERVER= or DRIVE=
    std::string user;             // 6 USER=
    std::string password;         // 7 PASSWORD=
    std::string fields;           // 8 FIELD= names, each followed by CR LF
    std::string keyField;         // 9 KEYFIELD=
    std::string options;          // 10 OPTIONS=
};

using DbMapTable = std::vector<DbMapRow>;

// CTLD48400AD: loads a database map file.
// Loads a database map file; no table when the file does not exist.
std::optional<DbMapTable> loadDatabaseMap(const std::string& fileName);
// CTL48500B: the field list of one database map row.
// The field list of row `row` (1-based).
std::vector<std::string> databaseFieldList(const DbMapTable& table, int row);

}  // namespace brolvin
