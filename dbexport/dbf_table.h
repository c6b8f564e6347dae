// dBASE table files (.dbf): the header and field descriptors, reading
// records, appending a record, and creating an empty table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbexport/block_file.h"
#include "util/platform.h"

namespace brolvin {

struct DbfField {
    std::string name;     // upper case as stored, at most 10 characters
    char type = 'C';      // C, N, F, D, L, M ...
    int length = 0;
    int decimals = 0;
    int offset = 0;       // position inside the record (the deletion flag is byte 0)
};

class DbfTable {
public:
    // Opens an existing table for reading and appending; `exclusive` locks
    // it, waiting up to `lockWaitMillis` for another holder to let go.
    bool open(const std::string& path, bool exclusive, int lockWaitMillis = 0);
    // Whether the last open failed because the lock was held too long.
    bool lockTimedOut() const { return file_.lockTimedOut(); }
    void close() { file_.close(); }

    const std::vector<DbfField>& fields() const { return fields_; }
    // Index of the field called `name` (compared without letter case), or -1.
    int fieldIndex(const std::string& name) const;
    uint32_t recordCount() const { return recordCount_; }

    // The raw field texts of record `recno` (1-based), as stored.
    bool readRecord(uint32_t recno, std::vector<std::string>& values) const;
    // Every record's text of one field, read in large blocks.
    bool readColumn(int field, std::vector<std::string>& values) const;

    // Formats a text for a field: character fields left-aligned and cut,
    // numbers right-aligned with the field's decimals, dates yyyymmdd,
    // logical fields one letter; a text that does not suit the field gives
    // a blank field (storedFieldText tells why).
    static std::string formatValue(const DbfField& field, const std::string& text);

    // Appends a record built from `values` (one text per field, missing ones
    // blank), updates the record count and the date of last update; returns
    // the new record number, or 0 on failure.
    uint32_t appendRecord(const std::vector<std::string>& values, const DateTime& today);

private:
    bool writeHeaderCount(const DateTime& today);
    BlockFile file_;
    std::vector<DbfField> fields_;
    uint32_t recordCount_ = 0;
    uint32_t headerLength_ = 0;
    uint32_t recordLength_ = 0;
};

// Creates an empty table with the given fields (name, type, length,
// decimals); the offsets are computed here. False when a field is invalid or
// the file cannot be written.
bool createDbfTable(const std::string& path, const std::vector<DbfField>& fields, const DateTime& today);

}  // namespace brolvin
