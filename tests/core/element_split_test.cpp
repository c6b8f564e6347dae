#include "core/element_split.h"

#include <gtest/gtest.h>

#include "core/history.h"

namespace brolvin {

TEST(ElementSplit, IdentifierDataElementsAndBeyondTheEnd) {
    EXPECT_EQ(CTL39400AU("NM1*85*2*CLINIC", 0, '*'), "NM1");
    EXPECT_EQ(CTL39400AU("NM1*85*2*CLINIC", 3, '*'), "CLINIC");
    EXPECT_EQ(CTL39400AU("NM1*85*2*CLINIC", 4, '*'), "");
    EXPECT_EQ(CTL39400AU("CLM*1**", 2, '*'), "");
    EXPECT_EQ(CTL39400AU("CLM*1**", 3, '*'), "");
    EXPECT_EQ(CTL39400AU("NM1*85", -1, '*'), "");
    EXPECT_EQ(CTL39400AU("SV1*HC:A1:B2*100", 1, '*'), "HC:A1:B2");
}

TEST(ElementSplit, BeyondTheEndKeepsAnAllSpaceLastElement) {
    EXPECT_EQ(CTL39400AU("REF*  ", 5, '*'), "  ");
    EXPECT_EQ(CTL39400AU("", 0, '*'), "");
    EXPECT_EQ(CTL39400AU("", 1, '*'), "");
}

TEST(History, NineShiftsKeepTheNinthDownToTheSecond) {
    SegmentHistory h;
    for (int i = 1; i <= 9; ++i) pushHistory(h, "S" + std::to_string(i));
    for (int k = 0; k < 8; ++k) EXPECT_EQ(h[k], "S" + std::to_string(9 - k));
}

TEST(History, EntriesOfEveryLengthAndEntriesPushedBack) {
    SegmentHistory h;
    std::vector<std::string> pushed;
    for (size_t n : {0, 1, 3, 4, 7, 8, 16, 17, 32, 33, 64, 65, 120, 121, 5000}) {
        std::string segment;
        for (size_t i = 0; i < n; ++i) segment.push_back(static_cast<char>('A' + (i * 7 + n) % 26));
        pushHistory(h, segment);
        pushed.push_back(segment);
        for (size_t k = 0; k < 8 && k < pushed.size(); ++k) ASSERT_EQ(h[k], pushed[pushed.size() - 1 - k]) << n;
    }
    // The oldest entry (the one the push reuses) and the newest, pushed again
    // from the history itself; a segment over the limit keeps its first bytes.
    for (size_t k : {7, 0, 7}) {
        const std::string expected(h[k]);
        pushHistory(h, h[k]);
        EXPECT_EQ(h[0], expected);
    }
    pushHistory(h, std::string(SegmentHistory::kEntryBytes + 10, 'X'));
    EXPECT_EQ(h[0], std::string(SegmentHistory::kEntryBytes, 'X'));
}

}  // namespace brolvin
