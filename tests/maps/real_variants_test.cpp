// Every shipped example in the forms trading partners and ordinary tools
// produce: indented, unpadded ISA, LF only, ">" as component separator,
// line-break terminators with blanks before them, a byte-order mark,
// concatenated interchanges. Each converts, through the real program and the
// map the interchange selects, to the records of the plain file. Then the
// round trips through the program's own CSV and XML.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "maps/map_test_support.h"

namespace brolvin {
namespace {

using namespace test;

// The segments of a plain example ("~" terminators, line breaks between).
std::vector<std::string> segmentsOf(const std::string& x12) {
    std::vector<std::string> segments;
    std::string current;
    for (char c : x12) {
        if (c == '~') {
            segments.push_back(current);
            current.clear();
        } else if (c != '\r' && c != '\n') {
            current.push_back(c);
        }
    }
    return segments;
}

std::string joined(const std::vector<std::string>& segments, const std::string& after) {
    std::string out;
    for (const std::string& s : segments) out += s + after;
    return out;
}

std::string replaced(std::string s, char from, char to) {
    for (char& c : s)
        if (c == from) c = to;
    return s;
}

// ISA01 to ISA15 without their padding.
std::string unpaddedIsa(const std::string& isa) {
    std::string out;
    size_t element = 0;
    for (size_t i = 0; i < isa.size(); ++i) {
        if (isa[i] == '*') ++element;
        if (isa[i] == ' ' && element >= 1 && element <= 15) continue;
        out.push_back(isa[i]);
    }
    return out;
}

struct Variant {
    std::string name;
    std::function<std::string(const std::string& plain, const std::vector<std::string>& segments)> make;
    int copies;  // how many times the plain records come out
};

const std::vector<Variant> kVariants = {
    {"indented", [](auto&, auto& s) { return joined(s, "~\r\n  "); }, 1},
    {"tab-indented LF", [](auto&, auto& s) { return joined(s, "~\n\t"); }, 1},
    {"one line", [](auto&, auto& s) { return joined(s, "~"); }, 1},
    {"LF only", [](auto&, auto& s) { return joined(s, "~\n"); }, 1},
    {"unpadded ISA",
     [](auto&, auto& s) {
         std::vector<std::string> t = s;
         t[0] = unpaddedIsa(t[0]);
         return joined(t, "~\r\n");
     },
     1},
    {"> separators", [](auto& plain, auto&) { return replaced(plain, ':', '>'); }, 1},
    {"CR terminator, blanks before it",
     [](auto&, auto& s) {
         std::vector<std::string> rest(s.begin() + 1, s.end());
         return s[0] + "\r\n" + joined(rest, " \t\r\n");
     },
     1},
    {"byte-order mark", [](auto& plain, auto&) { return "\xEF\xBB\xBF" + plain; }, 1},
    {"concatenated", [](auto& plain, auto&) { return plain + plain; }, 2},
};

class RealVariantsTest : public MapRunTest {
protected:
    // The records of an X12 file, every service line written ("ML").
    std::vector<Record> recordsOfFile(const std::string& source) {
        EXPECT_TRUE(run("X12,XML", source, "records.xml", "OW,ML")) << source;
        return recordsOf(read("records.xml"));
    }
};

TEST_F(RealVariantsTest, EveryExampleInEveryFormGivesThePlainRecords) {
    int examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSource + "/examples")) {
        if (entry.path().extension() != ".x12") continue;
        ++examples;
        const std::string name = entry.path().filename().string();
        std::string plain;
        ASSERT_TRUE(readWholeFile(entry.path().string(), plain));
        const std::vector<Record> expected = recordsOfFile(entry.path().string());
        ASSERT_FALSE(expected.empty()) << name;
        const std::vector<std::string> segments = segmentsOf(plain);
        for (const Variant& v : kVariants) {
            SCOPED_TRACE(name + ", " + v.name);
            write("variant.x12", v.make(plain, segments));
            std::vector<Record> want;
            for (int i = 0; i < v.copies; ++i) want.insert(want.end(), expected.begin(), expected.end());
            EXPECT_EQ(recordsOfFile("variant.x12"), want);
        }
    }
    EXPECT_GE(examples, 17);
}

// A file that mixes transaction sets is converted with the first set's map;
// each later set that would choose another map is named by its ST's number.
TEST_F(RealVariantsTest, MixedTransactionSetsAreReportedBySegmentNumber) {
    std::string claims, remits;
    ASSERT_TRUE(readWholeFile(kSource + "/examples/837p-5010.x12", claims));
    ASSERT_TRUE(readWholeFile(kSource + "/examples/835-5010.x12", remits));
    write("mixed.x12", claims + remits);
    const size_t stOfRemits = segmentsOf(claims).size() + 3;  // after its ISA and GS
    ASSERT_TRUE(run("X12,XML", "mixed.x12", "mixed.xml", ""));
    const std::string log = read("parse.log");
    EXPECT_NE(log.find(" - Warning : Segment " + std::to_string(stOfRemits) +
                       " starts a transaction set (ST01 835, GS08 005010X221A1) that would choose map 835.cfg"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("would choose map 837p.cfg"), std::string::npos);
    EXPECT_EQ(log.find("delimiters differ"), std::string::npos);

    // A second interchange with other delimiters cannot be read with the
    // first one's: its ISA is named.
    write("mixed.x12", claims + replaced(claims, ':', '>'));
    ASSERT_TRUE(run("X12,XML", "mixed.x12", "mixed.xml", "OW"));
    EXPECT_NE(read("parse.log").find(" - Warning : Segment " + std::to_string(segmentsOf(claims).size() + 1) +
                                     " starts an interchange whose delimiters differ"),
              std::string::npos);
}

// The maps that generate X12 again: their own XML, with every service line
// one CLAIM ("ML"), rebuilds the same interchange whether or not ML is given
// again; their CSV reads the same with CR LF, LF alone and every value quoted.
TEST_F(RealVariantsTest, OwnXmlAndCsvComeBackWhole) {
    // The generated interchange from ST on: the envelope carries the clock.
    auto body = [&](const std::string& file) {
        std::string x12 = read(file);
        size_t st = x12.find("ST*");
        return st == std::string::npos ? "" : x12.substr(st);
    };
    for (const auto& [stem, mapName] : {std::pair{"837p-5010", "837p.cfg"}, std::pair{"837i-5010", "837I.cfg"},
                                        std::pair{"837d-5010", "837d.cfg"}}) {
        SCOPED_TRACE(stem);
        const std::string source = kSource + "/examples/" + stem + ".x12";
        const std::string map = "OW,MAP=" + mapPath(mapName);  // XML and CSV carry no version
        ASSERT_TRUE(run("X12,XML", source, "lines.xml", "OW,ML"));
        ASSERT_TRUE(run("XML,X12", "lines.xml", "with.x12", "ML," + map));
        ASSERT_TRUE(run("XML,X12", "lines.xml", "without.x12", map));
        EXPECT_EQ(body("without.x12"), body("with.x12"));
        ASSERT_TRUE(run("X12,XML", "without.x12", "again.xml", "OW,ML"));
        EXPECT_EQ(recordsOf(read("again.xml")), recordsOf(read("lines.xml")));

        // CSV with its header line ("HO"), fed back as written, with LF
        // alone, and with every value quoted (as spreadsheets may write it).
        ASSERT_TRUE(run("X12,CSV", source, "plain.csv", "OW,HO"));
        std::string lf, quoted = "\"";
        for (char c : read("plain.csv")) {
            if (c != '\r') lf += c;
            quoted += c == ',' ? "\",\"" : c == '\r' ? "\"\r" : c == '\n' ? "\n\"" : std::string(1, c);
        }
        quoted.pop_back();
        ASSERT_TRUE(run("CSV,X12", "plain.csv", "crlf.x12", map));
        EXPECT_NE(body("crlf.x12").find("CLM*"), std::string::npos);
        for (const auto& [name, text] : {std::pair{"lf.csv", lf}, std::pair{"quoted.csv", quoted}}) {
            write(name, text);
            ASSERT_TRUE(run("CSV,X12", name, "again.x12", map)) << name;
            EXPECT_EQ(body("again.x12"), body("crlf.x12")) << name;
        }
    }
}

// Sources and maps that cannot be converted stop with a reason and status 1,
// leaving no output.
TEST_F(RealVariantsTest, UnreadableSourcesAndHollowMapsStop) {
    std::string plain;
    ASSERT_TRUE(readWholeFile(kSource + "/examples/837p-sample.x12", plain));
    std::string utf16 = "\xFF\xFE";
    for (char c : plain) utf16 += std::string{c, '\0'};
    write("wide.x12", utf16);
    EXPECT_FALSE(run("X12,XML", "wide.x12", "wide.xml", ""));
    EXPECT_FALSE(std::filesystem::exists("wide.xml"));
    EXPECT_NE(read("parse.log").find("UTF-16"), std::string::npos);

    write("in.csv", "A,B\r\n");
    EXPECT_FALSE(run("CSV,X12", "in.csv", "out.x12", "MAP=" + mapPath("835.cfg")));
    EXPECT_FALSE(std::filesystem::exists("out.x12"));
    EXPECT_NE(read("parse.log").find("has no SEGMENT= lines"), std::string::npos);
}

}  // namespace
}  // namespace brolvin
