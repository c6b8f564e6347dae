// SQL tables written by one job. Tables reached through the same connection
// string share one connection (SQLite lets one connection write at a time),
// and their rows go in transactions of a batch of rows; a row that fails
// rolls the batch back and the batch's other rows are added again.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbexport/sql_connection.h"

namespace brolvin {

class SqlTable;

// A row that could not be kept: it failed when added again after a
// rollback, or its commit failed.
struct LostRow {
    std::string key;
    std::string error;
};

// One connection and its open transaction.
class SqlLink {
public:
    explicit SqlLink(size_t batchRows = 2000) : batchRows_(batchRows) {}
    // Connects once; a failed connection stays failed, with its error.
    bool connect(const std::string& connectionString, std::string& error);
    void fail(const std::string& error) { failed_ = true, error_ = error; }
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }
    bool connected() const { return connection_.connected(); }
    long long number() const { return number_; }
    void setNumber(long long number) { number_ = number; }
    SqlConnection& connection() { return connection_; }

    // Notes a row added by a table; commits when the batch is full.
    void added(SqlTable* table, std::vector<SqlValue> values, std::string key, std::vector<LostRow>& lost);
    // Commits the open transaction; rows lost to a failed commit are listed.
    bool commit(std::vector<LostRow>& lost, std::string& error);
    // After a failed statement: rolls back and adds the batch's rows again.
    void recover(std::vector<LostRow>& lost);
    void disconnect() { connection_.disconnect(); }

private:
    struct PendingRow {
        SqlTable* table;
        std::vector<SqlValue> values;
        std::string key;
    };
    long long number_ = 0;
    size_t batchRows_;
    bool failed_ = false;
    std::string error_;
    SqlConnection connection_;
    std::vector<PendingRow> pending_;
};

struct SqlTableSpec {
    std::string table;
    std::vector<std::string> columns;     // the INSERT's column list
    std::vector<std::string> keyColumns;  // the look-up's columns
    std::vector<long long> widths;        // per column, for CREATE TABLE
    bool create = false;                  // create the table when it cannot be read
};

class SqlTable {
public:
    explicit SqlTable(SqlLink& link) : link_(link) {}
    // Counts the table's rows (creating the table first when it cannot be
    // read and `create` is set) and prepares the INSERT.
    bool open(const SqlTableSpec& spec, std::string& error, std::vector<LostRow>& lost);

    SqlLink& link() { return link_; }
    const std::string& tableName() const { return spec_.table; }
    // Rows in the table as this job sees them (count at open plus rows added).
    long long rowCount() const { return committed_ + pending_; }

    // Whether a row with these key values exists (NULL matches NULL).
    bool lookup(const std::vector<SqlValue>& keyValues, bool& found, std::string& error, std::vector<LostRow>& lost);
    // Adds a row; on failure the link recovers and `lost` lists the rows of
    // the batch that could not be added again.
    bool insert(const std::vector<SqlValue>& row, const std::string& key, std::string& error,
                std::vector<LostRow>& lost);
    void release();

private:
    friend class SqlLink;
    bool execute(const std::vector<SqlValue>& row, std::string& error) { return insert_.execute(row, error); }

    SqlLink& link_;
    SqlTableSpec spec_;
    SqlStatement insert_;
    std::map<std::vector<bool>, std::unique_ptr<SqlStatement>> lookups_;  // by which key values are NULL
    long long committed_ = 0;
    long long pending_ = 0;
};

}  // namespace brolvin
