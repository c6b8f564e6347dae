// Folder jobs through the real engine: per-file outputs as single runs give
// them, one run log with a section per file in name order, the exit status of
// the worst file, and the same bytes whatever the number of workers.
#include "app/folder_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/fixed_platform.h"
#include "support/test_system.h"
#include "util/file_io.h"
#include "util/os.h"

namespace brolvin {
namespace {

namespace fs = std::filesystem;

std::string claims(int count) {
    std::string body =
        "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~"
        "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~HL*1**20*1~NM1*85*2*NORTH CLINIC~";
    for (int i = 1; i <= count; ++i)
        body += "HL*" + std::to_string(i + 1) + "*1*22*0~CLM*C" + std::to_string(i) + "*100~LX*1~SV1*HC:99213*40~";
    return body + "SE*9*0001~GE*1*1~IEA*1*000000101~";
}

const char* const kMap = "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nFIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n";

// A file of the source folder "in" as the job names it.
std::string inFile(const std::string& name) { return "in" + std::string(os::kNativeSeparator) + name; }

class FolderJob : public test::TempDirTest {
protected:
    DriverResult run(const std::string& type, const std::string& source, const std::string& destination,
                     const std::string& options) {
        DriverArgs args;
        args.conversionType = type;
        args.source = source;
        args.destination = destination;
        args.options = options;
        RunContext ctx(platform);
        return CTLD48403(args, ctx);
    }
    // in/ holds two good files around one whose set holds no claim.
    void writeFolder(const std::string& folder) {
        fs::create_directories(folder);
        write(folder + "/a.x12", claims(2));
        write(folder + "/b.x12", claims(0));  // a set without claims: no record
        write(folder + "/c.x12", claims(3));
    }
    test::FixedPlatform platform;
};

TEST_F(FolderJob, ConvertsEachFileAsASingleRunWouldWhateverTheWorkers) {
    write("m.cfg", kMap);
    writeFolder("single");
    for (const char* name : {"a", "c"})
        ASSERT_EQ(run("X12,XML", std::string("single/") + name + ".x12", std::string("single/") + name + ".xml",
                      "MAP=m.cfg").exitStatus, 0);

    std::string logs[2];
    for (int i = 0; i < 2; ++i) {
        const std::string out = "out" + std::to_string(i);
        writeFolder("in");
        DriverResult r = run("X12,XML", "in", out, std::string("MAP=m.cfg,DS,DEBUG,JOBS=") + (i ? "4" : "1"));
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.recordsWritten, 5);
        EXPECT_EQ(r.outcome.rfind("Error: 1 of 3 files failed (first: " + inFile("b.x12") + ": ", 0), 0u) << r.outcome;
        // Outputs byte for byte; DS took the converted sources only.
        EXPECT_EQ(read(out + "/a.xml"), read("single/a.xml"));
        EXPECT_EQ(read(out + "/c.xml"), read("single/c.xml"));
        EXPECT_FALSE(fs::exists("in/a.x12"));
        EXPECT_TRUE(fs::exists("in/b.x12"));
        EXPECT_FALSE(fs::exists("in/c.x12"));
        // Workers write no side logs; each file's debug text is in its section.
        EXPECT_FALSE(fs::exists("debug.log"));
        EXPECT_FALSE(fs::exists("tdebug.log"));
        std::string log = read("parse.log");
        size_t a = log.find(" - Folder File 1 of 3 : " + inFile("a.x12"));
        size_t b = log.find(" - Folder File 2 of 3 : " + inFile("b.x12"));
        size_t c = log.find(" - Folder File 3 of 3 : " + inFile("c.x12"));
        ASSERT_NE(c, std::string::npos);
        EXPECT_LT(a, b);
        EXPECT_LT(b, c);
        EXPECT_NE(log.find("Start Debug Log", a), std::string::npos);
        EXPECT_LT(log.find("Start Debug Log", a), b);
        EXPECT_NE(log.find(" - Source File Kept : " + inFile("b.x12")), std::string::npos);
        EXPECT_NE(log.find(" - Folder Files Converted : 2, Failed : 1, Records : 5"), std::string::npos);
        EXPECT_NE(log.find(" - The Destination Folder Created."), std::string::npos);
        // The same text but for the destination name and the JOBS word.
        for (const std::string& from : {out, std::string(i ? "JOBS=4" : "JOBS=1"),
                                        std::string(i ? "Jobs Set to : 4" : "Jobs Set to : 1")})
            for (size_t p; (p = log.find(from)) != std::string::npos;) log.replace(p, from.size(), "#");
        logs[i] = log;
    }
    EXPECT_EQ(logs[0], logs[1]);
}

TEST_F(FolderJob, RefusesWhatCannotBeAFolderJob) {
    write("m.cfg", kMap);
    fs::create_directories("empty");
    writeFolder("in");
    write("taken", "a file");
    struct Case {
        const char* source;
        const char* destination;
        const char* options;
        const char* reason;
    } cases[] = {
        {"in", "taken", "MAP=m.cfg", "Error: the destination taken is a file"},
        {"in", "", "MAP=m.cfg", "Error: a source folder needs a destination folder"},
        {"empty", "out", "MAP=m.cfg", "Error: the source folder empty holds no files"},
        {"in", "out", "MAP=m.cfg,OUTFILE=x.xml", "Error: OUTFILE= names one file"},
    };
    for (const Case& c : cases) {
        DriverResult r = run("X12,XML", c.source, c.destination, c.options);
        EXPECT_EQ(r.exitStatus, 1) << c.reason;
        EXPECT_EQ(r.outcome.rfind(c.reason, 0), 0u) << r.outcome;
    }
    // A folder that cannot be listed is a failure, not an empty folder
    // (where permissions can stop this user).
    writeFolder("locked");
    if (test::makeUnreadable("locked")) {
        DriverResult r = run("X12,XML", "locked", "out", "MAP=m.cfg");
        test::makeReadable("locked");
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.outcome.rfind("Error: the source folder locked could not be read: ", 0), 0u) << r.outcome;
    }
    EXPECT_EQ(read("taken"), "a file");
    EXPECT_FALSE(fs::exists("out"));
    EXPECT_TRUE(fs::exists("in/a.x12"));
}

TEST_F(FolderJob, TwoSourcesOfOneOutputNameConvertOnlyTheFirst) {
    write("m.cfg", kMap);
    fs::create_directories("in");
    write("in/a.txt", claims(1));
    write("in/a.x12", claims(2));
    DriverResult r = run("X12,CSV", "in", "out", "MAP=m.cfg,JOBS=2");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.recordsWritten, 1);
    EXPECT_NE(read("parse.log").find(" - Output Name Taken By : " + inFile("a.txt")), std::string::npos);
}

// The current folder as source: its debug.log and run log are not lost.
TEST_F(FolderJob, KeepsTheFilesOfTheCurrentFolder) {
    fs::create_directories("maps");
    write("maps/m.cfg", kMap);
    write("debug.log", claims(1));
    write("parse.log", "earlier run log");
    DriverResult r = run("X12,CSV", ".", "out", "MAP=maps/m.cfg,DEBUG");
    EXPECT_EQ(r.exitStatus, 0) << r.outcome;
    EXPECT_EQ(read("debug.log"), claims(1));
    EXPECT_EQ(read("out/debug.csv"), "C1\r\n");
}

TEST(FolderOutputName, TakesTheTypesExtension) {
    JobSettings plain;
    JobSettings retain;
    retain.extensionMode = 0;
    struct Case {
        const char* name;
        const char* type;
        const JobSettings& settings;
        const char* output;
    } cases[] = {
        {"a.x12", "X12,CSV", plain, "a.csv"},   {"a.b.edi", "x12,xml", plain, "a.b.xml"},
        {"claims", "CSV,X12", plain, "claims.x12"}, {"c.xml", "XML,HL7", plain, "c.x12"},
        {".hidden", "X12,CSV", plain, ".hidden.csv"}, {"a.x12", "X12,ODBC", plain, "a.x12"},
        {"a.x12", "X12,CSV", retain, "a.x12"},
    };
    for (const Case& c : cases) EXPECT_EQ(folderOutputName(c.name, c.type, c.settings), c.output) << c.name;
}

}  // namespace
}  // namespace brolvin
