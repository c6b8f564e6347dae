#include "util/csv_text.h"

#include <gtest/gtest.h>

#include <string>

namespace brolvin {
namespace {

// Every byte at every position of values of every length up to three words:
// the word-at-a-time test must agree with a byte-by-byte one.
TEST(CsvText, NeedsQuotesAgreesWithEveryByte) {
    for (size_t length = 1; length <= 24; ++length)
        for (size_t at = 0; at < length; ++at)
            for (int byte = 0; byte < 256; ++byte) {
                std::string value(length, 'A');
                value[at] = static_cast<char>(byte);
                const bool expected = byte == '"' || byte == ',' || byte == '\r' || byte == '\n';
                ASSERT_EQ(csvNeedsQuotes(value), expected) << length << ' ' << at << ' ' << byte;
            }
    EXPECT_FALSE(csvNeedsQuotes(""));
    EXPECT_TRUE(csvNeedsQuotes(std::string(17, ' ') + ","));
}

}  // namespace
}  // namespace brolvin
