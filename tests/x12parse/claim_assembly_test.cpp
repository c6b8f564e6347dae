#include "x12parse/claim_assembly.h"

#include <gtest/gtest.h>

#include <sstream>

namespace brolvin {

namespace {

KeyList keys(std::vector<std::string> entries) {
    KeyList k;
    k.kind = KeyList::Kind::Given;
    k.count = static_cast<int>(entries.size());
    k.entries = std::move(entries);
    return k;
}

FieldEntry field(const std::string& name, const std::string& level) {
    FieldEntry f;
    f.name = name;
    f.level = level;
    return f;
}

// Drives the assembler with a fake extraction that stores "segment@line" in
// the first field and notes every write.
struct Harness {
    LoadedMap map;
    DebugLog debug{false};
    std::vector<std::string> extracted;
    std::vector<std::string> written;  // the first field's Value at each write
    std::unique_ptr<ClaimAssembler> assembler;

    Harness() {
        map.keyHeader.kind = KeyList::Kind::MatchesEmptyOnly;
        map.keyHeader.entries = {""};
        map.keyField.kind = KeyList::Kind::MatchesEmptyOnly;
        map.keyField.entries = {""};
        map.fields = {field("REC", "0"), field("HDR", "2")};
    }
    void start() {
        AssemblyCallbacks cb;
        cb.extract = [this](std::string_view seg, const SegmentElements&, long long line, const SegmentHistory&,
                            std::string*) {
            std::string s = std::string(seg) + "@" + std::to_string(line);
            extracted.push_back(s);
            if (map.fields[0].value.empty()) map.fields[0].value = std::string(seg.substr(0, seg.find('*')));
            else map.fields[0].value += "," + std::string(seg.substr(0, seg.find('*')));
        };
        cb.writeRecord = [this]() {
            bool any = false;
            for (auto& f : map.fields)
                if (!f.value.empty()) any = true;
            if (!any) return;
            written.push_back(map.fields[0].value);
            map.fields[0].value.clear();
        };
        assembler = std::make_unique<ClaimAssembler>(map, '*', debug, cb);
    }
    void run(const std::string& segments) {
        if (!assembler) start();
        std::stringstream in(segments);
        std::string seg;
        long long n = 0;
        while (std::getline(in, seg, '~')) {
            pushHistory(assembler->history(), seg);
            assembler->processSegment(seg, ++n);
        }
    }
};

}  // namespace

TEST(ClaimAssembly, TwoClaimsInOneTransactionSet) {
    Harness h;
    h.map.keyField = keys({"CLM"});
    h.map.keyLine = keys({"LX"});
    h.run("ST*837~CLM*1~LX*1~SV1*A~LX*2~SV1*B~CLM*2~LX*1~SV1*C~SE*9~");
    EXPECT_EQ(h.written, (std::vector<std::string>{"ST,CLM,LX,SV1,LX,SV1", "CLM,LX,SV1,SE"}));
    EXPECT_EQ(h.assembler->maxServiceLineCount(), 2);
    // Service lines reach extraction: the second SV1 of claim 1 is on line 2,
    // the new claim's CLM is extracted on line 0.
    EXPECT_EQ(h.extracted[5], "SV1*B@2");
    EXPECT_EQ(h.extracted[6], "CLM*2@0");
}

TEST(ClaimAssembly, BillingProviderHeaderWritesOpenClaimAndClearsLevelTwo) {
    Harness h;
    h.map.keyHeader = keys({"HL", "", "", "20"});
    h.map.keyField = keys({"CLM"});
    h.start();
    h.map.fields[1].value = "PROVIDER";
    h.run("ST~CLM*1~HL*3**20*1~");
    EXPECT_EQ(h.written, (std::vector<std::string>{"ST,CLM"}));
    EXPECT_EQ(h.map.fields[1].value, "");
}

TEST(ClaimAssembly, HeaderListMatchesElementsByBeginsWith) {
    for (auto [segment, fires] : std::vector<std::pair<std::string, bool>>{
             {"HL*2*1*22*0", false}, {"HL*1**20*1", true}, {"HL*1**2*1", true}}) {
        Harness h;
        h.map.keyHeader = keys({"HL", "", "", "20"});
        h.start();
        h.map.fields[1].value = "X";
        h.run(segment + "~");
        EXPECT_EQ(h.map.fields[1].value.empty(), fires) << segment;
    }
    Harness never;
    never.map.keyHeader = keys({"HL", ""});
    never.start();
    never.map.fields[1].value = "X";
    never.run("HL*1~");
    EXPECT_EQ(never.map.fields[1].value, "X");
}

TEST(ClaimAssembly, KeyFieldWithTwoMatchingEntriesAdvancesTwice) {
    Harness h;
    h.map.keyField = keys({"NM1", "85", "2"});
    h.run("ST~REF*1~NM1*85*2*CLINIC~N3*X~SE~");
    // The record so far is written at once; the NM1 begins a new claim.
    EXPECT_EQ(h.written, (std::vector<std::string>{"ST,REF", "NM1,N3,SE"}));
}

TEST(ClaimAssembly, StcNeitherResetsLinesNorStartsASetAndEmptySegmentMatchesEveryList) {
    Harness h;
    h.map.keyField = keys({"CLM"});
    h.map.keyLine = keys({"LX"});
    h.run("LX~LX~STC*A1~LX~");
    // The status segment between lines keeps the line count running.
    EXPECT_EQ(h.assembler->maxServiceLineCount(), 3);
    h.assembler->finish();  // no ST was seen, so nothing is written at the end
    EXPECT_TRUE(h.written.empty());

    Harness e;
    e.map.keyField = keys({"CLM"});
    e.map.keyTrailer = keys({"TRL"});
    e.run("ST~CLM*1~~N1*X~");
    // The empty segment is a trailer write and a Key Field advance at once.
    EXPECT_EQ(e.written, (std::vector<std::string>{"ST,CLM"}));
}

TEST(ClaimAssembly, SourceWithoutSEWritesTheLastClaimOnlyWithData) {
    Harness h;
    h.map.keyField = keys({"CLM"});
    h.run("ST~CLM*1~DTP*1~");
    h.assembler->finish();
    EXPECT_EQ(h.written, (std::vector<std::string>{"ST,CLM,DTP"}));

    Harness empty;
    empty.run("SE~");
    empty.assembler->finish();
    EXPECT_EQ(empty.written.size(), 1u);  // SE wrote its own record
}

TEST(ClaimAssembly, HistoryHoldsOpenClaimSegmentsTwice) {
    Harness h;
    h.map.keyField = keys({"CLM"});
    h.run("ST~CLM*1~NM1*82~");
    const SegmentHistory& pba = h.assembler->history();
    EXPECT_EQ(pba[0], "NM1*82");
    EXPECT_EQ(pba[1], "NM1*82");
    EXPECT_EQ(pba[2], "CLM*1");
    EXPECT_EQ(pba[3], "CLM*1");
    EXPECT_EQ(pba[4], "ST");
}

TEST(ClaimAssembly, HierarchyClearListsClearDeeperLevelsAfterWritingTheClaim) {
    Harness h;
    h.map.keyHeader = keys({"HL"});
    h.map.keyField = keys({"CLM"});
    h.map.fields.push_back(field("PROV", "7"));
    h.map.fields.push_back(field("SUB", "8"));
    ClearList provider{7, keys({"HL", "", "", "20"})};
    ClearList subscriber{8, keys({"HL", "", "", "22"})};
    h.map.clearLists = {provider, subscriber};
    h.start();
    h.map.fields[2].value = "P1";
    h.map.fields[3].value = "S1";
    h.run("ST~HL*2*1*22*0~");
    EXPECT_EQ(h.map.fields[2].value, "P1");
    EXPECT_EQ(h.map.fields[3].value, "");
    h.map.fields[3].value = "S2";
    h.run("HL*3**20*1~");
    EXPECT_EQ(h.map.fields[2].value, "");
    EXPECT_EQ(h.map.fields[3].value, "");
}

}  // namespace brolvin
