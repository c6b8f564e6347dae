#include "x12build/segment_builder.h"

#include <gtest/gtest.h>

#include "test_map.h"

namespace brolvin {
namespace {

using test::field;
using test::layouts;

// Generates records one after the other, as the engine does.
struct Generator {
    std::vector<LayoutEntry> layout;
    FieldTable fields;
    FieldNameIndex index{};
    GenerationState state;
    std::string debug;
    int crLf = 0;

    Generator(std::vector<std::string> lines, FieldTable f)
        : layout(layouts(lines)), fields(std::move(f)), index(fields) {}

    void set(const std::string& name, const std::string& value) {
        long pos = index.find(name);
        ASSERT_GE(pos, 0) << name;
        fields[static_cast<size_t>(pos)].value = value;
    }
    std::string run(long long number, long long count) {
        state = CTL48400G(layout, fields, index, crLf, std::move(state), debug, count, number, {});
        return state.segmentText;
    }
};

TEST(SegmentBuilder, WorkedClaimExampleByteForByte) {
    Generator g({"1,HL,&HL,,20,1", "2,HL,&HL,1,22,0",
                 "2,CLM:$CLAIMID,$CLAIMID,$TOTAL,,,%$POS;B;$FREQ,Y,A,Y,Y"},
                {field("CLAIMID"), field("TOTAL"), field("POS"), field("FREQ")});
    g.set("CLAIMID", "A1");
    g.set("TOTAL", "100");
    g.set("POS", "11");
    g.set("FREQ", "1");
    EXPECT_EQ(g.run(1, 2), "HL*1**20*1~HL*2*1*22*0~CLM*A1*100***11:B:1*Y*A*Y*Y~");
    g.set("CLAIMID", "A2");
    g.set("TOTAL", "250");
    EXPECT_EQ(g.run(2, 2), "HL*3*1*22*0~CLM*A2*250***11:B:1*Y*A*Y*Y~");
    EXPECT_EQ(g.state.segmentCount, 5);

    g.crLf = 1;
    g.set("CLAIMID", " ");
    EXPECT_EQ(g.run(3, 3), "HL*4*1*22*0~\r\n");  // CLM skipped for a blank claim id
}

TEST(SegmentBuilder, EmptyLiteralMandatoryAndTrailingElements) {
    Generator g({"2,REF,EA,$CLAIMREF", "2,REF,F8,!CLAIMREF", "2,DTP,434,RD8,$FROM",
                 "2,NM1,$A,$B", "2,NM1,IL,1,,$LAST", "2,,$A,X", "7,BAD,Z"},
                {field("CLAIMREF"), field("FROM"), field("A"), field("B"), field("LAST")});
    EXPECT_EQ(g.run(1, 1), "REF*EA~DTP*434*RD8~NM1*IL*1~**X~");
    g.set("CLAIMREF", "R9");
    g.set("LAST", "JOHN");
    g.set("A", "  a ");
    EXPECT_EQ(g.run(1, 1), "REF*EA*R9~REF*F8*R9~DTP*434*RD8~NM1*a~NM1*IL*1**JOHN~*a*X~");
}

TEST(SegmentBuilder, HeaderOnFirstRecordAndTrailerOnCountedRecord) {
    Generator g({"1,BHT,0019", "2,CLM,$ID", "4,NTE,END"}, {field("ID")});
    g.set("ID", "1");
    EXPECT_EQ(g.run(1, 1), "BHT*0019~CLM*1~NTE*END~");  // one record gets both
    EXPECT_EQ(g.run(1, 3), "BHT*0019~CLM*1~");
    EXPECT_EQ(g.run(2, 3), "CLM*1~");
    EXPECT_EQ(g.run(3, 3), "CLM*1~NTE*END~");
    EXPECT_EQ(g.run(4, 3), "CLM*1~");
}

TEST(SegmentBuilder, CountersAndParentNumbers) {
    Generator g({"2,HL,&HL,,20,1", "2,HL,&HL,&HLP,22,0", "3,LX,&LX", "3,SV1,$CHG", "2,X,&OTHER"},
                {field("CHG1", "0", "1"), field("CHG2", "0", "2"), field("CHG3", "0", "3")});
    g.set("CHG1", "10");
    g.set("CHG2", "20");
    EXPECT_EQ(g.run(1, 2),
              "HL*1**20*1~HL*2*1*22*0~X*&OTHER~LX*1~SV1*10~LX*2~SV1*20~");
    g.set("CHG3", "30");
    EXPECT_EQ(g.run(2, 2),
              "HL*3**20*1~HL*4*3*22*0~X*&OTHER~LX*1~SV1*10~LX*2~SV1*20~LX*3~SV1*30~");

    Generator first({"2,HL,&HLP,&HL"}, {});
    EXPECT_EQ(first.run(1, 1), "HL**1~");  // no earlier HL yet
}

TEST(SegmentBuilder, ServiceLinePasses) {
    Generator g({"2,CLM,$ID", "3,LX,&LX", "3,SV1:$CHG,%HC;$PROC,$CHG", "3,NTE,$NOTE"},
                {field("ID"), field("CHG1", "0", "1"), field("PROC1", "0", "1"),
                 field("CHG2", "0", "2"), field("PROC2", "0", "2"), field("CHG3", "0", "3"),
                 field("PROC3", "0", "3")});
    g.set("ID", "C");
    // No line values: pass 3 still runs for line 1; SV1 fails its condition.
    EXPECT_EQ(g.run(1, 1), "CLM*C~LX*1~");
    g.set("CHG1", "5");
    g.set("PROC1", "99213");
    g.set("CHG2", "6");
    g.set("PROC3", "99214");  // line 3 counted by its last field alone
    // The SV1 condition reads CHG1, CHG2, CHG3: the suffixed names decide.
    EXPECT_EQ(g.run(1, 1),
              "CLM*C~LX*1~SV1*HC:99213*5~LX*2~SV1*HC*6~LX*3~");
    EXPECT_EQ(filledLineCount(g.fields), 3);
}

TEST(SegmentBuilder, OnePlanServesRecordsWithChangingLineCounts) {
    // Names with the line suffix are resolved as lines first appear; the HL
    // counter runs on across records while LX restarts, and a "!" entry left
    // out still moves the counter it holds.
    std::vector<LayoutEntry> layout = layouts({"1,BHT,0019", "2,HL,&HL,&HLP,22", "2,REF,&HL,!MUST",
                                               "3,LX:$CHG,&LX", "3,SV1,$PROC,$CHG", "4,SE,END"});
    FieldTable fields{field("MUST"), field("CHG1", "0", "1"), field("PROC1", "0", "1"),
                      field("CHG2", "0", "2"), field("PROC2", "0", "2"), field("CHG3", "0", "3")};
    FieldNameIndex index(fields);
    SegmentPlan plan(layout, fields, index);
    GenerationState state;
    auto record = [&](long long number, std::vector<std::string> values) {
        for (size_t i = 0; i < fields.size(); ++i) fields[i].value = i < values.size() ? values[i] : "";
        state = plan.generate(fields, 0, std::move(state), "", 3, number, {});
        return state.segmentText;
    };
    EXPECT_EQ(record(1, {"", "5", "A"}), "BHT*0019~HL*1**22~LX*1~SV1*A*5~");
    EXPECT_EQ(record(2, {"m", "5", "A", "6", "B", "7"}),
              "HL*3*2*22~REF*4*m~LX*1~SV1*A*5~LX*2~SV1*B*6~LX*3~SV1**7~");
    EXPECT_EQ(record(3, {"", "", "", "8", "C"}), "HL*5*4*22~SE*END~");
    EXPECT_EQ(state.segmentCount, 14);

    // Separators of more than one character: any of their characters in a
    // Value is written as a space.
    X12Delimiters wide{":", "*|", "~#"};
    fields[0].value = "a|b#c*~";
    state = plan.generate(fields, 0, GenerationState{}, "", 3, 2, wide);
    EXPECT_EQ(state.segmentText, "HL*|1*|*|22~#REF*|2*|a b c~#");
}

TEST(SegmentBuilder, CompositesKeepInnerEmptyParts) {
    Generator g({"2,SV1,%HC;$PROC;$MOD1;$MOD2", "2,X,%$A;$B", "2,Y,%;$A;LIT"},
                {field("PROC"), field("MOD1"), field("MOD2"), field("A"), field("B")});
    g.set("PROC", "A1");
    g.set("MOD2", "25");
    EXPECT_EQ(g.run(1, 1), "SV1*HC:A1::25~Y*::LIT~");
    g.set("MOD2", "");
    g.set("B", " b ");
    EXPECT_EQ(g.run(1, 1), "SV1*HC:A1~X*:b~Y*::LIT~");
}

// A blank "!" part empties its composite, literal qualifier included, and
// the later diagnoses of the segment are still written.
TEST(SegmentBuilder, MandatoryCompositePartEmptiesItsElementOnly) {
    for (const char* debug : {"", "DEBUG"}) {
        Generator g({"2,HI,%ABK;!D1,%ABF;!D2,%ABF;!D3;$X"}, {field("D1"), field("D2"), field("D3"), field("X")});
        g.debug = debug;
        EXPECT_EQ(g.run(1, 1), "");
        g.set("D1", "J449");
        g.set("D3", " I10 ");
        EXPECT_EQ(g.run(1, 1), "HI*ABK:J449**ABF:I10~") << debug;
    }
}

TEST(SegmentBuilder, ConditionalElements) {
    Generator g({"2,CL1,1,$ADM,$DISCHARGEHOUR:$DISCHARGEHOUR,$STATUS",
                 "2,DTP,096,TM,$HOUR:$FLAG,X",
                 "2,DTP,097,$HOUR:$HOUR",
                 "2,REF,%D9;$CODE:$FLAG,Y:$FLAG,Z"},
                {field("ADM"), field("DISCHARGEHOUR"), field("STATUS"), field("HOUR"),
                 field("FLAG"), field("CODE")});
    g.set("ADM", "2");
    g.set("STATUS", "01");
    g.set("HOUR", "11");
    g.set("CODE", "77");
    // Condition fails: the segment ends after the last non-blank element before
    // it; a segment cut before any value is left out.
    EXPECT_EQ(g.run(1, 1), "CL1*1*2~DTP*096*TM~DTP*097~");
    g.set("DISCHARGEHOUR", " 14 ");
    g.set("FLAG", "Y");
    // A conditional reference after the last valued element is never written.
    EXPECT_EQ(g.run(1, 1), "CL1*1*2*14*01~DTP*096*TM*11*X~DTP*097~REF*D9:77*Y*Z~");
}

TEST(SegmentBuilder, CutBeforeAnyValueWritesNothing) {
    Generator g({"2,AMT,$A:$FLAG,X"}, {field("A"), field("FLAG")});
    EXPECT_EQ(g.run(1, 1), "");
    EXPECT_EQ(g.state.segmentCount, 0);
}

TEST(SegmentBuilder, SeparatorsInValuesBecomeSpaces) {
    Generator g({"2,NTE,ADD,$TEXT", "2,SV1,$PROC,%$A;$B"},
                {field("TEXT"), field("PROC"), field("A"), field("B")});
    g.set("TEXT", "A*B~C");
    g.set("PROC", "HC:99213");
    g.set("A", "~");
    g.set("B", "Q*");
    EXPECT_EQ(g.run(1, 1), "NTE*ADD*A B C~SV1*HC:99213*:Q~");
}

TEST(SegmentBuilder, ReferencesIgnoreCaseAndSpaces) {
    FieldTable t{field(" ClaimId "), field("CLAIMIDX"), field("claimid")};
    FieldNameIndex index(t);
    t[0].value = "first";
    EXPECT_EQ(CTL48400H("$CLAIMID", t, index), "first");
    EXPECT_EQ(CTL48400H("! claimid  ", t, index), "first");
    EXPECT_EQ(CTL48400H("$CLAIM", t, index), "");
    EXPECT_EQ(CTL48400H("", t, index), "");
    EXPECT_EQ(splitCondition("CLM:$A:B"), (std::pair<std::string, std::string>{"CLM", "$AB"}));
    EXPECT_EQ(splitCondition("CLM"), (std::pair<std::string, std::string>{"CLM", ""}));
}

TEST(SegmentBuilder, TraceListsConditionalTemplatesTwice) {
    Generator g({"2,CLM:$ID,$ID,$H:$H"}, {field("ID"), field("H")});
    g.debug = "DEBUG";
    g.set("ID", "7");
    g.set("H", "3");
    EXPECT_EQ(g.run(1, 1), "CLM*7~");  // $H:$H follows the last valued element
    EXPECT_EQ(g.state.traceText, "tdata=CLM:$ID\r\ntdata=CLM:$ID\r\n\r\n\r\n");
}

}  // namespace
}  // namespace brolvin
