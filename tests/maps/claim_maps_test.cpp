// The shipped claim maps, run through the real program on the example
// interchanges: outputs against reviewed expected files, well-formed XML,
// claims that carry their own billing provider, subscriber and patient, and
// round trips back to X12.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "maps/map_test_support.h"

namespace brolvin {
namespace {

using namespace test;

struct Example {
    std::string stem;  // examples/<stem>.x12, tests/data/expected/<stem>*.xml|csv
    std::string map;   // maps/<map>
};

const std::vector<Example> kExamples = {
    {"837p-5010", "837p.cfg"},
    {"837p-4010", "837p.cfg"},
    {"837i-5010", "837I.cfg"},
    {"837d-5010", "837d.cfg"},
    {"837p-cob-5010", "837p.cfg"},
    {"837i-cob-5010", "837I.cfg"},
    {"837d-cob-5010", "837d.cfg"},
};

void PrintTo(const Example& e, std::ostream* os) { *os << e.stem; }

std::string examplePath(const Example& e) { return kSource + "/examples/" + e.stem + ".x12"; }

using Claim = Record;

inline std::vector<Claim> claimsOf(const std::string& xml) { return recordsOf(xml); }

std::vector<std::string> segmentsOf(const std::string& x12) {
    std::vector<std::string> segments;
    std::string current;
    for (char c : x12) {
        if (c == '\r' || c == '\n') continue;
        if (c == '~') {
            segments.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return segments;
}

std::vector<std::string> elementsOf(const std::string& segment) {
    std::vector<std::string> elements;
    std::string current;
    for (char c : segment) {
        if (c == '*') {
            elements.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    elements.push_back(current);
    return elements;
}

class ClaimMapsTest : public MapRunTest {
protected:
    std::string convert(const std::string& type, const std::string& source, const std::string& map,
                        const std::string& options, const std::string& destination) {
        std::string opts = "OW,MAP=" + map + (options.empty() ? "" : "," + options);
        EXPECT_TRUE(run(type, source, destination, opts)) << type << " " << source;
        return read(destination);
    }
};

class ClaimMapExampleTest : public ClaimMapsTest, public ::testing::WithParamInterface<Example> {};

TEST_P(ClaimMapExampleTest, ConvertsToTheReviewedXmlAndCsv) {
    const Example& e = GetParam();
    const std::string map = mapPath(e.map);
    expectFile(convert("X12,XML", examplePath(e), map, "", "plain.xml"), e.stem + ".xml");
    expectFile(convert("X12,XML", examplePath(e), map, "ML", "lines.xml"), e.stem + "-ml.xml");
    expectFile(convert("X12,CSV", examplePath(e), map, "HO", "plain.csv"), e.stem + "-ho.csv");
    expectFile(convert("X12,CSV", examplePath(e), map, "HO,ML", "lines.csv"), e.stem + "-ml.csv");

    if (!havePython()) GTEST_SKIP() << "python3 not available for the well-formedness check";
    EXPECT_TRUE(wellFormed("plain.xml"));
    EXPECT_TRUE(wellFormed("lines.xml"));
}

INSTANTIATE_TEST_SUITE_P(Examples, ClaimMapExampleTest, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<Example>& example) {
                             std::string name;
                             for (char c : example.param.stem)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

// Each claim of the professional example carries the billing provider,
// subscriber and patient of its own hierarchy, never those of an earlier one.
TEST_F(ClaimMapsTest, EveryClaimCarriesItsOwnHierarchy) {
    std::vector<Claim> claims =
        claimsOf(convert("X12,XML", examplePath(kExamples[0]), mapPath("837p.cfg"), "", "out.xml"));
    ASSERT_EQ(claims.size(), 5u);
    struct Want {
        const char* claim;
        const char* billing;
        const char* payTo;
        const char* subscriber;
        const char* payer;
        const char* patient;
    };
    const Want wants[] = {
        {"PCN1001", "SMITH & JONES FAMILY PRACTICE", "PO BOX 4500", "DOE", "CLEARWATER HEALTH PLAN", ""},
        {"PCN1002", "SMITH & JONES FAMILY PRACTICE", "PO BOX 4500", "DOE", "CLEARWATER HEALTH PLAN", ""},
        {"PCN2001", "GARCIA", "", "ROE", "BLUE PRAIRIE INSURANCE", ""},
        {"PCN3001", "GARCIA", "", "MILLER", "CLEARWATER HEALTH PLAN", "MILLER"},
        {"PCN3002", "GARCIA", "", "MILLER", "CLEARWATER HEALTH PLAN", "MILLER"},
    };
    for (size_t i = 0; i < claims.size(); ++i) {
        Claim& c = claims[i];
        SCOPED_TRACE(wants[i].claim);
        EXPECT_EQ(c["CLAIMID"], wants[i].claim);
        EXPECT_EQ(c["BILLPROVNAME"], wants[i].billing);
        EXPECT_EQ(c["PAYTOADDR1"], wants[i].payTo);
        EXPECT_EQ(c["SUBLAST"], wants[i].subscriber);
        EXPECT_EQ(c["PAYERNAME"], wants[i].payer);
        EXPECT_EQ(c["PATLAST"], wants[i].patient);
    }
    // Values that only one hierarchy has must not leak into the next one.
    EXPECT_EQ(claims[2]["BILLPROVTAXONOMY"], "");
    EXPECT_EQ(claims[2]["SUBADDR1"], "");
    EXPECT_EQ(claims[3]["SUBHLCHILD"], "1");
    EXPECT_EQ(claims[3]["PATDOB"], "20150210");
    EXPECT_EQ(claims[3]["SUBDOB"], "19820708");
    // Claim-level values of one claim never reach the next.
    EXPECT_EQ(claims[0]["PRIORAUTH"], "AUTH5521");
    EXPECT_EQ(claims[1]["PRIORAUTH"], "");
    EXPECT_EQ(claims[3]["DIAG12"], "J00");
    EXPECT_EQ(claims[4]["DIAG12"], "");
}

// Coordination of benefits: the other payers' loops fill their own columns,
// never the subscriber's, the claim's or the billing provider's, and the
// second payer's adjudication never lands in the first payer's columns.
TEST_F(ClaimMapsTest, OtherPayerLoopsFillOnlyTheirOwnColumns) {
    std::vector<Claim> claims =
        claimsOf(convert("X12,XML", examplePath(kExamples[4]), mapPath("837p.cfg"), "", "cob.xml"));
    ASSERT_EQ(claims.size(), 3u);
    struct Want {
        size_t claim;
        const char* field;
        const char* value;
    };
    const Want wants[] = {
        // A subscriber without an address beside an other subscriber with one.
        {0, "SUBADDR1", ""}, {0, "SUBCITY", ""}, {0, "SUBLAST", "DOE"}, {0, "SUBFIRST", "JOHN"},
        {0, "COB1SUBFIRST", "JANE"}, {0, "COB1SUBID", "FSH900100"},
        // The other payer's references and facility are not the claim's.
        {0, "PRIORAUTH", ""}, {0, "PAYERCLAIMCONTROL", ""}, {0, "FACILITYNAME", ""},
        {0, "COB1PAYERNAME", "FIRST STATE HEALTH"}, {0, "COB1PAID", "120"},
        {0, "COB1ADJAGROUP", "CO"}, {0, "COB1ADJBREASONB", "2"}, {0, "COB1ADJBAMOUNTB", "20"},
        {0, "COB1ADJCGROUP", ""}, {0, "COB2RESP", ""}, {0, "LINECOBAADJBAMOUNTA1", "50"},
        {1, "COB1RESP", ""}, {1, "COB1PAID", ""}, {1, "LINECOBAPAID1", ""},
        // A billing provider without a tax id does not take the other subscriber's.
        {2, "BILLPROVTAXID", ""}, {2, "PATLAST", "MARSH"}, {2, "PAYERRESP", "T"},
        {2, "COB1ADJBGROUP", "PR"}, {2, "COB1PAID", "130"}, {2, "COB2ADJAGROUP", "PR"},
        {2, "COB2ADJBGROUP", ""}, {2, "COB2PAID", "20"}, {2, "COB2PAYERID", "SEC02"},
        {2, "LINECOBAADJBGROUP1", "PR"}, {2, "LINECOBADATE1", "20260201"}, {2, "LINECOBBPAID1", "20"},
        {2, "LINECOBBADJAREASONA1", "2"}, {2, "LINECOBBADJBGROUP1", ""}, {2, "LINECOBBDATE1", "20260208"},
    };
    for (const Want& w : wants) EXPECT_EQ(claims[w.claim][w.field], w.value) << w.claim << " " << w.field;

    // The institutional and dental secondary claims keep the same apart, with
    // an admitting diagnosis given beside the principal one and a claim date.
    Claim inst = claimsOf(convert("X12,XML", examplePath(kExamples[5]), mapPath("837I.cfg"), "", "i.xml")).at(0);
    EXPECT_EQ(inst["PAYERCLAIMCONTROL"], "");
    EXPECT_EQ(inst["ADMITDIAGB"], "R079");
    EXPECT_EQ(inst["VISITREASONB"], "R0600");
    EXPECT_EQ(inst["COB1PAYERID"], "MCRA01");
    Claim dental = claimsOf(convert("X12,XML", examplePath(kExamples[6]), mapPath("837d.cfg"), "", "d.xml")).at(0);
    EXPECT_EQ(dental["SUBADDR1"], "");
    EXPECT_EQ(dental["CLAIMSERVICEDATE"], "20260114");
    EXPECT_EQ(dental["LINECOBAADJBREASONA1"], "3");
}

// Checks the structure of a generated interchange: HL numbers run 1, 2, ...;
// every subscriber HL hangs under a billing provider HL and every patient HL
// under a subscriber HL; the SE count matches; one CLM per claim.
void expectSoundInterchange(const std::string& x12, size_t claims) {
    std::vector<std::string> segments = segmentsOf(x12);
    std::map<std::string, std::string> levelOf;  // HL01 -> HL03
    size_t st = segments.size(), clm = 0;
    int nextHl = 1;
    for (size_t i = 0; i < segments.size(); ++i) {
        std::vector<std::string> e = elementsOf(segments[i]);
        if (e[0] == "ST") st = i;
        if (e[0] == "CLM") ++clm;
        if (e[0] == "HL") {
            ASSERT_GE(e.size(), 4u) << segments[i];
            EXPECT_EQ(e[1], std::to_string(nextHl++)) << segments[i];
            if (e[3] == "20") {
                EXPECT_EQ(e[2], "") << segments[i];
            }
            if (e[3] == "22") {
                EXPECT_EQ(levelOf[e[2]], "20") << segments[i];
            }
            if (e[3] == "23") {
                EXPECT_EQ(levelOf[e[2]], "22") << segments[i];
            }
            levelOf[e[1]] = e[3];
        }
        if (e[0] == "SE") {
            ASSERT_LT(st, i);
            EXPECT_EQ(e[1], std::to_string(i - st + 1));
        }
    }
    EXPECT_EQ(clm, claims);
}

struct RoundTrip {
    Example example;
    size_t claims;
};

void PrintTo(const RoundTrip& r, std::ostream* os) { *os << r.example.stem; }

class ClaimMapRoundTripTest : public ClaimMapsTest, public ::testing::WithParamInterface<RoundTrip> {};

// X12 -> CSV (one line per service line) -> X12 gives an interchange that
// parses to the very records of the original: secondary claims with their
// other payers, and a 4010 claim whose pay-to name and id come back in 5010.
TEST_P(ClaimMapRoundTripTest, CsvServiceLinesConvertBackToTheSameClaims) {
    const Example& e = GetParam().example;
    const std::string map = mapPath(e.map);
    const std::string original = convert("X12,XML", examplePath(e), map, "ML", "original.xml");
    convert("X12,CSV", examplePath(e), map, "ML", "lines.csv");
    const std::string x12 = convert("CSV,X12", "lines.csv", map, "CR", "regenerated.x12");
    expectSoundInterchange(x12, GetParam().claims);
    const std::string again = convert("X12,XML", "regenerated.x12", map, "ML", "again.xml");
    EXPECT_TRUE(again == original) << firstDifference(again, original);
}

// The same through the service-line XML form, which writes one CLAIM per line
// with line k's fields named with the suffix k.
TEST_P(ClaimMapRoundTripTest, XmlServiceLinesConvertBackToTheSameClaims) {
    const Example& e = GetParam().example;
    const std::string map = mapPath(e.map);
    const std::string original = convert("X12,XML", examplePath(e), map, "ML", "original.xml");
    const std::string x12 = convert("XML,X12", "original.xml", map, "CR,ML", "regenerated.x12");
    expectSoundInterchange(x12, GetParam().claims);
    const std::string again = convert("X12,XML", "regenerated.x12", map, "ML", "again.xml");
    EXPECT_TRUE(again == original) << firstDifference(again, original);
}

INSTANTIATE_TEST_SUITE_P(Examples, ClaimMapRoundTripTest,
                         ::testing::Values(RoundTrip{kExamples[0], 5}, RoundTrip{kExamples[1], 1},
                                           RoundTrip{kExamples[2], 2},
                                           RoundTrip{kExamples[3], 2}, RoundTrip{kExamples[4], 3},
                                           RoundTrip{kExamples[5], 1}, RoundTrip{kExamples[6], 1}),
                         [](const ::testing::TestParamInfo<RoundTrip>& example) {
                             std::string name;
                             for (char c : example.param.example.stem)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

std::string withoutClearingLines(const std::string& map) {
    std::string out, line;
    std::istringstream in(map);
    while (std::getline(in, line))
        if (line.rfind("KEYCLEAR", 0) != 0) out += line + "\n";
    return out;
}

// Clearing lines change nothing where one billing provider and one
// subscriber make the whole transaction set, and are what keeps a later
// hierarchy's claims from showing an earlier provider.
TEST_F(ClaimMapsTest, ClearingLinesMatterOnlyAcrossHierarchies) {
    std::string text;
    ASSERT_TRUE(readWholeFile(mapPath("837I.cfg"), text));
    write("plain-I.cfg", withoutClearingLines(text));
    expectFile(convert("X12,XML", examplePath(kExamples[2]), "plain-I.cfg", "", "i.xml"), "837i-5010.xml");
    expectFile(convert("X12,CSV", examplePath(kExamples[2]), "plain-I.cfg", "HO,ML", "i.csv"),
               "837i-5010-ml.csv");

    ASSERT_TRUE(readWholeFile(mapPath("837p.cfg"), text));
    write("plain-P.cfg", withoutClearingLines(text));
    std::vector<Claim> claims =
        claimsOf(convert("X12,XML", examplePath(kExamples[0]), "plain-P.cfg", "", "p.xml"));
    ASSERT_EQ(claims.size(), 5u);
    EXPECT_EQ(claims[2]["CLAIMID"], "PCN2001");
    EXPECT_EQ(claims[2]["SUBLAST"], "DOE");  // the first subscriber, never cleared
}

// The version text of an interchange finds the map by its file name in the
// current folder.
TEST_F(ClaimMapsTest, MapsAreFoundByTheirInterchangeVersion) {
    struct Case {
        Example example;
        std::string expected;
    };
    for (const Case& c : {Case{kExamples[1], "837p-4010.xml"}, Case{kExamples[2], "837i-5010.xml"},
                          Case{kExamples[3], "837d-5010.xml"}}) {
        std::string text;
        ASSERT_TRUE(readWholeFile(mapPath(c.example.map), text));
        write(c.example.map, text);
        ASSERT_TRUE(run("X12,XML", examplePath(c.example), "auto.xml", "OW"));
        expectFile(read("auto.xml"), c.expected);
    }
}

}  // namespace
}  // namespace brolvin
