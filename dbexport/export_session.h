// The database export across the records of one job: the open SQL
// connections with their uncommitted rows, the tables given up after a
// failure, and the count of rows that did not reach their table.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brolvin {

class SqlLink;
class SqlTable;

inline constexpr int kDefaultLockWaitMillis = 10000;

// One map row's state for the job.
struct TableState {
    bool givenUp = false;  // failed for good: later records skip it (and count as not written)
    std::unique_ptr<SqlTable> sql;
    TableState();
    ~TableState();
};

class ExportSession {
public:
    explicit ExportSession(int lockWaitMillis = kDefaultLockWaitMillis);
    ~ExportSession();
    ExportSession(const ExportSession&) = delete;
    ExportSession& operator=(const ExportSession&) = delete;

    // Commits the rows still pending and closes every connection; returns
    // the log lines of rows lost there.
    std::string finish();

    // Rows (records or service lines) that should have reached a table and did not.
    long long failedWrites() const { return failedWrites_; }
    void addFailedWrites(long long n) { failedWrites_ += n; }

    int lockWaitMillis() const { return lockWaitMillis_; }
    long long nextConnectionNumber() { return ++connections_; }
    // The state of map row `n` (1-based).
    TableState& table(size_t n);
    // The connection for a connection string, shared by the tables that
    // name the same one; `fresh` tells that it was not tried yet.
    SqlLink& link(const std::string& connectionString, bool& fresh);

private:
    std::vector<std::unique_ptr<TableState>> tables_;
    std::map<std::string, std::unique_ptr<SqlLink>> links_;
    int lockWaitMillis_;
    long long connections_ = 0;
    long long failedWrites_ = 0;
};

}  // namespace brolvin
