#include "dbexport/sql_table.h"

namespace brolvin {

namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? separator : "") + parts[i];
    return text;
}

std::string createStatement(const SqlTableSpec& spec) {
    std::vector<std::string> columns;
    for (size_t i = 0; i < spec.columns.size(); ++i) {
        long long width = i < spec.widths.size() && spec.widths[i] > 0 ? spec.widths[i] : 255;
        columns.push_back(spec.columns[i] + " varchar(" + std::to_string(width) + ")");
    }
    return "CREATE TABLE " + spec.table + " (" + joined(columns, ", ") + ")";
}

}  // namespace

bool SqlLink::connect(const std::string& connectionString, std::string& error) {
    if (connection_.connect(connectionString, error) && connection_.setAutoCommit(false, error)) return true;
    connection_.disconnect();
    fail(error);
    return false;
}

void SqlLink::added(SqlTable* table, std::vector<SqlValue> values, std::string key, std::vector<LostRow>& lost) {
    pending_.push_back({table, std::move(values), std::move(key)});
    ++table->pending_;
    std::string error;
    if (pending_.size() >= batchRows_) commit(lost, error);
}

bool SqlLink::commit(std::vector<LostRow>& lost, std::string& error) {
    if (connection_.commit(error)) {
        for (PendingRow& p : pending_) {
            --p.table->pending_;
            ++p.table->committed_;
        }
        pending_.clear();
        return true;
    }
    for (PendingRow& p : pending_) {
        --p.table->pending_;
        lost.push_back({p.key, "commit failed: " + error});
    }
    pending_.clear();
    std::string ignored;
    connection_.rollback(ignored);
    return false;
}

// Some databases abandon the whole transaction after a failed statement:
// roll it back and add its rows again, dropping each that fails anew.
void SqlLink::recover(std::vector<LostRow>& lost) {
    std::string error;
    connection_.rollback(error);
    while (!pending_.empty()) {
        size_t i = 0;
        while (i < pending_.size() && pending_[i].table->execute(pending_[i].values, error)) ++i;
        if (i == pending_.size()) return;
        --pending_[i].table->pending_;
        lost.push_back({pending_[i].key, error + " (added before, rolled back with a failed row, and failed again)"});
        pending_.erase(pending_.begin() + static_cast<long>(i));
        connection_.rollback(error);
    }
}

bool SqlTable::open(const SqlTableSpec& spec, std::string& error, std::vector<LostRow>& lost) {
    spec_ = spec;
    SqlConnection& connection = link_.connection();
    // What this table does to the transaction must not touch other tables'
    // rows: commit them first, and commit a table just created.
    std::string commitError;
    link_.commit(lost, commitError);
    const std::string count = "SELECT COUNT(*) FROM " + spec.table;
    if (!connection.queryNumber(count, committed_, error)) {
        std::string readError = error;
        link_.recover(lost);
        if (!spec.create) return false;
        if (!connection.execute(createStatement(spec), {}, error) || !link_.commit(lost, commitError) ||
            !connection.queryNumber(count, committed_, error)) {
            error = "cannot read the table (" + readError + ") nor create it (" + error + ")";
            link_.recover(lost);
            return false;
        }
    }
    std::vector<std::string> markers(spec.columns.size(), "?");
    std::string sql = "INSERT INTO " + spec.table + " (" + joined(spec.columns, ",") + ") VALUES (" +
                      joined(markers, ",") + ")";
    if (insert_.prepare(connection, sql, error)) return true;
    link_.recover(lost);
    return false;
}

bool SqlTable::lookup(const std::vector<SqlValue>& keyValues, bool& found, std::string& error,
                      std::vector<LostRow>& lost) {
    found = false;
    std::vector<bool> nulls;
    std::vector<SqlValue> params;
    for (const SqlValue& v : keyValues) {
        nulls.push_back(!v);
        if (v) params.push_back(v);
    }
    std::unique_ptr<SqlStatement>& statement = lookups_[nulls];
    if (!statement) {
        std::vector<std::string> tests;
        for (size_t i = 0; i < spec_.keyColumns.size(); ++i)
            tests.push_back(spec_.keyColumns[i] + (i < nulls.size() && nulls[i] ? " IS NULL" : "=?"));
        auto prepared = std::make_unique<SqlStatement>();
        if (!prepared->prepare(link_.connection(),
                               "SELECT 1 FROM " + spec_.table + " WHERE " + joined(tests, " AND "), error)) {
            lookups_.erase(nulls);
            link_.recover(lost);
            return false;
        }
        statement = std::move(prepared);
    }
    if (statement->queryHasRow(params, found, error)) return true;
    link_.recover(lost);
    return false;
}

bool SqlTable::insert(const std::vector<SqlValue>& row, const std::string& key, std::string& error,
                      std::vector<LostRow>& lost) {
    if (!insert_.execute(row, error)) {
        link_.recover(lost);
        return false;
    }
    link_.added(this, row, key, lost);
    return true;
}

void SqlTable::release() {
    lookups_.clear();
    insert_.release();
}

}  // namespace brolvin
