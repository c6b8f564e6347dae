#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "dbexport/cdx_index.h"
#include "dbexport/dbf_table.h"
#include "dbexport/dbf_values.h"
#include "dbexport/index_key.h"
#include "dbexport/ntx_index.h"
#include "dbexport/table_writer.h"
#include "util/os.h"
#include "util/text.h"
#include "support/fixed_platform.h"
#include "dbexport/db_test_support.h"

namespace brolvin {
namespace {

using test::field;
using test::tableRow;

const std::string kHeader = "- Database Parser : 12/08/26 09:05:07\r\n";

class TableFileTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};

    void makeClaimsTable(const std::string& base) {
        ASSERT_TRUE(createDbfTable(base + ".dbf",
                                   {{"CLAIMID", 'C', 10, 0, 0}, {"PATIENT", 'C', 20, 0, 0}, {"AMOUNT", 'N', 9, 2, 0}},
                                   platform.fixedNow));
    }
    std::vector<std::vector<std::string>> records(const std::string& path) {
        DbfTable t;
        std::vector<std::vector<std::string>> all;
        EXPECT_TRUE(t.open(path, false));
        for (uint32_t r = 1; r <= t.recordCount(); ++r) {
            std::vector<std::string> v;
            EXPECT_TRUE(t.readRecord(r, v));
            all.push_back(v);
        }
        return all;
    }
    FieldTable claim(const std::string& id, const std::string& patient, const std::string& amount) {
        return {field("CLAIMID", id), field("PATIENT", patient), field("AMOUNT", amount)};
    }
};

TEST(TableOptionsTest, WordsCountOnlyFromTheirBeginningAndLaterOptionsWin) {
    EXPECT_TRUE(optionListHas("add,lookup", kOptLookup));
    EXPECT_FALSE(optionListHas("ADD, LOOKUP", kOptLookup));  // the leading space spoils the word
    EXPECT_TRUE(optionListHas("INDEXCDXTAG", kOptIndexCdx));
    EXPECT_FALSE(optionListHas("ADD,,", kOptLookup));
    EXPECT_FALSE(optionListHas("", kOptAdd));
    EXPECT_FALSE(optionWordIs("LOOKUP", 10));

    TableSettings s;
    applyTableOptions("LOOKUP,ADD,INDEXCDX,INDEXNTX,CONN2", s);
    EXPECT_TRUE(s.lookup);
    EXPECT_EQ(s.indexKind, 3);
    EXPECT_EQ(s.connectionForm, 2);
    applyTableOptions("", s);  // nothing resets the running settings
    EXPECT_TRUE(s.lookup);
    EXPECT_EQ(s.indexKind, 3);
}

TEST(TableOptionsTest, FieldListAndConnectionStrings) {
    DbMapTable fieldLists(2);
    fieldLists[0].fields = "CLAIMID\r\nAMOUNT\r\n";
    EXPECT_EQ(databaseFieldList(fieldLists, 1), (std::vector<std::string>{"CLAIMID", "AMOUNT"}));
    EXPECT_EQ(databaseFieldList(fieldLists, 2), (std::vector<std::string>{""}));
    DbMapRow row = tableRow("CLAIMS", "PostgreSQL", "edi", {}, "");
    row.server = "db1";
    row.user = "u";
    row.password = "p";
    EXPECT_EQ(sqlConnectionString(row, 0, "/"), "Driver={PostgreSQL};Server=db1;Database=edi;UID=u;PWD=p;");
    EXPECT_EQ(sqlConnectionString(row, 1, "/"), "driver={PostgreSQL};DSN=edi;UID=u;pwd=p;");
    EXPECT_EQ(sqlConnectionString(row, 2, "/"), "DBQ=db1/edi/CLAIMS;Driver={PostgreSQL}");
    // A port after the host; a value with ";" cannot add attributes of its own.
    row.server = "db1:5433";
    row.password = "p;UID=root";
    EXPECT_EQ(sqlConnectionString(row, 0, "/"),
              "Driver={PostgreSQL};Server=db1;Port=5433;Database=edi;UID=u;PWD={p;UID=root};");
}

TEST(FieldCopierTest, ServiceLineFieldsFindTheirNumberedNameAndLevelZeroClearsOnTheLastLine) {
    FieldTable fields = {field("CLAIMID", "C1"), field("SENDER", "S", "1"), field("CHG1", "10", "4", "", "1"),
                         field("CHG2", "20", "4", "", "2")};
    std::vector<std::string> list = {"CLAIMID", "CHG1", "SENDER"};
    std::vector<std::string> record(3);
    CTL48500F(fields, list, false, 2, 2, record);
    EXPECT_EQ(record, (std::vector<std::string>{"C1", "20", "S"}));
    EXPECT_EQ(fields[0].value, "");
    EXPECT_EQ(fields[1].value, "S");
    EXPECT_EQ(fields[3].occurrenceCount, 0);

    fields[0].value = "C2";
    record.assign(3, "");
    CTL48500F(fields, list, false, 1, 2, record);  // not the last line: nothing is cleared
    EXPECT_EQ(record[1], "10");
    EXPECT_EQ(fields[0].value, "C2");
}

TEST(SnapshotTest, RestoreBringsBackEveryAttribute) {
    FieldTable fields = {field("A", "1"), field("B", "2", "1")};
    FieldTable snap = CTL48500G(fields, FieldTable(fields.size()));
    fields[0].value.clear();
    fields[1].occurrenceCount = 0;
    fields[1].level = "9";
    CTL48500H(fields, snap);
    EXPECT_EQ(fields[0].value, "1");
    EXPECT_EQ(fields[1].occurrenceCount, 3);
    EXPECT_EQ(fields[1].level, "1");
}

TEST_F(TableFileTest, LookupWithCdxAddsANewKeyOnceAndSkipsAPresentOne) {
    makeClaimsTable("CLAIMS");
    ASSERT_TRUE(createCdxIndex("CLAIMS.cdx", "CLAIMID", "CLAIMID", 10));
    DbMapTable map = {tableRow("CLAIMS", "DBFCDX", "", {"CLAIMID", "PATIENT", "AMOUNT"}, "LOOKUP,INDEXCDX")};

    FieldTable fields = claim("C100", "SMITH", "12.50");
    EXPECT_EQ(writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx),
              kHeader + "Table 1 - CLAIMS Added Record Key=C100 Record Number 1\r\n");
    EXPECT_EQ(fields[0].value, "");  // plain mode clears the record's Values

    fields = claim("C100", "SMITH", "12.50");
    EXPECT_EQ(writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx), kHeader);
    EXPECT_EQ(fields[0].value, "");

    fields = claim("C10", "JONES", "7");  // a prefix of a present key is still a new key
    EXPECT_EQ(writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx),
              kHeader + "Table 1 - CLAIMS Added Record Key=C10 Record Number 2\r\n");

    auto rows = records("CLAIMS.dbf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"C100      ", "SMITH               ", "    12.50"}));
    EXPECT_EQ(rows[1][0], "C10       ");
    CdxIndex cdx;
    ASSERT_TRUE(cdx.open("CLAIMS.cdx", false));
    std::vector<IndexEntry> entries;
    ASSERT_TRUE(cdx.allEntries(0, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].key, "C10       ");
    EXPECT_EQ(entries[0].recno, 2u);
}

TEST_F(TableFileTest, SettingsCarryOverToATableWithoutOptionsAndALeadingSpaceSpoilsAWord) {
    makeClaimsTable("A");
    makeClaimsTable("B");
    ASSERT_TRUE(createNtxIndex("A.ntx", "CLAIMID", 10));
    ASSERT_TRUE(createNtxIndex("B.ntx", "UPPER(claimid)", 10));
    DbMapTable map = {tableRow("A", "DBFNTX", "", {"CLAIMID"}, "LOOKUP,INDEXNTX"),
                      tableRow("B", "DBFNTX", "", {"CLAIMID"}, "")};
    for (int i = 0; i < 2; ++i) {
        FieldTable fields = claim("k1", "", "");
        writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx);
    }
    EXPECT_EQ(records("A.dbf").size(), 1u);
    EXPECT_EQ(records("B.dbf").size(), 1u);  // B looked up as well

    DbMapTable spaced = {tableRow("A", "DBFNTX", "", {"CLAIMID"}, "INDEXNTX, LOOKUP")};
    FieldTable fields = claim("k1", "", "");
    EXPECT_EQ(writeRecordToTables(fields, spaced, "", false, 0, std::nullopt, ctx),
              kHeader + "Table 1 - A Added Record Key=k1 Record Number 2\r\n");
}

TEST_F(TableFileTest, FieldNamesAddressTableFieldsByPositionNotByName) {
    makeClaimsTable("CLAIMS");
    DbMapTable map = {tableRow("CLAIMS", "DBF", "", {"PATIENT", "CLAIMID"}, "ADD")};
    FieldTable fields = claim("C1", "DOE", "5");
    writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx);
    auto rows = records("CLAIMS.dbf");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "DOE       ");
    EXPECT_EQ(rows[0][1], "C1                  ");
}

TEST_F(TableFileTest, MissingTableAndUnreadableIndexAreReported) {
    DbMapTable map = {tableRow("NOPE", "DBF", "data", {"CLAIMID"}, "INDEXCDX")};
    FieldTable fields = claim("C1", "", "");
    EXPECT_EQ(writeRecordToTables(fields, map, "/", false, 0, std::nullopt, ctx),
              kHeader + "Table 1 - NOPE Error Unable to Add Record Key=C1\r\n"
                        "** Error: table file data/NOPE.dbf does not exist; no further records are written to this "
                        "table\r\n");

    makeClaimsTable("CLAIMS");
    write("CLAIMS.cdx", "not an index");
    map = {tableRow("CLAIMS", "DBF", "", {"CLAIMID"}, "INDEXCDX")};
    fields = claim("C1", "", "");
    EXPECT_EQ(writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx),
              kHeader + "Table 1 - CLAIMS Error Unable to Add Record Key=C1\r\n"
                        "** Error: index file CLAIMS.cdx cannot be read as a CDX index; no further records are "
                        "written to this table\r\n");
    EXPECT_TRUE(records("CLAIMS.dbf").empty());
}

TEST_F(TableFileTest, WithoutAnIndexLookupScansTheKeyColumn) {
    makeClaimsTable("CLAIMS");
    DbMapTable map = {tableRow("CLAIMS", "DBF", "", {"CLAIMID", "PATIENT"}, "LOOKUP")};
    for (const char* id : {"A1", "A2", "A1"}) {
        FieldTable fields = claim(id, "X", "");
        writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx);
    }
    EXPECT_EQ(records("CLAIMS.dbf").size(), 2u);
}

TEST_F(TableFileTest, ServiceLinesEachBecomeARecord) {
    ASSERT_TRUE(createDbfTable("LINES.dbf", {{"CLAIMID", 'C', 8, 0, 0}, {"CHG", 'C', 8, 0, 0}}, platform.fixedNow));
    DbMapTable map = {tableRow("LINES", "DBF", "", {"CLAIMID", "CHG1"}, "")};
    FieldTable fields = {field("CLAIMID", "C7"), field("CHG1", "10", "4", "", "1"), field("CHG2", "20", "4", "", "2"),
                         field("END", "")};
    writeRecordToTables(fields, map, "", false, 1, 2, ctx);
    EXPECT_EQ(fields[0].value, "C7");
    writeRecordToTables(fields, map, "", false, 2, 2, ctx);
    EXPECT_EQ(fields[0].value, "");
    auto rows = records("LINES.dbf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"C7      ", "10      "}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"C7      ", "20      "}));
}

// Keys in random order, with duplicates, must all come back in order from
// the tree, and every one must be found.
std::vector<std::string> randomKeys(size_t count, size_t width) {
    std::mt19937 rng(4711);
    std::uniform_int_distribution<int> pick(0, 35);
    std::vector<std::string> keys;
    for (size_t i = 0; i < count; ++i) {
        size_t len = 1 + rng() % width;
        std::string k;
        for (size_t j = 0; j < len; ++j) {
            int c = pick(rng);
            k.push_back(static_cast<char>(c < 10 ? '0' + c : 'A' + c - 10));
        }
        keys.push_back(k + std::string(width - len, ' '));
        if (i % 97 == 0) keys.push_back(keys.back());  // a few duplicates
    }
    return keys;
}

void expectSorted(const std::vector<IndexEntry>& entries, std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    ASSERT_EQ(entries.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(entries[i].key, keys[i]) << "at " << i;
        if (i > 0 && entries[i].key == entries[i - 1].key) {
            ASSERT_LT(entries[i - 1].recno, entries[i].recno);
        }
    }
}

TEST_F(TableFileTest, NtxHoldsThousandsOfKeysInOrderAcrossPageSplits) {
    auto keys = randomKeys(6000, 12);
    ASSERT_TRUE(createNtxIndex("big.ntx", "KEY", 12));
    NtxIndex ntx;
    ASSERT_TRUE(ntx.open("big.ntx", true));
    for (size_t i = 0; i < keys.size(); ++i) ASSERT_TRUE(ntx.insert(keys[i], static_cast<uint32_t>(i + 1)));
    ntx.close();
    ASSERT_TRUE(ntx.open("big.ntx", false));
    EXPECT_EQ(ntx.expression(), "KEY");
    std::vector<IndexEntry> entries;
    ASSERT_TRUE(ntx.allEntries(entries));
    expectSorted(entries, keys);
    bool found = false;
    for (size_t i = 0; i < keys.size(); i += 7) {
        ASSERT_TRUE(ntx.seek(keys[i], true, found));
        ASSERT_TRUE(found) << keys[i];
    }
    ASSERT_TRUE(ntx.seek("#", true, found));
    EXPECT_FALSE(found);
    ASSERT_TRUE(ntx.seek("ZZZZZZZZZZZZ", true, found));
    EXPECT_EQ(found, std::count(keys.begin(), keys.end(), "ZZZZZZZZZZZZ") > 0);
}

TEST_F(TableFileTest, CdxHoldsThousandsOfKeysInEveryTagAcrossNodeSplits) {
    auto keys = randomKeys(8000, 20);
    ASSERT_TRUE(createCdxIndex("big.cdx", {{"BYKEY", "KEY", 20}, {"ALSO", "UPPER(KEY)", 20}}));
    CdxIndex cdx;
    ASSERT_TRUE(cdx.open("big.cdx", true));
    ASSERT_EQ(cdx.tags().size(), 2u);
    for (size_t i = 0; i < keys.size(); ++i)
        for (size_t t = 0; t < 2; ++t) ASSERT_TRUE(cdx.insert(t, keys[i], static_cast<uint32_t>(i + 1)));
    cdx.close();
    ASSERT_TRUE(cdx.open("big.cdx", false));
    EXPECT_EQ(cdx.tags()[0].name, "ALSO");
    EXPECT_EQ(cdx.tags()[1].expression, "KEY");
    for (size_t t = 0; t < 2; ++t) {
        std::vector<IndexEntry> tree, chain;
        ASSERT_TRUE(cdx.allEntries(t, tree));
        ASSERT_TRUE(cdx.leafChainEntries(t, chain));
        expectSorted(tree, keys);
        ASSERT_EQ(chain.size(), tree.size());
        EXPECT_TRUE(std::equal(chain.begin(), chain.end(), tree.begin(), [](const auto& a, const auto& b) {
            return a.key == b.key && a.recno == b.recno;
        }));
    }
    bool found = false;
    for (size_t i = 0; i < keys.size(); i += 5) {
        ASSERT_TRUE(cdx.seek(1, keys[i], true, found));
        ASSERT_TRUE(found) << keys[i];
    }
    ASSERT_TRUE(cdx.seek(1, "ZZZZZZZZZZZZZZZZZZZY", true, found));
    EXPECT_EQ(found, std::count(keys.begin(), keys.end(), "ZZZZZZZZZZZZZZZZZZZY") > 0);
}

// Through the writer: every index entry names the record whose key it is.
TEST_F(TableFileTest, WriterKeepsTableAndIndexesConsistent) {
    makeClaimsTable("C");
    makeClaimsTable("N");
    ASSERT_TRUE(createCdxIndex("C.cdx", "CLAIMID", "UPPER(CLAIMID)", 10));
    ASSERT_TRUE(createNtxIndex("N.ntx", "C->CLAIMID+PATIENT", 30));
    DbMapTable cdxMap = {tableRow("C", "DBF", "", {"CLAIMID", "PATIENT"}, "LOOKUP,INDEXCDX")};
    DbMapTable ntxMap = {tableRow("N", "DBF", "", {"CLAIMID", "PATIENT"}, "LOOKUP,INDEXNTX")};
    std::set<std::string> distinct, distinctPairs;
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string id = "c" + std::to_string(rng() % 2000);
        std::string patient = "P" + std::to_string(i % 3);
        distinct.insert(toUpper(id));
        distinctPairs.insert(id + "/" + patient);
        FieldTable f1 = claim(id, patient, "1");
        writeRecordToTables(f1, cdxMap, "", false, 0, std::nullopt, ctx);
        FieldTable f2 = claim(id, patient, "1");
        writeRecordToTables(f2, ntxMap, "", false, 0, std::nullopt, ctx);
    }
    auto cdxRows = records("C.dbf");
    auto ntxRows = records("N.dbf");
    EXPECT_EQ(cdxRows.size(), distinct.size());       // upper-cased keys: c1 and C1 would be one
    EXPECT_EQ(ntxRows.size(), distinctPairs.size());  // the whole key decides: one record per id and patient

    CdxIndex cdx;
    ASSERT_TRUE(cdx.open("C.cdx", false));
    std::vector<IndexEntry> entries;
    ASSERT_TRUE(cdx.allEntries(0, entries));
    ASSERT_EQ(entries.size(), cdxRows.size());
    for (const IndexEntry& e : entries) ASSERT_EQ(e.key, toUpper(cdxRows[e.recno - 1][0]));

    NtxIndex ntx;
    ASSERT_TRUE(ntx.open("N.ntx", false));
    ASSERT_TRUE(ntx.allEntries(entries));
    ASSERT_EQ(entries.size(), ntxRows.size());
    for (const IndexEntry& e : entries) ASSERT_EQ(e.key, ntxRows[e.recno - 1][0] + ntxRows[e.recno - 1][1]);
}

TEST_F(TableFileTest, AnIndependentReaderReadsTheTable) {
    // The distribution's Python carries the packaged reader; another python3
    // may come first on the path.
    int status = 0;
    std::string python = test::runCommand(
        "for p in /usr/bin/python3 python3; do $p -c 'import dbfread' 2>/dev/null && echo $p && break; done",
        status);
    if (python.empty()) GTEST_SKIP() << "python3 with dbfread is not installed";
    python.pop_back();
    makeClaimsTable("CLAIMS");
    DbMapTable map = {tableRow("CLAIMS", "DBF", "", {"CLAIMID", "PATIENT", "AMOUNT"}, "")};
    FieldTable fields = claim("C1", "O'BRIEN", "12.5");
    writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx);
    fields = claim("C2", "", "");
    writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx);
    std::string out = test::runCommand(
        python + " -c \"import dbfread; t=dbfread.DBF('CLAIMS.dbf'); "
        "print(t.date, len(t)); [print(repr(dict(r))) for r in t]\"",
        status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out,
              "2026-12-08 2\n"
              "{'CLAIMID': 'C1', 'PATIENT': \"O'BRIEN\", 'AMOUNT': 12.5}\n"
              "{'CLAIMID': 'C2', 'PATIENT': '', 'AMOUNT': None}\n");
}

TEST_F(TableFileTest, ValuesAFieldCannotHoldLeaveItBlankWithAnAlert) {
    makeClaimsTable("CLAIMS");
    DbMapTable map = {tableRow("CLAIMS", "DBF", "", {"CLAIMID", "PATIENT", "AMOUNT"}, "")};
    FieldTable fields = claim("C1", "A NAME LONGER THAN TWENTY", "1234567890.50");
    EXPECT_EQ(writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx),
              kHeader +
                  "** ALERT:(Truncated Data)- Field PATIENT\r\n"
                  "** Field Width=20 Data Width=25\r\n"
                  "** ALERT:(Invalid Data)- Field AMOUNT Value=1234567890.50 Key=C1 left blank: does not fit "
                  "N(9,2)\r\n"
                  "Table 1 - CLAIMS Added Record Key=C1 Record Number 1\r\n");
    auto rows = records("CLAIMS.dbf");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "A NAME LONGER THAN T");
    EXPECT_EQ(rows[0][2], "         ");
}

// LOOKUP seeks the tag KEYFIELD= names, not the first tag of the file; a
// date tag holds Julian days as binary numbers.
TEST_F(TableFileTest, CdxLookupSeeksTheTagKeyfieldNames) {
    ASSERT_TRUE(createDbfTable("C.dbf", {{"CLAIMID", 'C', 10, 0, 0}, {"PATIENT", 'C', 20, 0, 0}, {"SVCDATE", 'D', 8, 0, 0}},
                               platform.fixedNow));
    ASSERT_TRUE(createCdxIndex("C.cdx", {{"APATIENT", "PATIENT", 20}, {"CLAIMID", "CLAIMID", 10}, {"BYDATE", "SVCDATE", 8}}));
    DbMapTable map = {tableRow("C", "DBF", "", {"CLAIMID", "PATIENT", "SVCDATE"}, "LOOKUP,INDEXCDX", "claimid")};
    std::string log;
    for (auto [id, date] : {std::pair{"C1", "20260115"}, {"C2", "20260116"}, {"C1", "20260117"}}) {
        FieldTable fields = {field("CLAIMID", id), field("PATIENT", "SMITH"), field("SVCDATE", date)};
        log += writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx);
    }
    EXPECT_EQ(records("C.dbf").size(), 2u) << log;
    CdxIndex cdx;
    ASSERT_TRUE(cdx.open("C.cdx", false));
    cdx.setBinaryKeys(1, true);  // BYDATE, second in name order
    std::vector<IndexEntry> tree, chain;
    ASSERT_TRUE(cdx.allEntries(1, tree));
    ASSERT_TRUE(cdx.leafChainEntries(1, chain));
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[0].key, cdxNumberKey(static_cast<double>(julianDay("20260115"))));
    EXPECT_EQ(tree[1].key, cdxNumberKey(static_cast<double>(julianDay("20260116"))));
    EXPECT_EQ(chain.size(), 2u);

    map[0].keyField = "NOPE";
    FieldTable fields = {field("CLAIMID", "C3"), field("PATIENT", "X"), field("SVCDATE", "")};
    EXPECT_NE(writeRecordToTables(fields, map, "", false, 0, std::nullopt, ctx)
                  .find("** Error: KEYFIELD=NOPE names no tag of C.cdx (tags: APATIENT, BYDATE, CLAIMID)"),
              std::string::npos);
}

// OPTIONS=CREATE makes the table and its index; claims with their service
// lines land once, however often the job runs, and an independent reader
// reads the result.
TEST_F(TableFileTest, CreateMakesTableAndIndexThatReRunsFind) {
    std::filesystem::create_directory("db");
    DbMapTable map = {tableRow("LINES", "DBF", "db", {"CLAIMID", "LINENO1", "CHG1"}, "LOOKUP,INDEXNTX,CREATE",
                               "CLAIMID+LINENO1")};
    auto claimWithLines = [](const std::string& id) {
        return FieldTable{field("CLAIMID", id, "0", "10"),   field("LINENO1", "1", "0", "3", "1"),
                          field("CHG1", "10", "0", "8", "1"), field("LINENO2", "2", "0", "3", "2"),
                          field("CHG2", "20", "0", "8", "2"), field("END", "")};
    };
    for (int run = 0; run < 2; ++run)
        for (const char* id : {"A1", "A2"}) {
            FieldTable fields = claimWithLines(id);
            for (long long line = 1; line <= 2; ++line) writeRecordToTables(fields, map, "", false, line, 2, ctx);
        }
    EXPECT_EQ(records("db/LINES.dbf").size(), 4u);
    NtxIndex ntx;
    ASSERT_TRUE(ntx.open("db/LINES.ntx", false));
    EXPECT_EQ(ntx.expression(), "CLAIMID+LINENO1");

    int status = 0;
    std::string python = test::runCommand(
        "for p in /usr/bin/python3 python3; do $p -c 'import dbfread' 2>/dev/null && echo $p && break; done", status);
    if (python.empty()) GTEST_SKIP() << "python3 with dbfread is not installed";
    python.pop_back();
    std::string out = test::runCommand(
        python + " -c \"import dbfread; [print(list(r.values())) for r in dbfread.DBF('db/LINES.dbf')]\"", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out,
              "['A1', '1', '10']\n['A1', '2', '20']\n['A2', '1', '10']\n['A2', '2', '20']\n");
}

// Every failure is reported once with the table, the key and the reason;
// every record that did not land counts.
TEST_F(TableFileTest, FailuresAreReportedOnceAndCounted) {
    std::filesystem::create_directory("db");
    makeClaimsTable("db/CLAIMS");
    makeClaimsTable("db/LOCKED");
    makeClaimsTable("db/ODDKEY");
    ASSERT_TRUE(createNtxIndex("db/ODDKEY.ntx", "SUBSTR(CLAIMID,1,3)", 3));
    int held = os::openFile("db/LOCKED.dbf", O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(os::tryLockExclusive(held), os::Lock::kLocked);
    // Table paths are joined with the system's separator.
    const std::string db = std::string("db") + os::kNativeSeparator;
    struct Case {
        DbMapRow row;
        std::string reason;
    };
    const Case cases[] = {
        {tableRow("../outside", "DBF", "db", {"CLAIMID"}, ""), "table name \"../outside\" is not a plain file name"},
        {tableRow("NOPE", "DBF", "db", {"CLAIMID"}, ""), "table file " + db + "NOPE.dbf does not exist"},
        {tableRow("LOCKED", "DBF", "db", {"CLAIMID"}, ""), "table file " + db + "LOCKED.dbf is locked by another program"},
        {tableRow("ODDKEY", "DBF", "db", {"CLAIMID"}, "INDEXNTX"),
         "index expression \"SUBSTR(CLAIMID,1,3)\" of " + db + "ODDKEY.ntx is refused: function SUBSTR() is not supported"},
        {tableRow("CLAIMS", "DBF", "db", {"CLAIMID"}, "INDEXCDX"), "index file " + db + "CLAIMS.cdx does not exist"},
    };
    for (const Case& c : cases) {
        ExportSession session(100);
        std::string log;
        for (int i = 0; i < 2; ++i) {
            FieldTable fields = claim("C1", "", "");
            log += writeRecordToTables(fields, {c.row}, "", false, 0, std::nullopt, ctx, session);
        }
        EXPECT_EQ(log, kHeader + "Table 1 - " + c.row.tableName + " Error Unable to Add Record Key=C1\r\n** Error: " +
                           c.reason + (c.row.tableName == "LOCKED" ? " (waited 100 ms)" : "") +
                           "; no further records are written to this table\r\n" + kHeader);
        EXPECT_EQ(session.failedWrites(), 2) << c.reason;
    }
    EXPECT_FALSE(std::filesystem::exists("outside.dbf"));

    // A lock let go within the wait: the record lands.
    std::thread release([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        os::closeFile(held);
    });
    ExportSession session(5000);
    FieldTable fields = claim("C1", "", "");
    std::string log = writeRecordToTables(fields, {cases[2].row}, "", false, 0, std::nullopt, ctx, session);
    release.join();
    EXPECT_EQ(log, kHeader + "Table 1 - LOCKED Added Record Key=C1 Record Number 1\r\n");
}

}  // namespace
}  // namespace brolvin
