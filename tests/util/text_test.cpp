#include "util/text.h"

#include <gtest/gtest.h>

namespace brolvin {

TEST(Text, TrimLineRemovesLeadingWhitespaceAndTrailingSpacesOnly) {
    EXPECT_EQ(trimLine(" \t\r\nFIELD=A  "), "FIELD=A");
    EXPECT_EQ(trimLine("A\t"), "A\t");
}

TEST(Text, LeadingNumberReadsDigitsAfterSpaces) {
    EXPECT_EQ(leadingNumber(" 2"), 2);
    EXPECT_EQ(leadingNumber("01"), 1);
    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("-3"), -3);
}

TEST(Text, RightAlignPadsButNeverCuts) {
    EXPECT_EQ(rightAlign(5, 2), " 5");
    EXPECT_EQ(rightAlign(123, 2), "123");
    EXPECT_EQ(rightAlign(7, 10), "         7");
}

}  // namespace brolvin
