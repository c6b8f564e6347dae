#include "dbexport/sql_table.h"

#include <algorithm>

#include "util/text.h"

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

void SqlLink::sent(SqlTable* table, std::vector<SqlRow>& rows, std::vector<LostRow>& lost) {
    for (SqlRow& row : rows) {
        for (const SqlValue& v : row.values) sentBytes_ += sizeof v + (v ? v->size() : 0);
        ++table->sent_;
        sent_.push_back({table, std::move(row)});
    }
    if (sent_.size() >= batchRows_ || sentBytes_ >= batchBytes_) commit(lost);
}

bool SqlLink::commit(std::vector<LostRow>& lost) {
    std::string error;
    bool ok = sent_.empty() || connection_.commit(error);
    for (SentRow& s : sent_) {
        --s.table->sent_;
        if (ok) ++s.table->committed_;
        else lost.push_back({s.table->spec_.title, s.row.key, "commit failed: " + error});
    }
    sent_.clear();
    sentBytes_ = 0;
    if (!ok) connection_.rollback(error);
    return ok;
}

void SqlLink::recover(std::vector<LostRow>& lost) {
    std::vector<SentRow> queue;
    queue.swap(sent_);
    sentBytes_ = 0;
    for (SentRow& s : queue) --s.table->sent_;
    // Some databases abandon the whole transaction after a failed
    // statement: a row that fails again is dropped and the round restarts.
    std::string error;
    for (;;) {
        connection_.rollback(error);
        size_t i = 0;
        while (i < queue.size() && queue[i].table->sendOne(queue[i].row, error)) ++i;
        if (i == queue.size()) break;
        lost.push_back({queue[i].table->spec_.title, queue[i].row.key, error + " (rolled back with a failed row, it failed when sent again)"});
        queue.erase(queue.begin() + static_cast<long>(i));
    }
    for (SentRow& s : queue) {
        ++s.table->sent_;
        for (const SqlValue& v : s.row.values) sentBytes_ += sizeof v + (v ? v->size() : 0);
    }
    sent_ = std::move(queue);
    commit(lost);
}

void SqlLink::finish(std::vector<LostRow>& lost) {
    if (!connection_.connected()) return;
    for (SqlTable* table : tables_) table->send(lost);
    commit(lost);
}

bool SqlTable::open(const SqlTableSpec& spec, std::string& error, std::vector<LostRow>& lost) {
    spec_ = spec;
    SqlConnection& connection = link_.connection();
    // What this table does to the transaction must not touch other tables'
    // rows: commit them first, and commit a table just created.
    link_.commit(lost);
    const std::string count = "SELECT COUNT(*) FROM " + spec.table;
    if (!connection.queryNumber(count, committed_, error)) {
        std::string readError = error;
        link_.recover(lost);
        if (!spec.create) return false;
        if (!connection.execute(createStatement(spec), {}, error) || !link_.commit(lost) ||
            !connection.queryNumber(count, committed_, error)) {
            error = "cannot read the table (" + readError + ") nor create it (" + error + ")";
            link_.recover(lost);
            return false;
        }
    }
    std::vector<std::string> markers(spec.columns.size(), "?");
    std::string sql = "INSERT INTO " + spec.table + " (" + joined(spec.columns, ",") + ") VALUES (" +
                      joined(markers, ",") + ")";
    if (!insert_.prepare(connection, sql, error)) {
        link_.recover(lost);
        return false;
    }
    link_.tables_.push_back(this);
    return true;
}

bool SqlTable::lookup(const std::vector<SqlValue>& keyValues, bool& found, std::string& error,
                      std::vector<LostRow>& lost) {
    // Rows collected but not sent yet, by any map row of the same table.
    for (const SqlTable* t : link_.tables_) {
        if (toUpper(t->spec_.table) != toUpper(spec_.table) || t->spec_.keyColumns != spec_.keyColumns) continue;
        found = std::any_of(t->collected_.begin(), t->collected_.end(),
                            [&](const SqlRow& r) { return r.keyValues == keyValues; });
        if (found) return true;
    }
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

void SqlTable::insert(SqlRow row, std::vector<LostRow>& lost) {
    collected_.push_back(std::move(row));
    if (collected_.size() >= groupRows_) send(lost);
}

bool SqlTable::sendOne(const SqlRow& row, std::string& error) { return insert_.execute(row.values, error); }

void SqlTable::send(std::vector<LostRow>& lost) {
    if (collected_.empty()) return;
    std::vector<SqlRow> rows;
    rows.swap(collected_);
    std::vector<const std::vector<SqlValue>*> values;
    for (const SqlRow& r : rows) values.push_back(&r.values);
    std::string error;
    if (insert_.executeRows(values, error)) {
        link_.sent(this, rows, lost);
        return;
    }
    // Which row failed is not known: roll back, then send them one by one.
    link_.recover(lost);
    for (SqlRow& r : rows) {
        if (sendOne(r, error)) {
            std::vector<SqlRow> one;
            one.push_back(std::move(r));
            link_.sent(this, one, lost);
        } else {
            lost.push_back({spec_.title, r.key, error});
            link_.recover(lost);
        }
    }
}

void SqlTable::release() {
    lookups_.clear();
    insert_.release();
}

}  // namespace brolvin
