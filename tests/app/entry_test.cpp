#include "app/entry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <vector>

#include "support/fixed_platform.h"
#include "util/file_io.h"

namespace brolvin {
namespace {

using Lines = std::vector<std::string>;

const Lines kBanner = {"Brolvin Core - healthcare EDI converter by Drenik Software",
                       "Version: 1.25C-31 SubVersion: 1.20C-28", "Brolvin Core Start"};

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
              withBanner({"Brolvin Core Complete", "Any key to Continue", ""}));
    EXPECT_EQ(platform.keyWaits, 1);
    EXPECT_NE(read("parse.log").find(" - Parameter 1 empty. \r\n"), std::string::npos);
}

TEST_F(Entry, NoParametersWithoutATerminalNeverPrompts) {
    test::FixedPlatform platform;
    platform.terminal = false;
    EXPECT_EQ(MAIN({}, platform), 2);
    EXPECT_EQ(platform.console, withBanner({"Brolvin Core Complete"}));
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
    EXPECT_EQ(platform.console, withBanner({" Parm 1 : X12,XML", "Brolvin Core Complete"}));
    EXPECT_EQ(platform.keyWaits, 0);
    EXPECT_NE(read("parse.log").find(" - Parameter 1 empty. \r\n"), std::string::npos);
}

TEST_F(Entry, FourParametersAreEchoedAndRunTheJob) {
    test::FixedPlatform platform;
    EXPECT_EQ(MAIN({"X12,XML", "missing.x12", "out.xml", "OW,run"}, platform), 1);
    EXPECT_EQ(platform.console,
              withBanner({" Parm 1 : X12,XML", " Parm 2 : missing.x12", " Parm 3 : out.xml",
                          " Parm 4 : OW,run", "Brolvin Core Complete"}));
    EXPECT_EQ(platform.keyWaits, 0);
    EXPECT_NE(read("parse.log").find(" - Destination Control : 0\r\n"), std::string::npos);
}

// The real program, run as a process in the test's temporary folder.
class Program : public test::TempDirTest {
protected:
    int runProgram(const std::string& arguments) {
        std::string command = std::string("timeout 30 ") + BROLVIN_BINARY + " " + arguments +
                              " </dev/null >console.txt 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(Program, ConversionWritesARunLogInStepOrderEndingInTheEofMark) {
    write("in.x12",
          "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *"
          "260101*1200*^*00501*000000001*0*T*:~GS*HC*S*R*20260101*1200*1*X*005010X222A1~"
          "ST*837*0001*005010X222A1~SE*2*0001~GE*1*1~IEA*1*000000001~");
    int status = runProgram("X12,XML in.x12 out.xml");
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
    EXPECT_EQ(runProgram(""), 2);  // no parameters and no terminal: no prompt, no wait
    EXPECT_EQ(read("console.txt").find("Any key to Continue"), std::string::npos);
    EXPECT_EQ(runProgram("X12,XML missing.x12 out.xml"), 1);
    write("in.x12", "ISA");
    write("out.xml", "keep");
    EXPECT_EQ(runProgram("X12,XML in.x12 out.xml"), 1);
    EXPECT_EQ(read("out.xml"), "keep");
    EXPECT_EQ(runProgram("X12,ODBC in.x12 new.xml"), 1);
}

TEST_F(Program, UsageGoesToStandardOutputAndWritesNoLog) {
    std::string command = std::string(BROLVIN_BINARY) + " --help >help.txt 2>help.err";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(read("help.txt").find("Usage: brolvin"), std::string::npos);
    EXPECT_EQ(read("help.err"), "");
    EXPECT_FALSE(std::filesystem::exists("parse.log"));
}

}  // namespace
}  // namespace brolvin
