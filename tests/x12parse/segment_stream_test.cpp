#include "x12parse/segment_stream.h"

#include <gtest/gtest.h>

#include <random>

#include "support/fixed_platform.h"
#include "core/element_split.h"

namespace brolvin {
namespace {

std::vector<std::string> segmentsOf(std::string_view content, char terminator, size_t piece = 0) {
    std::vector<std::string> out;
    SegmentStream stream(terminator);
    auto collect = [&](std::string_view s) { out.emplace_back(s); };
    if (piece == 0) piece = content.size() + 1;
    for (size_t at = 0; at < content.size(); at += piece)
        stream.feed(content.data() + at, std::min(piece, content.size() - at), collect);
    return out;
}

using Segments = std::vector<std::string>;

// The byte-at-a-time definition the fast stream must agree with: spaces,
// tabs and line ends before a segment's first other byte are layout, and so
// are a line-break terminator's trailing spaces and tabs.
Segments referenceSegments(std::string_view content, char terminator) {
    Segments out;
    std::string buffer;
    const bool lineBreak = terminator == '\r' || terminator == '\n';
    for (char raw : content) {
        char c = raw == ',' ? ' ' : raw;
        if (c == terminator) {
            while (lineBreak && !buffer.empty() && (buffer.back() == ' ' || buffer.back() == '\t')) buffer.pop_back();
            out.push_back(buffer);
            buffer.clear();
        } else if (c != '\r' && c != '\n' && !(buffer.empty() && (raw == ' ' || raw == '\t'))) {
            buffer.push_back(c);
        }
    }
    return out;
}

TEST(SegmentStream, CommasBecomeSpacesAndTextAfterTheLastTerminatorIsDropped) {
    EXPECT_EQ(segmentsOf("NM1*IL*1*DOE, JOHN~REF*EI*1,2~N3*TAIL", '~'),
              (Segments{"NM1*IL*1*DOE  JOHN", "REF*EI*1 2"}));
    // Two terminators in a row give an empty segment.
    EXPECT_EQ(segmentsOf("A~~B~", '~'), (Segments{"A", "", "B"}));
}

TEST(SegmentStream, LineEndsAreDroppedUnlessTheyTerminate) {
    Segments plain = segmentsOf("ST*837*1~BHT*0019~SE*2*1~", '~');
    EXPECT_EQ(segmentsOf("ST*837*1~\r\nBHT*0019~\r\nSE*2*1~\r\n", '~'), plain);
    EXPECT_EQ(segmentsOf("\r\nST*837\r\n*1~BHT*00\n19~SE*2*1~", '~'), plain);
    // A line feed terminator splits lines; carriage returns before it are dropped.
    EXPECT_EQ(segmentsOf("ST*837*1\r\nBHT*0019\nSE*2*1\n", '\n'), plain);
    EXPECT_EQ(segmentsOf("ST*837*1\rBHT*0019\r\nSE*2*1\r", '\r'), plain);
}

TEST(SegmentStream, IndentationAndBlanksBeforeALineBreakTerminatorAreLayout) {
    Segments plain = segmentsOf("ST*837*1~HL*1**20*0~SE*2*1~", '~');
    EXPECT_EQ(segmentsOf("  ST*837*1~\r\n  HL*1**20*0~\r\n\t SE*2*1~\r\n", '~'), plain);
    EXPECT_EQ(segmentsOf("ST*837*1 \n  HL*1**20*0\t\r\n SE*2*1\n", '\n'), plain);
    // Blanks inside and at the end of elements stay when "~" ends segments.
    EXPECT_EQ(segmentsOf(" NM1*IL* DOE *~", '~'), (Segments{"NM1*IL* DOE *"}));
}

TEST(SegmentStream, CommaAndSpaceTerminators) {
    // A comma has become a space before the terminator test.
    EXPECT_TRUE(segmentsOf("A,B,C,", ',').empty());
    EXPECT_EQ(segmentsOf("A,B C ", ' '), (Segments{"A", "B", "C"}));
}

TEST(SegmentStream, AnySplitOfTheInputAgreesWithTheByteByByteDefinition) {
    std::string content;
    std::mt19937 rng(7);
    const char alphabet[] = "AB*:~,\r\n \t";
    for (int i = 0; i < 20000; ++i) content.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    for (char terminator : {'~', '\n', '\r', ' ', ',', '\t'}) {
        Segments expected = referenceSegments(content, terminator);
        for (size_t piece : {0, 1, 2, 3, 7, 64, 4096})
            EXPECT_EQ(segmentsOf(content, terminator, piece), expected) << int(terminator) << " " << piece;
    }
}

TEST(SegmentStream, LongSegmentsWithOneStrayByteAnywhere) {
    // Segments long enough to be checked a word at a time, with a comma or a
    // line end at every position, including the last bytes of a word.
    std::string content;
    for (size_t length = 1; length <= 40; ++length)
        for (size_t at = 0; at < length; ++at)
            for (char stray : {',', '\r', '\n', 'Z'}) {
                std::string segment(length, 'Q');
                segment[at] = stray;
                content += segment + "~";
            }
    Segments expected = referenceSegments(content, '~');
    for (size_t piece : {0, 5, 8, 13, 4096})
        EXPECT_EQ(segmentsOf(content, '~', piece), expected) << piece;
}

TEST(IdentifierStream, AgreesWithTheIdentifiersOfTheCleanedSegments) {
    std::mt19937 rng(11);
    const char alphabet[] = "ABCDEFGH*:~,\r\n \t";
    for (int round = 0; round < 40; ++round) {
        // Mostly letters, so identifiers and segments of every length occur.
        std::string content;
        for (int i = 0; i < 3000; ++i)
            content.push_back(rng() % 4 ? alphabet[rng() % 8] : alphabet[8 + rng() % (sizeof alphabet - 9)]);
        for (char terminator : {'~', '\n', '\r', ' ', ',', '*', '\t'})
            for (char separator : {'*', ':', ',', ' ', '\r', '~', '\t'}) {
                std::vector<std::string> expected;
                for (const std::string& segment : referenceSegments(content, terminator))
                    expected.emplace_back(elementView(segment, 0, separator));
                // Screened to identifiers beginning with "A" or "B", a stream
                // may leave out others but never one of these, and counts all.
                auto screenedIn = [](const std::vector<std::string>& ids) {
                    std::vector<std::string> kept;
                    for (const std::string& id : ids)
                        if (id.empty() || id[0] == 'A' || id[0] == 'B') kept.push_back(id);
                    return kept;
                };
                for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{64}, content.size()})
                    for (bool screened : {false, true}) {
                        std::vector<std::string> got;
                        IdentifierStream ids(terminator, separator);
                        if (screened) ids.screen("AB");
                        for (size_t at = 0; at < content.size(); at += piece)
                            ids.feed(content.data() + at, std::min(piece, content.size() - at),
                                     [&](std::string_view id) { got.emplace_back(id); });
                        ASSERT_EQ(screened ? screenedIn(got) : got, screened ? screenedIn(expected) : expected)
                            << "terminator " << int(terminator) << " separator " << int(separator) << " piece "
                            << piece << " screened " << screened;
                        ASSERT_EQ(ids.segmentCount(), static_cast<long long>(expected.size()));
                    }
            }
    }
}

TEST(SegmentStream, CountsAndPushesIntoTheHistoryBeforeDelivery) {
    SegmentHistory history;
    SegmentStream stream('~', &history);
    std::vector<long long> counts;
    std::string data = "S1~S2~S3~rest";
    stream.feed(data.data(), data.size(), [&](std::string_view s) {
        EXPECT_EQ(history[0], s);
        counts.push_back(stream.segmentCount());
    });
    EXPECT_EQ(counts, (std::vector<long long>{1, 2, 3}));
    EXPECT_EQ(history[1], "S2");
    EXPECT_EQ(stream.pending(), "rest");
}

class StreamFileTest : public test::TempDirTest {};

TEST_F(StreamFileTest, LargeFileInSmallBlocksAndMissingFile) {
    std::string content;
    Segments expected;
    for (int i = 0; content.size() < 2500000; ++i) {
        std::string seg = "CLM*" + std::to_string(i) + "*150***11:B:1*Y";
        content += seg + "~\r\n";
        expected.push_back(seg);
    }
    write("big.x12", content + "IEA*1");
    for (size_t block : {size_t{1000}, size_t{1} << 20}) {
        SegmentStream stream('~');
        Segments got;
        ASSERT_TRUE(streamFile("big.x12", stream, [&](std::string_view s) { got.emplace_back(s); }, nullptr, block));
        EXPECT_EQ(got, expected);
        EXPECT_EQ(stream.segmentCount(), static_cast<long long>(expected.size()));
    }
    EXPECT_EQ(streamFile("absent.x12", '~', [](std::string_view) {}), -1);
}

}  // namespace
}  // namespace brolvin
