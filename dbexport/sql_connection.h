// A connection to an SQL database through an ODBC connection string, with
// statements whose values are bound as parameters (never pasted into the
// statement text). Built without unixODBC, every connection attempt fails
// with an explanatory text.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace brolvin {

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

    // Runs a query with text parameters for its "?" markers; `hasRow` tells
    // whether it returned at least one row.
    bool queryHasRow(const std::string& sql, const std::vector<std::string>& params, bool& hasRow,
                     std::string& error);
    // Runs a statement with text parameters.
    bool execute(const std::string& sql, const std::vector<std::string>& params, std::string& error);
    // Runs a query and reads the first column of its first row as a number.
    bool queryNumber(const std::string& sql, long long& value, std::string& error);

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

}  // namespace brolvin
