// A connection to an SQL database through an ODBC connection string, with
// statements whose values are bound as parameters (never pasted into the
// statement text). Built without unixODBC, every connection attempt fails
// with an explanatory text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brolvin {

// A parameter value; nothing stands for SQL NULL.
using SqlValue = std::optional<std::string>;

class SqlStatement;

class SqlConnection {
public:
    SqlConnection();
    ~SqlConnection();
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    // Connects without prompting; on failure `error` holds the driver's
    // state and message.
    bool connect(const std::string& connectionString, std::string& error);
    void disconnect();
    bool connected() const;

    // Manual commit: statements run in a transaction until commit or rollback.
    bool setAutoCommit(bool on, std::string& error);
    bool commit(std::string& error);
    bool rollback(std::string& error);

    // Runs a query with text parameters for its "?" markers; `hasRow` tells
    // whether it returned at least one row.
    bool queryHasRow(const std::string& sql, const std::vector<std::string>& params, bool& hasRow,
                     std::string& error);
    // Runs a statement with text parameters.
    bool execute(const std::string& sql, const std::vector<std::string>& params, std::string& error);
    // Runs a query and reads the first column of its first row as a number.
    bool queryNumber(const std::string& sql, long long& value, std::string& error);

private:
    friend class SqlStatement;
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

// A statement prepared once and executed many times with new parameters.
class SqlStatement {
public:
    SqlStatement();
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    bool prepare(SqlConnection& connection, const std::string& sql, std::string& error);
    // Executes with one value per "?" marker.
    bool execute(const std::vector<SqlValue>& params, std::string& error);
    // Executes once for each of several rows of values in one call (an ODBC
    // parameter array: one round trip to a server for all of them). False
    // when any row failed.
    bool executeRows(const std::vector<const std::vector<SqlValue>*>& rows, std::string& error);
    // Executes a query and tells whether it returned a row.
    bool queryHasRow(const std::vector<SqlValue>& params, bool& hasRow, std::string& error);
    void release();

private:
    friend class SqlConnection;
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace brolvin
