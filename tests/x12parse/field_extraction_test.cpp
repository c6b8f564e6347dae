#include "x12parse/field_extraction.h"

#include <gtest/gtest.h>

#include <regex>

#include "map/service_line_expansion.h"
#include "support/fixed_platform.h"
#include "x12parse/field_match.h"

namespace brolvin {
namespace {

// Feeds segments through extraction the way the engine does while a claim
// is open: each segment enters the history before it is extracted.
struct Feeder {
    FieldTable fields;
    SegmentHistory history{};
    std::string traces;  // every trace of this feeder, in order
    bool quiet = false;  // extract without tracing (the path conversions take)

    std::string feed(const std::string& segment, long long serviceLine = 0) {
        pushHistory(history, segment);
        std::string trace = CTL48400B(fields, fieldColumn(fields, 2), segment, '*', ':',
                                      fieldColumn(fields, 1), serviceLine, quiet ? "" : "DEBUG", 0, 5000, history);
        pushHistory(history, segment);
        traces += trace;
        return trace;
    }
    const FieldEntry& named(const std::string& name) const {
        for (const FieldEntry& f : fields)
            if (f.name == name) return f;
        static FieldEntry none;
        return none;
    }
};

struct Step {
    std::string segment;
    long long line = 0;
};

struct RuleCase {
    std::string label;
    std::vector<FieldEntry> fields;
    std::vector<Step> steps;
    std::string target;
    std::string value;
    std::string rule;  // "" when the target must not be set
};

// The condition field the condition family depends on, filled by "CLM*C1".
FieldEntry claimId() { return FieldEntry{.name = "CID", .segment = "CLM", .elementPosition = "1"}; }

std::vector<RuleCase> ruleCases() {
    const std::string ref1 = "REF*6R*X:Y1";
    const std::string ref2 = "REF*6R*X:Y2";
    auto q = [](std::string sub, std::string line, std::string occ, std::string toggle = "") {
        return FieldEntry{.name = "T", .segment = "REF", .segmentQualifier = "6R", .qualifierPosition = "2",
                          .elementPosition = "2", .subelementPosition = sub, .occurence = occ,
                          .serviceLineNumber = line, .toggleOffField = toggle};
    };
    auto c = [](std::string sub, std::string line, std::string occ, std::string prev = "",
                std::string toggle = "") {
        return FieldEntry{.name = "T", .segment = "REF", .elementPosition = "2", .subelementPosition = sub,
                          .conditionField = "CID", .occurence = occ, .serviceLineNumber = line,
                          .previousSegment = prev, .previousQualifier = "85",
                          .previousQualifierPosition = "2", .toggleOffField = toggle};
    };
    auto p = [](std::string sub, std::string occ) {
        return FieldEntry{.name = "T", .segment = "REF", .elementPosition = "2", .subelementPosition = sub,
                          .occurence = occ};
    };
    FieldEntry off{.name = "OFF", .segment = "DTP", .elementPosition = "1"};
    FieldEntry last{.name = "LAST", .segment = "ZZZ"};
    return {
        // Fields with a segment qualifier.
        {"AA", {q("2", "1", "2")}, {{ref1, 1}, {ref2, 1}}, "T", "Y2", "AA"},
        {"A", {q("2", "1", "")}, {{ref1, 2}, {ref2, 1}}, "T", "Y2", "A"},
        {"A other line", {q("2", "1", "")}, {{ref1, 0}, {ref1, 2}}, "T", "", ""},
        {"BB", {q("2", "", "2")}, {{ref1}, {ref2}}, "T", "Y2", "BB"},
        {"B", {q("2", "", "")}, {{ref1}, {ref2}}, "T", "Y1", "B"},
        {"CC", {q("", "1", "2")}, {{"REF*6R*P", 0}, {"REF*6R*Q", 1}, {"REF*6R*R", 1}}, "T", "R", "CC"},
        {"C", {q("", "1", "")}, {{"REF*6R*Q", 1}}, "T", "Q", "C"},
        {"DD", {q("", "", "2")}, {{"REF*6R*Q"}, {"REF*6R*R"}}, "T", "R", "DD"},
        {"DDD", {q("", "", "", "OFF"), off, last}, {{"REF*6R*Q"}}, "T", "Q", "DDD"},
        {"DDD blocked", {q("", "", "", "OFF"), off, last}, {{"DTP*472"}, {"REF*6R*Q"}}, "T", "", ""},
        {"D", {q("", "", "")}, {{"REF*6R*Q"}, {"REF*6R*R"}}, "T", "Q", "D"},
        {"DDD list not yet set", {q("", "", "", "NONE:OFF"), off, last}, {{"REF*6R*Q"}}, "T", "Q", "DDD"},
        {"DDD blocked by a later name of its list", {q("", "", "", "NONE: OFF"), off, last},
         {{"DTP*472"}, {"REF*6R*Q"}}, "T", "", ""},
        // A toggle switches a field off under the other rules too.
        {"B blocked", {q("2", "", "", "OFF"), off, last}, {{"DTP*472"}, {ref1}}, "T", "", ""},
        {"CC blocked", {q("", "1", "2", "OFF"), off, last},
         {{"REF*6R*Q", 1}, {"DTP*472", 1}, {"REF*6R*R", 1}}, "T", "", ""},
        {"qualifier mismatch", {q("", "", "")}, {{"REF*EI*Q"}}, "T", "", ""},
        {"element position 0", {FieldEntry{.name = "T", .segment = "REF", .segmentQualifier = "6R",
                                           .qualifierPosition = "2", .elementPosition = "0"}},
         {{"REF*6R*Q"}}, "T", "", ""},
        // Fields with a condition field.
        {"EE", {claimId(), c("2", "1", "2")}, {{"CLM*C1"}, {ref1, 1}, {ref2, 1}}, "T", "Y2", "EE"},
        {"E", {claimId(), c("2", "1", "")}, {{"CLM*C1"}, {ref1, 1}}, "T", "Y1", "E"},
        {"FF", {claimId(), c("2", "", "2")}, {{"CLM*C1"}, {ref1}, {ref2}}, "T", "Y2", "FF"},
        {"F", {claimId(), c("2", "", "")}, {{"CLM*C1"}, {ref1}}, "T", "Y1", "F"},
        {"GG", {claimId(), c("", "2", "2")}, {{"CLM*C1"}, {"REF*6R*Q", 2}, {"REF*6R*R", 2}}, "T", "R", "GG"},
        {"G", {claimId(), c("", "2", "")}, {{"CLM*C1"}, {"REF*6R*Q", 1}, {"REF*6R*R", 2}}, "T", "R", "G"},
        {"H2", {claimId(), c("", "", "2")}, {{"CLM*C1"}, {"REF*6R*Q"}, {"REF*6R*R"}}, "T", "R", "H2"},
        {"H4", {claimId(), c("", "", "", "NM1", "OFF"), off, last},
         {{"CLM*C1"}, {"NM1*85*2"}, {"REF*6R*Q"}}, "T", "Q", "H4"},
        {"H4 blocked", {claimId(), c("", "", "", "NM1", "OFF"), off, last},
         {{"CLM*C1"}, {"DTP*472"}, {"NM1*85*2"}, {"REF*6R*Q"}}, "T", "", ""},
        {"H6", {claimId(), c("", "", "", "NM1")}, {{"CLM*C1"}, {"NM1*85*2"}, {"REF*6R*Q"}}, "T", "Q", "H6"},
        {"H6 wrong previous qualifier", {claimId(), c("", "", "", "NM1")},
         {{"CLM*C1"}, {"NM1*IL*1"}, {"REF*6R*Q"}}, "T", "", ""},
        {"H5", {claimId(), c("", "", "", "", "OFF"), off, last}, {{"CLM*C1"}, {"REF*6R*Q"}}, "T", "Q", "H5"},
        {"H0", {claimId(), c("", "", "")}, {{"CLM*C1"}, {"REF*6R*Q"}}, "T", "Q", "H0"},
        {"G blocked", {claimId(), c("", "2", "", "", "OFF"), off, last},
         {{"CLM*C1"}, {"DTP*472", 2}, {"REF*6R*R", 2}}, "T", "", ""},
        {"H0 takes the identifier at element 0",
         {claimId(), FieldEntry{.name = "T", .segment = "REF", .conditionField = "CID"}},
         {{"CLM*C1"}, {"REF*6R*Q"}}, "T", "REF", "H0"},
        {"condition not yet set", {claimId(), c("", "", "")}, {{"REF*6R*Q"}, {"CLM*C1"}}, "T", "", ""},
        // Plain fields.
        {"IIa", {p("2", "2")}, {{ref1}, {ref2}}, "T", "Y2", "IIa"},
        {"II", {p("", "2")}, {{ref1}, {ref2}}, "T", "X:Y2", "II"},
        {"I ignores the component", {p("2", "")}, {{ref1}}, "T", "X:Y1", "I"},
        {"plain element position 0", {FieldEntry{.name = "T", .segment = "REF"}}, {{ref1}}, "T", "", ""},
        {"I blocked",
         {FieldEntry{.name = "T", .segment = "REF", .elementPosition = "2", .toggleOffField = "OFF"}, off, last},
         {{"DTP*472"}, {ref1}}, "T", "", ""},
    };
}

// The rule named by the trace line that set field `name`, or "".
std::string ruleThatSet(const std::string& traces, const std::string& name) {
    std::smatch m;
    std::regex setLine(" Field SET (\\w+) = (\\d+ - )?" + name + "(  | - )");
    return std::regex_search(traces, m, setLine) ? m[1].str() : "";
}

TEST(FieldExtractionRules, EachRuleSetsItsFieldOrLeavesItAlone) {
    for (const RuleCase& rc : ruleCases()) {
        SCOPED_TRACE(rc.label);
        Feeder f;
        f.fields = rc.fields;
        for (const Step& s : rc.steps) f.feed(s.segment, s.line);
        EXPECT_EQ(f.named(rc.target).value, rc.value);
        EXPECT_EQ(ruleThatSet(f.traces, rc.target), rc.rule);
    }
}

FieldEntry nameField() {
    return FieldEntry{.name = "NAME", .segment = "NM1", .segmentQualifier = "85:87", .qualifierPosition = "2",
                      .elementPosition = "3"};
}

TEST(FieldExtraction, QualifiedNameKeepsItsFirstValue) {
    Feeder f;
    f.fields = {nameField()};
    f.feed("NM1*IL*1*DOE");
    EXPECT_EQ(f.fields[0].value, "");
    std::string trace = f.feed("NM1*85*2*CLINIC");
    EXPECT_NE(trace.find(" Field SET D = 1 - NAME - 3 - CLINIC\r\n"), std::string::npos);
    f.feed("NM1*87*2*OTHER");
    EXPECT_EQ(f.fields[0].value, "CLINIC");
}

TEST(FieldExtraction, CompositeElementUnderQualifiedAndPlainRules) {
    Feeder f;
    f.fields = {FieldEntry{.name = "B", .segment = "SV1", .segmentQualifier = "HC", .qualifierPosition = "2",
                           .elementPosition = "1", .subelementPosition = "2"},
                FieldEntry{.name = "I", .segment = "SV1", .elementPosition = "1", .subelementPosition = "2"},
                FieldEntry{.name = "OUT", .segment = "SV1", .elementPosition = "1", .subelementPosition = "4",
                           .occurence = "1"}};
    f.feed("SV1*HC:A1:B2*100");
    EXPECT_EQ(f.fields[0].value, "A1");
    EXPECT_EQ(f.fields[1].value, "HC:A1:B2");
    EXPECT_EQ(f.fields[2].value, "");
}

TEST(FieldExtraction, ConditionFieldBlankOrMissing) {
    Feeder f;
    f.fields = {FieldEntry{.name = "FLAG", .segment = "CLM", .elementPosition = "1"},
                FieldEntry{.name = "Q", .segment = "REF", .segmentQualifier = "6R", .qualifierPosition = "2",
                           .elementPosition = "2", .conditionField = " FLAG "},
                FieldEntry{.name = "QM", .segment = "REF", .segmentQualifier = "6R", .qualifierPosition = "2",
                           .elementPosition = "2", .conditionField = "NOSUCH"},
                FieldEntry{.name = "PM", .segment = "REF", .elementPosition = "2", .conditionField = "NOSUCH"}};
    f.feed("CLM*  ");
    EXPECT_EQ(f.fields[0].value, "  ");  // spaces are stored and count as set
    std::string trace = f.feed("REF*6R*V");
    EXPECT_NE(trace.find("Null Field# 1\r\n"), std::string::npos);
    EXPECT_EQ(f.fields[1].value, "");
    EXPECT_EQ(f.fields[2].value, "V");
    EXPECT_EQ(f.fields[3].value, "");
    f.feed("CLM*X");
    f.feed("REF*6R*W");
    EXPECT_EQ(f.fields[0].value, "  ");
    EXPECT_EQ(f.fields[1].value, "");
}

TEST(FieldExtraction, ConditionFieldNamesTheFirstFieldBeginningWithIt) {
    Feeder f;
    f.fields = {FieldEntry{.name = "FLAGX", .segment = "DTP", .elementPosition = "1"},
                FieldEntry{.name = "FLAG", .segment = "CLM", .elementPosition = "1"},
                FieldEntry{.name = "T", .segment = "REF", .elementPosition = "1", .conditionField = "FLAG"}};
    f.feed("CLM*1");
    f.feed("REF*A");
    EXPECT_EQ(f.fields[2].value, "");
    f.feed("DTP*2");
    std::string trace = f.feed("REF*B");
    EXPECT_NE(trace.find("Conditional Field #1 Value=2\r\n"), std::string::npos);
    EXPECT_EQ(f.fields[2].value, "B");
}

TEST(FieldExtraction, ServiceLineFieldsAtTheSearchPositionAreSkippedOnlyAtClaimLevel) {
    auto line2 = FieldEntry{.name = "L2", .segment = "REF", .segmentQualifier = "6R", .qualifierPosition = "2",
                            .elementPosition = "2", .serviceLineNumber = "2"};
    Feeder f;
    f.fields = {line2};
    f.feed("REF*6R*A", 0);
    f.feed("REF*6R*B", 1);
    EXPECT_EQ(f.fields[0].value, "");
    f.feed("REF*6R*C", 2);
    EXPECT_EQ(f.fields[0].value, "C");

    // A plain field does not consult its Service Line Number, so whether it is
    // examined at line 0 shows whether the walk passed over it.
    auto plainLine = FieldEntry{.name = "PL", .segment = "NM1", .elementPosition = "2",
                                .serviceLineNumber = "1"};
    Feeder atPosition;
    atPosition.fields = {FieldEntry{.name = "N", .segment = "NM1", .elementPosition = "1"}, plainLine,
                         plainLine};
    atPosition.feed("NM1*X*Y", 0);
    EXPECT_EQ(atPosition.fields[0].value, "X");
    EXPECT_EQ(atPosition.fields[1].value, "");
    EXPECT_EQ(atPosition.fields[2].value, "");

    Feeder reached;
    reached.fields = {FieldEntry{.name = "C", .segment = "CLM", .elementPosition = "1"}, plainLine};
    reached.feed("NM1*X*Y", 0);
    EXPECT_EQ(reached.fields[1].value, "Y");
}

TEST(FieldExtraction, ToggleOffIgnoresTheLastEntry) {
    Feeder f;
    f.fields = {FieldEntry{.name = "FIRST", .segment = "DTP", .elementPosition = "1"},
                FieldEntry{.name = "BYFIRST", .segment = "REF", .segmentQualifier = "6R", .qualifierPosition = "2",
                           .elementPosition = "2", .toggleOffField = "FIRST"},
                FieldEntry{.name = "BYLAST", .segment = "REF", .segmentQualifier = "6R", .qualifierPosition = "2",
                           .elementPosition = "2", .toggleOffField = "LAST"},
                FieldEntry{.name = "LAST", .segment = "DTP", .elementPosition = "1"}};
    f.feed("DTP*472");
    f.feed("REF*6R*V");
    EXPECT_EQ(f.fields[1].value, "");
    EXPECT_EQ(f.fields[2].value, "V");
    EXPECT_FALSE(CTL48400U(f.fields, "LAST"));
    EXPECT_TRUE(CTL48400U(f.fields, " FIRSTNAME"));  // the toggle text begins with the name
    EXPECT_TRUE(CTL48400U(f.fields, "LAST : FIRST"));  // any name of a list
}

TEST(FieldExtraction, EmptyAndSpaceElements) {
    Feeder f;
    f.fields = {FieldEntry{.name = "UNCOUNTED", .segment = "REF", .elementPosition = "1"},
                FieldEntry{.name = "SECOND", .segment = "REF", .elementPosition = "1", .occurence = "2"},
                FieldEntry{.name = "SPACES", .segment = "PER", .elementPosition = "1"},
                FieldEntry{.name = "OFF", .segment = "NTE", .segmentQualifier = "A", .qualifierPosition = "2",
                           .elementPosition = "2", .toggleOffField = "SPACES"},
                FieldEntry{.name = "END", .segment = "ZZZ"}};
    f.feed("REF*A");
    f.feed("REF*");  // second qualifying segment is empty: SECOND stays empty for good
    EXPECT_EQ(f.fields[0].value, "A");
    f.feed("REF*C");
    EXPECT_EQ(f.fields[1].value, "");
    EXPECT_EQ(f.fields[1].occurrenceCount, 3);

    f.fields[0].value.clear();
    f.feed("REF*");
    EXPECT_EQ(f.fields[0].value, "");
    f.feed("REF*D");
    EXPECT_EQ(f.fields[0].value, "D");

    f.feed("PER*   ");
    f.feed("PER*X");
    EXPECT_EQ(f.fields[2].value, "   ");
    f.feed("NTE*A*T");
    EXPECT_EQ(f.fields[3].value, "");
}

TEST(FieldExtraction, PreviousSegmentTest) {
    SegmentHistory h{"REF*6R*1", "REF*6R*1", "NM1*85*2", "NM1*85*2", "   ", "N3*X", "N3*X", "DTP*472"};
    EXPECT_TRUE(historyQualifierMatches(h, "NM1", "85", 2, '*'));
    EXPECT_TRUE(historyQualifierMatches(h, " REF ", "6R", 2, '*'));  // entry 1 is the segment itself
    EXPECT_TRUE(historyQualifierMatches(h, "NM1", "XX", 0, '*'));    // no qualifier element selected
    EXPECT_FALSE(historyQualifierMatches(h, "NM1", "IL", 2, '*'));
    EXPECT_FALSE(historyQualifierMatches(h, "DTP", "472", 2, '*'));  // entry 8 is not examined
    EXPECT_TRUE(historyQualifierMatches(h, "N3", "", 2, '*') == false);
    // The first entry whose identifier the setting begins with decides.
    SegmentHistory g{"N*1", "NM1*85", "", "", "", "", "", ""};
    EXPECT_FALSE(historyQualifierMatches(g, "NM1", "85", 2, '*'));
}

TEST(FieldExtraction, SupportingTests) {
    struct V { const char* value; const char* list; bool match; };
    for (V v : {V{"85", "85:87", true}, V{"87", " 85:87 ", true}, V{"IL", "85:87", false},
                V{"ZZ", "85:", true}, V{"85", "8", true}, V{"8", "85", false}, V{"", "85", false}}) {
        SCOPED_TRACE(std::string(v.value) + " in " + v.list);
        EXPECT_EQ(CTL48400V(v.value, v.list), v.match);
    }
    EXPECT_EQ(CTL48400D("HC:A1:B2", ':', 2), "A1");
    EXPECT_EQ(CTL48400D("HC:A1:B2", ':', 3), "B2");
    EXPECT_EQ(CTL48400D("HC:A1:B2", ':', 4), "");
    EXPECT_EQ(CTL48400D("HC", ':', 1), "HC");
    EXPECT_EQ(CTL48400D("A::B", ':', 2), "");
    EXPECT_EQ(CTL48400D("HC:A1", ':', 0), "");
}

TEST(FieldExtractionTrace, SegmentNotInTheMap) {
    Feeder f;
    f.fields = {nameField()};
    EXPECT_EQ(f.feed("XYZ*1"),
              "Function B Enter Segment = XYZ\r\n  Segment XYZ Not in segment map\r\n Function B Exit \r\n");
    EXPECT_EQ(f.fields[0].trace, f.traces);
}

TEST(FieldExtractionTrace, WholeTraceOfOneSegment) {
    Feeder f;
    f.fields = {FieldEntry{.name = "CID", .segment = "CLM", .elementPosition = "1"},
                FieldEntry{.name = "NAME", .segment = "NM1", .segmentQualifier = "85:87", .qualifierPosition = "2",
                           .elementPosition = "3", .conditionField = "CID"},
                FieldEntry{.name = "SECOND", .segment = "NM1", .elementPosition = "1", .occurence = "2"},
                FieldEntry{.name = "REFID", .segment = "REF", .elementPosition = "2"}};
    f.feed("CLM*C1");
    EXPECT_EQ(f.feed("NM1*85*2*CLINIC"),
              "Function B Enter Segment = NM1\r\n"
              "---------- Segment Map Lookup Valid Map Field# 2  Conditional= CID\r\n"
              "- Condition Field Lookup A Valid Map Field# 2  Conditional= CID\r\n"
              "Conditional Field #1 Value=C1\r\n"
              " Data = NAME   85:87\r\n"
              " Point AA1 = NAME   85:87\r\n"
              " Point AA2 = NAME   85:87\r\n"
              " Point AA3  Field Position=         2 Return value=85   Segment Qulifier = 85:87\r\n"
              " Point AA4 = NAME TA4=85:87 Matches 85 TA5=2\r\n"
              " Point BB = NAME   85:87\r\n"
              " Field SET D = 2 - NAME - 3 - CLINIC\r\n"
              "---------- Segment Map Lookup Valid Map Field# 3  Conditional= \r\n"
              " Data = SECOND   \r\n"
              " Point X2 = SECOND   \r\n"
              " Point X3 = SECOND   \r\n"
              "  Segment NM1 Not in segment map\r\n"
              " Function B Exit \r\n");
}

TEST(FieldExtractionTrace, TracingOffBuildsNothing) {
    FieldTable fields = {nameField()};
    SegmentHistory h{};
    EXPECT_EQ(CTL48400B(fields, {}, "NM1*85*2*X", '*', ':', {}, 0, "", 0, 5000, h), "");
    EXPECT_EQ(fields[0].value, "X");
    fields[0].value.clear();
    EXPECT_EQ(CTL48400B(fields, {}, "NM1*85*2*X", '*', ':', {}, 0, "DEBUG", 5000, 5000, h), "");
    EXPECT_EQ(fields[0].trace, "");
    EXPECT_EQ(fields[0].value, "X");
}

TEST(FieldExtractionTrace, PreviousSegmentAndCounterLines) {
    Feeder f;
    f.fields = {claimId(),
                FieldEntry{.name = "T", .segment = "REF", .elementPosition = "2", .conditionField = "CID",
                           .previousSegment = "NM1", .previousQualifier = "85", .previousQualifierPosition = "2"},
                FieldEntry{.name = "BB", .segment = "SV1", .segmentQualifier = "HC", .qualifierPosition = "2",
                           .elementPosition = "1", .subelementPosition = "2", .occurence = "2"}};
    f.feed("CLM*C1");
    f.feed("NM1*85*2");
    std::string trace = f.feed("REF*6R*Q");
    EXPECT_NE(trace.find(" H4 True = T  \r\n ----NM1  85  2\r\n"
                         "pba[1]=REF*6R*Q\r\npba[2]=NM1*85*2\r\npba[3]=NM1*85*2\r\npba[4]=CLM*C1\r\n"
                         "pba[5]=CLM*C1\r\npba[6]=\r\npba[7]=\r\npba[8]=\r\n Field SET H6 = T  Q\r\n"),
              std::string::npos);
    trace = f.feed("SV1*HC:1");
    EXPECT_NE(trace.find(" Test Point A\r\n Test Point B2          1\r\n"), std::string::npos);
}

using FieldFunctionExtraction = test::TempDirTest;

TEST_F(FieldFunctionExtraction, ExtractedValuesPassThroughTheFunction) {
    write("seg.fn", "RETURNSEGMENT\r\n");
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "without tracing" : "traced");
        Feeder f;
        f.quiet = quiet;
        f.fields = {FieldEntry{.name = "WHOLE", .segment = "NM1", .segmentQualifier = "85",
                               .qualifierPosition = "2", .elementPosition = "3", .function = " seg.fn "},
                    FieldEntry{.name = "EMPTY", .segment = "NM1", .elementPosition = "4", .function = "seg.fn"},
                    FieldEntry{.name = "PLAIN", .segment = "NM1", .elementPosition = "3"}};
        f.feed("NM1*85*2*CLINIC");
        EXPECT_EQ(f.fields[0].value, "NM1*85*2*CLINIC");
        EXPECT_EQ(f.fields[1].value, "");
        EXPECT_EQ(f.fields[2].value, "CLINIC");
    }
}

}  // namespace
}  // namespace brolvin
