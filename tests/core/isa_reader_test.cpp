#include "core/isa_reader.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/fixed_platform.h"

namespace brolvin {
namespace {

const std::string kIsa =
    "ISA*00*          *00*          *ZZ*SUBMITTER      *ZZ*RECEIVER       *240101*1200*^*00501*000000001*0*P*:~";

class IsaReaderTest : public test::TempDirTest {
protected:
    test::FixedPlatform platform;
    Delimiters delimitersOf(const std::string& content) {
        write("in.x12", content);
        return readDelimiters("in.x12", platform);
    }
};

TEST_F(IsaReaderTest, HeaderOffsetIsTheFirstIsaInAnyCase) {
    write("a", kIsa + "GS*HC~");
    EXPECT_EQ(isaOffset("a", platform), -1);
    write("b", "xyzisa*00");
    EXPECT_EQ(isaOffset("b", platform), 2);  // header offset 3
    write("c", "DISA*ISA");
    EXPECT_EQ(isaOffset("c", platform), 0);  // header offset 1
    write("d", "no header here at all");
    EXPECT_EQ(isaOffset("d", platform), 0);
    write("e", "");
    EXPECT_EQ(isaOffset("e", platform), 0);
    EXPECT_TRUE(platform.warnings.empty());
}

TEST_F(IsaReaderTest, HeaderFoundAcrossReadBlockBoundaries) {
    // "ISA" straddling the first 1 MB block, and far into a large file.
    for (size_t at : {(size_t{1} << 20) - 2, (size_t{1} << 20) - 1, size_t{1} << 20, size_t{3} << 20}) {
        std::string content(at, 'x');
        content += "iSa";
        content += std::string(100, 'y');
        write("big", content);
        EXPECT_EQ(isaOffset("big", platform), static_cast<long long>(at) - 1) << at;
    }
}

TEST_F(IsaReaderTest, MissingFileReportsOnStandardErrorAndYieldsZero) {
    EXPECT_EQ(isaOffset("absent.x12", platform), 0);
    ASSERT_EQ(platform.warnings.size(), 1u);
    EXPECT_EQ(platform.warnings[0], "<ERROR> ISA Check FC-Open # 2");
    // The delimiter reader answers a space for a missing file, silently.
    EXPECT_EQ(isaHeaderByte("absent.x12", 1, 0, platform), " ");
    EXPECT_EQ(platform.warnings.size(), 1u);
}

TEST_F(IsaReaderTest, StandardHeaderDelimiters) {
    Delimiters d = delimitersOf(kIsa + "GS*HC~");
    EXPECT_EQ(d.headerOffset, 0);
    EXPECT_EQ(d.terminator, '~');
    EXPECT_EQ(d.elementSeparator, '*');
    EXPECT_EQ(d.subElementSeparator, ':');
}

TEST_F(IsaReaderTest, BomAndBlankLinesBeforeTheHeaderShiftThePositions) {
    std::string alt = kIsa;
    alt[103] = '|';
    alt[104] = '^';
    alt[105] = '\n';
    Delimiters d = delimitersOf("\xEF\xBB\xBF\r\n\r\n" + alt + "GS|HC\n");
    EXPECT_EQ(d.headerOffset, 7);
    EXPECT_EQ(d.terminator, '\n');
    EXPECT_EQ(d.elementSeparator, '|');
    EXPECT_EQ(d.subElementSeparator, '^');
}

TEST_F(IsaReaderTest, UnpaddedHeaderIsReadByWalkingItsSeparators) {
    const std::string rest = "GS*HC*S*R*20240101*1200*1*X*005010X222A1~ST*837*1~BHT*0019~";
    const std::string shortIsa = "ISA*00**00**ZZ*S*ZZ*R*240101*1200*^*00501*1*0*P*:~";
    ASSERT_EQ((shortIsa + rest).substr(103, 3), "*00");  // inside BHT: the fixed offsets mislead
    struct Case {
        std::string content;
        char element, sub, terminator;
    };
    const std::vector<Case> cases = {
        {shortIsa + rest, '*', ':', '~'},
        {"ISA|00||00||ZZ|S|ZZ|R|240101|1200|^|00501|1|0|P|>\nGS|HC\n", '|', '>', '\n'},
        {"\xEF\xBB\xBF  isa*00**00**ZZ*S*ZZ*R*240101*1200*U*00401*1*0*T*>\r\nGS*HC\r\n", '*', '>', '\r'},
        // Too short to hold ISA16: the fixed offsets stay.
        {"ISA*00*01~", ' ', ' ', ' '},
    };
    for (const Case& c : cases) {
        Delimiters d = delimitersOf(c.content);
        EXPECT_EQ(d.elementSeparator, c.element) << c.content;
        EXPECT_EQ(d.subElementSeparator, c.sub) << c.content;
        EXPECT_EQ(d.terminator, c.terminator) << c.content;
    }
    // The fixed-offset routine itself still answers the bytes standing there.
    write("short.x12", shortIsa + rest);
    EXPECT_EQ(isaHeaderByte("short.x12", 3, 0, platform), "0");
}

TEST_F(IsaReaderTest, ShortFilesAndFixedLeadingBytes) {
    write("tiny", "ISA*00");
    EXPECT_EQ(isaHeaderByte("tiny", 1, 0, platform), " ");
    EXPECT_EQ(isaHeaderByte("tiny", 101, 0, platform), "I");
    EXPECT_EQ(isaHeaderByte("tiny", 102, 50, platform), "S");
    EXPECT_EQ(isaHeaderByte("tiny", 103, 50, platform), "A");
    EXPECT_EQ(isaHeaderByte("tiny", 7, 0, platform), " ");
    write("empty", "");
    EXPECT_EQ(isaHeaderByte("empty", 101, 0, platform), " ");
    EXPECT_TRUE(platform.warnings.empty());
}

// The one-read head must give what the separate readers give: the same
// delimiters wherever the header stands, and the file's first bytes.
TEST_F(IsaReaderTest, SourceHeadAgreesWithTheSeparateReaders) {
    const std::string unpadded = "ISA|00|x|00|x|ZZ|S|ZZ|R|240101|1200|^|00501|1|0|P|>\n";
    for (const std::string& content : {kIsa + "GS*HC~", std::string(70000, ' ') + kIsa, unpadded,
                                       std::string("no header"), std::string()}) {
        write("in.x12", content);
        std::optional<SourceHead> head = readSourceHead("in.x12", nullptr);
        ASSERT_TRUE(head);
        const Delimiters d = readDelimiters("in.x12", platform);
        EXPECT_EQ(head->delimiters.headerOffset, d.headerOffset);
        EXPECT_EQ(head->delimiters.terminator, d.terminator);
        EXPECT_EQ(head->delimiters.elementSeparator, d.elementSeparator);
        EXPECT_EQ(head->delimiters.subElementSeparator, d.subElementSeparator);
        EXPECT_EQ(head->start, content.substr(0, kSourceHeadBytes));
    }
    // A start the caller cannot read stops before the search for a header.
    write("in.x12", std::string("\xFF\xFEI\0S\0A\0", 8) + std::string(200000, 'x'));
    std::optional<SourceHead> head = readSourceHead("in.x12", [](std::string_view s) { return s[0] == '\xFF'; });
    ASSERT_TRUE(head);
    EXPECT_EQ(head->delimiters.headerOffset, 0);
    EXPECT_FALSE(readSourceHead("absent.x12", nullptr));
    EXPECT_TRUE(platform.warnings.empty());
}

}  // namespace
}  // namespace brolvin
