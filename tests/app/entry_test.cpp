#include "app/entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "support/fixed_platform.h"
#include "support/process.h"
#include "util/file_io.h"

namespace brolvin {
namespace {

using Lines = std::vector<std::string>;

const Lines kBanner = {"Brolvin Core - healthcare EDI converter by Drenik Software",
                       "Version: 1.25C-31 SubVersion: 1.20C-28", "Brolvin Core Start"};

const std::string kNoType = "Error: no conversion type given (brolvin --help shows the usage)";

Lines withBanner(const Lines& rest) {
    Lines all = kBanner;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

using Entry = test::TempDirTest;

TEST_F(Entry, NoParametersWaitsForAKeyAfterCompletion) {
    test::FixedPlatform platform;
    EXPECT_EQ(MAIN({}, platform), 2);
    EXPECT_EQ(platform.console,
              withBanner({kNoType, "Brolvin Core Complete", "Any key to Continue", ""}));
    EXPECT_EQ(platform.keyWaits, 1);
    EXPECT_NE(read("parse.log").find(" - Parameter 1 empty. \r\n"), std::string::npos);
}

TEST_F(Entry, NoParametersWithoutATerminalNeverPrompts) {
    test::FixedPlatform platform;
    platform.terminal = false;
    EXPECT_EQ(MAIN({}, platform), 2);
    EXPECT_EQ(platform.console, withBanner({kNoType, "Brolvin Core Complete"}));
    EXPECT_EQ(platform.keyWaits, 0);
}

// Usage and version requests answer on the console, exit 0 and leave every
// log as it was: parse.log is neither read into a new log nor replaced, and
// debug.log is not deleted.
TEST_F(Entry, UsageAndVersionRequestsTouchNoLog) {
    const struct {
        std::string word;
        bool usage;
    } cases[] = {{"--help", true}, {"-h", true}, {"-?", true}, {"/?", true}, {"--version", false}};
    write("parse.log", "old run\x1A");
    write("debug.log", "old debug");
    for (const auto& c : cases) {
        test::FixedPlatform platform;
        EXPECT_EQ(MAIN({c.word, "in.x12", "out.xml"}, platform), 0) << c.word;
        ASSERT_GE(platform.console.size(), 2u) << c.word;
        EXPECT_EQ(Lines(platform.console.begin(), platform.console.begin() + 2),
                  Lines(kBanner.begin(), kBanner.begin() + 2));
        bool hasSynopsis = false;
        for (const std::string& line : platform.console)
            hasSynopsis = hasSynopsis || line.rfind("Usage: brolvin TYPE SOURCE DESTINATION", 0) == 0;
        EXPECT_EQ(hasSynopsis, c.usage) << c.word;
        EXPECT_EQ(platform.console.size() == 2, !c.usage) << c.word;
    }
    EXPECT_EQ(read("parse.log"), "old run\x1A");
    EXPECT_EQ(read("debug.log"), "old debug");
}

TEST_F(Entry, LoneParameterIsEchoedButConvertsNothingAndDoesNotWait) {
    test::FixedPlatform platform;
    EXPECT_EQ(MAIN({"X12,XML"}, platform), 2);
    EXPECT_EQ(platform.console, withBanner({" Parm 1 : X12,XML", kNoType, "Brolvin Core Complete"}));
    EXPECT_EQ(platform.keyWaits, 0);
    EXPECT_NE(read("parse.log").find(" - Parameter 1 empty. \r\n"), std::string::npos);
}

TEST_F(Entry, FourParametersAreEchoedAndRunTheJob) {
    test::FixedPlatform platform;
    EXPECT_EQ(MAIN({"X12,XML", "missing.x12", "out.xml", "OW,run"}, platform), 1);
    EXPECT_EQ(platform.console,
              withBanner({" Parm 1 : X12,XML", " Parm 2 : missing.x12", " Parm 3 : out.xml",
                          " Parm 4 : OW,run", "Error: source not found: missing.x12", "Brolvin Core Complete"}));
    EXPECT_EQ(platform.keyWaits, 0);
    EXPECT_NE(read("parse.log").find(" - Destination Control : 0\r\n"), std::string::npos);
}

const std::string kIsaGs =
    "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260101*1200*^*00501*000000001*0*T*:~"
    "GS*HC*S*R*20260101*1200*1*X*";
const std::string kClaims = kIsaGs + "005010X222A1~ST*837*0001~HL*1**20*1~HL*2*1*22*0~CLM*C1*100~LX*1~SV1*HC:1*40~"
                                     "LX*2~SV1*HC:2*60~SE*9*0001~GE*1*1~";

// Every job ends with one console line that says what happened: how many
// records went where under which map, or "Error: " and the first failure's
// reason. Warnings go to standard error, never to the console proper.
TEST_F(Entry, EveryJobEndsWithOneOutcomeLine) {
    write("m.cfg", "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n"
                   "FIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\nFIELD=PROC1,9,SV1,,,1,2,,,4,1,Line\r\n");
    write("in.x12", kClaims + "IEA*1*000000001~");
    write("open.x12", kClaims);  // no IEA
    write("v999.x12", kIsaGs + "005010X999~ST*837*0001~SE*1*0001~GE*1*1~IEA*1*000000001~");
    const struct {
        Lines params;
        int status;
        std::string outcome;  // the line, or its beginning when it ends in "..."
        std::string warning;  // a standard-error line that must be there, or ""
    } cases[] = {
        {{"X12,XML", "in.x12", "o.xml", "MAP=m.cfg"}, 0, "1 record written to o.xml (map m.cfg)",
         " - Warning : 1 service line(s) were not written: the map holds 1 per claim; the option ML writes every line"},
        {{"X12,CSV", "open.x12", "o.csv", "MAP=m.cfg,ML"}, 0, "1 record written to o.csv (map m.cfg)",
         " - Warning : the source ends inside an interchange (no IEA after the last ISA)"},
        {{"X12,XLM", "in.x12", "x.xml"}, 1, "Error: unknown conversion type X12,XLM (types: X12,CSV, X12,XML, XML,X12, ...", ""},
        {{"X12,XML", "none.x12", "x.xml"}, 1, "Error: source not found: none.x12", ""},
        {{"X12,XML", "v999.x12", "x.xml"}, 1,
         "Error: no map for GS08 005010X999 / ST01 837 (searched: the known guides and transaction sets; name a map "
         "with MAP=)",
         ""},
        {{"X12,XML", "in.x12", "x.xml", "MAP=gone.cfg"}, 1, "Error: map file not found: gone.cfg (searched: ./, ...",
         ""},
        {{"X12,XML", "in.x12", "nodir/x.xml", "MAP=m.cfg"}, 1, "Error: could not write nodir/x.xml", ""},
        {{"X12,XML", "in.x12", "o.xml", "MAP=m.cfg"}, 1, "Error: destination exists: o.xml (OW replaces it)", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params[0] + " " + c.params[1] + " " + c.params[2]);
        test::FixedPlatform platform;
        EXPECT_EQ(MAIN(c.params, platform), c.status);
        ASSERT_GE(platform.console.size(), 2u);
        const std::string& outcome = platform.console[platform.console.size() - 2];
        if (c.outcome.ends_with("..."))
            EXPECT_TRUE(outcome.starts_with(c.outcome.substr(0, c.outcome.size() - 3))) << outcome;
        else
            EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(platform.console.back(), "Brolvin Core Complete");
        for (const std::string& line : platform.console) EXPECT_EQ(line.find("Warning"), std::string::npos) << line;
        if (!c.warning.empty()) {
            EXPECT_NE(std::find(platform.warnings.begin(), platform.warnings.end(), c.warning), platform.warnings.end());
        }
    }
    // The misspelled type is named in the run log, not only on the console.
    MAIN({"X12,XLM", "in.x12", "x.xml"}, *std::make_unique<test::FixedPlatform>());
    EXPECT_NE(read("parse.log").find(" - Unknown Conversion Type : X12,XLM\r\n"), std::string::npos);
}

// The real program, run as a process in the test's temporary folder.
class Program : public test::TempDirTest {
protected:
    int runProgram(const std::vector<std::string>& args) {
        test::Outcome o = test::runProgram(args, "console.txt", 30);
        return o.exitedNormally ? o.status : -1;
    }
    // Console output as written, without the CR that Windows puts before each LF.
    std::string console(const std::string& name) {
        std::string text = read(name);
        std::erase(text, '\r');
        return text;
    }
};

TEST_F(Program, ConversionWritesARunLogInStepOrderEndingInTheEofMark) {
    write("in.x12",
          "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *"
          "260101*1200*^*00501*000000001*0*T*:~GS*HC*S*R*20260101*1200*1*X*005010X222A1~"
          "ST*837*0001*005010X222A1~SE*2*0001~GE*1*1~IEA*1*000000001~");
    int status = runProgram({"X12,XML", "in.x12", "out.xml"});
    // Whether the conversion succeeds depends on the maps the engine finds.
    EXPECT_TRUE(status == 0 || status == 1) << status;
    std::string log = read("parse.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\x1A');
    size_t at = 0;
    for (const char* text :
         {" - The source is a file.\r\n", " - The Destination File to Create.\r\n",
          " - Destination Control : 1\r\n", " - Reading File : in.x12\r\n",
          " - Writing File : out.xml\r\n", " - Parse X12 to XML.\r\n", "Parse Ended   "}) {
        size_t found = log.find(text, at);
        ASSERT_NE(found, std::string::npos) << text;
        at = found;
    }
}

TEST_F(Program, ExitStatusesOfJobsThatConvertNothing) {
    EXPECT_EQ(runProgram({}), 2);  // no parameters and no terminal: no prompt, no wait
    EXPECT_EQ(console("console.txt").find("Any key to Continue"), std::string::npos);
    EXPECT_EQ(runProgram({"X12,XML", "missing.x12", "out.xml"}), 1);
    write("in.x12", "ISA");
    write("out.xml", "keep");
    EXPECT_EQ(runProgram({"X12,XML", "in.x12", "out.xml"}), 1);
    EXPECT_EQ(read("out.xml"), "keep");
    EXPECT_EQ(runProgram({"X12,ODBC", "in.x12", "new.xml"}), 1);
}

TEST_F(Program, WarningsGoToStandardErrorAndTheOutcomeToStandardOutput) {
    write("m.cfg", "KEYFIELD=CLM\r\nFIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n");
    write("open.x12", kClaims);
    EXPECT_EQ(test::waitProgram(test::startProgram({"X12,XML", "open.x12", "o.xml", "MAP=m.cfg"}, "out.txt", "err.txt"))
                  .status,
              0);
    EXPECT_EQ(console("err.txt"), " - Warning : the source ends inside an interchange (no IEA after the last ISA)\n");
    EXPECT_NE(console("out.txt").find("\n1 record written to o.xml (map m.cfg)\nBrolvin Core Complete\n"), std::string::npos);
}

TEST_F(Program, UsageGoesToStandardOutputAndWritesNoLog) {
    EXPECT_EQ(test::waitProgram(test::startProgram({"--help"}, "help.txt", "help.err")).status, 0);
    EXPECT_NE(console("help.txt").find("Usage: brolvin"), std::string::npos);
    EXPECT_EQ(console("help.err"), "");
    EXPECT_FALSE(std::filesystem::exists("parse.log"));
}

}  // namespace
}  // namespace brolvin
