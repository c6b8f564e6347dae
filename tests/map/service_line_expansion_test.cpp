#include "map/service_line_expansion.h"

#include <gtest/gtest.h>

namespace brolvin {

namespace {
FieldEntry field(const std::string& name, const std::string& line, const std::string& cond = "") {
    FieldEntry f;
    f.name = name;
    f.serviceLineNumber = line;
    f.conditionField = cond;
    f.segment = "SEG" + name;
    return f;
}
std::vector<std::string> names(const FieldTable& t) { return fieldColumn(t, 1); }
}  // namespace

TEST(ServiceLineExpansion, RepeatsTheBlockAndRenamesNamesAndConditions) {
    FieldTable t{field("H1", ""), field("S1", "1"), field("T1", " 1", "S1"), field("X", "")};
    t[2].conditionField = "S1";
    FieldTable withH = t;
    withH[2].conditionField = "H1";
    FieldTable withHX = t;
    withHX[2].conditionField = "HX";

    FieldTable r = withServiceLineCopies(t, 3);
    EXPECT_EQ(names(r), (std::vector<std::string>{"H1", "S1", "T1", "S2", "T2", "S3", "T3", "X"}));
    EXPECT_EQ(r[4].conditionField, "S2");
    EXPECT_EQ(r[6].conditionField, "S3");
    EXPECT_EQ(r[5].serviceLineNumber, "3");
    EXPECT_EQ(r[2].serviceLineNumber, " 1");  // the original block is unchanged

    EXPECT_EQ(withServiceLineCopies(withH, 3)[6].conditionField, "H3");
    EXPECT_EQ(withServiceLineCopies(withHX, 3)[6].conditionField, "HX");

    // Toggle names of a line field are renamed the same way, each of a list.
    FieldTable toggled = t;
    toggled[2].toggleOffField = "S1";
    EXPECT_EQ(withServiceLineCopies(toggled, 3)[6].toggleOffField, "S3");
    toggled[2].toggleOffField = "HX: S1";
    EXPECT_EQ(withServiceLineCopies(toggled, 2)[4].toggleOffField, "HX:S2");
    toggled[2].toggleOffField = " HX ";
    EXPECT_EQ(withServiceLineCopies(toggled, 2)[4].toggleOffField, " HX ");
}

TEST(ServiceLineExpansion, LineTenAndZeroPaddedLineNumbers) {
    FieldTable t{field("SVCCHG1", "01")};
    FieldTable r = withServiceLineCopies(t, 10);
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(r[9].name, "SVCCHG10");
}

TEST(ServiceLineExpansion, NoBlockOrSmallCountLeavesTheTableUnchanged) {
    FieldTable t{field("A", ""), field("B", "2")};
    EXPECT_EQ(withServiceLineCopies(t, 3).size(), 2u);
    FieldTable u{field("A", "1")};
    EXPECT_EQ(withServiceLineCopies(u, 0).size(), 1u);
    EXPECT_EQ(withServiceLineCopies(u, 1).size(), 1u);
    EXPECT_EQ(fieldColumn(u, 2), std::vector<std::string>{"SEGA"});
    EXPECT_TRUE(fieldColumn(u, 3).empty());
}

}  // namespace brolvin

namespace brolvin {

// A hostile source with thousands of line segments in one claim must not grow
// the table (and the cost of every segment) without bound.
TEST(ServiceLineExpansion, LineCountIsCappedAtTheLimit) {
    FieldEntry line;
    line.name = "CHG1";
    line.serviceLineNumber = "1";
    FieldTable r = withServiceLineCopies(FieldTable{line}, 20000);
    ASSERT_EQ(static_cast<long long>(r.size()), kMaxExpandedServiceLines);
    EXPECT_EQ(r.back().name, "CHG999");
    const FieldTable one{line};
    EXPECT_EQ(serviceLineLimitNote(999, expandedLineCount(one, 999)), "");
    EXPECT_EQ(serviceLineLimitNote(20000, expandedLineCount(one, 20000)),
              " - Service Line Count 20000 Expanded to 999");
    // A large block makes fewer lines, so the table stays within its entry limit.
    const FieldTable block(100, line);
    EXPECT_EQ(expandedLineCount(block, 999), 500);
    EXPECT_EQ(static_cast<long long>(withServiceLineCopies(block, 999).size()), kMaxExpandedFieldEntries);
}

}  // namespace brolvin
