// Names that a database map puts into SQL text and file paths: checks that
// they are plain names, the table file's path, and the key field list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbexport/db_map.h"

namespace brolvin {

// A plain SQL identifier: a letter or "_", then letters, digits or "_"
// (at most 128 characters).
bool isPlainIdentifier(std::string_view name);
// An SQL table name: plain identifiers joined by single dots (schema.table).
bool isPlainTableName(std::string_view name);
// A dBASE table name: not empty, no path separator, no "..", no control
// character; it stays inside the table's folder.
bool isSafeTableFileName(std::string_view name);

// Joins two path parts with the separator ("/" when it is empty, "\\" on Windows), without
// doubling a separator that one of them already has.
std::string joinPath(const std::string& folder, const std::string& name, const std::string& separator);
// DRIVE, DIRECTORY and the table name joined: the table file without ".dbf".
std::string tableFileBase(const DbMapRow& row, const std::string& separator);

// The names of KEYFIELD=: one name, or several joined by "+", trimmed.
std::vector<std::string> keyFieldNames(const std::string& keyField);

// What is wrong with a map row's names for its storage path, or "" when
// nothing is.
std::string sqlNameProblem(const DbMapRow& row, const std::vector<std::string>& fieldList);
std::string tableFileNameProblem(const DbMapRow& row);

}  // namespace brolvin
