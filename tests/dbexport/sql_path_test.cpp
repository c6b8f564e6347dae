#include <gtest/gtest.h>

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

class SqlPathTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};
    std::string driver;

    void SetUp() override {
        test::TempDirTest::SetUp();
        driver = findDriver("libsqlite3odbc.so");
        if (!haveOdbc() || driver.empty()) GTEST_SKIP() << "unixODBC or the SQLite ODBC driver is not installed";
        SqlConnection c;
        std::string error;
        ASSERT_TRUE(c.connect(connection(), error)) << error;
        ASSERT_TRUE(c.execute("CREATE TABLE CLAIMS (CLAIMID varchar(10), PATIENT varchar(20), AMOUNT varchar(9))",
                              {}, error))
            << error;
    }
    std::string database() { return (dir_ / "claims.db").string(); }
    std::string connection() { return "Driver={" + driver + "};Database=" + database() + ";"; }
    // A map row of connection form 0, which SQLite reads as the database file.
    DbMapRow row(const std::string& options, std::vector<std::string> fields = {"CLAIMID", "PATIENT", "AMOUNT"}) {
        return tableRow("CLAIMS", driver, database(), fields, options, "CLAIMID");
    }
    long long count(const std::string& where, const std::vector<std::string>& params) {
        SqlConnection c;
        std::string error;
        bool has = false;
        EXPECT_TRUE(c.connect(connection(), error)) << error;
        long long n = 0;
        EXPECT_TRUE(c.queryNumber("SELECT COUNT(*) FROM CLAIMS", n, error));
        if (!where.empty()) {
            EXPECT_TRUE(c.queryHasRow("SELECT * FROM CLAIMS WHERE " + where, params, has, error)) << error;
            return has ? n : -n;
        }
        return n;
    }
};

TEST_F(SqlPathTest, InsertsValuesWithQuotesAndCutsOverlongOnes) {
    FieldTable fields = {field("CLAIMID", "C1"), field("PATIENT", "O'BRIEN", "0", "5"),
                         field("AMOUNT", "x'); DROP TABLE CLAIMS; --", "1", ""), field("", "kept?", "0")};
    DbMapTable map = {row("")};
    std::string log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_EQ(log,
              "- Database Parser : 12/08/26 09:05:07\r\n"
              "Table 1 - CLAIMS\r\n"
              "** ALERT:(Truncated Data)- Field PATIENT\r\n"
              "** Field Width=5 Data Width=7\r\n"
              "Connection :         1\r\n"
              "Added Record Key=C1 Record Number 1\r\n");
    EXPECT_TRUE(ctx.isoDateFormat);
    EXPECT_EQ(fields[0].value, "");
    EXPECT_EQ(fields[2].value, "x'); DROP TABLE CLAIMS; --");  // Level 1 stays
    EXPECT_EQ(fields[3].value, "");
    EXPECT_EQ(count("CLAIMID=? AND PATIENT=? AND AMOUNT=?", {"C1", "O'BRI", "x'); DROP TABLE CLAIMS; --"}), 1);

    fields = {field("CLAIMID", "C2"), field("PATIENT", "O'BRIEN", "0", "20"), field("AMOUNT", "")};
    writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_EQ(count("CLAIMID=? AND PATIENT=?", {"C2", "O'BRIEN"}), 2);
}

TEST_F(SqlPathTest, LookupSkipsAPresentKeyAndTheSecondTableInheritsIt) {
    DbMapTable map = {row("LOOKUP"), row("")};
    FieldTable fields = {field("CLAIMID", "C1"), field("PATIENT", "A"), field("AMOUNT", "1")};
    std::string log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_EQ(log,
              "- Database Parser : 12/08/26 09:05:07\r\n"
              "Table 1 - CLAIMS\r\n"
              "Connection :         1\r\n"
              "xindex(0) Select Field=CLAIMID  Data=C1\r\n"
              "Added Record Key=C1 Record Number 1\r\n"
              "Table 2 - CLAIMS\r\n"
              "Connection :         1\r\n"  // the same database: one connection
              "xindex(0) Select Field=CLAIMID  Data=C1\r\n");
    fields = {field("CLAIMID", "C1"), field("PATIENT", "B"), field("AMOUNT", "2")};
    map = {row("LOOKUP,INDEX1")};
    log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_EQ(log,
              "- Database Parser : 2026.12.08 09:05:07\r\n"
              "Table 1 - CLAIMS\r\n"
              "Connection :         1\r\n"
              "xindex(1) Select Field=CLAIMID  Data=C1\r\n");
    EXPECT_EQ(count("", {}), 1);
}

TEST_F(SqlPathTest, FailuresAreReported) {
    // SQLite takes no DBQ= key, so form 2 cannot open a database: one line
    // with the driver's reason; the later row is written all the same.
    DbMapTable map = {row("CONN2"), row("CONN0")};
    FieldTable fields = {field("CLAIMID", "C1")};
    std::string log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    size_t failure = log.find("Table 1 - CLAIMS\r\nUnable connect to server ");
    ASSERT_NE(failure, std::string::npos) << log;
    EXPECT_NE(log.substr(failure).find("connect failed"), std::string::npos) << log;
    EXPECT_EQ(count("", {}), 1);

    map = {row("", {"CLAIMID", "NOSUCH"})};
    map[0].tableName = "NOSUCHTABLE";
    fields = {field("CLAIMID", "C9"), field("NOSUCH", "v")};
    log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_NE(log.find("Connection :         1\r\nError Unable to Add Record Key=C9\r\n"), std::string::npos) << log;
}

// The INSERT names its columns, so their order in the table does not
// matter; every service line lands; empty Values are NULL unless EMPTYTEXT.
TEST_F(SqlPathTest, ColumnsByNameNullsAndEveryServiceLine) {
    SqlConnection c;
    std::string error;
    ASSERT_TRUE(c.connect(connection(), error)) << error;
    ASSERT_TRUE(c.execute("CREATE TABLE LINES (AMOUNT varchar(9), CHG1 varchar(9), CLAIMID varchar(10))", {}, error));
    DbMapTable map = {tableRow("LINES", driver, database(), {"CLAIMID", "CHG1", "AMOUNT"}, ""),
                      tableRow("LINES", driver, database(), {"CLAIMID", "CHG1", "AMOUNT"}, "EMPTYTEXT")};
    {
        ExportSession session;
        FieldTable fields = {field("CLAIMID", "C1"), field("CHG1", "10", "0", "", "1"),
                             field("CHG2", "20", "0", "", "2"), field("AMOUNT", ""), field("END", "")};
        for (long long line = 1; line <= 2; ++line)
            writeRecordToTables(fields, map, "/", true, line, 2, ctx, session);
        EXPECT_EQ(session.finish(), "");
        EXPECT_EQ(session.failedWrites(), 0);
    }
    bool has = false;
    for (const char* where : {"CLAIMID='C1' AND CHG1='10' AND AMOUNT IS NULL", "CLAIMID='C1' AND CHG1='20' AND AMOUNT=''"}) {
        ASSERT_TRUE(c.queryHasRow(std::string("SELECT * FROM LINES WHERE ") + where, {}, has, error)) << error;
        EXPECT_TRUE(has) << where;
    }
    long long n = 0;
    ASSERT_TRUE(c.queryNumber("SELECT COUNT(*) FROM LINES", n, error));
    EXPECT_EQ(n, 4);
}

// Names go into SQL text only when they are plain names; a table entry
// with another name is refused before any connection, once for the job.
TEST_F(SqlPathTest, NamesThatAreNotPlainAreRefused) {
    struct Case {
        DbMapRow row;
        std::string reason;
    };
    const Case cases[] = {
        {row("", {"CLAIMID"}), "table name \"CLAIMS SELECT * FROM X\" is not a plain SQL name"},
        {row("", {"CLAIMID", "PATIENT) VALUES ('x');--"}), "FIELD=PATIENT) VALUES ('x');-- is not a plain SQL name"},
        {row("LOOKUP", {"CLAIMID"}), "KEYFIELD=CLAIMID OR 1=1 is not a plain SQL name"},
    };
    for (Case c : cases) {
        if (c.reason.find("table name") != std::string::npos) c.row.tableName = "CLAIMS SELECT * FROM X";
        if (c.reason.find("KEYFIELD") != std::string::npos) c.row.keyField = "CLAIMID OR 1=1";
        ExportSession session;
        std::string log;
        for (int i = 0; i < 2; ++i) {
            FieldTable fields = {field("CLAIMID", "C1")};
            log += writeRecordToTables(fields, {c.row}, "/", false, 0, std::nullopt, ctx, session);
        }
        EXPECT_NE(log.find("Error Unable to Add Record Key=C1\r\n** Error: " + c.reason +
                           "; no further records are written to this table\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("Connection :"), std::string::npos);
        EXPECT_EQ(session.failedWrites(), 2);
    }
    EXPECT_EQ(count("", {}), 0);
}

TEST_F(SqlPathTest, AMissingDatabaseIsAnErrorUnlessCreateAsksForIt) {
    std::string missing = (dir_ / "typo.db").string();
    DbMapTable map = {tableRow("CLAIMS", driver, missing, {"CLAIMID"}, "")};
    FieldTable fields = {field("CLAIMID", "C1")};
    std::string log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_NE(log.find("Unable connect to server SQLite database " + missing + " does not exist\r\n"),
              std::string::npos)
        << log;
    EXPECT_FALSE(std::filesystem::exists(missing));

    map[0].options = "CREATE";
    fields = {field("CLAIMID", "C1", "0", "12")};
    log = writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx);
    EXPECT_NE(log.find("Added Record Key=C1 Record Number 1\r\n"), std::string::npos) << log;
    SqlConnection c;
    std::string error;
    bool has = false;
    ASSERT_TRUE(c.connect("Driver={" + driver + "};Database=" + missing + ";", error)) << error;
    ASSERT_TRUE(c.queryHasRow("SELECT * FROM CLAIMS WHERE CLAIMID='C1'", {}, has, error)) << error;
    EXPECT_TRUE(has);
}

// A row the database refuses is reported with the table, the key and the
// driver's message; the rows before and after it are kept.
TEST_F(SqlPathTest, ARefusedRowKeepsTheOthers) {
    SqlConnection c;
    std::string error;
    ASSERT_TRUE(c.connect(connection(), error)) << error;
    ASSERT_TRUE(c.execute("CREATE TABLE STRICT1 (CLAIMID varchar(10) CHECK (CLAIMID <> 'BAD'))", {}, error));
    DbMapTable map = {tableRow("STRICT1", driver, database(), {"CLAIMID"}, "")};
    ExportSession session;
    std::string log;
    for (const char* id : {"C1", "BAD", "C2"}) {
        FieldTable fields = {field("CLAIMID", id)};
        log += writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx, session);
    }
    log += session.finish();
    EXPECT_NE(log.find("Table 1 - STRICT1 Error Unable to Add Record Key=BAD\r\n** Error: "), std::string::npos)
        << log;
    EXPECT_NE(log.find("CHECK constraint failed"), std::string::npos) << log;
    EXPECT_EQ(session.failedWrites(), 1);
    long long n = 0;
    ASSERT_TRUE(c.queryNumber("SELECT COUNT(*) FROM STRICT1", n, error));
    EXPECT_EQ(n, 2);
}

}  // namespace
}  // namespace brolvin

namespace brolvin {
namespace {

// Holds with and without ODBC support in the build: an unknown driver gives
// the failure line with a reason after it, once for the job, and the
// record counts as not written.
TEST(SqlConnectFailureTest, UnknownDriverGivesTheFailureLineOnce) {
    test::FixedPlatform platform;
    RunContext ctx{platform};
    ExportSession session;
    DbMapTable map = {test::tableRow("CLAIMS", "NoSuchDriver", "nowhere", {"CLAIMID"}, "CONN1")};
    std::string log;
    for (int i = 0; i < 3; ++i) {
        FieldTable fields = {test::field("CLAIMID", "C1")};
        log += writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx, session);
    }
    size_t line = log.find("Table 1 - CLAIMS\r\nUnable connect to server ");
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_GT(log.find("\r\n", line + 18), line + 18 + std::string("Unable connect to server ").size());
    EXPECT_EQ(log.find("Unable connect", line + 20), std::string::npos) << log;
    EXPECT_NE(log.find("** Error: no further records are written to this table\r\n"), std::string::npos);
    EXPECT_EQ(session.failedWrites(), 3);
    EXPECT_TRUE(ctx.isoDateFormat);
}

}  // namespace
}  // namespace brolvin
