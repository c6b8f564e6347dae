#include "dbexport/sql_connection.h"

#include <algorithm>

#include "util/os.h"

#if defined(BROLVIN_HAVE_ODBC)
#include "dbexport/odbc_headers.h"
#endif

namespace brolvin {

#if defined(BROLVIN_HAVE_ODBC)

namespace {

// The ODBC driver manager, loaded when the first connection is made: jobs
// that never reach an SQL database neither need unixODBC nor pay for loading it.
struct OdbcLibrary {
    bool loaded = false;
    std::string error;  // why it could not be loaded
    decltype(&::SQLAllocHandle) AllocHandle = nullptr;
    decltype(&::SQLBindParameter) BindParameter = nullptr;
    decltype(&::SQLDisconnect) Disconnect = nullptr;
    decltype(&::SQLDriverConnect) DriverConnect = nullptr;
    decltype(&::SQLEndTran) EndTran = nullptr;
    decltype(&::SQLExecute) Execute = nullptr;
    decltype(&::SQLFetch) Fetch = nullptr;
    decltype(&::SQLFreeHandle) FreeHandle = nullptr;
    decltype(&::SQLFreeStmt) FreeStmt = nullptr;
    decltype(&::SQLGetData) GetData = nullptr;
    decltype(&::SQLGetDiagRec) GetDiagRec = nullptr;
    decltype(&::SQLPrepare) Prepare = nullptr;
    decltype(&::SQLSetConnectAttr) SetConnectAttr = nullptr;
    decltype(&::SQLSetEnvAttr) SetEnvAttr = nullptr;
    decltype(&::SQLSetStmtAttr) SetStmtAttr = nullptr;
};

OdbcLibrary loadOdbcLibrary() {
    OdbcLibrary lib;
    const char* const libraryName = os::odbcLibraryName();
    std::string why;
    void* handle = os::loadLibrary(libraryName, why);
    if (!handle) {
        lib.error = std::string("the ODBC library ") + libraryName +
                    " could not be loaded (install unixODBC): " + (why.empty() ? "not found" : why);
        return lib;
    }
    auto missing = [&](const char* name) {
        lib.error = std::string("the ODBC library ") + libraryName + " has no " + name;
        return lib;
    };
    lib.AllocHandle = reinterpret_cast<decltype(&::SQLAllocHandle)>(os::librarySymbol(handle, "SQLAllocHandle"));
    if (!lib.AllocHandle) return missing("SQLAllocHandle");
    lib.BindParameter = reinterpret_cast<decltype(&::SQLBindParameter)>(os::librarySymbol(handle, "SQLBindParameter"));
    if (!lib.BindParameter) return missing("SQLBindParameter");
    lib.Disconnect = reinterpret_cast<decltype(&::SQLDisconnect)>(os::librarySymbol(handle, "SQLDisconnect"));
    if (!lib.Disconnect) return missing("SQLDisconnect");
    lib.DriverConnect = reinterpret_cast<decltype(&::SQLDriverConnect)>(os::librarySymbol(handle, "SQLDriverConnect"));
    if (!lib.DriverConnect) return missing("SQLDriverConnect");
    lib.EndTran = reinterpret_cast<decltype(&::SQLEndTran)>(os::librarySymbol(handle, "SQLEndTran"));
    if (!lib.EndTran) return missing("SQLEndTran");
    lib.Execute = reinterpret_cast<decltype(&::SQLExecute)>(os::librarySymbol(handle, "SQLExecute"));
    if (!lib.Execute) return missing("SQLExecute");
    lib.Fetch = reinterpret_cast<decltype(&::SQLFetch)>(os::librarySymbol(handle, "SQLFetch"));
    if (!lib.Fetch) return missing("SQLFetch");
    lib.FreeHandle = reinterpret_cast<decltype(&::SQLFreeHandle)>(os::librarySymbol(handle, "SQLFreeHandle"));
    if (!lib.FreeHandle) return missing("SQLFreeHandle");
    lib.FreeStmt = reinterpret_cast<decltype(&::SQLFreeStmt)>(os::librarySymbol(handle, "SQLFreeStmt"));
    if (!lib.FreeStmt) return missing("SQLFreeStmt");
    lib.GetData = reinterpret_cast<decltype(&::SQLGetData)>(os::librarySymbol(handle, "SQLGetData"));
    if (!lib.GetData) return missing("SQLGetData");
    lib.GetDiagRec = reinterpret_cast<decltype(&::SQLGetDiagRec)>(os::librarySymbol(handle, "SQLGetDiagRec"));
    if (!lib.GetDiagRec) return missing("SQLGetDiagRec");
    lib.Prepare = reinterpret_cast<decltype(&::SQLPrepare)>(os::librarySymbol(handle, "SQLPrepare"));
    if (!lib.Prepare) return missing("SQLPrepare");
    lib.SetConnectAttr = reinterpret_cast<decltype(&::SQLSetConnectAttr)>(os::librarySymbol(handle, "SQLSetConnectAttr"));
    if (!lib.SetConnectAttr) return missing("SQLSetConnectAttr");
    lib.SetEnvAttr = reinterpret_cast<decltype(&::SQLSetEnvAttr)>(os::librarySymbol(handle, "SQLSetEnvAttr"));
    if (!lib.SetEnvAttr) return missing("SQLSetEnvAttr");
    lib.SetStmtAttr = reinterpret_cast<decltype(&::SQLSetStmtAttr)>(os::librarySymbol(handle, "SQLSetStmtAttr"));
    if (!lib.SetStmtAttr) return missing("SQLSetStmtAttr");
    lib.loaded = true;
    return lib;
}

// Loaded once per process; the loaded table is never changed.
const OdbcLibrary& odbc() {
    static const OdbcLibrary library = loadOdbcLibrary();
    return library;
}

// Every diagnostic record of a handle: state, native code and message.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT i = 1; i <= 5; ++i) {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = odbc().GetDiagRec(type, handle, i, state, &native, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (!text.empty()) text += " ";
        text += std::string(reinterpret_cast<char*>(state)) + " (" + std::to_string(native) + ") " +
                reinterpret_cast<char*>(message);
    }
    // Driver messages may end with a line end; the log line must not.
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text.empty() ? "unknown ODBC error" : text;
}

// Binds the rows of parameters column by column and executes a prepared
// statement once for every row.
bool bindAndExecute(SQLHSTMT stmt, const std::vector<const std::vector<SqlValue>*>& rows,
                    std::vector<std::string>& buffers, std::vector<std::vector<SQLLEN>>& lengths,
                    std::vector<SQLUSMALLINT>& status, std::string& error) {
    const size_t count = rows.size();
    const size_t columns = count ? rows[0]->size() : 0;
    buffers.resize(columns);
    lengths.resize(columns);
    status.assign(count, SQL_PARAM_UNUSED);
    odbc().SetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
    odbc().SetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(count)), 0);
    odbc().SetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0);
    for (size_t c = 0; c < columns; ++c) {
        size_t width = 1;
        for (const auto* row : rows)
            if (c < row->size() && (*row)[c]) width = std::max(width, (*row)[c]->size());
        buffers[c].assign(width * count, '\0');
        lengths[c].assign(count, SQL_NULL_DATA);
        for (size_t r = 0; r < count; ++r) {
            const SqlValue& v = c < rows[r]->size() ? (*rows[r])[c] : SqlValue();
            if (!v) continue;
            std::copy(v->begin(), v->end(), buffers[c].begin() + static_cast<long>(r * width));
            lengths[c][r] = static_cast<SQLLEN>(v->size());
        }
        SQLRETURN rc = odbc().BindParameter(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                                        SQL_VARCHAR, width, 0, buffers[c].data(), static_cast<SQLLEN>(width),
                                        lengths[c].data());
        if (!SQL_SUCCEEDED(rc)) {
            error = diagnostics(SQL_HANDLE_STMT, stmt);
            return false;
        }
    }
    SQLRETURN rc = odbc().Execute(stmt);
    bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    for (SQLUSMALLINT s : status)
        if (s == SQL_PARAM_ERROR) ok = false;
    if (!ok) error = diagnostics(SQL_HANDLE_STMT, stmt);
    return ok;
}

}  // namespace

struct SqlConnection::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
};

struct SqlStatement::Handle {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    std::vector<std::string> buffers;  // one per parameter, a value per row
    std::vector<std::vector<SQLLEN>> lengths;
    std::vector<SQLUSMALLINT> status;
};

SqlConnection::SqlConnection() : handles_(std::make_unique<Handles>()) {}
SqlConnection::~SqlConnection() { disconnect(); }

bool SqlConnection::connected() const { return handles_->connected; }

bool SqlConnection::connect(const std::string& connectionString, std::string& error) {
    disconnect();
    Handles& h = *handles_;
    if (!odbc().loaded) {
        error = odbc().error;
        return false;
    }
    if (!SQL_SUCCEEDED(odbc().AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env))) {
        error = "cannot allocate an ODBC environment";
        h.env = SQL_NULL_HENV;
        return false;
    }
    odbc().SetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(odbc().AllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc))) {
        error = diagnostics(SQL_HANDLE_ENV, h.env);
        h.dbc = SQL_NULL_HDBC;
        disconnect();
        return false;
    }
    std::string text = connectionString;
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = odbc().DriverConnect(h.dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
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
    if (h.connected) odbc().Disconnect(h.dbc);
    h.connected = false;
    if (h.dbc != SQL_NULL_HDBC) odbc().FreeHandle(SQL_HANDLE_DBC, h.dbc);
    h.dbc = SQL_NULL_HDBC;
    if (h.env != SQL_NULL_HENV) odbc().FreeHandle(SQL_HANDLE_ENV, h.env);
    h.env = SQL_NULL_HENV;
}

bool SqlConnection::setAutoCommit(bool on, std::string& error) {
    if (!handles_->connected) return false;
    SQLRETURN rc = odbc().SetConnectAttr(handles_->dbc, SQL_ATTR_AUTOCOMMIT,
                                     reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (SQL_SUCCEEDED(rc)) return true;
    error = diagnostics(SQL_HANDLE_DBC, handles_->dbc);
    return false;
}

bool SqlConnection::commit(std::string& error) {
    if (!handles_->connected) return false;
    if (SQL_SUCCEEDED(odbc().EndTran(SQL_HANDLE_DBC, handles_->dbc, SQL_COMMIT))) return true;
    error = diagnostics(SQL_HANDLE_DBC, handles_->dbc);
    return false;
}

bool SqlConnection::rollback(std::string& error) {
    if (!handles_->connected) return false;
    if (SQL_SUCCEEDED(odbc().EndTran(SQL_HANDLE_DBC, handles_->dbc, SQL_ROLLBACK))) return true;
    error = diagnostics(SQL_HANDLE_DBC, handles_->dbc);
    return false;
}

namespace {

std::vector<SqlValue> asValues(const std::vector<std::string>& params) {
    return std::vector<SqlValue>(params.begin(), params.end());
}

}  // namespace

bool SqlConnection::queryHasRow(const std::string& sql, const std::vector<std::string>& params, bool& hasRow,
                                std::string& error) {
    hasRow = false;
    SqlStatement statement;
    return statement.prepare(*this, sql, error) && statement.queryHasRow(asValues(params), hasRow, error);
}

bool SqlConnection::execute(const std::string& sql, const std::vector<std::string>& params, std::string& error) {
    SqlStatement statement;
    return statement.prepare(*this, sql, error) && statement.execute(asValues(params), error);
}

bool SqlConnection::queryNumber(const std::string& sql, long long& value, std::string& error) {
    value = 0;
    SqlStatement statement;
    if (!statement.prepare(*this, sql, error) || !statement.execute({}, error)) return false;
    SQLHSTMT stmt = statement.handle_->stmt;
    SQLBIGINT number = 0;
    SQLLEN indicator = 0;
    bool ok = SQL_SUCCEEDED(odbc().Fetch(stmt)) &&
              SQL_SUCCEEDED(odbc().GetData(stmt, 1, SQL_C_SBIGINT, &number, sizeof number, &indicator));
    if (ok && indicator != SQL_NULL_DATA) value = number;
    if (!ok) error = diagnostics(SQL_HANDLE_STMT, stmt);
    return ok;
}

SqlStatement::SqlStatement() : handle_(std::make_unique<Handle>()) {}
SqlStatement::~SqlStatement() { release(); }

void SqlStatement::release() {
    if (handle_ && handle_->stmt != SQL_NULL_HSTMT) odbc().FreeHandle(SQL_HANDLE_STMT, handle_->stmt);
    if (handle_) handle_->stmt = SQL_NULL_HSTMT;
}

bool SqlStatement::prepare(SqlConnection& connection, const std::string& sql, std::string& error) {
    release();
    if (!connection.connected()) {
        error = "not connected";
        return false;
    }
    SQLHDBC dbc = connection.handles_->dbc;
    if (!SQL_SUCCEEDED(odbc().AllocHandle(SQL_HANDLE_STMT, dbc, &handle_->stmt))) {
        error = diagnostics(SQL_HANDLE_DBC, dbc);
        handle_->stmt = SQL_NULL_HSTMT;
        return false;
    }
    std::string text = sql;
    SQLRETURN rc = odbc().Prepare(handle_->stmt, reinterpret_cast<SQLCHAR*>(text.data()),
                              static_cast<SQLINTEGER>(text.size()));
    if (SQL_SUCCEEDED(rc)) return true;
    error = diagnostics(SQL_HANDLE_STMT, handle_->stmt);
    release();
    return false;
}

bool SqlStatement::execute(const std::vector<SqlValue>& params, std::string& error) {
    return executeRows({&params}, error);
}

bool SqlStatement::executeRows(const std::vector<const std::vector<SqlValue>*>& rows, std::string& error) {
    if (handle_->stmt == SQL_NULL_HSTMT) {
        error = "statement not prepared";
        return false;
    }
    if (rows.empty()) return true;
    Handle& h = *handle_;
    return bindAndExecute(h.stmt, rows, h.buffers, h.lengths, h.status, error);
}

bool SqlStatement::queryHasRow(const std::vector<SqlValue>& params, bool& hasRow, std::string& error) {
    hasRow = false;
    if (!execute(params, error)) return false;
    SQLRETURN rc = odbc().Fetch(handle_->stmt);
    bool ok = true;
    if (SQL_SUCCEEDED(rc)) {
        hasRow = true;
    } else if (rc != SQL_NO_DATA) {
        error = diagnostics(SQL_HANDLE_STMT, handle_->stmt);
        ok = false;
    }
    odbc().FreeStmt(handle_->stmt, SQL_CLOSE);
    return ok;
}

#else  // no unixODBC at build time

struct SqlConnection::Handles {};
struct SqlStatement::Handle {};

namespace {
const char* const kNoOdbc = "ODBC support is not built into this program";
}

SqlConnection::SqlConnection() : handles_(std::make_unique<Handles>()) {}
SqlConnection::~SqlConnection() = default;
bool SqlConnection::connect(const std::string&, std::string& error) {
    error = kNoOdbc;
    return false;
}
void SqlConnection::disconnect() {}
bool SqlConnection::connected() const { return false; }
bool SqlConnection::setAutoCommit(bool, std::string& error) {
    error = kNoOdbc;
    return false;
}
bool SqlConnection::commit(std::string& error) {
    error = kNoOdbc;
    return false;
}
bool SqlConnection::rollback(std::string& error) {
    error = kNoOdbc;
    return false;
}
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

SqlStatement::SqlStatement() : handle_(std::make_unique<Handle>()) {}
SqlStatement::~SqlStatement() = default;
void SqlStatement::release() {}
bool SqlStatement::prepare(SqlConnection&, const std::string&, std::string& error) {
    error = "not connected";
    return false;
}
bool SqlStatement::execute(const std::vector<SqlValue>&, std::string& error) {
    error = "not connected";
    return false;
}
bool SqlStatement::executeRows(const std::vector<const std::vector<SqlValue>*>&, std::string& error) {
    error = "not connected";
    return false;
}
bool SqlStatement::queryHasRow(const std::vector<SqlValue>&, bool& hasRow, std::string& error) {
    hasRow = false;
    error = "not connected";
    return false;
}

#endif

}  // namespace brolvin
