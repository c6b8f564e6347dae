#include "app/job_driver.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "support/fixed_platform.h"
#include "util/text.h"

namespace brolvin {
namespace {

const std::string kHeader =
    "Drenik Software Brolvin Log\r\n"
    "Brolvin \r\n"
    "Started 12/08/26  09:05:07\r\n"
    "--------------------------------\r\n"
    "   Parser Version Number :  1.25C-31\r\n"
    "      Sub Version Number :  1.20C-28\r\n"
    "       Current Directory : tmp/work\r\n"
    "           Current Drive : \r\n"
    "        Compiler version : TestCompiler 1.0\r\n"
    "        Operating System : TestOS 1.0\r\n"
    "--------------------------------\r\n";
const std::string kClosing =
    "--------------------------------\r\n\r\nParse Ended   12/08/26  09:05:07\r\n";

std::string stamped(std::initializer_list<std::string> texts) {
    std::string s;
    for (const std::string& t : texts) s += "09:05:07" + t + "\r\n";
    return s;
}

class JobDriver : public test::TempDirTest {
protected:
    DriverResult run(const std::string& type, const std::string& source,
                     const std::string& destination, const std::string& options = "") {
        DriverArgs args;
        args.conversionType = type;
        args.source = source;
        args.destination = destination;
        args.options = options;
        RunContext ctx(platform);
        return CTLD48403(args, ctx, [this](const EngineArgs& a, RunContext&) {
            calls.push_back(a);
            if (!engineWrites.empty()) write(engineWrites, "engine output");
            return engineResult;
        });
    }
    const EngineArgs& onlyCall() {
        EXPECT_EQ(calls.size(), 1u);
        if (calls.empty()) calls.emplace_back();
        return calls.front();
    }

    test::FixedPlatform platform;
    std::vector<EngineArgs> calls;
    EngineResult engineResult;
    std::string engineWrites;  // a file the fake engine creates while it runs
};

TEST_F(JobDriver, PlainConversionLogsEveryStepAndWritesTheRunLog) {
    write("in.x12", "ISA");
    engineResult.log = "09:05:07 - engine text\r\n";
    DriverResult r = run("X12,XML", "in.x12", "out.xml");
    std::string expected =
        kHeader +
        stamped({" - The source is a file.", " - Source File : in.x12",
                 " - The Destination File to Create.", " - Destination : out.xml",
                 " - Type Paramter : X12,XML", " - Source Parameter : in.x12",
                 " - Destination Parameter : out.xml", " - Options Paramter : ",
                 " - Destination Control : 1", " - Reading File : in.x12",
                 " - Writing File : out.xml", " - Parse X12 to XML.", " - engine text", " "}) +
        kClosing;
    EXPECT_EQ(r.runLog, expected);
    EXPECT_EQ(read("parse.log"), expected + '\x1A');
    EXPECT_EQ(r.exitStatus, kExitConverted);
    const EngineArgs& a = onlyCall();
    EXPECT_EQ(a.job.currentDestination, "out.xml");
    EXPECT_EQ(a.requestedDestination, "out.xml");
    EXPECT_EQ(a.job.source, "in.x12");
    EXPECT_EQ(a.settings.runLogName, "parse.log");
    EXPECT_EQ(a.settings.databaseMap, "");
}

TEST_F(JobDriver, OptionWordsIgnoreCaseButNotALeadingSpace) {
    write("in.x12", "ISA");
    write("out.xml", "previous");
    DriverResult lower = run("X12,XML", "in.x12", "out.xml", "mf,ow");
    EXPECT_NE(lower.runLog.find(stamped({" - Merge Files Set to Yes.",
                                         " - Overwrite Files Set to Yes.",
                                         " - The source is a file."})),
              std::string::npos);
    EXPECT_NE(lower.runLog.find(stamped({" - Destination Control : 1",
                                         " -  Erased : out.xml", " - Reading File : in.x12"})),
              std::string::npos);
    EXPECT_EQ(onlyCall().settings.merge, "MF");
    EXPECT_EQ(lower.exitStatus, kExitConverted);

    write("out.xml", "previous");
    calls.clear();
    DriverResult spaced = run("X12,XML", "in.x12", "out.xml", "MF, OW");
    std::string expected =
        kHeader +
        stamped({" - Merge Files Set to Yes.", " - The source is a file.",
                 " - Source File : in.x12", " - The destination file exists.",
                 " - File : out.xml", " - Type Paramter : X12,XML",
                 " - Source Parameter : in.x12", " - Destination Parameter : out.xml",
                 " - Options Paramter : MF, OW", " - Destination Control : 1",
                 " - File Exists : out.xml"}) +
        kClosing;
    EXPECT_EQ(spaced.runLog, expected);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(read("out.xml"), "previous");
    EXPECT_EQ(spaced.exitStatus, kExitNotConverted);
}

TEST_F(JobDriver, ValueWordsAreTrimmedCutAtCommasAndPassedToTheEngine) {
    write("in.x12", "ISA");
    DriverResult r = run("X12,XML", "in.x12", "out.xml",
                         "MAPPATH=c:\\maps\\ ,map= My.cfg,MAPLOG,DEFAULTMAPPATH=d,b.cfg,"
                         "REPORT,CRLFX,debug,err,ds,rpmn,ho");
    EXPECT_TRUE(r.runLog.starts_with(
        kHeader + stamped({" - MapPath = ", " - Map = ", " - Map Log ON.", " - DefaultMapPath = ",
                       " - Retain File Extension.", " - Add CR/LF to end of X12 Segment.",
                       " - Debug is on.", " - Error Files Set to Yes.",
                       " - Delete Source File Set to Yes.", " - Rename with Prefix Map Name.",
                       " - Header On File Set to Yes.", " - The source is a file."})));
    const EngineArgs& a = onlyCall();
    EXPECT_EQ(a.settings.mapPath, "c:\\maps\\");
    EXPECT_EQ(a.settings.mapName, "My.cfg");
    EXPECT_EQ(a.settings.mapLog, 1);
    EXPECT_EQ(a.settings.defaultMapPath, "d");
    EXPECT_EQ(a.settings.segmentCrLf, 1);
    EXPECT_EQ(a.settings.debug, "DEBUG");
    EXPECT_EQ(a.settings.errorFiles, "ERR");
    EXPECT_EQ(a.settings.deleteSource, 1);
    EXPECT_EQ(a.settings.renameWithMapName, 1);
}

TEST_F(JobDriver, RunLogNameOptionRedirectsTheLogFile) {
    write("in.x12", "ISA");
    write("parse.log", "old log\x1A");
    DriverResult r = run("X12,XML", "in.x12", "out.xml", "PARSELOG= run1.log ");
    EXPECT_NE(r.runLog.find(stamped({" - Parselog = ", " - Parse Log Set to : run1.log"})),
              std::string::npos);
    EXPECT_EQ(read("run1.log"), r.runLog + '\x1A');
    EXPECT_EQ(read("parse.log"), "old log\x1A");
    EXPECT_EQ(onlyCall().settings.runLogName, "run1.log");

    // An unwritable run log is skipped; the job result is unaffected.
    calls.clear();
    EXPECT_EQ(run("X12,XML", "in.x12", "out.xml", "PARSELOG=no/such/dir.log").exitStatus,
              kExitConverted);
}

TEST_F(JobDriver, DestinationExtensionAndOutputFileDecideTheFileTheEngineWrites) {
    write("in.x12", "ISA");
    struct Case {
        const char* type;
        const char* destination;
        const char* options;
        const char* engineWrites;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"X12,XML", "out.txt", "CE", "out.xml"},
             {"X12,XML", "out.txt", "", "out.txt"},
             {"x12,csv", "c:\\data.old\\out", "CE", "c:\\data.csv"},
             {"X12,CSV", "noext", "CE", "noext.csv"},
             {"CSV,X12", "out.txt", "CE", "out.txt"},
             {"X12,XML", "out.txt", "CE,OUTFILE= result.xml", "result.xml"},
             {"X12,XML", "out.txt", "OUTFILE=", "out.txt"},
             {"X12,XML", "", "RE", ""},
         }) {
        SCOPED_TRACE(std::string(c.type) + " " + c.destination + " " + c.options);
        calls.clear();
        DriverResult r = run(c.type, "in.x12", c.destination, c.options);
        const EngineArgs& a = onlyCall();
        EXPECT_EQ(a.job.currentDestination, c.engineWrites);
        EXPECT_EQ(a.job.destination, c.destination);
        EXPECT_EQ(a.requestedDestination, c.destination);
        EXPECT_NE(r.runLog.find(stamped({std::string(" - Writing File : ") + c.destination})),
                  std::string::npos);
    }
}

TEST_F(JobDriver, DestinationWithDotInTheLastButOnePlaceIsAMissingFolder) {
    write("in.x12", "ISA");
    DriverResult r = run("X12,XML", "in.x12", "out.x");
    std::string expected =
        kHeader +
        stamped({" - The source is a file.", " - Source File : in.x12",
                 " - The Destination Folder does Not exist.", " - Destination : out.x",
                 " - Type Paramter : X12,XML", " - Source Parameter : in.x12",
                 " - Destination Parameter : out.x", " - Options Paramter : ",
                 " - Destination Control : 0"}) +
        kClosing;
    EXPECT_EQ(r.runLog, expected);
    EXPECT_EQ(read("parse.log"), expected + '\x1A');
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(r.exitStatus, kExitNotConverted);
}

TEST_F(JobDriver, MissingSourceConvertsNothing) {
    DriverResult r = run("X12,XML", "missing.x12   ", "out.xml   ");
    EXPECT_EQ(r.runLog, kHeader +
                            stamped({" - The Destination File to Create.", " - Destination : out.xml",
                                     " - Type Paramter : X12,XML",
                                     " - Source Parameter : missing.x12",
                                     " - Destination Parameter : out.xml",
                                     " - Options Paramter : ", " - Destination Control : 0"}) +
                            kClosing);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(r.exitStatus, kExitNotConverted);
}

TEST_F(JobDriver, BlankParametersLogTheFrontEndStepAndCopyThePreviousLog) {
    write("parse.log", "previous run\r\n\x1A");
    std::string spaces(255, ' ');
    DriverResult noType = run("", spaces, spaces);
    EXPECT_EQ(noType.runLog,
              kHeader + stamped({" - Parameter 1 and 2 are empty. Start User Interface "}) +
                  "\r\nprevious run\r\n\r\n" + stamped({" - Parameter 1 empty. "}) + kClosing);
    EXPECT_EQ(noType.exitStatus, kExitBlankParameter);

    deleteFile("parse.log");
    DriverResult noSource = run("X12,XML", spaces, "out.xml", "OW");
    EXPECT_EQ(noSource.runLog,
              kHeader + stamped({" - Parameter 1 and 2 are empty. Start User Interface ",
                                 " - Parameter 2 empty."}) +
                  kClosing);
    EXPECT_EQ(noSource.exitStatus, kExitBlankParameter);
    EXPECT_TRUE(calls.empty());
}

TEST_F(JobDriver, EngineOutcomeDecidesTheExitStatus) {
    write("in.x12", "ISA");
    engineResult.log = "09:05:07 - engine\r\n";
    engineResult.write.failed = true;
    engineResult.write.file = "out.xml";
    DriverResult failed = run("X12,XML", "in.x12", "out.xml");
    EXPECT_NE(failed.runLog.find(stamped({" - Parse X12 to XML.", " - engine",
                                          " - Write Error : out.xml", " "}) + kClosing),
              std::string::npos);
    EXPECT_EQ(failed.exitStatus, kExitNotConverted);

    engineResult = {};
    engineResult.mapMissing = true;
    EXPECT_EQ(run("X12,XML", "in.x12", "out.xml").exitStatus, kExitNotConverted);

    engineResult = {};
    EXPECT_EQ(run("HL7,XML", "in.x12", "out.xml").exitStatus, kExitNotConverted);
    EXPECT_EQ(run("xml,hl7", "in.x12", "out.x12").exitStatus, kExitConverted);
    EXPECT_EQ(calls.size(), 4u);
}

TEST_F(JobDriver, UnknownTypeRunsNothingAndKeepsAnExistingDestination) {
    write("in.x12", "ISA");
    write("out.xml", "keep");
    DriverResult r = run("X12,ODBC", "in.x12", "out.xml", "OW");
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(read("out.xml"), "keep");
    EXPECT_EQ(r.exitStatus, kExitNotConverted);

    deleteFile("out.xml");
    r = run("X12,ODBC", "in.x12", "out.xml");
    EXPECT_NE(r.runLog.find(stamped({" - Writing File : out.xml", " "}) + kClosing),
              std::string::npos);
    EXPECT_TRUE(calls.empty());
}

TEST_F(JobDriver, OverwriteNeverErasesTheSourceItself) {
    write("in.x12", "ISA");
    DriverResult r = run("X12,XML", "in.x12", "./in.x12", "OW");
    EXPECT_NE(r.runLog.find(stamped({" - Destination Control : 1", " - Same File As Source : ./in.x12"})),
              std::string::npos);
    EXPECT_EQ(read("in.x12"), "ISA");
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(r.exitStatus, kExitNotConverted);
}

TEST_F(JobDriver, DisplayModeThreeCallsTheFrontEndAndPassesModeZero) {
    write("in.x12", "ISA");
    DriverArgs args;
    args.conversionType = "X12,XML";
    args.source = "in.x12";
    args.destination = "out.xml";
    args.runLabel = "label";
    args.extraValue = "extra";
    args.settingsFolder = "settings";
    args.displayMode = 3;
    RunContext ctx(platform);
    std::vector<EngineArgs> seen;
    DriverResult r = CTLD48403(args, ctx, [&](const EngineArgs& a, RunContext&) {
        seen.push_back(a);
        return EngineResult{};
    });
    EXPECT_EQ(r.runLog.find("Start User Interface"), std::string::npos);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].displayMode, 0);
    EXPECT_EQ(seen[0].runLabel, "label");
}

TEST_F(JobDriver, DebugLogIsDeletedAtStartAndMergedAtTheEnd) {
    write("in.x12", "ISA");
    write("debug.log", "stale");
    DriverResult r = run("X12,XML", "in.x12", "out.xml", "DEBUG");
    EXPECT_EQ(r.runLog.find("stale"), std::string::npos);

    engineWrites = "debug.log";
    r = run("X12,XML", "in.x12", "out.xml", "DEBUG");
    EXPECT_TRUE(r.runLog.ends_with(kClosing + "engine output\r\n\r\n"));
}

TEST(JobDriverNames, ExtensionRoutines) {
    EXPECT_EQ(typeExtensionName("claims.txt", "X12,XML", 1), "claims.xml");
    EXPECT_EQ(typeExtensionName("a.b.c", "X12,CSV", 1), "a.csv");
    EXPECT_EQ(typeExtensionName("noext", "X12,CSV", 1), "noext");
    EXPECT_EQ(typeExtensionName("a.b", "X12", 1), "a.");
    EXPECT_EQ(typeExtensionName("claims.txt", "X12,XML", 0), "claims.txt");
    EXPECT_EQ(replaceExtension("c:\\data.old\\out", "csv", 0), "c:\\data.csv");
    EXPECT_EQ(replaceExtension("out", "xml", 0), "out.xml");
    EXPECT_EQ(replaceExtension("out.txt", "xml", 1), "out.txt");
}

TEST(JobDriverNames, OptionTesterMatchesWordBeginningsInAnyCase) {
    JobParams job;
    job.options = "mf,hold, OW,debugX,sl";
    EXPECT_TRUE(hasOption(job, OptionCode::HeaderLine));
    EXPECT_FALSE(hasOption(job, OptionCode::Overwrite));
    EXPECT_TRUE(hasOption(job, OptionCode::Debug));
    EXPECT_TRUE(hasOption(job, OptionCode::ServiceLines));
    EXPECT_FALSE(hasOption(job, OptionCode::EveryLine));
    EXPECT_FALSE(hasOption(job, static_cast<OptionCode>(0)));
    EXPECT_FALSE(hasOption(job, static_cast<OptionCode>(6)));
}

}  // namespace
}  // namespace brolvin
