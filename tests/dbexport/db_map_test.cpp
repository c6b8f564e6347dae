#include "dbexport/db_map.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"

namespace brolvin {

namespace {

using Strings = std::vector<std::string>;

class DbMapTest : public test::TempDirTest {
protected:
    DbMapTable load(const std::string& content) {
        write("db.map", content);
        std::optional<DbMapTable> t = loadDatabaseMap("db.map");
        EXPECT_TRUE(t.has_value());
        return t.value_or(DbMapTable{});
    }
};

}  // namespace

TEST_F(DbMapTest, TableEntryWithItsColumnsAndFieldList) {
    DbMapTable t = load(
        "TABLE=CLAIMS\r\n"
        "  driver=DBF\r\n"
        "DIRECTORY=data\r\n"
        "FIELD=CLAIMID\r\n"
        "KEYFIELD=CLAIMID\r\n"
        "Field=Amount  \r\n"
        "TRANSACTIONTYPE=837\r\n"
        "USER=u\r\nPASSWORD=p\r\nOPTIONS=A,B\r\nDRIVE=c:\r\n"
        "NOTAKEY=1\r\n");
    ASSERT_EQ(t.size(), 1u);
    const DbMapRow& row = t[0];
    EXPECT_EQ(row.tableName, "CLAIMS");
    EXPECT_EQ(row.driver, "DBF");
    EXPECT_EQ(row.dataSource, "data");
    EXPECT_EQ(row.server, "c:");
    EXPECT_EQ(row.keyField, "CLAIMID");
    EXPECT_EQ(row.fields, "CLAIMID\r\nAmount\r\n");
    EXPECT_EQ(row.transactionType, "837");
    EXPECT_EQ(row.user, "u");
    EXPECT_EQ(row.password, "p");
    EXPECT_EQ(row.options, "A,B");
    EXPECT_EQ(databaseFieldList(t, 1), (Strings{"CLAIMID", "Amount"}));
}

TEST_F(DbMapTest, SharedColumnsTakeTheLaterLine) {
    DbMapTable t = load(
        "TABLE=A\r\nDSN=odbc1\r\nSERVER=srv\r\nDIRECTORY=dir\r\nDRIVE=d:\r\n"
        "TABLE=B\r\nDIRECTORY=dir\r\nDSN=odbc2\r\n");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].dataSource, "dir");
    EXPECT_EQ(t[0].server, "d:");
    EXPECT_EQ(t[1].tableName, "B");
    EXPECT_EQ(t[1].dataSource, "odbc2");
}

TEST_F(DbMapTest, LineEndsAndLinesOutsideATable) {
    // Lines before the first TABLE= and under a table without a name belong
    // to no entry; a line feed alone ends a line as CR LF does; the last line
    // without a line end is dropped.
    DbMapTable t = load(
        "DRIVER=early\r\n"
        "TABLE=\r\nDRIVER=nameless\r\n"
        "TABLE=T\nX\r\nDRIVER=ODBC\nFIELD=ONE\r\nFIELD=TWO");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].tableName, "");
    EXPECT_EQ(t[0].driver, "");
    EXPECT_EQ(t[1].tableName, "T");
    EXPECT_EQ(t[1].driver, "ODBC");
    EXPECT_EQ(databaseFieldList(t, 2), Strings{"ONE"});

    // Without any TABLE= line: one row of empty texts, one empty field name.
    t = load("DRIVER=DBF\r\nFIELD=A\r\n");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].driver, "");
    EXPECT_EQ(databaseFieldList(t, 1), Strings{""});
    EXPECT_EQ(load("").size(), 1u);

    EXPECT_FALSE(loadDatabaseMap("missing.map").has_value());
}

TEST(DbMapFieldList, NamesKeepTheirPositions) {
    DbMapTable t(1);
    t[0].fields = "A\r\n\r\nB\r\n";  // an empty FIELD= line holds its position
    EXPECT_EQ(databaseFieldList(t, 1), (Strings{"A", "", "B"}));
    t[0].fields = "A\r\nB";
    EXPECT_EQ(databaseFieldList(t, 1), (Strings{"A", "B"}));
    EXPECT_EQ(databaseFieldList(t, 0), Strings{""});
    EXPECT_EQ(databaseFieldList(t, 2), Strings{""});
}

}  // namespace brolvin
