#include "map/map_loader.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"
#include "util/file_io.h"

namespace brolvin {

namespace {

using Strings = std::vector<std::string>;

class MapLoaderTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};
    DateTime engineStart{2026, 12, 8, 8, 0, 0};

    MapLoadResult loadText(const std::string& content, bool mapLogOn = false) {
        write("test.cfg", content);
        return loadMap("test.cfg", mapLogOn, "", engineStart, ctx);
    }
};

}  // namespace

TEST_F(MapLoaderTest, FieldLinesFillAttributesByPositionKeepingCaseAndSpaces) {
    MapLoadResult r = loadText(
        "field=Name,10,NM1\r\n"
        "FIELD=A,1,NM1,, 2\r\n"
        "FIELD=F,2,CLM,Q1:Q2,2,3,1,COND,0,2,1,Desc,4,5,fn.txt\r\n"
        "FIELD=P,,SV1,,,,,,,,,,,,FN,LX,QQ,3,TOG\r\n"
        "FIELD=AB,\r\n"
        "FIELD=\r\n");
    const LoadedMap& m = r.map;
    ASSERT_TRUE(m.hasFieldTable);
    ASSERT_EQ(m.fields.size(), 6u);
    EXPECT_EQ(m.fieldLineCount, 6);

    EXPECT_EQ(m.fields[0].name, "Name");
    EXPECT_EQ(m.fields[0].segment, "NM1");
    EXPECT_EQ(m.fields[1].qualifierPosition, " 2");

    const FieldEntry& f = m.fields[2];
    EXPECT_EQ(f.segmentQualifier, "Q1:Q2");
    EXPECT_EQ(f.elementPosition, "3");
    EXPECT_EQ(f.subelementPosition, "1");
    EXPECT_EQ(f.conditionField, "COND");
    EXPECT_EQ(f.occurence, "0");
    EXPECT_EQ(f.level, "2");
    EXPECT_EQ(f.serviceLineNumber, "1");
    EXPECT_EQ(f.description, "Desc");
    EXPECT_EQ(f.dataStart, "4");
    EXPECT_EQ(f.dataLength, "5");
    EXPECT_EQ(f.function, "fn.txt");  // the 15th position is the Function
    EXPECT_EQ(f.value, "");
    EXPECT_EQ(f.trace, "");
    EXPECT_EQ(f.occurrenceCount, 0);
    EXPECT_EQ(f.previousSegment, "");

    const FieldEntry& p = m.fields[3];
    EXPECT_EQ(p.function, "FN");
    EXPECT_EQ(p.previousSegment, "LX");
    EXPECT_EQ(p.previousQualifier, "QQ");
    EXPECT_EQ(p.previousQualifierPosition, "3");
    EXPECT_EQ(p.toggleOffField, "TOG");

    EXPECT_EQ(m.fields[4].name, "AB");
    EXPECT_EQ(m.fields[4].width, "");  // a trailing comma gives no empty position
    EXPECT_EQ(m.fields[5].name, "");

    EXPECT_EQ(m.names, (Strings{"Name", "A", "F", "P", "AB", ""}));
    EXPECT_EQ(m.segmentMap, (Strings{"NM1", "NM1", "CLM", "SV1", "", ""}));
}

TEST_F(MapLoaderTest, SurplusPositionsAreIgnored) {
    std::string segment = "SEGMENT=";
    for (int i = 1; i <= 32; ++i) segment += "S" + std::to_string(i) + ",";
    MapLoadResult r = loadText(
        "FIELD=N,1,NM1,,,,,,,,,,,,FN,PS,PQ,PP,TOG,X20,X21,X22,X23\r\n" + segment + "\r\n");
    const FieldEntry& f = r.map.fields.at(0);
    EXPECT_EQ(f.previousSegment, "PS");
    EXPECT_EQ(f.previousQualifier, "PQ");
    EXPECT_EQ(f.previousQualifierPosition, "PP");
    EXPECT_EQ(f.toggleOffField, "TOG");
    ASSERT_EQ(r.map.segmentLayout.size(), 1u);
    EXPECT_EQ(r.map.segmentLayout[0][0], "S1");
    EXPECT_EQ(r.map.segmentLayout[0][29], "S30");
    EXPECT_EQ(r.mapLogText.find(" S31"), std::string::npos);
    EXPECT_EQ(r.mapLogText.find("X20"), std::string::npos);
}

TEST_F(MapLoaderTest, KeyListsAreUpperCasedAndSplitAtCommas) {
    struct Case {
        std::string line;
        Strings entries;
    };
    const Case cases[] = {
        {"KEYHEADERFIELD=clm", {"CLM"}},
        {"KEYHEADERFIELD=HL,,,20", {"HL", "", "", "20"}},
        {"KEYHEADERFIELD=HL,", {"HL"}},
        {"KEYHEADERFIELD=HL,,20,", {"HL", "", "20"}},
        {"KEYHEADERFIELD=HL,,20,   ", {"HL", "", "20"}},
        {"KEYHEADERFIELD=HL, ,x", {"HL", " ", "X"}},
    };
    for (const Case& c : cases) {
        MapLoadResult r = loadText(c.line + "\r\n");
        EXPECT_EQ(r.map.keyHeader.kind, KeyList::Kind::Given) << c.line;
        EXPECT_EQ(r.map.keyHeader.entries, c.entries) << c.line;
        EXPECT_EQ(r.map.keyHeader.count, static_cast<int>(c.entries.size())) << c.line;
    }
}

TEST_F(MapLoaderTest, EachKeyKindHasItsListAndTheLastLineWins) {
    MapLoadResult r = loadText(
        "KEYFIELD=CLM\r\nkeyfield=clp,1\r\nKEYDOCFIELD=ST\r\nKEYLINEFIELD=LX\r\n"
        "KEYTRAILERFIELD=SE\r\nX12TRANSACTIONTYPE=837\r\nx12transactiontype=835p\r\n"
        "VERSION=005010x221a1\r\n");
    EXPECT_EQ(r.map.keyField.entries, (Strings{"CLP", "1"}));
    EXPECT_EQ(r.map.keyField.count, 2);
    EXPECT_EQ(r.map.keyDoc.entries, Strings{"ST"});
    EXPECT_EQ(r.map.keyLine.entries, Strings{"LX"});
    EXPECT_EQ(r.map.keyTrailer.entries, Strings{"SE"});
    EXPECT_EQ(r.map.transactionType, "835P");
    EXPECT_EQ(r.map.version, "005010X221A1");
    EXPECT_TRUE(r.map.fields.empty());
    EXPECT_TRUE(r.map.hasFieldTable);  // lines but no FIELD= line is not an error
}

TEST_F(MapLoaderTest, AbsentKeyListsMatchEmptyOnlyOrNothing) {
    MapLoadResult r = loadText("FIELD=A,1,NM1\r\n");
    for (const KeyList* list : {&r.map.keyHeader, &r.map.keyField}) {
        EXPECT_EQ(list->kind, KeyList::Kind::MatchesEmptyOnly);
        EXPECT_EQ(list->entries, Strings{""});
        EXPECT_EQ(list->count, 0);
    }
    for (const KeyList* list : {&r.map.keyDoc, &r.map.keyLine, &r.map.keyTrailer}) {
        EXPECT_EQ(list->kind, KeyList::Kind::MatchesNothing);
        EXPECT_EQ(list->count, 0);
    }
    EXPECT_TRUE(r.map.clearLists.empty());
}

TEST_F(MapLoaderTest, LineSplittingAndTrimming) {
    // Last line without a line end, byte 11 inside a word, leading tabs, an
    // end-of-file mark and blank lines.
    MapLoadResult r = loadText(" \tFIELD=A,1,N\vM1   \r\n\r\n   \r\nSEGMENT=1,ISA\r\nFIELD=B,2,CLM\x1a");
    ASSERT_EQ(r.map.fields.size(), 2u);
    EXPECT_EQ(r.map.fields[0].segment, "NM1");
    EXPECT_EQ(r.map.fields[1].segment, "CLM");
    EXPECT_EQ(r.map.segmentLayout.size(), 1u);

    // Line feeds alone end lines as CR LF does.
    r = loadText("FIELD=A,1\nFIELD=B,2\n");
    ASSERT_EQ(r.map.fields.size(), 2u);
    EXPECT_EQ(r.map.fields[0].width, "1");
    EXPECT_EQ(r.map.fields[1].name, "B");

    // A trailing tab is not trimmed; a line beginning with something else is ignored.
    r = loadText("FIELD=A,1,NM1\t\r\n# FIELD=B\r\nXFIELD=C\r\n");
    ASSERT_EQ(r.map.fields.size(), 1u);
    EXPECT_EQ(r.map.fields[0].segment, "NM1\t");
}

TEST_F(MapLoaderTest, FieldSegmentAndScreenLinesAreCumulative) {
    MapLoadResult r = loadText(
        "SCREEN=X\r\nFIELD=A\r\nSEGMENT=1,ST\r\nFIELD=B\r\nsegment=2,SE,x\r\nScreen=Y,Z\r\n");
    EXPECT_EQ(r.map.names, (Strings{"A", "B"}));
    ASSERT_EQ(r.map.segmentLayout.size(), 2u);
    EXPECT_EQ(r.map.segmentLayout[1][2], "x");
    EXPECT_EQ(r.map.segmentLayout[1][3], "");
    ASSERT_EQ(r.map.screens.size(), 2u);
    EXPECT_EQ(r.map.screens[1][1], "Z");
    EXPECT_EQ(r.map.segmentLineCount, 2);
    EXPECT_EQ(r.map.screenLineCount, 2);
}

TEST_F(MapLoaderTest, ClearLinesAreSortedByLevelAndTheLastPerLevelWins) {
    MapLoadResult r = loadText(
        "KEYCLEAR9=hl,,,23\r\n"
        "KEYCLEAR7=HL,,,20\r\n"
        "keyclear8=HL,,,21\r\n"
        "KEYCLEAR8=HL,,,22\r\n"
        "KEYCLEAR6=HL\r\nKEYCLEAR100=HL\r\nKEYCLEARX=HL\r\nKEYCLEAR=HL\r\nKEYCLEAR7 =HL\r\n");
    ASSERT_EQ(r.map.clearLists.size(), 3u);
    const int levels[] = {7, 8, 9};
    const char* last[] = {"20", "22", "23"};
    for (size_t i = 0; i < 3; ++i) {
        const ClearList& c = r.map.clearLists[i];
        EXPECT_EQ(c.level, levels[i]);
        EXPECT_EQ(c.keys.kind, KeyList::Kind::Given);
        EXPECT_EQ(c.keys.entries, (Strings{"HL", "", "", last[i]}));
        EXPECT_EQ(c.keys.count, 4);
    }
    EXPECT_EQ(r.map.keyHeader.kind, KeyList::Kind::MatchesEmptyOnly);
}

TEST_F(MapLoaderTest, MissingOrEmptyMapGivesNoFieldTableAndTheMappingError) {
    const std::string expectedRunLog =
        "09:05:07 - Mapping Load Complete \r\n"
        "09:05:07 - Using Map File = test.cfg\r\n"
        "09:05:07 - Key Header Field Count =          0\r\n"
        "09:05:07 - Key Field Count =          0\r\n"
        "09:05:07 - Key Document Field Count =          0\r\n"
        "09:05:07 - Key Line Field Count =          0\r\n"
        "09:05:07 - Key Trailer Field Count =          0\r\n"
        "09:05:07 - Field Count =          0\r\n"
        "09:05:07 - Segment Count =          0\r\n"
        " Mapping Error : .CFG Missing or Empty.\r\n"
        "09:05:07 - Error File  = \r\n";
    const std::string expectedMapLog =
        "Drenik Software  Map Log\r\n"
        "Started 12/08/26  08:00:00\r\n"
        "Parser Version Number :  1.25C-31\r\n"
        "   Sub Version Number :  1.20C-28\r\n"
        "     Operating System : TestOS 1.0\r\n"
        "     Compiler Version : TestCompiler 1.0\r\n"
        "\r\n"
        "   Segement Map Array =          1\r\n"
        "   SEGMAP =          1\r\n";

    MapLoadResult missing = loadMap("test.cfg", true, "", engineStart, ctx);
    EXPECT_FALSE(missing.map.hasFieldTable);
    EXPECT_EQ(missing.runLog, expectedRunLog);
    EXPECT_EQ(missing.mapLogText, expectedMapLog);
    EXPECT_EQ(read("qzmap.log"), expectedMapLog + "\x1a");

    MapLoadResult empty = loadText("", false);
    EXPECT_FALSE(empty.map.hasFieldTable);
    EXPECT_TRUE(empty.map.fields.empty());
    EXPECT_EQ(empty.map.keyHeader.kind, KeyList::Kind::MatchesEmptyOnly);
    EXPECT_EQ(empty.map.keyLine.kind, KeyList::Kind::MatchesNothing);
    EXPECT_EQ(empty.runLog, expectedRunLog);

    // A folder of that name is no map either.
    std::filesystem::create_directory("folder.cfg");
    EXPECT_FALSE(loadMap("folder.cfg", false, "", engineStart, ctx).map.hasFieldTable);
}

TEST_F(MapLoaderTest, RunLogCountsAndMapLogOnlyWhenSwitchedOn) {
    MapLoadResult r = loadText(
        "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n"
        "FIELD=A,1,CLM\r\nFIELD=B,1,LX\r\nSEGMENT=1,ST\r\nSCREEN=1\r\nKEYCLEAR7=HL\r\n");
    EXPECT_EQ(r.runLog,
              "09:05:07 - Mapping Load Complete \r\n"
              "09:05:07 - Using Map File = test.cfg\r\n"
              "09:05:07 - Key Header Field Count =          4\r\n"
              "09:05:07 - Key Field Count =          1\r\n"
              "09:05:07 - Key Document Field Count =          0\r\n"
              "09:05:07 - Key Line Field Count =          1\r\n"
              "09:05:07 - Key Trailer Field Count =          0\r\n"
              "09:05:07 - Field Count =          2\r\n"
              "09:05:07 - Segment Count =          1\r\n");
    EXPECT_FALSE(fileExists("qzmap.log"));
}

}  // namespace brolvin
