#include "x12parse/field_functions.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"

namespace brolvin {
namespace {

using FieldFunctions = test::TempDirTest;

const std::string kSegment = "NM1*85*2*CLINIC";

std::string apply(const std::string& function, const std::string& value) {
    FunctionFiles files;
    return applyFieldFunction(function, value, kSegment, files);
}

TEST_F(FieldFunctions, ValueUnchangedWithoutAFunctionFile) {
    write("ret.fn", "RETURNSEGMENT");
    EXPECT_EQ(apply("", "85"), "85");
    EXPECT_EQ(apply("USERDEF.DLL,FORMATDATE", "20240101"), "20240101");
    EXPECT_EQ(apply("userdef.dll,x", "Y"), "Y");
    EXPECT_EQ(apply("missing.fn", "Y"), "Y");
    EXPECT_EQ(apply(".", "Y"), "Y");  // a folder is not a function file
    // A blank value never runs the function.
    EXPECT_EQ(apply("ret.fn", "   "), "   ");
    EXPECT_EQ(apply("ret.fn", ""), "");
    EXPECT_EQ(apply("ret.fn", "X"), kSegment);
}

TEST_F(FieldFunctions, FunctionFileDirectives) {
    write("codes.csv", "Y,YES\r\nN,NO\r\n");
    struct Case { const char* text; const char* value; const char* result; };
    for (Case c : {Case{"RETURNSEGMENT", "X", "NM1*85*2*CLINIC"},
                   Case{"CSVTABLE codes.csv\r\n", "Y", "YES"},
                   Case{"  csvtable=codes.csv  \r\n", "N", "NO"},   // trimmed, any letter case
                   Case{"CSVTABLE codes.csv\r\n", "Q", ""},          // no row: the result stays ""
                   Case{"CSVTABLE codes.csv\r\nRETURNSEGMENT\r\n", "Y", "NM1*85*2*CLINIC"},
                   Case{"RETURNSEGMENT\r\nCSVTABLE codes.csv\r\n", "Q", "NM1*85*2*CLINIC"},
                   Case{"RETURNSEGMENT\r\nCSVTABLE nosuch.csv\r\n", "Y", "NM1*85*2*CLINIC"},
                   Case{"CALLDLL,ENTRY\r\nSOMETHING ELSE", "Y", ""},
                   Case{"", "Y", ""}}) {
        SCOPED_TRACE(c.text);
        FunctionFiles files;
        EXPECT_EQ(CTL48400P(c.text, c.value, kSegment, '*', ':', files), c.result);
    }
}

TEST_F(FieldFunctions, LookupTableRows) {
    struct Case { const char* table; const char* value; const char* result; };
    for (Case c : {Case{"1,ONE\r\n12,TWELVE", "12", "ONE"},
                   Case{"A,B,C", "AX", "BC"},
                   Case{"A", "ABC", ""},                 // no comma: empty result
                   Case{"", "ANY", ""},                 // empty file: one empty row matches
                   Case{"\r\nY,YES", "Y", ""},          // an empty first row still takes part
                   Case{",ALL\r\nY,YES", "Y", "ALL"},   // empty key matches every value
                   Case{"y,yes", "Y", "RET"},           // case-sensitive
                   Case{" Y,YES", "Y", "RET"},          // untrimmed
                   Case{"Y,YES\r\n\r\n", "N", "RET"},   // later empty rows are skipped
                   Case{"N,NO\nY,YES\n", "Y", "YES"},  // a line feed alone ends a row
                   Case{"Y,YES\x1A", "Y", "YES"}}) {    // end-of-file mark dropped
        SCOPED_TRACE(c.table);
        write("t.csv", c.table);
        FunctionFiles files;
        EXPECT_EQ(CTL48400P("RETURNSEGMENT\r\nCSVTABLE t.csv", c.value, "RET", '*', ':', files), c.result);
    }
}

TEST_F(FieldFunctions, FilesAreReadOncePerConversion) {
    write("f.fn", "CSVTABLE t.csv");
    write("t.csv", "Y,YES");
    FunctionFiles files;
    EXPECT_EQ(applyFieldFunction("f.fn", "Y", kSegment, files), "YES");
    EXPECT_EQ(applyFieldFunction("late.fn", "Y", kSegment, files), "Y");
    write("t.csv", "Y,CHANGED");
    write("f.fn", "RETURNSEGMENT");
    write("late.fn", "RETURNSEGMENT");
    EXPECT_EQ(applyFieldFunction("f.fn", "Y", kSegment, files), "YES");
    EXPECT_EQ(applyFieldFunction("late.fn", "Y", kSegment, files), "Y");
    FunctionFiles fresh;
    EXPECT_EQ(applyFieldFunction("f.fn", "Y", kSegment, fresh), kSegment);
    EXPECT_EQ(applyFieldFunction("late.fn", "Y", kSegment, fresh), kSegment);
}

TEST_F(FieldFunctions, FieldPositionSelectsTheFunction) {
    write("ret.fn", "RETURNSEGMENT");
    FieldTable fields(2);
    fields[1].function = " ret.fn ";
    FunctionFiles files;
    EXPECT_EQ(CTL48400N(kSegment, 2, "CLINIC", fields, '*', ':', files), kSegment);
    EXPECT_EQ(CTL48400N(kSegment, 1, "CLINIC", fields, '*', ':', files), "CLINIC");
    EXPECT_EQ(CTL48400N(kSegment, 3, "CLINIC", fields, '*', ':', files), "CLINIC");
}

}  // namespace
}  // namespace brolvin
