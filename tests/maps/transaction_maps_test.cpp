// The shipped maps of remittance, eligibility, claim status, review,
// enrollment and premium payment, run through the real program on the example
// interchanges: outputs against reviewed expected files, well-formed XML, map
// choice from the interchange alone, records that carry their own hierarchy,
// and the rules a map must keep so that service-line expansion and CSV
// headers work.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "maps/map_test_support.h"

namespace brolvin {
namespace {

using namespace test;

struct Example {
    std::string stem;   // examples/<stem>.x12 and tests/data/expected/<stem>...
    std::string map;    // maps/<map>, also the map the interchange selects by itself
    bool serviceLines;  // the map has a service-line block
};

void PrintTo(const Example& e, std::ostream* os) { *os << e.stem; }

const std::vector<Example> kExamples = {
    {"835-5010", "835.cfg", true},           {"835-4010", "835.cfg", true},
    {"270-5010", "270.cfg", true},           {"270-4010", "270.cfg", true},
    {"271-5010", "271.cfg", true},           {"271-4010", "271.cfg", true},
    {"276-5010", "276.cfg", true},           {"277-5010", "277.cfg", true},
    {"278-request-5010", "278a.cfg", false}, {"278-response-5010", "278b.cfg", false},
    {"834-5010", "834.cfg", true},           {"820-5010", "820.cfg", false},
    {"277ca-5010", "277CA.cfg", true},       {"999-5010", "999.cfg", true},
    {"997-4010", "997.cfg", true},
};

const std::vector<std::string> kMaps = {"835.cfg",  "270.cfg",  "271.cfg",  "276.cfg",   "277.cfg",
                                        "278a.cfg", "278b.cfg", "834.cfg",  "820.cfg",   "277CA.cfg",
                                        "999.cfg",  "997.cfg",  "837p.cfg", "837I.cfg", "837d.cfg"};

std::string examplePath(const std::string& stem) { return kSource + "/examples/" + stem + ".x12"; }

class TransactionMapsTest : public MapRunTest {
protected:
    std::string convert(const std::string& type, const Example& e, const std::string& options,
                        const std::string& destination) {
        std::string opts = "OW,MAP=" + mapPath(e.map) + (options.empty() ? "" : "," + options);
        EXPECT_TRUE(run(type, examplePath(e.stem), destination, opts)) << type << " " << e.stem;
        return read(destination);
    }
    std::vector<Record> records(const std::string& stem, const std::string& options = "") {
        for (const Example& e : kExamples)
            if (e.stem == stem) return recordsOf(convert("X12,XML", e, options, "records.xml"));
        ADD_FAILURE() << "no example " << stem;
        return {};
    }
};

class TransactionMapExampleTest : public TransactionMapsTest, public ::testing::WithParamInterface<Example> {};

TEST_P(TransactionMapExampleTest, ConvertsToTheReviewedXmlAndCsv) {
    const Example& e = GetParam();
    expectFile(convert("X12,XML", e, "", "plain.xml"), e.stem + ".xml");
    expectFile(convert("X12,CSV", e, "HO", "plain.csv"), e.stem + "-ho.csv");
    if (e.serviceLines) {
        expectFile(convert("X12,XML", e, "ML", "lines.xml"), e.stem + "-ml.xml");
        expectFile(convert("X12,CSV", e, "HO,ML", "lines.csv"), e.stem + "-ml.csv");
    }
    if (!havePython()) GTEST_SKIP() << "python3 not available for the well-formedness check";
    EXPECT_TRUE(wellFormed("plain.xml"));
    if (e.serviceLines) {
        EXPECT_TRUE(wellFormed("lines.xml"));
    }
}

// Without MAP= the version in GS08 (and ST01 or BHT02 where one guide serves
// two maps) selects the shipped map, which gives the same output.
TEST_P(TransactionMapExampleTest, InterchangeSelectsItsShippedMap) {
    const Example& e = GetParam();
    ASSERT_TRUE(run("X12,XML", examplePath(e.stem), "detected.xml", "OW"));
    expectFile(read("detected.xml"), e.stem + ".xml");
    EXPECT_NE(read("parse.log").find("Using Map File = " + shippedMapPath(e.map)), std::string::npos) << read("parse.log");
}

INSTANTIATE_TEST_SUITE_P(Examples, TransactionMapExampleTest, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<Example>& example) {
                             std::string name;
                             for (char c : example.param.stem)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

// Per paid claim: the claim group header changes between claims, claim
// adjustments stay with their claim, and line adjustments never become claim
// adjustments of a claim that has none of that group.
TEST_F(TransactionMapsTest, RemittanceClaimsKeepTheirHeaderAndAdjustments) {
    std::vector<Record> r = records("835-5010");
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0]["PATIENTCONTROL"], "PCN10001");
    EXPECT_EQ(r[0]["CLMADJCOREASON"], "");  // only its lines carry CO adjustments
    EXPECT_EQ(r[0]["CLMADJPRAMOUNT"], "");
    EXPECT_EQ(r[1]["CLMADJCOREASON"], "29");
    EXPECT_EQ(r[1]["SVCPROC1"], "");
    EXPECT_EQ(r[1]["INSUREDLAST"], "");  // not inherited from the first claim
    EXPECT_EQ(r[2]["CLMADJOAAMOUNT"], "200.00");
    EXPECT_EQ(r[2]["CLMADJPRREASON"], "");
    EXPECT_EQ(r[2]["HEADERNUMBER"], "1");
    EXPECT_EQ(r[3]["HEADERNUMBER"], "2");
    EXPECT_EQ(r[3]["PROVSUMMARYID"], "1457389021");
    for (Record& claim : r) {
        EXPECT_EQ(claim["CHECKNUMBER"], "EFT260122001");
        EXPECT_EQ(claim["PAYEEADDR1"], "234 SEAWAY ST");
        EXPECT_EQ(claim["PAYERADDR1"], "500 LAKESHORE DRIVE");
    }

    std::vector<Record> lines = records("835-5010", "ML");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1]["SVCPROC2"], "87070");
    EXPECT_EQ(lines[1]["SVCMODB2"], "59");
    EXPECT_EQ(lines[1]["SVCADJREASONB2"], "253");
    EXPECT_EQ(lines[1]["SVCADJGROUPC2"], "PR");
    EXPECT_EQ(lines[1]["SVCREMARK2"], "N130");
    EXPECT_EQ(lines[1]["SVCPROC1"], "");  // another line's fields stay empty on this record
    EXPECT_EQ(lines[2]["PATIENTCONTROL"], "PCN10002");
}

// Per inquiry subject: a dependent carries its own subscriber, and nothing of
// an earlier dependent, subscriber, receiver or source.
TEST_F(TransactionMapsTest, EligibilitySubjectsCarryTheirOwnHierarchy) {
    std::vector<Record> r = records("271-5010");
    ASSERT_EQ(r.size(), 5u);
    struct Want {
        const char* trace;
        const char* receiver;
        const char* subscriber;
        const char* subscriberDob;
        const char* dependent;
        const char* dependentCity;
        const char* reject;
    };
    const Want wants[] = {
        {"TRC0001", "NORTHSIDE FAMILY CLINIC", "SMITH", "19630501", "", "", ""},
        {"TRC0002", "NORTHSIDE FAMILY CLINIC", "GARCIA", "19750310", "ELENA", "MIAMI", ""},
        {"TRC0003", "NORTHSIDE FAMILY CLINIC", "GARCIA", "19750310", "MATEO", "", "65"},
        {"TRC0004", "WELBY", "DOE", "", "", "", "72"},
        {"TRC0006", "WELBY", "ROE", "19910817", "", "", ""},
    };
    for (size_t i = 0; i < r.size(); ++i) {
        SCOPED_TRACE(wants[i].trace);
        EXPECT_EQ(r[i]["INQUIRYTRACE"], wants[i].trace);
        EXPECT_EQ(r[i]["RECEIVERNAME"], wants[i].receiver);
        EXPECT_EQ(r[i]["SUBLAST"], wants[i].subscriber);
        EXPECT_EQ(r[i]["SUBDOB"], wants[i].subscriberDob);
        EXPECT_EQ(r[i]["DEPFIRST"], wants[i].dependent);
        EXPECT_EQ(r[i]["DEPCITY"], wants[i].dependentCity);
        EXPECT_EQ(r[i]["REJECTREASON"], wants[i].reject);
        EXPECT_EQ(r[i]["SOURCENAME"], "LAKESHORE HEALTH PLAN");
    }
    // The subscriber's address is not taken from a benefit-related provider.
    EXPECT_EQ(r[0]["SUBADDR1"], "236 N MAIN ST");
    EXPECT_EQ(r[1]["SUBADDR1"], "");
    // The subject's own date, not the benefit line's.
    EXPECT_EQ(r[0]["SUBJECTDATEQUAL"], "346");
    EXPECT_EQ(r[0]["EBDATE1"], "20250101-20261231");
    // A receiver without a name does not take a benefit-related entity's.
    std::vector<Record> older = records("271-4010");
    ASSERT_EQ(older.size(), 3u);
    EXPECT_EQ(older[2]["RECEIVERNAME"], "");
    EXPECT_EQ(older[2]["RECEIVERID"], "RB00099");

    std::vector<Record> inquiries = records("270-5010");
    ASSERT_EQ(inquiries.size(), 5u);
    EXPECT_EQ(inquiries[4]["SOURCENAME"], "PRAIRIE MUTUAL INSURANCE");
    EXPECT_EQ(inquiries[4]["RECEIVERHLID"], "10");
    EXPECT_EQ(inquiries[3]["RECEIVERFIRST"], "MARCUS");
    EXPECT_EQ(inquiries[4]["RECEIVERFIRST"], "");
    EXPECT_EQ(inquiries[2]["DEPFIRST"], "MATEO");
    EXPECT_EQ(inquiries[2]["DEPADDR1"], "");  // ELENA's address stays with ELENA
    EXPECT_EQ(inquiries[2]["EQPROC1"], "D0120");
}

// Line statuses of a claim status response stay on their own service lines.
TEST_F(TransactionMapsTest, ClaimStatusLinesKeepTheirOwnStatus) {
    std::vector<Record> r = records("277-5010", "ML");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0]["TRACENUMBER"], "CSR-0001");
    EXPECT_EQ(r[0]["SVCSTATUSPAID1"], "180.00");
    EXPECT_EQ(r[0]["SVCCONTROL1"], "LN10001A");
    EXPECT_EQ(r[1]["SVCSTATUSPAID2"], "130.00");
    EXPECT_EQ(r[1]["SVCCONTROL2"], "LN10001B");
    EXPECT_EQ(r[1]["SVCDATE2"], "20260106");
    EXPECT_EQ(r[1]["STATUSPAID"], "310.00");
    EXPECT_EQ(r[1]["CLAIMDATE"], "20260105-20260106");
    EXPECT_EQ(r[2]["STATUSCATEGORYB"], "A3");
    EXPECT_EQ(r[3]["PATIENTFIRST"], "ELENA");
    EXPECT_EQ(r[4]["PROVIDERNAME"], "OKAFOR");
    EXPECT_EQ(r[4]["PATIENTFIRST"], "");
    EXPECT_EQ(r[4]["SUBLAST"], "BROWN");

    std::vector<Record> requests = records("276-5010");
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2]["SUBDOB"], "");  // the dependent's birth date is the patient's
    EXPECT_EQ(requests[2]["PATIENTDOB"], "20100704");
    EXPECT_EQ(requests[3]["DEPENDENTHLID"], "");
}

// A claim acknowledgment: one record per claim with its own patient,
// provider and statuses, the batch's counts on every record; line statuses
// stay on their service lines.
TEST_F(TransactionMapsTest, ClaimAcknowledgmentGivesOneRecordPerClaim) {
    std::vector<Record> r = records("277ca-5010");
    ASSERT_EQ(r.size(), 3u);
    struct Want {
        const char* trace;
        const char* patient;
        const char* provider;
        const char* category;
        const char* action;
        const char* charge;
        const char* payerClaim;
    };
    const Want wants[] = {
        {"COB1001", "DOE", "RIVERBEND FAMILY MEDICINE", "A1", "WQ", "300", "BPI2602130001"},
        {"COB1002", "DOE", "RIVERBEND FAMILY MEDICINE", "A7", "U", "80", ""},
        {"COB2001", "MARSH", "OKAFOR", "A2", "WQ", "200", "BPI2602130002"},
    };
    for (size_t i = 0; i < r.size(); ++i) {
        SCOPED_TRACE(wants[i].trace);
        EXPECT_EQ(r[i]["CLAIMTRACE"], wants[i].trace);
        EXPECT_EQ(r[i]["PATIENTLAST"], wants[i].patient);
        EXPECT_EQ(r[i]["PROVIDERNAME"], wants[i].provider);
        EXPECT_EQ(r[i]["STATUSCATEGORY"], wants[i].category);
        EXPECT_EQ(r[i]["STATUSACTION"], wants[i].action);
        EXPECT_EQ(r[i]["CLAIMCHARGE"], wants[i].charge);
        EXPECT_EQ(r[i]["PAYERCLAIMNUMBER"], wants[i].payerClaim);
        EXPECT_EQ(r[i]["BATCHSTATUSCODE"], "19");
        EXPECT_EQ(r[i]["BATCHREJECTEDQTY"], "1");
    }
    EXPECT_EQ(r[1]["STATUSCODEB"], "562");
    EXPECT_EQ(r[1]["SECONDSTATUSCODE"], "164");
    EXPECT_EQ(r[0]["SECONDSTATUSCODE"], "");
    EXPECT_EQ(r[2]["PROVIDERTAXID"], "412345678");
    EXPECT_EQ(r[2]["PROVIDERREJECTEDQTY"], "");  // not the first provider's
    EXPECT_EQ(r[2]["PATIENTID"], "");

    std::vector<Record> lines = records("277ca-5010", "ML");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1]["SVCPROC2"], "97110");
    EXPECT_EQ(lines[1]["SVCSTATUSCATEGORY2"], "A1");
    EXPECT_EQ(lines[1]["STATUSCATEGORY"], "A1");
    EXPECT_EQ(lines[2]["SVCSTATUSCATEGORY1"], "");
}

// With ML an acknowledgment gives one record per set response, each with
// its group's response; the first errors stay with their own set.
TEST_F(TransactionMapsTest, AcknowledgmentsGiveOneRecordPerSetResponse) {
    struct Want {
        const char* stem;
        size_t record;
        const char* field;
        const char* value;
    };
    const Want wants[] = {
        {"999-5010", 0, "SETCONTROL1", "0001"},   {"999-5010", 0, "SETACK1", "A"},
        {"999-5010", 0, "GROUPACK", "P"},         {"999-5010", 0, "SETSACCEPTED", "1"},
        {"999-5010", 0, "GROUPCONTROL", "211"},   {"999-5010", 1, "SETCONTROL2", "0002"},
        {"999-5010", 1, "SETACK2", "R"},          {"999-5010", 1, "SEGERRORID2", "NM1"},
        {"999-5010", 1, "ELEMERRORREF2", "67"},   {"999-5010", 1, "ELEMERRORDATA2", ""},
        {"999-5010", 1, "GROUPACK", "P"},         {"999-5010", 2, "GROUPCONTROL", "212"},
        {"999-5010", 2, "SETACK1", "A"},          {"999-5010", 2, "GROUPACK", "A"},
        {"997-4010", 0, "SETACK1", "A"},          {"997-4010", 0, "SETSINCLUDED", "3"},
        {"997-4010", 1, "SEGERRORLOOP2", ""},     {"997-4010", 1, "ELEMERRORDATA2", "12O.00"},
        {"997-4010", 2, "SETACK3", "E"},          {"997-4010", 2, "GROUPACK", "P"},
    };
    std::map<std::string, std::vector<Record>> byStem;
    for (const char* stem : {"999-5010", "997-4010"}) byStem[stem] = records(stem, "ML");
    ASSERT_EQ(byStem["999-5010"].size(), 3u);
    ASSERT_EQ(byStem["997-4010"].size(), 3u);
    for (const Want& w : wants)
        EXPECT_EQ(byStem[w.stem][w.record][w.field], w.value) << w.stem << " " << w.record << " " << w.field;
}

// One record per requested service or per patient event without services;
// event data never leaks into the next event's records.
TEST_F(TransactionMapsTest, ReviewRecordsFollowEventsAndServices) {
    std::vector<Record> r = records("278-response-5010");
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0]["EVENTCERTNUMBER"], "AUTH-77310");
    EXPECT_EQ(r[0]["SERVICECERTNUMBER"], "AUTH-77310-1");
    EXPECT_EQ(r[1]["SERVICEACTION"], "A6");
    EXPECT_EQ(r[1]["SERVICECERTEXPIRES"], "20260315");
    EXPECT_EQ(r[1]["EVENTCERTEXPIRES"], "20260331");
    EXPECT_EQ(r[2]["EVENTTRACE"], "EVT-1002");
    EXPECT_EQ(r[2]["EVENTREJECTREASON"], "15");
    EXPECT_EQ(r[2]["EVENTCERTNUMBER"], "");
    EXPECT_EQ(r[2]["DIAGCODEA"], "");
    EXPECT_EQ(r[2]["SERVICEHLID"], "");
    EXPECT_EQ(r[2]["PROFPROCEDURE"], "");
    EXPECT_EQ(r[3]["EVENTACTION"], "A4");
    EXPECT_EQ(r[3]["SUBDOB"], "");  // only the patient has a birth date here
    EXPECT_EQ(r[3]["PATIENTDOB"], "20100704");
    EXPECT_EQ(r[3]["UMONAME"], "PRAIRIE MUTUAL CARE MANAGEMENT");
}

TEST_F(TransactionMapsTest, MembersAndRemittancesStandAlone) {
    std::vector<Record> m = records("834-5010");
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[1]["MEMBERFIRST"], "JORGE");
    EXPECT_EQ(m[1]["MEMBERADDR1"], "");
    EXPECT_EQ(m[1]["MEMBERPOLICY"], "");
    EXPECT_EQ(m[0]["MEMBERPOLICY"], "GRP-HARBOR-01");  // not the coverage's policy number
    EXPECT_EQ(m[0]["HDPOLICY1"], "PPO-GOLD-22");
    EXPECT_EQ(m[4]["MAINTEFFECTIVE"], "20260201");
    for (Record& member : m) EXPECT_EQ(member["SPONSORNAME"], "HARBOR CITY SCHOOLS");

    std::vector<Record> p = records("820-5010");
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0]["MEMBERLAST"], "");
    EXPECT_EQ(p[0]["ADJREASON"], "52");
    EXPECT_EQ(p[1]["ADJREASON"], "");
    EXPECT_EQ(p[2]["REMITPERIOD"], "");
    EXPECT_EQ(p[2]["MEMBERLAST"], "ALVAREZ");
    EXPECT_EQ(p[3]["ENTITYID"], "HC1000877");
    EXPECT_EQ(p[3]["ADJREASONB"], "AA");
    for (Record& remit : p) EXPECT_EQ(remit["COVERAGEPERIOD"], "20260101-20260131");
}

struct MapField {
    std::string name, description, condition, level, line, toggle;
};

std::vector<std::string> positionsOf(const std::string& value) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : value) {
        if (c == ',') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (current.find_first_not_of(' ') != std::string::npos) parts.push_back(current);
    parts.resize(19);
    return parts;
}

bool validXmlName(const std::string& name) {
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
    return name.size() < 3 || (name[0] != 'X' && name[0] != 'x') || (name.compare(0, 3, "XML") != 0);
}

// Rules every shipped map keeps: CR LF lines, unique XML-safe names with CSV
// titles, one contiguous block of line-1 fields whose names end in 1 and that
// is not last in the table, conditions and toggles that name real fields (a
// line field's condition or toggle ending in 1 must be a line field, since the
// expansion renames it), and every field listed in the generated documentation.
TEST_F(TransactionMapsTest, ShippedMapsKeepTheirRules) {
    std::string docs;
    ASSERT_TRUE(readWholeFile(kSource + "/docs/maps.md", docs));
    for (const std::string& map : kMaps) {
        SCOPED_TRACE(map);
        std::string text;
        ASSERT_TRUE(readWholeFile(mapPath(map), text));
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
            }
        }

        std::vector<MapField> fields;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("FIELD=", 0) != 0) continue;
            std::vector<std::string> p = positionsOf(line.substr(6));
            fields.push_back({p[0], p[11], p[7], p[9], p[10], p[18]});
        }
        ASSERT_GT(fields.size(), 10u);
        EXPECT_TRUE(fields.back().line.empty()) << "the last field takes no part in the line count";

        std::set<std::string> names;
        size_t firstLine = fields.size(), lastLine = 0;
        for (size_t i = 0; i < fields.size(); ++i) {
            const MapField& f = fields[i];
            EXPECT_TRUE(validXmlName(f.name)) << f.name;
            EXPECT_TRUE(names.insert(f.name).second) << "duplicate " << f.name;
            EXPECT_FALSE(f.description.empty()) << f.name;
            if (!f.line.empty()) {
                EXPECT_EQ(f.line, "1") << f.name;
                EXPECT_EQ(f.name.back(), '1') << f.name;
                firstLine = std::min(firstLine, i);
                lastLine = i;
            }
            EXPECT_NE(docs.find("| " + f.name + " |"), std::string::npos) << f.name << " missing in the docs";
        }
        if (firstLine < fields.size()) {
            for (size_t i = firstLine; i <= lastLine; ++i)
                EXPECT_FALSE(fields[i].line.empty()) << "line block broken by " << fields[i].name;
        }
        std::set<std::string> lineNames;
        for (const MapField& f : fields)
            if (!f.line.empty()) lineNames.insert(f.name);
        for (const MapField& f : fields) {
            if (!f.condition.empty()) {
                EXPECT_TRUE(names.count(f.condition)) << f.name << " -> " << f.condition;
            }
            // The line expansion renames a condition ending in 1, which only fits a line field.
            if (!f.line.empty() && !f.condition.empty() && f.condition.back() == '1') {
                EXPECT_TRUE(lineNames.count(f.condition)) << f.name << " -> " << f.condition;
            }
            // A toggle names one field or several divided by ":", renamed like a condition.
            std::istringstream toggles(f.toggle);
            for (std::string toggle; std::getline(toggles, toggle, ':');) {
                EXPECT_TRUE(names.count(toggle)) << f.name << " -> " << toggle;
                if (!f.line.empty() && toggle.back() == '1') {
                    EXPECT_TRUE(lineNames.count(toggle)) << f.name << " -> " << toggle;
                }
            }
        }
    }
}

}  // namespace
}  // namespace brolvin
