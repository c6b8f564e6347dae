#include "dbexport/db_names.h"

#include "util/os.h"
#include "util/text.h"

namespace brolvin {

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool isPlainIdentifier(std::string_view name) {
    if (name.empty() || name.size() > 128 || !isLetter(name[0])) return false;
    for (char c : name)
        if (!isLetter(c) && !isDigit(c)) return false;
    return true;
}

bool isPlainTableName(std::string_view name) {
    size_t start = 0;
    for (;;) {
        size_t dot = name.find('.', start);
        if (!isPlainIdentifier(name.substr(start, dot == std::string_view::npos ? dot : dot - start))) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool isSafeTableFileName(std::string_view name) {
    if (name.empty() || name.find("..") != std::string_view::npos) return false;
    for (char c : name)
        if (isSeparator(c) || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

std::string joinPath(const std::string& folder, const std::string& name, const std::string& separator) {
    if (folder.empty()) return name;
    if (name.empty()) return folder;
    if (isSeparator(folder.back()) || isSeparator(name.front())) return folder + name;
    return folder + (separator.empty() ? os::kNativeSeparator : separator) + name;
}

std::string tableFileBase(const DbMapRow& row, const std::string& separator) {
    return joinPath(joinPath(row.server, row.dataSource, separator), row.tableName, separator);
}

std::vector<std::string> keyFieldNames(const std::string& keyField) {
    std::vector<std::string> names;
    if (isBlank(keyField)) return names;
    size_t start = 0;
    for (;;) {
        size_t plus = keyField.find('+', start);
        names.push_back(trimSpaces(keyField.substr(start, plus == std::string::npos ? plus : plus - start)));
        if (plus == std::string::npos) return names;
        start = plus + 1;
    }
}

std::string sqlNameProblem(const DbMapRow& row, const std::vector<std::string>& fieldList) {
    if (!isPlainTableName(row.tableName)) return "table name \"" + row.tableName + "\" is not a plain SQL name";
    if (fieldList.size() == 1 && fieldList[0].empty()) return "no FIELD= lines";
    for (const std::string& name : fieldList)
        if (!isPlainIdentifier(name)) return "FIELD=" + name + " is not a plain SQL name";
    for (const std::string& name : keyFieldNames(row.keyField))
        if (!isPlainIdentifier(name)) return "KEYFIELD=" + row.keyField + " is not a plain SQL name";
    return "";
}

std::string tableFileNameProblem(const DbMapRow& row) {
    if (!isSafeTableFileName(row.tableName))
        return "table name \"" + row.tableName + "\" is not a plain file name";
    for (const std::string& name : keyFieldNames(row.keyField))
        if (!isPlainIdentifier(name)) return "KEYFIELD=" + row.keyField + " is not a plain field name";
    return "";
}

}  // namespace brolvin
