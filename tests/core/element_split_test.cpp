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

}  // namespace brolvin
