// Fuzz entries of the dBASE table and index readers: the input is the file
// image; whatever opens is read every way the table writer reads it, then
// written to and read again.
#include <string>
#include <vector>

#include "dbexport/cdx_index.h"
#include "dbexport/dbf_table.h"
#include "dbexport/index_key.h"
#include "dbexport/ntx_index.h"
#include "fuzz/fuzz_entries.h"
#include "util/file_io.h"

namespace brolvin::fuzz {

namespace {

// The keys the index targets look up: below, inside and above the usual keys.
const std::vector<std::string> kSoughtKeys = {"", " ", "A", "C1", "K5", "ZZZZ", std::string(300, 'x'),
                                              std::string("\0\xff", 2)};

// The keys they insert: the sought ones, then enough in scattered order to
// split pages of the usual key lengths.
std::vector<std::string> insertedKeys() {
    std::vector<std::string> keys = kSoughtKeys;
    for (int i = 0; i < 60; ++i) keys.push_back("K" + std::to_string(i * 7919 % 1000));
    return keys;
}

void putImage(const char* name, const uint8_t* data, size_t size) {
    writeWholeFile(name, std::string(reinterpret_cast<const char*>(data), size));
}

}  // namespace

int dbfTable(const uint8_t* data, size_t size) {
    putImage("t.dbf", data, size);
    DbfTable table;
    if (!table.open("t.dbf", true)) return 0;
    std::vector<std::string> values;
    for (int i = -1; i <= static_cast<int>(table.fields().size()); ++i) table.readColumn(i, values);
    const uint32_t count = table.recordCount();
    for (uint32_t recno : {0u, 1u, count / 2, count, count + 1}) table.readRecord(recno, values);
    std::vector<std::string> expressions;
    for (const DbfField& f : table.fields()) {
        table.fieldIndex(f.name);
        expressions.push_back("UPPER(ALLTRIM(" + f.name + "))+" + f.name);
        expressions.push_back("STR(" + f.name + ",10,2)+DTOS(" + f.name + ")");
    }
    std::string problem, key;
    for (const std::string& e : expressions)
        for (IndexFormat format : {IndexFormat::Ntx, IndexFormat::Cdx})
            if (auto parsed = IndexKeyExpression::parse(e, table.fields(), format, problem)) {
                table.readRecord(1, values);
                parsed->keyOf(values, 20, key, problem);
            }
    std::vector<std::string> record;
    for (const DbfField& f : table.fields()) record.push_back(f.name + "1234567890");
    if (table.appendRecord(record, {2026, 1, 15, 9, 30, 0}) > 0) table.readRecord(table.recordCount(), values);
    return 0;
}

int ntxIndex(const uint8_t* data, size_t size) {
    putImage("i.ntx", data, size);
    NtxIndex index;
    if (!index.open("i.ntx", true)) return 0;
    std::vector<IndexEntry> entries;
    index.allEntries(entries);
    bool found = false;
    for (const std::string& key : kSoughtKeys) {
        index.seek(key, true, found);
        index.seek(key, false, found);
    }
    uint32_t recno = 1;
    for (const std::string& key : insertedKeys())
        if (!index.insert(key, recno++)) break;
    index.allEntries(entries);
    return 0;
}

int cdxIndex(const uint8_t* data, size_t size) {
    putImage("i.cdx", data, size);
    CdxIndex index;
    if (!index.open("i.cdx", true)) return 0;
    std::vector<IndexEntry> entries;
    bool found = false;
    for (size_t tag = 0; tag < index.tags().size() && tag < 4; ++tag) {
        index.allEntries(tag, entries);
        index.leafChainEntries(tag, entries);
        for (const std::string& key : kSoughtKeys) {
            index.seek(tag, key, true, found);
            index.seek(tag, key, false, found);
        }
        uint32_t recno = 1;
        for (const std::string& key : insertedKeys())
            if (!index.insert(tag, key, recno++)) break;
        index.allEntries(tag, entries);
        index.leafChainEntries(tag, entries);
    }
    return 0;
}

}  // namespace brolvin::fuzz
