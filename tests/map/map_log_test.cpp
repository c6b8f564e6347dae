#include <gtest/gtest.h>

#include "map/map_loader.h"
#include "support/fixed_platform.h"

namespace brolvin {

namespace {

const char* kMap =
    "KEYHEADERFIELD=hl,,,20\r\n"
    "KEYFIELD=CLM\r\n"
    "x12transactiontype=837\r\n"
    "VERSION=005010x222a2\r\n"
    "FIELD=CLMID,20,CLM\r\n"
    "FIELD=PATNAME,30,NM1,QC,2,4,,,,2,,Patient Name,,,fn.txt\r\n"
    "FIELD=SVC,9,SV1,,,2,1,,,0,1,,,,nofile.fun,LX,Q,2,OFF\r\n"
    "just a note\r\n"
    "SEGMENT=1,ISA,00,\r\n"
    "SCREEN=A,B\r\n"
    "KEYLINEFIELD=lx\r\n";

const char* kTitle =
    "Drenik Software RUN1 Map Log\r\n"
    "Started 12/08/26  08:00:00\r\n"
    "Parser Version Number :  1.25C-31\r\n"
    "   Sub Version Number :  1.20C-28\r\n"
    "     Operating System : TestOS 1.0\r\n"
    "     Compiler Version : TestCompiler 1.0\r\n"
    "\r\n";

// The line walk of kMap, up to and including its last line.
const char* kWalk =
    "- Key Header Field = HL,,,20\r\n"
    "- Key Field = CLM\r\n"
    "- X12 Transaction Type = 837\r\n"
    "- X12 Version = 005010X222A2\r\n"
    "- Field          1\r\n"
    "   Field Name = CLMID\r\n"
    "   Field width = 20\r\n"
    "   Segment = CLM\r\n"
    "- Field          2\r\n"
    "   Field Name = PATNAME\r\n"
    "   Field width = 30\r\n"
    "   Segment  = NM1\r\n"
    "   Segment Qualifier = QC\r\n"
    "   Qualifier Position = 2\r\n"
    "   Element Position = 4\r\n"
    "   Subelement Position = \r\n"
    "   Condition Field = \r\n"
    "   Occurence = \r\n"
    "   Level = 2\r\n"
    "   Service Line Number = \r\n"
    "   Field Description = Patient Name\r\n"
    "   Data Starting Position Within the Field = \r\n"
    "   Length of Data = \r\n"
    "   Function = fn.txt\r\n"
    "  - - (File Present) = fn.txt\r\n"
    "- Field          3\r\n"
    "   Field Name = SVC\r\n"
    "   Field width = 9\r\n"
    "   Segment  = SV1\r\n"
    "   Segment Qualifier = \r\n"
    "   Qualifier Position = \r\n"
    "   Element Position = 2\r\n"
    "   Subelement Position = 1\r\n"
    "   Condition Field = \r\n"
    "   Occurence = \r\n"
    "   Level = 0\r\n"
    "   Service Line Number = 1\r\n"
    "   Field Description = \r\n"
    "   Data Starting Position Within the Field = \r\n"
    "   Length of Data = \r\n"
    "   Function = nofile.fun\r\n"
    "  - - (File NOT Present) = nofile.fun  **\r\n"
    "   Previous Segment = LX\r\n"
    "   Previous Segment Qualifier = Q\r\n"
    "   Previous Segment Qualifier Position = 2\r\n"
    "   Toggle Off Field = OFF\r\n"
    "- Segment =\r\n"
    " 1\r\n"
    " ISA\r\n"
    " 00\r\n"
    "- Screen =\r\n"
    " A\r\n"
    " B\r\n"
    "- Key Line Field = LX\r\n";

const char* kKeyLists =
    " Key Header Field 1 = HL\r\n"
    " Key Header Field 2 = \r\n"
    " Key Header Field 3 = \r\n"
    " Key Header Field 4 = 20\r\n"
    " Key Field 1 = CLM\r\n"
    " Key Line Field 1 = LX\r\n";

const char* kSegmentMap =
    "   Segement Map Array =          3\r\n"
    "   SEGMAP =          1\r\n"
    "   SEGMAP =          2\r\n"
    "   SEGMAP =          3\r\n";

class MapLogTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    RunContext ctx{platform};
    DateTime engineStart{2026, 12, 8, 8, 0, 0};

    MapLoadResult load(const std::string& content) {
        write("fn.txt", "function file");
        write("maps.cfg", content);
        return loadMap("maps.cfg", true, "RUN1", engineStart, ctx);
    }
    static std::string present(size_t bytes, int lines) {
        return "- maps.cfg Present\r\n"
               "- Files Size " + std::to_string(bytes) + " Bytes \r\n"
               "- " + std::to_string(lines) + " Lines \r\n"
               "- 3 Fields \r\n"
               "- 1 Segments \r\n"
               "- 1 Screen Elements \r\n";
    }
};

}  // namespace

TEST_F(MapLogTest, WholeMapLogOfAMap) {
    std::string map = kMap;
    MapLoadResult r = load(map);
    // Eleven lines ended by CR LF: the line feed after the last CR is a
    // twelfth, blank line.
    std::string expected = std::string(kTitle) + present(map.size(), 12) + kWalk + kKeyLists +
                           kSegmentMap;
    EXPECT_EQ(r.mapLogText, expected);
    EXPECT_EQ(read("qzmap.log"), expected + "\x1a");
}

TEST_F(MapLogTest, ClearLinesAddTheirOwnLinesAndNothingElse) {
    std::string map = std::string(kMap) + "KEYCLEAR9=hl,,,23\r\nKEYCLEAR7=HL,,,20\r\nKEYCLEAR9=HL,,,24\r\n";
    MapLoadResult withClear = load(map);
    std::string expected = std::string(kTitle) + present(map.size(), 15) + kWalk +
                           "- Key Clear Field 9 = HL,,,23\r\n"
                           "- Key Clear Field 7 = HL,,,20\r\n"
                           "- Key Clear Field 9 = HL,,,24\r\n" +
                           kKeyLists +
                           " Key Clear Field 7 1 = HL\r\n"
                           " Key Clear Field 7 2 = \r\n"
                           " Key Clear Field 7 3 = \r\n"
                           " Key Clear Field 7 4 = 20\r\n"
                           " Key Clear Field 9 1 = HL\r\n"
                           " Key Clear Field 9 2 = \r\n"
                           " Key Clear Field 9 3 = \r\n"
                           " Key Clear Field 9 4 = 24\r\n" +
                           kSegmentMap;
    EXPECT_EQ(withClear.mapLogText, expected);

    MapLoadResult without = load(kMap);
    // The run log of the load does not mention clearing lines.
    EXPECT_EQ(withClear.runLog, without.runLog);
}

}  // namespace brolvin
