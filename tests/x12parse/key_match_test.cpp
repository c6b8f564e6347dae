#include "x12parse/key_match.h"

#include <gtest/gtest.h>

#include <random>

#include "core/element_split.h"
#include "x12parse/identifier_table.h"

namespace brolvin {
namespace {

// The split-once view must give every element exactly as the element rule
// does, for any number of elements (beyond 31 too) and any lengths.
TEST(SegmentElements, AgreesWithTheElementRuleEverywhere) {
    std::mt19937 rng(42);
    const char alphabet[] = "AB *:";
    for (int round = 0; round < 3000; ++round) {
        std::string segment;
        size_t length = rng() % 90;
        bool dense = round % 3 == 0;  // many separators: more than 31 elements
        for (size_t i = 0; i < length; ++i)
            segment.push_back(dense && rng() % 2 ? '*' : alphabet[rng() % (sizeof alphabet - 1)]);
        SegmentElements parts(segment, '*');
        for (long long index = 0; index < 50; ++index)
            ASSERT_EQ(parts.element(static_cast<size_t>(index)), elementView(segment, index, '*'))
                << '"' << segment << "\" element " << index;
        ASSERT_EQ(parts.identifier(), elementView(segment, 0, '*'));
        ASSERT_EQ(parts.packedIdentifier(), packIdentifier(parts.identifier())) << '"' << segment << '"';
    }
}

TEST(KeyListMatch, EntryOneAndLaterEntries) {
    KeyList list;
    list.kind = KeyList::Kind::Given;
    list.entries = {"HL", "", "", "22"};
    SegmentElements hl("HL*2*1*22*0", '*');
    SegmentElements hlEmpty("HL*2*1**0", '*');
    SegmentElements other("H*2*1*20", '*');  // "HL" begins with "H"
    SegmentElements clm("CLM*1", '*');
    EXPECT_TRUE(keyEntryOneMatches(list, hl));
    EXPECT_TRUE(keyEntryOneMatches(list, other));
    EXPECT_FALSE(keyEntryOneMatches(list, clm));
    EXPECT_TRUE(keyEntryMatches(list, 4, hl));
    EXPECT_TRUE(keyEntryMatches(list, 4, hlEmpty));  // an empty element matches
    EXPECT_FALSE(keyEntryMatches(list, 4, other));
    EXPECT_FALSE(keyEntryMatches(list, 5, hl));  // no such entry
    KeyList nothing;
    EXPECT_FALSE(keyEntryOneMatches(nothing, hl));
}

}  // namespace
}  // namespace brolvin
