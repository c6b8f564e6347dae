// Helpers for the database export tests: field tables, map rows, and
// running an outside program to read back what was written.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dbexport/db_map.h"
#include "core/field_table.h"
#include "support/process.h"
#include "support/test_system.h"

namespace brolvin::test {

// The shared library of an ODBC driver installed by the distribution, or "".
inline std::string findDriver(const std::string& file) {
    namespace fs = std::filesystem;
    if (!linuxSystem()) return "";  // the drivers are Linux libraries
    for (const char* root : {"/usr/lib", "/usr/lib64", "/usr/local/lib"}) {
        std::error_code ec;
        if (fs::exists(fs::path(root) / "odbc" / file, ec)) return (fs::path(root) / "odbc" / file).string();
        for (const auto& d : fs::directory_iterator(root, ec)) {
            fs::path candidate = d.path() / "odbc" / file;
            if (fs::exists(candidate, ec)) return candidate.string();
        }
    }
    return "";
}

inline FieldEntry field(const std::string& name, const std::string& value, const std::string& level = "0",
                        const std::string& width = "", const std::string& serviceLine = "") {
    FieldEntry e;
    e.name = name;
    e.value = value;
    e.level = level;
    e.width = width;
    e.serviceLineNumber = serviceLine;
    e.occurrenceCount = 3;
    return e;
}

inline DbMapRow tableRow(const std::string& table, const std::string& driver, const std::string& dataSource,
                         const std::vector<std::string>& fields, const std::string& options,
                         const std::string& keyField = "") {
    DbMapRow row;
    row.tableName = table;
    row.driver = driver;
    row.dataSource = dataSource;
    for (const std::string& f : fields) row.fields += f + "\r\n";
    row.options = options;
    row.keyField = keyField;
    return row;
}

// Runs a shell command and returns its standard output; `status` gets the
// exit status (-1 when it could not run, as where there is no POSIX shell).
inline std::string runCommand(const std::string& command, int& status) {
    std::string out;
    status = runCommand({"/bin/sh", "-c", command}, &out);
    return status < 0 ? std::string() : out;
}

}  // namespace brolvin::test
