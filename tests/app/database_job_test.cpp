// The command line reaches the database export through "DBMAP=".
#include <gtest/gtest.h>

#include "app/job_driver.h"
#include "dbexport/sql_connection.h"
#include "support/fixed_platform.h"
#include "tests/dbexport/db_test_support.h"

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

    DriverResult run(const std::string& type, const std::string& options) {
        DriverArgs args;
        args.conversionType = type;
        args.source = "claims.x12";
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

}  // namespace brolvin
