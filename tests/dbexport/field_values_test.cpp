// What dBASE fields and index keys are made of: values checked against the
// field (never a silently different number), key expressions evaluated.
#include <gtest/gtest.h>

#include "dbexport/db_names.h"
#include "dbexport/dbf_values.h"
#include "dbexport/index_key.h"
#include "util/os.h"

namespace brolvin {
namespace {

TEST(DbfValuesTest, ValuesThatDoNotSuitTheFieldLeaveItBlankWithAReason) {
    struct Case {
        DbfField field;
        std::string value, stored, problem;
    };
    const DbfField amount{"AMOUNT", 'N', 10, 2, 0}, count{"UNITS", 'N', 3, 0, 0}, date{"SVCDATE", 'D', 8, 0, 0},
        flag{"PAID", 'L', 1, 0, 0}, text{"NAME", 'C', 5, 0, 0};
    const Case cases[] = {
        {amount, "12.5", "     12.50", ""},
        {amount, " -0.5 ", "     -0.50", ""},
        {amount, "12.300", "     12.30", ""},
        {amount, "", "          ", ""},
        {amount, "12345678901.50", "          ", "does not fit N(10,2)"},
        {amount, "12.345", "          ", "has more decimals than N(10,2)"},
        {amount, "ABC", "          ", "not a number"},
        {amount, "1e5", "          ", "not a number"},
        {count, "7.", "  7", ""},
        {count, "1000", "   ", "does not fit N(3,0)"},
        {date, "20240229", "20240229", ""},
        {date, "20230229", "        ", "not a date (yyyymmdd)"},
        {date, "20260102-20260105", "        ", "not a date (yyyymmdd)"},
        {flag, "Y", "Y", ""},
        {flag, "X", " ", "not a logical value (T, F, Y or N)"},
        {text, "O'BRIEN", "O'BRI", ""},
    };
    for (const Case& c : cases) {
        std::string problem;
        bool truncated = false;
        EXPECT_EQ(storedFieldText(c.field, c.value, problem, truncated), c.stored) << c.value;
        EXPECT_EQ(problem, c.problem) << c.value;
        EXPECT_EQ(truncated, c.value == "O'BRIEN");
    }
    EXPECT_EQ(julianDay("20000101"), 2451545);
    EXPECT_EQ(julianDay("20260115") - julianDay("20251231"), 15);
}

TEST(IndexKeyTest, ExpressionsGiveTheKeysXbaseGives) {
    const std::vector<DbfField> fields = {{"CLAIMID", 'C', 6, 0, 0},
                                          {"LINENO", 'N', 3, 0, 0},
                                          {"SVCDATE", 'D', 8, 0, 0},
                                          {"AMOUNT", 'N', 7, 2, 0}};
    const std::vector<std::string> record = {"ab12  ", "  7", "20260115", "  -1.50"};
    struct Case {
        std::string expression;
        IndexFormat format;
        std::string key;  // or, when the expression is refused, the reason's beginning
        bool refused = false;
    };
    const Case cases[] = {
        {"CLAIMID+STR(LINENO,3)", IndexFormat::Ntx, "ab12    7"},
        {"upper(claims->claimid) + dtos(svcdate)", IndexFormat::Cdx, "AB12  20260115"},
        {"TRIM(CLAIMID)+STR(AMOUNT)", IndexFormat::Ntx, "ab12  -1.50  "},  // padded to the width
        {"STR(AMOUNT,5,1)", IndexFormat::Ntx, " -1.5"},
        {"STR(LINENO,1,2)", IndexFormat::Ntx, "*"},
        {"SVCDATE", IndexFormat::Ntx, "20260115"},
        {"SVCDATE", IndexFormat::Cdx, cdxNumberKey(2461056)},
        {"LINENO", IndexFormat::Cdx, cdxNumberKey(7)},
        {"SUBSTR(CLAIMID,1,3)", IndexFormat::Ntx, "function SUBSTR() is not supported", true},
        {"CLAIMID+LINENO", IndexFormat::Cdx, "\"+\" joins a numeric or date term", true},
        {"NOSUCH", IndexFormat::Cdx, "no field NOSUCH", true},
        {"UPPER(CLAIMID", IndexFormat::Cdx, "missing \")\"", true},
    };
    for (const Case& c : cases) {
        std::string problem, key;
        auto e = IndexKeyExpression::parse(c.expression, fields, c.format, problem);
        if (c.refused) {
            EXPECT_FALSE(e) << c.expression;
            EXPECT_EQ(problem.rfind(c.key, 0), 0u) << c.expression << ": " << problem;
            continue;
        }
        ASSERT_TRUE(e) << c.expression << ": " << problem;
        ASSERT_TRUE(e->keyOf(record, static_cast<size_t>(e->width()), key, problem)) << problem;
        EXPECT_EQ(key, c.key) << c.expression;
    }
    // A negative number has no NTX numeric key; CDX number keys sort as the numbers.
    std::string problem, key;
    auto amount = IndexKeyExpression::parse("AMOUNT", fields, IndexFormat::Ntx, problem);
    ASSERT_TRUE(amount);
    EXPECT_FALSE(amount->keyOf(record, 7, key, problem));
    EXPECT_LT(cdxNumberKey(-2.5), cdxNumberKey(-1));
    EXPECT_LT(cdxNumberKey(-1), cdxNumberKey(0));
    EXPECT_LT(cdxNumberKey(0), cdxNumberKey(0.5));
    EXPECT_LT(cdxNumberKey(0.5), cdxNumberKey(2461056));
}

TEST(DbNamesTest, OnlyPlainNamesReachSqlTextAndPaths) {
    EXPECT_TRUE(isPlainTableName("public.claims_2026"));
    for (const char* bad : {"CLAIMS SELECT * FROM X", "claims;drop", "a..b", "", "1abc", "x.", "c-d"})
        EXPECT_FALSE(isPlainTableName(bad)) << bad;
    EXPECT_TRUE(isSafeTableFileName("CLAIMS 2026"));
    for (const char* bad : {"../outside/X", "a/b", "a\\b", "..", "a\x01"}) EXPECT_FALSE(isSafeTableFileName(bad)) << bad;
    EXPECT_EQ(joinPath("db", "CLAIMS", ""), std::string("db") + os::kNativeSeparator + "CLAIMS");
    EXPECT_EQ(joinPath("db/", "CLAIMS", "\\"), "db/CLAIMS");
    EXPECT_EQ(joinPath("", "CLAIMS", "/"), "CLAIMS");
    EXPECT_EQ(keyFieldNames(" CLAIMID + LINENO "), (std::vector<std::string>{"CLAIMID", "LINENO"}));
}

}  // namespace
}  // namespace brolvin
