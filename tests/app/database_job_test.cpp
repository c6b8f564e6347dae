// The command line reaches the database export through "DBMAP=".
#include <gtest/gtest.h>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/job_driver.h"
#include "dbexport/dbf_table.h"
#include "dbexport/sql_connection.h"
#include "util/file_io.h"
#include "util/os.h"
#include "support/fixed_platform.h"
#include "dbexport/db_test_support.h"

namespace brolvin {

namespace {

const char* const kClaims =
    "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~"
    "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~"
    "CLM*A1*100~NM1*QC*1*O'BRIEN~CLM*A2*250~NM1*QC*1*SMITH~SE*6*0001~GE*1*1~IEA*1*000000101~";

const char* const kMap =
    "KEYFIELD=CLM\r\n"
    "FIELD=CLAIMID,10,CLM,,,1,,,,0\r\n"
    "FIELD=AMOUNT,9,CLM,,,2,,,,0\r\n"
    "FIELD=PATIENT,20,NM1,QC,2,3,,,,0\r\n";

class DatabaseJobTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};

    DriverResult run(const std::string& type, const std::string& options, const std::string& source = "claims.x12") {
        DriverArgs args;
        args.conversionType = type;
        args.source = source;
        args.destination = "";
        args.options = options;
        return CTLD48403(args, ctx);
    }
};

}  // namespace

TEST_F(DatabaseJobTest, ClaimsLoadIntoSqliteWithBoundValues) {
#if !defined(BROLVIN_HAVE_ODBC)
    GTEST_SKIP() << "built without unixODBC";
#else
    std::string driver = test::findDriver("libsqlite3odbc.so");
    if (driver.empty()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    write("claims.x12", kClaims);
    write("claims.cfg", kMap);
    std::string database = (dir_ / "claims.db").string();
    write("db.cfg", "TABLE=CLAIMS\r\nDRIVER=" + driver + "\r\nDSN=" + database +
                        "\r\nFIELD=CLAIMID\r\nFIELD=AMOUNT\r\nFIELD=PATIENT\r\nKEYFIELD=CLAIMID\r\nOPTIONS=LOOKUP\r\n");
    SqlConnection c;
    std::string error;
    std::string connection = "Driver={" + driver + "};Database=" + database + ";";
    ASSERT_TRUE(c.connect(connection, error)) << error;
    ASSERT_TRUE(c.execute("CREATE TABLE CLAIMS (CLAIMID varchar(10), AMOUNT varchar(9), PATIENT varchar(20))", {},
                          error));

    DriverResult r = run("X12,ODBC", "MAP=claims.cfg,DBMAP=db.cfg");
    EXPECT_EQ(r.exitStatus, kExitConverted);
    EXPECT_NE(r.runLog.find(" - Parse X12 to ODBC.\r\n"), std::string::npos);
    EXPECT_NE(r.runLog.find("Table 1 - CLAIMS\r\n"), std::string::npos);
    EXPECT_NE(r.runLog.find("Added Record Key=A1"), std::string::npos);
    long long n = 0;
    ASSERT_TRUE(c.queryNumber("SELECT COUNT(*) FROM CLAIMS", n, error)) << error;
    EXPECT_EQ(n, 2);
    bool has = false;
    ASSERT_TRUE(c.queryHasRow("SELECT * FROM CLAIMS WHERE PATIENT=?", {"O'BRIEN"}, has, error)) << error;
    EXPECT_TRUE(has);
#endif
}

TEST_F(DatabaseJobTest, WithoutDatabaseMapTheTypeRunsNothing) {
    write("claims.x12", kClaims);
    DriverResult r = run("X12,ODBC", "MAP=claims.cfg");
    EXPECT_EQ(r.exitStatus, kExitNotConverted);
    EXPECT_EQ(r.runLog.find("Parse X12 to ODBC"), std::string::npos);
}

// Claims with service lines, line by line into SQLite ("ML"): every line
// lands in the columns the database map names; a second run adds nothing.
TEST_F(DatabaseJobTest, ServiceLinesLandOnceInSqlite) {
#if !defined(BROLVIN_HAVE_ODBC)
    GTEST_SKIP() << "built without unixODBC";
#else
    std::string driver = test::findDriver("libsqlite3odbc.so");
    if (driver.empty()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    // The shipped 837P map and example: claims PCN1001 (three lines), PCN1002,
    // PCN2001, PCN3001 (three lines) and more, nine lines in all.
    const std::string source = std::string(BROLVIN_SOURCE_DIR) + "/examples/837p-5010.x12";
    const std::string map = std::string(BROLVIN_SOURCE_DIR) + "/maps/837p.cfg";
    std::filesystem::copy_file(source, "lines.x12");
    std::string database = (dir_ / "lines.db").string();
    write("db.cfg", "TABLE=LINES\r\nDRIVER=" + driver + "\r\nDSN=" + database +
                        "\r\nFIELD=TOTALCHARGE\r\nFIELD=LINECHARGE1\r\nFIELD=PROCCODE1\r\nFIELD=LINENUMBER1\r\n"
                        "FIELD=CLAIMID\r\nKEYFIELD=CLAIMID+LINENUMBER1\r\nOPTIONS=LOOKUP,CREATE\r\n");
    for (int i = 0; i < 2; ++i) {
        DriverResult r = run("X12,ODBC", "ML,MAP=" + map + ",DBMAP=db.cfg", "lines.x12");
        EXPECT_EQ(r.exitStatus, kExitConverted) << r.runLog;
        EXPECT_EQ(r.runLog.find("Added Record Key=") == std::string::npos, i == 1) << r.runLog;
    }
    SqlConnection c;
    std::string error;
    ASSERT_TRUE(c.connect("Driver={" + driver + "};Database=" + database + ";", error)) << error;
    long long n = 0;
    ASSERT_TRUE(c.queryNumber("SELECT COUNT(*) FROM LINES", n, error)) << error;
    EXPECT_EQ(n, 9);
    bool has = false;
    for (const char* where : {"CLAIMID='PCN1001' AND LINENUMBER1='2' AND PROCCODE1='81002' AND LINECHARGE1='25'",
                              "CLAIMID='PCN1001' AND LINENUMBER1='3' AND TOTALCHARGE='250'",
                              "CLAIMID='PCN3001' AND LINENUMBER1='3' AND PROCCODE1='90460'"}) {
        ASSERT_TRUE(c.queryHasRow(std::string("SELECT * FROM LINES WHERE ") + where, {}, has, error)) << error;
        EXPECT_TRUE(has) << where;
    }
#endif
}

// A table write that fails is a clear line and exit 1, and "DS" keeps the
// source; a lock let go within the wait is no failure.
TEST_F(DatabaseJobTest, AFailedTableWriteIsExitOneAndKeepsTheSource) {
    write("claims.cfg", kMap);
    std::filesystem::create_directory("db");
    struct Case {
        std::string dbMap, reason;
    };
    const Case cases[] = {
        {"TABLE=CLAIMS\r\nDRIVER=DBF\r\nDIRECTORY=db\r\nFIELD=CLAIMID\r\n",
         std::string("** Error: table file db") + os::kNativeSeparator + "CLAIMS.dbf does not exist"},
        {"TABLE=../CLAIMS\r\nDRIVER=DBF\r\nDIRECTORY=db\r\nFIELD=CLAIMID\r\n",
         "** Error: table name \"../CLAIMS\" is not a plain file name"},
        {"TABLE=CLAIMS\r\nDRIVER=NoSuchDriver\r\nDSN=claims\r\nFIELD=CLAIMID\r\n", "Unable connect to server "},
    };
    for (const Case& c : cases) {
        write("claims.x12", kClaims);
        write("db.cfg", c.dbMap);
        DriverResult r = run("X12,ODBC", "DS,MAP=claims.cfg,DBMAP=db.cfg");
        EXPECT_EQ(r.exitStatus, kExitNotConverted) << c.reason;
        EXPECT_TRUE(fileExists("claims.x12")) << c.reason;
        size_t at = r.runLog.find(c.reason);
        EXPECT_NE(at, std::string::npos) << r.runLog;
        EXPECT_EQ(r.runLog.find(c.reason, at + 1), std::string::npos) << "logged once: " << c.reason;
        EXPECT_NE(r.runLog.find(" - Source File Kept : claims.x12\r\n"), std::string::npos);
        EXPECT_NE(r.runLog.find(" - Database Write Errors : 2 (rows not written, see the Error lines above)\r\n"),
                  std::string::npos)
            << r.runLog;
    }

    ASSERT_TRUE(createDbfTable("db/CLAIMS.dbf", {{"CLAIMID", 'C', 10, 0, 0}}, platform.fixedNow));
    int held = os::openFile("db/CLAIMS.dbf", O_RDWR);
    ASSERT_EQ(os::tryLockExclusive(held), os::Lock::kLocked);
    std::thread release([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        os::closeFile(held);
    });
    write("db.cfg", cases[0].dbMap);
    DriverResult r = run("X12,ODBC", "DS,MAP=claims.cfg,DBMAP=db.cfg");
    release.join();
    EXPECT_EQ(r.exitStatus, kExitConverted) << r.runLog;
    EXPECT_FALSE(fileExists("claims.x12"));
}

}  // namespace brolvin
