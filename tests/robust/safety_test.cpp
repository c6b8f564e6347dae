// The job-level guarantees, run through the real program: the source is
// never written over, outputs are whole or absent, merges are locked and
// undone on failure, "DS" deletes only after a conversion, and every job
// that falls short exits 1.

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/fixed_platform.h"
#include "support/process.h"
#include "support/test_system.h"
#include "util/file_io.h"
#include "util/locked_append.h"
#include "util/os.h"

namespace brolvin {
namespace {

namespace fs = std::filesystem;
using test::Outcome;
using test::runProgram;

// GS08 005010X222A1 lets the job find the shipped 837P map when none is named.
std::string claims(int count, bool closed = true) {
    std::string body =
        "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~"
        "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~HL*1**20*1~NM1*85*2*NORTH CLINIC~";
    for (int i = 1; i <= count; ++i)
        body += "HL*" + std::to_string(i + 1) + "*1*22*0~CLM*C" + std::to_string(i) + "*100~LX*1~SV1*HC:99213*40~";
    body += "SE*9*0001~GE*1*1~";
    return closed ? body + "IEA*1*000000101~" : body;
}

const char* const kMap = "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nFIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n";
const std::string kXmlOpen = "<?xml version=\"1.0\"  encoding=\"ISO-8859-1\"?>\r\n<EXPORTDATA>\r\n";
const std::string kXmlClose = "</EXPORTDATA>\r\n";
// An earlier output that a merge appends to.
const std::string kOldXml = kXmlOpen + "<CLAIM>\r\n<CLAIMID>OLD</CLAIMID>\r\n</CLAIM>\r\n" + kXmlClose;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Temporary files of unfinished outputs left in `folder`.
int leftovers(const std::string& folder = ".") {
    int n = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".part-") != std::string::npos) ++n;
    return n;
}

class SafetyTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("m.cfg", kMap);
    }
    // Runs one job; log_ holds its run log (none when "") and console output.
    Outcome job(const std::vector<std::string>& args, const std::string& runLog = "parse.log") {
        Outcome o = runProgram(args, "console.txt");
        EXPECT_TRUE(o.exitedNormally) << "ended by signal " << -o.status;
        log_ = read(runLog) + read("console.txt");
        return o;
    }
    bool logged(const std::string& text) const { return log_.find(text) != std::string::npos; }
    std::string log_;
};

// Every name a job writes or deletes, when it reaches the source by its own
// name, a hard link or a symbolic link, stops the job before anything is written.
TEST_F(SafetyTest, NoWrittenNameMayReachTheSource) {
    struct Role {
        const char* name;
        const char* written;  // the name that reaches the source
        const char* destination;
        const char* options;
    };
    const Role roles[] = {
        {"destination", "w.xml", "w.xml", ""},
        {"CE", "w.xml", "w.out", "CE"},
        {"OUTFILE=", "w.xml", "out.xml", "OUTFILE=w.xml"},
        {"PARSELOG=", "w.log", "out.xml", "PARSELOG=w.log"},
        {"RPMN", "837p_out.xml", "out.xml", "RPMN"},
        {"debug.log", "debug.log", "out.xml", "DEBUG"},
        {"tdebug.log", "tdebug.log", "out.xml", "DEBUG"},
        {"qzmap.log", "qzmap.log", "out.xml", "MAPLOG"},
    };
    const std::string source = claims(2);
    for (const Role& role : roles) {
        for (const char* alias : {"same name", "hard link", "symbolic link"}) {
            SCOPED_TRACE(std::string(role.name) + ", " + alias);
            for (const fs::directory_entry& e : fs::directory_iterator(".")) fs::remove(e.path());
            const std::string how = alias;
            const std::string sourceName = how == "same name" ? role.written : "src.x12";
            write(sourceName, source);
            if (how == "hard link") fs::create_hard_link(sourceName, role.written);
            std::error_code linked;
            if (how == "symbolic link") fs::create_symlink(sourceName, role.written, linked);
            if (linked) continue;  // Windows lets only some users make symbolic links
            // A run log that would be the source is not written: the console says why.
            std::string runLog = std::string(role.name) == "PARSELOG=" ? "" : "parse.log";
            Outcome o = job({"X12,XML", sourceName, role.destination, std::string(role.options) + ",DS"}, runLog);
            EXPECT_EQ(o.status, 1);
            const std::string said = runLog.empty()
                                         ? "Error: the run log " + std::string(role.written) + " is the source file itself"
                                         : " - Same File As Source : " + std::string(role.written);
            EXPECT_TRUE(logged(said)) << log_;
            EXPECT_EQ(read(sourceName), source);
            EXPECT_FALSE(fileExists("out.xml"));
            EXPECT_EQ(leftovers(), 0);
        }
    }

    // A source named like the debug log is neither deleted at job start nor
    // taken for the debug log.
    write("debug.log", source);
    write("m.cfg", kMap);
    EXPECT_EQ(job({"X12,XML", "debug.log", "d.xml", "MAP=m.cfg"}).status, 0);
    EXPECT_EQ(read("debug.log"), source);
    EXPECT_EQ(count(log_, "CLM*C1"), 0u);
}

// An existing file named by OUTFILE=, by CE or by RPMN is replaced only under
// OW and appended to only under MF; otherwise it is kept and the job stops.
TEST_F(SafetyTest, ExistingOutputsNeedOverwriteOrMerge) {
    struct Case {
        const char* name;
        const char* destination;
        const char* options;
        const char* existing;
        int status;
        bool kept;  // the existing file is byte for byte as before
    };
    for (const Case& c : std::initializer_list<Case>{
             {"OUTFILE", "out.xml", "MAP=m.cfg,OUTFILE=old.xml", "old.xml", 1, true},
             {"OUTFILE OW", "out.xml", "MAP=m.cfg,OUTFILE=old.xml,OW", "old.xml", 0, false},
             {"OUTFILE MF", "out.xml", "MAP=m.cfg,OUTFILE=old.xml,MF", "old.xml", 0, false},
             {"CE", "old.txt", "MAP=m.cfg,CE", "old.xml", 1, true},
             {"RPMN", "out.xml", "RPMN", "837p_out.xml", 1, true},
             {"RPMN OW", "out.xml", "RPMN,OW", "837p_out.xml", 0, false},
             {"generation MF", "out.x12", "MAP=g.cfg,OUTFILE=old.xml,MF", "old.xml", 1, true},
         }) {
        SCOPED_TRACE(c.name);
        for (const fs::directory_entry& e : fs::directory_iterator(".")) fs::remove(e.path());
        write("in.x12", claims(2));
        write("m.cfg", kMap);
        write("g.cfg", "FIELD=A,10\r\nSEGMENT=2,REF,$A\r\n");
        write(c.existing, kOldXml);
        const bool generation = std::string(c.name) == "generation MF";
        Outcome o = job({generation ? "CSV,X12" : "X12,XML", "in.x12", c.destination, c.options});
        EXPECT_EQ(o.status, c.status);
        std::string now = read(c.existing);
        if (c.kept) {
            EXPECT_EQ(now, kOldXml);
            EXPECT_TRUE(logged(std::string(" - File Exists : ") + c.existing)) << log_;
            EXPECT_FALSE(fileExists("out.xml"));
        } else {
            EXPECT_EQ(count(now, "<CLAIMID>C2</CLAIMID>"), 1u);
            EXPECT_EQ(count(now, "</EXPORTDATA>"), 1u);
            EXPECT_EQ(count(now, "<CLAIMID>OLD</CLAIMID>"), std::string(c.name) == "OUTFILE MF" ? 1u : 0u);
        }
        EXPECT_EQ(leftovers(), 0);
    }
}

// "DS" deletes the source only after a job that converted, and says what it did.
TEST_F(SafetyTest, DeleteSourceOnlyAfterAConversion) {
    struct Case {
        const char* name;
        std::string type, source, map;
        int status;
        bool deleted;
        const char* line;
    };
    const std::string plain = claims(2);
    for (const Case& c : {
             Case{"converted", "X12,XML", plain, kMap, 0, true, " - Source File Deleted : in.x12"},
             Case{"no IEA", "X12,XML", claims(2, false), kMap, 0, true,
                  " - Warning : the source ends inside an interchange (no IEA after the last ISA)"},
             Case{"no key field matched", "X12,XML", plain, "KEYFIELD=NOPE\r\nFIELD=X,9,NOPE,,,1\r\n", 1, false,
                  " - No Records Written : no key field of the map matched a segment of the source"},
             Case{"no FIELD lines", "X12,CSV", plain, "KEYFIELD=CLM\r\n", 1, false,
                  " - No Records Written : the map has no FIELD lines"},
             Case{"HL7,XML", "HL7,XML", plain, kMap, 1, false, " - Source File Kept : in.x12"},
             Case{"empty CSV", "CSV,X12", "", "FIELD=A,10\r\nSEGMENT=2,REF,$A\r\n", 0, false,
                  " - Source File Kept : in.x12"},
         }) {
        SCOPED_TRACE(c.name);
        write("in.x12", c.source);
        write("c.cfg", c.map);
        deleteFile("out.xml");
        Outcome o = job({c.type, "in.x12", "out.xml", "MAP=c.cfg,DS"});
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(fileExists("in.x12"), !c.deleted);
        EXPECT_TRUE(logged(c.line)) << log_;
    }
}

// A job killed while it writes leaves nothing under the final name.
TEST_F(SafetyTest, KilledJobLeavesNoOutput) {
    write("in.x12", claims(400000));
    test::Process job = test::startProgram({"X12,XML", "in.x12", "out.xml", "MAP=m.cfg"});
    bool writing = false;
    for (int i = 0; i < 20000 && !writing; ++i) {
        writing = leftovers() > 0;
        if (!writing) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    test::killProcess(job);
    Outcome o = test::waitProgram(job);
    ASSERT_TRUE(writing) << "the job ended before it was seen writing";
    EXPECT_EQ(o.status, test::kKilledStatus);
    EXPECT_FALSE(fs::exists("out.xml"));
}

// Two jobs into one destination: without OW one wins and the other says so;
// with OW each replaces the file whole; with MF the appends follow each other.
TEST_F(SafetyTest, ConcurrentJobsNeverInterleave) {
    const int claimCount = 60000;
    write("in.x12", claims(claimCount));
    ASSERT_EQ(job({"X12,XML", "in.x12", "ref.xml", "MAP=m.cfg"}).status, 0);
    const std::string single = read("ref.xml");
    for (const char* options : {"MAP=m.cfg", "MAP=m.cfg,OW", "MAP=m.cfg,MF,OUTFILE=out.xml"}) {
        SCOPED_TRACE(options);
        const bool merge = std::string(options).find("MF") != std::string::npos;
        deleteFile("out.xml");
        if (merge) write("out.xml", kOldXml);
        test::Process first = test::startProgram({"X12,XML", "in.x12", merge ? "a.xml" : "out.xml", options});
        test::Process second = test::startProgram({"X12,XML", "in.x12", merge ? "b.xml" : "out.xml", options});
        int a = test::waitProgram(first).status, b = test::waitProgram(second).status;
        std::string out = read("out.xml");
        if (merge) {
            EXPECT_EQ(a + b, 0);
            EXPECT_EQ(count(out, "<?xml"), 1u);
            EXPECT_EQ(count(out, "</EXPORTDATA>"), 1u);
            // The old claim, then each job's claims as one unbroken run.
            std::string body = single.substr(kXmlOpen.size(), single.size() - kXmlOpen.size() - kXmlClose.size());
            EXPECT_TRUE(out == kOldXml.substr(0, kOldXml.size() - kXmlClose.size()) + body + body + kXmlClose);
        } else {
            EXPECT_EQ(a + b, std::string(options).find("OW") != std::string::npos ? 0 : 1);
            EXPECT_TRUE(out == single) << out.size() << " bytes against " << single.size();
        }
        EXPECT_EQ(leftovers(), 0);
    }
}

// Full disks: a new output leaves nothing, a merge leaves the earlier
// content byte for byte, and RPMN renames without needing room for a copy.
TEST_F(SafetyTest, FullDisk) {
    write("in.x12", claims(20));
    fs::create_directory("small");
    ASSERT_EQ(job({"X12,XML", "in.x12", "small/out.xml", "RPMN"}).status, 0);
    ASSERT_EQ(std::rename("small/837p_out.xml", "ref.xml"), 0);
    const long long outputSize = fileSize("ref.xml");
    // Room for the output once, not twice.
    const long long room = (outputSize * 3 / 2 + 4095) / 4096 * 4096;
    // A source whose one-field output (over 30 bytes a claim) overflows that room.
    write("in2.x12", claims(static_cast<int>(room / 30) + 1000));
    if (!test::mountSmallDisk("small", room)) GTEST_SKIP() << "cannot mount a small disk here";
    struct Unmount {
        ~Unmount() { test::unmountDisk("small"); }
    } unmount;

    Outcome o = job({"X12,XML", "in.x12", "small/out.xml", "RPMN,DS"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(read("small/837p_out.xml"), read("ref.xml"));
    EXPECT_FALSE(fileExists("small/out.xml"));
    deleteFile("small/837p_out.xml");

    o = job({"X12,XML", "in2.x12", "small/out.xml", "MAP=m.cfg,DS"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(logged(" - Write Error : small/out.xml"));
    EXPECT_TRUE(fileExists("in2.x12"));
    EXPECT_EQ(leftovers("small"), 0);
    EXPECT_FALSE(fileExists("small/out.xml"));

    write("small/old.xml", kOldXml);
    o = job({"X12,XML", "in2.x12", "out.xml", "MAP=m.cfg,MF,DS,OUTFILE=small/old.xml"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(read("small/old.xml"), kOldXml);
    EXPECT_TRUE(fileExists("in2.x12"));
}

// A merge waits a bounded time for another job's lock, then gives up; an
// append that fails is undone, cut closing line included.
TEST_F(SafetyTest, MergeLockAndUndo) {
    write("old.xml", "<A>\r\n</EXPORTDATA>\r\n");
    int other = os::openFile("old.xml", O_RDONLY);
    ASSERT_EQ(os::tryLockExclusive(other), os::Lock::kLocked);
    LockedAppend file;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(file.open("old.xml", std::chrono::milliseconds(200)), LockedAppend::Opened::kBusy);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    os::closeFile(other);

    ASSERT_EQ(file.open("old.xml", std::chrono::milliseconds(200)), LockedAppend::Opened::kLocked);
    EXPECT_FALSE(file.cut(-1));
    ASSERT_TRUE(file.cut(5));
    ASSERT_EQ(os::writeAt(file.fd(), "<B>appended", 11, 5), 11);
    EXPECT_TRUE(file.restore());
    file.release();
    EXPECT_EQ(read("old.xml"), "<A>\r\n</EXPORTDATA>\r\n");
    EXPECT_EQ(file.open("missing.xml", std::chrono::milliseconds(0)), LockedAppend::Opened::kMissing);
}

}  // namespace
}  // namespace brolvin
