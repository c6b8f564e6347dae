// The SQL path against a real PostgreSQL server, started for the test on
// loopback: Linux only (a POSIX shell script, sockets and the server).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "dbexport/export_session.h"
#include "dbexport/sql_connection.h"
#include "dbexport/table_writer.h"
#include "support/fixed_platform.h"
#include "dbexport/db_test_support.h"
#include "util/text.h"

namespace brolvin {
namespace {

using test::field;
using test::tableRow;
using test::findDriver;

bool haveOdbc() {
#if defined(BROLVIN_HAVE_ODBC)
    return true;
#else
    return false;
#endif
}

// A real PostgreSQL server on loopback, reached through its ODBC driver with
// a data source of connection form 1.
TEST(SqlPostgresTest, InsertsAndLooksUpThroughPsqlodbc) {
    std::string pgDriver = findDriver("psqlodbcw.so");
    if (!haveOdbc() || pgDriver.empty()) GTEST_SKIP() << "unixODBC or the PostgreSQL ODBC driver is not installed";
    std::string script = std::string(BROLVIN_SOURCE_DIR) + "/tests/dbexport/pg_test_server.sh";

    char pattern[] = "/tmp/brolvin-pg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    chmod(dir.c_str(), 0755);  // the server may run as another user
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string port = std::to_string(ntohs(addr.sin_port));
    close(sock);

    int status = 0;
    std::string out = test::runCommand("sh " + script + " start " + dir + "/pg " + port + " 2>&1", status);
    struct Cleanup {
        std::string script, dir;
        ~Cleanup() {
            int s = 0;
            test::runCommand("sh " + script + " stop " + dir + "/pg", s);
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
            unsetenv("ODBCINI");
        }
    } cleanup{script, dir};
    if (status == 77) GTEST_SKIP() << out;
    ASSERT_EQ(status, 0) << out;

    std::string ini = dir + "/odbc.ini";
    ASSERT_TRUE(writeWholeFile(ini, "[brolvintest]\nDriver=" + pgDriver + "\nServername=127.0.0.1\nPort=" + port +
                                        "\nDatabase=postgres\n"));
    setenv("ODBCINI", ini.c_str(), 1);

    DbMapRow pg = tableRow("claims", pgDriver, "brolvintest", {"claimid", "amount", "patient"}, "LOOKUP,CONN1",
                           "claimid");
    pg.user = "brolvin";
    pg.password = "unused";
    {
        SqlConnection c;
        std::string error;
        ASSERT_TRUE(c.connect(sqlConnectionString(pg, 1, "/"), error)) << error;
        ASSERT_TRUE(c.execute("CREATE TABLE claims (claimid varchar(10), amount numeric(9,2), patient text)", {},
                              error))
            << error;
    }
    test::FixedPlatform platform;
    RunContext ctx{platform};
    DbMapTable map = {pg};
    for (int i = 0; i < 2; ++i) {
        FieldTable fields = {field("claimid", "C1"), field("amount", "12.50"), field("patient", "O'BRIEN")};
        std::string log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
        bool added = log.find("Added Record Key=C1 Record Number 1\r\n") != std::string::npos;
        EXPECT_EQ(added, i == 0) << log;
        EXPECT_NE(log.find("xindex(0) Select Field=claimid  Data=C1\r\n"), std::string::npos) << log;
    }
    SqlConnection c;
    std::string error;
    ASSERT_TRUE(c.connect(sqlConnectionString(pg, 1, "/"), error)) << error;
    bool has = false;
    ASSERT_TRUE(c.queryHasRow("SELECT * FROM claims WHERE patient=? AND amount=12.5", {"O'BRIEN"}, has, error))
        << error;
    EXPECT_TRUE(has);

    // Connection form 0 reaches the server by host and port, without a data
    // source; an empty date is NULL, which a date column takes.
    ASSERT_TRUE(c.execute("CREATE TABLE visits (claimid varchar(10), svcdate date)", {}, error)) << error;
    DbMapRow direct = tableRow("visits", pgDriver, "postgres", {"claimid", "svcdate"}, "");
    direct.server = "127.0.0.1:" + port;
    direct.user = "brolvin";
    for (const char* date : {"20260115", ""}) {
        FieldTable fields = {field("claimid", "V1"), field("svcdate", date)};
        std::string log = writeRecordToTables(fields, {direct}, "/", false, 0, std::nullopt, ctx);
        EXPECT_EQ(log.find("Error"), std::string::npos) << log;
    }
    long long n = 0;
    ASSERT_TRUE(c.queryNumber("SELECT COUNT(*) FROM visits WHERE svcdate IS NULL OR svcdate='2026-01-15'", n, error))
        << error;
    EXPECT_EQ(n, 2);
}

}  // namespace
}  // namespace brolvin
