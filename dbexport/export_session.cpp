#include "dbexport/export_session.h"

#include "dbexport/sql_table.h"
#include "util/text.h"

namespace brolvin {

TableState::TableState() = default;
TableState::~TableState() = default;

ExportSession::ExportSession(int lockWaitMillis) : lockWaitMillis_(lockWaitMillis) {}

ExportSession::~ExportSession() { finish(); }

TableState& ExportSession::table(size_t n) {
    if (tables_.size() < n) tables_.resize(n);
    std::unique_ptr<TableState>& state = tables_[n - 1];
    if (!state) state = std::make_unique<TableState>();
    return *state;
}

SqlLink& ExportSession::link(const std::string& connectionString, bool& fresh) {
    std::unique_ptr<SqlLink>& link = links_[connectionString];
    fresh = !link;
    if (!link) link = std::make_unique<SqlLink>();
    return *link;
}

std::string ExportSession::finish() {
    std::string log;
    std::vector<LostRow> lost;
    for (auto& [connectionString, link] : links_) link->finish(lost);
    // Statements go before their connections.
    for (auto& state : tables_)
        if (state) state->sql.reset();
    for (auto& [connectionString, link] : links_) link->disconnect();
    links_.clear();
    for (const LostRow& row : lost) {
        log += row.table + " Error Unable to Add Record Key=" + row.key + kCrLf;
        log += "** Error: " + row.error + kCrLf;
    }
    failedWrites_ += static_cast<long long>(lost.size());
    return log;
}

}  // namespace brolvin
