// SQL tables written by one job. Tables reached through the same connection
// string share one connection (SQLite lets one connection write at a time).
// A table collects its rows and sends them in groups (one round trip to a
// server for each group); the rows sent go in transactions of many rows. A
// group or row that fails rolls the transaction back: its other rows are
// sent again one by one and committed, so a failure costs each row at most
// one more send.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbexport/sql_connection.h"

namespace brolvin {

class SqlTable;

// A row that was not stored, with the driver's reason.
struct LostRow {
    std::string table;  // the table's title in the log
    std::string key;
    std::string error;
};

// A row on its way: its values, its look-up key values and its record key.
struct SqlRow {
    std::vector<SqlValue> values;
    std::vector<SqlValue> keyValues;
    std::string key;
};

// One connection and its open transaction.
class SqlLink {
public:
    // A transaction ends after `batchRows` rows or `batchBytes` bytes of
    // values, whichever comes first: few commits, bounded memory.
    explicit SqlLink(size_t batchRows = 50000, size_t batchBytes = size_t{16} << 20)
        : batchRows_(batchRows), batchBytes_(batchBytes) {}
    // Connects once; a failed connection stays failed, with its error.
    bool connect(const std::string& connectionString, std::string& error);
    void fail(const std::string& error) { failed_ = true, error_ = error; }
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }
    bool connected() const { return connection_.connected(); }
    long long number() const { return number_; }
    void setNumber(long long number) { number_ = number; }
    SqlConnection& connection() { return connection_; }

    // Sends every table's collected rows and commits.
    void finish(std::vector<LostRow>& lost);
    void disconnect() { connection_.disconnect(); }

private:
    friend class SqlTable;
    struct SentRow {
        SqlTable* table;
        SqlRow row;
    };
    // Notes rows a table has sent; commits when the batch is full.
    void sent(SqlTable* table, std::vector<SqlRow>& rows, std::vector<LostRow>& lost);
    // Commits the open transaction; rows lost to a failed commit are listed.
    bool commit(std::vector<LostRow>& lost);
    // After a failed statement: rolls back, sends the transaction's rows
    // again one by one (dropping those that fail) and commits.
    void recover(std::vector<LostRow>& lost);

    long long number_ = 0;
    size_t batchRows_;
    size_t batchBytes_;
    size_t sentBytes_ = 0;
    bool failed_ = false;
    std::string error_;
    SqlConnection connection_;
    std::vector<SentRow> sent_;  // sent, not yet committed
    std::vector<SqlTable*> tables_;
};

struct SqlTableSpec {
    std::string table;
    std::vector<std::string> columns;     // the INSERT's column list
    std::vector<std::string> keyColumns;  // the look-up's columns
    std::vector<long long> widths;        // per column, for CREATE TABLE
    bool create = false;                  // create the table when it cannot be read
    std::string title;                    // "Table n - name", for the lines of lost rows
};

class SqlTable {
public:
    explicit SqlTable(SqlLink& link, size_t groupRows = 256) : link_(link), groupRows_(groupRows) {}
    // Counts the table's rows (creating the table first when it cannot be
    // read and `create` is set) and prepares the INSERT.
    bool open(const SqlTableSpec& spec, std::string& error, std::vector<LostRow>& lost);

    const std::string& tableName() const { return spec_.table; }
    // Rows in the table as this job sees them (count at open plus rows added).
    long long rowCount() const { return committed_ + sent_ + static_cast<long long>(collected_.size()); }

    // Whether a row with these key values exists or is on its way (NULL
    // matches NULL).
    bool lookup(const std::vector<SqlValue>& keyValues, bool& found, std::string& error, std::vector<LostRow>& lost);
    // Adds a row to the group; a full group is sent. Rows that turn out to
    // fail are listed in `lost`.
    void insert(SqlRow row, std::vector<LostRow>& lost);
    // Sends the collected rows.
    void send(std::vector<LostRow>& lost);
    void release();

private:
    friend class SqlLink;
    bool sendOne(const SqlRow& row, std::string& error);

    SqlLink& link_;
    size_t groupRows_;
    SqlTableSpec spec_;
    SqlStatement insert_;
    std::map<std::vector<bool>, std::unique_ptr<SqlStatement>> lookups_;  // by which key values are NULL
    std::vector<SqlRow> collected_;
    long long committed_ = 0;
    long long sent_ = 0;
};

}  // namespace brolvin
