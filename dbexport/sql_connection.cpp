#include "dbexport/sql_connection.h"

#if defined(BROLVIN_HAVE_ODBC)
#include <sql.h>
#include <sqlext.h>
#endif

namespace brolvin {

#if defined(BROLVIN_HAVE_ODBC)

namespace {

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT i = 1; i <= 5; ++i) {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (!text.empty()) text += " ";
        text += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
    }
    return text.empty() ? "unknown ODBC error" : text;
}

}  // namespace

struct SqlConnection::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
};

SqlConnection::SqlConnection() : handles_(std::make_unique<Handles>()) {}
SqlConnection::~SqlConnection() { disconnect(); }

bool SqlConnection::connect(const std::string& connectionString, std::string& error) {
    disconnect();
    Handles& h = *handles_;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env))) {
        error = "cannot allocate an ODBC environment";
        h.env = SQL_NULL_HENV;
        return false;
    }
    SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc))) {
        error = diagnostics(SQL_HANDLE_ENV, h.env);
        h.dbc = SQL_NULL_HDBC;
        disconnect();
        return false;
    }
    std::string text = connectionString;
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(h.dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                    static_cast<SQLSMALLINT>(text.size()), out, sizeof out, &outLength,
                                    SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        error = diagnostics(SQL_HANDLE_DBC, h.dbc);
        disconnect();
        return false;
    }
    h.connected = true;
    return true;
}

void SqlConnection::disconnect() {
    if (!handles_) return;
    Handles& h = *handles_;
    if (h.connected) SQLDisconnect(h.dbc);
    h.connected = false;
    if (h.dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, h.dbc);
    h.dbc = SQL_NULL_HDBC;
    if (h.env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, h.env);
    h.env = SQL_NULL_HENV;
}

namespace {

// Prepares and executes `sql` with the parameters bound as text; the
// statement handle stays allocated for fetching and is freed by the caller.
bool run(SQLHDBC dbc, const std::string& sql, const std::vector<std::string>& params, SQLHSTMT& stmt,
         std::string& error) {
    stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
        error = diagnostics(SQL_HANDLE_DBC, dbc);
        stmt = SQL_NULL_HSTMT;
        return false;
    }
    std::string text = sql;
    if (!SQL_SUCCEEDED(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size())))) {
        error = diagnostics(SQL_HANDLE_STMT, stmt);
        return false;
    }
    std::vector<SQLLEN> lengths(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        lengths[i] = static_cast<SQLLEN>(params[i].size());
        SQLULEN columnSize = params[i].empty() ? 1 : params[i].size();
        SQLRETURN rc = SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                                        SQL_VARCHAR, columnSize, 0,
                                        const_cast<char*>(params[i].data()),
                                        static_cast<SQLLEN>(params[i].size()), &lengths[i]);
        if (!SQL_SUCCEEDED(rc)) {
            error = diagnostics(SQL_HANDLE_STMT, stmt);
            return false;
        }
    }
    SQLRETURN rc = SQLExecute(stmt);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        error = diagnostics(SQL_HANDLE_STMT, stmt);
        return false;
    }
    return true;
}

void release(SQLHSTMT stmt) {
    if (stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

}  // namespace

bool SqlConnection::queryHasRow(const std::string& sql, const std::vector<std::string>& params, bool& hasRow,
                                std::string& error) {
    hasRow = false;
    if (!handles_->connected) return false;
    SQLHSTMT stmt;
    bool ok = run(handles_->dbc, sql, params, stmt, error);
    if (ok) {
        SQLRETURN rc = SQLFetch(stmt);
        if (SQL_SUCCEEDED(rc)) hasRow = true;
        else if (rc != SQL_NO_DATA) {
            error = diagnostics(SQL_HANDLE_STMT, stmt);
            ok = false;
        }
    }
    release(stmt);
    return ok;
}

bool SqlConnection::execute(const std::string& sql, const std::vector<std::string>& params, std::string& error) {
    if (!handles_->connected) return false;
    SQLHSTMT stmt;
    bool ok = run(handles_->dbc, sql, params, stmt, error);
    release(stmt);
    return ok;
}

bool SqlConnection::queryNumber(const std::string& sql, long long& value, std::string& error) {
    value = 0;
    if (!handles_->connected) return false;
    SQLHSTMT stmt;
    bool ok = run(handles_->dbc, sql, {}, stmt, error);
    if (ok) {
        SQLBIGINT number = 0;
        SQLLEN indicator = 0;
        ok = SQL_SUCCEEDED(SQLFetch(stmt)) &&
             SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_SBIGINT, &number, sizeof number, &indicator));
        if (ok && indicator != SQL_NULL_DATA) value = number;
        if (!ok) error = diagnostics(SQL_HANDLE_STMT, stmt);
    }
    release(stmt);
    return ok;
}

#else  // no unixODBC at build time

struct SqlConnection::Handles {};

SqlConnection::SqlConnection() : handles_(std::make_unique<Handles>()) {}
SqlConnection::~SqlConnection() = default;

bool SqlConnection::connect(const std::string&, std::string& error) {
    error = "ODBC support is not built into this program";
    return false;
}
void SqlConnection::disconnect() {}
bool SqlConnection::queryHasRow(const std::string&, const std::vector<std::string>&, bool& hasRow, std::string& error) {
    hasRow = false;
    error = "not connected";
    return false;
}
bool SqlConnection::execute(const std::string&, const std::vector<std::string>&, std::string& error) {
    error = "not connected";
    return false;
}
bool SqlConnection::queryNumber(const std::string&, long long& value, std::string& error) {
    value = 0;
    error = "not connected";
    return false;
}

#endif

}  // namespace brolvin
