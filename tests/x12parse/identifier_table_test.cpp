#include "x12parse/identifier_table.h"

#include <gtest/gtest.h>

#include <string>

namespace brolvin {
namespace {

// Identifiers that differ only in length or in a trailing NUL or space get
// different keys; identifiers too long to pack are not kept.
TEST(IdentifierTable, KeysAndCapacity) {
    EXPECT_NE(packIdentifier("AB"), packIdentifier(std::string("AB\0", 3)));
    EXPECT_NE(packIdentifier("AB"), packIdentifier("AB "));
    EXPECT_NE(packIdentifier(""), 0u);
    EXPECT_NE(packIdentifier("ABCDEFG"), 0u);
    EXPECT_EQ(packIdentifier("ABCDEFGH"), 0u);

    IdentifierTable<int> table;
    EXPECT_EQ(table.insert(0, 1), nullptr);
    EXPECT_EQ(table.find(packIdentifier("NM1")), nullptr);
    // Past the table's growth points and its limit: every kept entry is found
    // with its own value, and nothing past the limit is kept.
    const int total = static_cast<int>(IdentifierTable<int>::kMaxEntries) + 10;
    for (int i = 0; i < total; ++i) {
        const uint64_t key = packIdentifier(std::to_string(i));
        int* kept = table.insert(key, i);
        EXPECT_EQ(kept == nullptr, i >= static_cast<int>(IdentifierTable<int>::kMaxEntries)) << i;
    }
    for (int i = 0; i < total; ++i) {
        const int* found = table.find(packIdentifier(std::to_string(i)));
        if (i < static_cast<int>(IdentifierTable<int>::kMaxEntries)) {
            ASSERT_NE(found, nullptr) << i;
            EXPECT_EQ(*found, i);
        } else {
            EXPECT_EQ(found, nullptr) << i;
        }
    }
}

}  // namespace
}  // namespace brolvin
